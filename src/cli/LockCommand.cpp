// tandrel-cli lock: the administrator's password lock of the program on this machine.
//   lock set PASSWORD   writes the lock (PASSWORD "-" reads one line from standard input)
//   lock clear          removes it
//   lock status         prints "on" or "off"
// The lock file is /etc/tandrel/lock.ini (TANDREL_LOCK_FILE, or --file, chooses another).
#include <QCommandLineParser>
#include <QTextStream>
#include <cstdio>

#include "cli/Commands.h"
#include "platform/PasswordLock.h"

namespace {
constexpr char kUsage[] = "Usage: tandrel-cli lock set PASSWORD | clear | status [--file FILE]\n";
}  // namespace

int RunLock(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Sets, clears or shows the password that the program asks for at start "
                       "on this machine.\n\n"
                       "  lock set PASSWORD   lock with PASSWORD (\"-\": read it from standard "
                       "input)\n"
                       "  lock clear          remove the lock\n"
                       "  lock status         print on or off"));
    parser.addHelpOption();
    const QCommandLineOption fileOption(
        QStringLiteral("file"),
        QStringLiteral("The lock file (default: TANDREL_LOCK_FILE, else %1).")
            .arg(QLatin1String(platform::lock::kDefaultLockFile)),
        QStringLiteral("FILE"));
    parser.addOption(fileOption);
    if (!parser.parse(args)) {
        std::fprintf(stderr, "tandrel-cli lock: %s\n", parser.errorText().toUtf8().constData());
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        // The parser's first line names the executable's path; the command's own usage replaces
        // it.
        const QString help = parser.helpText();
        std::printf("%s%s", kUsage,
                    help.mid(help.indexOf(QLatin1Char('\n')) + 1).toUtf8().constData());
        return 0;
    }
    const QStringList words = parser.positionalArguments();  // args[0] names the command
    const QString file =
        parser.isSet(fileOption) ? parser.value(fileOption) : platform::lock::LockFile();
    const QString action = words.value(0);
    const auto usage = [] {
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    };
    if (file.isEmpty()) return usage();

    QString error;
    if (action == QLatin1String("set") && words.size() == 2) {
        QString password = words[1];
        if (password == QLatin1String("-")) {
            QTextStream in(stdin);
            password = in.readLine();
        }
        if (!platform::lock::WriteLock(file, password, &error)) {
            std::fprintf(stderr, "tandrel-cli lock: %s\n", error.toUtf8().constData());
            return 1;
        }
        return 0;
    }
    if (action == QLatin1String("clear") && words.size() == 1) {
        if (!platform::lock::ClearLock(file, &error)) {
            std::fprintf(stderr, "tandrel-cli lock: %s\n", error.toUtf8().constData());
            return 1;
        }
        return 0;
    }
    if (action == QLatin1String("status") && words.size() == 1) {
        std::printf("%s\n", platform::lock::ReadLock(file).on ? "on" : "off");
        return 0;
    }
    return usage();
}
