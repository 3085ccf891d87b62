#include "cli/Progress.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <algorithm>
#include <chrono>
#include <cmath>

#include <sys/ioctl.h>
#include <unistd.h>

namespace cli {

namespace {

constexpr int kBarWidth = 24;
constexpr int64_t kMinuteUs = 60'000'000;

int TerminalWidth(FILE* terminal) {
    winsize size{};
    if (::ioctl(::fileno(terminal), TIOCGWINSZ, &size) == 0 && size.ws_col >= 20)
        return size.ws_col;
    return 80;
}

QByteArray Figure(const char* format, double value, const char* unknown) {
    return value < 0 ? QByteArray(unknown) : QString::asprintf(format, value).toLatin1();
}

// Terminal columns of one UTF-16 unit: two for East Asian wide characters (CJK, Hangul,
// full-width forms), one for anything else; a surrogate pair (emoji, rarer ideographs) counts
// one per half, two in all.
int Columns(QChar c) {
    const char16_t u = c.unicode();
    const bool wide = (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF && u != 0x303F) ||
                      (u >= 0xAC00 && u <= 0xD7A3) || (u >= 0xF900 && u <= 0xFAFF) ||
                      (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60) ||
                      (u >= 0xFFE0 && u <= 0xFFE6);
    return wide ? 2 : 1;
}

// `name` cut from the left to at most `room` columns, so that its end (the file name) shows.
QString Fit(const QString& name, int room) {
    int total = 0;
    for (QChar c : name) total += Columns(c);
    if (total <= room) return name;
    if (room <= 0) return {};
    int used = 1;  // the ellipsis
    qsizetype start = name.size();
    while (start > 0) {
        qsizetype next = start - 1;
        if (name[next].isLowSurrogate() && next > 0 && name[next - 1].isHighSurrogate()) --next;
        int width = 0;
        for (qsizetype i = next; i < start; ++i) width += Columns(name[i]);
        if (used + width > room) break;
        used += width;
        start = next;
    }
    return QChar(0x2026) + name.mid(start);
}

}  // namespace

std::optional<ProgressForm> ProgressFormFromText(const QString& text) {
    if (text == QLatin1String("bar")) return ProgressForm::Bar;
    if (text == QLatin1String("lines")) return ProgressForm::Lines;
    if (text == QLatin1String("json")) return ProgressForm::Json;
    if (text == QLatin1String("none")) return ProgressForm::None;
    return std::nullopt;
}

ProgressForm DefaultProgressForm() {
    return ::isatty(STDERR_FILENO) ? ProgressForm::Bar : ProgressForm::Lines;
}

ProgressFigures Measure(int64_t timeUs, int64_t totalUs, int64_t mediaSinceUs,
                        int64_t wallSinceUs) {
    ProgressFigures f;
    if (totalUs > 0)
        f.percent = std::clamp(100.0 * static_cast<double>(timeUs) / static_cast<double>(totalUs),
                               0.0, 100.0);
    if (wallSinceUs > 0 && mediaSinceUs >= 0)
        f.speed = static_cast<double>(mediaSinceUs) / static_cast<double>(wallSinceUs);
    if (totalUs > 0 && f.speed > 0)
        f.leftUs = static_cast<int64_t>(
            std::llround(static_cast<double>(std::max<int64_t>(0, totalUs - timeUs)) / f.speed));
    return f;
}

QString ClockText(int64_t us) {
    if (us < 0) return QStringLiteral("--:--:--");
    const int64_t s = us / 1'000'000;
    return QString::asprintf("%02lld:%02d:%02d", static_cast<long long>(s / 3600),
                             static_cast<int>(s / 60 % 60), static_cast<int>(s % 60));
}

int64_t ProgressReporter::Now() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

ProgressReporter::ProgressReporter(ProgressForm form, FILE* events, FILE* terminal, int width)
    : form_(form),
      events_(events),
      terminal_(terminal),
      width_(width > 0 ? width : TerminalWidth(terminal)) {}

void ProgressReporter::Begin(int file, const QString& name, std::optional<int64_t> startedUs) {
    File& f = files_[file];
    f.name = name;
    if (startedUs && !f.originWallUs) {
        f.originWallUs = startedUs;
        f.originMediaUs = 0;
    }
}

void ProgressReporter::Report(int file, int task, const TProgressInfo& info, int64_t nowUs) {
    File& f = files_[file];
    if (!f.originWallUs) {  // speed from the first report on
        f.originWallUs = nowUs;
        f.originMediaUs = info.CurrentDuration;
    }
    f.running = true;
    f.timeUs = info.CurrentDuration;
    f.totalUs = info.TotalDuration;
    f.figures = Measure(info.CurrentDuration, info.TotalDuration,
                        info.CurrentDuration - f.originMediaUs, nowUs - *f.originWallUs);
    switch (form_) {
        case ProgressForm::Json:
            Event(QJsonObject{{"event", "progress"},
                              {"file", file},
                              {"task", task},
                              {"fileIndex", info.FileIndex},
                              {"frame", info.FrameNumber},
                              {"fps", info.FPS},
                              {"quality", info.Quality},
                              {"bitrate", info.BitRate},
                              {"size", static_cast<qint64>(info.CurrentSize)},
                              {"time", static_cast<qint64>(info.CurrentDuration)},
                              {"total", static_cast<qint64>(info.TotalDuration)},
                              {"percent", f.figures.percent},
                              {"speed", f.figures.speed},
                              {"left", static_cast<qint64>(f.figures.leftUs)}});
            break;
        case ProgressForm::Bar:
            Draw();
            break;
        case ProgressForm::Lines: {
            // A line each time another tenth is passed (another minute when the length is
            // unknown).
            const int step = f.figures.percent >= 0 ? static_cast<int>(f.figures.percent / 10)
                                                    : static_cast<int>(f.timeUs / kMinuteUs);
            if (step <= f.lastTenth) break;
            f.lastTenth = step;
            const QByteArray line =
                f.name.toLocal8Bit() + ": " +
                (f.figures.percent >= 0 ? Figure("%.1f%%", f.figures.percent, "") + " "
                                        : QByteArray()) +
                ClockText(f.timeUs).toLatin1() + " " + Figure("%.2fx", f.figures.speed, "--x") +
                " left " + ClockText(f.figures.leftUs).toLatin1();
            std::fprintf(terminal_, "%s\n", line.constData());
            std::fflush(terminal_);
            break;
        }
        case ProgressForm::None:
            break;
    }
}

void ProgressReporter::End(int file, bool finished, bool hasError, const QString& error,
                           const QJsonObject& extra) {
    File& f = files_[file];
    if (form_ == ProgressForm::Json) {
        QJsonObject o{{"event", "end"},
                      {"file", file},
                      {"finished", finished},
                      {"hasError", hasError},
                      {"error", error}};
        for (auto it = extra.begin(); it != extra.end(); ++it) o.insert(it.key(), it.value());
        Event(o);
    }
    if (form_ == ProgressForm::Bar && f.running) {
        // Its last bar stays as a line of its own: how far and how fast it went.
        Lift();
        std::fprintf(terminal_, "%s\n", BarLine(f).constData());
        f.running = false;
        Draw();
    }
    f.running = false;
}

void ProgressReporter::Say(FILE* out, const QByteArray& line) {
    Lift();
    std::fflush(terminal_);
    std::fprintf(out, "%s\n", line.constData());
    std::fflush(out);
    Draw();
}

void ProgressReporter::Event(const QJsonObject& event) {
    if (form_ != ProgressForm::Json) return;
    std::fprintf(events_, "%s\n", QJsonDocument(event).toJson(QJsonDocument::Compact).constData());
    std::fflush(events_);
}

void ProgressReporter::Close() {
    Lift();
    std::fflush(terminal_);
}

QByteArray ProgressReporter::BarLine(const File& f) const {
    const int filled =
        f.figures.percent < 0 ? 0 : static_cast<int>(f.figures.percent * kBarWidth / 100);
    QByteArray line = "[" + QByteArray(filled, '#') + QByteArray(kBarWidth - filled, ' ') + "] " +
                      Figure("%5.1f%%", f.figures.percent, "  --.-%") + " " +
                      Figure("%6.2fx", f.figures.speed, "    --x") + " left " +
                      ClockText(f.figures.leftUs).toLatin1() + " ";
    // The name takes what is left of the terminal's width (one column spare: a line that fills
    // the width would wrap on some terminals and break the redraw).
    const int room = width_ - 1 - static_cast<int>(line.size());
    return line + Fit(QFileInfo(f.name).fileName(), room).toLocal8Bit();
}

void ProgressReporter::Draw() {
    if (form_ != ProgressForm::Bar) return;
    QByteArray out;
    if (drawn_ > 1) out += "\x1b[" + QByteArray::number(drawn_ - 1) + "A";
    int lines = 0;
    for (const auto& [number, f] : files_) {
        if (!f.running) continue;
        if (lines > 0) out += "\x1b[K\n";
        out += "\r" + BarLine(f);
        ++lines;
    }
    if (lines == 0 && drawn_ == 0) return;
    out += lines == 0 ? QByteArray("\r\x1b[J") : QByteArray("\x1b[J");
    std::fwrite(out.constData(), 1, static_cast<size_t>(out.size()), terminal_);
    std::fflush(terminal_);
    drawn_ = lines;
}

void ProgressReporter::Lift() {
    if (form_ != ProgressForm::Bar || drawn_ == 0) return;
    QByteArray out;
    if (drawn_ > 1) out += "\x1b[" + QByteArray::number(drawn_ - 1) + "A";
    out += "\r\x1b[J";
    std::fwrite(out.constData(), 1, static_cast<size_t>(out.size()), terminal_);
    drawn_ = 0;
}

}  // namespace cli
