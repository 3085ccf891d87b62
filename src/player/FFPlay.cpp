#include "player/FFPlay.h"

#include <cmath>

#include "engine/FFUtils.h"
#include "engine/FFmpegLogger.h"
#include "engine/MainThread.h"
#include "engine/MediaLibraries.h"
#include "player/EventRing.h"
#include "player/Playback.h"
#include "player/SdlAudio.h"

using player::Playback;
using player::PlayerEvent;

namespace {

constexpr size_t kMaxShownRecords = 200000;
constexpr size_t kMaxAudioRecords = 100000;

// SDL's name for a driver choice; null leaves the choice to SDL.
const char* audioDriverName(TAudioDriver driver) {
    switch (driver) {
        case adDirectSound:
            return "pulseaudio";
        case adWaveOut:
            return "alsa";
        default:
            return nullptr;
    }
}

// Waits (without running anything else) until the last seek request has been carried out and,
// with video, its first picture is on screen; at most `limit`.
void waitSeekShown(Playback& pb, std::chrono::milliseconds limit, bool needPicture) {
    std::unique_lock<std::mutex> lk(pb.seekMutex);
    pb.seekCv.wait_for(lk, limit, [&] {
        if (pb.abort.load()) return true;
        if (!pb.seekDone) return false;
        if (!needPicture || pb.seekFailed || !pb.videoSt) return true;
        if (pb.shownSerial >= pb.seekSerial) return true;
        // At the end of the file only a picture already queued for this seek can still come: the
        // first picture of a seek is shown at once, also while paused.
        return pb.videoEofSerial >= pb.seekSerial && pb.queuedSerial < pb.seekSerial;
    });
}

}  // namespace

TCustomPlayer::TCustomPlayer()
    : ring_(std::make_shared<player::EventRing>()), alive_(std::make_shared<bool>(true)) {}

TCustomPlayer::~TCustomPlayer() {
    {
        std::lock_guard<std::mutex> lk(handlerMutex_);
        onFileOpen_ = nullptr;
        onPosition_ = nullptr;
        onState_ = nullptr;
        onHook_ = nullptr;
    }
    Stop(true);
    *alive_ = false;
}

bool TCustomPlayer::LibrariesLoaded() const { return FFLoader().AllLoaded(kPlayerSet); }

bool TCustomPlayer::LoadLibraries(const TPathFileName& folder) {
    std::string error;
    if (LoadMediaLibraries(kPlayerSet, folder, &error)) return true;
    storeError(error);
    return false;
}

void TCustomPlayer::storeError(const std::string& text) {
    std::lock_guard<std::mutex> lk(errorMutex_);
    lastError_ = text;
}

std::string TCustomPlayer::LastErrorMessage() const {
    std::lock_guard<std::mutex> lk(errorMutex_);
    return lastError_;
}

void TCustomPlayer::report(const std::string& text, bool store) {
    if (store) storeError(text);
    GetLogger()->LogMessage(this, llError, text);
}

bool TCustomPlayer::Active() const { return playback_ && !playback_->closed.load(); }

void TCustomPlayer::SetAudioVolume(int value) { audioVolume_ = std::clamp(value, 0, 128); }

void TCustomPlayer::SetAspectRatio(float value) {
    if (aspectRatio_.exchange(value) != value && Active()) playback_->PostEvent(Playback::evReopen);
}

void TCustomPlayer::SetOnFileOpen(TFileOpenEvent handler) {
    std::lock_guard<std::mutex> lk(handlerMutex_);
    onFileOpen_ = std::move(handler);
}

void TCustomPlayer::SetOnPosition(TPositionEvent handler) {
    std::lock_guard<std::mutex> lk(handlerMutex_);
    onPosition_ = std::move(handler);
}

void TCustomPlayer::SetOnState(TPlayStateEvent handler) {
    std::lock_guard<std::mutex> lk(handlerMutex_);
    onState_ = std::move(handler);
}

void TCustomPlayer::SetOnHook(THookEvent handler) {
    std::lock_guard<std::mutex> lk(handlerMutex_);
    onHook_ = std::move(handler);
}

THookEvent TCustomPlayer::hookHandler() const {
    std::lock_guard<std::mutex> lk(handlerMutex_);
    return onHook_;
}

void TCustomPlayer::ShutdownAudio() { player::ShutdownAudio(); }

// ---------------------------------------------------------------------------------------------
// Open and stop.

