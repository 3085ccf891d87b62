// The player component: plays one media file at a time, drawing into a widget that the caller
// owns (or into nothing), with sound through SDL2.
//
// Threads:
// - Every operation is for the UI thread (the thread that called mainthread::SetUiThread), except
//   the plain property getters, which any thread may call.
// - A playback runs on threads of its own: "player-read" (demultiplexing), "player-video" and
//   "player-subtitle" (decoding), "player-refresh" (asks for screen refreshes) and
//   "player-play" (the event loop that times and draws pictures), plus SDL's audio thread,
//   which decodes and mixes sound in the device callback. None of them ever waits for the UI
//   thread, so no operation here has to keep window messages or dispatcher calls running while
//   it waits: `Stop(true)` simply joins them.
// - Events (`OnFileOpen` aside, which `Open` raises itself) are posted into a small ring that
//   coalesces an unread position with a newer one, and likewise a state with a newer state,
//   except that `psStop` is never overwritten or dropped. With `TriggerEventInMainThread` (the
//   default) the ring is drained by a queued dispatcher call on the UI thread; otherwise the
//   thread that produced an event delivers it (the play thread as soon as it holds no lock of
//   the playback), one handler call at a time; such a handler must not call the component's
//   operations, which are for the UI thread. `Stop(true)` delivers whatever is left before it
//   returns, so `psStop` reaches `OnState` before that.
//
// Failures: `Open` returns false and keeps the reason in `LastErrorMessage`; every failure is
// also logged through the log relay at llError with the player as sender. Problems during
// playback (seek, read and decoder errors) are logged and playback goes on.
//
// Times are microseconds from the start of the file; -1 marks an unknown time.
#pragma once

#include <QImage>
#include <QString>
#include <atomic>
#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/FFBaseComponent.h"
#include "medialib/FFmpegLoader.h"

class QWidget;

enum TPlayState { psPlay, psPause, psResume, psStep, psStop, psEnd };
// SDL's audio driver: adDefault leaves the choice to SDL; adDirectSound asks for the sound
// server ("pulseaudio"), adWaveOut for the sound card itself ("alsa").
enum TAudioDriver { adDefault, adDirectSound, adWaveOut };
// Pictures are drawn by Qt; the video driver choice is kept for callers and has no effect.
enum TVideoDriver { vdDefault, vdDirectDraw, vdGDI };

// Seek flags, in the media library's bit order.
enum : int { sfBackward = 1, sfByte = 2, sfAny = 4, sfFrame = 8 };

using TFileOpenEvent = std::function<void(void* sender, int64_t duration, int frameWidth,
                                          int frameHeight, int& screenWidth, int& screenHeight)>;
using TPositionEvent = std::function<void(void* sender, int64_t pts)>;
using TPlayStateEvent = std::function<void(void* sender, TPlayState state)>;
// Called on the video thread with each decoded picture as a 24-bit image; changes made to the
// image are what is shown.
using THookEvent = std::function<void(void* sender, QImage& bitmap, int64_t pts)>;

// What a playback measured, for the command line, benchmarks and tests.
struct TPlaybackStats {
    // Seconds from the call of Open to the first picture on screen; -1 before it.
    double openToFirstPicture = -1;
    int picturesShown = 0;
    int picturesDropped = 0;  // decoded but never shown (late, or skipped to catch up)
    // One entry per picture shown while playing: its media time (s), the wall time it was
    // shown (monotonic s), and its A/V error (s): picture time minus the audio clock at that
    // moment (NaN when the audio clock was not running).
    struct Shown {
        double pts;
        double wall;
        double error;
    };
    std::vector<Shown> shown;
    // One entry per audio device callback: when it ran (monotonic s), how many sample frames
    // it handed to the device, and the largest absolute sample value it handed over.
    struct AudioBuffer {
        double wall;
        int frames;
        int peak;
    };
    std::vector<AudioBuffer> audio;
};

namespace player {
struct Playback;
class EventRing;
class VideoOutput;
}  // namespace player

