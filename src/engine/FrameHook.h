// Frame hooks and previews of a conversion task.
//
// While a task converts video, every decoded picture can be handed to the program as a 24-bit
// bitmap and changed before it is encoded (the frame hook, `OnCustomHook` of the component), to
// external hook libraries that change the raw picture ("vhook", engine/FrameHookApi.h), and the
// encoded pictures can be shown while the conversion runs: as bitmaps delivered to the program
// (`OnPreviewBitmap`) or in a preview window that the program supplies (`IPreviewWindow`).
//
// Threads:
// - Set-up (`SetCustomHook`, `AddExternalHook`, the preview callbacks and the window factory)
//   happens on the thread that builds the task, before it runs.
// - `PreprocessPicture`, `PreviewStep` and `Release` run on the converting thread.
// - `SetPreviewFlags`/`PreviewFlags` may be called from any thread at any time; the preview lock
//   they take is never held while a preview is handed to another thread, so switching previews
//   on and off during a conversion cannot deadlock with a worker that waits for the UI thread.
//
// Failures of hooks and previews are logged and switch the feature off for the task; they never
// end the conversion.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/FFmpegLogger.h"
#include "engine/FrameHookApi.h"

extern "C" {
#include <libavutil/rational.h>
}

struct AVFrame;
struct SwsContext;

// A 24-bit picture: three bytes per pixel, blue first, rows padded to a multiple of four bytes
// (the layout of QImage::Format_BGR888, so a QImage can wrap `Bits()` without copying). Handlers
// may draw on it and copy it; only the engine sets its size.
class TBitmap {
public:
    TBitmap() = default;
    TBitmap(const TBitmap&) = default;
    TBitmap& operator=(const TBitmap&) = delete;

    int Width() const { return width_; }
    int Height() const { return height_; }
    int BytesPerLine() const { return bytesPerLine_; }
    uint8_t* Bits() { return data_.data(); }
    const uint8_t* Bits() const { return data_.data(); }
    uint8_t* ScanLine(int y) { return data_.data() + static_cast<size_t>(y) * bytesPerLine_; }
    const uint8_t* ScanLine(int y) const {
        return data_.data() + static_cast<size_t>(y) * bytesPerLine_;
    }

private:
    friend class TRGBConverter;
    // A new size clears the picture; the same size keeps it.
    void setSize(int width, int height);

    int width_ = 0, height_ = 0, bytesPerLine_ = 0;
    std::vector<uint8_t> data_;
};

// The record of `OnCustomHook` (the handler receives its address and must not keep it).
struct THookInfo {
    int32_t TaskIndex = -1;
    TBitmap* Bitmap = nullptr;  // the decoded picture; the task's, reused for the next picture
    int32_t FrameNumber = 0;    // decoded video pictures of this task so far, this one included
    int64_t PTS = 0;            // the input stream's current time, microseconds
    bool Update = true;         // in: true; set false to leave the picture unchanged
    bool StopHook = false;      // in: false; set true to stop hooking this task
};
using PHookInfo = THookInfo*;

// The record of `OnPreviewBitmap`.
struct TPreviewInfo {
    int32_t TaskIndex = -1;
    TBitmap* Bitmap = nullptr;  // the encoded picture; the task's, reused for the next preview
    int32_t FrameNumber = 0;    // the decoded-picture counter
    int64_t PTS = 0;            // time of the encoded picture in the output stream, microseconds
};

// Preview flags of a task.
enum : int { kPreviewWindow = 1, kPreviewBitmap = 2 };

// Pictures → `TBitmap` and back, with cached scalers both ways (bicubic) and a conversion buffer
// that only grows. Used by one thread at a time.
class TRGBConverter {
public:
    TRGBConverter() = default;
    ~TRGBConverter();
    TRGBConverter(const TRGBConverter&) = delete;
    TRGBConverter& operator=(const TRGBConverter&) = delete;

    // Fills the bitmap with the picture at the picture's size; false when no scaler converts
    // its pixel format.
    bool ToBitmap(const AVFrame* picture);
    // Writes the bitmap into `picture`, which has the bitmap's size and its own pixel format and
    // line sizes; false when no scaler converts back into that format.
    bool FromBitmap(AVFrame* picture);
    TBitmap& Bitmap() { return bitmap_; }
    // Stands for the bitmap's drawing-surface lock: held while a handler draws on it.
    std::mutex& Canvas() { return canvas_; }
    // Frees the buffer and the scalers (the bitmap stays).
    void Reset();

private:
    bool ensureBuffer(int width, int height);

    TBitmap bitmap_;
    std::mutex canvas_;
    uint8_t* buffer_ = nullptr;  // BGR24, `bufferLineSize_` bytes per row
    int bufferLineSize_ = 0;
    size_t bufferSize_ = 0;
    SwsContext* toRgb_ = nullptr;
    SwsContext* fromRgb_ = nullptr;
};

// The value of "vhook" split into the library and its arguments: at "|" when the value holds
// one, else at blanks; empty pieces are dropped; at most 254 arguments after the library.
std::vector<std::string> SplitHookArguments(const std::string& value);

// Hook libraries loaded by this process so far (each once, by canonical path, never unloaded).
int LoadedHookLibraryCount();

