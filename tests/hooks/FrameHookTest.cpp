// The RGB conversion of pictures, the per-task hook and preview state, and frame hooks inside
// real conversions (task core and tandrel-cli), read back with the ffmpeg program.
#include <chrono>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "HookTestSupport.h"
#include "TestMedia.h"
#include "TestSupport.h"
#include "engine/CommandLine.h"
#include "engine/FFmpeg.h"
#include "engine/FrameHook.h"
#include "engine/MainThread.h"
#include "medialib/LibAV.h"

namespace fs = std::filesystem;
using namespace hooktest;

namespace {

class Hooks : public ::testing::Test {
protected:
    void SetUp() override {
        mainthread::SetUiThread();
        testsupport::LoadLibrariesOrFail();
        dir = testsupport::ScratchDir("hooks");
    }
    std::string out(const std::string& name) { return dir + "/" + name; }
    std::string dir;
};

uint8_t pattern(int x, int y, int c) { return static_cast<uint8_t>(x * 7 + y * 13 + c * 5); }

int lumaAt(const AVFrame* f, int x, int y) { return f->data[0][y * f->linesize[0] + x]; }

// A BGR24 picture over caller-owned bytes with a row length of its own.
AVFrame* wrapBgr(std::vector<uint8_t>& bytes, int width, int height, int lineSize) {
    AVFrame* f = lav::av_frame_alloc();
    f->format = AV_PIX_FMT_BGR24;
    f->width = width;
    f->height = height;
    f->data[0] = bytes.data();
    f->linesize[0] = lineSize;
    return f;
}

}  // namespace

TEST_F(Hooks, BgrPicturesAreCopiedRowByRowWithEachSidesOwnRowLength) {
    const std::pair<int, int> sizes[] = {{321, 241}, {1, 1}, {2, 3}, {640, 360}};
    for (const auto& [w, h] : sizes) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        const int line = w * 3 + 29;  // neither the bitmap's row length nor aligned
        std::vector<uint8_t> bytes(static_cast<size_t>(line) * h, 0xEE);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c) bytes[y * line + 3 * x + c] = pattern(x, y, c);
        AVFrame* f = wrapBgr(bytes, w, h, line);
        TRGBConverter conv;
        ASSERT_TRUE(conv.ToBitmap(f));
        TBitmap& b = conv.Bitmap();
        ASSERT_EQ(b.Width(), w);
        ASSERT_EQ(b.Height(), h);
        EXPECT_EQ(b.BytesPerLine(), (w * 3 + 3) / 4 * 4);  // rows padded to 32 bits
        int wrong = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c) wrong += b.ScanLine(y)[3 * x + c] != pattern(x, y, c);
        EXPECT_EQ(wrong, 0);
        for (int y = 0; y < h; ++y)
            for (int i = 0; i < 3 * w; ++i)
                b.ScanLine(y)[i] = static_cast<uint8_t>(255 - b.ScanLine(y)[i]);
        ASSERT_TRUE(conv.FromBitmap(f));
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c)
                    wrong += bytes[y * line + 3 * x + c] != 255 - pattern(x, y, c);
            for (int i = 3 * w; i < line; ++i) wrong += bytes[y * line + i] != 0xEE;  // padding
        }
        EXPECT_EQ(wrong, 0);
        lav::av_frame_free(&f);
    }
}

