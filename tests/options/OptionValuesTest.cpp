// The dispatcher's own options: value forms, validations, messages and defaults.
#include <climits>

#include <gtest/gtest.h>

#include "OptionsTestSupport.h"
#include "engine/FFUtils.h"

using Values = OptionsTest;

TEST_F(Values, DefaultsOfAFreshState) {
    const TOptionState& s = opts->State();
    EXPECT_EQ(s.FrameWidth, 0);
    EXPECT_EQ(s.FrameRate.den, 0);
    EXPECT_EQ(s.AudioSampleRate, 44100);
    EXPECT_EQ(s.AudioChannels, 2);
    EXPECT_EQ(s.AudioQScale, -99999);
    EXPECT_EQ(s.RecordingTime, INT64_MAX);
    EXPECT_EQ(s.MaxFrames[AVMEDIA_TYPE_VIDEO], INT_MAX);
    EXPECT_EQ(s.MuxPreload, 0.5);
    EXPECT_EQ(s.MuxMaxDelay, 0.7);
    EXPECT_EQ(s.TopFieldFirst, -1);
    EXPECT_EQ(s.IntraDcPrecision, 8);
    EXPECT_EQ(s.AudioVolume, 256);
    EXPECT_EQ(s.VideoSyncMethod, -1);
    EXPECT_EQ(s.DtsDeltaThreshold, 10.0);
    EXPECT_EQ(opts->ScalerFlags(), 4);
}

TEST_F(Values, ResetRestoresDefaultsAndForgetsLibraryOptions) {
    opts->SetOption("s", "640x480");
    opts->SetOption("g", "12");
    opts->SetOption("metadata", "title=x");
    opts->SetOption("vbsf", "h264_mp4toannexb");
    opts->ResetOptions();
    EXPECT_EQ(opts->State().FrameWidth, 0);
    EXPECT_TRUE(opts->State().Metadata.empty());
    EXPECT_TRUE(opts->State().VideoBitstreamFilters.empty());
    EXPECT_EQ(DictCount(opts->CodecOptions(AVMEDIA_TYPE_VIDEO)), 0);
    EXPECT_TRUE(opts->SetNames().empty());
}

TEST_F(Values, BooleansAreFalseOnlyForZero) {
    opts->SetOption("an", "0");
    EXPECT_FALSE(opts->State().AudioDisable);
    opts->SetOption("an", "");
    EXPECT_TRUE(opts->State().AudioDisable);
    opts->SetOption("vn", "no");
    EXPECT_TRUE(opts->State().VideoDisable);
    opts->SetOption("copyts", "0");
    EXPECT_TRUE(opts->State().CopyTs);
    opts->SetOption("xerror", "0");
    EXPECT_TRUE(opts->State().ExitOnError);
}

TEST_F(Values, NumberConversionErrorsAreTaskErrors) {
    EXPECT_EQ(ErrorOf("vframes", "12x"), "'12x' is not a valid integer value");
    EXPECT_EQ(ErrorOf("ar", ""), "'' is not a valid integer value");
    EXPECT_EQ(ErrorOf("v", "99999999999"), "'99999999999' is not a valid integer value");
    EXPECT_EQ(ErrorOf("adrift_threshold", "fast"), "'fast' is not a valid floating point value");
    EXPECT_EQ(ErrorOf("muxdelay", "nan"), "'nan' is not a valid floating point value");
    EXPECT_EQ(ErrorOf("fs", "1e3"), "'1e3' is not a valid integer value");
    opts->SetOption("fs", " 5000000000 ");
    EXPECT_EQ(opts->State().LimitFileSize, 5000000000LL);
    opts->SetOption("dts_delta_threshold", "2.5");
    EXPECT_EQ(opts->State().DtsDeltaThreshold, 2.5);
}

TEST_F(Values, InformationalNamesOnlyLog) {
    opts->SetOption("version", "");
    EXPECT_TRUE(Logged(llInfo, "Do nothing: option - version"));
    opts->SetOption("y", "1");
    EXPECT_TRUE(Logged(llInfo, "Do nothing: option - y"));
    opts->SetOption("timelimit", "10");
    EXPECT_TRUE(Logged(llWarning, "Warning: -timelimit not implemented on Windows"));
    EXPECT_EQ(ErrorOf("threads", "4"), "TODO: option - threads");
}

