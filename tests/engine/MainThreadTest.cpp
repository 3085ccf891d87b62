#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "engine/MainThread.h"

namespace {

class Dispatcher : public ::testing::Test {
protected:
    void SetUp() override {
        mainthread::SetUiThread();
        mainthread::Drain();
    }
};

}  // namespace

TEST_F(Dispatcher, InvokeRunsOnTheUiThreadAndWaits) {
    std::thread::id ranOn;
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        mainthread::Invoke([&] { ranOn = std::this_thread::get_id(); });
        returned = true;
    });
    mainthread::WaitPumping([&] { return returned.load(); });
    worker.join();
    EXPECT_EQ(ranOn, std::this_thread::get_id());

    // On the UI thread itself the call runs inline.
    bool inlineRan = false;
    mainthread::Invoke([&] { inlineRan = true; });
    EXPECT_TRUE(inlineRan);
    EXPECT_EQ(mainthread::Pending(), 0);
}

TEST_F(Dispatcher, ExceptionInAnInvokedCallReachesTheCaller) {
    std::string caught;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        try {
            mainthread::Invoke([] { throw std::runtime_error("handler failed"); });
        } catch (const std::runtime_error& e) {
            caught = e.what();
        }
        done = true;
    });
    mainthread::WaitPumping([&] { return done.load(); });
    worker.join();
    EXPECT_EQ(caught, "handler failed");
}

TEST_F(Dispatcher, PostedCallsRunInOrderAndABadOneDoesNotStopTheQueue) {
    std::vector<int> order;
    std::thread worker([&] {
        for (int i = 0; i < 5; ++i) {
            mainthread::Post([&order, i] {
                order.push_back(i);
                if (i == 2) throw std::runtime_error("posted call failed");
            });
        }
    });
    worker.join();  // Post never waits for the UI thread
    EXPECT_EQ(mainthread::Pending(), 5);
    EXPECT_EQ(mainthread::Drain(), 5);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST_F(Dispatcher, DrainOffTheUiThreadDoesNothing) {
    mainthread::Post([] {});
    int ran = -1;
    std::thread other([&] { ran = mainthread::Drain(); });
    other.join();
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(mainthread::Drain(), 1);
}

TEST_F(Dispatcher, ManyWorkersInvokingAtOnceAreAllServedExactlyOnce) {
    constexpr int kThreads = 8;
    constexpr int kCalls = 1000;
    int counter = 0;  // touched only on the UI thread
    std::atomic<int> finished{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([&] {
            for (int i = 0; i < kCalls; ++i) mainthread::Invoke([&] { ++counter; });
            ++finished;
            mainthread::Wake();
        });
    }
    mainthread::WaitPumping([&] { return finished.load() == kThreads; });
    for (auto& w : workers) w.join();
    EXPECT_EQ(counter, kThreads * kCalls);
}

TEST_F(Dispatcher, WakeEndsAWaitStepEarly) {
    std::atomic<bool> flag{false};
    std::thread worker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        flag = true;
        mainthread::Wake();
    });
    const auto start = std::chrono::steady_clock::now();
    mainthread::WaitPumping([&] { return flag.load(); }, std::chrono::seconds(30));
    worker.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST_F(Dispatcher, WakeupHookIsCalledForEveryQueuedCall) {
    std::atomic<int> wakeups{0};
    mainthread::SetWakeup([&] { ++wakeups; });
    std::thread worker([] {
        mainthread::Post([] {});
        mainthread::Post([] {});
    });
    worker.join();
    mainthread::SetWakeup(nullptr);
    EXPECT_EQ(wakeups.load(), 2);
    EXPECT_EQ(mainthread::Drain(), 2);
}
