// The options model: selections → job fields, the codec-dependent lists, the cut range, the
// volume table, and the repeated "确定".
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "formats/OptionsModel.h"

using namespace formats;

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

constexpr int64_t kSecond = 1000000;  // microseconds

// The main window's fields right after its reset, for one source.
JobFields Fresh(int formatIndex, const QString& source = QStringLiteral("/clips/clip.avi")) {
    JobFields f;
    f.FormatIndex = formatIndex;
    f.SourceFile = source;
    return f;
}

struct Opened {
    Opened() = default;
    // Opened at once by OpenOne.
    explicit Opened(const JobFields& fields, int64_t duration = -1);
    Opened(const Opened&) = delete;
    Opened& operator=(const Opened&) = delete;
    OptionsModel model;
    std::vector<QString> reads;  // paths handed to the duration reader
};

// Opens the model for one file with a source of `duration` microseconds (negative: unknown).
void OpenOne(Opened& o, const JobFields& fields, int64_t duration = -1) {
    o.model.PrepareForAddition(true);
    o.model.Open(fields, QStringLiteral("/out"), [&o, duration](const QString& path) {
        o.reads.push_back(path);
        return duration;
    });
}

Opened::Opened(const JobFields& fields, int64_t duration) { OpenOne(*this, fields, duration); }

void SetCut(OptionsModel& m, const char* start[3], const char* stop[3]) {
    for (int i = 0; i < 3; ++i) {
        m.SetCutText(static_cast<CutBox>(i), QString::fromLatin1(start[i]));
        m.SetCutText(static_cast<CutBox>(3 + i), QString::fromLatin1(stop[i]));
    }
}

}  // namespace

TEST(OptionsModel, Profile1Defaults) {
    Opened o(Fresh(1));
    ASSERT_EQ(o.model.Confirm().kind, OptionsModel::Outcome::Accepted);
    const JobFields& f = o.model.Fields();
    EXPECT_EQ(f.JobVideoCodec, "mpeg4");
    EXPECT_EQ(f.JobVideoTag, "DX50");
    EXPECT_EQ(f.JobVideoBitRate, 528000);
    EXPECT_EQ(f.JobFrameSize, "320*240");
    EXPECT_EQ(f.JobFrameRate, "25.00");
    EXPECT_EQ(f.JobAspect, "4:3");
    EXPECT_EQ(f.JobAudioCodec, "libmp3lame");
    EXPECT_EQ(f.JobAudioBitRate, 128000);
    EXPECT_EQ(f.JobSampleRate, "44100");
    EXPECT_EQ(f.JobAudioChannels, "2");
    EXPECT_EQ(f.JobVolume, "256");
    EXPECT_EQ(f.OutputFile, "/out/clip.avi");
    EXPECT_EQ(f.OutputExtension, ".avi");
    EXPECT_FALSE(f.JobAudioOnly);
    EXPECT_EQ(f.JobCutStart, 0);
    EXPECT_EQ(f.JobCutMode, "NoSelect");
    EXPECT_EQ(f.JobCutDuration, -1);  // untouched without a cut
}

TEST(OptionsModel, SharedProfilesGiveTheSameFields) {
    const JobFields one = *DefaultJobFields(1, "/s/a.mkv", "/o");
    for (int i : {2, 3}) {
        JobFields other = *DefaultJobFields(i, "/s/a.mkv", "/o");
        other.FormatIndex = 1;
        EXPECT_EQ(other, one) << i;
    }
    const JobFields six = *DefaultJobFields(6, "/s/a.mkv", "/o");
    EXPECT_EQ(six.OutputExtension, ".ipod.mp4");
    EXPECT_EQ(six.OutputFile, "/o/a.mp4");
    for (int i : {7, 8, 9}) {
        JobFields other = *DefaultJobFields(i, "/s/a.mkv", "/o");
        other.FormatIndex = 6;
        EXPECT_EQ(other, six) << i;
    }
    EXPECT_FALSE(DefaultJobFields(25, "/s/a.mkv", "/o").has_value());
}

