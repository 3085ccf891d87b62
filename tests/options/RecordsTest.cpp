// Caller records: the ExtOptions format, and the order and conditions in which the fields of
// TInputOptions and TOutputOptions become options.
#include <ctime>

#include <gtest/gtest.h>

#include "OptionsTestSupport.h"
#include "TestSupport.h"
#include "engine/FFmpegRecords.h"

namespace {

// Records every call as "name=value" ("ss", "t", "timestamp" and "target" for the typed ones).
struct RecordingSink : IOptionSink {
    std::vector<std::string> calls;
    void SetOption(const std::string& n, const std::string& v) override {
        calls.push_back(n + "=" + v);
    }
    void SetStartTime(int64_t us) override { calls.push_back("ss=" + std::to_string(us)); }
    void SetRecordingTime(int64_t us) override { calls.push_back("t=" + std::to_string(us)); }
    void SetRecordingTimestamp(int64_t s) override {
        calls.push_back("timestamp=" + std::to_string(s));
    }
    void SetTarget(const std::string& t, const std::string& fallback) override {
        calls.push_back("target=" + t + "/" + fallback);
    }
};

using Calls = std::vector<std::string>;

// The calls that every output record makes, whatever its values: the languages, the sync
// methods and input sync are always assigned.
const Calls kAlways = {"alang=", "async=0", "vsync=-1", "vlang=", "slang=", "isync=0"};

}  // namespace

TEST(ExtOptions, LinesNamesAndValues) {
    using V = std::vector<TExtOption>;
    EXPECT_EQ(ParseExtOptions("a=1<CRLF>B=2"), (V{{"a", "1"}, {"b", "2"}}));
    EXPECT_EQ(ParseExtOptions("  X=a=b\r\n\r\nflag\rVcodec=LibX264  \n"),
              (V{{"x", "a=b"}, {"flag", ""}, {"vcodec", "LibX264"}}));
    EXPECT_EQ(ParseExtOptions(""), V{});
    EXPECT_EQ(ParseExtOptions("<CRLF><CRLF>"), V{});
    EXPECT_EQ(ParseExtOptions("=5"), (V{{"", "5"}}));
}

TEST(InputRecord, ExtOptionsFirstThenFieldsUnderTheirConditions) {
    RecordingSink sink;
    TInputOptions in;
    in.ExtOptions = "ss=3\nvpre=x\nVF=scale\nNewVideo=\nr=25";
    ApplyInputOptions(sink, in);
    EXPECT_EQ(sink.calls, (Calls{"ss=3", "r=25"}));

    RecordingSink all;
    in.ExtOptions.clear();
    in.FileFormat = "avi";
    in.StartTime = 1500000;
    in.ProgramID = 0;
    ApplyInputOptions(all, in);
    EXPECT_EQ(all.calls, (Calls{"f=avi", "ss=1500000", "programid=0"}));
}

TEST(OutputRecord, DefaultRecordAppliesOnlyTheAlwaysFields) {
    RecordingSink sink;
    TOutputOptions o;
    ApplyOutputOptions(sink, o, CollectOutputStreamSettings(o));
    EXPECT_EQ(sink.calls, kAlways);
}