TEST_F(Hooks, YuvAndGreyPicturesOfOddSizesConvertAtFullSizeBothWays) {
    // Limited-range luma 126 with neutral chroma is grey 1.164 × (126 − 16) = 128 in RGB; 235 is
    // white. Back from RGB, white is luma 235 and black 16.
    const AVPixelFormat formats[] = {AV_PIX_FMT_YUV420P, AV_PIX_FMT_NV12, AV_PIX_FMT_YUV444P,
                                     AV_PIX_FMT_GRAY8};
    const std::pair<int, int> sizes[] = {{1, 1}, {3, 5}, {321, 241}};
    for (AVPixelFormat fmt : formats) {
        for (const auto& [w, h] : sizes) {
            SCOPED_TRACE(std::string(lav::av_get_pix_fmt_name(fmt)) + " " + std::to_string(w) +
                         "x" + std::to_string(h));
            AVFrame* f = MakePicture(fmt, w, h, {126, 128, 128});
            ASSERT_NE(f, nullptr);
            const bool grey = fmt == AV_PIX_FMT_GRAY8;
            // Grey pictures are full range: 126 stays 126, 235 stays 235.
            const int greyValue = grey ? 126 : 128;
            f->data[0][(h - 1) * f->linesize[0] + (w - 1)] = 235;
            TRGBConverter conv;
            ASSERT_TRUE(conv.ToBitmap(f));
            TBitmap& b = conv.Bitmap();
            ASSERT_EQ(b.Width(), w);
            ASSERT_EQ(b.Height(), h);
            const uint8_t* last = b.ScanLine(h - 1) + 3 * (w - 1);
            for (int c = 0; c < 3; ++c) EXPECT_GE(last[c], grey ? 233 : 250) << "channel " << c;
            if (w * h > 1) {
                const uint8_t* first = b.ScanLine(0);
                for (int c = 0; c < 3; ++c) EXPECT_NEAR(first[c], greyValue, 2) << "channel " << c;
            }
            // Paint: the first pixel white, the last black, the rest stays grey.
            PaintSquare(b, 0, 0, 1, 255, 255, 255);
            PaintSquare(b, w - 1, h - 1, 1, 0, 0, 0);
            AVFrame* g = MakePicture(fmt, w, h, {77, 77, 77});
            ASSERT_TRUE(conv.FromBitmap(g));
            EXPECT_LE(lumaAt(g, w - 1, h - 1), grey ? 2 : 20);
            if (w * h > 1) {
                EXPECT_GE(lumaAt(g, 0, 0), grey ? 253 : 230);
            }
            if (w > 2 && h > 2) {
                EXPECT_NEAR(lumaAt(g, w / 2, h / 2), 126, 2);
            }
            lav::av_frame_free(&f);
            lav::av_frame_free(&g);
        }
    }
}

TEST_F(Hooks, PicturesNoScalerTakesAreRefused) {
    AVFrame* f = lav::av_frame_alloc();
    f->format = AV_PIX_FMT_VAAPI;  // a hardware surface: no pixels to convert here
    f->width = 64;
    f->height = 48;
    TRGBConverter conv;
    EXPECT_FALSE(conv.ToBitmap(f));
    lav::av_frame_free(&f);
}