TEST(OptionsModel, OutputNames) {
    EXPECT_EQ(OutputPathFor("/out", "/clips/a.rmvb", ".mp4"), "/out/a.mp4");
    EXPECT_EQ(OutputPathFor("/out/", "/clips/a.rmvb", ".mp4"), "/out/a.mp4");
    EXPECT_EQ(OutputPathFor("/out", "/clips/movie", ".avi"), "/out/movie.avi");
    EXPECT_EQ(OutputPathFor("/out", "/clips/a.b.c", ".avi"), "/out/a.b.avi");
    EXPECT_EQ(OutputPathFor("/out", "/c.d/movie", ".avi"), "/out/movie.avi");
    EXPECT_EQ(OutputPathFor("/out", "/clips/.hidden", ".avi"), "/out/.hidden.avi");
    EXPECT_EQ(OutputPathFor(U("/输出"), U("/片/视频 1.wmv"), ".mp3"), U("/输出/视频 1.mp3"));
    // PSP: the file is named .mp4, the tag keeps .psp.mp4.
    const JobFields psp = *DefaultJobFields(4, "/clips/a.avi", "/out");
    EXPECT_EQ(psp.OutputFile, "/out/a.mp4");
    EXPECT_EQ(psp.OutputExtension, ".psp.mp4");
    EXPECT_EQ(DefaultJobFields(5, "/clips/a.avi", "/out")->OutputExtension, ".psp.mp4");
    EXPECT_EQ(DefaultJobFields(1, "/clips/movie", "/out")->OutputFile, "/out/movie.avi");
}

TEST(OptionsModel, Profile1MjpegSwitchesTheBitRateList) {
    Opened o(Fresh(1));
    EXPECT_EQ(o.model.ListName(Slot::VideoBitRate), "VB4");
    EXPECT_EQ(o.model.SelectedText(Slot::VideoBitRate), U("528 kbps(中等质量)"));

    EXPECT_EQ(o.model.SelectText(Slot::VideoCodec, U("Mjpeg 视频压缩器")), true);
    EXPECT_EQ(o.model.ListName(Slot::VideoBitRate), "VB13");
    EXPECT_EQ(o.model.SelectedText(Slot::VideoBitRate), U("3000 kbps(高质量)"));
    EXPECT_EQ(o.model.Items(Slot::VideoBitRate).size(), 15);
    ASSERT_EQ(o.model.Confirm().kind, OptionsModel::Outcome::Accepted);
    EXPECT_EQ(o.model.Fields().JobVideoCodec, "mjpeg");
    EXPECT_EQ(o.model.Fields().JobVideoBitRate, 3000000);
    EXPECT_EQ(o.model.Fields().JobVideoTag, "");

    std::optional<Slot> replaced;
    EXPECT_TRUE(o.model.SelectText(Slot::VideoCodec, U("Divx 5 视频压缩器"), &replaced));
    EXPECT_EQ(replaced, Slot::VideoBitRate);
    EXPECT_EQ(o.model.ListName(Slot::VideoBitRate), "VB4");
    EXPECT_EQ(o.model.SelectedText(Slot::VideoBitRate), U("528 kbps(中等质量)"));
    ASSERT_EQ(o.model.Confirm().kind, OptionsModel::Outcome::Accepted);
    EXPECT_EQ(o.model.Fields().JobVideoBitRate, 528000);
    EXPECT_EQ(o.model.Fields().JobVideoTag, "DX50");

    // A user's bit-rate choice survives a codec change that has no rule...
    Opened p(Fresh(12));
    p.model.Select(Slot::VideoBitRate, 0);
    EXPECT_FALSE(p.model.SelectText(Slot::VideoCodec, U("Mjpeg 视频压缩器")));  // not offered
    EXPECT_FALSE(p.model.Select(Slot::VideoCodec, 4).has_value());
    EXPECT_EQ(p.model.Selected(Slot::VideoBitRate), 0);
    // ...and in profile 1 the rule resets it.
    o.model.Select(Slot::VideoBitRate, 0);
    o.model.SelectText(Slot::VideoCodec, U("XviD 视频压缩器1"));
    EXPECT_EQ(o.model.Selected(Slot::VideoBitRate), 2);
}

