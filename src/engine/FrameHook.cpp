#include "engine/FrameHook.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include "engine/FFUtils.h"
#include "medialib/LibAV.h"

namespace {

int64_t monotonicMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Process-wide: hook libraries by canonical path. A library stays loaded until the process ends,
// so a context configured by one task can never outlive its code.
struct LibraryCache {
    std::mutex mutex;  // guards `handles` and the dlopen/dlerror pair
    std::map<std::string, void*> handles;
};

LibraryCache& libraryCache() {
    static LibraryCache cache;
    return cache;
}

constexpr size_t kMaxHookArguments = 254;

constexpr int kExactFlags = SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Bitmap and RGB conversion

void TBitmap::setSize(int width, int height) {
    if (width == width_ && height == height_) return;
    width_ = width;
    height_ = height;
    bytesPerLine_ = (width * 3 + 3) & ~3;
    data_.assign(static_cast<size_t>(bytesPerLine_) * static_cast<size_t>(height), 0);
}

TRGBConverter::~TRGBConverter() { Reset(); }

void TRGBConverter::Reset() {
    if (toRgb_) lav::sws_freeContext(toRgb_);
    if (fromRgb_) lav::sws_freeContext(fromRgb_);
    toRgb_ = fromRgb_ = nullptr;
    if (buffer_) lav::av_free(buffer_);
    buffer_ = nullptr;
    bufferSize_ = 0;
    bufferLineSize_ = 0;
}

bool TRGBConverter::ensureBuffer(int width, int height) {
    const int lineSize = ScalerLineSize(width, 3);
    const size_t size = static_cast<size_t>(lineSize) * static_cast<size_t>(height);
    if (size > bufferSize_) {
        if (buffer_) lav::av_free(buffer_);
        buffer_ = static_cast<uint8_t*>(lav::av_malloc(size));
        bufferSize_ = buffer_ ? size : 0;
        if (!buffer_) return false;
    }
    bufferLineSize_ = lineSize;
    return true;
}

bool TRGBConverter::ToBitmap(const AVFrame* picture) {
    const int w = picture->width, h = picture->height;
    const auto format = static_cast<AVPixelFormat>(picture->format);
    if (w <= 0 || h <= 0) return false;
    const uint8_t* source = picture->data[0];
    ptrdiff_t sourceLine = picture->linesize[0];
    if (format != AV_PIX_FMT_BGR24) {
        toRgb_ = lav::sws_getCachedContext(toRgb_, w, h, format, w, h, AV_PIX_FMT_BGR24,
                                           SWS_BICUBIC | kExactFlags, nullptr, nullptr, nullptr);
        if (!toRgb_ || !ensureBuffer(w, h)) return false;
        uint8_t* dst[4] = {buffer_, nullptr, nullptr, nullptr};
        const int dstLine[4] = {bufferLineSize_, 0, 0, 0};
        lav::sws_scale(toRgb_, picture->data, picture->linesize, 0, h, dst, dstLine);
        source = buffer_;
        sourceLine = bufferLineSize_;
    }
    bitmap_.setSize(w, h);
    // Each side's own row length: only width × 3 bytes of a row are picture.
    const size_t rowBytes = static_cast<size_t>(w) * 3;
    for (int y = 0; y < h; ++y) std::memcpy(bitmap_.ScanLine(y), source + y * sourceLine, rowBytes);
    return true;
}

bool TRGBConverter::FromBitmap(AVFrame* picture) {
    const int w = picture->width, h = picture->height;
    const auto format = static_cast<AVPixelFormat>(picture->format);
    if (w != bitmap_.Width() || h != bitmap_.Height() || w <= 0 || h <= 0) return false;
    const size_t rowBytes = static_cast<size_t>(w) * 3;
    if (format == AV_PIX_FMT_BGR24) {
        for (int y = 0; y < h; ++y)
            std::memcpy(picture->data[0] + static_cast<ptrdiff_t>(y) * picture->linesize[0],
                        bitmap_.ScanLine(y), rowBytes);
        return true;
    }
    fromRgb_ = lav::sws_getCachedContext(fromRgb_, w, h, AV_PIX_FMT_BGR24, w, h, format,
                                         SWS_BICUBIC | kExactFlags, nullptr, nullptr, nullptr);
    if (!fromRgb_ || !ensureBuffer(w, h)) return false;
    for (int y = 0; y < h; ++y)
        std::memcpy(buffer_ + static_cast<ptrdiff_t>(y) * bufferLineSize_, bitmap_.ScanLine(y),
                    rowBytes);
    const uint8_t* src[4] = {buffer_, nullptr, nullptr, nullptr};
    const int srcLine[4] = {bufferLineSize_, 0, 0, 0};
    lav::sws_scale(fromRgb_, src, srcLine, 0, h, picture->data, picture->linesize);
    return true;
}

// ---------------------------------------------------------------------------------------------
// External hooks

std::vector<std::string> SplitHookArguments(const std::string& value) {
    const bool bars = value.find('|') != std::string::npos;
    std::vector<std::string> args;
    std::string piece;
    auto flush = [&] {
        if (!piece.empty() && args.size() <= kMaxHookArguments) args.push_back(piece);
        piece.clear();
    };
    for (char c : value) {
        if (bars ? c == '|' : (c == ' ' || c == '\t'))
            flush();
        else
            piece += c;
    }
    flush();
    return args;
}

int LoadedHookLibraryCount() {
    LibraryCache& cache = libraryCache();
    std::lock_guard<std::mutex> lk(cache.mutex);
    return static_cast<int>(cache.handles.size());
}

int TExternalHooks::Add(const std::string& value, const LogFn& log) {
    std::vector<std::string> args = SplitHookArguments(value);
    if (args.empty()) return -1;
    const std::string& library = args[0];
    // An absolute, canonical path: never a search of the library path, and one entry per file.
    char resolved[PATH_MAX];
    if (!::realpath(library.c_str(), resolved)) {
        log(llError, library + ": " + std::strerror(errno));
        return -1;
    }
    void* handle = nullptr;
    {
        LibraryCache& cache = libraryCache();
        std::lock_guard<std::mutex> lk(cache.mutex);
        auto it = cache.handles.find(resolved);
        if (it != cache.handles.end()) {
            handle = it->second;
        } else {
            ::dlerror();
            handle = ::dlopen(resolved, RTLD_NOW | RTLD_LOCAL);
            if (!handle) {
                const char* why = ::dlerror();
                log(llError, why ? why : library + ": cannot be loaded");
                return -1;
            }
            cache.handles.emplace(resolved, handle);
        }
    }
    Hook hook;
    hook.configure = reinterpret_cast<FrameHookConfigureFn>(::dlsym(handle, "Configure"));
    hook.process = reinterpret_cast<FrameHookProcessFn>(::dlsym(handle, "Process"));
    hook.release = reinterpret_cast<FrameHookReleaseFn>(::dlsym(handle, "Release"));
    if (!hook.process) {
        log(llError, Format("Failed to find Process entrypoint in %s", library.c_str()));
        return -2;
    }
    if (!hook.configure && args.size() > 1) {
        log(llError, Format("Failed to find Configure entrypoint in %s", library.c_str()));
        return -2;
    }
    if (hook.configure) {
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (hook.configure(&hook.context, static_cast<int>(args.size()), argv.data()) != 0) {
            log(llError, Format("Failed to Configure %s", library.c_str()));
            return -22;
        }
    }
    hooks_.push_back(hook);
    return 0;
}

void TExternalHooks::Process(AVFrame* picture, int64_t ptsUs) {
    for (const Hook& hook : hooks_) {
        // A fresh description for every hook: one that moves its pointers cannot mislead the next.
        HookPicture pic;
        for (int i = 0; i < 4; ++i) {
            pic.data[i] = picture->data[i];
            pic.linesize[i] = picture->linesize[i];
        }
        hook.process(hook.context, &pic, picture->format, picture->width, picture->height, ptsUs);
    }
}

void TExternalHooks::Release() {
    std::vector<Hook> hooks = std::move(hooks_);
    hooks_.clear();
    for (const Hook& hook : hooks)
        if (hook.release) hook.release(hook.context);
}

// ---------------------------------------------------------------------------------------------
// Per-task state

TFrameHooks::TFrameHooks(LogFn log) : log_(std::move(log)) {}

TFrameHooks::~TFrameHooks() { Release(); }

int TFrameHooks::AddExternalHook(const std::string& value) { return external_.Add(value, log_); }

void TFrameHooks::Release() {
    external_.Release();
    std::shared_ptr<IPreviewWindow> closing;
    {
        std::lock_guard<std::mutex> lk(previewMutex_);
        closing = std::move(window_);
    }
    if (closing) closing->Close();
    hookRgb_.Reset();
    previewRgb_.Reset();
    if (work_) lav::av_frame_free(&work_);
    if (store_) lav::av_frame_free(&store_);
}

void TFrameHooks::SetPreviewFlags(int flags) {
    std::shared_ptr<IPreviewWindow> closing;
    {
        std::lock_guard<std::mutex> lk(previewMutex_);
        flags_.store(flags & (kPreviewWindow | kPreviewBitmap));
        ++generation_;
        if (!(flags & kPreviewWindow)) closing = std::move(window_);
    }
    if (closing) closing->Close();
}

void TFrameHooks::clearFlag(int flag) {
    std::shared_ptr<IPreviewWindow> closing;
    {
        std::lock_guard<std::mutex> lk(previewMutex_);
        flags_.fetch_and(~flag);
        if (flag & kPreviewWindow) closing = std::move(window_);
    }
    if (closing) closing->Close();
}

AVFrame* TFrameHooks::privateCopy(const AVFrame* picture, bool copyPixels) {
    if (!store_) store_ = lav::av_frame_alloc();
    if (!work_) work_ = lav::av_frame_alloc();
    if (!store_ || !work_) return nullptr;
    lav::av_frame_unref(work_);
    // The buffer is reused while the converter and the encoder have let go of it.
    const bool reusable = store_->buf[0] && store_->width == picture->width &&
                          store_->height == picture->height && store_->format == picture->format &&
                          lav::av_frame_is_writable(store_);
    if (!reusable) {
        lav::av_frame_unref(store_);
        store_->width = picture->width;
        store_->height = picture->height;
        store_->format = picture->format;
        if (lav::av_frame_get_buffer(store_, 0) < 0) {
            lav::av_frame_unref(store_);
            return nullptr;
        }
    }
    if (lav::av_frame_ref(work_, store_) < 0 || lav::av_frame_copy_props(work_, picture) < 0 ||
        (copyPixels && lav::av_frame_copy(work_, picture) < 0)) {
        lav::av_frame_unref(work_);
        return nullptr;
    }
    return work_;
}

const AVFrame* TFrameHooks::PreprocessPicture(const AVFrame* picture, int64_t ptsUs) {
    ++frameCount_;
    if (customHook_) return runCustomHook(picture, ptsUs);
    if (!externalActive_ || external_.Empty()) return picture;
    // Decoded pictures are shared with the decoder: the hooks change a private copy.
    AVFrame* work = privateCopy(picture, true);
    if (!work) {
        log_(llError, "hook buf malloc error.");
        return picture;
    }
    external_.Process(work, ptsUs);
    return work;
}

const AVFrame* TFrameHooks::runCustomHook(const AVFrame* picture, int64_t ptsUs) {
    if (!hookRgb_.ToBitmap(picture)) {
        log_(llError, "Cannot initialize the toRGB conversion context");
        return picture;
    }
    THookInfo info;
    info.Bitmap = &hookRgb_.Bitmap();
    info.FrameNumber = frameCount_;
    info.PTS = ptsUs;
    {
        std::lock_guard<std::mutex> canvas(hookRgb_.Canvas());
        try {
            customHook_(info);
        } catch (const std::exception& e) {
            log_(llError, std::string("Error occurs OnCustomHook: ") + e.what());
            info.Update = false;
        } catch (...) {
            log_(llError, "Error occurs OnCustomHook: unknown error");
            info.Update = false;
        }
    }
    const AVFrame* result = picture;
    if (info.Update) {
        // Every pixel is written back from the bitmap: the copy needs no pixels of its own.
        if (AVFrame* work = privateCopy(picture, false)) {
            if (hookRgb_.FromBitmap(work)) {
                result = work;
            } else {
                log_(llError, "Cannot initialize the fromRGB conversion context");
                info.StopHook = true;
            }
        } else {
            log_(llError, "hook buf malloc error.");
        }
    }
    if (info.StopHook) {
        customHook_ = nullptr;
        externalActive_ = false;
    }
    return result;
}

void TFrameHooks::previewStep(const AVFrame* picture, AVRational timeBase) {
    const int flags = flags_.load(std::memory_order_relaxed);
    const bool toBitmap = (flags & kPreviewBitmap) && previewBitmap_;
    const bool toWindow = flags & kPreviewWindow;
    if (!toBitmap && !toWindow) return;
    // The interval counts from the end of the last preview.
    const int64_t now = monotonicMicros();
    if (lastPreview_ != INT64_MIN && now - lastPreview_ <= previewInterval_) return;
    lastPreview_ = now;
    if (!previewRgb_.ToBitmap(picture)) {
        log_(llError, "Cannot initialize the toRGB conversion context");
        clearFlag(toBitmap ? kPreviewBitmap : kPreviewWindow);
        return;
    }
    TPreviewInfo info;
    info.Bitmap = &previewRgb_.Bitmap();
    info.FrameNumber = frameCount_;
    info.PTS = picture->pts == AV_NOPTS_VALUE
                   ? AV_NOPTS_VALUE
                   : lav::av_rescale_q(picture->pts, timeBase, AVRational{1, AV_TIME_BASE});
    bool delivered = false;
    if (toBitmap) {
        try {
            delivered = previewBitmap_(info);
        } catch (...) {
            // The receiver reports its own failures; a preview never ends the conversion.
            delivered = true;
        }
    }
    if (!delivered && toWindow) showInWindow(info);
    lastPreview_ = monotonicMicros();
}

void TFrameHooks::showInWindow(const TPreviewInfo& info) {
    std::shared_ptr<IPreviewWindow> window;
    uint64_t generation;
    {
        std::lock_guard<std::mutex> lk(previewMutex_);
        if (!(flags_.load() & kPreviewWindow)) return;
        window = window_;
        generation = generation_;
    }
    if (!window) {
        // Made outside the lock: a window may need the UI thread.
        std::shared_ptr<IPreviewWindow> made = factory_ ? factory_() : nullptr;
        if (!made) {
            log_(llWarning, "No preview window in this program: the preview is off.");
            std::lock_guard<std::mutex> lk(previewMutex_);
            if (generation == generation_) flags_.fetch_and(~kPreviewWindow);
            return;
        }
        std::shared_ptr<IPreviewWindow> unused;
        {
            std::lock_guard<std::mutex> lk(previewMutex_);
            if (generation != generation_ || !(flags_.load() & kPreviewWindow)) {
                unused = std::move(made);
            } else {
                window_ = made;
                window = std::move(made);
            }
        }
        if (unused) {
            unused->Close();
            return;
        }
    }
    bool open = false;
    try {
        open = window->Show(info);  // waits for the UI thread: no lock held
    } catch (const std::exception& e) {
        log_(llError, std::string("Preview window: ") + e.what());
    } catch (...) {
        log_(llError, "Preview window: unknown error");
    }
    if (open) return;
    // Closed by the user (or failed): previews of this task stop, unless the flags were set
    // again meanwhile, which asks for a new window.
    {
        std::lock_guard<std::mutex> lk(previewMutex_);
        if (window_ == window) window_.reset();
        if (generation == generation_) flags_.fetch_and(~kPreviewWindow);
    }
    window->Close();
}
