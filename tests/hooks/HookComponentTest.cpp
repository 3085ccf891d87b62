// The component's frame hook (`OnCustomHook`) and previews (`OnPreviewBitmap`, `Preview` with a
// window factory) in threaded batches, read back with the ffmpeg program.
#include <QJsonArray>
#include <QJsonObject>
#include <chrono>
#include <map>

#include <gtest/gtest.h>

#include "ComponentTestSupport.h"
#include "HookTestSupport.h"

using namespace hooktest;
using Clock = std::chrono::steady_clock;

namespace {

// Adds `source` → `out` as ffv1 without sound (lossless: what the hook left is what is read back).
int addLossless(RecordingComponent& c, const std::string& source, const std::string& out,
                bool hooked, const std::string& extra = {}) {
    const int index = c.vcl.AddTask(QString::fromStdString(source));
    if (index < 0) return index;
    TOutputOptions o;
    o.VideoCodec = "ffv1";
    o.DisableAudio = true;
    o.VideoHook = hooked;
    o.ExtOptions = extra;
    return c.vcl.SetOutputFile(index, QString::fromStdString(out), &o) ? index : -1;
}

struct Call {
    int task = -1, frame = 0, width = 0, height = 0;
    bool onUi = true;
};

}  // namespace

TEST(ComponentHooks, APaintedSquareIsInTheOutputAndUntouchedPicturesEqualAPlainRun) {
    RecordingComponent c;
    const std::string dir = testsupport::ScratchDir("square");
    const std::string source = testmedia::Path("avi_mpeg4_mp3");
    ASSERT_EQ(addLossless(c, source, dir + "/hooked.avi", true), 0) << c.vcl.LastErrorMessage();
    ASSERT_EQ(addLossless(c, source, dir + "/plain.avi", false), 1) << c.vcl.LastErrorMessage();
    std::mutex mutex;
    std::vector<Call> calls;
    c.vcl.SetOnCustomHook([&](void* sender, PHookInfo info) {
        EXPECT_EQ(sender, &c.vcl);
        {
            std::lock_guard<std::mutex> lk(mutex);
            calls.push_back({info->TaskIndex, info->FrameNumber, info->Bitmap->Width(),
                             info->Bitmap->Height(), mainthread::IsUiThread()});
        }
        // Odd pictures get a white square, even ones are left alone.
        if (info->FrameNumber % 2)
            PaintSquare(*info->Bitmap, 100, 80, 40, 255, 255, 255);
        else
            info->Update = false;
    });
    c.vcl.StartTask(2);
    ASSERT_TRUE(c.WaitForBatchEnd());
    for (const auto& t : c.Terminates()) EXPECT_TRUE(t.info.Finished) << t.info.ErrorMessage;

    ASSERT_EQ(calls.size(), 50u);  // 2 s at 25 fps, the plain task never
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].task, 0);
        EXPECT_EQ(calls[i].frame, static_cast<int>(i) + 1);
        EXPECT_EQ(calls[i].width, 320);
        EXPECT_EQ(calls[i].height, 240);
        EXPECT_FALSE(calls[i].onUi) << "the hook runs on the task's worker";
    }
    const Luma hooked = LumaPlanes(dir + "/hooked.avi"), plain = LumaPlanes(dir + "/plain.avi");
    ASSERT_EQ(hooked.planes.size(), 50u);
    ASSERT_EQ(plain.planes.size(), 50u);
    const int w = plain.width, h = plain.height;
    for (size_t i = 0; i < 50; ++i) {
        SCOPED_TRACE("picture " + std::to_string(i + 1));
        const auto& a = hooked.planes[i];
        const auto& b = plain.planes[i];
        if ((i + 1) % 2 == 0) {
            EXPECT_EQ(a, b);
        } else {
            EXPECT_GE(MeanIn(a, w, 100, 80, 40, 40), 230);
            EXPECT_LT(MeanIn(b, w, 100, 80, 40, 40), 200);
            // Elsewhere only the round trip through RGB (sharp colour edges of 4:2:0 pictures
            // move most).
            EXPECT_LE(MeanDifferenceIn(a, b, w, 0, 0, w, 70), 1.0);
            EXPECT_LE(MeanDifferenceIn(a, b, w, 0, 130, w, h - 130), 1.0);
        }
    }
}

