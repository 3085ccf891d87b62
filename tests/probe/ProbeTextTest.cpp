// The description text and the stream queries on containers built by hand, where every field
// the text depends on can be set exactly.
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "ProbeTestUtil.h"
#include "TestSupport.h"
#include "medialib/LibAV.h"
#include "probe/AVProbe.h"

namespace {

using probetest::LineStartingWith;

// An input context as a demuxer would leave it, without a file behind it.
class Synthetic {
public:
    explicit Synthetic(const char* format = "mpegts", const std::string& url = "/no/such.ts") {
        ic_ = lav::avformat_alloc_context();
        ic_->iformat = lav::av_find_input_format(format);
        ic_->url = lav::av_strdup(url.c_str());
        ic_->start_time = AV_NOPTS_VALUE;
        ic_->duration = AV_NOPTS_VALUE;
    }
    ~Synthetic() { lav::avformat_free_context(ic_); }
    Synthetic(const Synthetic&) = delete;
    Synthetic& operator=(const Synthetic&) = delete;

    AVStream* audio(AVRational tb = {1, 48000}) {
        AVStream* st = lav::avformat_new_stream(ic_, nullptr);
        st->id = 0x100 + st->index;
        st->time_base = tb;
        AVCodecParameters* par = st->codecpar;
        par->codec_type = AVMEDIA_TYPE_AUDIO;
        par->codec_id = AV_CODEC_ID_MP2;
        par->sample_rate = 48000;
        par->format = AV_SAMPLE_FMT_S16;
        par->bit_rate = 128000;
        lav::av_channel_layout_default(&par->ch_layout, 2);
        return st;
    }
    AVStream* video(int width = 320, int height = 240) {
        AVStream* st = lav::avformat_new_stream(ic_, nullptr);
        st->id = 0x100 + st->index;
        st->time_base = {1, 90000};
        AVCodecParameters* par = st->codecpar;
        par->codec_type = AVMEDIA_TYPE_VIDEO;
        par->codec_id = AV_CODEC_ID_MPEG2VIDEO;
        par->width = width;
        par->height = height;
        par->format = AV_PIX_FMT_YUV420P;
        par->sample_aspect_ratio = {1, 1};
        return st;
    }
    AVFormatContext* get() { return ic_; }

private:
    AVFormatContext* ic_;
};

class ProbeText : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::LoadLibrariesOrFail();
        TFFLogger* logger = GetLogger();
        logger->SetTriggerEventInMainThread(false);
        logger->SetLogLevel(llInfo);
        logger->SetOnLog([this](void* sender, uint32_t, TLogLevel level, const std::string& msg) {
            if (sender == &probe_) log_.emplace_back(level, msg);
        });
    }
    void TearDown() override { GetLogger()->SetOnLog(nullptr); }

    // The text after attaching, with a check that every line break is a CR LF pair.
    std::string text(AVFormatContext* ic) {
        probe_.AttachContext(ic);
        const std::string t = probe_.InfoText();
        std::string rest = t;
        for (size_t p; (p = rest.find("\r\n")) != std::string::npos;) rest.erase(p, 2);
        EXPECT_EQ(rest.find_first_of("\r\n"), std::string::npos) << "a bare line break in:\n" << t;
        return t;
    }

    TAVProbe probe_;
    std::vector<std::pair<TLogLevel, std::string>> log_;
};

