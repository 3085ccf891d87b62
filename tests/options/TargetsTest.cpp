// Target presets: norm choice, settings per type, messages, and every type with every norm
// opening the real encoders and muxer.
#include <cmath>

#include <gtest/gtest.h>

#include "OptionsTestSupport.h"

using Targets = OptionsTest;

namespace {

struct RatesHost : IOptionHost {
    std::vector<AVRational> rates;
    void NewStream(AVMediaType) override {}
    int AddFrameHook(const std::string&) override { return -1; }
    std::vector<AVRational> InputVideoFrameRates() const override { return rates; }
};

}  // namespace

TEST_F(Targets, PalDvd) {
    opts->SetOption("target", "pal-dvd");
    const TOptionState& s = opts->State();
    EXPECT_EQ(s.VideoCodecName, "mpeg2video");
    EXPECT_EQ(s.AudioCodecName, "ac3");
    EXPECT_EQ(s.ForcedFormat, "dvd");
    EXPECT_EQ(s.FrameWidth, 720);
    EXPECT_EQ(s.FrameHeight, 576);
    EXPECT_EQ(s.FrameRate.num, 25);
    EXPECT_EQ(s.FrameRate.den, 1);
    EXPECT_EQ(s.AudioSampleRate, 48000);
    const AVDictionary* v = opts->CodecOptions(AVMEDIA_TYPE_VIDEO);
    EXPECT_EQ(DictValue(v, "g"), "15");
    EXPECT_EQ(DictValue(v, "b"), "6000000");
    EXPECT_EQ(DictValue(v, "maxrate"), "9000000");
    EXPECT_EQ(DictValue(v, "bufsize"), "1835008");
    EXPECT_EQ(DictValue(opts->CodecOptions(AVMEDIA_TYPE_AUDIO), "ab"), "448000");
    EXPECT_EQ(DictValue(opts->FormatOptions(), "packetsize"), "2048");
    EXPECT_EQ(DictValue(opts->FormatOptions(), "muxrate"), "10080000");
    EXPECT_TRUE(Logged(llInfo, "Assuming 16:9 for aspect ratio"));
    EXPECT_DOUBLE_EQ(s.FrameAspectRatio, 16.0 / 9.0);
    // The norm was given: no detection message.
    EXPECT_FALSE(Logged(llVerbose, "Assuming PAL for target."));
}

TEST_F(Targets, Messages) {
    EXPECT_EQ(ErrorOf("target", "dvd"), "frame_rate is invalid.");
    EXPECT_EQ(ErrorOf("target", "pal-xyz"), "Unknown target type");
    opts->SetOption("r", "25");
    EXPECT_EQ(ErrorOf("target", "xyz"), "Unknown target type");
    EXPECT_EQ(ErrorOf("target", "dvx"), "Unknown target type");
}

TEST_F(Targets, AutomaticNormFromTheFrameRate) {
    opts->SetOption("r", "25");
    opts->SetOption("target", "vcd");
    EXPECT_TRUE(Logged(llVerbose, "Assuming PAL for target."));
    EXPECT_EQ(opts->State().FrameHeight, 288);
    EXPECT_EQ(DictValue(opts->CodecOptions(AVMEDIA_TYPE_VIDEO), "g"), "15");
    EXPECT_EQ(opts->State().MuxPreload, 0.44);
    EXPECT_TRUE(Logged(llInfo, "Assuming 4:3 for aspect ratio"));

    opts->ResetOptions();
    ClearLines();
    opts->SetOption("r", "24000/1001");
    opts->SetOption("aspect", "16:9");
    opts->SetOption("target", "svcd");
    EXPECT_TRUE(Logged(llVerbose, "Assuming NTSC for target."));
    EXPECT_EQ(opts->State().FrameHeight, 480);
    EXPECT_EQ(opts->State().FrameRate.num, 30000);  // NTSC's rate, not the film rate it saw
    EXPECT_EQ(DictValue(opts->CodecOptions(AVMEDIA_TYPE_VIDEO), "g"), "18");
    EXPECT_FALSE(Logged(llInfo, "Assuming 4:3 for aspect ratio"));  // an aspect was set
    EXPECT_DOUBLE_EQ(opts->State().FrameAspectRatio, 16.0 / 9.0);
}

