// Run-time binding of the media libraries and SDL2, and the process-wide codec lock.
//
// One loader per process (`FFLoader()`). Loading and unloading happen on the UI thread only; the
// loader has no lock of its own. A library is loaded from `LibraryPath` first ("<path>/<file>"
// when that file exists), else by bare file name through the system search path, in dependency
// order, so that copies in a private folder satisfy each other's dependencies. After loading,
// the run-time major version must equal the header's and the minor must be at least the
// header's. Failures return false and leave their text in `LastError()`; a failed set load
// releases only what that call itself loaded, so libraries another component uses stay bound.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <atomic>
#include <mutex>
#include <string>

using TPathFileName = QString;

// Library kinds, in the order they are loaded (dependencies first).
enum class TLibraryKind : int {
    avutil = 0,
    swresample,
    swscale,
    avcodec,
    avformat,
    avfilter,
    avdevice,
    SDL,
};
inline constexpr int kLibraryKindCount = 8;

// A set of kinds, one bit per kind.
using TLibrarySet = uint32_t;
constexpr TLibrarySet LibBit(TLibraryKind k) { return 1u << static_cast<int>(k); }
// Used by the conversion engine and its probe.
inline constexpr TLibrarySet kConversionSet =
    LibBit(TLibraryKind::avutil) | LibBit(TLibraryKind::swresample) |
    LibBit(TLibraryKind::swscale) | LibBit(TLibraryKind::avcodec) |
    LibBit(TLibraryKind::avformat) | LibBit(TLibraryKind::avfilter);
// Used by the player.
inline constexpr TLibrarySet kPlayerSet = kConversionSet | LibBit(TLibraryKind::SDL);

class TFFmpegLoader {
public:
    // Folder searched first for library files; empty means the system search path only.
    void SetLibraryPath(const TPathFileName& path) { libraryPath_ = path; }
    TPathFileName LibraryPath() const { return libraryPath_; }
    // Text of the most recent failure; a later success does not clear it.
    std::string LastError() const { return lastError_; }

    // "lib<base>.so.<major>", or the explicit name set by SetLibraryFileName.
    TPathFileName LibraryFileName(TLibraryKind kind) const;
    // An explicit file name (it may include a folder) instead of the built one; empty restores
    // the built name. Used by packagers and tests.
    void SetLibraryFileName(TLibraryKind kind, const TPathFileName& name);

    bool LoadLib(TLibraryKind kind);
    void UnloadLib(TLibraryKind kind);
    bool LoadLibs(TLibrarySet set);
    void UnloadLibs(TLibrarySet set);
    bool IsLoaded(TLibraryKind kind) const;
    bool AllLoaded(TLibrarySet set) const;

    // Run after every successful LoadLib of `kind` (also when it was already loaded). Hooks
    // must be idempotent. The engine installs the log relay on avutil this way.
    void SetBoundHook(TLibraryKind kind, std::function<void()> hook);

    // Header version of a kind ("major.minor") and the run-time one once loaded (else empty).
    static std::string HeaderVersion(TLibraryKind kind);
    std::string RuntimeVersion(TLibraryKind kind) const;
    static const char* BaseName(TLibraryKind kind);

private:
    struct Status {
        TPathFileName fileName;
        TPathFileName openedPath;  // what was handed to dlopen
        void* handle = nullptr;
        bool bound = false;
        std::function<void()> hook;
    };
    bool openLibrary(TLibraryKind kind);
    bool checkVersion(TLibraryKind kind);

    TPathFileName libraryPath_;
    std::string lastError_;
    Status status_[kLibraryKindCount];
};

// The single loader.
TFFmpegLoader& FFLoader();

// The process-wide codec lock: held around every codec open/close and the engine's stream-info
// reads. A UI-thread wait for it keeps running the main-thread dispatcher (see SetCodecLockPump),
// so a worker that holds the lock and waits for the UI thread can always go on.
class CodecLock {
public:
    static void lock();
    static void unlock();
    static bool try_lock();
};
struct CodecLockGuard {
    CodecLockGuard() { CodecLock::lock(); }
    ~CodecLockGuard() { CodecLock::unlock(); }
    CodecLockGuard(const CodecLockGuard&) = delete;
    CodecLockGuard& operator=(const CodecLockGuard&) = delete;
};
// Installed by the engine's dispatcher: `isUiThread` tells whether the caller is the UI thread;
// `pump` runs pending main-thread calls and waits briefly for more.
void SetCodecLockPump(bool (*isUiThread)(), void (*pump)());