TEST(OptionsModel, Profile100FrameSizeLists) {
    Opened o(Fresh(100));
    EXPECT_EQ(o.model.SelectedText(Slot::FrameSize), U("保持原分辨率"));
    o.model.SelectText(Slot::VideoCodec, U("XviD 视频压缩器1"));
    EXPECT_EQ(o.model.ListName(Slot::FrameSize), "FS11");
    EXPECT_EQ(o.model.SelectedText(Slot::FrameSize), "176*144");
    EXPECT_FALSE(o.model.Items(Slot::FrameSize).contains(U("保持原分辨率")));
    ASSERT_EQ(o.model.Confirm().kind, OptionsModel::Outcome::Accepted);
    EXPECT_EQ(o.model.Fields().JobFrameSize, "176*144");
    EXPECT_EQ(o.model.Fields().JobVideoTag, "XVID");

    // "Divx 视频压缩器" gives FS10; a later codec without a rule keeps it.
    Opened p(Fresh(100));
    p.model.SelectText(Slot::VideoCodec, U("Divx 视频压缩器"));
    EXPECT_EQ(p.model.ListName(Slot::FrameSize), "FS10");
    EXPECT_EQ(p.model.Items(Slot::FrameSize),
              QStringList({"128*96", "176*144", "352*288", "704*576"}));
    EXPECT_EQ(p.model.Selected(Slot::FrameSize), 1);
    p.model.SelectText(Slot::VideoCodec, U("H264/AVC高清视频压缩器"));
    EXPECT_EQ(p.model.ListName(Slot::FrameSize), "FS10");
    ASSERT_EQ(p.model.Confirm().kind, OptionsModel::Outcome::Accepted);
    EXPECT_EQ(p.model.Fields().JobVideoCodec, "libx264");
    EXPECT_EQ(p.model.Fields().JobFrameSize, "176*144");

    // Profile 101 follows the same rules, profile 102 none.
    Opened q(Fresh(101));
    q.model.SelectText(Slot::VideoCodec, U("Divx 5 视频压缩器"));
    EXPECT_EQ(q.model.ListName(Slot::FrameSize), "FS11");
    Opened r(Fresh(102));
    r.model.SelectText(Slot::VideoCodec, U("XviD 视频压缩器1"));
    EXPECT_EQ(r.model.ListName(Slot::FrameSize), "FS2");
}

TEST(OptionsModel, Profile19SecondSampleRateAndDiscNames) {
    Opened o(Fresh(19));
    EXPECT_EQ(o.model.ListName(Slot::SampleRate), "SR5");
    EXPECT_EQ(o.model.Selected(Slot::SampleRate), 3);
    EXPECT_EQ(o.model.DiscTarget(), "dvd");
    ASSERT_EQ(o.model.Confirm().kind, OptionsModel::Outcome::Accepted);
    const JobFields pal = o.model.Fields();
    EXPECT_EQ(pal.JobTarget, "dvd");
    EXPECT_EQ(pal.JobTVStandard, "PAL");
    EXPECT_EQ(pal.OutputFile, "/out/clip_PAL.mpg");
    EXPECT_EQ(pal.JobSampleRate, "");  // the disc choice empties it

    o.model.SelectText(Slot::VideoCodec, U("NTSC_DVD视频压缩器"));
    o.model.SetFilter(Filter::Negate, true);
    o.model.Select(Slot::Volume, 0);
    ASSERT_EQ(o.model.Confirm().kind, OptionsModel::Outcome::Accepted);
    const JobFields& f = o.model.Fields();
    EXPECT_EQ(f.JobTarget, "dvd");
    EXPECT_EQ(f.JobTVStandard, "NTSC");
    EXPECT_EQ(f.OutputFile, "/out/clip_NTSC.mpg");  // never clip_PAL_NTSC.mpg
    EXPECT_EQ(f.JobVideoBitRate, -1000);
    EXPECT_EQ(f.JobAudioBitRate, -1000);
    EXPECT_EQ(f.JobAudioCodec, "libmp3lame");
    EXPECT_EQ(f.JobAudioChannels, "");
    EXPECT_EQ(f.JobFrameSize, "");
    EXPECT_EQ(f.JobFrameRate, "");
    EXPECT_EQ(f.JobAspect, "");
    EXPECT_EQ(f.JobVideoCodec, "");
    EXPECT_EQ(f.JobVideoFilters, "negate");  // later steps still apply
    EXPECT_EQ(f.JobVolume, "0");

    // SVCD and VCD.
    const JobFields svcd = *DefaultJobFields(20, "/c/x.vob", "/o");
    EXPECT_EQ(svcd.JobTarget, "svcd");
    EXPECT_EQ(svcd.OutputFile, "/o/x_PAL.mpg");
    Opened v(Fresh(323, "/c/y"));
    v.model.SelectText(Slot::VideoCodec, U("NTSC_VCD视频压缩器"));
    v.model.Confirm();
    EXPECT_EQ(v.model.Fields().JobTarget, "vcd");
    EXPECT_EQ(v.model.Fields().JobTVStandard, "NTSC");
    EXPECT_EQ(v.model.Fields().OutputFile, "/out/y_NTSC.mpg");
}

