// tandrel-cli play and snapshot: the player component without a window.
#include <QCommandLineParser>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "cli/Commands.h"
#include "engine/ProcessSignals.h"
#include "engine/MainThread.h"
#include "engine/MediaLibraries.h"
#include "platform/AppPaths.h"
#include "platform/IniFile.h"
#include "player/FFPlay.h"
#include "player/SdlAudio.h"
#include "player/Snapshot.h"

namespace {

// Parses args; returns -1 to go on, else the exit status (help printed, or a usage error).
int parse(QCommandLineParser& parser, const QCommandLineOption& help, const QStringList& args,
          const QString& usage, const char* command) {
    parser.addOption(help);
    if (!parser.parse(args)) {
        std::fprintf(stderr, "tandrel-cli %s: %s\n%s", command,
                     parser.errorText().toUtf8().constData(), usage.toUtf8().constData());
        return 2;
    }
    if (parser.isSet(help)) {
        QString text = parser.helpText();
        text.replace(0, text.indexOf(QLatin1Char('\n')) + 1, usage);
        std::fputs(text.toUtf8().constData(), stdout);
        return 0;
    }
    if (parser.positionalArguments().size() != 1) {
        std::fprintf(stderr, "tandrel-cli %s: give exactly one FILE\n%s", command,
                     usage.toUtf8().constData());
        return 2;
    }
    return -1;
}

bool parseSeconds(const QString& text, double* value) {
    bool ok = false;
    *value = text.toDouble(&ok);
    return ok && std::isfinite(*value) && *value >= 0;
}

bool loadPlayerLibraries() {
    std::string error;
    if (LoadMediaLibraries(kPlayerSet, DefaultLibraryPath(), &error)) return true;
    std::fprintf(stderr, "tandrel-cli: %s\n", error.c_str());
    return false;
}

// Waits on the UI thread until `done`, until `limit` seconds have passed, or until a signal asks
// the program to end.
bool waitFor(const std::function<bool()>& done, double limit) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(limit);
    mainthread::WaitPumping(
        [&] {
            return done() || procsignals::TerminationSignal() ||
                   std::chrono::steady_clock::now() >= until;
        },
        std::chrono::milliseconds(5));
    return done();
}

// Value at quantile q (nearest rank) of sorted values.
double rank(const std::vector<double>& sorted, double q) {
    if (sorted.empty()) return NAN;
    const size_t n = sorted.size();
    size_t k = static_cast<size_t>(std::ceil(q * static_cast<double>(n)));
    k = std::clamp<size_t>(k, 1, n);
    return sorted[k - 1];
}

QJsonValue number(double v) { return std::isnan(v) ? QJsonValue() : QJsonValue(v); }

}  // namespace

