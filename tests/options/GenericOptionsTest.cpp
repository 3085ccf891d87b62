// The generic path: library parameters per media type, private encoder and muxer options, the
// bit-rate check, old keys, bit-stream filters.
#include <gtest/gtest.h>

#include "OptionsTestSupport.h"
#include "engine/FFmpegPresets.h"

using Generic = OptionsTest;

namespace {
const char* kLowRate =
    "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s";
}

TEST_F(Generic, BitRateWarnings) {
    opts->SetOption("ab", "128");
    EXPECT_TRUE(Logged(llWarning, kLowRate));
    EXPECT_EQ(DictValue(opts->CodecOptions(AVMEDIA_TYPE_AUDIO), "ab"), "128");
    ClearLines();
    opts->SetOption("ab", "1000");
    EXPECT_FALSE(Logged(llWarning, kLowRate));
    opts->SetOption("b", "999");
    EXPECT_TRUE(Logged(llWarning, kLowRate));
    ClearLines();
    opts->SetOption("vb", "800000");
    EXPECT_FALSE(Logged(llWarning, kLowRate));
    EXPECT_EQ(DictValue(opts->CodecOptions(AVMEDIA_TYPE_VIDEO), "b"), "800000");
    // The video bit-rate does not leak into the sound's set.
    EXPECT_EQ(DictValue(opts->CodecOptions(AVMEDIA_TYPE_AUDIO), "b"), "<unset>");
}

TEST_F(Generic, ParametersGoToTheMediaTypesThatCarryThem) {
    opts->SetOption("g", "48");
    EXPECT_EQ(DictValue(opts->CodecOptions(AVMEDIA_TYPE_VIDEO), "g"), "48");
    EXPECT_EQ(DictValue(opts->CodecOptions(AVMEDIA_TYPE_AUDIO), "g"), "<unset>");
    // Relative flags accumulate as on one object.
    opts->SetOption("flags", "+loop");
    opts->SetOption("flags", "+cgop");
    const AVCodec* mpeg4 = lav::avcodec_find_encoder_by_name("mpeg4");
    AVDictionary* d = opts->CodecOptionsFor(AVMEDIA_TYPE_VIDEO, mpeg4, true);
    AVCodecContext* c = lav::avcodec_alloc_context3(mpeg4);
    ASSERT_GE(lav::av_opt_set_dict(c, &d), 0);
    EXPECT_EQ(c->gop_size, 48);
    EXPECT_TRUE(c->flags & AV_CODEC_FLAG_LOOP_FILTER);
    EXPECT_TRUE(c->flags & AV_CODEC_FLAG_CLOSED_GOP);
    lav::avcodec_free_context(&c);
    lav::av_dict_free(&d);
    EXPECT_EQ(opts->SetNames(), (std::vector<std::string>{"g", "flags"}));
}

TEST_F(Generic, UnknownNamesAndRefusedValues) {
    EXPECT_FALSE(opts->SetGenericOption("zzz", "1"));
    EXPECT_FALSE(opts->SetGenericOption("g", ""));
    EXPECT_FALSE(opts->SetGenericOption(" ", "1"));
    ClearLines();
    EXPECT_FALSE(opts->SetGenericOption("g", "lots"));
    EXPECT_TRUE(Logged(llError, "Invalid value \"lots\" for option \"g\""));
    // The dispatcher drops what the generic path refuses.
    EXPECT_EQ(ErrorOf("zzz", "1"), "<none>");
    EXPECT_EQ(DictCount(opts->CodecOptions(AVMEDIA_TYPE_VIDEO)), 0);
    EXPECT_TRUE(opts->SetNames().empty());
    // Names are trimmed.
    EXPECT_TRUE(opts->SetGenericOption(" bf ", " 2 "));
    EXPECT_EQ(DictValue(opts->CodecOptions(AVMEDIA_TYPE_VIDEO), "bf"), "2");
}

