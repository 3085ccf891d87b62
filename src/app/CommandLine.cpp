#include "app/CommandLine.h"

#include <QCommandLineParser>

namespace app {

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// Qt's own options, which the application object takes out of the command line later: the
// window system's (QGuiApplication) and the widgets' (QApplication).
const char* const kQtValueOptions[] = {
    "platform",        "platformpluginpath", "platformtheme", "plugin",
    "qwindowgeometry", "qwindowicon",        "qwindowtitle",  "session",
    "display",         "geometry",           "style",         "stylesheet"};
const char* const kQtFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

QString Usage() {
    return U(
        "用法：tandrel [选项] [文件…]\n"
        "批量转换音频和视频文件。命令行中的文件在窗口打开后加入转换列表（不存在的文件会被指出，"
        "不会加入）。\n"
        "\n"
        "选项：\n"
        "  -h, --help     显示本帮助并退出\n"
        "  --version      显示版本号并退出\n"
        "  --self-test    启动程序，检查运行所需的窗口、皮肤、数据文件和音频视频库后退出\n"
        "  --             其后的参数都是文件名（文件名以“-”开头时使用）\n"
        "\n"
        "另外接受 Qt 的窗口系统选项，例如 -platform offscreen、-style fusion。\n");
}

}  // namespace

CommandLine ParseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    // Qt's options are written with one dash ("-platform xcb").
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption selfTest(QStringLiteral("self-test"));
    parser.addOptions({help, version, selfTest});
    for (const char* name : kQtValueOptions) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char* name : kQtFlags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    CommandLine line;
    // The parser expects the program's name first.
    if (!parser.parse(QStringList{QStringLiteral("tandrel")} + arguments)) {
        line.action = CommandLine::Action::Error;
        // The option as it was written ("--hepl", "-x"), which the parser gives without dashes.
        const QStringList unknown = parser.unknownOptionNames();
        QString written;
        for (const QString& argument : arguments) {
            QString name = argument.section(QLatin1Char('='), 0, 0);
            while (name.startsWith(QLatin1Char('-'))) name.remove(0, 1);
            if (!unknown.isEmpty() && argument.startsWith(QLatin1Char('-')) &&
                name == unknown.first()) {
                written = argument.section(QLatin1Char('='), 0, 0);
                break;
            }
        }
        // Otherwise a value is missing or not wanted; the parser names the option in quotes.
        const QString error = parser.errorText();
        const QString quoted = error.section(QLatin1Char('\''), 1, 1);
        const QString reason = !written.isEmpty() ? U("未知的选项：") + written
                               : error.startsWith(QLatin1String("Missing"))
                                   ? U("选项缺少取值：") + quoted
                                   : U("选项不接受取值：") + quoted;
        line.text = QStringLiteral("tandrel: ") + reason + QStringLiteral("\n\n") + Usage();
        return line;
    }
    line.files = parser.positionalArguments();
    if (parser.isSet(help)) {
        line.action = CommandLine::Action::Help;
        line.text = Usage();
    } else if (parser.isSet(version)) {
        line.action = CommandLine::Action::Version;
    } else if (parser.isSet(selfTest)) {
        line.action = CommandLine::Action::SelfTest;
    }
    return line;
}

}  // namespace app
