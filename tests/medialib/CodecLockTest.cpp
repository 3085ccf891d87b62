#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

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
    // Each worker announces itself, takes the lock, and stays inside until every worker has
    // announced itself, then gives the processor away a while longer: with a lock that excludes
    // nothing, whoever enters second finds another still inside; with a working one, the others
    // wait at the lock meanwhile.
    constexpr int kWorkers = 4;
    std::atomic<int> arrived{0}, inside{0}, maxInside{0};
    std::atomic<bool> timedOut{false};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::vector<std::thread> threads;
    for (int t = 0; t < kWorkers; ++t) {
        threads.emplace_back([&] {
            ++arrived;
            CodecLockGuard guard;
            const int now = ++inside;
            for (int seen = maxInside; now > seen && !maxInside.compare_exchange_weak(seen, now);) {
            }
            while (arrived < kWorkers && !timedOut) {
                if (std::chrono::steady_clock::now() > deadline) timedOut = true;
                std::this_thread::yield();
            }
            for (int i = 0; i < 100; ++i) std::this_thread::yield();
            --inside;
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_FALSE(timedOut) << "not every worker reached the lock";
    EXPECT_EQ(maxInside, 1);
}