TEST(OutputRecord, FieldsInTableOrder) {
    TOutputOptions o;
    o.FileFormat = "mp4";
    o.PacketSize = 2048;
    o.MuxRate = 100;
    o.MuxDelay = 0.7f;
    o.MuxPreload = 0.25f;
    o.AudioCodec = "aac";
    o.AudioPreset = "ap";
    o.DisableAudio = true;
    o.AudioVolume = 0;
    o.AudioChannels = 1;
    o.AudioSampleRate = 22050;
    o.AudioBitRate = 64000;
    o.AudioBitRateTolerance = 10;
    o.AudioLanguage = "chi";
    o.AudioSyncMethod = 1;
    o.AudioTag = "mp4a";
    o.VideoCodec = "libx264";
    o.VideoPreset = "default";
    o.DisableVideo = true;
    o.FrameRate = "25";
    o.FrameSize = "320x240";
    o.AspectRatio = "4:3";
    o.CropTop = 1;
    o.CropBottom = 2;
    o.CropLeft = 3;
    o.CropRight = 4;
    o.GOPSize = 12;
    o.VideoBitRate = 500000;
    o.MaxRate = 600000;
    o.MinRate = 1;
    o.VideoBitRateTolerance = 5;
    o.BufferSize = 7;
    o.VideoSyncMethod = 2;
    o.VideoTag = "avc1";
    o.VideoFilters = "hflip";
    o.VideoLanguage = "eng";
    o.SubtitleCodec = "mov_text";
    o.SubtitlePreset = "sp";
    o.DisableSubtitle = true;
    o.SubtitleLanguage = "jpn";
    o.InputSync = true;
    o.CopyTimestamps = true;
    o.StartTime = 2000000;
    o.Duration = 0;
    o.Metadata.Year = 2010;
    o.Metadata.Track = 3;
    o.Metadata.Title = "T";
    o.Metadata.Author = "A";
    o.Metadata.Rights = "R";
    o.Metadata.Comment = "C";
    o.Metadata.Album = "L";
    o.Metadata.Genre = "G";
    o.Target = 3;
    o.TargetNorm = 1;
    o.ExtOptions = "g=30\ns=640x480\nvcodec=mpeg4\nnewaudio=\nqmin=3";
    RecordingSink sink;
    ApplyOutputOptions(sink, o, CollectOutputStreamSettings(o));
    EXPECT_EQ(sink.calls, (Calls{"target=pal-dvd/pal",
                                 "acodec=aac",
                                 "vcodec=libx264",
                                 "scodec=mov_text",
                                 "apre=ap",
                                 "vpre=default",
                                 "spre=sp",
                                 "g=30",
                                 "qmin=3",
                                 "f=mp4",
                                 "packetsize=2048",
                                 "muxrate=100",
                                 "muxdelay=0.7",
                                 "muxpreload=0.25",
                                 "an=1",
                                 "vol=0",
                                 "ac=1",
                                 "ar=22050",
                                 "ab=64000",
                                 "abt=10",
                                 "alang=chi",
                                 "async=1",
                                 "atag=mp4a",
                                 "vn=1",
                                 "r=25",
                                 "aspect=4:3",
                                 "croptop=1",
                                 "cropbottom=2",
                                 "cropleft=3",
                                 "cropright=4",
                                 "g=12",
                                 "vb=500000",
                                 "maxrate=600000",
                                 "minrate=1",
                                 "bt=5",
                                 "bufsize=7",
                                 "vsync=2",
                                 "vtag=avc1",
                                 "vlang=eng",
                                 "sn=1",
                                 "slang=jpn",
                                 "isync=1",
                                 "copyts=1",
                                 "ss=2000000",
                                 "t=0",
                                 "metadata=year=2010",
                                 "metadata=track=3",
                                 "metadata=title=T",
                                 "metadata=author=A",
                                 "metadata=copyright=R",
                                 "metadata=comment=C",
                                 "metadata=album=L",
                                 "metadata=genre=G",
                                 "s=320x240",
                                 "vf=hflip"}));
}

TEST(OutputRecord, TargetNormsAndFallBacks) {
    auto targetCall = [](int target, int norm, int normDefault) {
        TOutputOptions o;
        o.Target = target;
        o.TargetNorm = norm;
        o.TargetNormDefault = normDefault;
        RecordingSink sink;
        ApplyOutputOptions(sink, o, CollectOutputStreamSettings(o));
        return sink.calls.front();
    };
    EXPECT_EQ(targetCall(1, 0, 1), "target=vcd/pal");
    EXPECT_EQ(targetCall(2, 2, 1), "target=ntsc-svcd/pal");
    EXPECT_EQ(targetCall(3, 7, 0), "target=dvd/ntsc");
    EXPECT_EQ(targetCall(4, 1, 1), "alang=");  // no target preset
    EXPECT_EQ(targetCall(0, 1, 1), "alang=");
}

TEST(OutputRecord, DefaultsFromExtOptionsWhenFieldsAreEmpty) {
    TOutputOptions o;
    o.VideoCodec = "mpeg4";
    o.ExtOptions = "vcodec=libx264\nacodec=mp2\nvfilters=hflip\ns=\nvf=vflip\ns=640x480";
    const TOutputStreamSettings st = CollectOutputStreamSettings(o);
    EXPECT_EQ(st.Default("vcodec"), "mpeg4");  // the field wins
    EXPECT_EQ(st.Default("acodec"), "mp2");
    EXPECT_EQ(st.Default("vf"), "hflip");   // the first line of that name
    EXPECT_EQ(st.Default("s"), "640x480");  // empty values are not settings
    EXPECT_EQ(st.Entries, (std::vector<TExtOption>{{"vcodec", "libx264"},
                                                   {"acodec", "mp2"},
                                                   {"vf", "hflip"},
                                                   {"vf", "vflip"},
                                                   {"s", "640x480"}}));
    RecordingSink sink;
    ApplyOutputOptions(sink, o, st);
    const Calls expected = {"acodec=mp2", "vcodec=mpeg4", "alang=",  "async=0",   "vsync=-1",
                            "vlang=",     "slang=",       "isync=0", "s=640x480", "vf=hflip"};
    EXPECT_EQ(sink.calls, expected);
}