bool TCustomPlayer::Open(const TPathFileName& fileName, QWidget* screen, bool startPaused) {
    if (!LibrariesLoaded()) {
        report("libav or libsdl not loaded.", true);
        return false;
    }
    Stop(true);

    std::string sdlError;
    if (!player::StartAudio(audioDriverName(audioDriver_), &sdlError)) {
        report(Format("Could not initialize SDL with ScreenHandle(%u): %s",
                      static_cast<unsigned>(reinterpret_cast<uintptr_t>(screen)), sdlError.c_str()),
               true);
        return false;
    }
    {
        std::lock_guard<std::mutex> lk(statsMutex_);
        stats_ = TPlaybackStats{};
        openTime_ = player::Now();
    }
    {
        std::lock_guard<std::mutex> lk(positionMutex_);
        lastReported_ = INT64_MIN;
    }
    currentPosition_ = -1;

    auto pb = std::make_unique<Playback>(this);
    pb->fileName = fileName;
    pb->startPaused = startPaused;
    pb->disableAudio = disableAudio_;
    pb->disableDisplay = disableDisplay_;
    pb->exactPausedSeek = exactPausedSeek_;
    pb->disableVideo = disableVideo_ || disableDisplay_;
    pb->requestedWidth = frameWidth_;
    pb->requestedHeight = frameHeight_;
    if (screen && !disableDisplay_) {
        Playback* raw = pb.get();
        pb->output = player::CreateWidgetOutput(
            screen,
            [this, raw] {
                const QSize size = raw->output->SurfaceSize();
                screenWidth_ = size.width();
                screenHeight_ = size.height();
                raw->PostEvent(Playback::evResized);
            },
            [raw] { raw->PostEvent(Playback::evExposed); });
    }
    if (!pb->StreamOpen()) {
        pb->Close();
        return false;
    }
    pb->pausePending = startPaused && pb->videoSt;
    playback_ = std::move(pb);
    screenHandle_ = screen;
    fileName_ = fileName;

    Playback& p = *playback_;
    const int64_t duration = p.imageSequence ? 0 : p.containerDuration;
    int frameW = -1, frameH = -1;
    if (p.videoSt && p.vdec && p.vdec->width > 0) {
        frameW = p.vdec->width;
        frameH = p.vdec->height;
    }
    int screenW = screenWidth_, screenH = screenHeight_;
    TFileOpenEvent handler;
    {
        std::lock_guard<std::mutex> lk(handlerMutex_);
        handler = onFileOpen_;
    }
    if (handler) {
        try {
            handler(this, duration, frameW, frameH, screenW, screenH);
        } catch (const std::exception& e) {
            GetLogger()->LogMessage(this, llError, std::string("OnFileOpen: ") + e.what());
        }
    }
    if (p.output && (screenW == 0 || screenH == 0)) {
        const QSize size = p.output->SurfaceSize();
        screenW = size.width();
        screenH = size.height();
    }
    screenWidth_ = screenW;
    screenHeight_ = screenH;
    playThread_ = std::thread([this, &p] { playThreadMain(p); });
    return true;
}

void TCustomPlayer::playThreadMain(Playback& pb) {
    player::NameThread("player-play");
    setState(psPlay);
    if (pb.startPaused && !pb.videoSt) setState(psPause);
    try {
        pb.EventLoop();
    } catch (const std::exception& e) {
        GetLogger()->LogMessage(this, llFatal, std::string("PlayThread Exception: ") + e.what());
    }
    pb.Close();
    setState(psStop);
}

void TCustomPlayer::Stop(bool wait) {
    if (playback_ && !playback_->closed.load()) playback_->PostEvent(Playback::evQuit);
    if (!wait || player::OnPlayerThread()) return;
    joinPlayback();
    if (triggerInMainThread_.load()) deliverEvents();
}

void TCustomPlayer::joinPlayback() {
    if (playThread_.joinable()) playThread_.join();
    if (playback_) {
        playback_->Close();
        playback_.reset();
    }
}

// ---------------------------------------------------------------------------------------------
// Pause, resume, seek.

void TCustomPlayer::Pause() {
    if (!Active()) return;
    Playback& pb = *playback_;
    if (pb.paused.load()) return;
    waitSeekShown(pb, std::chrono::milliseconds(250), true);
    {
        std::lock_guard<std::mutex> lk(pb.playLock);
        if (pb.paused.load()) return;
        pb.SetPaused(true);
    }
    setState(psPause);
}

void TCustomPlayer::Resume() {
    if (!Active()) return;
    Playback& pb = *playback_;
    if (!pb.paused.load()) return;
    waitSeekShown(pb, std::chrono::milliseconds(250), false);
    {
        std::lock_guard<std::mutex> lk(pb.playLock);
        if (!pb.paused.load()) return;
        pb.SetPaused(false);
        pb.pausePending = false;
    }
    setState(psResume);
}

void TCustomPlayer::TogglePause() {
    if (!Active()) return;
    if (playback_->paused.load())
        Resume();
    else
        Pause();
}