class TCustomPlayer : public TFFBaseComponent {
public:
    TCustomPlayer();
    ~TCustomPlayer() override;  // clears the handlers, then Stop(true)

    // Library binding (the player set: the conversion set plus SDL2).
    bool LibrariesLoaded() const;
    bool LoadLibraries(const TPathFileName& folder);

    // Stops any playback (delivering its psStop), then opens `fileName`. `screen` is the
    // widget to draw into (null: no picture is drawn). With `startPaused` the first picture is
    // shown and the playback stays paused (psPause). Raises OnFileOpen before it returns true.
    // False with LastErrorMessage: "libav or libsdl not loaded.", "<name>: <library error
    // text>", "<name>: could not find codec parameters", "<name>: could not open codecs, no
    // stream to play.", "Could not initialize SDL with ScreenHandle(%u): %s".
    bool Open(const TPathFileName& fileName, QWidget* screen, bool startPaused);
    // Ends the playback. With wait, returns when every player thread has ended and the
    // remaining events (psStop last) have been delivered; called on a player thread it does
    // not wait.
    void Stop(bool wait);
    void Pause();        // when playing and not paused: pause, post psPause
    void Resume();       // when paused: resume, post psResume
    void TogglePause();  // switch, post psPause or psResume
    // Seeks to `position` (µs from the start; a byte offset with sfByte), clamped to the
    // duration when that is known. A request while another is pending is ignored. With wait,
    // returns once the seek is carried out and, with video, the first picture after it is on
    // screen (at most 10 s).
    void Seek(int flags, bool wait, int64_t position);
    // The picture on screen as a 24-bit image at the video's own size: black before the first
    // picture (pts -1), empty without video (pts -1). The caller owns the copy.
    QImage CurrentFrame(int64_t* pts);
    QImage CurrentFrame() { return CurrentFrame(nullptr); }

    TPlayState State() const { return state_.load(); }
    std::string LastErrorMessage() const;
    QWidget* ScreenHandle() const { return screenHandle_; }
    TPathFileName FileName() const { return fileName_; }
    // True while a playback exists (from a successful Open until Stop).
    bool Active() const;
    // The position last computed by position reporting (µs), -1 when none.
    int64_t CurrentPosition() const { return currentPosition_.load(); }
    // Statistics of the current (or last) playback.
    TPlaybackStats Stats() const;

    // Properties.
    float AspectRatio() const { return aspectRatio_.load(); }
    void SetAspectRatio(float value);
    TAudioDriver AudioDriver() const { return audioDriver_; }
    void SetAudioDriver(TAudioDriver value) { audioDriver_ = value; }
    TVideoDriver VideoDriver() const { return videoDriver_; }
    void SetVideoDriver(TVideoDriver value) { videoDriver_ = value; }
    int AudioVolume() const { return audioVolume_.load(); }
    void SetAudioVolume(int value);  // 0 … 128
    bool Mute() const { return mute_.load(); }
    void SetMute(bool value) { mute_ = value; }
    bool DisableAudio() const { return disableAudio_; }
    void SetDisableAudio(bool value) { disableAudio_ = value; }
    bool DisableVideo() const { return disableVideo_; }
    void SetDisableVideo(bool value) { disableVideo_ = value; }
    // Off (the panel's way): a seek made while paused shows the first picture it decodes, the
    // key frame at or before the target. On: the picture at the target, decoded up to it (what
    // a capture "at a time" needs). Taken by the next Open.
    bool ExactPausedSeek() const { return exactPausedSeek_; }
    void SetExactPausedSeek(bool value) { exactPausedSeek_ = value; }
    bool DisableDisplay() const { return disableDisplay_; }
    void SetDisableDisplay(bool value) { disableDisplay_ = value; }
    int FrameWidth() const { return frameWidth_; }
    void SetFrameWidth(int value) { frameWidth_ = value; }
    int FrameHeight() const { return frameHeight_; }
    void SetFrameHeight(int value) { frameHeight_ = value; }
    int ScreenWidth() const { return screenWidth_.load(); }
    void SetScreenWidth(int value) { screenWidth_ = value; }
    int ScreenHeight() const { return screenHeight_.load(); }
    void SetScreenHeight(int value) { screenHeight_ = value; }
    bool Hook() const { return hook_.load(); }
    void SetHook(bool value) { hook_ = value; }
    bool TriggerEventInMainThread() const { return triggerInMainThread_.load(); }
    void SetTriggerEventInMainThread(bool value) { triggerInMainThread_ = value; }