TEST_F(ProbeText, FileLinesAndFormatters) {
    // The size falls back to the file on disk when the container has no I/O of its own.
    const std::string path = testsupport::ScratchDir("size") + "/exact.ts";
    testsupport::WriteFile(path, std::string(1048577, 'x'));
    Synthetic s("mpegts", path);
    s.get()->duration = 225123000;
    s.get()->start_time = 1423344;
    s.get()->bit_rate = 128999;
    const std::string t = text(s.get());
    EXPECT_EQ(t.substr(0, t.find("\r\nDuration")),
              "File Name: " + path +
                  "\r\nFormat Name: mpegts\r\nFormat Long Name: MPEG-TS (MPEG-2 Transport "
                  "Stream)\r\nFile Size: 1.00 MB");
    EXPECT_EQ(LineStartingWith(t, "Duration: "), "Duration: 00:03:45.123");
    EXPECT_EQ(LineStartingWith(t, "StartTime: "), "StartTime: 1.423344");
    EXPECT_EQ(LineStartingWith(t, "Bit Rate: "), "Bit Rate: 128 kb/s");
    EXPECT_EQ(LineStartingWith(t, "Time Stamp: "), "");
    EXPECT_EQ(LineStartingWith(t, "Metadata:"), "");

    s.get()->duration = 360000000000;
    s.get()->start_time = AV_NOPTS_VALUE;
    s.get()->bit_rate = 0;
    testsupport::WriteFile(path, std::string(1048576, 'x'));
    const std::string t2 = text(s.get());
    EXPECT_EQ(LineStartingWith(t2, "File Size: "), "File Size: 1024.00 KB");
    EXPECT_EQ(LineStartingWith(t2, "Duration: "), "Duration: 100:00:00.000");
    EXPECT_EQ(LineStartingWith(t2, "StartTime: "), "");
    EXPECT_EQ(LineStartingWith(t2, "Bit Rate: "), "Bit Rate: N/A");
}

TEST_F(ProbeText, UnknownSizeOfANonLocalSourceIsZeroBytes) {
    Synthetic s("mpegts", "tcp://127.0.0.1:9/stream");
    s.get()->duration = -5;
    const std::string t = text(s.get());
    EXPECT_EQ(probe_.FileSize(), 0);
    EXPECT_EQ(LineStartingWith(t, "File Size: "), "File Size: 0 Byte");
    EXPECT_EQ(LineStartingWith(t, "Duration: "), "Duration: N/A");
}

TEST_F(ProbeText, StreamLineOfAnAudioStream) {
    Synthetic s;
    AVStream* st = s.audio();
    st->start_time = -1024;  // 21333 µs before zero
    st->duration = 96000;
    lav::av_dict_set(&st->metadata, "language", "chi", 0);
    const std::string t = text(s.get());
    EXPECT_EQ(LineStartingWith(t, "Stream #0"),
              "Stream #0[0x100](chi), 1/48000: Audio: mp2, 48000 Hz, stereo, s16, 128 kb/s, "
              "StartTime: -0.021333, Duration: 00:00:02.000");
    // A tag set holding only the language prints no block.
    EXPECT_EQ(t.find("Metadata:"), std::string::npos);

    TAudioStreamInfo info;
    ASSERT_TRUE(probe_.GetAudioStreamInfo(-1, &info));
    EXPECT_EQ(info.Language, "chi");
    EXPECT_EQ(info.RawStartTime, -1024);
    EXPECT_EQ(info.StartTime, -21333);
    EXPECT_EQ(info.Duration, 2000000);
    EXPECT_EQ(info.Channels, 2);
    EXPECT_EQ(info.SampleRate, 48000);
    EXPECT_EQ(info.SampleFormat, AV_SAMPLE_FMT_S16);
    EXPECT_EQ(info.BitRate, 128000);
    EXPECT_EQ(info.CodecName, "mp2(MP2 (MPEG audio layer 2))");
}

TEST_F(ProbeText, StreamLineOfAVideoStream) {
    Synthetic s("matroska", "/no/such.mkv");
    AVStream* st = s.video();
    st->avg_frame_rate = {30000, 1001};
    st->r_frame_rate = {25, 1};
    st->sample_aspect_ratio = {4, 3};  // the container's, unlike the codec's 1:1
    const std::string t = text(s.get());
    // No stream id without the container's flag; no "tbc" any more.
    EXPECT_EQ(LineStartingWith(t, "Stream #0"),
              "Stream #0, 1/90000: Video: mpeg2video, yuv420p, 320x240 [SAR 1:1 DAR 4:3], "
              "SAR 4:3 DAR 16:9, 29.97 fps, 25 tbr, 90k tbn, Duration: N/A");
}