TEST_F(Hooks, TheHandlerChangesAPrivateCopyAndNeverTheDecodedPicture) {
    LogCapture log;
    TFrameHooks hooks([](TLogLevel level, const std::string& text) {
        if (TFFLogger* logger = CurrentLogger()) logger->LogMessage(nullptr, level, text);
    });
    std::vector<int> numbers;
    std::vector<int64_t> times;
    hooks.SetCustomHook([&](THookInfo& info) {
        numbers.push_back(info.FrameNumber);
        times.push_back(info.PTS);
        EXPECT_TRUE(info.Update);
        EXPECT_FALSE(info.StopHook);
        PaintSquare(*info.Bitmap, 0, 0, 8, 255, 255, 255);
        if (info.FrameNumber == 2) info.Update = false;
        if (info.FrameNumber == 3) throw std::runtime_error("boom");
        if (info.FrameNumber == 4) info.StopHook = true;
    });
    AVFrame* decoded = MakePicture(AV_PIX_FMT_YUV420P, 64, 48, {100, 128, 128});
    AVFrame* decoderKeeps = lav::av_frame_clone(decoded);  // as a decoder keeps its references

    const AVFrame* first = hooks.PreprocessPicture(decoded, 1000);
    ASSERT_NE(first, decoded);
    EXPECT_GE(lumaAt(first, 0, 0), 230);
    EXPECT_NEAR(lumaAt(first, 20, 20), 100, 2);
    EXPECT_EQ(first->width, 64);
    // An encoder may keep the hooked picture: the next one must not overwrite it.
    AVFrame* encoderKeeps = lav::av_frame_clone(first);

    EXPECT_EQ(hooks.PreprocessPicture(decoded, 2000), decoded);  // Update false
    EXPECT_EQ(hooks.PreprocessPicture(decoded, 3000), decoded);  // the handler failed
    EXPECT_TRUE(log.Contains("Error occurs OnCustomHook: boom"));
    const AVFrame* fourth = hooks.PreprocessPicture(decoded, 4000);  // changed, then stopped
    EXPECT_NE(fourth, decoded);
    EXPECT_GE(lumaAt(fourth, 0, 0), 230);
    EXPECT_EQ(hooks.PreprocessPicture(decoded, 5000), decoded);  // no more calls
    EXPECT_FALSE(hooks.HasCustomHook());

    EXPECT_EQ(numbers, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(times, (std::vector<int64_t>{1000, 2000, 3000, 4000}));
    EXPECT_EQ(hooks.FrameCount(), 5);
    EXPECT_EQ(lumaAt(decoded, 0, 0), 100);
    EXPECT_EQ(lumaAt(decoderKeeps, 0, 0), 100);
    EXPECT_NE(encoderKeeps->data[0], fourth->data[0]);
    EXPECT_GE(lumaAt(encoderKeeps, 0, 0), 230);
    lav::av_frame_free(&encoderKeeps);
    lav::av_frame_free(&decoderKeeps);
    lav::av_frame_free(&decoded);
}

TEST_F(Hooks, ExternalHooksChangeAPrivateCopyInTheOrderTheyWereAdded) {
    TFrameHooks hooks([](TLogLevel, const std::string&) {});
    ASSERT_EQ(hooks.AddExternalHook(HookLibrary("invert")), 0);
    AVFrame* decoded = MakePicture(AV_PIX_FMT_YUV420P, 33, 17, {40, 128, 128});
    const AVFrame* once = hooks.PreprocessPicture(decoded, 0);
    ASSERT_NE(once, decoded);
    EXPECT_EQ(lumaAt(once, 32, 16), 215);
    EXPECT_EQ(lumaAt(decoded, 32, 16), 40);
    ASSERT_EQ(hooks.AddExternalHook(HookLibrary("invert") + " second"), 0);
    const AVFrame* twice = hooks.PreprocessPicture(decoded, 0);
    EXPECT_EQ(lumaAt(twice, 32, 16), 40);  // inverted twice
    EXPECT_EQ(hooks.FrameCount(), 2);
    lav::av_frame_free(&decoded);
}

namespace {

// A preview window that records what it was asked to show.
struct FakeWindow : IPreviewWindow {
    bool Show(const TPreviewInfo& info) override {
        shown.push_back(info.FrameNumber);
        sizes.emplace_back(info.Bitmap->Width(), info.Bitmap->Height());
        return shown.size() < closeAfter;
    }
    void Close() override { ++closes; }
    std::vector<int> shown;
    std::vector<std::pair<int, int>> sizes;
    size_t closeAfter = 1000000;
    std::atomic<int> closes{0};
};

}  // namespace

TEST_F(Hooks, PreviewsGoToTheSnapshotReceiverOrElseToAWindow) {
    LogCapture log;
    TFrameHooks hooks([](TLogLevel level, const std::string& text) {
        if (TFFLogger* logger = CurrentLogger()) logger->LogMessage(nullptr, level, text);
    });
    hooks.SetPreviewInterval(-1);  // every picture
    int snapshots = 0;
    bool receiverTakes = true;
    hooks.SetPreviewBitmapCallback([&](const TPreviewInfo& info) {
        EXPECT_EQ(info.PTS, 2 * 40000);  // pts 2 in 1/25 s
        if (receiverTakes) ++snapshots;
        return receiverTakes;
    });
    std::vector<std::shared_ptr<FakeWindow>> windows;
    hooks.SetPreviewWindowFactory([&] {
        windows.push_back(std::make_shared<FakeWindow>());
        windows.back()->closeAfter = 3;
        return windows.back();
    });
    AVFrame* picture = MakePicture(AV_PIX_FMT_YUV420P, 31, 21, {16, 128, 128});
    picture->pts = 2;
    const AVRational tb{1, 25};

    hooks.SetPreviewFlags(kPreviewWindow | kPreviewBitmap);
    hooks.PreviewStep(picture, tb);
    EXPECT_EQ(snapshots, 1);
    EXPECT_TRUE(windows.empty()) << "a taken snapshot opens no window";

    receiverTakes = false;
    for (int i = 0; i < 5; ++i) hooks.PreviewStep(picture, tb);
    ASSERT_EQ(windows.size(), 1u);
    // The third picture finds the window closed by the user: the window previews stop.
    EXPECT_EQ(windows[0]->shown.size(), 3u);
    EXPECT_EQ(windows[0]->sizes[0], std::make_pair(31, 21));
    EXPECT_GE(windows[0]->closes.load(), 1);
    EXPECT_EQ(hooks.PreviewFlags(), kPreviewBitmap);

    // Switched on again: a new window at the next picture; switched off: it is closed.
    hooks.SetPreviewFlags(kPreviewWindow);
    hooks.PreviewStep(picture, tb);
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows[1]->shown.size(), 1u);
    hooks.SetPreviewFlags(0);
    EXPECT_EQ(windows[1]->closes.load(), 1);
    hooks.PreviewStep(picture, tb);
    EXPECT_EQ(windows[1]->shown.size(), 1u);

    // Without a window factory there is nothing to show: said once, and the flag goes.
    TFrameHooks bare([](TLogLevel level, const std::string& text) {
        if (TFFLogger* logger = CurrentLogger()) logger->LogMessage(nullptr, level, text);
    });
    bare.SetPreviewFlags(kPreviewWindow);
    bare.PreviewStep(picture, tb);
    EXPECT_EQ(bare.PreviewFlags(), 0);
    EXPECT_TRUE(log.Contains("No preview window"));

    // A picture no scaler takes ends the previews of that kind.
    AVFrame* surface = lav::av_frame_alloc();
    surface->format = AV_PIX_FMT_VAAPI;
    surface->width = 16;
    surface->height = 16;
    TFrameHooks failing([](TLogLevel level, const std::string& text) {
        if (TFFLogger* logger = CurrentLogger()) logger->LogMessage(nullptr, level, text);
    });
    failing.SetPreviewBitmapCallback([](const TPreviewInfo&) { return true; });
    failing.SetPreviewFlags(kPreviewBitmap);
    failing.PreviewStep(surface, tb);
    EXPECT_EQ(failing.PreviewFlags(), 0);
    EXPECT_TRUE(log.Contains("Cannot initialize the toRGB conversion context"));
    lav::av_frame_free(&surface);
    lav::av_frame_free(&picture);
}