TEST_F(Generic, ContainerAndScalerParameters) {
    EXPECT_TRUE(opts->SetGenericOption("packetsize", "2048"));
    EXPECT_EQ(DictValue(opts->FormatOptions(), "packetsize"), "2048");
    EXPECT_TRUE(opts->SetGenericOption("sws_flags", "lanczos"));
    EXPECT_EQ(opts->ScalerFlags(), SWS_LANCZOS);
    EXPECT_FALSE(opts->SetGenericOption("sws_flags", "sharpest"));
}

TEST_F(Generic, PrivateEncoderOptionsFollowTheChosenEncoder) {
    // libx264's own options; its value check decides once it is the chosen encoder.
    opts->SetOption("vcodec", "libx264");
    EXPECT_TRUE(opts->SetGenericOption("coder", "cabac"));
    EXPECT_FALSE(opts->SetGenericOption("coder", "turbo"));
    EXPECT_TRUE(opts->SetGenericOption("profile", "main"));  // the shared "profile" is a number
    EXPECT_EQ(DictValue(opts->CodecOptions(AVMEDIA_TYPE_VIDEO), "profile"), "main");

    const AVCodec* x264 = lav::avcodec_find_encoder_by_name("libx264");
    const AVCodec* mpeg4 = lav::avcodec_find_encoder_by_name("mpeg4");
    AVDictionary* forX264 = opts->CodecOptionsFor(AVMEDIA_TYPE_VIDEO, x264, true);
    AVDictionary* forMpeg4 = opts->CodecOptionsFor(AVMEDIA_TYPE_VIDEO, mpeg4, true);
    EXPECT_EQ(DictValue(forX264, "coder"), "cabac");
    EXPECT_EQ(DictValue(forX264, "profile"), "main");
    // Another encoder never sees them: "profile=main" would make it refuse to open.
    EXPECT_EQ(DictValue(forMpeg4, "coder"), "<unset>");
    EXPECT_EQ(DictValue(forMpeg4, "profile"), "<unset>");
    lav::av_dict_free(&forX264);
    lav::av_dict_free(&forMpeg4);
}

TEST_F(Generic, PrivateMuxerOptions) {
    EXPECT_TRUE(opts->SetGenericOption("muxrate", "10080000"));
    EXPECT_TRUE(opts->SetGenericOption("movflags", "+faststart"));
    EXPECT_TRUE(opts->SetGenericOption("movflags", "+frag_keyframe"));
    EXPECT_EQ(DictValue(opts->FormatOptions(), "movflags"), "+faststart+frag_keyframe");
    const AVOutputFormat* dvd = lav::av_guess_format("dvd", nullptr, nullptr);
    const AVOutputFormat* mp4 = lav::av_guess_format("mp4", nullptr, nullptr);
    AVDictionary* forDvd = opts->FormatOptionsFor(dvd->priv_class, true);
    AVDictionary* forMp4 = opts->FormatOptionsFor(mp4->priv_class, true);
    EXPECT_EQ(DictValue(forDvd, "muxrate"), "10080000");
    EXPECT_EQ(DictValue(forDvd, "movflags"), "<unset>");
    EXPECT_EQ(DictValue(forMp4, "movflags"), "+faststart+frag_keyframe");
    EXPECT_EQ(DictValue(forMp4, "muxrate"), "<unset>");
    lav::av_dict_free(&forDvd);
    lav::av_dict_free(&forMp4);
}

TEST_F(Generic, PrefixNamesSetTheRestInThatMediaType) {
    // "abt": no parameter of that name; "bt" in the sound's set.
    EXPECT_TRUE(opts->SetGenericOption("abt", "64000"));
    EXPECT_EQ(DictValue(opts->CodecOptions(AVMEDIA_TYPE_AUDIO), "bt"), "64000");
    EXPECT_EQ(DictValue(opts->CodecOptions(AVMEDIA_TYPE_VIDEO), "bt"), "<unset>");
    EXPECT_FALSE(opts->SetGenericOption("vzzz", "1"));
}