TEST(OptionsModel, Profile209Amr) {
    Opened o(Fresh(209));
    EXPECT_EQ(o.model.Items(Slot::Channels), QStringList{U("单声道")});
    EXPECT_EQ(o.model.Items(Slot::SampleRate), QStringList{"8000"});
    EXPECT_EQ(o.model.Items(Slot::AudioCodec), QStringList{U("AMR音频编码器")});
    EXPECT_EQ(o.model.SelectedText(Slot::AudioBitRate), "7.4");
    EXPECT_EQ(o.model.MediaKind(), "Music");
    EXPECT_FALSE(o.model.VideoEnabled());
    ASSERT_EQ(o.model.Confirm().kind, OptionsModel::Outcome::Accepted);
    EXPECT_EQ(o.model.Fields().JobAudioBitRate, 7400);
    EXPECT_EQ(o.model.Fields().JobAudioChannels, "1");
    EXPECT_EQ(o.model.Fields().JobSampleRate, "8000");
    EXPECT_EQ(o.model.Fields().JobAudioCodec, "libopencore_amrnb");
    EXPECT_TRUE(o.model.Fields().JobAudioOnly);

    // Every decimal item of the AMR list becomes an exact bit-rate.
    const std::pair<const char*, int> rates[] = {{"4.75", 4750}, {"5.15", 5150}, {"5.9", 5900},
                                                 {"6.7", 6700},  {"7.95", 7950}, {"10.2", 10200},
                                                 {"12.2", 12200}};
    for (const auto& [text, bps] : rates) {
        ASSERT_TRUE(o.model.SelectText(Slot::AudioBitRate, QString::fromLatin1(text)));
        o.model.Confirm();
        EXPECT_EQ(o.model.Fields().JobAudioBitRate, bps) << text;
    }
}

TEST(OptionsModel, AudioOnlyAndAutomaticItems) {
    Opened o(Fresh(300));
    for (Slot slot :
         {Slot::VideoCodec, Slot::VideoBitRate, Slot::FrameSize, Slot::FrameRate, Slot::Aspect}) {
        ASSERT_EQ(o.model.Items(slot).size(), 1);
        EXPECT_TRUE(o.model.SelectedText(slot) == U("该格式无视频") ||
                    o.model.SelectedText(slot) == U("无"));
    }
    o.model.Confirm();
    const JobFields& f = o.model.Fields();
    EXPECT_EQ(f.JobVideoBitRate, -1000);
    EXPECT_EQ(f.JobFrameSize, "");
    EXPECT_EQ(f.JobFrameRate, "");
    EXPECT_EQ(f.JobAspect, "");
    EXPECT_TRUE(f.JobAudioOnly);

    const JobFields rm = *DefaultJobFields(15, "/c/a.avi", "/o");
    EXPECT_EQ(rm.JobAudioCodec, "AUTO");
    EXPECT_EQ(rm.JobAudioBitRate, -1000);
    EXPECT_EQ(rm.JobSampleRate, "AUTO");
    EXPECT_EQ(rm.JobVideoCodec, "rv10");
    EXPECT_EQ(rm.JobFrameSize, "");  // "保持原分辨率"

    // An audio profile after a video one switches back and forth cleanly.
    Opened p(Fresh(17));
    EXPECT_EQ(p.model.Fields().JobFormat, "mov");
    EXPECT_TRUE(p.model.VideoEnabled());
    p.model.Open(Fresh(200), "/out", {});
    EXPECT_EQ(p.model.Fields().JobFormat, "");
    EXPECT_EQ(p.model.MediaKind(), "Music");
    p.model.Open(Fresh(23), "/out", {});
    EXPECT_EQ(p.model.MediaKind(), "Vedio");
    p.model.Confirm();
    EXPECT_EQ(p.model.Fields().JobFormat, "asf");
    EXPECT_EQ(p.model.Fields().JobVideoCodec, "msmpeg4");
    EXPECT_EQ(p.model.Fields().JobAudioCodec, "wmav2");
    p.model.SelectText(Slot::AudioCodec, U("ASF音频编码器2"));
    p.model.Confirm();
    EXPECT_EQ(p.model.Fields().JobAudioCodec, "wmav1");
}