// ---------------------------------------------------------------------------------------------
// Inside conversions

namespace {

struct Outcome {
    CommandLineResult built = CommandLineResult::Failed;
    std::string message;
    bool finished = false;
    std::string error;
};

// Builds a task from a command line, lets `prepare` adjust it, and runs it on this thread.
Outcome convert(const std::vector<std::string>& words,
                const std::function<void(TCustomFFmpeg&)>& prepare = nullptr) {
    Outcome r;
    TCustomFFmpeg task;
    task.SetOption("v", "-1");
    r.built = ApplyCommandLine(task, words, false, &r.message);
    if (r.built != CommandLineResult::Ok) return r;
    if (prepare) prepare(task);
    task.RunConversion();
    r.finished = task.Finished();
    r.error = task.ErrorMessage();
    return r;
}

using Counter = int (*)();
int counter(const char* name) {
    auto fn = reinterpret_cast<Counter>(HookSymbol(HookLibrary("invert"), name));
    return fn ? fn() : -1;
}

}  // namespace

TEST_F(Hooks, AHookLibraryInvertsTheLumaOfEveryPictureOfAConversion) {
    const std::string source = testmedia::Path("avi_mpeg4_mp3");
    const std::string o = out("inverted.avi");
    // Counters of the library over this whole process (0 while it is not loaded).
    const int configures = std::max(counter("hooktest_configures"), 0);
    const int releases = std::max(counter("hooktest_releases"), 0);
    const int processed = std::max(counter("hooktest_processed"), 0);
    Outcome r = convert(
        {"-i", source, "-vhook", HookLibrary("invert") + "|arg", "-vcodec", "ffv1", "-an", o});
    ASSERT_EQ(r.built, CommandLineResult::Ok) << r.message;
    ASSERT_TRUE(r.finished) << r.error;
    EXPECT_EQ(counter("hooktest_configures") - configures, 1);
    EXPECT_EQ(counter("hooktest_releases") - releases, 1);
    const Luma in = LumaPlanes(source), result = LumaPlanes(o);
    ASSERT_EQ(in.planes.size(), 50u);  // 2 s at 25 fps
    ASSERT_EQ(result.planes.size(), in.planes.size());
    EXPECT_EQ(counter("hooktest_processed") - processed, 50);
    size_t wrong = 0;
    for (size_t i = 0; i < in.planes.size(); ++i)
        for (size_t k = 0; k < in.planes[i].size(); ++k)
            wrong += result.planes[i][k] != 255 - in.planes[i][k];
    EXPECT_EQ(wrong, 0u);
}

