#include "player/SdlAudio.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <cstdlib>

#include "medialib/LibAV.h"

namespace player {
namespace {

// UI thread only.
bool gStarted = false;
bool gShutDown = false;

void shutdownAtExit() { ShutdownAudio(); }

}  // namespace

bool StartAudio(const char* driverName, std::string* error) {
    if (gStarted) return true;
    if (gShutDown) {
        if (error) *error = "the audio subsystem was shut down";
        return false;
    }
    if (!lav::SDL_InitSubSystem) {
        if (error) *error = "SDL not loaded";
        return false;
    }
    if (driverName && *driverName) lav::SDL_SetHint(SDL_HINT_AUDIODRIVER, driverName);
    // Signals are the program's: SDL would turn SIGINT and SIGTERM into quit events nobody reads.
    lav::SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (lav::SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        if (error) *error = lav::SDL_GetError();
        return false;
    }
    gStarted = true;
    std::atexit(&shutdownAtExit);
    return true;
}

std::string AudioDriverName() {
    if (!gStarted) return {};
    const char* name = lav::SDL_GetCurrentAudioDriver();
    return name ? name : "";
}

void ShutdownAudio() {
    if (!gStarted || gShutDown) return;
    gShutDown = true;
    gStarted = false;
    lav::SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

SdlSoundPlayer::~SdlSoundPlayer() { closeDevice(); }

void SdlSoundPlayer::closeDevice() {
    if (device_ && gStarted) lav::SDL_CloseAudioDevice(device_);
    device_ = 0;
}

bool SdlSoundPlayer::PlayFile(const QString& wavFile) {
    closeDevice();
    if (!StartAudio(nullptr, nullptr)) return false;
    SDL_RWops* rw = lav::SDL_RWFromFile(wavFile.toUtf8().constData(), "rb");
    if (!rw) return false;
    SDL_AudioSpec wav{};
    Uint8* data = nullptr;
    Uint32 length = 0;
    if (!lav::SDL_LoadWAV_RW(rw, 1, &wav, &data, &length)) return false;
    wav.callback = nullptr;  // queued sound
    device_ = lav::SDL_OpenAudioDevice(nullptr, 0, &wav, nullptr, 0);
    if (!device_) {
        lav::SDL_FreeWAV(data);
        return false;
    }
    const bool queued = lav::SDL_QueueAudio(device_, data, length) == 0;
    lav::SDL_FreeWAV(data);
    if (!queued) {
        closeDevice();
        return false;
    }
    lav::SDL_PauseAudioDevice(device_, 0);
    const int frameBytes = SDL_AUDIO_BITSIZE(wav.format) / 8 * std::max<int>(wav.channels, 1);
    const int ms = wav.freq > 0 ? static_cast<int>(1000.0 * length / frameBytes / wav.freq) : 0;
    if (QCoreApplication::instance()) {
        const unsigned generation = ++generation_;
        QTimer::singleShot(ms + 250, &timerContext_, [this, generation] {
            if (generation == generation_) closeDevice();
        });
    }
    return true;
}

}  // namespace player
