// Inputs the world makes, beyond round fixtures: odd and huge frame sizes, every common pixel
// layout, film, NTSC and slide-show frame rates, variable timing, sound from 8 to 96 kHz in one
// to eight channels and several tracks. Each clip is made here by the ffmpeg program and goes
// through a snapshot, a playback and one profile of each family; what comes out is held against
// the ffmpeg program's own decode of the same clip and ffprobe's reading of the outputs.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "../player/PlayerTestSupport.h"
#include "TestMedia.h"
#include "TestSupport.h"

namespace {

using testmedia::Quote;

struct Clip {
    const char* id;
    const char* make;  // ffmpeg arguments from the inputs to the encoders and container
    const char* ext;
    int width = 0, height = 0;  // 0: no picture
    int audioStreams = 0;
};

// Pictures: testsrc2 (colour bars and moving shapes), scaled to the size, which it cannot make
// odd itself. Sound: sine tones. ffv1 and png take any size and layout; the codecs of downloads
// where size or bit depth is the point.
#define V(size, rate, dur) \
    "-f lavfi -i testsrc2=size=160x120:rate=" rate ":duration=" dur ",scale=" size " "
#define A(rate, layout, dur)                                            \
    "-f lavfi -i sine=frequency=440:sample_rate=" rate ":duration=" dur \
    ",aformat=channel_layouts=" layout " "

// Each size once; the layouts, rates and sounds ride along with them.
const Clip kClips[] = {
    {"w1x1", V("1:1", "25", "0.2") "-c:v ffv1 -pix_fmt yuv420p", ".mkv", 1, 1},
    {"w2x2_8k_mono",
     V("2:2", "25", "0.2") A("8000", "mono", "0.2") "-c:v ffv1 -pix_fmt yuv420p -c:a pcm_s16le",
     ".mkv", 2, 2, 1},
    {"w3x3_444", V("3:3", "25", "0.2") "-c:v ffv1 -pix_fmt yuv444p", ".mkv", 3, 3},
    {"w17x17_four_tracks",
     V("17:17", "25", "0.3") A("44100", "mono", "0.3") A("22050", "stereo", "0.3") A(
         "48000", "5.1", "0.3") A("8000", "mono", "0.3") "-map 0:v -map 1:a -map 2:a -map 3:a -map "
                                                         "4:a -c:v ffv1 -pix_fmt yuv420p -c:a aac",
     ".mkv", 17, 17, 4},
    {"w300_96k",
     V("300:20", "25", "0.2") A("96000", "stereo", "0.2") "-c:v ffv1 -pix_fmt yuv420p -c:a flac",
     ".mkv", 300, 20, 1},
    {"w322_422_23976", V("322:21", "24000/1001", "0.3") "-c:v ffv1 -pix_fmt yuv422p", ".mkv", 322,
     21},
    {"w330_rgb_2997", V("330:21", "30000/1001", "0.3") "-c:v png -pix_fmt rgb24", ".mkv", 330, 21},
    {"w427_pal8_5994", V("427:33", "60000/1001", "0.2") "-c:v png -pix_fmt pal8", ".mkv", 427, 33},
    {"w854",
     V("854:480", "25", "0.2")
         A("44100", "stereo", "0.2") "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac",
     ".mp4", 854, 480, 1},
    {"w1366_10bit_1fps",
     V("1366:768", "1", "2") "-c:v libx264 -preset ultrafast "
                             "-pix_fmt yuv420p10le",
     ".mkv", 1366, 768},
    {"w4096", V("4096:2160", "25", "0.08") "-c:v libx264 -preset ultrafast -pix_fmt yuv420p",
     ".mp4", 4096, 2160},
    {"fps05_51",
     V("64:48", "1/2", "2") A("48000", "5.1", "2") "-c:v libx264 -preset ultrafast -c:a aac",
     ".mkv", 64, 48, 1},
    {"vfr",
     V("64:48", "25", "0.6") "-vf \"select='not(between(n,4,9))'\" -fps_mode vfr "
                             "-c:v libx264 -preset ultrafast",
     ".mkv", 64, 48},
    {"sound_71", A("48000", "7.1", "0.4") "-c:a pcm_s16le", ".mkv", 0, 0, 1},
};

#undef V
#undef A

void PrintTo(const Clip& clip, std::ostream* os) { *os << clip.id; }

// One profile of each family, as the catalogue states them: container, codecs, the frame size
// it keeps or sets, the sound it makes.
struct Profile {
    int index;
    const char* format;  // ffprobe's format_name
    const char* video;   // "" for the sound-only formats
    int width, height;   // 0: the source's (rounded to even for 4:2:0 encoders)
    const char* audio;
    int sampleRate;
    int largestSide = 0;  // of the encoder's stream headers; a larger source is shrunk to it
};
const Profile kProfiles[] = {
    {101, "avi", "h264", 0, 0, "aac", 48000},
    {312, "mov,mp4,m4a,3gp,3g2,mj2", "mpeg4", 0, 0, "mp3", 44100},
    {107, "matroska,webm", "mpeg4", 0, 0, "aac", 22050},
    {316, "flv", "flv1", 320, 240, "mp3", 22050},
    {314, "mpeg", "mpeg1video", 0, 0, "mp2", 44100, 4095},
    {308, "mov,mp4,m4a,3gp,3g2,mj2", "", 0, 0, "aac", 48000},
    {300, "mp3", "", 0, 0, "mp3", 48000},
};

testsupport::CommandResult cli(const std::string& args) {
    return testsupport::RunCapturing(std::string(TANDREL_CLI) + " " + args);
}

std::vector<QJsonObject> streamsOf(const QJsonObject& probe, const char* type) {
    std::vector<QJsonObject> found;
    for (const auto& s : probe["streams"].toArray())
        if (s.toObject()["codec_type"].toString() == QLatin1String(type))
            found.push_back(s.toObject());
    return found;
}

class InputMatrix : public ::testing::TestWithParam<Clip> {
protected:
    void SetUp() override {
        dir = testsupport::ScratchDir("matrix");
        clip = dir + "/" + GetParam().id + GetParam().ext;
        ASSERT_EQ(testsupport::Run(std::string("ffmpeg -v error -nostdin -y ") + GetParam().make +
                                   " " + Quote(clip)),
                  0)
            << "the ffmpeg program could not make " << clip;
        source = testsupport::FfprobeJson(clip);
        length = source["format"].toObject()["duration"].toString().toDouble();
        ASSERT_GT(length, 0);
        for (const QJsonObject& v : streamsOf(source, "video")) {
            const QStringList rate = v["avg_frame_rate"].toString().split('/');
            if (rate.size() == 2 && rate[0].toDouble() > 0)
                picture = rate[1].toDouble() / rate[0].toDouble();
        }
    }
    std::string dir, clip;
    QJsonObject source;
    double length = 0;
    double picture = 0;  // the duration of one picture at the source's average rate
};

TEST_P(InputMatrix, SnapshotMatchesTheReferenceDecodeToTheLastColumnAndRow) {
    const Clip& c = GetParam();
    const auto shot = cli("snapshot " + Quote(clip) + " --at 0 --format png --out " + Quote(dir));
    if (!c.width) {  // nothing to capture: refused with a reason
        EXPECT_EQ(shot.status, 1);
        EXPECT_EQ(shot.err.rfind(clip + ": ", 0), 0u) << shot.err;
        return;
    }
    ASSERT_EQ(shot.status, 0) << shot.err;
    const QImage ours = playertest::DecodeImageFile(dir + "/" + c.id + "_1.png");
    const QImage reference = playertest::ReferenceFrame(clip, 0);
    ASSERT_EQ(ours.size(), QSize(c.width, c.height));
    ASSERT_EQ(reference.size(), ours.size());
    // The two scalers round and interpolate colour a little differently; a column or row left
    // unwritten (black) or filled from elsewhere differs by far more.
    for (const QRect& line :
         {QRect(c.width - 1, 0, 1, c.height), QRect(0, c.height - 1, c.width, 1)})
        EXPECT_LE(playertest::MeanAbsError(ours.copy(line), reference.copy(line)), 6.0)
            << "x " << line.x() << ", y " << line.y();
}

TEST_P(InputMatrix, Plays) {
    const Clip& c = GetParam();
    const auto r = cli("play " + Quote(clip) + " --seconds 0.3 --json");
    ASSERT_EQ(r.status, 0) << r.err;
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
    ASSERT_FALSE(o.isEmpty()) << r.out;
    // Until the last picture is shown (a still of two seconds ends as it is shown), or the end
    // of the sound.
    const double until = c.audioStreams ? length : length - picture;
    EXPECT_GE(o["seconds_played"].toDouble(), std::min(0.3, until) - 0.05);
    if (c.width)
        EXPECT_GE(o["pictures_shown"].toInt(), 1);
    else
        EXPECT_EQ(o["pictures_shown"].toInt(), 0);
}

TEST_P(InputMatrix, ConvertsWithOneProfileOfEachFamily) {
    const Clip& c = GetParam();
    for (const Profile& p : kProfiles) {
        SCOPED_TRACE("profile " + std::to_string(p.index));
        const std::string out = dir + "/p" + std::to_string(p.index);
        const auto r = cli("convert --profile " + std::to_string(p.index) + " --out " + Quote(out) +
                           " " + Quote(clip));
        if (!*p.video && !c.audioStreams && c.width) {
            // Nothing a sound-only format can take: refused with the reason.
            EXPECT_EQ(r.status, 1);
            EXPECT_NE(r.out.find("the source has no sound for this sound-only format"),
                      std::string::npos)
                << r.out << r.err;
            continue;
        }
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const std::string ext = p.index == 300 ? ".mp3" : p.index == 308 ? ".m4a" : "";
        std::string output;
        for (const auto& entry : std::filesystem::directory_iterator(out)) output = entry.path();
        ASSERT_FALSE(output.empty());
        const QJsonObject probe = testsupport::FfprobeJson(output);
        EXPECT_EQ(probe["format"].toObject()["format_name"].toString().toStdString(), p.format);

        const auto video = streamsOf(probe, "video");
        const bool wantVideo = *p.video && c.width;
        ASSERT_EQ(video.size(), wantVideo ? 1u : 0u);
        if (wantVideo) {
            EXPECT_EQ(video[0]["codec_name"].toString().toStdString(), p.video);
            const int w = video[0]["width"].toInt(), h = video[0]["height"].toInt();
            if (p.width) {
                EXPECT_EQ(w, p.width);
                EXPECT_EQ(h, p.height);
            } else {
                const int side = std::max(c.width, c.height);
                const double scale =
                    p.largestSide && side > p.largestSide ? double(p.largestSide) / side : 1;
                EXPECT_LE(std::abs(w - int(c.width * scale)), 1) << w;
                EXPECT_LE(std::abs(h - int(c.height * scale)), 1) << h;
            }
        }
        const auto audio = streamsOf(probe, "audio");
        ASSERT_EQ(audio.size(), c.audioStreams ? 1u : 0u);
        if (!audio.empty()) {
            EXPECT_EQ(audio[0]["codec_name"].toString().toStdString(), p.audio);
            EXPECT_EQ(audio[0]["sample_rate"].toString().toInt(), p.sampleRate);
            EXPECT_EQ(audio[0]["channels"].toInt(), 2);
        }
        // As long as the source, give or take a picture and an audio frame. ffprobe guesses the
        // length of an MPEG program stream from its bit rate, which a few pixels make useless.
        if (std::string(p.format) == "mpeg" && c.width * c.height < 32 * 32) continue;
        const double got = probe["format"].toObject()["duration"].toString().toDouble();
        EXPECT_NEAR(got, length, 0.15 + picture) << output;
    }
}

INSTANTIATE_TEST_SUITE_P(Clips, InputMatrix, ::testing::ValuesIn(kClips),
                         [](const ::testing::TestParamInfo<Clip>& info) {
                             return std::string(info.param.id);
                         });

}  // namespace
