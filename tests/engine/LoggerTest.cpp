#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "engine/FFmpegLogger.h"
#include "engine/MainThread.h"
#include "medialib/LibAV.h"

namespace {

struct Line {
    uint32_t thread;
    TLogLevel level;
    std::string text;
    bool onUiThread;
};

const char* fakeItemName(void*) { return "fake"; }
AVClass makeFakeClass() {
    AVClass c{};
    c.class_name = "fake";
    c.item_name = &fakeItemName;
    c.version = LIBAVUTIL_VERSION_INT;
    return c;
}
const AVClass kFakeClass = makeFakeClass();
struct FakeContext {
    const AVClass* cls = &kFakeClass;
};

// Binds the libraries (which installs the relay) and collects delivered lines.
class LogRelay : public ::testing::Test {
protected:
    void SetUp() override {
        mainthread::SetUiThread();
        testsupport::LoadLibrariesOrFail();
        logger = GetLogger();
        logger->SetLogLevel(llInfo);
        logger->SetOnLog([this](void*, uint32_t tid, TLogLevel level, const std::string& msg) {
            std::lock_guard<std::mutex> lk(mutex);
            lines.push_back({tid, level, msg, mainthread::IsUiThread()});
        });
    }
    std::vector<Line> take() {
        TFFLogger::Flush();
        std::lock_guard<std::mutex> lk(mutex);
        return std::exchange(lines, {});
    }

    TFFLogger* logger = nullptr;
    std::mutex mutex;
    std::vector<Line> lines;
};

}  // namespace

TEST(LogLevels, TableRoundTripsAndLibraryLevelsMapByEights) {
    for (int l = llQuiet; l <= llDebug; ++l) {
        const auto level = static_cast<TLogLevel>(l);
        EXPECT_EQ(LibraryToLogLevel(LogLevelToLibrary(level)), level);
    }
    EXPECT_EQ(LogLevelToLibrary(llQuiet), -8);
    EXPECT_EQ(LogLevelToLibrary(llWarning), 24);
    EXPECT_EQ(LogLevelToLibrary(llDebug), 48);
    EXPECT_EQ(LibraryToLogLevel(-100), llQuiet);
    EXPECT_EQ(LibraryToLogLevel(-7), llPanic);
    EXPECT_EQ(LibraryToLogLevel(7), llPanic);
    EXPECT_EQ(LibraryToLogLevel(8), llFatal);
    EXPECT_EQ(LibraryToLogLevel(20), llError);
    EXPECT_EQ(LibraryToLogLevel(47), llVerbose);
    EXPECT_EQ(LibraryToLogLevel(AV_LOG_TRACE), llDebug);
}

TEST_F(LogRelay, SecondLoggerIsRefusedWithTheExactText) {
    try {
        TFFLogger second;
        FAIL() << "a second logger was created";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Allow creating only one instance of TFFLogger.");
    }
    EXPECT_EQ(CurrentLogger(), logger);
}

TEST_F(LogRelay, LevelByNameAndThreshold) {
    logger->SetLogLevelByName("DEBUG");
    EXPECT_EQ(logger->LogLevel(), llDebug);
    logger->SetLogLevelByName("20");
    EXPECT_EQ(logger->LogLevel(), llError);
    EXPECT_THROW(logger->SetLogLevelByName("loud"), std::invalid_argument);
    EXPECT_EQ(logger->LogLevel(), llError);

    logger->SetLogLevel(llWarning);
    EXPECT_EQ(LibraryLevel(), 24);
    EXPECT_EQ(lav::av_log_get_level(), 24);
    lav::av_log(nullptr, AV_LOG_INFO, "info line\n");
    lav::av_log(nullptr, AV_LOG_WARNING, "warning line\n");
    logger->LogMessage(nullptr, llVerbose, "engine verbose");  // the verbose exception
    logger->LogMessage(nullptr, llDebug, "engine debug");
    auto got = take();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].text, "warning line");
    EXPECT_EQ(got[0].level, llWarning);
    EXPECT_EQ(got[1].text, "engine verbose");

    logger->SetLogLevel(llQuiet);
    logger->LogMessage(nullptr, llVerbose, "not delivered");
    EXPECT_TRUE(take().empty());
}