    void SetOnFileOpen(TFileOpenEvent handler);
    void SetOnPosition(TPositionEvent handler);
    void SetOnState(TPlayStateEvent handler);
    void SetOnHook(THookEvent handler);

    // Shuts SDL's audio down once, at the end of the process (UI thread). Registered with
    // atexit when the audio subsystem is first started; callable earlier by the program.
    static void ShutdownAudio();

private:
    friend struct player::Playback;

    void storeError(const std::string& text);
    void report(const std::string& text, bool store);
    // Records the state and posts it (psStop is always posted, it ends a delivery).
    void setState(TPlayState state);
    void postPosition(int64_t pts);
    void scheduleDelivery();
    void deliverEvents();
    // Without TriggerEventInMainThread: delivers what the play thread raised while it held its
    // lock (called by the play thread once it has let go of it).
    void deliverDeferred();
    void playThreadMain(player::Playback& pb);
    void joinPlayback();  // UI thread: joins the play thread and frees the playback
    // Position reporting, after each refresh (serialised by positionMutex_).
    void reportPosition(player::Playback& pb);
    THookEvent hookHandler() const;
    void countShown(double pts, double wall, double error);
    void countDropped();
    void countAudio(double wall, int frames, int peak);

    // Events and their handlers. handlerMutex_ guards the four handlers; they are copied out
    // before a call, so a handler may replace them.
    mutable std::mutex handlerMutex_;
    TFileOpenEvent onFileOpen_;
    TPositionEvent onPosition_;
    TPlayStateEvent onState_;
    THookEvent onHook_;
    std::shared_ptr<player::EventRing> ring_;
    std::mutex deliveryMutex_;  // serialises handler calls made on player threads

    // UI thread only.
    std::unique_ptr<player::Playback> playback_;
    std::thread playThread_;
    QWidget* screenHandle_ = nullptr;
    TPathFileName fileName_;
    TAudioDriver audioDriver_ = adDefault;
    TVideoDriver videoDriver_ = vdDefault;
    bool disableAudio_ = false, disableVideo_ = false, disableDisplay_ = false;
    bool exactPausedSeek_ = false;
    int frameWidth_ = 0, frameHeight_ = 0;
    std::shared_ptr<bool> alive_;  // false once destroyed; checked by queued deliveries

    // Any thread.
    mutable std::mutex errorMutex_;  // guards lastError_
    std::string lastError_;
    std::atomic<TPlayState> state_{psStop};
    std::atomic<float> aspectRatio_{0.0f};
    std::atomic<int> audioVolume_{128};
    std::atomic<bool> mute_{false};
    std::atomic<int> screenWidth_{0}, screenHeight_{0};
    std::atomic<bool> hook_{false};
    std::atomic<bool> triggerInMainThread_{true};
    std::atomic<int64_t> currentPosition_{-1};

    // Position reporting: positionMutex_ guards lastReported_ and endReported_.
    std::mutex positionMutex_;
    int64_t lastReported_ = INT64_MIN;
    bool endReported_ = false;

    // Statistics of the last playback; statsMutex_ guards them.
    mutable std::mutex statsMutex_;
    TPlaybackStats stats_;
    double openTime_ = 0;  // when Open was called (monotonic s)
};

class TFFPlayer : public TCustomPlayer {
public:
    std::string About;
    static std::string Version() { return "2.3"; }
};
