#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <thread>

#include <gtest/gtest.h>
#include <malloc.h>
#include <sched.h>
#include <unistd.h>

#include "ComponentTestSupport.h"

namespace fs = std::filesystem;

TEST(Component, SynchronousBatchRunsEverythingInsideTheCall) {
    RecordingComponent c;
    const std::string dir = testsupport::ScratchDir("sync");
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(c.Add(testmedia::Path("avi_mpeg4_mp3"), dir + "/o" + std::to_string(i) + ".mkv",
                        "vcodec=mpeg4\nacodec=libmp3lame"),
                  i)
            << c.vcl.LastErrorMessage();
    std::vector<int> order;
    c.onTerminate = [&](const TTerminateInfo& info) { order.push_back(info.TaskIndex); };
    c.vcl.StartTask(0);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, -1}));
    for (const auto& t : c.Terminates()) {
        EXPECT_TRUE(t.onUiThread);
        EXPECT_TRUE(t.info.Finished) << t.info.ErrorMessage;
        EXPECT_FALSE(t.info.HasError);
    }
    EXPECT_TRUE(c.vcl.AllDone());
    EXPECT_THROW(c.vcl.AddTask("x"), std::logic_error);
    c.vcl.ClearTasks();
    EXPECT_EQ(c.vcl.TaskCount(), 0);
    for (int i = 0; i < 3; ++i) EXPECT_GT(fs::file_size(dir + "/o" + std::to_string(i) + ".mkv"), 10000u);
}

TEST(Component, ThreadedBatchWithThreeAtOnce) {
    RecordingComponent c;
    const std::string dir = testsupport::ScratchDir("threads");
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(c.Add(testmedia::Path("mp4_h264_aac"), dir + "/o" + std::to_string(i) + ".mp4"), i)
            << c.vcl.LastErrorMessage();
    std::atomic<bool> cleared{false};
    c.onTerminate = [&](const TTerminateInfo& info) {
        if (info.TaskIndex == -1) {
            c.vcl.ClearTasks();
            cleared = true;
        }
    };
    c.vcl.StartTask(3);
    ASSERT_TRUE(c.WaitForBatchEnd());
    // The clear asked for on the delivery thread runs on this (the UI) thread.
    mainthread::WaitPumping([&] { return cleared.load() && c.vcl.TaskCount() == 0; });
    auto t = c.Terminates();
    ASSERT_EQ(t.size(), 6u);
    std::vector<int> seen;
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_TRUE(t[i].info.Finished) << t[i].info.ErrorMessage;
        seen.push_back(t[i].info.TaskIndex);
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(t[5].info.TaskIndex, -1);
    EXPECT_TRUE(t[5].info.Finished);
    EXPECT_FALSE(t[5].info.HasError);
    EXPECT_TRUE(cleared.load());
    EXPECT_EQ(c.vcl.TaskCount(), 0);
}

namespace {

std::vector<std::string> threadNames() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator("/proc/self/task")) {
        std::string name = testsupport::ReadFile(e.path().string() + "/comm");
        if (!name.empty() && name.back() == '\n') name.pop_back();
        names.push_back(name);
    }
    return names;
}

bool isEngineThread(const std::string& name) {
    return name.rfind("task-", 0) == 0 || name == "terminate";
}

// Seconds on a processor so far of the engine's own threads (workers, the codec threads they
// start, which take their name, and the delivery thread), by thread id; with `only`, of the
// threads of that name.
std::map<std::string, double> engineCpuSeconds(const std::string& only = {}) {
    std::map<std::string, double> seconds;
    for (const auto& e : fs::directory_iterator("/proc/self/task")) {
        std::string name = testsupport::ReadFile(e.path().string() + "/comm");
        if (!name.empty() && name.back() == '\n') name.pop_back();
        if (!isEngineThread(name) || (!only.empty() && name != only)) continue;
        // The first field of schedstat: nanoseconds spent running.
        const std::string stat = testsupport::ReadFile(e.path().string() + "/schedstat");
        seconds[e.path().filename().string()] = std::strtod(stat.c_str(), nullptr) / 1e9;
    }
    return seconds;
}

// How long a thread with this id has been waiting in the kernel for a lock or condition.
bool waitsOnALock(const std::string& tid) {
    const std::string where = testsupport::ReadFile("/proc/self/task/" + tid + "/wchan");
    return where.find("futex") != std::string::npos;
}

}  // namespace

