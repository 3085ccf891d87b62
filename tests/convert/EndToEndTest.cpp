// Every profile end to end: a 2 s 640x360 25 fps clip with 44.1 kHz stereo sound converted by
// tandrel-cli convert, two conversions at a time, and read back with ffprobe. The defaults of the
// 80 profiles are checked against a table written out by hand below, and every codec item, from
// a smaller clip, against another.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ProfileRuns.h"
#include "TestMedia.h"
#include "TestSupport.h"
#include "formats/FormatCatalog.h"
#include "formats/OptionsModel.h"

namespace fs = std::filesystem;
using namespace formats;
using testmedia::Quote;

namespace {

using namespace profileruns;

std::string workDir(const char* name) { return testsupport::ScratchDir(name); }

// What each profile's defaults make of the 640x360, 25 fps, 44.1 kHz stereo clip, worked out by
// hand from the catalogue's selected items: the encoder each item names, the item's size and
// rate ("keep" is the clip's), the disc standards (PAL: DVD 720x576, SVCD 480x576, VCD 352x288,
// 25 fps; sound at 48 kHz for DVD and 44.1 kHz for the others), and the container's own encoder
// where an item names none (FLV and SWF: Sorenson; MOV: H.264; MPEG and VOB: MPEG-1/2 layer II
// sound; WAV: 16-bit PCM; RM: AC-3). Names are ffprobe's. RealVideo 1 takes sizes in multiples
// of 16 only: 640x352.
struct ProfileOutput {
    int index;
    const char* file;  // output file name made from "clip2s_640.mp4"
    const char* container;
    const char* video;  // "" for none
    int width, height;
    double fps;
    const char* audio;
    int sampleRate, channels;
};

constexpr const char* kMp4 = "mov,mp4,m4a,3gp,3g2,mj2";
const ProfileOutput kProfileOutputs[] = {
    // MP3格式及常用格式, video
    {312, "clip2s_640.mp4", kMp4, "mpeg4", 640, 360, 25, "mp3", 44100, 2},
    {313, "clip2s_640.avi", "avi", "h264", 640, 360, 25, "aac", 48000, 2},
    {314, "clip2s_640.mpg", "mpeg", "mpeg1video", 640, 360, 25, "mp2", 44100, 2},
    {315, "clip2s_640.mov", kMp4, "h264", 640, 360, 25, "aac", 22050, 2},
    {316, "clip2s_640.flv", "flv", "flv1", 320, 240, 25, "mp3", 22050, 2},
    {317, "clip2s_640.mp4", kMp4, "mpeg4", 640, 360, 25, "mp3", 44100, 2},
    {318, "clip2s_640_PAL.mpg", "mpeg", "mpeg2video", 720, 576, 25, "mp3", 48000, 2},
    {319, "clip2s_640.avi", "avi", "h264", 640, 360, 25, "aac", 48000, 2},
    {320, "clip2s_640.swf", "swf", "flv1", 320, 240, 25, "mp3", 22050, 2},
    {321, "clip2s_640.vob", "mpeg", "mpeg2video", 1280, 1024, 29.97, "mp2", 44100, 2},
    {322, "clip2s_640.mkv", "matroska,webm", "mpeg4", 640, 360, 25, "aac", 22050, 2},
    {323, "clip2s_640_PAL.mpg", "mpeg", "mpeg1video", 352, 288, 25, "mp3", 44100, 2},
    {324, "clip2s_640.wmv", "asf", "wmv2", 640, 360, 25, "wmav2", 44100, 2},
    {325, "clip2s_640.mp4", kMp4, "mpeg4", 704, 480, 25, "mp3", 44100, 2},
    // MP3格式及常用格式, sound only
    {300, "clip2s_640.mp3", "mp3", "", 0, 0, 0, "mp3", 48000, 2},
    {301, "clip2s_640.mp3", "mp3", "", 0, 0, 0, "mp3", 44100, 2},
    {302, "clip2s_640.mp3", "mp3", "", 0, 0, 0, "mp3", 48000, 2},
    {303, "clip2s_640.mp3", "mp3", "", 0, 0, 0, "mp3", 22050, 2},
    {304, "clip2s_640.mp3", "mp3", "", 0, 0, 0, "mp3", 48000, 2},
    {305, "clip2s_640.wav", "wav", "", 0, 0, 0, "pcm_s16le", 48000, 2},
    {306, "clip2s_640.flac", "flac", "", 0, 0, 0, "flac", 48000, 2},
    {307, "clip2s_640.wav", "wav", "", 0, 0, 0, "pcm_s16le", 48000, 2},
    {308, "clip2s_640.m4a", kMp4, "", 0, 0, 0, "aac", 48000, 2},
    {309, "clip2s_640.mp3", "mp3", "", 0, 0, 0, "mp3", 44100, 2},
    {310, "clip2s_640.wma", "asf", "", 0, 0, 0, "wmav2", 48000, 2},
    {311, "clip2s_640.ogg", "ogg", "", 0, 0, 0, "vorbis", 48000, 2},
    // 智能设备常用视频格式
    {100, "clip2s_640.avi", "avi", "mpeg4", 640, 360, 25, "aac", 44100, 2},
    {101, "clip2s_640.avi", "avi", "h264", 640, 360, 25, "aac", 48000, 2},
    {102, "clip2s_640.mp4", kMp4, "mpeg4", 704, 480, 25, "mp3", 44100, 2},
    {103, "clip2s_640.avi", "avi", "mpeg4", 640, 360, 25, "mp3", 44100, 2},
    {104, "clip2s_640.mp4", kMp4, "mpeg4", 1024, 768, 25, "aac", 44100, 2},
    {105, "clip2s_640.mp4", kMp4, "mpeg4", 1920, 1080, 29.97, "mp3", 44100, 2},
    {106, "clip2s_640.mov", kMp4, "h264", 640, 360, 25, "aac", 22050, 2},
    {107, "clip2s_640.mkv", "matroska,webm", "mpeg4", 640, 360, 25, "aac", 22050, 2},
    {108, "clip2s_640.avi", "avi", "h264", 640, 360, 25, "aac", 44100, 2},
    {109, "clip2s_640.mp4", kMp4, "mpeg4", 640, 360, 25, "mp3", 44100, 2},
    {110, "clip2s_640.avi", "avi", "mpeg4", 1280, 1024, 30, "mp3", 44100, 2},
    {111, "clip2s_640.mp4", kMp4, "h264", 1024, 768, 25, "aac", 44100, 2},
    {112, "clip2s_640.mp4", kMp4, "mpeg4", 1024, 768, 25, "mp3", 44100, 2},
    {113, "clip2s_640.mp4", kMp4, "h264", 1920, 1080, 30, "aac", 44100, 2},
    {114, "clip2s_640.avi", "avi", "mpeg4", 1920, 1080, 29.97, "aac", 44100, 2},
    {115, "clip2s_640.avi", "avi", "mpeg4", 4096, 3112, 29.97, "aac", 44100, 2},
    {116, "clip2s_640.mp4", kMp4, "mpeg4", 640, 360, 25, "mp3", 44100, 2},
    {117, "clip2s_640.mkv", "matroska,webm", "h264", 1920, 1080, 25, "aac", 22050, 2},
    {118, "clip2s_640.mp4", kMp4, "mpeg4", 1024, 768, 29.97, "aac", 44100, 2},
    {119, "clip2s_640.avi", "avi", "mpeg4", 1280, 1024, 29.97, "mp3", 44100, 2},
    // 更多电脑常用视频格式
    {1, "clip2s_640.avi", "avi", "mpeg4", 320, 240, 25, "mp3", 44100, 2},
    {2, "clip2s_640.avi", "avi", "mpeg4", 320, 240, 25, "mp3", 44100, 2},
    {3, "clip2s_640.avi", "avi", "mpeg4", 320, 240, 25, "mp3", 44100, 2},
    {4, "clip2s_640.mp4", kMp4, "mpeg4", 320, 240, 29.97, "aac", 24000, 2},
    {5, "clip2s_640.mp4", kMp4, "mpeg4", 720, 480, 29.97, "aac", 48000, 2},
    {6, "clip2s_640.mp4", kMp4, "mpeg4", 320, 240, 25, "aac", 48000, 2},
    {7, "clip2s_640.mp4", kMp4, "mpeg4", 320, 240, 25, "aac", 48000, 2},
    {8, "clip2s_640.mp4", kMp4, "mpeg4", 320, 240, 25, "aac", 48000, 2},
    {9, "clip2s_640.mp4", kMp4, "mpeg4", 320, 240, 25, "aac", 48000, 2},
    {10, "clip2s_640.mp4", kMp4, "mpeg4", 320, 240, 25, "mp3", 44100, 2},
    {11, "clip2s_640.mp4", kMp4, "h264", 320, 240, 25, "mp3", 48000, 2},
    {12, "clip2s_640.mp4", kMp4, "mpeg4", 320, 240, 25, "mp3", 44100, 2},
    {13, "clip2s_640.swf", "swf", "flv1", 320, 240, 25, "mp3", 22050, 2},
    {14, "clip2s_640.flv", "flv", "flv1", 320, 240, 25, "mp3", 22050, 2},
    {15, "clip2s_640.rm", "rm", "rv10", 640, 352, 25, "ac3", 44100, 2},
    {16, "clip2s_640.mkv", "matroska,webm", "mpeg4", 320, 240, 25, "mp3", 22050, 2},
    {17, "clip2s_640.mov", kMp4, "h264", 320, 240, 25, "aac", 22050, 2},
    {18, "clip2s_640.mpg", "mpeg", "mpeg1video", 320, 240, 25, "mp2", 44100, 2},
    {19, "clip2s_640_PAL.mpg", "mpeg", "mpeg2video", 720, 576, 25, "mp3", 48000, 2},
    {20, "clip2s_640_PAL.mpg", "mpeg", "mpeg2video", 480, 576, 25, "mp3", 44100, 2},
    {21, "clip2s_640_PAL.mpg", "mpeg", "mpeg1video", 352, 288, 25, "mp3", 44100, 2},
    {22, "clip2s_640.wmv", "asf", "wmv2", 320, 240, 25, "wmav2", 48000, 2},
    {23, "clip2s_640.asf", "asf", "msmpeg4v3", 320, 240, 25, "wmav2", 48000, 2},
    {24, "clip2s_640.avi", "avi", "mjpeg", 320, 240, 25, "mp3", 44100, 2},
    // 更多音频格式
    {200, "clip2s_640.mp3", "mp3", "", 0, 0, 0, "mp3", 48000, 2},
    {201, "clip2s_640.wma", "asf", "", 0, 0, 0, "wmav2", 48000, 2},
    {202, "clip2s_640.wav", "wav", "", 0, 0, 0, "pcm_s16le", 48000, 2},
    {203, "clip2s_640.m4a", kMp4, "", 0, 0, 0, "aac", 48000, 2},
    {204, "clip2s_640.ac3", "ac3", "", 0, 0, 0, "ac3", 48000, 2},
    {205, "clip2s_640.ogg", "ogg", "", 0, 0, 0, "vorbis", 48000, 2},
    {206, "clip2s_640.mp2", "mp3", "", 0, 0, 0, "mp2", 44100, 2},
    {207, "clip2s_640.flac", "flac", "", 0, 0, 0, "flac", 48000, 2},
    {208, "clip2s_640.rm", "rm", "", 0, 0, 0, "ac3", 48000, 2},
    {209, "clip2s_640.amr", "amr", "", 0, 0, 0, "amr_nb", 8000, 1},
};

// A stream's picture rate as ffprobe gives it ("30000/1001"); 0 when it gives none.
double rateOf(const QJsonObject& stream, const char* key) {
    const QStringList parts = stream[key].toString().split('/');
    if (parts.size() != 2 || parts[1].toDouble() == 0) return 0;
    return parts[0].toDouble() / parts[1].toDouble();
}

TEST(EndToEnd, EveryProfileConvertsWithItsDefaults) {
    const std::string source = testmedia::Path("clip2s_640");
    ASSERT_FALSE(source.empty());
    const std::string dir = workDir("e2e-defaults");
    std::vector<Conversion> runs;
    for (int index : profileIndexes(false)) {
        Conversion r;
        r.profile = index;
        r.outDir = dir + "/" + std::to_string(index);
        runs.push_back(r);
    }
    ASSERT_EQ(runs.size(), 80u);
    ASSERT_EQ(std::size(kProfileOutputs), 80u);
    convertAll(runs, source);

    int passed = 0;
    std::set<int> checked;
    for (const Conversion& run : runs) {
        const ProfileOutput* want = nullptr;
        for (const ProfileOutput& row : kProfileOutputs)
            if (row.index == run.profile) want = &row;
        if (!want) {
            ADD_FAILURE() << "profile " << run.profile << " is not in the table";
            continue;
        }
        checked.insert(run.profile);
        Expected e;
        e.container = want->container;
        e.video = want->video;
        e.width = want->width;
        e.height = want->height;
        e.audio = want->audio;
        e.sampleRate = want->sampleRate;
        e.channels = want->channels;
        auto found = problems(run, e, true);
        if (want->fps > 0) {
            // The rate the container states; for containers timed in milliseconds (no rate of
            // their own) the one ffprobe derives, within 1 %.
            const QJsonObject v = firstStream(run.probe, "video");
            double fps = rateOf(v, "avg_frame_rate");
            if (fps == 0) fps = rateOf(v, "r_frame_rate");
            const std::string c = want->container;
            const bool timedInMs =
                c == "flv" || c == "swf" || c == "asf" || c == "rm" || c == "matroska,webm";
            const double slack = timedInMs ? want->fps / 100 : 0.01;
            if (std::fabs(fps - want->fps) > slack)
                found.push_back("frame rate: " + std::to_string(fps) + ", expected " +
                                std::to_string(want->fps));
        }
        // The file is named after the source, with the profile's extension (a disc standard's
        // suffix for the disc profiles).
        const std::string named = dir + "/" + std::to_string(run.profile) + "/" + want->file;
        if (run.output != named) found.push_back("output " + run.output + ", expected " + named);
        if (found.empty())
            ++passed;
        else
            ADD_FAILURE() << describe(run, found);
    }
    EXPECT_EQ(checked.size(), 80u) << "profiles checked against the table";
    EXPECT_EQ(passed, 80) << passed << " of 80 profiles produced the expected file";

    // The issue's named cases, spelled out.
    auto find = [&](int index) -> const Conversion& {
        for (const Conversion& r : runs)
            if (r.profile == index) return r;
        return runs.front();
    };
    const QJsonObject amr = firstStream(find(209).probe, "audio");
    EXPECT_EQ(amr["codec_name"].toString(), "amr_nb");
    EXPECT_EQ(amr["sample_rate"].toString(), "8000");
    EXPECT_EQ(amr["channels"].toInt(), 1);
    EXPECT_EQ(firstStream(find(305).probe, "audio")["codec_name"].toString(), "pcm_s16le");
    EXPECT_EQ(firstStream(find(1).probe, "video")["codec_tag_string"].toString(), "DX50");
    EXPECT_EQ(firstStream(find(110).probe, "video")["codec_tag_string"].toString(), "XVID");
    EXPECT_EQ(firstStream(find(119).probe, "video")["codec_tag_string"].toString(), "xvid");
    EXPECT_EQ(firstStream(find(103).probe, "video")["codec_tag_string"].toString(), "FMP4");
    EXPECT_EQ(firstStream(find(313).probe, "video")["codec_tag_string"].toString(), "H264");
    EXPECT_EQ(firstStream(find(24).probe, "video")["codec_tag_string"].toString(), "MJPG");
    EXPECT_EQ(firstStream(find(23).probe, "video")["codec_tag_string"].toString(), "MP43");
    EXPECT_EQ(firstStream(find(20).probe, "video")["width"].toInt(), 480);
    EXPECT_EQ(firstStream(find(15).probe, "video")["width"].toInt(), 640);
    EXPECT_EQ(firstStream(find(15).probe, "video")["height"].toInt(), 352);
}

// What each codec item of the options dialog writes, as ffprobe names it, worked out by hand
// from the item-to-encoder tables and the encoders of FFmpeg 5.1: libfaac is missing, so AAC is
// the native encoder; items that name no encoder get their container's own (FLV and SWF:
// Sorenson; MOV: H.264; VOB: MPEG-2 and layer II sound; WAV: 16-bit PCM; RM: AC-3, also for the
// automatic item, which only RM offers; MP2: layer II). The tag is checked in AVI and ASF files;
// a disc item's size is the PAL or NTSC standard's.
struct ItemOutput {
    const char* item;
    const char* codec;  // "" for no stream
    const char* tag = "";
    int width = 0, height = 0;
};

const ItemOutput kVideoItems[] = {
    {"Divx 5 视频压缩器", "mpeg4", "DX50"},
    {"MPEG4视频压缩器", "mpeg4", "FMP4"},
    {"MPEG4 视频压缩器", "mpeg4", "FMP4"},
    {"XviD 视频压缩器1", "mpeg4", "XVID"},
    {"XviD 视频压缩器2", "mpeg4", "xvid"},
    {"Divx 视频压缩器", "msmpeg4v3", "MP43"},
    {"H264/AVC高清视频压缩器", "h264", "H264"},
    {"Mjpeg 视频压缩器", "mjpeg", "MJPG"},
    {"RM视频压缩器1", "rv10"},
    {"RM视频压缩器2", "rv20"},
    {"WMV视频压缩器", "wmv2", "WMV2"},
    {"ASF视频压缩器", "msmpeg4v3", "MP43"},
    {"MPEG视频压缩器", "mpeg1video"},
    {"FLV格式视频压缩器", "flv1"},
    {"FLASH格式视频压缩器", "flv1"},
    {"QuickTime视频压缩器", "h264"},
    {"VOB视频压缩器", "mpeg2video"},
    {"该格式无视频", ""},
    {"PAL_DVD视频压缩器", "mpeg2video", "", 720, 576},
    {"NTSC_DVD视频压缩器", "mpeg2video", "", 720, 480},
    {"PAL_SVCD视频压缩器", "mpeg2video", "", 480, 576},
    {"NTSC_SVCD视频压缩器", "mpeg2video", "", 480, 480},
    {"PAL_VCD视频压缩器", "mpeg1video", "", 352, 288},
    {"NTSC_VCD视频压缩器", "mpeg1video", "", 352, 240},
};

const ItemOutput kAudioItems[] = {
    {"MP3音频编码器", "mp3"},    {"Flac音频编码器", "flac"},      {"AAC音频编码器", "aac"},
    {"AC3音频编码器", "ac3"},    {"WMV音频编码器", "wmav2"},      {"WMA音频编码器", "wmav2"},
    {"ASF音频编码器1", "wmav2"}, {"ASF音频编码器2", "wmav1"},     {"OGG音频编码器", "vorbis"},
    {"AMR音频编码器", "amr_nb"}, {"WAVE音频编码器", "pcm_s16le"}, {"RM音频编码器", "ac3"},
    {"自动音频编码器", "ac3"},   {"MP2音频编码器", "mp2"},        {"VOB音频编码器", "mp2"},
};

const ItemOutput* findItem(Slot slot, const QString& text) {
    const auto table = slot == Slot::VideoCodec ? std::span<const ItemOutput>(kVideoItems)
                                                : std::span<const ItemOutput>(kAudioItems);
    for (const ItemOutput& row : table)
        if (text == QString::fromUtf8(row.item)) return &row;
    return nullptr;
}

// Audio encoders that the container itself refuses (the muxer's own rule): such a file must
// fail with a task error and leave nothing behind.
bool containerRefuses(const std::string& container, const std::string& audio) {
    if (container == ".swf") return audio != "mp3";
    if (container == ".flv") return audio == "flac" || audio == "ac3";
    if (container == ".mpg" || container == ".vob") return audio == "flac" || audio == "aac";
    if (container == ".mov" || container == "mov") return audio == "flac";
    return false;
}

// Every codec item of every profile, once per container it can be written to (the item and the
// muxer are what decide the result; the profile's other lists are the defaults test's), from a
// one-second 160x90 clip. Of the profiles offering an item in a container, the one making the
// smallest pictures converts it.
TEST(EndToEnd, EveryCodecItemConvertsOrFailsCleanly) {
    const std::string dir = workDir("e2e-items");
    const std::string source = dir + "/tiny.mp4";
    std::string error;
    ASSERT_TRUE(testmedia::RunFfmpeg(
        "-f lavfi -i testsrc2=size=160x90:rate=25:duration=1"
        " -f lavfi -i sine=frequency=440:sample_rate=44100:duration=1"
        " -ac 2 -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -f mp4 " +
            Quote(source),
        &error))
        << error;
    const SourceFacts tiny{160, 90, 44100, 2};
    struct Case {
        Slot slot;
        QString item;
        std::string container;  // the extension, or the container a profile forces
        JobFields fields;
        int pixels;
    };
    std::map<std::string, Case> cases;  // by slot, item and container
    for (int index : profileIndexes(true)) {
        const FormatProfile& p = *FindProfile(index);
        const std::string container = p.forcedContainer.empty() ? std::string(p.fileExtension)
                                                                : std::string(p.forcedContainer);
        for (Slot slot : {Slot::VideoCodec, Slot::AudioCodec}) {
            const ChoiceList& list = *FindChoiceList(p.Choice(slot).list);
            for (int k = 0; k < list.size(); ++k) {
                Case c{slot, list.Item(k), container, fieldsFor(index, std::make_pair(slot, k)), 0};
                const Expected size = expectedFor(c.fields, std::string(p.fileExtension), tiny);
                c.pixels = size.width * size.height;
                const std::string key =
                    std::string(SlotKey(slot)) + " " + c.item.toStdString() + " " + container;
                const auto it = cases.find(key);
                if (it == cases.end() || c.pixels < it->second.pixels) cases[key] = c;
            }
        }
    }
    std::vector<Conversion> runs;
    for (const auto& [key, c] : cases) {
        Conversion r;
        r.profile = c.fields.FormatIndex;
        const int position =
            FindChoiceList(FindProfile(r.profile)->Choice(c.slot).list)->Items().indexOf(c.item);
        r.args = std::string("--set ") + SlotKey(c.slot) + "=#" + std::to_string(position);
        r.outDir = dir + "/" + std::to_string(runs.size());
        runs.push_back(r);
    }
    convertAll(runs, source);

    std::set<std::string> itemsSeen;
    int converted = 0, refused = 0;
    size_t i = 0;
    for (const auto& [key, c] : cases) {
        const Conversion& run = runs[i++];
        SCOPED_TRACE("profile " + std::to_string(run.profile) + " " + run.args + " (" + key +
                     ")\n" + run.log);
        itemsSeen.insert(SlotKey(c.slot) + std::string(" ") + c.item.toStdString());
        const ItemOutput* want = findItem(c.slot, c.item);
        if (!want) {
            ADD_FAILURE() << "no expected codec written down for this item";
            continue;
        }
        const std::string ext = extensionOf(run.profile);
        Expected e = expectedFor(c.fields, ext, tiny);  // container, size and sound details
        if (c.slot == Slot::VideoCodec) {
            e.video = want->codec;
            e.videoTag = ext == ".avi" || ext == ".asf" || ext == ".wmv" ? want->tag : "";
            if (want->width) e.width = want->width, e.height = want->height;
            FitEncoderStep(e);
        } else {
            e.audio = want->codec;
        }
        const bool refuses = containerRefuses(c.container, e.audio);
        if (run.finished) {
            ++converted;
            EXPECT_FALSE(refuses) << "a combination the container refuses was written";
            const auto found = problems(run, e, false, 1.0);
            if (!found.empty()) ADD_FAILURE() << describe(run, found);
            continue;
        }
        // Not converted: a clear task error, exit status 1, and no file of any kind.
        ++refused;
        EXPECT_TRUE(refuses) << "should have converted: " << run.error;
        EXPECT_EQ(run.status, 1);
        EXPECT_FALSE(run.error.empty());
        EXPECT_TRUE(run.output.empty() || !fs::exists(run.output)) << run.output;
        EXPECT_TRUE(fs::is_empty(run.outDir)) << run.outDir;
    }
    // Every item of both tables was offered somewhere and tried.
    EXPECT_EQ(itemsSeen.size(), std::size(kVideoItems) + std::size(kAudioItems));
    EXPECT_GT(refused, 5);
    EXPECT_GT(converted, 50);
}

}  // namespace
