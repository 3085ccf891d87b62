// tandrel-cli play and snapshot, driven as a script or a benchmark would.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>

#include <gtest/gtest.h>

#include "PlayerTestSupport.h"
#include "TestMedia.h"
#include "TestSupport.h"

namespace {

using testmedia::Quote;
using Result = testsupport::CommandResult;

using testsupport::Cli;

TEST(PlayerCli, PlayPrintsTimingFiguresAsJson) {
    const Result r = Cli("play " + Quote(testmedia::Path("frames10s")) + " --seconds 2 --json");
    ASSERT_EQ(r.status, 0) << r.err;
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
    ASSERT_FALSE(o.isEmpty()) << r.out;
    EXPECT_EQ(o["audio_driver"].toString(), "dummy");
    EXPECT_GT(o["open_to_first_picture_ms"].toDouble(), 0);
    // Stopped once the position reached two seconds: never before, and a little after when the
    // command's wait wakes late on a busy machine.
    const double played = o["seconds_played"].toDouble();
    EXPECT_GE(played, 2.0);
    EXPECT_LE(played, 2.5);
    // Never more pictures than the time played holds at 25 a second (a machine too busy to
    // decode them all in time shows fewer), each later than the one before.
    const int shown = o["pictures_shown"].toInt(), dropped = o["pictures_dropped"].toInt();
    EXPECT_LE(shown + dropped, played * 25 + 1 + 1e-6);
    const QJsonArray pictures = o["shown"].toArray();
    ASSERT_EQ(pictures.size(), shown);
    ASSERT_GE(shown, 2);
    EXPECT_EQ(pictures[0].toArray()[0].toDouble(), 0.0);
    EXPECT_TRUE(pictures[0].toArray()[1].isNull());  // the first picture comes before the sound
    // Pictures shown while the sound ran.
    int timed = 0;
    for (qsizetype i = 1; i < pictures.size(); ++i) {
        EXPECT_GT(pictures[i].toArray()[0].toDouble(), pictures[i - 1].toArray()[0].toDouble());
        if (!pictures[i].toArray()[1].isNull()) ++timed;
    }
    const QJsonObject av = o["av_error_ms"].toObject();
    EXPECT_EQ(av["count"].toInt(), timed);
    EXPECT_GE(av["count"].toInt(), 1);
    EXPECT_LE(av["median"].toDouble(), 25.0);
    EXPECT_LE(av["median"].toDouble(), av["p95"].toDouble());
    EXPECT_LE(av["p95"].toDouble(), av["max"].toDouble());
}

TEST(PlayerCli, PlayFromAStartTime) {
    // Every picture a key frame: the start is exact.
    const Result r =
        Cli("play " + Quote(testmedia::Path("intra25")) + " --start 3 --seconds 1 --json");
    ASSERT_EQ(r.status, 0) << r.err;
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
    const QJsonArray pictures = o["shown"].toArray();
    ASSERT_GE(pictures.size(), 20);
    EXPECT_NEAR(pictures[1].toArray()[0].toDouble(), 3.0, 0.05);  // [0]: the paused first one
    EXPECT_NEAR(pictures.last().toArray()[0].toDouble(), 4.0, 0.1);
    EXPECT_EQ(o["av_error_ms"].toObject()["count"].toInt(), 0);  // no sound
}

TEST(PlayerCli, PlayTextAndFailures) {
    const Result text = Cli("play " + Quote(testmedia::Path("mp4_h264_aac")) + " --seconds 0.5");
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("open to first picture: "), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("A/V error (ms) over "), std::string::npos) << text.out;

    const std::string missing = testsupport::ScratchDir("cli") + "/nothing here.mp4";
    const Result failed = Cli("play " + Quote(missing));
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.err, missing + ": No such file or directory\n");
}

TEST(PlayerCli, SnapshotSavesThePictureAtTheTime) {
    const std::string dir = testsupport::ScratchDir("cli shots");
    const std::string clip = testmedia::Path("intra25");
    const Result r = Cli("snapshot " + Quote(clip) + " --at 3 --format png --out " + Quote(dir));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, dir + "/intra25_1.png\n");
    const QImage shot = playertest::DecodeImageFile(dir + "/intra25_1.png");
    ASSERT_EQ(shot.size(), QSize(320, 240));
    EXPECT_NEAR(playertest::FrameNumber(shot), 75, 1);
    EXPECT_LE(playertest::MaxAbsError(shot, playertest::ReferenceFrame(clip, 75)), 2);

    const Result second =
        Cli("snapshot " + Quote(clip) + " --at 0 --format PNG --out " + Quote(dir));
    EXPECT_EQ(second.out, dir + "/intra25_2.png\n");

    // Past the end: refused with the file's length, nothing written.
    const Result late = Cli("snapshot " + Quote(clip) + " --at 99 --out " + Quote(dir));
    EXPECT_EQ(late.status, 1);
    EXPECT_EQ(late.err, clip + ": 99 s is past the end of the file, which lasts 8.000 s\n");
    // A write cut short (here by a 4 KiB file size limit) fails with the system's reason.
    const Result cut = testsupport::RunCapturing(
        "ulimit -f 4; exec " + std::string(TANDREL_CLI) + " snapshot " + Quote(clip) +
        " --at 1 --format bmp --out " + Quote(dir));
    EXPECT_EQ(cut.status, 1);
    EXPECT_NE(cut.err.find(dir + "/intra25_1.bmp: File too large\n"), std::string::npos) << cut.err;
    EXPECT_FALSE(std::filesystem::exists(dir + "/intra25_1.bmp"));

    const Result sound =
        Cli("snapshot " + Quote(testmedia::Path("wav_pcm")) + " --at 1 --out " + Quote(dir));
    EXPECT_EQ(sound.status, 1);
    EXPECT_EQ(sound.out, "");
}

}  // namespace