TEST(Component, RefusalsAndProperties) {
    RecordingComponent c;
    c.vcl.SetProgressInterval(50);
    EXPECT_EQ(c.vcl.ProgressInterval(), 100);
    EXPECT_EQ(TFFmpegVCL::Version(), "3.3");
    EXPECT_EQ(c.vcl.AddTask(QString::fromStdString(testmedia::Path("empty"))), -1);
    EXPECT_EQ(c.vcl.LastErrorMessage(),
              testmedia::Path("empty") + ": Invalid data found when processing input");
    EXPECT_EQ(c.vcl.TaskCount(), 0);
    EXPECT_FALSE(c.vcl.SetOutputFile(3, "x.avi"));
    EXPECT_EQ(c.vcl.InputContext(0, 0), nullptr);

    const std::string dir = testsupport::ScratchDir("refusals");
    ASSERT_EQ(c.Add(testmedia::Path("clip10s"), dir + "/a.avi", "vcodec=mpeg4\nacodec=libmp3lame"), 0);
    ASSERT_NE(c.vcl.InputContext(0, 0), nullptr);
    EXPECT_NEAR(static_cast<double>(c.vcl.InputContext(0, 0)->duration), 10e6, 1e5);
    c.vcl.StartTask(1);
    try {
        c.vcl.ClearTasks();
        FAIL() << "ClearTasks during a batch";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Cannot ClearTasks while working.");
    }
    try {
        c.vcl.AddTask("x");
        FAIL() << "AddTask during a batch";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Cannot AddTask while working.");
    }
    ASSERT_TRUE(c.WaitForBatchEnd());
    EXPECT_THROW(c.vcl.StartTask(1), std::logic_error);  // still refused until cleared
    EXPECT_THROW(c.vcl.AddTask("x"), std::logic_error);
    c.vcl.ClearTasks();
    EXPECT_NO_THROW(c.vcl.StartTask(2));  // an empty batch ends at once
    EXPECT_TRUE(c.vcl.AllDone());
    ASSERT_TRUE(c.WaitForBatchEnd(std::chrono::seconds(30), 2));
    EXPECT_EQ(c.batchEnds.load(), 2);
    c.vcl.ClearTasks();
}

TEST(Component, ThreeAtOnceStartTogether) {
    RecordingComponent c;
    c.vcl.SetProgressInterval(100);
    const std::string dir = testsupport::ScratchDir("three");
    ASSERT_TRUE(c.AddLong(dir, 5));
    std::vector<std::string> namesWhileRunning;
    std::vector<int> progressBeforeFirstEnd;
    c.vcl.SetOnProgress([&](void*, PProgressInfo p) {
        EXPECT_TRUE(mainthread::IsUiThread());
        if (namesWhileRunning.empty()) namesWhileRunning = threadNames();
        if (c.Terminates().empty()) progressBeforeFirstEnd.push_back(p->TaskIndex);
    });
    c.vcl.StartTask(3);
    ASSERT_TRUE(c.WaitForBatchEnd());
    std::sort(progressBeforeFirstEnd.begin(), progressBeforeFirstEnd.end());
    progressBeforeFirstEnd.erase(std::unique(progressBeforeFirstEnd.begin(), progressBeforeFirstEnd.end()),
                                 progressBeforeFirstEnd.end());
    EXPECT_EQ(progressBeforeFirstEnd, (std::vector<int>{0, 1, 2}));
    const auto t = c.Terminates();
    ASSERT_EQ(t.size(), 6u);
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(t[static_cast<size_t>(i)].info.Finished);
    EXPECT_EQ(t[5].info.TaskIndex, -1);
    EXPECT_NE(std::find(namesWhileRunning.begin(), namesWhileRunning.end(), "task-0"),
              namesWhileRunning.end());
    const std::vector<std::string> namesAfter = threadNames();
    EXPECT_NE(std::find(namesAfter.begin(), namesAfter.end(), "terminate"), namesAfter.end());
    c.vcl.ClearTasks();
}

