// Progress of tandrel-cli's conversions (`convert`, `transcode`) in one of three forms:
// - bar:   one line per running file on a terminal (standard error), redrawn in place: bar,
//          percentage, speed as a multiple of real time, time left, name;
// - lines: plain lines on standard error for logs and pipes, one per file each time it passes
//          another tenth of its length (another minute when the length is unknown);
// - json:  one JSON object per line on standard output for scripts: "progress" and "end" events
//          (and whatever the command adds through Event()).
// UI thread only (the engine's progress events arrive there).
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>

#include "engine/FFmpegTypes.h"

namespace cli {

enum class ProgressForm { Bar, Lines, Json, None };

// "bar", "lines", "json", "none"; nullopt for anything else.
std::optional<ProgressForm> ProgressFormFromText(const QString& text);
// Without a choice: a bar when standard error is a terminal, else plain lines.
ProgressForm DefaultProgressForm();

// What a progress report says, measured against the wall clock.
struct ProgressFigures {
    double percent = -1;  // of the expected length; -1 when the length is unknown
    double speed = -1;    // seconds of media per second of wall time; -1 not measured yet
    int64_t leftUs = -1;  // wall time still needed at that speed; -1 unknown
};
// `timeUs` of `totalUs` (-1: unknown) done; `mediaSinceUs` of it converted in the last
// `wallSinceUs` of wall time.
ProgressFigures Measure(int64_t timeUs, int64_t totalUs, int64_t mediaSinceUs, int64_t wallSinceUs);

// "HH:MM:SS", "--:--:--" for a negative time.
QString ClockText(int64_t us);

class ProgressReporter {
public:
    // `events`: where JSON events go; `terminal`: where bars and lines go; `width`: the
    // terminal's columns (0: ask the terminal, 80 when it cannot tell).
    explicit ProgressReporter(ProgressForm form, FILE* events = stdout, FILE* terminal = stderr,
                              int width = 0);
    ProgressForm Form() const { return form_; }

    // Names `file` for its bar and lines. `startedUs`: the wall time (steady clock, µs) at
    // which its conversion began, when known and before its first report; otherwise speed is
    // measured from its first report.
    void Begin(int file, const QString& name, std::optional<int64_t> startedUs = std::nullopt);
    // A progress report of `file` (engine task `task`) received at wall time `nowUs`.
    void Report(int file, int task, const TProgressInfo& info, int64_t nowUs);
    // `file` ended: its last bar stays as a line of its own; the JSON form prints an "end" event
    // with `extra`'s fields too. The command says the outcome in words itself (Say).
    void End(int file, bool finished, bool hasError, const QString& error,
             const QJsonObject& extra = {});
    // A line for the user on `out` (its line end is added): the bars step aside for it.
    void Say(FILE* out, const QByteArray& line);
    // A JSON event of the command's own; nothing in the other forms.
    void Event(const QJsonObject& event);
    // Removes the bars (the terminal is left on a fresh line); the reporter stays usable.
    void Close();

    // The wall clock the commands pass to Report (steady, µs).
    static int64_t Now();

private:
    struct File {
        QString name;
        bool running = false;
        std::optional<int64_t> originWallUs;  // wall time of the speed's origin
        int64_t originMediaUs = 0;            // media time at that origin
        int64_t timeUs = 0, totalUs = -1;
        ProgressFigures figures;
        int lastTenth = 0;  // lines form: the last tenth printed
    };
    void Draw();
    void Lift();
    QByteArray BarLine(const File& file) const;

    const ProgressForm form_;
    FILE* const events_;
    FILE* const terminal_;
    const int width_;
    std::map<int, File> files_;  // by file number, in order
    int drawn_ = 0;              // bar lines on the terminal now (the cursor is on the last)
};

}  // namespace cli