TEST_F(Values, LogLevelByNameOrNumber) {
    opts->SetOption("loglevel", "error");
    EXPECT_EQ(GetLogger()->LogLevel(), llError);
    opts->SetOption("loglevel", "40");
    EXPECT_EQ(GetLogger()->LogLevel(), llVerbose);
    EXPECT_EQ(ErrorOf("loglevel", "loud"), "'loud' is not a valid integer value");
}

// ---- general and timing ----

TEST_F(Values, DurationsAndDates) {
    EXPECT_EQ(ErrorOf("t", "x"), "Invalid duration specification for t: x");
    EXPECT_EQ(ErrorOf("ss", "1:xx"), "Invalid duration specification for ss: 1:xx");
    EXPECT_EQ(ErrorOf("timestamp", "yesterday"),
              "Invalid date specification for timestamp: yesterday");
    opts->SetOption("t", "00:01:02.5");
    EXPECT_EQ(opts->State().RecordingTime, 62500000);
    opts->SetOption("ss", "1.25");
    EXPECT_EQ(opts->State().StartTime, 1250000);
    opts->SetOption("itsoffset", "-2");
    EXPECT_EQ(opts->State().InputTsOffset, -2000000);
    opts->SetOption("timestamp", "2001-02-03T04:05:06.700Z");
    EXPECT_EQ(opts->State().RecordingTimestamp, 981173107);  // rounded to whole seconds
}

TEST_F(Values, StreamMapsReadCIntegersAndRefuseNegatives) {
    opts->SetOption("map", "0x1.010");  // hexadecimal file, octal stream
    opts->SetOption("map", "2:3 1,4");
    ASSERT_EQ(opts->State().StreamMaps.size(), 2u);
    const TStreamMap& a = opts->State().StreamMaps[0];
    EXPECT_EQ(a.FileIndex, 1);
    EXPECT_EQ(a.StreamIndex, 8);
    EXPECT_EQ(a.SyncFileIndex, 1);
    EXPECT_EQ(a.SyncStreamIndex, 8);
    const TStreamMap& b = opts->State().StreamMaps[1];
    EXPECT_EQ(b.FileIndex, 2);
    EXPECT_EQ(b.StreamIndex, 3);
    EXPECT_EQ(b.SyncFileIndex, 1);
    EXPECT_EQ(b.SyncStreamIndex, 4);

    EXPECT_EQ(ErrorOf("map", "0.-1"),
              "The value for map was -1 which is not within 0 - 2147483647");
    EXPECT_EQ(ErrorOf("map", "99999999999.0"),
              "The value for map was 99999999999 which is not within 0 - 2147483647");
    EXPECT_EQ(opts->State().StreamMaps.size(), 2u);
}

TEST_F(Values, MapTablesAreBounded) {
    for (int i = 1; i < 400; ++i) opts->SetOption("map", "0.0");
    opts->SetOption("map", "0.1");
    EXPECT_EQ(opts->State().StreamMaps.size(), 400u);
    EXPECT_EQ(ErrorOf("map", "0.0"), "Too many stream maps (at most 400)");
    EXPECT_EQ(opts->State().StreamMaps.size(), 400u);

    for (int i = 0; i < 20; ++i) opts->SetOption("map_meta_data", "1:0");
    EXPECT_EQ(opts->State().MetaDataMaps[19].OutFile, 1);
    EXPECT_EQ(ErrorOf("map_meta_data", "0:0"), "Too many metadata maps (at most 20)");
    EXPECT_EQ(opts->State().MetaDataMaps.size(), 20u);
}

TEST_F(Values, TimestampScalePerStream) {
    opts->SetOption("itsscale", "3:1.5");
    EXPECT_EQ(opts->State().InputTsScale[3], 1.5);
    EXPECT_EQ(ErrorOf("itsscale", "25:2"), "stream index over MAX_STREAMS(20)");
    EXPECT_EQ(ErrorOf("itsscale", "20:2"), "stream index over MAX_STREAMS(20)");
    EXPECT_EQ(ErrorOf("itsscale", "-1:2"), "stream index over MAX_STREAMS(20)");
    opts->SetOption("itsscale", "19:0.5");
    EXPECT_EQ(opts->State().InputTsScale[19], 0.5);
}