TEST(OptionsModel, MpegFourSpellingsAndCodecTable) {
    struct Case {
        int profile;
        const char* item;
        const char* codec;
        const char* tag;
    };
    const Case cases[] = {
        {313, "MPEG4 视频压缩器", "mpeg4", ""},
        {312, "MPEG4视频压缩器", "mpeg4", ""},
        {313, "Divx 视频压缩器", "msmpeg4", ""},
        {313, "XviD 视频压缩器2", "libxvid", ""},
        {313, "XviD 视频压缩器1", "mpeg4", "XVID"},
        {313, "Divx 5 视频压缩器", "mpeg4", "DX50"},
        {15, "RM视频压缩器2", "rv20", ""},
        {24, "Mjpeg 视频压缩器", "mjpeg", ""},
        {321, "VOB视频压缩器", "", ""},
        {13, "FLASH格式视频压缩器", "", ""},
    };
    for (const Case& c : cases) {
        Opened o(Fresh(c.profile));
        ASSERT_TRUE(o.model.SelectText(Slot::VideoCodec, U(c.item))) << c.item;
        o.model.Confirm();
        EXPECT_EQ(o.model.Fields().JobVideoCodec, QString::fromLatin1(c.codec)) << c.item;
        EXPECT_EQ(o.model.Fields().JobVideoTag, QString::fromLatin1(c.tag)) << c.item;
    }
}

TEST(OptionsModel, Filters) {
    Opened o(Fresh(312));
    o.model.SetFilter(Filter::HFlip, true);
    o.model.SetFilter(Filter::VFlip, true);
    o.model.SetFilter(Filter::Negate, true);
    o.model.Confirm();
    EXPECT_EQ(o.model.Fields().JobVideoFilters, "hflip,vflip,negate");
    o.model.SetFilter(Filter::HFlip, false);
    o.model.Confirm();
    EXPECT_EQ(o.model.Fields().JobVideoFilters, "vflip,negate");
    o.model.SetFilter(Filter::VFlip, false);
    o.model.Confirm();
    EXPECT_EQ(o.model.Fields().JobVideoFilters, "negate");
    // Opening again unchecks them and empties the field.
    o.model.Open(Fresh(312), "/out", {});
    EXPECT_FALSE(o.model.FilterChecked(Filter::Negate));
    EXPECT_EQ(o.model.Fields().JobVideoFilters, "");
}