TEST(Component, EachEndStartsTheNextWithoutWaitingForTheOthers) {
    // Tasks 1 and 2 are long; 0, 3 and 4 take a moment. With three at once, the end of 0 starts
    // 3 and the end of 3 starts 4, all while 1 and 2 still run; a batch that waited for a whole
    // group (or never refilled a slot) ends them in another order or not at all.
    RecordingComponent c;
    c.vcl.SetProgressInterval(100);
    const std::string dir = testsupport::ScratchDir("refill");
    for (int i = 0; i < 5; ++i) {
        const bool longTask = i == 1 || i == 2;
        ASSERT_EQ(c.Add(testmedia::Path(longTask ? "clip10s" : "wav_pcm"),
                        dir + "/o" + std::to_string(i) + (longTask ? ".avi" : ".wav"),
                        longTask ? "vcodec=mpeg4\nacodec=libmp3lame" : ""),
                  i);
    }
    c.vcl.StartTask(3);
    ASSERT_TRUE(c.WaitForBatchEnd());
    std::vector<int> order;
    for (const auto& t : c.Terminates()) {
        order.push_back(t.info.TaskIndex);
        EXPECT_TRUE(t.info.Finished) << t.info.ErrorMessage;
    }
    ASSERT_EQ(order.size(), 6u);
    EXPECT_EQ(std::vector<int>(order.begin(), order.begin() + 3), (std::vector<int>{0, 3, 4}));
    EXPECT_EQ(std::min(order[3], order[4]), 1);
    EXPECT_EQ(std::max(order[3], order[4]), 2);
    EXPECT_EQ(order[5], -1);
    c.vcl.ClearTasks();
}

TEST(Component, FailingHandlersDoNotEndTheConversions) {
    RecordingComponent c;
    c.vcl.SetProgressInterval(100);
    const std::string dir = testsupport::ScratchDir("handlers");
    ASSERT_TRUE(c.AddLong(dir, 2));
    c.vcl.SetOnProgress([](void*, PProgressInfo) { throw std::runtime_error("progress handler"); });
    c.onTerminate = [](const TTerminateInfo& info) {
        if (info.TaskIndex == 0) throw std::runtime_error("terminate handler");
    };
    c.vcl.StartTask(2);
    ASSERT_TRUE(c.WaitForBatchEnd());
    const auto t = c.Terminates();
    ASSERT_EQ(t.size(), 3u);
    for (size_t i = 0; i < 2; ++i) EXPECT_TRUE(t[i].info.Finished) << t[i].info.ErrorMessage;
    c.vcl.ClearTasks();
}

TEST(Component, IdlePriorityWorkersOnlyUseSpareTime) {
    RecordingComponent c;
    c.vcl.SetProgressInterval(100);
    c.vcl.SetThreadPriority(tpIdle);
    const std::string dir = testsupport::ScratchDir("idle");
    ASSERT_EQ(c.Add(testmedia::Path("clip10s"), dir + "/o.avi", "vcodec=mpeg4\nacodec=libmp3lame"),
              0);
    int policy = -1;
    c.vcl.SetOnProgress([&](void*, PProgressInfo) {
        if (policy != -1) return;
        for (const auto& e : fs::directory_iterator("/proc/self/task")) {
            std::string name = testsupport::ReadFile(e.path().string() + "/comm");
            if (name.rfind("task-0", 0) == 0)
                policy = ::sched_getscheduler(std::stoi(e.path().filename().string()));
        }
    });
    c.vcl.StartTask(1);
    ASSERT_TRUE(c.WaitForBatchEnd());
    EXPECT_EQ(policy, SCHED_IDLE);
    c.vcl.ClearTasks();
}

