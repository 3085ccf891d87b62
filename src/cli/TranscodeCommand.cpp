// tandrel-cli transcode: one task built from an old-style command line through the engine's own
// option dispatcher, run on the calling thread.
#include <cstdio>
#include <string>

#include "cli/Commands.h"
#include "cli/Progress.h"
#include "engine/CommandLine.h"
#include "engine/FFUtils.h"
#include "engine/FFmpeg.h"
#include "engine/FFmpegLogger.h"
#include "engine/OutputFiles.h"
#include "engine/ProcessSignals.h"
#include "engine/UnicodeProtocol.h"

namespace {

void printUsage(FILE* out) {
    std::fprintf(
        out,
        "Usage: tandrel-cli transcode [--progress bar|lines|json|none] [--json] [--verbose]\n"
        "                             [--join] [options] -i INPUT [options] ... OUTPUT\n\n"
        "Options before an input apply to that input, options after the last input to\n"
        "the output (for example -vcodec mpeg4 -b 800k -s 320x240 -acodec libmp3lame\n"
        "-ab 128k). --join writes the inputs one after another into each output.\n"
        "Progress: a bar on a terminal, plain lines otherwise; --json (or --progress\n"
        "json) prints \"progress\" and \"end\" events on standard output, one JSON object\n"
        "a line.\n"
        "Exit status: 0 when the conversion finished, 1 when it failed,\n"
        "2 for a usage error.\n");
}

}  // namespace

int RunTranscode(const QStringList& args) {
    cli::ProgressForm progress = cli::DefaultProgressForm();
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
        } else if (a == QLatin1String("--json")) {
            progress = cli::ProgressForm::Json;
        } else if (a == QLatin1String("--progress")) {
            if (i + 1 >= args.size()) {
                printUsage(stderr);
                return 2;
            }
            const QString v = args[++i];
            const std::optional<cli::ProgressForm> form = cli::ProgressFormFromText(v);
            if (!form) {
                std::fprintf(stderr, "tandrel-cli transcode: unknown progress form '%s'\n",
                             v.toUtf8().constData());
                return 2;
            }
            progress = *form;
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

    cli::ProgressReporter reporter(progress);
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
            reporter.End(0, false, true, QString::fromStdString(message));
            return 1;
    }

    // What an earlier run killed half-way left beside the outputs.
    for (int i = 0; i < task.OutputCount(); ++i) {
        const QString folder = ExtractFilePath(ExpandFileName(task.OutputFileName(i)));
        if (!folder.isEmpty()) RemoveLeftoverOutputs(folder);
    }
    // The bar is named after the output, the last word of the command line.
    reporter.Begin(0, QString::fromStdString(tokens.back()), cli::ProgressReporter::Now());
    task.SetOnProgress([&](TCustomFFmpeg&, const TProgressInfo& p) {
        reporter.Report(0, 0, p, cli::ProgressReporter::Now());
    });
    // Ctrl-C, a hang-up or SIGTERM stops the conversion, which keeps what it wrote.
    procsignals::CatchTermination();
    task.SetCheckpoint([&task] {
        if (procsignals::TerminationSignal()) task.RequestStop();
    });
    task.RunConversion();
    reporter.End(0, task.Finished(), task.HasError(), QString::fromStdString(task.ErrorMessage()));
    reporter.Close();
    if (!task.Finished()) {
        std::fprintf(stderr, "%s\n",
                     task.HasError() ? task.ErrorMessage().c_str() : "The conversion was stopped.");
        return 1;
    }
    return 0;
}
