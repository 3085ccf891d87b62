// The log relay: library and engine messages as whole lines through one event.
//
// One logger per process (`GetLogger()` creates it on first use; a second construction throws
// "Allow creating only one instance of TFFLogger."). The library callback runs on any thread; it
// assembles text per thread and cuts it into lines. A line is handed to `OnLog` on the UI thread
// by *posting* it (the logging thread never waits: it may hold the codec lock the UI thread is
// waiting for), or directly on the logging thread when `TriggerEventInMainThread` is false.
// All members are for the UI thread unless stated otherwise.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "engine/FFBaseComponent.h"

enum TLogLevel { llQuiet, llPanic, llFatal, llError, llWarning, llInfo, llVerbose, llDebug };

// Sender, number of the thread that produced the line, level, the line without its line break.
using TLogEvent = std::function<void(void* sender, uint32_t threadId, TLogLevel level,
                                     const std::string& msg)>;

// llQuiet → -8, llPanic → 0 … llDebug → 48.
int LogLevelToLibrary(TLogLevel level);
// Library level / 8 (toward zero) + 1, limited to llQuiet … llDebug.
TLogLevel LibraryToLogLevel(int level);
// The threshold the library callback compares against (library units). Any thread.
int LibraryLevel();
// Number of the calling thread as reported with log lines. Any thread.
uint32_t CurrentThreadNumber();

class TFFLogger : public TFFBaseComponent {
public:
    TFFLogger();
    ~TFFLogger() override;

    TLogLevel LogLevel() const { return logLevel_.load(); }
    void SetLogLevel(TLogLevel level);
    // "quiet" … "debug" (any case) or a decimal library level; else throws std::invalid_argument
    // and the level is unchanged.
    void SetLogLevelByName(const std::string& name);

    bool TriggerEventInMainThread() const { return triggerInMainThread_.load(); }
    void SetTriggerEventInMainThread(bool value) { triggerInMainThread_ = value; }

    void SetOnLog(TLogEvent handler);

    // The engine's own messages. Any thread.
    void LogMessage(void* sender, TLogLevel level, const std::string& text);
    void LogFormat(void* sender, TLogLevel level, const char* fmt, ...)
        __attribute__((format(printf, 4, 5)));

    // Hands the relay callback to the library and applies the level; creates the logger when
    // there is none. Throws std::logic_error("Assertion failure") when the entries are unbound.
    static void InstallHook();

    // Delivers every line handed over so far (runs the dispatcher when called on the UI thread,
    // else waits for the UI thread to reach this point).
    static void Flush();

private:
    friend void DeliverLine(void* sender, uint32_t threadId, TLogLevel level, std::string line);
    void raise(void* sender, uint32_t threadId, TLogLevel level, const std::string& line);
    void applyLevel();

    // Read by logging threads.
    std::atomic<TLogLevel> logLevel_;
    std::atomic<bool> triggerInMainThread_{true};
    mutable std::mutex handlerMutex_;  // guards onLog_
    TLogEvent onLog_;
};

// The single logger, created on first use.
TFFLogger* GetLogger();
// The single logger, or null when none exists. Any thread.
TFFLogger* CurrentLogger();

// printf into a std::string of any length.
std::string FormatV(const char* fmt, va_list args);
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