TEST_F(LogRelay, PartialLinesJoinWithOnePrefixAndSplitAtLineFeeds) {
    FakeContext ctx;
    lav::av_log(&ctx, AV_LOG_ERROR, "abc");
    EXPECT_TRUE(take().empty());  // waits for its line feed
    lav::av_log(&ctx, AV_LOG_ERROR, "def\n");
    lav::av_log(nullptr, AV_LOG_ERROR, "one\ntwo\nthr");
    lav::av_log(nullptr, AV_LOG_ERROR, "ee\n");
    auto got = take();
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].text, Format("[fake @ %p]abcdef", static_cast<void*>(&ctx)));
    EXPECT_EQ(got[1].text, "one");
    EXPECT_EQ(got[2].text, "two");
    EXPECT_EQ(got[3].text, "three");
    EXPECT_EQ(got[0].thread, CurrentThreadNumber());
    EXPECT_EQ(got[0].level, llError);
}

TEST_F(LogRelay, ColourBitsAreMaskedAndANullClassIsGuarded) {
    struct NoClass {
        const AVClass* cls = nullptr;
    } bare;
    lav::av_log(&bare, AV_LOG_ERROR | (3 << 8), "masked\n");
    auto got = take();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].text, "masked");
    EXPECT_EQ(got[0].level, llError);
}

TEST_F(LogRelay, LongLinesArriveIntact) {
    const std::string big(10 * 1024, 'x');
    lav::av_log(nullptr, AV_LOG_ERROR, "%s|end\n", big.c_str());
    auto got = take();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].text, big + "|end");
}

TEST_F(LogRelay, LinesFromManyThreadsArriveOnceWholeOnTheUiThread) {
    constexpr int kThreads = 8;
    constexpr int kLines = 2000;
    std::vector<uint32_t> tids(kThreads);
    std::vector<std::thread> workers;
    std::atomic<int> finished{0};
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([&, t] {
            tids[t] = CurrentThreadNumber();
            for (int i = 0; i < kLines; ++i) {
                // Each line in two pieces, so other threads' text falls in between.
                lav::av_log(nullptr, AV_LOG_WARNING, "t%d ", t);
                lav::av_log(nullptr, AV_LOG_WARNING, "line %d end\n", i);
            }
            ++finished;
        });
    }
    // Logging threads never wait for the UI thread: they all finish before it runs anything.
    for (auto& w : workers) w.join();
    auto got = take();
    ASSERT_EQ(got.size(), static_cast<size_t>(kThreads * kLines));
    std::map<uint32_t, int> nextLine;
    for (const Line& line : got) {
        EXPECT_TRUE(line.onUiThread);
        int t = -1, i = -1;
        ASSERT_EQ(std::sscanf(line.text.c_str(), "t%d line %d end", &t, &i), 2) << line.text;
        ASSERT_TRUE(t >= 0 && t < kThreads);
        EXPECT_EQ(line.text, Format("t%d line %d end", t, i));
        EXPECT_EQ(line.thread, tids[t]);
        EXPECT_EQ(nextLine[line.thread]++, i);  // in order, none lost, none doubled
    }
    for (uint32_t tid : tids) EXPECT_EQ(nextLine[tid], kLines);
}

TEST_F(LogRelay, DirectDeliveryWhenNotTriggeredInMainThread) {
    logger->SetTriggerEventInMainThread(false);
    std::thread worker([] { lav::av_log(nullptr, AV_LOG_ERROR, "direct\n"); });
    worker.join();
    std::vector<Line> got;
    {
        std::lock_guard<std::mutex> lk(mutex);
        got = lines;  // no dispatcher run needed
    }
    ASSERT_EQ(got.size(), 1u);
    EXPECT_FALSE(got[0].onUiThread);
    logger->SetTriggerEventInMainThread(true);
}

TEST_F(LogRelay, FreeingTheLoggerRestoresTheLibraryCallback) {
    std::thread worker([] { lav::av_log(nullptr, AV_LOG_ERROR, "queued before the end\n"); });
    worker.join();
    delete logger;  // a posted line must not reach a freed logger
    EXPECT_EQ(CurrentLogger(), nullptr);
    mainthread::Drain();
    EXPECT_TRUE(lines.empty());
    // A new logger that was never installed does not receive library lines.
    TFFLogger fresh;
    bool received = false;
    fresh.SetOnLog([&](void*, uint32_t, TLogLevel, const std::string&) { received = true; });
    lav::av_log(nullptr, AV_LOG_PANIC, "to the default output\n");
    mainthread::Drain();
    EXPECT_FALSE(received);
}