TEST_F(Generic, DebugParameterRaisesTheLogLevel) {
    GetLogger()->SetLogLevel(llInfo);
    EXPECT_TRUE(opts->SetGenericOption("debug", "pict"));
    EXPECT_EQ(GetLogger()->LogLevel(), llDebug);
    GetLogger()->SetLogLevel(llInfo);
}

TEST(LegacyKeys, Flags2BitsBecomeLibx264Options) {
    using P = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(TranslateLegacyOption("flags2", "+mixed_refs+wpred+dct8x8+fastpskip"),
              (P{{"mixed-refs", "1"}, {"weightb", "1"}, {"8x8dct", "1"}, {"fast-pskip", "1"}}));
    EXPECT_EQ(TranslateLegacyOption("flags2", "-wpred-dct8x8"),
              (P{{"weightb", "0"}, {"8x8dct", "0"}}));
    EXPECT_EQ(TranslateLegacyOption("flags2", "+bpyramid-mbtree+fast"),
              (P{{"flags2", "+fast"}, {"b-pyramid", "normal"}, {"mbtree", "0"}}));
    EXPECT_EQ(TranslateLegacyOption("flags2", "+fast"), (P{{"flags2", "+fast"}}));
    EXPECT_EQ(TranslateLegacyOption("flags2", "0x10"), (P{{"flags2", "0x10"}}));
    EXPECT_EQ(TranslateLegacyOption("directpred", "3"), (P{{"direct-pred", "3"}}));
    EXPECT_EQ(TranslateLegacyOption("partitions", "+parti8x8+parti4x4+partp8x8+partb8x8"),
              (P{{"partitions", "i8x8,i4x4,p8x8,b8x8"}}));
    EXPECT_EQ(TranslateLegacyOption("partitions", "-parti8x8"), (P{{"partitions", "none"}}));
    EXPECT_EQ(TranslateLegacyOption("partitions", "all"), (P{{"partitions", "all"}}));
    EXPECT_EQ(TranslateLegacyOption("g", "12"), (P{{"g", "12"}}));
}

TEST_F(Generic, OldKeysThroughTheGenericPath) {
    opts->SetOption("vcodec", "libx264");
    EXPECT_TRUE(opts->SetGenericOption("flags2", "+mixed_refs+wpred"));
    EXPECT_TRUE(opts->SetGenericOption("directpred", "1"));
    const AVDictionary* v = opts->CodecOptions(AVMEDIA_TYPE_VIDEO);
    EXPECT_EQ(DictValue(v, "mixed-refs"), "1");
    EXPECT_EQ(DictValue(v, "weightb"), "1");
    EXPECT_EQ(DictValue(v, "direct-pred"), "1");
    EXPECT_EQ(DictValue(v, "flags2"), "<unset>");
    EXPECT_FALSE(opts->SetGenericOption("flags2", "+nosuchbit"));
}

TEST_F(Generic, BitStreamFilters) {
    opts->SetOption("vbsf", "h264_mp4toannexb");
    opts->SetOption("absf", "aac_adtstoasc=x");
    opts->SetOption("sbsf", "");
    opts->SetOption("sbsf", "=null");
    ASSERT_EQ(opts->State().VideoBitstreamFilters.size(), 1u);
    EXPECT_EQ(opts->State().VideoBitstreamFilters[0].Name, "h264_mp4toannexb");
    ASSERT_EQ(opts->State().AudioBitstreamFilters.size(), 1u);
    EXPECT_EQ(opts->State().AudioBitstreamFilters[0].Name, "aac_adtstoasc");
    EXPECT_EQ(opts->State().AudioBitstreamFilters[0].Args, "x");
    EXPECT_TRUE(opts->State().SubtitleBitstreamFilters.empty());
    EXPECT_EQ(ErrorOf("vbsf", "nosuch"), "Unknown bitstream filter nosuch");
    EXPECT_EQ(ErrorOf("vbsf", "nosuch=1 "), "Unknown bitstream filter nosuch=1");
    opts->SetOption("vbsf", "null");
    EXPECT_EQ(opts->State().VideoBitstreamFilters.size(), 2u);
}