int RunPlay(const QStringList& args) {
    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption seconds(QStringLiteral("seconds"),
                                     QStringLiteral("Stop after N seconds of the file."),
                                     QStringLiteral("N"));
    const QCommandLineOption start(QStringLiteral("start"),
                                   QStringLiteral("Start at SEC seconds from the beginning."),
                                   QStringLiteral("SEC"));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("Print the statistics as JSON."));
    parser.setApplicationDescription(QStringLiteral(
        "Plays a media file with the player component, without a window: sound through SDL's "
        "audio driver (SDL_AUDIODRIVER chooses it), no picture output. Prints the time from "
        "opening to the first picture, the pictures shown and dropped, and the A/V error of "
        "every shown picture (picture time minus the audio clock when it was shown)."));
    parser.addOption(seconds);
    parser.addOption(start);
    parser.addOption(json);
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A media file."),
                                 QStringLiteral("FILE"));
    const QString usage =
        QStringLiteral("Usage: tandrel-cli play FILE [--seconds N] [--start SEC] [--json]\n");
    if (const int rc = parse(parser, help, args, usage, "play"); rc >= 0) return rc;
    double limit = 0, from = 0;
    if ((parser.isSet(seconds) && !parseSeconds(parser.value(seconds), &limit)) ||
        (parser.isSet(start) && !parseSeconds(parser.value(start), &from))) {
        std::fprintf(stderr, "tandrel-cli play: seconds must be numbers of 0 or more\n%s",
                     usage.toUtf8().constData());
        return 2;
    }
    const QString file = parser.positionalArguments().first();
    if (!loadPlayerLibraries()) return 1;
    procsignals::CatchTermination();  // Ctrl-C or SIGTERM ends the playback at once

    TFFPlayer player;
    if (!player.Open(file, nullptr, from > 0)) {
        std::fprintf(stderr, "%s\n", player.LastErrorMessage().c_str());
        return 1;
    }
    const auto stopped = [&] { return !player.Active() || player.State() == psEnd; };
    if (from > 0) {
        waitFor([&] { return stopped() || player.State() == psPause; }, 30);
        player.Seek(0, true, static_cast<int64_t>(std::llround(from * 1e6)));
        player.Resume();
    }
    const int64_t end = limit > 0 ? static_cast<int64_t>(std::llround((from + limit) * 1e6)) : -1;
    // A generous bound on the wall time, so that a stuck playback cannot hang the command.
    const double fileSeconds = limit > 0 ? limit : 3600;
    waitFor([&] { return stopped() || (end >= 0 && player.CurrentPosition() >= end); },
            fileSeconds * 3 + 30);
    const double played = std::max<int64_t>(player.CurrentPosition(), 0) / 1e6 - from;
    player.Stop(true);
    if (procsignals::TerminationSignal()) {
        std::fprintf(stderr, "tandrel-cli play: stopped by a signal after %.3f s\n", played);
        return 1;
    }

    const TPlaybackStats stats = player.Stats();
    std::vector<double> errors;
    QJsonArray shown;
    for (const TPlaybackStats::Shown& s : stats.shown) {
        if (!std::isnan(s.error)) errors.push_back(std::fabs(s.error) * 1000);
        shown.append(QJsonArray{s.pts, number(s.error * 1000)});
    }
    std::sort(errors.begin(), errors.end());
    const double median = rank(errors, 0.5), p95 = rank(errors, 0.95);
    const double max = errors.empty() ? NAN : errors.back();
    const double first = stats.openToFirstPicture >= 0 ? stats.openToFirstPicture * 1000 : NAN;

    if (parser.isSet(json)) {
        QJsonObject o;
        o.insert("file", file);
        o.insert("audio_driver", QString::fromStdString(player::AudioDriverName()));
        o.insert("seconds_played", played);
        o.insert("open_to_first_picture_ms", number(first));
        o.insert("pictures_shown", stats.picturesShown);
        o.insert("pictures_dropped", stats.picturesDropped);
        QJsonObject av;
        av.insert("count", static_cast<int>(errors.size()));
        av.insert("median", number(median));
        av.insert("p95", number(p95));
        av.insert("max", number(max));
        o.insert("av_error_ms", av);
        o.insert("shown", shown);  // [media time s, A/V error ms] per picture
        std::fputs(QJsonDocument(o).toJson(QJsonDocument::Indented).constData(), stdout);
    } else {
        std::printf("file: %s\n", file.toUtf8().constData());
        std::printf("audio driver: %s\n", player::AudioDriverName().c_str());
        std::printf("played: %.3f s\n", played);
        std::printf("open to first picture: %.1f ms\n", first);
        std::printf("pictures shown: %d, dropped: %d\n", stats.picturesShown,
                    stats.picturesDropped);
        std::printf("A/V error (ms) over %zu pictures: median %.1f, p95 %.1f, max %.1f\n",
                    errors.size(), median, p95, max);
    }
    return 0;
}

