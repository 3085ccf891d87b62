// The preview window of a converting task, shown while the engine component's `Preview` is on:
// a small tool window that stays on top of the others, has only a close box, is moved by
// dragging anywhere in it, and is captioned with the time of the picture it shows
// ("%.2d:%.2d:%.2d.%.3d", "N/A" for a picture without time).
//
// Threads: `Show` is called by a task's worker and waits while the UI thread draws, through the
// main-thread dispatcher (the program and mainthread::WaitPumping run its calls). `Close` and the
// destructor may run on any thread and never wait. The widget is created, drawn and deleted on
// the UI thread only; closing it there makes `Show` return false, which ends the previews of that
// task while its conversion goes on.
#pragma once

#include <QImage>
#include <memory>

#include "engine/FrameHook.h"

class TCustomFFmpegVCL;

class TPreviewer : public IPreviewWindow {
public:
    // The object name of the preview widget.
    static constexpr const char* kObjectName = "TPreviewer";

    TPreviewer();
    ~TPreviewer() override;
    TPreviewer(const TPreviewer&) = delete;
    TPreviewer& operator=(const TPreviewer&) = delete;

    bool Show(const TPreviewInfo& info) override;
    void Close() override;
    bool Closed() const;

private:
    struct State;
    // UI thread: creates the widget on first use, then captions and draws.
    static void draw(const std::shared_ptr<State>& state, const TPreviewInfo& info);
    std::shared_ptr<State> state_;
};

// Gives the component's `Preview` TPreviewer windows. UI thread.
void InstallPreviewer(TCustomFFmpegVCL& component);

// A copy of a bitmap as a QImage (Format_BGR888, the same layout).
QImage BitmapToImage(const TBitmap& bitmap);