TEST_F(Targets, AutomaticNormFromInputsThenTheFallBack) {
    RatesHost host;
    opts->SetHost(&host);
    host.rates = {{15, 1}, {0, 0}, {30000, 1001}, {25, 1}};
    opts->SetOption("r", "10");
    opts->SetOption("target", "dv");
    EXPECT_EQ(opts->State().FrameHeight, 480);  // the first decisive input stream: NTSC
    EXPECT_EQ(opts->State().FramePixFmt, AV_PIX_FMT_YUV411P);

    host.rates = {{15, 1}};
    opts->ResetOptions();
    opts->SetOption("r", "10");
    opts->SetOption("target", "dv50");  // the option's fall-back is NTSC
    EXPECT_EQ(opts->State().FrameHeight, 480);
    EXPECT_EQ(opts->State().FramePixFmt, AV_PIX_FMT_YUV422P);

    opts->ResetOptions();
    opts->SetOption("r", "10");
    opts->SetTarget("dv", "pal");
    EXPECT_EQ(opts->State().FrameHeight, 576);
    EXPECT_EQ(opts->State().FramePixFmt, AV_PIX_FMT_YUV420P);

    opts->ResetOptions();
    opts->SetOption("r", "10");
    ClearLines();
    opts->SetTarget("vcd", "film");
    EXPECT_EQ(opts->State().FrameRate.num, 24000);
    EXPECT_TRUE(Logged(llVerbose, "Assuming NTSC for target."));

    opts->ResetOptions();
    opts->SetOption("v", "0");
    opts->SetOption("r", "10");
    ClearLines();
    opts->SetTarget("vcd", "pal");
    EXPECT_FALSE(Logged(llVerbose, "Assuming PAL for target."));
    opts->SetHost(nullptr);
}

TEST_F(Targets, MonoBecomesStereoForSvcdAndDvd) {
    opts->SetOption("ac", "1");
    opts->SetOption("target", "pal-svcd");
    EXPECT_EQ(opts->State().AudioChannels, 2);
    EXPECT_EQ(opts->State().AudioSampleRate, 44100);
    opts->ResetOptions();
    opts->SetOption("ac", "6");
    opts->SetOption("target", "ntsc-dvd");
    EXPECT_EQ(opts->State().AudioChannels, 6);
}

// Every target type with every norm: the encoders open with what the target left, take all of
// its options, and the muxer initialises with the container options.
TEST_F(Targets, EveryTypeAndNormOpensTheEncodersAndMuxer) {
    for (const char* type : {"vcd", "svcd", "dvd", "dv", "dv50"}) {
        for (const char* norm : {"pal-", "ntsc-", "film-"}) {
            const std::string target = std::string(norm) + type;
            SCOPED_TRACE(target);
            opts->ResetOptions();
            ASSERT_EQ(ErrorOf("target", target), "<none>");
            const TOptionState& s = opts->State();
            const std::string vname = s.VideoCodecName.empty() ? "dvvideo" : s.VideoCodecName;
            const std::string aname = s.AudioCodecName.empty() ? "pcm_s16le" : s.AudioCodecName;
            auto video = OpenEncoder(*opts, AVMEDIA_TYPE_VIDEO, vname);
            auto audio = OpenEncoder(*opts, AVMEDIA_TYPE_AUDIO, aname);
            ASSERT_EQ(video->Result, 0) << lav::av_err2str(video->Result);
            ASSERT_EQ(audio->Result, 0) << lav::av_err2str(audio->Result);
            EXPECT_TRUE(video->Unused.empty()) << video->Unused.front();
            EXPECT_TRUE(audio->Unused.empty()) << audio->Unused.front();
            if (std::string(type) == "svcd") {
                int64_t scanOffset = 0;
                lav::av_opt_get_int(video->Context->priv_data, "scan_offset", 0, &scanOffset);
                EXPECT_EQ(scanOffset, 1);
            }

            AVFormatContext* oc = nullptr;
            ASSERT_GE(
                lav::avformat_alloc_output_context2(&oc, nullptr, s.ForcedFormat.c_str(), nullptr),
                0);
            for (AVCodecContext* enc : {video->Context, audio->Context}) {
                AVStream* st = lav::avformat_new_stream(oc, nullptr);
                lav::avcodec_parameters_from_context(st->codecpar, enc);
                st->time_base = enc->time_base;
            }
            AVDictionary* fo = opts->FormatOptionsFor(oc->oformat->priv_class, true);
            const AVClass* muxerClass = oc->oformat->priv_class;
            if (lav::av_opt_find2(&muxerClass, "preload", nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ,
                                  nullptr))
                lav::av_dict_set_int(&fo, "preload", std::llround(s.MuxPreload * 1e6), 0);
            const int r = lav::avformat_init_output(oc, &fo);
            EXPECT_GE(r, 0) << lav::av_err2str(r);
            EXPECT_EQ(DictCount(fo), 0);
            if (type[0] != 'd' || type[1] != 'v') {
                EXPECT_EQ(oc->packet_size, std::string(type) == "dvd" ? 2048u : 2324u);
            }
            lav::av_dict_free(&fo);
            lav::avformat_free_context(oc);
        }
    }
}
