#include <gtest/gtest.h>

#include <cmath>

#include "TestSupport.h"
#include "engine/AudioConverter.h"
#include "engine/VideoConverter.h"
#include "medialib/LibAV.h"

namespace {

class Converters : public ::testing::Test {
protected:
    void SetUp() override { testsupport::LoadLibrariesOrFail(); }
};

// An audio frame whose every sample of every channel is `value` (as the format's type).
AVFrame* audioFrame(AVSampleFormat fmt, int rate, int channels, int samples, double value) {
    AVFrame* f = lav::av_frame_alloc();
    f->format = fmt;
    f->sample_rate = rate;
    f->nb_samples = samples;
    lav::av_channel_layout_default(&f->ch_layout, channels);
    EXPECT_EQ(lav::av_frame_get_buffer(f, 0), 0);
    const bool planar = lav::av_sample_fmt_is_planar(fmt);
    const int planes = planar ? channels : 1;
    const int per = samples * (planar ? 1 : channels);
    for (int p = 0; p < planes; ++p) {
        for (int i = 0; i < per; ++i) {
            switch (lav::av_get_packed_sample_fmt(fmt)) {
                case AV_SAMPLE_FMT_S16:
                    reinterpret_cast<int16_t*>(f->extended_data[p])[i] =
                        static_cast<int16_t>(value);
                    break;
                case AV_SAMPLE_FMT_FLT:
                    reinterpret_cast<float*>(f->extended_data[p])[i] = static_cast<float>(value);
                    break;
                default: ADD_FAILURE() << "format not covered by the test helper";
            }
        }
    }
    return f;
}

AudioConverter::Target target(AVSampleFormat fmt, int rate, int channels, int frameSize) {
    AudioConverter::Target t;
    t.format = fmt;
    t.sampleRate = rate;
    lav::av_channel_layout_default(&t.layout, channels);
    t.frameSize = frameSize;
    return t;
}

// Drains the converter; returns the number of samples in whole frames (checked to be frameSize).
int64_t drain(AudioConverter& conv, bool flush) {
    int64_t total = 0;
    while (AVFrame* f = conv.Pull(flush)) {
        if (conv.target().frameSize > 0) {
            EXPECT_EQ(f->nb_samples, conv.target().frameSize);
        }
        total += f->nb_samples;
    }
    return total;
}

}  // namespace

TEST_F(Converters, VolumeOnFloatSamplesIsAGainWithClipping) {
    AudioConverter conv;
    ASSERT_EQ(conv.Init(target(AV_SAMPLE_FMT_FLTP, 44100, 2, 1024)), 0);
    conv.SetVolume(512);
    for (double v : {0.3, 0.7, -0.8}) {
        AVFrame* in = audioFrame(AV_SAMPLE_FMT_FLTP, 44100, 2, 1024, v);
        std::string error;
        ASSERT_EQ(conv.Push(in, 0, &error), 0) << error;
        lav::av_frame_free(&in);
        AVFrame* out = conv.Pull(false);
        ASSERT_NE(out, nullptr);
        const float got = reinterpret_cast<float*>(out->extended_data[1])[500];
        EXPECT_FLOAT_EQ(got, static_cast<float>(std::clamp(v * 2, -1.0, 1.0)));
    }
}

TEST_F(Converters, VolumeOn16BitSamplesFollowsTheIntegerFormula) {
    AudioConverter conv;
    ASSERT_EQ(conv.Init(target(AV_SAMPLE_FMT_S16, 8000, 1, 0)), 0);
    conv.SetVolume(300);
    for (auto [in, want] : {std::pair{1000, 1172}, {-1000, -1171}, {30000, 32767}}) {
        AVFrame* f = audioFrame(AV_SAMPLE_FMT_S16, 8000, 1, 10, in);
        ASSERT_EQ(conv.Push(f, 0, nullptr), 0);
        lav::av_frame_free(&f);
        AVFrame* out = conv.Pull(false);  // no frame size: everything queued
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(out->nb_samples, 10);
        EXPECT_EQ(reinterpret_cast<int16_t*>(out->data[0])[3], want) << in;
    }
}

TEST_F(Converters, WholeFramesAndAPaddedOrShortLastFrame) {
    for (bool small : {false, true}) {
        AudioConverter::Target t = target(AV_SAMPLE_FMT_FLTP, 44100, 2, 1024);
        t.smallLastFrame = small;
        AudioConverter conv;
        ASSERT_EQ(conv.Init(t), 0);
        AVFrame* in = audioFrame(AV_SAMPLE_FMT_FLTP, 44100, 2, 1500, 0.5);
        ASSERT_EQ(conv.Push(in, 400, nullptr), 0);  // 400 samples dropped for sync
        lav::av_frame_free(&in);
        EXPECT_EQ(conv.Buffered(), 1100);
        ASSERT_NE(conv.Pull(false), nullptr);
        EXPECT_EQ(conv.Pull(false), nullptr);  // 76 left: not a whole frame
        AVFrame* last = conv.Pull(true);
        ASSERT_NE(last, nullptr);
        EXPECT_EQ(last->nb_samples, small ? 76 : 1024);
        EXPECT_FLOAT_EQ(reinterpret_cast<float*>(last->extended_data[0])[75], 0.5f);
        if (!small) {
            EXPECT_FLOAT_EQ(reinterpret_cast<float*>(last->extended_data[0])[76], 0.f);
        }
        EXPECT_EQ(conv.Pull(true), nullptr);
    }
}