TEST_F(ProbeText, RatesAsTheStreamLinesShowThem) {
    EXPECT_EQ(avprobe::RateText(25.0, "fps"), ", 25 fps");
    EXPECT_EQ(avprobe::RateText(30000.0 / 1001, "fps"), ", 29.97 fps");
    EXPECT_EQ(avprobe::RateText(90000.0, "tbn"), ", 90k tbn");
    EXPECT_EQ(avprobe::RateText(12800.0, "tbn"), ", 12800 tbn");
    EXPECT_EQ(avprobe::RateText(0.001, "tbr"), ", 0.0010 tbr");
    EXPECT_EQ(avprobe::SecondsText(0), "0.000000");
    EXPECT_EQ(avprobe::SecondsText(-7000), "-0.007000");
    EXPECT_EQ(avprobe::SecondsText(-3000001), "-3.000001");
}

TEST_F(ProbeText, QueriesNeverWriteIntoTheStream) {
    Synthetic s;
    AVStream* st = s.audio({1, 0});
    st->start_time = 5;
    st->duration = 10;
    TAudioStreamInfo info;
    probe_.AttachContext(s.get());
    ASSERT_TRUE(probe_.GetAudioStreamInfo(0, &info));
    // A zero denominator counts as the numerator (1/1) for the conversion.
    EXPECT_EQ(info.StartTime, 5000000);
    EXPECT_EQ(info.Duration, 10000000);
    probe_.InfoText();
    EXPECT_EQ(st->time_base.num, 1);
    EXPECT_EQ(st->time_base.den, 0);
    EXPECT_EQ(st->start_time, 5);

    AVStream* none = s.audio({0, 0});
    none->start_time = 7;
    probe_.RefreshInfo();
    ASSERT_TRUE(probe_.GetAudioStreamInfo(1, &info));
    EXPECT_EQ(info.StartTime, 0);
    EXPECT_EQ(none->time_base.den, 0);
}

TEST_F(ProbeText, DisplayAspectNeedsAHeight) {
    Synthetic s;
    s.video(320, 0);
    AVStream* sar = s.video(320, 240);
    sar->codecpar->sample_aspect_ratio = {16, 15};
    probe_.AttachContext(s.get());
    TVideoStreamInfo info;
    ASSERT_TRUE(probe_.GetVideoStreamInfo(0, &info));
    EXPECT_EQ(info.Width, 320);
    EXPECT_EQ(info.Height, 0);
    EXPECT_EQ(info.DisplayAspect, -1.0f);
    ASSERT_TRUE(probe_.GetVideoStreamInfo(1, &info));
    EXPECT_NEAR(info.DisplayAspect, 16.0 / 15.0 * 4.0 / 3.0, 1e-6);
    probe_.InfoText();  // an unknown height must not upset the text either
}

TEST_F(ProbeText, TagValuesCannotBreakTheLines) {
    Synthetic s;
    lav::av_dict_set(&s.get()->metadata, "comment", "one\rtwo\nthree\r\nfour\f", 0);
    lav::av_dict_set(&s.get()->metadata, "TPE1", "Someone", 0);
    AVStream* st = s.audio();
    lav::av_dict_set(&st->metadata, "language", "eng", 0);
    lav::av_dict_set(&st->metadata, "title", "a\nb", 0);
    const std::string t = text(s.get());
    EXPECT_NE(t.find("\r\nMetadata:\r\n"
                     "  comment         : one two\r\n"
                     "                  : three \r\n"
                     "                  : four\r\n"
                     "  artist          : Someone\r\n"),
              std::string::npos)
        << t;
    EXPECT_NE(t.find("\r\n  Metadata:\r\n"
                     "    title           : a\r\n"
                     "                    : b\r\n"),
              std::string::npos)
        << t;
    EXPECT_EQ(t.find("language        :"), std::string::npos);
}

