#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "engine/MainThread.h"
#include "medialib/FFmpegLoader.h"

// A worker that holds the codec lock and waits for the UI thread must not deadlock a UI thread
// that is waiting for the codec lock: the UI side keeps running queued calls while it waits.
TEST(CodecLock, UiThreadWaitKeepsServingWorkers) {
    mainthread::SetUiThread();
    std::atomic<bool> holding{false};
    std::atomic<int> uiCalls{0};
    std::thread worker([&] {
        CodecLockGuard guard;
        holding = true;
        for (int i = 0; i < 20; ++i) {
            mainthread::Invoke([&] {
                EXPECT_TRUE(mainthread::IsUiThread());
                ++uiCalls;
            });
        }
    });
    while (!holding) std::this_thread::yield();
    {
        CodecLockGuard guard;  // blocks until the worker released it
        EXPECT_EQ(uiCalls.load(), 20);
    }
    worker.join();
}

TEST(CodecLock, WorkersExcludeEachOther) {
    int inside = 0;
    int maxInside = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 1000; ++i) {
                CodecLockGuard guard;
                maxInside = std::max(maxInside, ++inside);
                --inside;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(maxInside, 1);
}
