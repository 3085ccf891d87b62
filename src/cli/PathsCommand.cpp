// tandrel-cli paths: where the programs find their own files and keep the user's — the same
// choices the windows make (platform::AppPaths), so a user or a packager can see which data
// folder, settings file and output folders apply. Reads the settings; never writes or creates.
#include <QCommandLineParser>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

#include "cli/Commands.h"
#include "platform/AppPaths.h"
#include "platform/IniFile.h"
#include "platform/PasswordLock.h"
#include "player/Snapshot.h"

namespace {

// The output folder as the main window reads it at start: a usable stored "OutPath", else the
// default folder.
QString OutputFolder(const platform::IniFile& ini) {
    const QString stored =
        ini.Exists() ? ini.ReadString(QStringLiteral("OutPath"), QStringLiteral("OutPath"))
                     : QString();
    return platform::AppPaths::IsUsableStoredFolder(stored)
               ? stored
               : platform::AppPaths::DefaultOutputFolder();
}

}  // namespace

int RunPaths(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Prints the folders and files Tandrel uses: program, data (skins, help, sounds), the\n"
        "private media-library folder LibAV, the settings file, the output and snapshot\n"
        "folders, and the password lock file. A missing entry is marked."));
    parser.addHelpOption();
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("One JSON object."));
    parser.addOption(json);
    if (!parser.parse(args) || !parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "tandrel-cli paths: %s\n",
                     parser.errorText().isEmpty() ? "no arguments expected"
                                                  : parser.errorText().toLocal8Bit().constData());
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        const QString help = parser.helpText();
        std::printf("Usage: tandrel-cli paths [--json]\n%s",
                    help.mid(help.indexOf(QLatin1Char('\n')) + 1).toLocal8Bit().constData());
        return 0;
    }

    namespace paths = platform::AppPaths;
    const platform::IniFile ini(paths::SettingsFile());
    const std::pair<const char*, QString> entries[] = {
        {"program", paths::ExecutableDir()},
        {"data", paths::DataDir()},
        {"help", paths::DataFile(QStringLiteral("help/index.html"))},
        {"sounds", paths::DataFile(QStringLiteral("sounds/cam.wav"))},
        {"libav", paths::LibAVDir()},
        {"settings", paths::SettingsFile()},
        {"output", OutputFolder(ini)},
        {"snapshots", player::StoredSnapshotFolder(ini)},
        {"lock", platform::lock::LockFile()},
    };
    if (parser.isSet(json)) {
        QJsonObject o;
        for (const auto& [key, path] : entries) o.insert(QLatin1String(key), path);
        std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Indented).constData());
        return 0;
    }
    for (const auto& [key, path] : entries) {
        std::printf("%-10s %s%s\n", key, path.toLocal8Bit().constData(),
                    QFileInfo::exists(path) ? "" : "  (missing)");
    }
    return 0;
}
