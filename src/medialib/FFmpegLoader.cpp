#include "FFmpegLoader.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "LibAV.h"

namespace {

struct Entry {
    const char* name;
    void* slot;  // address of the slot in namespace lav
    bool variable;
};

#define F(name) {#name, static_cast<void*>(&lav::name), false},
#define V(name, type) {#name, static_cast<void*>(&lav::name), true},
const Entry kAvutil[] = {
#include "entries/avutil.inc"
};
const Entry kSwresample[] = {
#include "entries/swresample.inc"
};
const Entry kSwscale[] = {
#include "entries/swscale.inc"
};
const Entry kAvcodec[] = {
#include "entries/avcodec.inc"
};
const Entry kAvformat[] = {
#include "entries/avformat.inc"
};
const Entry kAvfilter[] = {
#include "entries/avfilter.inc"
};
const Entry kAvdevice[] = {
#include "entries/avdevice.inc"
};
const Entry kSdl[] = {
#include "entries/sdl2.inc"
};
#undef F
#undef V

struct LibraryItem {
    const char* baseName;
    int version;  // major in the file name
    const Entry* entries;
    size_t entryCount;
    const char* versionEntry;
    unsigned headerMajor;
    unsigned headerMinor;
};

template <size_t N>
constexpr size_t countOf(const Entry (&)[N]) {
    return N;
}

const LibraryItem kLibraries[kLibraryKindCount] = {
    {"avutil", LIBAVUTIL_VERSION_MAJOR, kAvutil, countOf(kAvutil), "avutil_version",
     LIBAVUTIL_VERSION_MAJOR, LIBAVUTIL_VERSION_MINOR},
    {"swresample", LIBSWRESAMPLE_VERSION_MAJOR, kSwresample, countOf(kSwresample),
     "swresample_version", LIBSWRESAMPLE_VERSION_MAJOR, LIBSWRESAMPLE_VERSION_MINOR},
    {"swscale", LIBSWSCALE_VERSION_MAJOR, kSwscale, countOf(kSwscale), "swscale_version",
     LIBSWSCALE_VERSION_MAJOR, LIBSWSCALE_VERSION_MINOR},
    {"avcodec", LIBAVCODEC_VERSION_MAJOR, kAvcodec, countOf(kAvcodec), "avcodec_version",
     LIBAVCODEC_VERSION_MAJOR, LIBAVCODEC_VERSION_MINOR},
    {"avformat", LIBAVFORMAT_VERSION_MAJOR, kAvformat, countOf(kAvformat), "avformat_version",
     LIBAVFORMAT_VERSION_MAJOR, LIBAVFORMAT_VERSION_MINOR},
    {"avfilter", LIBAVFILTER_VERSION_MAJOR, kAvfilter, countOf(kAvfilter), "avfilter_version",
     LIBAVFILTER_VERSION_MAJOR, LIBAVFILTER_VERSION_MINOR},
    {"avdevice", LIBAVDEVICE_VERSION_MAJOR, kAvdevice, countOf(kAvdevice), "avdevice_version",
     LIBAVDEVICE_VERSION_MAJOR, LIBAVDEVICE_VERSION_MINOR},
    // SDL2's file name is libSDL2-2.0.so.0: base "SDL2-2.0", file version 0.
    {"SDL2-2.0", 0, kSdl, countOf(kSdl), "SDL_GetVersion", SDL_MAJOR_VERSION, SDL_MINOR_VERSION},
};

const LibraryItem& item(TLibraryKind k) { return kLibraries[static_cast<int>(k)]; }

void setSlot(void* slot, void* value) { std::memcpy(slot, &value, sizeof value); }

void unbindEntries(TLibraryKind kind) {
    const LibraryItem& li = item(kind);
    for (size_t i = 0; i < li.entryCount; ++i) setSlot(li.entries[i].slot, nullptr);
}

std::string format(const char* fmt, const std::string& a, const std::string& b) {
    int n = std::snprintf(nullptr, 0, fmt, a.c_str(), b.c_str());
    std::string out(static_cast<size_t>(n), '\0');
    std::snprintf(out.data(), out.size() + 1, fmt, a.c_str(), b.c_str());
    return out;
}
std::string format(const char* fmt, const std::string& a, const std::string& b,
                   const std::string& c) {
    int n = std::snprintf(nullptr, 0, fmt, a.c_str(), b.c_str(), c.c_str());
    std::string out(static_cast<size_t>(n), '\0');
    std::snprintf(out.data(), out.size() + 1, fmt, a.c_str(), b.c_str(), c.c_str());
    return out;
}

bool isRegularFile(const QString& path) {
    struct stat st;
    return ::stat(path.toUtf8().constData(), &st) == 0 && S_ISREG(st.st_mode);
}

// Reads a library's own version (major, minor, micro) before any entry is bound.
bool runtimeVersion(TLibraryKind kind, void* handle, unsigned v[3]) {
    void* sym = ::dlsym(handle, item(kind).versionEntry);
    if (!sym) return false;
    if (kind == TLibraryKind::SDL) {
        SDL_version ver{};
        void (*getVersion)(SDL_version*);
        std::memcpy(&getVersion, &sym, sizeof sym);
        getVersion(&ver);
        v[0] = ver.major;
        v[1] = ver.minor;
        v[2] = ver.patch;
    } else {
        unsigned (*getVersion)();
        std::memcpy(&getVersion, &sym, sizeof sym);
        unsigned packed = getVersion();
        v[0] = packed >> 16;
        v[1] = (packed >> 8) & 0xff;
        v[2] = packed & 0xff;
    }
    return true;
}

std::mutex gCodecMutex;
std::atomic<bool (*)()> gIsUiThread{nullptr};
std::atomic<void (*)()> gPump{nullptr};

}  // namespace