TEST_F(Values, MetadataPairs) {
    EXPECT_EQ(ErrorOf("metadata", "title"), "Missing =");
    opts->SetOption("metadata", "title=a=b");
    opts->SetOption("metadata", "comment=");
    ASSERT_EQ(opts->State().Metadata.size(), 2u);
    EXPECT_EQ(opts->State().Metadata[0].first, "title");
    EXPECT_EQ(opts->State().Metadata[0].second, "a=b");
    EXPECT_EQ(opts->State().Metadata[1].second, "");
}

TEST_F(Values, ContainerAndPgmYuv) {
    opts->SetOption("f", "pgmyuv");
    EXPECT_EQ(opts->State().ForcedFormat, "image2");
    EXPECT_TRUE(opts->State().PgmYuvCompat);
    EXPECT_TRUE(Logged(llInfo, "pgmyuv format is deprecated, use image2"));
    opts->SetOption("f", "mp4");
    EXPECT_EQ(opts->State().ForcedFormat, "mp4");
}

TEST_F(Values, MuxTimesOnlyPositive) {
    opts->SetOption("muxdelay", "0");
    opts->SetOption("muxpreload", "-1");
    EXPECT_EQ(opts->State().MuxMaxDelay, 0.7);
    EXPECT_EQ(opts->State().MuxPreload, 0.5);
    opts->SetOption("muxdelay", "1.5");
    EXPECT_EQ(opts->State().MuxMaxDelay, 1.5);
}

TEST_F(Values, StreamHostOperationsWithoutOutput) {
    EXPECT_EQ(ErrorOf("newvideo", ""), "At least one output file must be specified");
    EXPECT_EQ(ErrorOf("vhook", "/nonexistent/hook.so"),
              "Failed to add video hook function: /nonexistent/hook.so");

    struct Host : IOptionHost {
        std::vector<AVMediaType> added;
        void NewStream(AVMediaType type) override { added.push_back(type); }
        int AddFrameHook(const std::string& v) override { return v == "good.so" ? 0 : -2; }
        std::vector<AVRational> InputVideoFrameRates() const override { return {}; }
    } host;
    opts->SetHost(&host);
    opts->SetOption("newaudio", "");
    opts->SetOption("newsubtitle", "");
    EXPECT_EQ(host.added, (std::vector<AVMediaType>{AVMEDIA_TYPE_AUDIO, AVMEDIA_TYPE_SUBTITLE}));
    EXPECT_EQ(ErrorOf("vhook", "good.so"), "<none>");
    EXPECT_EQ(ErrorOf("vhook", "bad.so"), "Failed to add video hook function: bad.so");
    opts->SetHost(nullptr);
}

// ---- video ----

TEST_F(Values, CropAgainstTheCurrentFrameSize) {
    EXPECT_EQ(ErrorOf("croptop", "10"),
              "Vertical crop dimensions are outside the range of the original image.\n"
              "Remember to crop first and scale second.");
    // What opening a 640x480 video input leaves in the state.
    opts->State().FrameWidth = 640;
    opts->State().FrameHeight = 480;
    opts->SetOption("croptop", "10");
    EXPECT_EQ(opts->State().FrameHeight, 470);
    EXPECT_EQ(opts->State().CropTop, 10);
    EXPECT_TRUE(Logged(llWarning, "CropXXX is deprecated in favor of the crop avfilter"));
    opts->SetOption("cropleft", "40");
    EXPECT_EQ(opts->State().FrameWidth, 600);
    EXPECT_EQ(ErrorOf("cropright", "600"),
              "Horizontal crop dimensions are outside the range of the original image.\n"
              "Remember to crop first and scale second.");
    opts->SetOption("cropbottom", "-5");  // ignored
    EXPECT_EQ(opts->State().CropBottom, 0);
    EXPECT_EQ(opts->State().FrameHeight, 470);
}

