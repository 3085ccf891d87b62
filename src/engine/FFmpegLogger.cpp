#include "FFmpegLogger.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <strings.h>
#include <unordered_map>
#include <vector>

#include "engine/MainThread.h"
#include "medialib/LibAV.h"

void DeliverLine(void* sender, uint32_t threadId, TLogLevel level, std::string line);

namespace {

std::atomic<int> gLibraryLevel{AV_LOG_INFO};

// The single logger. Changed on the UI thread under gInstanceMutex; logging threads read it
// under the same lock. `gGeneration` tells a posted delivery whether its logger still lives.
std::mutex gInstanceMutex;
TFFLogger* gInstance = nullptr;
uint64_t gGeneration = 0;

// Pending text per thread: what a thread logged after its last line feed.
std::mutex gPendingMutex;
std::unordered_map<uint32_t, std::string> gPending;

void relayCallback(void* avcl, int level, const char* fmt, va_list args) {
    // 5.1 ORs colour bits above the low byte into the level.
    if (level >= 0) level &= 0xff;
    if (level > gLibraryLevel.load()) return;
    std::string prefix;
    if (avcl) {
        const AVClass* cls = *static_cast<const AVClass* const*>(avcl);
        if (cls) {
            const char* name = cls->item_name ? cls->item_name(avcl) : cls->class_name;
            prefix = Format("[%s @ %p]", name ? name : "", avcl);
        }
    }
    std::string text = FormatV(fmt ? fmt : "", args);
    const uint32_t tid = CurrentThreadNumber();
    std::vector<std::string> lines;
    {
        std::lock_guard<std::mutex> lk(gPendingMutex);
        std::string& pending = gPending[tid];
        if (pending.empty())
            pending = prefix + text;
        else
            pending += text;
        for (size_t pos; (pos = pending.find('\n')) != std::string::npos;) {
            lines.push_back(pending.substr(0, pos));
            pending.erase(0, pos + 1);
        }
        // Thread numbers are reused: an empty entry must not outlive its thread.
        if (pending.empty()) gPending.erase(tid);
    }
    const TLogLevel lvl = LibraryToLogLevel(level);
    for (std::string& line : lines) DeliverLine(nullptr, tid, lvl, std::move(line));
}

}  // namespace

// Hands one line to the logger's handler: posted to the UI thread, or called here.
// `sender` null means the logger itself.
void DeliverLine(void* sender, uint32_t threadId, TLogLevel level, std::string line) {
    TLogEvent handler;
    uint64_t generation;
    bool post;
    {
        std::lock_guard<std::mutex> lk(gInstanceMutex);
        TFFLogger* logger = gInstance;
        if (!logger) return;
        if (!sender) sender = logger;
        post = logger->TriggerEventInMainThread() && !mainthread::IsUiThread();
        generation = gGeneration;
        if (!post) {
            std::lock_guard<std::mutex> hk(logger->handlerMutex_);
            if (!logger->onLog_) return;
            handler = logger->onLog_;
        }
    }
    if (!post) {
        handler(sender, threadId, level, line);
        return;
    }
    mainthread::Post([=, line = std::move(line)] {
        TFFLogger* logger;
        {
            std::lock_guard<std::mutex> lk(gInstanceMutex);
            if (!gInstance || gGeneration != generation) return;
            logger = gInstance;
        }
        // The UI thread owns the logger's lifetime, so it stays valid for this call.
        logger->raise(sender, threadId, level, line);
    });
}

std::string FormatV(const char* fmt, va_list args) {
    char small[512];
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n < 0) return {};
    if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
    std::string out(static_cast<size_t>(n), '\0');
    va_copy(copy, args);
    std::vsnprintf(out.data(), out.size() + 1, fmt, copy);
    va_end(copy);
    return out;
}

std::string Format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::string out = FormatV(fmt, args);
    va_end(args);
    return out;
}

int LogLevelToLibrary(TLogLevel level) { return (static_cast<int>(level) - 1) * 8; }

TLogLevel LibraryToLogLevel(int level) {
    int v = level / 8 + 1;  // C++ division truncates toward zero
    if (v < 0) v = 0;
    if (v > 7) v = 7;
    return static_cast<TLogLevel>(v);
}