TEST(Component, StopWhileWorkersWaitForTheUiThread) {
    RecordingComponent c;
    c.vcl.SetProgressInterval(100);
    const std::string dir = testsupport::ScratchDir("stop");
    ASSERT_TRUE(c.AddLong(dir, 4));
    c.vcl.StartTask(2);
    // Nothing runs main-thread calls here: one worker soon waits in its progress hand-off to this
    // thread, the other behind it for the progress lock. Wait until both are seen waiting.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int steady = 0;
    while (steady < 3 && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        int waiting = 0, workers = 0;
        for (const auto& e : fs::directory_iterator("/proc/self/task")) {
            const std::string name = testsupport::ReadFile(e.path().string() + "/comm");
            if (name.rfind("task-", 0) != 0) continue;
            ++workers;
            waiting += waitsOnALock(e.path().filename().string()) ? 1 : 0;
        }
        const bool blocked = mainthread::Pending() >= 1 && workers >= 2 && waiting == workers;
        steady = blocked ? steady + 1 : 0;
    }
    ASSERT_EQ(steady, 3) << "the workers never both waited for this thread";
    c.vcl.Stop(true);
    ASSERT_TRUE(c.WaitForBatchEnd(std::chrono::seconds(30)));
    const auto t = c.Terminates();
    ASSERT_EQ(t.size(), 5u);
    int unstarted = 0;
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_FALSE(t[i].info.Finished);
        EXPECT_FALSE(t[i].info.HasError) << t[i].info.ErrorMessage;
        if (t[i].info.TaskIndex >= 2) ++unstarted;
    }
    EXPECT_EQ(unstarted, 2);
    EXPECT_EQ(t[4].info.TaskIndex, -1);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(c.vcl.Task(i)->OpenCodecCount(), 0);
    c.vcl.ClearTasks();
}

// The one file in `dir`: while a conversion runs, the hidden file it writes into.
static std::string beingWritten(const std::string& dir) {
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(dir)) files.push_back(e.path());
    EXPECT_EQ(files.size(), 1u);
    return files.empty() ? dir : files[0].string();
}

TEST(Component, PausedWorkersRestAndResumeOrStop) {
    for (bool stopWhilePaused : {false, true}) {
        RecordingComponent c;
        c.vcl.SetProgressInterval(100);
        const std::string dir = testsupport::ScratchDir("pause");
        const std::string out = dir + "/o.avi";
        ASSERT_EQ(c.Add(testmedia::Path("clip10s"), out, "vcodec=mpeg4\nacodec=libmp3lame"), 0);
        std::atomic<int> reports{0};
        c.vcl.SetOnProgress([&](void*, PProgressInfo) { ++reports; });
        c.vcl.StartTask(1);
        mainthread::WaitPumping([&] { return reports.load() > 0; });
        c.vcl.Pause();
        // Let the worker reach its next packet boundary, then watch it rest.
        PumpFor(std::chrono::milliseconds(200));
        const int reportsPaused = reports.load();
        const std::string written = beingWritten(dir);
        const auto size = fs::file_size(written);
        const auto before = engineCpuSeconds();
        ASSERT_FALSE(before.empty()) << "no engine thread found";
        std::this_thread::sleep_for(std::chrono::seconds(2));
        mainthread::Drain();
        double used = 0;
        for (const auto& [tid, seconds] : engineCpuSeconds()) {
            const auto then = before.find(tid);
            used += seconds - (then == before.end() ? 0.0 : then->second);
        }
        EXPECT_LT(used, 0.02) << "seconds of CPU over 2 s: at most 1 % of a core";
        EXPECT_EQ(fs::file_size(written), size);
        EXPECT_EQ(reports.load(), reportsPaused);
        if (stopWhilePaused)
            c.vcl.Stop(true);
        else
            c.vcl.Resume();
        ASSERT_TRUE(c.WaitForBatchEnd());
        const auto t = c.Terminates();
        ASSERT_EQ(t.size(), 2u);
        EXPECT_EQ(t[0].info.Finished, !stopWhilePaused);
        EXPECT_FALSE(t[0].info.HasError);
        c.vcl.Resume();
        c.vcl.ClearTasks();
    }
}

