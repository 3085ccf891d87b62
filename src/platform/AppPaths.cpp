#include "platform/AppPaths.h"

#include <pwd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace platform::AppPaths {

namespace {

QString Env(const char* name) { return qEnvironmentVariable(name); }

bool HasDataFolders(const QString& dir) {
    for (const char* sub : {"skins", "help", "sounds"})
        if (QFileInfo(dir + QLatin1Char('/') + QLatin1String(sub)).isDir()) return true;
    return false;
}

}  // namespace

QString ExecutableDir() {
    if (QCoreApplication::instance()) return QCoreApplication::applicationDirPath();
    // Without an application object (tests, early start-up): the kernel's link to the image.
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    return self.canonicalFilePath().isEmpty() ? QDir::currentPath() : self.canonicalPath();
}

QString LibAVDir() { return ExecutableDir() + QStringLiteral("/LibAV"); }

QString DataDir() {
    const QString forced = Env("TANDREL_DATA_DIR");
    if (!forced.isEmpty()) return QDir::cleanPath(forced);
    const QString exe = ExecutableDir();
    if (HasDataFolders(exe)) return exe;
    const QString installed = QDir::cleanPath(exe + QStringLiteral("/../share/tandrel"));
    if (HasDataFolders(installed)) return installed;
    return exe;
}

QString DataFile(const QString& relative) { return DataDir() + QLatin1Char('/') + relative; }

QString ConfigDir() {
    const QString forced = Env("TANDREL_CONFIG_DIR");
    if (!forced.isEmpty()) return QDir::cleanPath(forced);
    const QFileInfo portable(ExecutableDir() + QStringLiteral("/system.ini"));
    if (portable.isFile() && portable.isWritable()) return portable.absolutePath();
    QString xdg = Env("XDG_CONFIG_HOME");
    if (xdg.isEmpty() || !QDir::isAbsolutePath(xdg)) xdg = HomeDir() + QStringLiteral("/.config");
    return QDir::cleanPath(xdg + QStringLiteral("/tandrel"));
}

QString SettingsFile() { return ConfigDir() + QStringLiteral("/system.ini"); }

QString HomeDir() {
    const QString home = Env("HOME");
    if (!home.isEmpty()) return QDir::cleanPath(home);
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return QDir::cleanPath(QString::fromLocal8Bit(pw->pw_dir));
    return QDir::homePath();
}

QString DefaultOutputFolder() { return HomeDir() + QStringLiteral("/Video_Directory"); }

QString DefaultSnapshotFolder() {
    return DefaultOutputFolder() + QLatin1Char('/') + QString::fromUtf8("快照");
}

bool IsUsableStoredFolder(const QString& value) {
    return !value.isEmpty() && value != QLatin1String("Error") && QDir::isAbsolutePath(value);
}

}  // namespace platform::AppPaths