int LibraryLevel() { return gLibraryLevel.load(); }

uint32_t CurrentThreadNumber() { return static_cast<uint32_t>(::syscall(SYS_gettid)); }

TFFLogger* CurrentLogger() {
    std::lock_guard<std::mutex> lk(gInstanceMutex);
    return gInstance;
}

TFFLogger* GetLogger() {
    if (TFFLogger* logger = CurrentLogger()) return logger;
    return new TFFLogger();
}

TFFLogger::TFFLogger() : logLevel_(LibraryToLogLevel(gLibraryLevel.load())) {
    std::lock_guard<std::mutex> lk(gInstanceMutex);
    if (gInstance) throw std::logic_error("Allow creating only one instance of TFFLogger.");
    gInstance = this;
    ++gGeneration;
}

TFFLogger::~TFFLogger() {
    // The library must not call into a relay without a logger.
    if (lav::av_log_set_callback && lav::av_log_default_callback)
        lav::av_log_set_callback(lav::av_log_default_callback);
    std::lock_guard<std::mutex> lk(gInstanceMutex);
    if (gInstance == this) {
        gInstance = nullptr;
        ++gGeneration;
    }
}

void TFFLogger::SetLogLevel(TLogLevel level) {
    if (level == logLevel_.load()) return;
    logLevel_ = level;
    applyLevel();
}

void TFFLogger::applyLevel() {
    if (!lav::av_log_set_level) return;
    gLibraryLevel = LogLevelToLibrary(logLevel_.load());
    lav::av_log_set_level(gLibraryLevel.load());
}

void TFFLogger::SetLogLevelByName(const std::string& name) {
    static const char* const kNames[] = {"quiet", "panic", "fatal",   "error",
                                         "warning", "info", "verbose", "debug"};
    int level = 0;
    bool found = false;
    for (int i = 0; i < 8 && !found; ++i) {
        if (::strcasecmp(name.c_str(), kNames[i]) == 0) {
            level = LogLevelToLibrary(static_cast<TLogLevel>(i));
            found = true;
        }
    }
    if (!found) {
        size_t used = 0;
        try {
            level = std::stoi(name, &used, 10);
        } catch (const std::exception&) {
            used = 0;
        }
        if (used == 0 || used != name.size())
            throw std::invalid_argument("'" + name + "' is not a valid integer value");
    }
    SetLogLevel(LibraryToLogLevel(level));
}

void TFFLogger::SetOnLog(TLogEvent handler) {
    std::lock_guard<std::mutex> lk(handlerMutex_);
    onLog_ = std::move(handler);
}

void TFFLogger::raise(void* sender, uint32_t threadId, TLogLevel level, const std::string& line) {
    TLogEvent handler;
    {
        std::lock_guard<std::mutex> lk(handlerMutex_);
        handler = onLog_;
    }
    if (handler) handler(sender, threadId, level, line);
}

void TFFLogger::LogMessage(void* sender, TLogLevel level, const std::string& text) {
    const TLogLevel mine = logLevel_.load();
    if (!(level <= mine || (level == llVerbose && mine != llQuiet))) return;
    {
        std::lock_guard<std::mutex> lk(handlerMutex_);
        if (!onLog_) return;
    }
    DeliverLine(sender ? sender : this, CurrentThreadNumber(), level, text);
}

void TFFLogger::LogFormat(void* sender, TLogLevel level, const char* fmt, ...) {
    const TLogLevel mine = logLevel_.load();
    if (!(level <= mine || (level == llVerbose && mine != llQuiet))) return;
    va_list args;
    va_start(args, fmt);
    std::string text = FormatV(fmt, args);
    va_end(args);
    LogMessage(sender, level, text);
}

void TFFLogger::InstallHook() {
    if (!lav::av_log_set_callback || !lav::av_log_set_level)
        throw std::logic_error("Assertion failure");
    TFFLogger* logger = GetLogger();
    lav::av_log_set_callback(&relayCallback);
    gLibraryLevel = LogLevelToLibrary(logger->LogLevel());
    lav::av_log_set_level(gLibraryLevel.load());
}

void TFFLogger::Flush() {
    if (mainthread::IsUiThread())
        mainthread::Drain();
    else
        mainthread::Invoke([] {});
}