TEST_F(Converters, ResamplesAndFollowsAFormatChangeMidStream) {
    AudioConverter conv;
    ASSERT_EQ(conv.Init(target(AV_SAMPLE_FMT_FLTP, 44100, 2, 1152)), 0);
    int64_t out = 0;
    // One second at 48 kHz s16 mono, then one second at 22.05 kHz float stereo.
    for (int i = 0; i < 48; ++i) {
        AVFrame* f = audioFrame(AV_SAMPLE_FMT_S16, 48000, 1, 1000, 1000);
        ASSERT_EQ(conv.Push(f, 0, nullptr), 0);
        lav::av_frame_free(&f);
        out += drain(conv, false);
    }
    for (int i = 0; i < 21; ++i) {
        AVFrame* f = audioFrame(AV_SAMPLE_FMT_FLT, 22050, 2, 1050, 0.25);
        std::string error;
        ASSERT_EQ(conv.Push(f, 0, &error), 0) << error;
        lav::av_frame_free(&f);
        out += drain(conv, false);
    }
    out += drain(conv, true);
    EXPECT_NEAR(out, 2 * 44100, 1152 + 64);
    const int64_t before = conv.Buffered();
    ASSERT_EQ(conv.PushSilence(100), 0);
    EXPECT_EQ(conv.Buffered(), before + 100);
}

namespace {

AVFrame* picture(int w, int h, AVPixelFormat fmt, int64_t pts) {
    AVFrame* f = lav::av_frame_alloc();
    f->width = w;
    f->height = h;
    f->format = fmt;
    f->pts = pts;
    EXPECT_EQ(lav::av_frame_get_buffer(f, 0), 0);
    // Luma: left half white, right half black; chroma neutral.
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) f->data[0][y * f->linesize[0] + x] = x < w / 2 ? 235 : 16;
    for (int p = 1; p < 3; ++p)
        for (int y = 0; y < (h + 1) / 2; ++y)
            std::memset(f->data[p] + y * f->linesize[p], 128, static_cast<size_t>((w + 1) / 2));
    return f;
}

}  // namespace

TEST_F(Converters, DirectPathCropsScalesAndSurvivesASizeChange) {
    VideoConverter::Settings s;
    s.srcWidth = 320;
    s.srcHeight = 240;
    s.srcFormat = AV_PIX_FMT_YUV420P;
    s.cropTop = s.cropBottom = 20;
    s.dstWidth = 160;
    s.dstHeight = 100;
    s.dstFormat = AV_PIX_FMT_YUV420P;
    VideoConverter conv;
    std::string error;
    ASSERT_EQ(conv.Init(s, &error), 0) << error;
    EXPECT_FALSE(conv.UsesGraph());
    EXPECT_EQ(conv.OutputWidth(), 160);

    AVFrame* out = lav::av_frame_alloc();
    for (auto [w, h] : {std::pair{320, 240}, {640, 480}}) {
        AVFrame* in = picture(w, h, AV_PIX_FMT_YUV420P, 7);
        bool changed = false;
        ASSERT_EQ(conv.Push(in, &changed, &error), 0) << error;
        EXPECT_EQ(changed, w == 640);
        ASSERT_EQ(conv.Pull(out), 0);
        EXPECT_EQ(out->width, 160);
        EXPECT_EQ(out->height, 100);
        EXPECT_EQ(out->pts, 7);
        EXPECT_GT(out->data[0][50 * out->linesize[0] + 10], 200);  // left stays white
        EXPECT_LT(out->data[0][50 * out->linesize[0] + 150], 50);
        EXPECT_EQ(conv.Pull(out), AVERROR(EAGAIN));
        lav::av_frame_unref(out);
        lav::av_frame_free(&in);
    }
    ASSERT_EQ(conv.Push(nullptr, nullptr, &error), 0);
    EXPECT_EQ(conv.Pull(out), AVERROR_EOF);
    lav::av_frame_free(&out);
}

TEST_F(Converters, GraphPathRunsTheUsersFiltersIntoTheEncodersFormat) {
    VideoConverter::Settings s;
    s.srcWidth = 320;
    s.srcHeight = 240;
    s.srcFormat = AV_PIX_FMT_YUV420P;
    s.timeBase = {1, 25};
    s.cropLeft = 40;
    s.dstFormat = AV_PIX_FMT_YUVJ420P;
    s.filters = "hflip";
    s.deinterlace = true;
    VideoConverter conv;
    std::string error;
    ASSERT_EQ(conv.Init(s, &error), 0) << error;
    EXPECT_TRUE(conv.UsesGraph());
    EXPECT_EQ(conv.OutputWidth(), 280);
    EXPECT_EQ(conv.OutputHeight(), 240);
    for (int i = 0; i < 3; ++i) {
        AVFrame* in = picture(320, 240, AV_PIX_FMT_YUV420P, i);
        ASSERT_EQ(conv.Push(in, nullptr, &error), 0);
        lav::av_frame_free(&in);
    }
    ASSERT_EQ(conv.Push(nullptr, nullptr, &error), 0);
    AVFrame* out = lav::av_frame_alloc();
    int frames = 0;
    while (conv.Pull(out) == 0) {
        EXPECT_EQ(out->format, AV_PIX_FMT_YUVJ420P);
        EXPECT_EQ(out->width, 280);
        EXPECT_EQ(lav::av_rescale_q(out->pts, conv.OutputTimeBase(), {1, 25}), frames);
        // Cropped 40 from the left then mirrored: the black half is now on the left.
        EXPECT_LT(out->data[0][100 * out->linesize[0] + 20], 60);
        EXPECT_GT(out->data[0][100 * out->linesize[0] + 270], 200);
        ++frames;
        lav::av_frame_unref(out);
    }
    lav::av_frame_free(&out);
    EXPECT_EQ(frames, 3);  // the deinterlacer's held picture comes out at the end

    VideoConverter bad;
    s.filters = "nosuchfilter";
    EXPECT_LT(bad.Init(s, &error), 0);
    EXPECT_FALSE(error.empty());
}
