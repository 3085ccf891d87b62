// Helpers for the player tests: a fixture that binds the player's libraries and drives the
// dispatcher, waits on conditions, reading the frame number drawn into a picture, reference
// decodes by the ffmpeg program, image comparisons and the process's threads.
#pragma once

#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "player/FFPlay.h"

namespace playertest {

// Waits on the UI thread (running dispatcher calls meanwhile) until `done`; false when `limit`
// seconds passed first.
bool WaitUntil(const std::function<bool()>& done, double limit = 30);

// The frame number drawn into a picture of the numbered clips (-1 when the band is not there).
int FrameNumber(const QImage& picture);

// Picture `index` (in presentation order) of a file as the ffmpeg program decodes it, 24-bit.
QImage ReferenceFrame(const std::string& path, int index);
// A picture file as the ffmpeg program decodes it, 24-bit.
QImage DecodeImageFile(const std::string& path);

double MeanAbsError(const QImage& a, const QImage& b);
int MaxAbsError(const QImage& a, const QImage& b);
double Psnr(const QImage& a, const QImage& b);
int ColourCount(const QImage& image);

// Names of the process's threads (from /proc/self/task), with the count of each.
std::map<std::string, int> ThreadNames();
// Names of threads that belong to playback: ours ("player-…") and SDL's audio threads.
std::vector<std::string> PlaybackThreads();
// CPU time (s) used so far by the playback threads.
double PlaybackThreadsCpu();
// Time (s) the playback threads alive now have spent runnable but waiting for a processor: what
// a busy machine takes from real-time playback.
double PlaybackThreadsWaitForCpu();

// What a player's handlers saw, in order: "open:<duration>:<w>x<h>", "state:<n>", "pos".
struct Recorder {
    Recorder() = default;
    explicit Recorder(TCustomPlayer& player) { Attach(player); }
    std::vector<std::string> log;
    std::vector<TPlayState> states;
    std::vector<int64_t> positions;
    int64_t duration = -2;
    int frameWidth = -2, frameHeight = -2;
    void Attach(TCustomPlayer& player);
    int Count(TPlayState s) const;
    bool Last(TPlayState s) const { return !states.empty() && states.back() == s; }
};

// Opens the fixture clip `id`, paused on its first picture when `paused`; the player's error
// message when it fails.
::testing::AssertionResult OpenClip(TCustomPlayer& player, const std::string& id, bool paused);

// Binds the player set, makes the test thread the UI thread.
class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override;
};

// Statistics helpers on |error| (ms) of the pictures shown while playing with pts in [from, to].
struct SyncFigures {
    size_t count = 0;
    double median = 0, p95 = 0, max = 0;
};
SyncFigures Figures(const TPlaybackStats& stats, double from, double to);

}  // namespace playertest