TEST(ComponentHooks, StopHookEndsTheCallsOfOneTaskWhileAnotherGoesOn) {
    RecordingComponent c;
    const std::string dir = testsupport::ScratchDir("stop");
    const std::string source = testmedia::Path("avi_mpeg4_mp3");
    ASSERT_EQ(addLossless(c, source, dir + "/a.avi", true), 0);
    ASSERT_EQ(addLossless(c, source, dir + "/b.avi", true), 1);
    std::mutex mutex;
    std::map<int, std::vector<int>> frames;
    c.vcl.SetOnCustomHook([&](void*, PHookInfo info) {
        std::lock_guard<std::mutex> lk(mutex);
        frames[info->TaskIndex].push_back(info->FrameNumber);
        if (info->TaskIndex == 0 && info->FrameNumber == 5) info->StopHook = true;
    });
    c.vcl.StartTask(2);
    ASSERT_TRUE(c.WaitForBatchEnd());
    for (const auto& t : c.Terminates()) EXPECT_TRUE(t.info.Finished) << t.info.ErrorMessage;
    EXPECT_EQ(frames[0], (std::vector<int>{1, 2, 3, 4, 5}));
    ASSERT_EQ(frames[1].size(), 50u);
    EXPECT_EQ(frames[1].back(), 50);
}

TEST(ComponentHooks, AFailingHandlerIsLoggedAndItsPictureIsEncodedUnchanged) {
    RecordingComponent c;
    LogCapture log;
    const std::string dir = testsupport::ScratchDir("throws");
    const std::string source = testmedia::Path("avi_mpeg4_mp3");
    ASSERT_EQ(addLossless(c, source, dir + "/hooked.avi", true), 0);
    ASSERT_EQ(addLossless(c, source, dir + "/plain.avi", false), 1);
    std::atomic<int> calls{0};
    c.vcl.SetOnCustomHook([&](void*, PHookInfo info) {
        ++calls;
        PaintSquare(*info->Bitmap, 0, 0, 64, 255, 255, 255);
        if (info->FrameNumber >= 10) throw std::runtime_error("boom");
    });
    c.vcl.StartTask(2);
    ASSERT_TRUE(c.WaitForBatchEnd());
    for (const auto& t : c.Terminates()) {
        EXPECT_TRUE(t.info.Finished) << t.info.ErrorMessage;
        EXPECT_FALSE(t.info.HasError);
    }
    EXPECT_EQ(calls.load(), 50) << "a failure does not stop the hook";
    TFFLogger::Flush();
    EXPECT_TRUE(log.Contains("Error occurs OnCustomHook: boom"));
    const Luma hooked = LumaPlanes(dir + "/hooked.avi"), plain = LumaPlanes(dir + "/plain.avi");
    ASSERT_EQ(hooked.planes.size(), 50u);
    ASSERT_EQ(plain.planes.size(), 50u);
    for (size_t i = 0; i < 9; ++i)
        EXPECT_GE(MeanIn(hooked.planes[i], hooked.width, 0, 0, 64, 64), 230);
    for (size_t i = 9; i < 50; ++i)
        EXPECT_EQ(hooked.planes[i], plain.planes[i]) << "picture " << i + 1;
}