TEST_F(Values, FrameSizeWithAnnotationsAndAbbreviations) {
    opts->SetOption("s", "480*272  (PSP 3.03或更高固件版本适用)");
    EXPECT_EQ(opts->State().FrameWidth, 480);
    EXPECT_EQ(opts->State().FrameHeight, 272);
    opts->SetOption("s", "320×240");  // a multi-byte separator
    EXPECT_EQ(opts->State().FrameWidth, 320);
    EXPECT_EQ(opts->State().FrameHeight, 240);
    opts->SetOption("s", "vga");
    EXPECT_EQ(opts->State().FrameWidth, 640);
    EXPECT_EQ(opts->State().FrameHeight, 480);
    for (const char* bad : {"", "abc", "320", "0x240", "320x", "99999999999x2", "2x99999999999"})
        EXPECT_EQ(ErrorOf("s", bad), "Incorrect frame size") << bad;
    EXPECT_EQ(opts->State().FrameWidth, 640);
}

TEST_F(Values, FrameRateAndAspect) {
    opts->SetOption("r", "ntsc");
    EXPECT_EQ(opts->State().FrameRate.num, 30000);
    EXPECT_EQ(opts->State().FrameRate.den, 1001);
    opts->SetOption("r", "12.5");
    EXPECT_EQ(opts->State().FrameRate.num, 25);
    EXPECT_EQ(opts->State().FrameRate.den, 2);
    EXPECT_EQ(ErrorOf("r", "fast"), "Incorrect frame rate");

    opts->SetOption("aspect", "16:9");
    EXPECT_DOUBLE_EQ(opts->State().FrameAspectRatio, 16.0 / 9.0);
    opts->SetOption("aspect", "1.5");
    EXPECT_DOUBLE_EQ(opts->State().FrameAspectRatio, 1.5);
    EXPECT_EQ(ErrorOf("aspect", "4:0"), "Incorrect aspect ratio specification.");
    EXPECT_EQ(ErrorOf("aspect", "0"), "Incorrect aspect ratio specification.");
    EXPECT_EQ(ErrorOf("aspect", "wide"), "'wide' is not a valid floating point value");
}

TEST_F(Values, PixelAndSampleFormats) {
    opts->SetOption("pix_fmt", "yuv422p");
    EXPECT_EQ(opts->State().FramePixFmt, AV_PIX_FMT_YUV422P);
    EXPECT_EQ(ErrorOf("pix_fmt", "yuv999"), "Unknown pixel format requested: yuv999");
    ClearLines();
    opts->SetOption("pix_fmt", "list");
    bool sawYuv420 = false;
    for (const auto& l : Lines())
        if (l.Level == llInfo && l.Text.rfind("yuv420p ", 0) == 0) sawYuv420 = true;
    EXPECT_TRUE(sawYuv420);
    EXPECT_EQ(opts->State().FramePixFmt, AV_PIX_FMT_YUV422P);

    opts->SetOption("sample_fmt", "fltp");
    EXPECT_EQ(opts->State().AudioSampleFmt, AV_SAMPLE_FMT_FLTP);
    ClearLines();
    opts->SetOption("sample_fmt", "list");
    EXPECT_GE(Lines().size(), static_cast<size_t>(AV_SAMPLE_FMT_NB) + 1);
}

TEST_F(Values, PaddingIsAFilterNow) {
    for (const char* n : {"padtop", "padbottom", "padleft", "padright", "padcolor"})
        EXPECT_EQ(ErrorOf(n, "8"), "Please use vfilters=pad");
}

TEST_F(Values, QuantiserAndPass) {
    EXPECT_EQ(ErrorOf("qscale", "0"), "qscale must be > 0.0 and <= 255");
    EXPECT_EQ(ErrorOf("qscale", "256"), "qscale must be > 0.0 and <= 255");
    EXPECT_EQ(ErrorOf("qscale", "255"), "<none>");
    EXPECT_EQ(opts->State().VideoQScale, 255);
    EXPECT_EQ(ErrorOf("pass", "3"), "pass number can be only 1 or 2");
    EXPECT_EQ(ErrorOf("pass", "one"), "pass number can be only 1 or 2");
    opts->SetOption("pass", "2");
    EXPECT_EQ(opts->State().DoPass, 2);
}