TEST(OutputRecord, NewStreamLinesTakeTheirOwnSettingsFirst) {
    TOutputOptions o;
    o.VideoCodec = "mpeg4";
    o.AudioCodec = "mp2";
    o.FrameSize = "320x240";
    o.ExtOptions =
        "vcodec=libx264\nnewaudio=\nacodec=ac3\nnewvideo=\nnewvideo=\nnewaudio\nnewsubtitle=";
    TOutputStreamSettings st = CollectOutputStreamSettings(o);
    RecordingSink sink;
    ApplyNewStreamOptions(sink, o, st);
    EXPECT_EQ(sink.calls, (Calls{"acodec=ac3", "newaudio=",                   // own entry
                                 "vcodec=libx264", "s=320x240", "newvideo=",  // entry, default
                                 "vcodec=mpeg4", "s=320x240", "newvideo=",    // defaults
                                 "acodec=mp2", "newaudio=", "newsubtitle="}));
    EXPECT_TRUE(st.Entries.empty());
}

TEST(OutputRecord, MetadataTimestamp) {
    TOutputOptions o;
    o.Metadata.Timestamp = 0;  // now
    RecordingSink now;
    const int64_t before = std::time(nullptr);
    ApplyOutputOptions(now, o, CollectOutputStreamSettings(o));
    const int64_t stamp = std::stoll(now.calls.back().substr(std::string("timestamp=").size()));
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, before + 5);

    // Local date-times in Central European time become seconds since 1970 UTC with the offset in
    // force on that day: one hour in winter, two in summer (the probe shows them back the same
    // way, ProbeClip.CreationTimeIsTheTimeStampInLocalTime). Days count from 1899-12-30.
    const testsupport::ScopedTimeZone cet(testsupport::kCentralEuropeanTime);
    const struct {
        double dateTime;
        int64_t unix;
    } cases[] = {
        {40180.0 + (3 * 3600 + 4 * 60 + 5) / 86400.0, 1262397845},    // 2010-01-02 03:04:05 = 02:04:05Z
        {40361.0 + (3 * 3600 + 4 * 60 + 5) / 86400.0, 1278032645},    // 2010-07-02 03:04:05 = 01:04:05Z
        {44362.0 + (14 * 3600 + 34 * 60 + 56) / 86400.0, 1623760496},  // 2021-06-15 14:34:56 = 12:34:56Z
    };
    for (const auto& c : cases) {
        o.Metadata.Timestamp = c.dateTime;
        RecordingSink dated;
        ApplyOutputOptions(dated, o, CollectOutputStreamSettings(o));
        EXPECT_EQ(dated.calls.back(), "timestamp=" + std::to_string(c.unix));
    }
}

// The records applied to a real option state: crops are compared with the size the input set,
// the frame size comes last, and a refused field ends with the option's message.
using RecordsOnState = OptionsTest;

TEST_F(RecordsOnState, OutputRecordOnTheOptionState) {
    opts->State().FrameWidth = 640;  // as an opened 640x480 input leaves it
    opts->State().FrameHeight = 480;
    TOutputOptions o;
    o.CropTop = 10;
    o.FrameSize = "320x240";
    o.VideoCodec = "libx264";
    o.VideoPreset = "default";
    o.AudioVolume = -1;
    o.ExtOptions = "an=0<CRLF>g=50";
    ApplyOutputOptions(*opts, o, CollectOutputStreamSettings(o));
    const TOptionState& s = opts->State();
    EXPECT_EQ(s.CropTop, 10);
    EXPECT_EQ(s.FrameWidth, 320);
    EXPECT_EQ(s.FrameHeight, 240);
    EXPECT_EQ(s.AudioVolume, 256);
    EXPECT_FALSE(s.AudioDisable);
    EXPECT_EQ(DictValue(opts->CodecOptions(AVMEDIA_TYPE_VIDEO), "g"), "50");  // after the preset
    EXPECT_EQ(DictValue(opts->CodecOptions(AVMEDIA_TYPE_VIDEO), "me_method"), "hex");

    TOutputOptions bad;
    bad.AspectRatio = "0";
    try {
        ApplyOutputOptions(*opts, bad, CollectOutputStreamSettings(bad));
        FAIL() << "no error";
    } catch (const FFmpegException& e) {
        EXPECT_STREQ(e.what(), "Incorrect aspect ratio specification.");
    }

    TInputOptions in;
    in.StartTime = kNoTimeSet;
    in.ExtOptions = "itsoffset=2\nvpre=nosuch";
    ApplyInputOptions(*opts, in);  // "vpre" is not an input option: no error
    EXPECT_EQ(opts->State().InputTsOffset, 2000000);
    EXPECT_EQ(opts->State().StartTime, 0);
}
