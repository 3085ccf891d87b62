// SDL2's audio subsystem for the player: started once per process, shut down once, both from
// the UI thread; and the capture sound played after a snapshot.
#pragma once

#include <QObject>
#include <QString>
#include <string>

namespace player {

// Starts SDL's audio subsystem on first use. The driver choice is an SDL hint set once, before
// the start: `driverName` empty leaves the choice to SDL. An SDL_AUDIODRIVER environment
// variable set before the program started wins over the hint (SDL reads the environment
// first), which is how tests choose the "dummy" driver. False with SDL's reason in *error.
bool StartAudio(const char* driverName, std::string* error);
// The driver SDL uses ("dummy", "pulseaudio", …); empty before the start.
std::string AudioDriverName();
// Shuts the subsystem down (once; later calls and StartAudio afterwards do nothing).
void ShutdownAudio();

// Plays short sounds asynchronously. UI thread.
class ISoundPlayer {
public:
    virtual ~ISoundPlayer() = default;
    // Starts playing a WAV file and returns at once; false when it cannot be played.
    virtual bool PlayFile(const QString& wavFile) = 0;
};

// Through SDL2: each sound gets its own device, closed when the next sound starts, when the
// sound has had time to finish (a timer, when a Qt event loop runs), or with this object.
class SdlSoundPlayer final : public ISoundPlayer {
public:
    ~SdlSoundPlayer() override;
    bool PlayFile(const QString& wavFile) override;
    // True while a sound's device is open.
    bool Busy() const { return device_ != 0; }

private:
    void closeDevice();
    unsigned device_ = 0;
    unsigned generation_ = 0;
    QObject timerContext_;  // its timers die with this object
};

}  // namespace player