// A task's external hooks, in the order they were added.
class TExternalHooks {
public:
    using LogFn = std::function<void(TLogLevel, const std::string&)>;
    TExternalHooks() = default;
    ~TExternalHooks() { Release(); }
    TExternalHooks(const TExternalHooks&) = delete;
    TExternalHooks& operator=(const TExternalHooks&) = delete;

    // Loads the library (first use only), finds its entry points and configures it with the
    // arguments. 0 on success; -1 the library cannot be loaded, -2 an entry point is missing,
    // -22 `Configure` refused. The reason goes to `log`.
    int Add(const std::string& value, const LogFn& log);
    bool Empty() const { return hooks_.empty(); }
    // Every hook's `Process`, in order, on the picture (changed in place).
    void Process(AVFrame* picture, int64_t ptsUs);
    // Every hook's `Release` (once), then the list is emptied.
    void Release();

private:
    struct Hook {
        void* context = nullptr;
        FrameHookConfigureFn configure = nullptr;
        FrameHookProcessFn process = nullptr;
        FrameHookReleaseFn release = nullptr;
    };
    std::vector<Hook> hooks_;
};

// A window that shows a task's encoded pictures while it converts (supplied by the program; the
// engine has no widgets). Owned by the task's preview state and shared with the converting
// thread while it shows a picture.
class IPreviewWindow {
public:
    virtual ~IPreviewWindow() = default;
    // Shows the picture: called on the converting thread, returns once it has been drawn (the
    // bitmap is only valid during the call). False once the user has closed the window.
    virtual bool Show(const TPreviewInfo& info) = 0;
    // Closes the window without waiting; any thread, more than once.
    virtual void Close() = 0;
};
using TPreviewWindowFactory = std::function<std::shared_ptr<IPreviewWindow>()>;

// The per-task state of frame hooks and previews.
class TFrameHooks {
public:
    using LogFn = std::function<void(TLogLevel, const std::string&)>;
    // Raises the frame hook with `info` (TaskIndex left at -1) on the converting thread.
    using CustomHookFn = std::function<void(THookInfo& info)>;
    // Delivers a preview bitmap; false when nobody receives it (then a window may show it).
    using PreviewBitmapFn = std::function<bool(const TPreviewInfo& info)>;

    explicit TFrameHooks(LogFn log);
    ~TFrameHooks();
    TFrameHooks(const TFrameHooks&) = delete;
    TFrameHooks& operator=(const TFrameHooks&) = delete;

    // Set-up.
    void SetCustomHook(CustomHookFn fn) { customHook_ = std::move(fn); }
    bool HasCustomHook() const { return static_cast<bool>(customHook_); }
    // "vhook": see TExternalHooks::Add.
    int AddExternalHook(const std::string& value);
    bool HasExternalHooks() const { return !external_.Empty(); }
    void SetPreviewBitmapCallback(PreviewBitmapFn fn) { previewBitmap_ = std::move(fn); }
    void SetPreviewWindowFactory(TPreviewWindowFactory factory) { factory_ = std::move(factory); }
    // Microseconds between the end of one preview and the next, 100000 by default.
    void SetPreviewInterval(int64_t us) { previewInterval_ = us; }

    // Any thread. Clearing `kPreviewWindow` closes the task's window.
    void SetPreviewFlags(int flags);
    int PreviewFlags() const { return flags_.load(std::memory_order_relaxed); }

    // Converting thread. Counts the picture and runs the frame hook, or else the external hooks,
    // on a private copy of it; returns the picture to convert and encode (the given one when
    // nothing changed it).
    const AVFrame* PreprocessPicture(const AVFrame* picture, int64_t ptsUs);
    // After a picture was encoded (its pts in `timeBase`): at most one preview per interval.
    void PreviewStep(const AVFrame* picture, AVRational timeBase) {
        if (flags_.load(std::memory_order_relaxed) != 0) previewStep(picture, timeBase);
    }
    int FrameCount() const { return frameCount_; }
    // End of the conversion: releases the external hooks, closes the window, frees buffers.
    void Release();

private:
    const AVFrame* runCustomHook(const AVFrame* picture, int64_t ptsUs);
    AVFrame* privateCopy(const AVFrame* picture, bool copyPixels);
    void previewStep(const AVFrame* picture, AVRational timeBase);
    void showInWindow(const TPreviewInfo& info);
    void clearFlag(int flag);

    LogFn log_;

    // Set-up, then the converting thread only.
    CustomHookFn customHook_;
    TExternalHooks external_;
    bool externalActive_ = true;
    PreviewBitmapFn previewBitmap_;
    TPreviewWindowFactory factory_;
    int64_t previewInterval_ = 100000;

    // Converting thread only.
    int frameCount_ = 0;
    int64_t lastPreview_ = INT64_MIN;  // end of the last preview, µs (monotonic clock)
    TRGBConverter hookRgb_;
    TRGBConverter previewRgb_;
    AVFrame* store_ = nullptr;  // owns the private picture buffer while nobody else refers to it
    AVFrame* work_ = nullptr;   // the private copy handed on

    // The preview lock: the flags' changes and the window pointer. Never held while a picture
    // is shown or delivered.
    std::mutex previewMutex_;
    std::atomic<int> flags_{0};
    uint64_t generation_ = 0;  // counts SetPreviewFlags calls
    std::shared_ptr<IPreviewWindow> window_;
};