namespace lav {
std::string av_err2str(int errnum) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {0};
    if (lav::av_strerror) {
        lav::av_strerror(errnum, buf, sizeof buf);
    } else {
        std::snprintf(buf, sizeof buf, "Error number %d occurred", errnum);
    }
    return buf;
}
}  // namespace lav

TFFmpegLoader& FFLoader() {
    static TFFmpegLoader loader;
    return loader;
}

const char* TFFmpegLoader::BaseName(TLibraryKind kind) { return item(kind).baseName; }

std::string TFFmpegLoader::HeaderVersion(TLibraryKind kind) {
    return std::to_string(item(kind).headerMajor) + "." + std::to_string(item(kind).headerMinor);
}

std::string TFFmpegLoader::RuntimeVersion(TLibraryKind kind) const {
    unsigned v[3];
    const Status& st = status_[static_cast<int>(kind)];
    if (!st.handle || !runtimeVersion(kind, st.handle, v)) return {};
    return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]);
}

TPathFileName TFFmpegLoader::LibraryFileName(TLibraryKind kind) const {
    const Status& st = status_[static_cast<int>(kind)];
    if (!st.fileName.isEmpty()) return st.fileName;
    const LibraryItem& li = item(kind);
    QString name = QStringLiteral("lib") + QString::fromLatin1(li.baseName) + QStringLiteral(".so");
    if (li.version >= 0) name += QLatin1Char('.') + QString::number(li.version);
    return name;
}

void TFFmpegLoader::SetLibraryFileName(TLibraryKind kind, const TPathFileName& name) {
    status_[static_cast<int>(kind)].fileName = name;
}

void TFFmpegLoader::SetBoundHook(TLibraryKind kind, std::function<void()> hook) {
    status_[static_cast<int>(kind)].hook = std::move(hook);
}

bool TFFmpegLoader::openLibrary(TLibraryKind kind) {
    Status& st = status_[static_cast<int>(kind)];
    const QString name = LibraryFileName(kind);
    const int sep = name.lastIndexOf(QLatin1Char('/'));
    QString folder = sep >= 0 ? name.left(sep + 1) : QString();
    const QString file = sep >= 0 ? name.mid(sep + 1) : name;
    if (folder.isEmpty() && !libraryPath_.isEmpty()) {
        folder = libraryPath_;
        if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    }
    const QString attempted = folder + file;
    // A file in the folder wins; otherwise the bare name goes through the system search path.
    const QString target = !folder.isEmpty() && isRegularFile(attempted) ? attempted : file;
    ::dlerror();
    void* handle = ::dlopen(target.toUtf8().constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = ::dlerror();
        lastError_ = format("Load library %s error: %s", attempted.toStdString(),
                            why ? why : "unknown error");
        return false;
    }
    st.handle = handle;
    st.openedPath = target;
    return true;
}

