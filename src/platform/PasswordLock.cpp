#include "platform/PasswordLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include "platform/IniFile.h"

namespace platform::lock {

const char kDefaultLockFile[] = "/etc/tandrel/lock.ini";
const char kSection[] = "Check_PsP";
const char kKey[] = "ps";
const char kMasterPassword[] = "kestul";

namespace {

bool IsHex(const QString& text) {
    if (text.size() % 2) return false;
    for (const QChar c : text)
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')))
            return false;
    return true;
}

bool Fail(QString* error, const QString& reason) {
    if (error) *error = reason;
    return false;
}

constexpr QFileDevice::Permissions kReadableByAll = QFileDevice::ReadOwner |
                                                    QFileDevice::WriteOwner |
                                                    QFileDevice::ReadGroup | QFileDevice::ReadOther;

}  // namespace

QString LockFile() {
    const QString forced = qEnvironmentVariable("TANDREL_LOCK_FILE");
    return forced.isEmpty() ? QString::fromLatin1(kDefaultLockFile) : forced;
}

Lock ReadLock(const QString& path) {
    Lock lock;
    struct stat st;
    // Only a regular file is read: opening a FIFO would block the start of the program.
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0 ||
        !S_ISREG(st.st_mode)) {
        lock.on = false;
        return lock;
    }
    QFile probe(path);
    if (!probe.open(QIODevice::ReadOnly)) {
        lock.on = true;
        lock.scrambled.reset();
        return lock;
    }
    probe.close();
    const IniFile ini(path);
    lock.on = ini.HasSection(QLatin1String(kSection));
    if (!lock.on) return lock;
    const QString hex = ini.ReadString(QLatin1String(kSection), QLatin1String(kKey));
    if (IsHex(hex))
        lock.scrambled = QByteArray::fromHex(hex.toLatin1());
    else
        lock.scrambled.reset();
    return lock;
}

QByteArray Scramble(const QString& password) {
    QByteArray bytes = password.toUtf8();
    for (char& c : bytes) c = static_cast<char>(static_cast<unsigned char>(c) ^ kKeyByte);
    return bytes;
}

QString ScrambledHex(const QString& password) {
    return QString::fromLatin1(Scramble(password).toHex());
}

bool Accepts(const Lock& lock, const QString& entered) {
    if (lock.scrambled && Scramble(entered) == *lock.scrambled) return true;
    return entered == QLatin1String(kMasterPassword);
}

bool WriteLock(const QString& path, const QString& password, QString* error) {
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) return Fail(error, path + QStringLiteral(": not a file"));
    const QString folder = info.absolutePath();
    if (!QFileInfo(folder).isDir()) {
        if (!QDir().mkpath(folder))
            return Fail(error, folder + QStringLiteral(": cannot create the folder"));
        QFile::setPermissions(folder, kReadableByAll | QFileDevice::ExeOwner |
                                          QFileDevice::ExeGroup | QFileDevice::ExeOther);
    }
    IniFile ini(path);
    if (!ini.WriteString(QLatin1String(kSection), QLatin1String(kKey), ScrambledHex(password)))
        return Fail(error, path + QStringLiteral(": cannot write the file"));
    if (!QFile::setPermissions(path, kReadableByAll))
        return Fail(error, path + QStringLiteral(": cannot make the file readable"));
    return true;
}

bool ClearLock(const QString& path, QString* error) {
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) return true;
    if (info.isDir()) return Fail(error, path + QStringLiteral(": not a file"));
    if (!QFile::remove(path)) return Fail(error, path + QStringLiteral(": cannot remove the file"));
    return true;
}

}  // namespace platform::lock