TEST(OptionsModel, VolumeTableFollowsItsFormula) {
    const QStringList items = FindChoiceList("VOL1")->Items();
    for (const QString& item : items) {
        const auto value = VolumeOf(item);
        ASSERT_TRUE(value.has_value()) << item.toStdString();
        double scale = 1.0;
        QString rest = item;
        if (item == U("无声音"))
            scale = 0;
        else if (item == U("音量保持不变"))
            scale = 1;
        else if (rest.startsWith(U("音量降低")))
            scale = 1 - rest.mid(4).chopped(1).toDouble() / 100;
        else if (rest.endsWith(U("倍")))
            scale = rest.mid(4).chopped(1).toDouble() + 1;
        else
            scale = 1 + rest.mid(4).chopped(1).toDouble() / 100;
        EXPECT_EQ(value->toInt(), static_cast<int>(std::lround(256 * scale))) << item.toStdString();
    }
    EXPECT_EQ(*VolumeOf(U("音量增加1.5倍")), "640");
    EXPECT_EQ(*VolumeOf(U("音量降低90%")), "26");
    EXPECT_FALSE(VolumeOf(U("音量增加8倍")).has_value());

    Opened o(Fresh(300));
    o.model.SelectText(Slot::Volume, U("音量增加10%"));
    o.model.Confirm();
    EXPECT_EQ(o.model.Fields().JobVolume, "282");
}

TEST(OptionsModel, CutOnNinetySecondSource) {
    const char* zero[3] = {"00", "00", "10"};
    const char* minute[3] = {"00", "01", "00"};
    Opened o(Fresh(1), 90 * kSecond + 999999);  // truncated to 90 s
    EXPECT_EQ(o.model.SourceDuration(), "90");
    EXPECT_EQ(o.model.CutText(CutBox::StartHours), "00");
    EXPECT_EQ(o.model.CutText(CutBox::StopHours), "00");
    EXPECT_EQ(o.model.CutText(CutBox::StopMinutes), "01");
    EXPECT_EQ(o.model.CutText(CutBox::StopSeconds), "30");
    o.model.SetCutChecked(true);

    SetCut(o.model, zero, minute);
    ASSERT_EQ(o.model.Confirm().kind, OptionsModel::Outcome::Accepted);
    EXPECT_EQ(o.model.Fields().JobCutStart, 10000);
    EXPECT_EQ(o.model.Fields().JobCutDuration, 50000);
    EXPECT_EQ(o.model.Fields().JobCutMode, "Select");

    const char* over[3] = {"00", "01", "31"};
    SetCut(o.model, zero, over);
    auto outcome = o.model.Confirm();
    EXPECT_EQ(outcome.kind, OptionsModel::Outcome::CutRefused);
    EXPECT_EQ(outcome.message, U("截取时间设置错误，不允许停止时间大于时间长度！"));
    // A refused range leaves the cut fields as the dialog found them.
    EXPECT_EQ(o.model.Fields().JobCutStart, -1);
    EXPECT_EQ(o.model.Fields().JobCutMode, "");

    SetCut(o.model, minute, minute);
    outcome = o.model.Confirm();
    EXPECT_EQ(outcome.kind, OptionsModel::Outcome::CutRefused);
    EXPECT_EQ(outcome.message, U("截取时间设置错误，不允许起始时间大于等于停止时间！"));

    // The stop equal to the duration is accepted; minutes and seconds may exceed 59.
    const char* start[3] = {"", "", ""};
    const char* whole[3] = {"", "", "90"};
    SetCut(o.model, start, whole);
    ASSERT_EQ(o.model.Confirm().kind, OptionsModel::Outcome::Accepted);
    EXPECT_EQ(o.model.Fields().JobCutStart, 0);
    EXPECT_EQ(o.model.Fields().JobCutDuration, 90000);
    EXPECT_EQ(o.model.CutText(CutBox::StartHours), "00");  // empty boxes become "00"
    EXPECT_EQ(o.model.CutText(CutBox::StopHours), "00");

    // Unchecking the cut: start 0, "NoSelect", duration untouched.
    o.model.SetCutChecked(false);
    o.model.Confirm();
    EXPECT_EQ(o.model.Fields().JobCutStart, 0);
    EXPECT_EQ(o.model.Fields().JobCutMode, "NoSelect");
    EXPECT_EQ(o.model.Fields().JobCutDuration, -1);
}

