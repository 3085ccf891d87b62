// The window program's command line: read before any display is needed, and the program itself
// run without a display for "--help" and a wrong option.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "WidgetTestSupport.h"
#include "app/CommandLine.h"

namespace {

using Action = app::CommandLine::Action;
using widgettest::U;

TEST(CommandLine, OptionsFilesAndQtsOwnOptions) {
    const struct {
        QStringList arguments;
        Action action;
        QStringList files;
    } cases[] = {
        {{}, Action::Run, {}},
        {{"a.avi", "b c.mp4"}, Action::Run, {"a.avi", "b c.mp4"}},
        {{"--help"}, Action::Help, {}},
        {{"-h", "a.avi"}, Action::Help, {"a.avi"}},
        {{"--version"}, Action::Version, {}},
        {{"--self-test"}, Action::SelfTest, {}},
        // Qt's window-system options and their values are not files.
        {{"-platform", "offscreen", "a.avi", "-style", "fusion"}, Action::Run, {"a.avi"}},
        {{"--", "--help", "-x.avi"}, Action::Run, {"--help", "-x.avi"}},
        {{"--hepl", "a.avi"}, Action::Error, {}},
        {{"-x"}, Action::Error, {}},
        {{"a.avi", "-platform"}, Action::Error, {}},  // a value is missing
        {{"--version=2"}, Action::Error, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const app::CommandLine line = app::ParseCommandLine(c.arguments);
        EXPECT_EQ(line.action, c.action);
        if (c.action != Action::Error) {
            EXPECT_EQ(line.files, c.files);
        }
        if (c.action == Action::Help || c.action == Action::Error) {
            EXPECT_TRUE(line.text.contains(U("用法：tandrel"))) << line.text.toStdString();
        }
    }
    // The reason names the option as written.
    EXPECT_TRUE(app::ParseCommandLine({"--hepl"}).text.startsWith(U("tandrel: 未知的选项：--hepl")));
    EXPECT_TRUE(app::ParseCommandLine({"-platform"}).text.startsWith(U("tandrel: 选项缺少取值：-platform")));
    EXPECT_TRUE(app::ParseCommandLine({"--help=x"}).text.startsWith(U("tandrel: 选项不接受取值：--help")));
}

// No display at all: the program must answer before it would need one.
TEST(CommandLine, HelpAndWrongOptionsNeedNoWindow) {
    const std::string noDisplay =
        std::string("env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb '") + TANDREL_APP + "'";
    const testsupport::CommandResult help = testsupport::RunCapturing(noDisplay + " --help");
    EXPECT_EQ(help.status, 0) << help.err;
    EXPECT_NE(help.out.find("用法：tandrel"), std::string::npos) << help.out;
    EXPECT_TRUE(help.err.empty()) << help.err;

    const testsupport::CommandResult wrong = testsupport::RunCapturing(noDisplay + " --no-such-option");
    EXPECT_EQ(wrong.status, 2) << wrong.err;
    EXPECT_NE(wrong.err.find("--no-such-option"), std::string::npos) << wrong.err;
    EXPECT_NE(wrong.err.find("用法：tandrel"), std::string::npos) << wrong.err;
    EXPECT_TRUE(wrong.out.empty());
}

}  // namespace
