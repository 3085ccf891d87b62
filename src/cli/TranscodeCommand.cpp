// tandrel-cli transcode: one task built from an old-style command line through the engine's own
// option dispatcher, run on the calling thread.
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <string>

#include "cli/Commands.h"
#include "engine/FFUtils.h"
#include "engine/CommandLine.h"
#include "engine/FFmpeg.h"
#include "engine/FFmpegLogger.h"
#include "engine/UnicodeProtocol.h"

namespace {

void printUsage(FILE* out) {
    std::fprintf(out,
                 "Usage: tandrel-cli transcode [--progress bar|json|none] [--verbose] [--join]\n"
                 "                             [options] -i INPUT [options] ... OUTPUT\n\n"
                 "Options before an input apply to that input, options after the last input to\n"
                 "the output (for example -vcodec mpeg4 -b 800k -s 320x240 -acodec libmp3lame\n"
                 "-ab 128k). --join writes the inputs one after another into each output.\n"
                 "Exit status: 0 when the conversion finished, 1 when it failed,\n"
                 "2 for a usage error.\n");
}

std::string clock(int64_t us) {
    if (us < 0) return "--:--:--";
    const int64_t s = us / 1000000;
    return Format("%02d:%02d:%02d", static_cast<int>(s / 3600), static_cast<int>(s / 60 % 60),
                  static_cast<int>(s % 60));
}

// The last JSON event of a run: how it ended, and why when it failed.
void printEnd(bool finished, bool hasError, const std::string& error) {
    const QJsonObject o{{"event", "end"},
                        {"finished", finished},
                        {"hasError", hasError},
                        {"error", QString::fromStdString(error)}};
    std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
}

}  // namespace

int RunTranscode(const QStringList& args) {
    enum class Progress { Bar, Json, None } progress = isatty(STDERR_FILENO) ? Progress::Bar
                                                                               : Progress::None;
    bool verbose = false;
    bool join = false;
    std::vector<std::string> tokens;
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--help")) {
            printUsage(stdout);
            return 0;
        }
        if (a == QLatin1String("--verbose")) {
            verbose = true;
        } else if (a == QLatin1String("--join")) {
            join = true;
        } else if (a == QLatin1String("--progress")) {
            if (i + 1 >= args.size()) {
                printUsage(stderr);
                return 2;
            }
            const QString v = args[++i];
            if (v == QLatin1String("json"))
                progress = Progress::Json;
            else if (v == QLatin1String("bar"))
                progress = Progress::Bar;
            else if (v == QLatin1String("none"))
                progress = Progress::None;
            else {
                std::fprintf(stderr, "tandrel-cli transcode: unknown progress form '%s'\n",
                             v.toUtf8().constData());
                return 2;
            }
        } else {
            tokens.push_back(NativeFileName(a).toStdString());  // names keep their bytes
        }
    }
    if (tokens.empty()) {
        printUsage(stderr);
        return 2;
    }
    if (!CliLoadLibraries()) return 1;
    TFFLogger* logger = GetLogger();
    logger->SetTriggerEventInMainThread(false);
    logger->SetOnLog([verbose](void*, uint32_t, TLogLevel level, const std::string& line) {
        if (verbose || level <= llError) std::fprintf(stderr, "%s\n", line.c_str());
    });

    TCustomFFmpeg task(20);
    task.SetOption("v", verbose ? "1" : "-1");
    std::string message;
    switch (ApplyCommandLine(task, tokens, join, &message)) {
        case CommandLineResult::Ok: break;
        case CommandLineResult::UsageError:
            std::fprintf(stderr, "tandrel-cli transcode: %s\n", message.c_str());
            printUsage(stderr);
            return 2;
        case CommandLineResult::Failed:
            std::fprintf(stderr, "%s\n", message.c_str());
            // A script reading the events learns of a set-up failure the same way.
            if (progress == Progress::Json) printEnd(false, true, message);
            return 1;
    }

    const int64_t start = lav::av_gettime_relative();
    task.SetOnProgress([&](TCustomFFmpeg&, const TProgressInfo& p) {
        const double elapsed = static_cast<double>(lav::av_gettime_relative() - start) / 1e6;
        const double done = static_cast<double>(p.CurrentDuration) / 1e6;
        const double speed = elapsed > 0 ? done / elapsed : 0;
        const double percent =
            p.TotalDuration > 0
                ? std::min(100.0, 100.0 * static_cast<double>(p.CurrentDuration) /
                                      static_cast<double>(p.TotalDuration))
                : 0;
        const int64_t left = p.TotalDuration > 0 && speed > 0
                                 ? static_cast<int64_t>((p.TotalDuration - p.CurrentDuration) / speed)
                                 : -1;
        if (progress == Progress::Json) {
            QJsonObject o{{"event", "progress"},
                          {"fileIndex", p.FileIndex},
                          {"frame", p.FrameNumber},
                          {"fps", p.FPS},
                          {"quality", p.Quality},
                          {"bitrate", p.BitRate},
                          {"size", static_cast<qint64>(p.CurrentSize)},
                          {"time", static_cast<qint64>(p.CurrentDuration)},
                          {"total", static_cast<qint64>(p.TotalDuration)},
                          {"percent", percent},
                          {"speed", speed}};
            std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
            std::fflush(stdout);
        } else if (progress == Progress::Bar) {
            const int width = 30;
            const int filled = static_cast<int>(percent * width / 100);
            std::fprintf(stderr, "\r[%s%s] %5.1f%% %5.2fx left %s ",
                         std::string(static_cast<size_t>(filled), '#').c_str(),
                         std::string(static_cast<size_t>(width - filled), ' ').c_str(), percent,
                         speed, clock(left).c_str());
        }
    });
    task.RunConversion();
    if (progress == Progress::Bar) std::fprintf(stderr, "\n");
    if (progress == Progress::Json) printEnd(task.Finished(), task.HasError(), task.ErrorMessage());
    if (!task.Finished()) {
        std::fprintf(stderr, "%s\n",
                     task.HasError() ? task.ErrorMessage().c_str() : "The conversion was stopped.");
        return 1;
    }
    return 0;
}