TEST(Component, OneTaskPausesOrStopsWhileTheOthersGoOn) {
    RecordingComponent c;
    c.vcl.SetProgressInterval(100);
    const std::string dir = testsupport::ScratchDir("one-task");
    // Read at the pictures' own pace ("re"): each task lasts its 10 s, whatever the machine.
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(c.Add(testmedia::Path("clip10s"), dir + "/o" + std::to_string(i) + ".avi",
                        "vcodec=mpeg4\nacodec=libmp3lame\nre=1"),
                  i);
    std::atomic<int> reports[3] = {0, 0, 0};
    c.vcl.SetOnProgress([&](void*, PProgressInfo p) { ++reports[p->TaskIndex]; });
    c.vcl.StartTask(2);
    mainthread::WaitPumping([&] { return reports[0].load() > 0 && reports[1].load() > 0; });
    ASSERT_TRUE(c.vcl.PauseTask(0));
    PumpFor(std::chrono::milliseconds(200));  // to its next packet boundary
    auto cpu = [](const char* name) {
        double sum = 0;
        for (const auto& [tid, seconds] : engineCpuSeconds(name)) sum += seconds;
        return sum;
    };
    const double paused0 = cpu("task-0");
    const int reports0 = reports[0].load(), reports1 = reports[1].load();
    PumpFor(std::chrono::milliseconds(1500));
    EXPECT_LT(cpu("task-0") - paused0, 0.02) << "the paused task rests";
    EXPECT_EQ(reports[0].load(), reports0);
    EXPECT_GE(reports[1].load() - reports1, 5) << "the other converts on";
    EXPECT_TRUE(c.vcl.TaskPaused(0));
    EXPECT_FALSE(c.vcl.TaskPaused(1));

    // The pending task is stopped before it runs; the paused one is stopped where it is and
    // keeps what it wrote; the third runs to its end in the freed place of neither.
    ASSERT_TRUE(c.vcl.StopTask(2));
    ASSERT_TRUE(c.vcl.StopTask(0));
    EXPECT_FALSE(c.vcl.PauseTask(0)) << "an ended task";
    ASSERT_TRUE(c.WaitForBatchEnd());
    const auto t = c.Terminates();
    ASSERT_EQ(t.size(), 4u);
    std::map<int, TTerminateInfo> ends;
    for (const auto& r : t) ends[r.info.TaskIndex] = r.info;
    EXPECT_EQ(t.back().info.TaskIndex, -1);
    EXPECT_TRUE(ends[1].Finished) << ends[1].ErrorMessage;
    EXPECT_FALSE(ends[0].Finished || ends[0].HasError);
    EXPECT_FALSE(ends[2].Finished || ends[2].HasError);
    EXPECT_EQ(reports[2].load(), 0) << "the stopped pending task never ran";
    EXPECT_FALSE(c.vcl.Task(2)->Ran());
    EXPECT_GT(fs::file_size(dir + "/o0.avi"), 0u) << "the stopped task's file is kept";
    EXPECT_FALSE(fs::exists(dir + "/o2.avi"));
    EXPECT_EQ(c.batchEnds.load(), 1);
    c.vcl.ClearTasks();
}

TEST(Component, StormOfStartsPausesResumesAndStops) {
    const std::string dir = testsupport::ScratchDir("storm");
    std::mt19937 rng(1209);
    for (int round = 0; round < 200; ++round) {
        RecordingComponent c;
        c.vcl.SetProgressInterval(100);
        const int tasks = 2 + static_cast<int>(rng() % 3);
        for (int i = 0; i < tasks; ++i)
            ASSERT_EQ(c.Add(testmedia::Path("wav_pcm"),
                            dir + "/o" + std::to_string(i) + ".wav"),
                      i);
        c.vcl.StartTask(1 + static_cast<int>(rng() % 3));
        for (int step = 0; step < 3; ++step) {
            PumpFor(std::chrono::milliseconds(rng() % 6));
            switch (rng() % 4) {
                case 0: c.vcl.Pause(); break;
                case 1: c.vcl.Resume(); break;
                case 2: c.vcl.Stop(rng() % 2); break;
                default: break;
            }
        }
        c.vcl.Resume();
        ASSERT_TRUE(c.WaitForBatchEnd(std::chrono::seconds(30))) << "round " << round;
        for (int i = 0; i < tasks; ++i)
            EXPECT_EQ(c.vcl.Task(i)->OpenCodecCount(), 0) << "round " << round;
        // Every worker has handed over its last event once the list is cleared; an empty batch
        // then sends its end through the same queue, after anything still in it.
        c.vcl.ClearTasks();
        c.vcl.StartTask(1);
        ASSERT_TRUE(c.WaitForBatchEnd(std::chrono::seconds(30), 2)) << "round " << round;
        c.vcl.ClearTasks();
        auto t = c.Terminates();
        ASSERT_EQ(t.back().info.TaskIndex, -1);
        t.pop_back();  // the empty batch's end
        std::vector<int> seen;
        for (const auto& r : t) seen.push_back(r.info.TaskIndex);
        ASSERT_EQ(t.size(), static_cast<size_t>(tasks) + 1) << "round " << round;
        EXPECT_EQ(seen.back(), -1) << "an event came after the end of the batch";
        seen.pop_back();
        std::sort(seen.begin(), seen.end());
        for (int i = 0; i < tasks; ++i) EXPECT_EQ(seen[static_cast<size_t>(i)], i);
    }
    // Every worker and delivery thread is gone with its component.
    for (const std::string& name : threadNames()) {
        EXPECT_NE(name.rfind("task-", 0), 0u) << name;
        EXPECT_NE(name, "terminate");
    }
}

