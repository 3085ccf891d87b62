// tandrel-cli transcode driven as a script would: exit status 0/1, the JSON
// events read back as JSON, failures that name their file and leave nothing behind, and the
// written files read back with ffprobe.
#include <QJsonObject>
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "CliTestSupport.h"
#include "TestMedia.h"
#include "TestSupport.h"

using testsupport::Cli;
using testmedia::Quote;

namespace {

TEST(TranscodeCli, JsonEventsFollowTheConversionToItsEnd) {
    const std::string dir = testsupport::ScratchDir("json");
    const std::string out = dir + "/cut.avi";
    const testsupport::CommandResult r =
        Cli("transcode --progress json -i " + Quote(testmedia::Path("clip10s")) +
            " -t 4 -vcodec mpeg4 -acodec mp2 " + Quote(out));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::vector<QJsonObject> events = clitest::JsonLines(r.out);
    ASSERT_GE(events.size(), 2u) << r.out;

    // Progress first, then exactly one end event, last.
    const QJsonObject end = events.back();
    EXPECT_EQ(end["event"].toString(), "end");
    EXPECT_EQ(end["finished"], true);
    EXPECT_EQ(end["hasError"], false);
    EXPECT_EQ(end["error"].toString(), "");
    double lastTime = -1;
    for (size_t i = 0; i + 1 < events.size(); ++i) {
        const QJsonObject& p = events[i];
        ASSERT_EQ(p["event"].toString(), "progress");
        EXPECT_EQ(p["total"].toInteger(), 4000000);  // the cut, not the 10 s source
        EXPECT_GE(p["time"].toDouble(), lastTime);
        lastTime = p["time"].toDouble();
        EXPECT_GE(p["percent"].toDouble(), 0);
        EXPECT_LE(p["percent"].toDouble(), 100);
        EXPECT_GT(p["size"].toInteger(), 0);
        EXPECT_GT(p["frame"].toInteger(), 0);
    }
    // The last report is at the last picture: within two frames (25 fps) of the end.
    EXPECT_NEAR(lastTime, 4e6, 80000);

    const clitest::Reference written = clitest::ReferenceOf(out);
    EXPECT_NEAR(written.duration, 4.0, 0.1);
    EXPECT_EQ(written.codecs, (std::vector<std::string>{"mpeg4", "mp2"}));
}

TEST(TranscodeCli, ProgressBarGoesToStandardError) {
    const std::string dir = testsupport::ScratchDir("bar");
    const testsupport::CommandResult r =
        Cli("transcode --progress bar -i " + Quote(testmedia::Path("avi_mpeg4_mp3")) + " " +
            Quote(dir + "/out.avi"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.substr(0, 2), "\r[");
    EXPECT_NE(r.err.find("] "), std::string::npos);
    EXPECT_NE(r.err.find("% "), std::string::npos);
    EXPECT_EQ(r.err.back(), '\n');
    EXPECT_NEAR(clitest::ReferenceOf(dir + "/out.avi").duration, 2.0, 0.1);
}

TEST(TranscodeCli, FailuresExitOneNameTheFileAndLeaveNothing) {
    const std::string dir = testsupport::ScratchDir("failures");
    const std::string good = testmedia::Path("avi_mpeg4_mp3");
    const std::string missing = dir + "/missing.avi";
    const std::string broken = testmedia::Path("text_mp4");
    const std::string nowhere = dir + "/no such folder/out.avi";
    const struct {
        std::string args;
        std::string message;
    } cases[] = {
        {"-i " + Quote(missing) + " " + Quote(dir + "/a.avi"),
         missing + ": No such file or directory"},
        {"-i " + Quote(broken) + " " + Quote(dir + "/b.avi"),
         broken + ": Invalid data found when processing input"},
        {"-i " + Quote(good) + " " + Quote(nowhere), nowhere + ": No such file or directory"},
        {"-i " + Quote(good) + " -vcodec nosuch " + Quote(dir + "/c.avi"),
         "new_video_stream fail: Unknown encoder 'nosuch'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        // Without progress events the reason is the last line of standard error.
        const testsupport::CommandResult plain = Cli("transcode " + c.args);
        EXPECT_EQ(plain.status, 1);
        EXPECT_EQ(plain.out, "");
        const auto lines = clitest::Lines(plain.err);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), c.message);

        // With them, the end event carries the same reason.
        const testsupport::CommandResult json = Cli("transcode --progress json " + c.args);
        EXPECT_EQ(json.status, 1);
        const std::vector<QJsonObject> events = clitest::JsonLines(json.out);
        ASSERT_EQ(events.size(), 1u) << json.out;
        EXPECT_EQ(events[0]["event"].toString(), "end");
        EXPECT_EQ(events[0]["finished"], false);
        EXPECT_EQ(events[0]["hasError"], true);
        EXPECT_EQ(events[0]["error"].toString().toStdString(), c.message);

        EXPECT_TRUE(clitest::FilesIn(dir).empty());
    }
}

TEST(TranscodeCli, JoinWritesTheInputsOneAfterAnother) {
    const std::string dir = testsupport::ScratchDir("join");
    const std::string a = testmedia::Path("avi_mpeg4_mp3");
    const std::string b = testmedia::Path("odd_321x241");
    const testsupport::CommandResult r = Cli("transcode --join -i " + Quote(a) + " -i " + Quote(b) +
                                             " " + Quote(dir + "/joined.avi"));
    ASSERT_EQ(r.status, 0) << r.err;
    const double expected = clitest::ReferenceOf(a).duration + clitest::ReferenceOf(b).duration;
    EXPECT_NEAR(clitest::ReferenceOf(dir + "/joined.avi").duration, expected, 0.2);
}

}  // namespace