TEST(ComponentHooks, AnOddSizedClipReachesTheHandlerAtFullSize) {
    RecordingComponent c;
    const std::string dir = testsupport::ScratchDir("odd");
    ASSERT_EQ(
        addLossless(c, testmedia::Path("odd_321x241"), dir + "/o.avi", true, "pix_fmt=yuv444p"), 0)
        << c.vcl.LastErrorMessage();
    std::atomic<int> calls{0}, wrongSize{0};
    c.vcl.SetOnCustomHook([&](void*, PHookInfo info) {
        ++calls;
        wrongSize += info->Bitmap->Width() != 321 || info->Bitmap->Height() != 241;
        PaintSquare(*info->Bitmap, 311, 231, 10, 255, 255, 255);
    });
    c.vcl.StartTask(1);
    ASSERT_TRUE(c.WaitForBatchEnd());
    ASSERT_TRUE(c.Terminates().at(0).info.Finished) << c.Terminates().at(0).info.ErrorMessage;
    EXPECT_EQ(calls.load(), 50);
    EXPECT_EQ(wrongSize.load(), 0);
    const Luma luma = LumaPlanes(dir + "/o.avi");
    ASSERT_EQ(luma.width, 321);
    ASSERT_EQ(luma.planes.size(), 50u);
    for (const auto& plane : luma.planes) EXPECT_GE(MeanIn(plane, 321, 311, 231, 10, 10), 230);
}

namespace {

// A preview window that records what it shows; `Show` hands over to the UI thread as a real
// window does, and may act there.
struct RecordingWindow : IPreviewWindow {
    bool Show(const TPreviewInfo& info) override {
        mainthread::Invoke([&] {
            ++shown;
            lastFrame = info.FrameNumber;
            if (onUi) onUi();
        });
        return !closedByUser.load();
    }
    void Close() override { ++closes; }
    std::atomic<int> shown{0}, closes{0}, lastFrame{0};
    std::atomic<bool> closedByUser{false};
    std::function<void()> onUi;
};

}  // namespace

TEST(ComponentPreviews, SnapshotsAreAtLeastAnIntervalApartAndTakePrecedenceOverTheWindow) {
    RecordingComponent c;
    const std::string dir = testsupport::ScratchDir("snapshots");
    std::atomic<int> windows{0};
    c.vcl.SetPreviewWindowFactory([&] {
        ++windows;
        return std::make_shared<RecordingWindow>();
    });
    c.vcl.SetPreview(true);
    c.vcl.SetPreviewBitmap(true);
    ASSERT_EQ(c.Add(testmedia::Path("clip10s"), dir + "/o.mp4", "vcodec=libx264\nacodec=aac"), 0)
        << c.vcl.LastErrorMessage();
    std::vector<Clock::time_point> when;
    std::vector<TPreviewInfo> infos;
    c.vcl.SetOnPreviewBitmap([&](void*, const TPreviewInfo& info) {
        EXPECT_TRUE(mainthread::IsUiThread());
        when.push_back(Clock::now());
        infos.push_back(info);
        EXPECT_EQ(info.Bitmap->Width(), 320);
        EXPECT_EQ(info.Bitmap->Height(), 240);
    });
    c.vcl.StartTask(1);
    ASSERT_TRUE(c.WaitForBatchEnd());
    ASSERT_TRUE(c.Terminates().at(0).info.Finished);
    EXPECT_EQ(windows.load(), 0);
    ASSERT_GE(infos.size(), 2u);
    for (size_t i = 1; i < infos.size(); ++i) {
        EXPECT_GE(when[i] - when[i - 1], std::chrono::milliseconds(100)) << i;
        EXPECT_GT(infos[i].FrameNumber, infos[i - 1].FrameNumber);
        EXPECT_GT(infos[i].PTS, infos[i - 1].PTS);
    }
    for (const TPreviewInfo& info : infos) {
        EXPECT_EQ(info.TaskIndex, 0);
        // The encoded picture's time: a whole number of 40 ms frames within the clip.
        EXPECT_EQ(info.PTS % 40000, 0);
        EXPECT_LT(info.PTS, 10000000);
    }
}