TEST(Component, PauseStopClearAndANewBatchRunsToItsEnd) {
    RecordingComponent c;
    c.vcl.SetProgressInterval(100);
    const std::string dir = testsupport::ScratchDir("pause-stop");
    ASSERT_TRUE(c.AddLong(dir, 2));
    std::atomic<int> reports{0};
    c.vcl.SetOnProgress([&](void*, PProgressInfo) { ++reports; });
    c.vcl.StartTask(1);
    mainthread::WaitPumping([&] { return reports.load() > 0; });
    c.vcl.Pause();
    c.vcl.Stop(true);
    ASSERT_TRUE(c.WaitForBatchEnd(std::chrono::seconds(30)));
    c.vcl.ClearTasks();
    EXPECT_FALSE(c.vcl.Paused());  // a stop ends the pause
    // The pause must not carry over into the next batch, however it was left.
    c.vcl.Pause();
    ASSERT_EQ(c.Add(testmedia::Path("wav_pcm"), dir + "/next.wav"), 0);
    c.vcl.StartTask(1);
    ASSERT_TRUE(c.WaitForBatchEnd(std::chrono::seconds(30), 2)) << "the new batch hangs";
    const auto t = c.Terminates();
    ASSERT_GE(t.size(), 2u);
    EXPECT_TRUE(t[t.size() - 2].info.Finished) << t[t.size() - 2].info.ErrorMessage;
    c.vcl.ClearTasks();
}

TEST(Component, ClearTasksInTheEndOfBatchHandlerWhileStopReturns) {
    const std::string dir = testsupport::ScratchDir("clear-in-stop");
    // On the calling thread: the end of the batch is raised inside Stop itself (called from the
    // first task's handler), so the clear must wait until Stop is done with the list.
    {
        RecordingComponent c;
        for (int i = 0; i < 3; ++i)
            ASSERT_EQ(c.Add(testmedia::Path("wav_pcm"), dir + "/s" + std::to_string(i) + ".wav"),
                      i);
        std::string error;
        bool clearedInStop = false;
        int batchEnds = 0;
        // The handlers nest (Stop raises the others inside the first): no recording lock here.
        c.vcl.SetOnTerminate([&](void*, const TTerminateInfo& info) {
            if (info.TaskIndex == 0) {
                c.vcl.Stop(true);
                clearedInStop = c.vcl.TaskCount() == 0;
            }
            if (info.TaskIndex == -1) {
                ++batchEnds;
                try {
                    c.vcl.ClearTasks();
                } catch (const std::exception& e) {
                    error = e.what();
                }
            }
        });
        c.vcl.StartTask(0);
        EXPECT_EQ(error, "");
        EXPECT_TRUE(clearedInStop);
        EXPECT_EQ(c.vcl.TaskCount(), 0);
        EXPECT_FALSE(c.vcl.Working());
        EXPECT_EQ(batchEnds, 1);
    }
    // On worker threads: the handler runs on the delivery thread while Stop(true) returns.
    for (int round = 0; round < 3; ++round) {
        RecordingComponent c;
        c.vcl.SetProgressInterval(100);
        ASSERT_TRUE(c.AddLong(dir, 2, "t"));
        std::mutex m;
        std::string error;
        std::atomic<bool> asked{false};
        c.onTerminate = [&](const TTerminateInfo& info) {
            if (info.TaskIndex != -1) return;
            try {
                c.vcl.ClearTasks();
            } catch (const std::exception& e) {
                std::lock_guard<std::mutex> lk(m);
                error = e.what();
            }
            asked = true;
        };
        std::atomic<int> reports{0};
        c.vcl.SetOnProgress([&](void*, PProgressInfo) { ++reports; });
        c.vcl.StartTask(1);
        mainthread::WaitPumping([&] { return reports.load() > 0; });
        c.vcl.Stop(true);
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        mainthread::WaitPumping([&] {
            return (asked.load() && c.vcl.TaskCount() == 0) ||
                   std::chrono::steady_clock::now() > until;
        });
        std::lock_guard<std::mutex> lk(m);
        EXPECT_EQ(error, "") << "round " << round;
        EXPECT_EQ(c.vcl.TaskCount(), 0) << "round " << round;
        EXPECT_FALSE(c.vcl.Working()) << "round " << round;
    }
}

