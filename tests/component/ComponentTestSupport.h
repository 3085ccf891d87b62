// Helpers for the engine component tests: a component with recorded events.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestMedia.h"
#include "TestSupport.h"
#include "engine/FFmpegVCL.h"
#include "engine/MainThread.h"

// Runs main-thread calls for `d`.
inline void PumpFor(std::chrono::milliseconds d) {
    const auto until = std::chrono::steady_clock::now() + d;
    mainthread::WaitPumping([&] { return std::chrono::steady_clock::now() >= until; },
                            std::chrono::milliseconds(1));
}

struct RecordedTerminate {
    TTerminateInfo info;
    bool onUiThread = false;
};

class RecordingComponent {
public:
    RecordingComponent() {
        mainthread::SetUiThread();
        testsupport::LoadLibrariesOrFail();
        vcl.SetOnTerminate([this](void*, const TTerminateInfo& info) {
            std::lock_guard<std::mutex> lk(mutex);
            terminates.push_back({info, mainthread::IsUiThread()});
            if (info.TaskIndex == -1) ++batchEnds;
            if (onTerminate) onTerminate(info);
        });
        vcl.SetOnProgress([this](void*, PProgressInfo p) {
            std::lock_guard<std::mutex> lk(mutex);
            progress.push_back(*p);
        });
    }
    // Adds a conversion of `source` into `out` with engine options given as name=value lines.
    int Add(const std::string& source, const std::string& out, const std::string& ext = {}) {
        const int index = vcl.AddTask(QString::fromStdString(source));
        if (index < 0) return index;
        TOutputOptions o;
        o.ExtOptions = ext;
        if (!vcl.SetOutputFile(index, QString::fromStdString(out), &o)) return -1;
        return index;
    }
    // Adds `count` conversions of the 10 s clip to MPEG-4 and MP3 in AVI, dir/<prefix>0.avi …;
    // fails unless they are the next tasks in order.
    ::testing::AssertionResult AddLong(const std::string& dir, int count,
                                       const char* prefix = "o") {
        const int first = vcl.TaskCount();
        for (int i = 0; i < count; ++i) {
            const std::string out = dir + "/" + prefix + std::to_string(i) + ".avi";
            const int index =
                Add(testmedia::Path("clip10s"), out, "vcodec=mpeg4\nacodec=libmp3lame");
            if (index != first + i)
                return ::testing::AssertionFailure() << out << " added as task " << index;
        }
        return ::testing::AssertionSuccess();
    }
    // Waits (running main-thread calls) until `count` end-of-batch events arrived.
    bool WaitForBatchEnd(std::chrono::seconds limit = std::chrono::seconds(120), int count = 1) {
        const auto until = std::chrono::steady_clock::now() + limit;
        mainthread::WaitPumping([&] {
            return batchEnds.load() >= count || std::chrono::steady_clock::now() > until;
        });
        return batchEnds.load() >= count;
    }
    std::vector<RecordedTerminate> Terminates() {
        std::lock_guard<std::mutex> lk(mutex);
        return terminates;
    }

    std::mutex mutex;
    std::vector<RecordedTerminate> terminates;
    std::vector<TProgressInfo> progress;
    std::atomic<int> batchEnds{0};
    std::function<void(const TTerminateInfo&)> onTerminate;
    // Last, so that it is destroyed first: its delivery thread may still be in a handler that
    // writes the records above.
    TFFmpegVCL vcl;
};
