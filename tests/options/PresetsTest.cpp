// Presets ("apre", "vpre", "spre", "fpre"): lookup, preset files, their errors, and every
// built-in preset opening the real libx264 encoder.
#include <set>

#include <gtest/gtest.h>

#include "OptionsTestSupport.h"
#include "engine/FFmpegPresets.h"

using Presets = OptionsTest;

TEST_F(Presets, TableHasTheThirtySixNamesOnce) {
    std::set<std::string> names;
    for (const TOptionsPreset& p : kBuiltinPresets) names.insert(p.Name);
    EXPECT_EQ(names.size(), 36u);
    EXPECT_STREQ(kBuiltinPresets[0].Name, "libx264-baseline");
    EXPECT_STREQ(kBuiltinPresets[35].Name, "libx264-veryslow_firstpass");
    ASSERT_NE(FindBuiltinPreset("LIBX264-Main"), nullptr);
    EXPECT_STREQ(FindBuiltinPreset("LIBX264-Main")->Name, "libx264-main");
    EXPECT_EQ(FindBuiltinPreset("main"), nullptr);
}

TEST_F(Presets, EncoderNamePrefixOfThePresetsKind) {
    opts->SetOption("vcodec", "libx264");
    opts->SetOption("vpre", "default");
    const AVDictionary* v = opts->CodecOptions(AVMEDIA_TYPE_VIDEO);
    EXPECT_EQ(DictValue(v, "me_method"), "hex");
    EXPECT_EQ(DictValue(v, "partitions"), "i8x8,i4x4,p8x8,b8x8");
    EXPECT_EQ(DictValue(v, "8x8dct"), "1");
    EXPECT_EQ(DictValue(v, "direct-pred"), "1");
    EXPECT_EQ(DictValue(v, "wpredp"), "2");

    // "apre" looks with the audio encoder's name only, "spre" with the subtitle encoder's.
    EXPECT_EQ(ErrorOf("apre", "main"), "Preset \"main\" not found");
    opts->SetOption("scodec", "libx264");
    EXPECT_EQ(ErrorOf("spre", "main"), "<none>");
    EXPECT_EQ(DictValue(opts->CodecOptions(AVMEDIA_TYPE_VIDEO), "profile"), "main");
    EXPECT_EQ(ErrorOf("vpre", ""), "<none>");  // an empty value is ignored
}

TEST_F(Presets, NotFound) {
    EXPECT_EQ(ErrorOf("vpre", "nosuch"), "Preset \"nosuch\" not found");
    opts->SetOption("vcodec", "libx264");
    EXPECT_EQ(ErrorOf("vpre", "nosuch"), "Preset \"nosuch\" not found");
    // "fpre" never looks in the table.
    EXPECT_EQ(ErrorOf("fpre", "libx264-main"), "Preset \"libx264-main\" not found");
    EXPECT_EQ(ErrorOf("fpre", "/dev/zero"), "Preset \"/dev/zero\" not found");
}

TEST_F(Presets, PresetFilesAndTheirErrors) {
    const std::string dir = testsupport::ScratchDir("presets");
    const std::string good = dir + "/good.ffpreset";
    testsupport::WriteFile(good, "vcodec=libx264\r\n\r\n  g = 30  \racodec=copy\nbf=2");
    opts->SetOption("fpre", good);
    EXPECT_EQ(opts->State().VideoCodecName, "libx264");
    EXPECT_TRUE(opts->State().AudioStreamCopy);
    EXPECT_EQ(DictValue(opts->CodecOptions(AVMEDIA_TYPE_VIDEO), "g"), "30");
    EXPECT_EQ(DictValue(opts->CodecOptions(AVMEDIA_TYPE_VIDEO), "bf"), "2");

    const std::string bad = dir + "/bad.ffpreset";
    testsupport::WriteFile(bad, "g=12\nzzz=1\n");
    EXPECT_EQ(ErrorOf("vpre", bad),
              bad + ": Invalid option or argument: \"zzz=1\", parsed as \"zzz\" = \"1\"");
    const std::string refused = dir + "/refused.ffpreset";
    testsupport::WriteFile(refused, "g=many");
    EXPECT_EQ(ErrorOf("fpre", refused),
              refused + ": Invalid option or argument: \"g=many\", parsed as \"g\" = \"many\"");
    const std::string syntax = dir + "/syntax.ffpreset";
    testsupport::WriteFile(syntax, "g=12\n  novalue \n");
    EXPECT_EQ(ErrorOf("fpre", syntax), syntax + ": Invalid syntax: \"novalue\"");
    testsupport::WriteFile(syntax, "g=\n");
    EXPECT_EQ(ErrorOf("fpre", syntax), syntax + ": Invalid syntax: \"g=\"");
    testsupport::WriteFile(syntax, "=5\n");
    EXPECT_EQ(ErrorOf("fpre", syntax), syntax + ": Invalid syntax: \"=5\"");
}

// Every built-in preset, applied as the program does ("vcodec" libx264, then "vpre"), must give
// options that the linked libx264 opens with and takes completely.
TEST_F(Presets, EveryBuiltinPresetOpensLibx264) {
    for (const TOptionsPreset& p : kBuiltinPresets) {
        SCOPED_TRACE(p.Name);
        opts->ResetOptions();
        opts->SetOption("vcodec", "libx264");
        ASSERT_EQ(ErrorOf("vpre", std::string(p.Name).substr(8)), "<none>");
        auto enc = OpenEncoder(*opts, AVMEDIA_TYPE_VIDEO, "libx264");
        EXPECT_EQ(enc->Result, 0) << lav::av_err2str(enc->Result);
        EXPECT_TRUE(enc->Unused.empty()) << enc->Unused.front();
    }
}

TEST_F(Presets, DefaultAndBaselineSettingsReachTheEncoder) {
    opts->SetOption("vcodec", "libx264");
    opts->SetOption("vpre", "libx264-default");
    auto enc = OpenEncoder(*opts, AVMEDIA_TYPE_VIDEO, "libx264");
    ASSERT_EQ(enc->Result, 0);
    EXPECT_EQ(enc->Context->gop_size, 250);
    EXPECT_EQ(enc->Context->keyint_min, 25);
    EXPECT_EQ(enc->Context->max_b_frames, 3);
    EXPECT_EQ(enc->Context->refs, 3);
    EXPECT_EQ(enc->Context->qmin, 10);
    EXPECT_FLOAT_EQ(enc->Context->qcompress, 0.6f);
    int64_t v = -9;
    lav::av_opt_get_int(enc->Context->priv_data, "coder", 0, &v);
    EXPECT_EQ(v, 1);
    lav::av_opt_get_int(enc->Context->priv_data, "8x8dct", 0, &v);
    EXPECT_EQ(v, 1);

    opts->ResetOptions();
    opts->SetOption("vcodec", "libx264");
    opts->SetOption("vpre", "baseline");
    auto base = OpenEncoder(*opts, AVMEDIA_TYPE_VIDEO, "libx264");
    ASSERT_EQ(base->Result, 0);
    EXPECT_EQ(base->Context->max_b_frames, 0);
    lav::av_opt_get_int(base->Context->priv_data, "coder", 0, &v);
    EXPECT_EQ(v, 0);
    lav::av_opt_get_int(base->Context->priv_data, "weightb", 0, &v);
    EXPECT_EQ(v, 0);
    lav::av_opt_get_int(base->Context->priv_data, "wpredp", 0, &v);
    EXPECT_EQ(v, 0);
}