TEST(Component, ClearTasksFromTheDeliveryThreadWhileTheUiReadsTheList) {
    // The UI thread keeps reading the task list while the end-of-batch handler clears it from
    // the delivery thread (run under ThreadSanitizer too).
    const std::string dir = testsupport::ScratchDir("clear-delivery");
    for (int round = 0; round < 10; ++round) {
        RecordingComponent c;
        for (int i = 0; i < 3; ++i)
            ASSERT_EQ(c.Add(testmedia::Path("wav_pcm"), dir + "/o" + std::to_string(i) + ".wav"),
                      i);
        std::atomic<bool> asked{false};
        c.onTerminate = [&](const TTerminateInfo& info) {
            if (info.TaskIndex != -1) return;
            c.vcl.ClearTasks();
            asked = true;
        };
        c.vcl.StartTask(2);
        int64_t reads = 0;  // a long round adds up past an int
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!(asked.load() && c.vcl.TaskCount() == 0) &&
               std::chrono::steady_clock::now() < until) {
            for (int i = 0; i < c.vcl.TaskCount(); ++i) {
                TFFmpeg* task = c.vcl.Task(i);
                ASSERT_NE(task, nullptr);
                reads += task->OutputCount() + static_cast<int>(task->InputFileName(0).size());
            }
            mainthread::Drain();
        }
        EXPECT_GT(reads, 0);
        EXPECT_EQ(c.vcl.TaskCount(), 0) << "round " << round;
        EXPECT_EQ(c.batchEnds.load(), 1);
    }
}

namespace {

// Resident memory in bytes, after giving freed heap pages back to the system.
int64_t residentBytes() {
    ::malloc_trim(0);
    const std::string statm = testsupport::ReadFile("/proc/self/statm");
    long long size = 0, resident = 0;
    std::sscanf(statm.c_str(), "%lld %lld", &size, &resident);
    return resident * ::sysconf(_SC_PAGESIZE);
}

}  // namespace

TEST(Component, FinishedTasksLetGoOfTheirPicturesAndSound) {
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
    // The sanitizers' allocators keep freed memory on purpose (and run 50 720p conversions
    // ten times slower): resident memory says nothing there.
    GTEST_SKIP() << "resident memory is not measurable under a sanitizer";
#endif
    RecordingComponent c;
    const std::string dir = testsupport::ScratchDir("memory");
    const int kTasks = 50;
    // Deinterlacing and scaling (a filter graph), resampling and a sample FIFO per task.
    for (int i = 0; i < kTasks; ++i)
        ASSERT_EQ(c.Add(testmedia::Path("clip720_short"), dir + "/o" + std::to_string(i) + ".avi",
                        "vcodec=mpeg4\nacodec=libmp3lame\nar=44100\ns=640x360\ndeinterlace=1"),
                  i)
            << c.vcl.LastErrorMessage();
    std::atomic<int64_t> afterFirst{0}, afterAll{0};
    c.onTerminate = [&](const TTerminateInfo& info) {
        if (info.TaskIndex == 0) afterFirst = residentBytes();
        if (info.TaskIndex == -1) afterAll = residentBytes();
    };
    c.vcl.StartTask(1);
    ASSERT_TRUE(c.WaitForBatchEnd(std::chrono::seconds(300)));
    for (const auto& t : c.Terminates()) EXPECT_TRUE(t.info.Finished) << t.info.ErrorMessage;
    const double grown = static_cast<double>(afterAll - afterFirst) / (1 << 20);
    std::printf("resident memory: %.1f MB after the first task, %.1f MB after %d tasks\n",
                static_cast<double>(afterFirst) / (1 << 20),
                static_cast<double>(afterAll) / (1 << 20), kTasks);
    EXPECT_LT(grown, 50.0) << "MB kept by finished tasks";
    c.vcl.ClearTasks();
}