TEST_F(Values, QuantiserMatrices) {
    std::string full;
    for (int i = 1; i <= 64; ++i) full += (i > 1 ? "," : "") + std::to_string(i);
    opts->SetOption("intra_matrix", full);
    ASSERT_TRUE(opts->State().IntraMatrix.has_value());
    EXPECT_EQ((*opts->State().IntraMatrix)[0], 1);
    EXPECT_EQ((*opts->State().IntraMatrix)[63], 64);

    EXPECT_EQ(ErrorOf("inter_matrix", "1,2,3,4,5,6,7,8,9,10"),
              "Syntax error in matrix \"1,2,3,4,5,6,7,8,9,10\" at coeff 9");
    std::string zero = full;
    zero.replace(0, 1, "0");  // first coefficient 0
    EXPECT_EQ(ErrorOf("inter_matrix", zero), "Syntax error in matrix \"" + zero + "\" at coeff 0");
    std::string big = "16," + full.substr(full.find(',') + 1);
    big.replace(big.find(",5,"), 3, ",256,");
    EXPECT_EQ(ErrorOf("intra_matrix", big), "Syntax error in matrix \"" + big + "\" at coeff 4");
    EXPECT_EQ((*opts->State().IntraMatrix)[4], 5);  // the refused text left the matrix as it was
}

TEST_F(Values, CodecTagsAndNames) {
    opts->SetOption("vtag", "XVID");
    EXPECT_EQ(opts->State().VideoCodecTag, 0x44495658u);
    EXPECT_EQ(ErrorOf("vtag", "DIV"), "video tag parameter must be 4 chars");
    EXPECT_EQ(ErrorOf("atag", "abcde"), "audio tag parameter must be 4 chars");
    EXPECT_EQ(ErrorOf("stag", ""), "subtitle tag parameter must be 4 chars");

    opts->SetOption("vcodec", "copy");
    EXPECT_TRUE(opts->State().VideoStreamCopy);
    EXPECT_EQ(opts->State().VideoCodecName, "");
    opts->SetOption("vcodec", "mpeg4");
    EXPECT_EQ(opts->State().VideoCodecName, "mpeg4");
    EXPECT_TRUE(opts->State().VideoStreamCopy);  // consumed by the next stream, not by a name
    opts->SetOption("acodec", "mp2");
    opts->SetOption("scodec", "copy");
    EXPECT_EQ(opts->State().AudioCodecName, "mp2");
    EXPECT_TRUE(opts->State().SubtitleStreamCopy);
}

TEST_F(Values, StreamIds) {
    EXPECT_EQ(ErrorOf("streamid", "3"),
              "Invalid value \"3\" for option \"streamid\", required syntax is \"index:value\"");
    EXPECT_EQ(ErrorOf("streamid", ":5"),
              "Invalid value \":5\" for option \"streamid\", required syntax is \"index:value\"");
    EXPECT_EQ(ErrorOf("streamid", "1:"),
              "Invalid value \"1:\" for option \"streamid\", required syntax is \"index:value\"");
    EXPECT_EQ(ErrorOf("streamid", "20:1"),
              "The value for streamid was 20 which is not within 0 - 19");
    EXPECT_EQ(ErrorOf("streamid", "-1:1"),
              "The value for streamid was -1 which is not within 0 - 19");
    opts->SetOption("streamid", "19:480");
    EXPECT_EQ(opts->State().StreamIdMap[19], 480);
}

TEST_F(Values, VStatsFileNameFromTheProgramFolder) {
    opts->SetOption("vstats", "");
    const std::string& name = opts->State().VStatsFileName;
    const std::string folder = ExePath().toStdString();
    ASSERT_EQ(name.rfind(folder + "vstats_", 0), 0u) << name;
    EXPECT_EQ(name.size(), folder.size() + std::string("vstats_hhnnss.log").size());
    EXPECT_EQ(name.substr(name.size() - 4), ".log");
}

// ---- audio ----

TEST_F(Values, SampleRateAndChannelsIgnoreNonPositive) {
    opts->SetOption("ar", "0");
    opts->SetOption("ac", "-2");
    EXPECT_EQ(opts->State().AudioSampleRate, 44100);
    EXPECT_EQ(opts->State().AudioChannels, 2);
    opts->SetOption("ar", "22050");
    opts->SetOption("ac", "1");
    EXPECT_EQ(opts->State().AudioSampleRate, 22050);
    EXPECT_EQ(opts->State().AudioChannels, 1);
    opts->SetOption("vol", "512");
    EXPECT_EQ(opts->State().AudioVolume, 512);
    opts->SetOption("aq", "4.5");
    EXPECT_EQ(opts->State().AudioQScale, 4.5);
}