int RunSnapshot(const QStringList& args) {
    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption at(QStringLiteral("at"), QStringLiteral("The time to capture."),
                                QStringLiteral("SEC"));
    const QCommandLineOption format(QStringLiteral("format"),
                                    QStringLiteral("bmp, jpg, gif or png (default bmp)."),
                                    QStringLiteral("FORMAT"));
    const QCommandLineOption out(
        QStringLiteral("out"),
        QStringLiteral("The folder to write to (default: the snapshot folder of the settings)."),
        QStringLiteral("DIR"));
    parser.setApplicationDescription(QStringLiteral(
        "Opens a media file paused, seeks to SEC and saves the picture on screen as the player "
        "panel's capture does (FILE_1.bmp, FILE_2.bmp ... in the folder); prints the path."));
    parser.addOption(at);
    parser.addOption(format);
    parser.addOption(out);
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A media file."),
                                 QStringLiteral("FILE"));
    const QString usage = QStringLiteral(
        "Usage: tandrel-cli snapshot FILE --at SEC [--format bmp|jpg|gif|png] [--out DIR]\n");
    if (const int rc = parse(parser, help, args, usage, "snapshot"); rc >= 0) return rc;
    double seconds = 0;
    if (!parser.isSet(at) || !parseSeconds(parser.value(at), &seconds)) {
        std::fprintf(stderr, "tandrel-cli snapshot: --at SEC is required (0 or more)\n%s",
                     usage.toUtf8().constData());
        return 2;
    }
    const auto chosen = player::SnapshotFormatFromKey(
        parser.isSet(format) ? parser.value(format).toUpper() : QStringLiteral("BMP"));
    if (!chosen) {
        std::fprintf(stderr, "tandrel-cli snapshot: unknown format '%s'\n%s",
                     parser.value(format).toUtf8().constData(), usage.toUtf8().constData());
        return 2;
    }
    const QString file = parser.positionalArguments().first();
    if (!loadPlayerLibraries()) return 1;
    procsignals::CatchTermination();

    TFFPlayer player;
    player.SetDisableAudio(true);
    player.SetExactPausedSeek(true);  // the picture at SEC, not the key frame before it
    int64_t duration = -1;
    player.SetOnFileOpen([&](void*, int64_t length, int, int, int&, int&) { duration = length; });
    if (!player.Open(file, nullptr, true)) {
        std::fprintf(stderr, "%s\n", player.LastErrorMessage().c_str());
        return 1;
    }
    // Seeks are clamped to the length: a time past it would quietly give the last picture.
    if (duration > 0 && std::llround(seconds * 1e6) > duration) {
        player.Stop(true);
        std::fprintf(stderr, "%s: %s s is past the end of the file, which lasts %.3f s\n",
                     file.toUtf8().constData(), parser.value(at).toUtf8().constData(),
                     static_cast<double>(duration) / 1e6);
        return 1;
    }
    // A file of one picture reaches its end (psEnd) as that picture is shown.
    waitFor(
        [&] { return !player.Active() || player.State() == psPause || player.State() == psEnd; },
        30);
    if (seconds > 0) player.Seek(0, true, static_cast<int64_t>(std::llround(seconds * 1e6)));
    const QImage picture = player.CurrentFrame();
    player.Stop(true);
    if (procsignals::TerminationSignal()) {
        std::fprintf(stderr, "tandrel-cli snapshot: stopped by a signal\n");
        return 1;
    }
    if (picture.isNull()) {
        std::fprintf(stderr, "%s: no picture to capture\n", file.toUtf8().constData());
        return 1;
    }
    QString folder = parser.value(out);
    if (folder.isEmpty())
        folder =
            player::StoredSnapshotFolder(platform::IniFile(platform::AppPaths::SettingsFile()));
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "%s: cannot create the folder\n", folder.toUtf8().constData());
        return 1;
    }
    const QString path = player::NextSnapshotPath(folder, file, *chosen);
    QString reason;
    if (!player::WriteSnapshot(picture, path, *chosen, &reason)) {
        std::fprintf(stderr, "%s: %s\n", path.toUtf8().constData(), reason.toUtf8().constData());
        return 1;
    }
    std::printf("%s\n", path.toUtf8().constData());
    return 0;
}