TEST(ComponentPreviews, ClosingTheWindowEndsThePreviewsAndTheConversionGoesOn) {
    RecordingComponent c;
    const std::string dir = testsupport::ScratchDir("window");
    auto window = std::make_shared<RecordingWindow>();
    std::atomic<int> made{0};
    c.vcl.SetPreviewWindowFactory([&] {
        ++made;
        return window;
    });
    c.vcl.SetPreviewBitmap(true);  // no snapshot handler: the window shows them
    c.vcl.SetPreview(true);
    ASSERT_EQ(c.Add(testmedia::Path("clip10s"), dir + "/o.mp4", "vcodec=libx264\nacodec=aac"), 0);
    c.vcl.Task(0)->FrameHooks().SetPreviewInterval(-1);  // every picture, to close it early
    window->onUi = [&] {
        if (window->shown.load() == 3) window->closedByUser = true;
    };
    c.vcl.StartTask(1);
    ASSERT_TRUE(c.WaitForBatchEnd());
    ASSERT_TRUE(c.Terminates().at(0).info.Finished) << c.Terminates().at(0).info.ErrorMessage;
    EXPECT_EQ(made.load(), 1);
    EXPECT_EQ(window->shown.load(), 3);
    EXPECT_GE(window->closes.load(), 1);
    EXPECT_EQ(testsupport::FfprobeJson(dir + "/o.mp4")["streams"].toArray().size(), 2);
}

TEST(ComponentPreviews, SwitchingPreviewFiftyTimesDuringAConversionNeverDeadlocks) {
    RecordingComponent c;
    const std::string dir = testsupport::ScratchDir("toggle");
    std::mutex mutex;
    std::vector<std::shared_ptr<RecordingWindow>> windows;
    // UI thread: switched on at once, off again once a picture was shown since.
    int toggles = 0, shows = 0, showsWhenOn = 0;
    auto toggle = [&] {
        if (toggles >= 50) return;
        if (!c.vcl.Preview()) {
            c.vcl.SetPreview(true);
            showsWhenOn = shows;
            ++toggles;
        } else if (shows > showsWhenOn) {
            c.vcl.SetPreview(false);
            ++toggles;
        }
    };
    c.vcl.SetPreviewWindowFactory([&] {
        auto w = std::make_shared<RecordingWindow>();
        w->onUi = [&] {
            ++shows;
            toggle();  // switched off while the worker waits for this very window
        };
        std::lock_guard<std::mutex> lk(mutex);
        windows.push_back(w);
        return w;
    });
    ASSERT_EQ(c.Add(testmedia::Path("clip10s"), dir + "/o.mp4", "vcodec=libx264\nacodec=aac"), 0);
    c.vcl.Task(0)->FrameHooks().SetPreviewInterval(-1);
    c.vcl.SetOnProgress([&](void*, PProgressInfo) { toggle(); });
    c.vcl.SetProgressInterval(100);
    c.vcl.StartTask(1);
    // The UI thread switches too while it waits, between the worker's hand-overs.
    const auto until = Clock::now() + std::chrono::seconds(120);
    mainthread::WaitPumping(
        [&] {
            toggle();
            return c.batchEnds.load() > 0 || Clock::now() > until;
        },
        std::chrono::milliseconds(1));
    ASSERT_EQ(c.batchEnds.load(), 1) << "the batch did not end";
    ASSERT_TRUE(c.Terminates().at(0).info.Finished) << c.Terminates().at(0).info.ErrorMessage;
    EXPECT_EQ(toggles, 50);
    std::lock_guard<std::mutex> lk(mutex);
    EXPECT_GE(windows.size(), 2u);
    int shown = 0;
    for (const auto& w : windows) {
        shown += w->shown.load();
        EXPECT_GE(w->closes.load(), 1) << "every window is closed in the end";
    }
    EXPECT_GE(shown, 2);
}