bool TFFmpegLoader::checkVersion(TLibraryKind kind) {
    const Status& st = status_[static_cast<int>(kind)];
    const LibraryItem& li = item(kind);
    unsigned v[3];
    std::string why;
    if (!runtimeVersion(kind, st.handle, v)) {
        const char* e = ::dlerror();
        why = std::string("no version entry ") + li.versionEntry + (e ? std::string(": ") + e : "");
    } else if (v[0] != li.headerMajor || v[1] < li.headerMinor) {
        why = "version " + std::to_string(v[0]) + "." + std::to_string(v[1]) + "." +
              std::to_string(v[2]) + " found, " + HeaderVersion(kind) + " or a later " +
              std::to_string(li.headerMajor) + ".x required";
    }
    if (why.empty()) return true;
    lastError_ = format("Load library %s error: %s", st.openedPath.toStdString(), why);
    return false;
}

bool TFFmpegLoader::LoadLib(TLibraryKind kind) {
    Status& st = status_[static_cast<int>(kind)];
    if (!st.handle && !openLibrary(kind)) return false;
    if (!st.bound && checkVersion(kind)) {
        const LibraryItem& li = item(kind);
        const std::string fileName = LibraryFileName(kind).toStdString();
        bool ok = true;
        for (size_t i = 0; i < li.entryCount && ok; ++i) {
            const Entry& e = li.entries[i];
            ::dlerror();
            void* sym = ::dlsym(st.handle, e.name);
            setSlot(e.slot, sym);
            if (!sym) {
                const char* why = ::dlerror();
                lastError_ = format(e.variable ? "Load variable %s@%s error: %s"
                                               : "Load function %s@%s error: %s",
                                    e.name, fileName, why ? why : "symbol not found");
                ok = false;
            }
        }
        if (ok && kind == TLibraryKind::avdevice) lav::avdevice_register_all();
        st.bound = ok;
    }
    if (!st.bound) {
        unbindEntries(kind);
        UnloadLib(kind);
        return false;
    }
    if (st.hook) st.hook();
    return true;
}

void TFFmpegLoader::UnloadLib(TLibraryKind kind) {
    Status& st = status_[static_cast<int>(kind)];
    if (st.bound) {
        unbindEntries(kind);
        st.bound = false;
    }
    if (st.handle) {
        ::dlclose(st.handle);
        st.handle = nullptr;
    }
}

bool TFFmpegLoader::LoadLibs(TLibrarySet set) {
    if (set == 0) throw std::logic_error("Assertion failure (FFmpegLoader)");
    TLibrarySet loadedHere = 0;
    for (int i = 0; i < kLibraryKindCount; ++i) {
        const auto kind = static_cast<TLibraryKind>(i);
        if (!(set & LibBit(kind))) continue;
        const bool wasLoaded = IsLoaded(kind);
        if (!LoadLib(kind)) {
            // Only what this call loaded goes: another component may be using the rest.
            if (loadedHere) UnloadLibs(loadedHere);
            return false;
        }
        if (!wasLoaded) loadedHere |= LibBit(kind);
    }
    return true;
}

void TFFmpegLoader::UnloadLibs(TLibrarySet set) {
    if (set == 0) throw std::logic_error("Assertion failure (FFmpegLoader)");
    // Dependents first.
    for (int i = kLibraryKindCount - 1; i >= 0; --i) {
        const auto kind = static_cast<TLibraryKind>(i);
        if (set & LibBit(kind)) UnloadLib(kind);
    }
}

bool TFFmpegLoader::IsLoaded(TLibraryKind kind) const {
    const Status& st = status_[static_cast<int>(kind)];
    return st.handle && st.bound;
}

bool TFFmpegLoader::AllLoaded(TLibrarySet set) const {
    if (set == 0) throw std::logic_error("Assertion failure (FFmpegLoader)");
    for (int i = 0; i < kLibraryKindCount; ++i) {
        const auto kind = static_cast<TLibraryKind>(i);
        if ((set & LibBit(kind)) && !IsLoaded(kind)) return false;
    }
    return true;
}

void CodecLock::lock() {
    auto isUi = gIsUiThread.load();
    auto pump = gPump.load();
    if (isUi && pump && isUi()) {
        while (!gCodecMutex.try_lock()) pump();
        return;
    }
    gCodecMutex.lock();
}
void CodecLock::unlock() { gCodecMutex.unlock(); }
bool CodecLock::try_lock() { return gCodecMutex.try_lock(); }

void SetCodecLockPump(bool (*isUiThread)(), void (*pump)()) {
    gIsUiThread = isUiThread;
    gPump = pump;
}