TEST_F(ProbeText, ProgramsListTheirStreamsFirst) {
    Synthetic s;
    s.audio();
    s.video();
    s.audio();
    AVProgram* current = lav::av_new_program(s.get(), 1);
    lav::av_dict_set(&current->metadata, "service_provider", "Tandrel", 0);
    lav::av_dict_set(&current->metadata, "service_name", "News", 0);
    lav::av_program_add_stream_index(s.get(), 1, 1);
    AVProgram* old = lav::av_new_program(s.get(), 7);
    lav::av_dict_set(&old->metadata, "provider_name", "Old", 0);
    lav::av_dict_set(&old->metadata, "name", "Names", 0);
    AVProgram* bare = lav::av_new_program(s.get(), 9);
    lav::av_program_add_stream_index(s.get(), 9, 2);
    const std::string t = text(s.get());
    probe_.AttachContext(s.get());
    EXPECT_EQ(probe_.ProgramCount(), 3);
    ASSERT_NE(bare, nullptr);

    std::vector<std::string> heads;
    for (size_t pos = 0; pos < t.size();) {
        const size_t end = t.find("\r\n", pos);
        const std::string line = t.substr(pos, end - pos);
        if (line.rfind("Program", 0) == 0 || line.rfind("Stream", 0) == 0)
            heads.push_back(line.substr(0, line.find(',')));
        pos = end + 2;
    }
    EXPECT_EQ(heads, (std::vector<std::string>{"Program 1 Tandrel@News", "Stream #1[0x101]",
                                               "Program 7 Old@Names", "Program 9 N/A@N/A",
                                               "Stream #2[0x102]", "Stream #0[0x100]"}));
    EXPECT_NE(t.find("Program 1 Tandrel@News\r\n  Metadata:\r\n    service_provider: Tandrel\r\n"),
              std::string::npos)
        << t;
}

TEST_F(ProbeText, StreamQueriesReportWhatIsWrong) {
    TAudioStreamInfo audio;
    TVideoStreamInfo video;
    EXPECT_FALSE(probe_.GetAudioStreamInfo(-1, &audio));
    EXPECT_EQ(probe_.InfoText(), "");

    Synthetic s;
    s.video();
    s.audio();
    probe_.AttachContext(s.get());
    audio.SampleRate = 1;
    EXPECT_FALSE(probe_.GetAudioStreamInfo(0, &audio));
    EXPECT_EQ(audio.SampleRate, -1);
    EXPECT_EQ(audio.CodecName, "");
    EXPECT_FALSE(probe_.GetVideoStreamInfo(1, &video));
    EXPECT_FALSE(probe_.GetVideoStreamInfo(2, &video));
    EXPECT_EQ(video.Width, -1);
    EXPECT_EQ(video.FrameRateNum, -1);
    EXPECT_EQ(video.DisplayAspect, -1.0f);

    Synthetic audioOnly;
    audioOnly.audio();
    probe_.AttachContext(audioOnly.get());
    EXPECT_EQ(probe_.VideoStreamCount(), 0);
    EXPECT_FALSE(probe_.GetVideoStreamInfo(-1, &video));
    EXPECT_EQ(video.Height, -1);

    const std::vector<std::pair<TLogLevel, std::string>> expected = {
        {llWarning, "file not loaded."},
        {llWarning, "file not loaded."},
        {llError, "stream #0 is not audio stream."},
        {llError, "stream #1 is not video stream."},
        {llError, "stream index #2 is invalid."},
        {llError, "no video stream."},
    };
    EXPECT_EQ(log_, expected);
    EXPECT_EQ(probe_.LastErrorMessage(), "no video stream.");
}

TEST_F(ProbeText, CodecDescriptionsWithoutACodec) {
    AVCodecParameters* par = lav::avcodec_parameters_alloc();
    par->codec_id = AV_CODEC_ID_H264;
    EXPECT_EQ(avprobe::CodecDescription(par), "h264(H.264 / AVC / MPEG-4 AVC / MPEG-4 part 10)");
    par->codec_id = AV_CODEC_ID_MPEG2TS;
    EXPECT_EQ(avprobe::CodecDescription(par), "mpeg2ts");
    par->codec_id = AV_CODEC_ID_NONE;
    par->codec_tag = MKTAG('a', 'b', 'c', 'd');
    EXPECT_EQ(avprobe::CodecDescription(par), "abcd / 0x64636261");
    par->codec_tag = 0x0055;
    EXPECT_EQ(avprobe::CodecDescription(par), "0x0055");
    lav::avcodec_parameters_free(&par);
}

TEST_F(ProbeText, AttachingNothingCloses) {
    Synthetic s;
    s.audio();
    probe_.AttachContext(s.get());
    EXPECT_EQ(probe_.StreamCount(), 1);
    probe_.AttachContext(nullptr);
    EXPECT_EQ(probe_.StreamCount(), -1);
    EXPECT_EQ(probe_.FileName(), QString());
}

}  // namespace