TEST(OptionsModel, CutRejectsNonDigits) {
    Opened o(Fresh(1), 90 * kSecond);
    o.model.SetCutChecked(true);
    const char* start[3] = {"00", "0x", "10"};
    const char* stop[3] = {"00", "01", "00"};
    SetCut(o.model, start, stop);
    auto outcome = o.model.Confirm();
    EXPECT_EQ(outcome.kind, OptionsModel::Outcome::InvalidNumber);
    EXPECT_EQ(outcome.message, "'0x' is not a valid integer value");
    const char* negative[3] = {"-1", "00", "00"};
    SetCut(o.model, negative, stop);
    EXPECT_EQ(o.model.Confirm().message, "'-1' is not a valid integer value");
    const char* huge[3] = {"99999999999", "00", "00"};
    SetCut(o.model, huge, stop);
    EXPECT_EQ(o.model.Confirm().kind, OptionsModel::Outcome::InvalidNumber);
}

TEST(OptionsModel, CutArithmeticIs64Bit) {
    // 700 hours overflow 32-bit milliseconds (2^31 ms is about 596 hours).
    Opened o(Fresh(1), int64_t{800} * 3600 * kSecond);
    EXPECT_EQ(o.model.SourceDuration(), "2880000");
    EXPECT_EQ(o.model.CutText(CutBox::StopHours), "800");
    o.model.SetCutChecked(true);
    const char* start[3] = {"600", "00", "00"};
    const char* stop[3] = {"700", "00", "00"};
    SetCut(o.model, start, stop);
    ASSERT_EQ(o.model.Confirm().kind, OptionsModel::Outcome::Accepted);
    EXPECT_EQ(o.model.Fields().JobCutStart, int64_t{600} * 3600 * 1000);
    EXPECT_EQ(o.model.Fields().JobCutDuration, int64_t{100} * 3600 * 1000);
    // The largest box values still compare correctly.
    const char* big[3] = {"2147483647", "2147483647", "2147483647"};
    SetCut(o.model, start, big);
    EXPECT_EQ(o.model.Confirm().message, U("截取时间设置错误，不允许停止时间大于时间长度！"));
}

TEST(OptionsModel, UnknownDurationOnlyChecksTheOrder) {
    Opened o(Fresh(1), -1);
    EXPECT_EQ(o.model.SourceDuration(), "");
    EXPECT_EQ(o.model.CutText(CutBox::StartSeconds), "00");
    EXPECT_EQ(o.model.CutText(CutBox::StopHours), "");
    EXPECT_EQ(o.model.CutText(CutBox::StopSeconds), "");
    o.model.SetCutChecked(true);
    // Empty stop boxes become 00:00:00, which is not after the start.
    EXPECT_EQ(o.model.Confirm().message, U("截取时间设置错误，不允许起始时间大于等于停止时间！"));
    const char* start[3] = {"00", "00", "05"};
    const char* stop[3] = {"10", "00", "00"};
    SetCut(o.model, start, stop);
    ASSERT_EQ(o.model.Confirm().kind, OptionsModel::Outcome::Accepted);
    EXPECT_EQ(o.model.Fields().JobCutStart, 5000);
    EXPECT_EQ(o.model.Fields().JobCutDuration, 36000000 - 5000);
}

TEST(OptionsModel, DurationIsMeasuredAfreshForSourceFile) {
    Opened o(Fresh(1, "/clips/first.avi"), 90 * kSecond);
    ASSERT_EQ(o.reads, std::vector<QString>{"/clips/first.avi"});
    EXPECT_EQ(o.model.SourceDuration(), "90");
    // The next source cannot be opened: its duration must not be the previous one.
    OpenOne(o, Fresh(1, "/clips/second.avi"), -1);
    EXPECT_EQ(o.reads.back(), "/clips/second.avi");
    EXPECT_EQ(o.model.SourceDuration(), "");
    o.model.SetCutChecked(true);
    const char* start[3] = {"00", "00", "00"};
    const char* stop[3] = {"00", "05", "00"};  // beyond 90 s, fine for an unknown length
    SetCut(o.model, start, stop);
    EXPECT_EQ(o.model.Confirm().kind, OptionsModel::Outcome::Accepted);

    // Several files: no read at all, and no cut.
    o.reads.clear();
    o.model.PrepareForAddition(false);
    o.model.Open(Fresh(1, "/clips/third.avi"), "/out", [&o](const QString& path) {
        o.reads.push_back(path);
        return 90 * kSecond;
    });
    EXPECT_TRUE(o.reads.empty());
    EXPECT_FALSE(o.model.CutAllowed());
    EXPECT_FALSE(o.model.CutChecked());
    EXPECT_EQ(o.model.SourceDuration(), "");
}