void TCustomPlayer::Seek(int flags, bool wait, int64_t position) {
    if (!Active()) return;
    Playback& pb = *playback_;
    int64_t target = position;
    if (!(flags & sfByte)) {
        // An unknown duration sets no upper bound; the position is taken as given.
        if (pb.containerDuration > 0 && target > pb.containerDuration)
            target = pb.containerDuration;
        if (target < 0) target = 0;
        target += pb.containerStart;
    }
    pb.RequestSeek(target, flags);
    if (wait) waitSeekShown(pb, std::chrono::seconds(10), true);
}

QImage TCustomPlayer::CurrentFrame(int64_t* pts) {
    if (pts) *pts = -1;
    if (!playback_) return QImage();
    return playback_->CurrentImage(pts);
}

// ---------------------------------------------------------------------------------------------
// Events.

void TCustomPlayer::setState(TPlayState state) {
    state_ = state;
    {
        std::lock_guard<std::mutex> lk(handlerMutex_);
        if (!onState_) return;
    }
    PlayerEvent ev;
    ev.kind = PlayerEvent::State;
    ev.state = state;
    if (ring_->Push(ev) || !triggerInMainThread_.load()) scheduleDelivery();
}

void TCustomPlayer::postPosition(int64_t pts) {
    {
        std::lock_guard<std::mutex> lk(handlerMutex_);
        if (!onPosition_) return;
    }
    PlayerEvent ev;
    ev.kind = PlayerEvent::Position;
    ev.value = pts;
    if (ring_->Push(ev) || !triggerInMainThread_.load()) scheduleDelivery();
}

void TCustomPlayer::scheduleDelivery() {
    if (!triggerInMainThread_.load()) {
        if (!player::DeferDelivery::Active()) deliverEvents();
        return;
    }
    std::weak_ptr<bool> alive = alive_;
    mainthread::Post([this, alive] {
        const auto flag = alive.lock();
        if (flag && *flag) deliverEvents();
    });
}

void TCustomPlayer::deliverDeferred() {
    if (!triggerInMainThread_.load()) deliverEvents();
}

void TCustomPlayer::deliverEvents() {
    std::unique_lock<std::mutex> serial(deliveryMutex_, std::defer_lock);
    if (!mainthread::IsUiThread()) serial.lock();
    PlayerEvent ev;
    while (ring_->Pop(&ev)) {
        try {
            if (ev.kind == PlayerEvent::Position) {
                TPositionEvent handler;
                {
                    std::lock_guard<std::mutex> lk(handlerMutex_);
                    handler = onPosition_;
                }
                if (handler) handler(this, ev.value);
            } else {
                TPlayStateEvent handler;
                {
                    std::lock_guard<std::mutex> lk(handlerMutex_);
                    handler = onState_;
                }
                if (handler) handler(this, static_cast<TPlayState>(ev.state));
            }
        } catch (const std::exception& e) {
            GetLogger()->LogMessage(this, llError, std::string("Event handler: ") + e.what());
        }
    }
}

void TCustomPlayer::reportPosition(Playback& pb) {
    if (pb.imageSequence) return;
    const double now = player::Now();
    double clock;
    if (pb.videoSt)
        clock = pb.VideoClock(now);
    else if (pb.audioSt)
        clock = pb.AudioClock(now);
    else
        return;
    if (std::isnan(clock)) return;
    std::lock_guard<std::mutex> lk(positionMutex_);
    int64_t pos = static_cast<int64_t>(std::llround(clock * 1e6)) - pb.containerStart;
    if (!pb.videoSt && pb.audioStreamDuration > 0 && pos >= pb.audioStreamDuration &&
        pos < pb.containerDuration)
        pos = pb.containerDuration;
    if (pb.containerDuration > 0 && pos >= pb.containerDuration) {
        pos = pb.containerDuration;
        if (lastReported_ != pos) lastReported_ = 0;  // make sure the end is reported
    }
    currentPosition_ = pos;
    if (lastReported_ == INT64_MIN || std::llabs(pos - lastReported_) > 10000) {
        lastReported_ = pos;
        postPosition(pos);
    }
}

// ---------------------------------------------------------------------------------------------
// Statistics.

TPlaybackStats TCustomPlayer::Stats() const {
    std::lock_guard<std::mutex> lk(statsMutex_);
    return stats_;
}

void TCustomPlayer::countShown(double pts, double wall, double error) {
    std::lock_guard<std::mutex> lk(statsMutex_);
    if (stats_.openToFirstPicture < 0) stats_.openToFirstPicture = wall - openTime_;
    ++stats_.picturesShown;
    if (stats_.shown.size() < kMaxShownRecords) stats_.shown.push_back({pts, wall, error});
}

void TCustomPlayer::countDropped() {
    std::lock_guard<std::mutex> lk(statsMutex_);
    ++stats_.picturesDropped;
}

void TCustomPlayer::countAudio(double wall, int frames, int peak) {
    std::lock_guard<std::mutex> lk(statsMutex_);
    if (stats_.audio.size() < kMaxAudioRecords) stats_.audio.push_back({wall, frames, peak});
}