TEST_F(Hooks, CopyingAHookedOrPreviewedVideoStreamIsRefused) {
    const std::string source = testmedia::Path("avi_mpeg4_mp3");
    struct Case {
        const char* name;
        std::vector<std::string> extra;
        std::function<void(TCustomFFmpeg&)> prepare;
        std::string error;
    };
    const Case cases[] = {
        {"callback",
         {},
         [](TCustomFFmpeg& t) { t.FrameHooks().SetCustomHook([](THookInfo&) {}); },
         "-vcodec copy and CustomHook are incompatible (frames are not decoded)"},
        {"library",
         {"-vhook", HookLibrary("invert")},
         nullptr,
         "-vcodec copy and -vhook are incompatible (frames are not decoded)"},
        {"window",
         {},
         [](TCustomFFmpeg& t) { t.FrameHooks().SetPreviewFlags(kPreviewWindow); },
         "-vcodec copy and PostHooks are incompatible (frames are not decoded)"},
        {"snapshots",
         {},
         [](TCustomFFmpeg& t) { t.FrameHooks().SetPreviewFlags(kPreviewBitmap); },
         "-vcodec copy and PostHooks are incompatible (frames are not decoded)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string o = out(std::string(c.name) + ".avi");
        std::vector<std::string> words = {"-i", source};
        words.insert(words.end(), c.extra.begin(), c.extra.end());
        words.insert(words.end(), {"-vcodec", "copy", "-acodec", "copy", o});
        Outcome r = convert(words, c.prepare);
        ASSERT_EQ(r.built, CommandLineResult::Ok) << r.message;
        EXPECT_FALSE(r.finished);
        EXPECT_EQ(r.error, c.error);
        EXPECT_FALSE(fs::exists(o));
    }
    // Copying the sound alone of a previewed task is fine: no pictures are missed.
    const std::string sound = out("sound.mp3");
    Outcome r = convert({"-i", source, "-vn", "-acodec", "copy", sound}, [](TCustomFFmpeg& t) {
        t.FrameHooks().SetPreviewFlags(kPreviewWindow | kPreviewBitmap);
    });
    EXPECT_TRUE(r.finished) << r.error;
}

TEST_F(Hooks, OddSizedPicturesReachTheHookWholeAndKeepItsEdits) {
    // Through the scaler (YUV) and copied directly (BGR24), both 321×241: the hook paints the
    // bottom-right corner, whose last column and row exist only at the full size.
    const std::string bgr = out("bgr24_321x241.nut");
    std::string error;
    ASSERT_TRUE(
        testmedia::RunFfmpeg("-f lavfi -i testsrc2=size=320x240:rate=25:duration=1 "
                             "-vf scale=321:241,format=bgr24 -c:v rawvideo " +
                                 testmedia::Quote(bgr),
                             &error))
        << error;
    struct Case {
        std::string source, output;
        std::vector<std::string> codec;
        int width, height;  // of the output
    };
    const Case cases[] = {
        {testmedia::Path("odd_321x241"),
         out("yuv.avi"),
         {"-vcodec", "ffv1", "-pix_fmt", "yuv444p"},
         321,
         241},
        {bgr, out("bgr.nut"), {"-vcodec", "rawvideo"}, 321, 241},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        int calls = 0, wrongSize = 0;
        std::vector<std::string> words = {"-i", c.source, "-an"};
        words.insert(words.end(), c.codec.begin(), c.codec.end());
        words.push_back(c.output);
        Outcome r = convert(words, [&](TCustomFFmpeg& t) {
            t.FrameHooks().SetCustomHook([&](THookInfo& info) {
                ++calls;
                wrongSize += info.Bitmap->Width() != 321 || info.Bitmap->Height() != 241;
                PaintSquare(*info.Bitmap, 301, 221, 20, 255, 255, 255);
            });
        });
        ASSERT_TRUE(r.finished) << r.error;
        EXPECT_GT(calls, 20);
        EXPECT_EQ(wrongSize, 0);
        const Luma luma = LumaPlanes(c.output);
        ASSERT_EQ(luma.width, c.width);
        ASSERT_EQ(luma.height, c.height);
        ASSERT_EQ(static_cast<int>(luma.planes.size()), calls);
        for (const auto& plane : luma.planes) {
            EXPECT_GE(MeanIn(plane, luma.width, 301, 221, 20, 20), 230);
            EXPECT_GE(plane[static_cast<size_t>(240) * 321 + 320], 230);  // the very last pixel
        }
    }
}

TEST_F(Hooks, TheCommandLineToolTakesAHookLibrary) {
    const std::string source = testmedia::Path("avi_mpeg4_mp3");
    const std::string o = out("cli.avi");
    const auto ok = testsupport::Cli("transcode --progress none -i " + testmedia::Quote(source) +
                                     " -vhook " + testmedia::Quote(HookLibrary("invert") + "|arg") +
                                     " -vcodec ffv1 -an " + testmedia::Quote(o));
    ASSERT_EQ(ok.status, 0) << ok.err;
    const Luma in = LumaPlanes(source), result = LumaPlanes(o);
    ASSERT_EQ(result.planes.size(), in.planes.size());
    ASSERT_FALSE(in.planes.empty());
    EXPECT_EQ(result.planes[10][500], 255 - in.planes[10][500]);
    EXPECT_EQ(result.planes[49][76000], 255 - in.planes[49][76000]);

    const std::string value = HookLibrary("noprocess") + "|x";
    const auto refused =
        testsupport::Cli("transcode --progress none -i " + testmedia::Quote(source) + " -vhook " +
                         testmedia::Quote(value) + " " + testmedia::Quote(out("never.avi")));
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("Failed to find Process entrypoint in " + HookLibrary("noprocess")),
              std::string::npos)
        << refused.err;
    EXPECT_NE(refused.err.find("Failed to add video hook function: " + value), std::string::npos)
        << refused.err;
    EXPECT_FALSE(fs::exists(out("never.avi")));
}