TEST(OptionsModel, RefusedConfirmationThenAcceptedDoesNotCompound) {
    Opened o(Fresh(19, "/clips/a.avi"), 90 * kSecond);
    o.model.SetFilter(Filter::HFlip, true);
    o.model.SetCutChecked(true);
    const char* start[3] = {"00", "00", "10"};
    const char* bad[3] = {"00", "02", "00"};
    const char* good[3] = {"00", "01", "00"};
    SetCut(o.model, start, bad);
    EXPECT_EQ(o.model.Confirm().kind, OptionsModel::Outcome::CutRefused);
    EXPECT_EQ(o.model.Confirm().kind, OptionsModel::Outcome::CutRefused);
    SetCut(o.model, start, good);
    ASSERT_EQ(o.model.Confirm().kind, OptionsModel::Outcome::Accepted);
    const JobFields& f = o.model.Fields();
    EXPECT_EQ(f.JobVideoFilters, "hflip");
    EXPECT_EQ(f.OutputFile, "/out/a_PAL.mpg");
    EXPECT_EQ(f.JobCutStart, 10000);
    EXPECT_EQ(f.JobCutDuration, 50000);

    // Every field equals what a single confirmation gives.
    Opened once(Fresh(19, "/clips/a.avi"), 90 * kSecond);
    once.model.SetFilter(Filter::HFlip, true);
    once.model.SetCutChecked(true);
    SetCut(once.model, start, good);
    once.model.Confirm();
    EXPECT_EQ(once.model.Fields(), f);
}

TEST(OptionsModel, OpenRewritesOnlyItsFields) {
    JobFields current = Fresh(312);
    current.JobVideoTag = "stale";
    current.JobVideoFilters = "hflip";
    current.JobTVStandard = "PAL";
    current.JobFormat = "asf";
    current.JobCutMode = "Select";
    Opened o(current);
    const JobFields& f = o.model.Fields();
    EXPECT_EQ(f.JobVideoTag, "");
    EXPECT_EQ(f.JobVideoFilters, "");
    EXPECT_EQ(f.JobTVStandard, "");
    EXPECT_EQ(f.JobFormat, "");
    EXPECT_EQ(f.OutputFile, "/out/clip.mp4");
    EXPECT_EQ(f.JobCutMode, "Select");  // not the dialog's to reset
    EXPECT_EQ(f.JobVideoBitRate, -1);   // written only by "确定"
}

TEST(OptionsModel, IndexWithoutProfile) {
    JobFields current = Fresh(99);
    current.OutputFile = "";
    Opened o(current, 90 * kSecond);
    EXPECT_FALSE(o.model.HasProfile());
    for (Slot slot : kAllSlots) EXPECT_TRUE(o.model.Items(slot).isEmpty());
    EXPECT_EQ(o.model.Fields().OutputFile, "");
    EXPECT_EQ(o.model.Fields().OutputExtension, "");
    const auto outcome = o.model.Confirm();
    EXPECT_EQ(outcome.kind, OptionsModel::Outcome::InvalidNumber);
    EXPECT_EQ(outcome.message, "'' is not a valid integer value");
}

TEST(OptionsModel, ResetKeepsSourceIndexAndCutMode) {
    JobFields f = *DefaultJobFields(19, "/c/a.avi", "/o");
    f.JobCutMode = "Select";
    f.ResetOptions();
    JobFields expected;
    expected.FormatIndex = 19;
    expected.SourceFile = "/c/a.avi";
    expected.JobCutMode = "Select";
    EXPECT_EQ(f, expected);
    EXPECT_EQ(f.JobVolume, "256");
    EXPECT_EQ(f.JobVideoBitRate, -1);
    EXPECT_EQ(f.JobCutDuration, -1);
}
