// tandrel-cli on files a user meets that the everyday set lacks: a picture captured far from a
// key frame, a file without sound given a sound-only profile, a one-pixel picture. Expected
// values come from the ffmpeg/ffprobe programs and from arithmetic on how the clips were made.
#include <QJsonArray>
#include <QJsonObject>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "TestMedia.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
using testmedia::Quote;

namespace {

using Result = testsupport::CommandResult;

using testsupport::Cli;

std::string make(const std::string& dir, const std::string& name, const std::string& args) {
    std::string error;
    const std::string path = dir + "/" + name;
    EXPECT_TRUE(testmedia::RunFfmpeg(args + " " + Quote(path), &error)) << error;
    return path;
}

// Mean luma of a picture file as the ffmpeg program reads it (-1 when it cannot).
double lumaOf(const std::string& path) {
    std::string text;
    testsupport::Run("ffprobe -v error -f lavfi -i " + Quote("movie=" + path + ",signalstats") +
                         " -show_entries frame_tags=lavfi.signalstats.YAVG -of csv=p=0",
                     &text);
    return text.empty() ? -1 : std::stod(text);
}

// 4 s whose luma is 16 + 20 × t, in H.264 with its only key frame at the start.
TEST(UserFiles, ASnapshotIsThePictureAtItsTimeNotTheKeyFrameBefore) {
    const std::string dir = testsupport::ScratchDir("snapshot");
    const std::string clip =
        make(dir, "ramp.mp4",
             "-f lavfi -i color=c=black:s=320x240:r=25:d=4 -vf geq=lum='16+20*T':cb=128:cr=128 "
             "-c:v libx264 -g 250 -sc_threshold 0");
    std::string keyFrames;
    testsupport::Run(
        "ffprobe -v error -skip_frame nokey -select_streams v -show_entries "
        "frame=pts_time -of default=nw=1:nk=1 " +
            Quote(clip),
        &keyFrames);
    ASSERT_EQ(keyFrames, "0.000000\n");
    // At 2.5 s and 3.0 s, and at the end (the last picture, 3.96 s); past it is refused.
    for (const auto& [at, luma] : {std::pair{"2.5", 66.0}, {"3", 76.0}, {"4", 95.2}}) {
        const Result r = Cli("snapshot " + Quote(clip) + " --at " + at + " --format png --out " +
                             Quote(dir + "/at" + at));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NEAR(lumaOf(dir + "/at" + at + "/ramp_1.png"), luma, 3.0) << "at " << at;
    }
}

TEST(UserFiles, ASoundOnlyProfileRefusesAFileWithoutSoundBeforeConverting) {
    const std::string dir = testsupport::ScratchDir("nosound");
    const std::string mute =
        make(dir, "mute.avi", "-f lavfi -i testsrc=s=320x240:r=25:d=1 -c:v mpeg4");
    const std::string both =
        make(dir, "both.avi",
             "-f lavfi -i testsrc=s=320x240:r=25:d=1 -f lavfi -i sine=d=1 -c:v mpeg4 "
             "-c:a libmp3lame");
    ASSERT_EQ(testsupport::FfprobeJson(mute)["streams"].toArray().size(), 1);
    const std::string out = dir + "/out";
    // MP3 (profile 300) of both, two at once: the mute one is refused, the other converted.
    const Result r = Cli("convert --profile 300 --jobs 2 --progress none --out " + Quote(out) +
                         " " + Quote(mute) + " " + Quote(both));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("mute.avi: the source has no sound for this sound-only format"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("1 passed, 1 failed"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(out + "/mute.mp3"));
    const QJsonObject mp3 = testsupport::FfprobeJson(out + "/both.mp3");
    ASSERT_EQ(mp3["streams"].toArray().size(), 1);
    EXPECT_NEAR(mp3["format"].toObject()["duration"].toString().toDouble(), 1.0, 0.15);
}

TEST(UserFiles, AOnePixelPictureGrowsToTheEncodersSmallestStep) {
    const std::string dir = testsupport::ScratchDir("onepixel");
    const std::string dot =
        make(dir, "dot.mkv", "-f lavfi -i color=c=red:s=16x16:r=25:d=2 -vf scale=1:1 -c:v ffv1");
    const QJsonObject source = testsupport::FfprobeJson(dot)["streams"].toArray()[0].toObject();
    ASSERT_EQ(source["width"].toInt(), 1);
    // Profile 312 keeps the source's size; its MPEG-4 in 4:2:0 needs even sides.
    const Result r = Cli("convert --profile 312 --progress none --out " + Quote(dir + "/out") +
                         " " + Quote(dot));
    ASSERT_EQ(r.status, 0) << r.err;
    const QJsonObject mp4 = testsupport::FfprobeJson(dir + "/out/dot.mp4");
    const QJsonObject video = mp4["streams"].toArray()[0].toObject();
    EXPECT_EQ(video["width"].toInt(), 2);
    EXPECT_EQ(video["height"].toInt(), 2);
    EXPECT_NEAR(mp4["format"].toObject()["duration"].toString().toDouble(), 2.0, 0.1);
}

}  // namespace
