// tandrel-cli convert: files converted with a catalogue profile the way the windows add them —
// the options model with the profile's defaults and the given choices, the shared record builder,
// the "(New_" naming rule, and the engine component running K files at once.
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "engine/FFUtils.h"
#include "cli/Progress.h"
#include "engine/FFmpegLogger.h"
#include "engine/FFmpegVCL.h"
#include "engine/MainThread.h"
#include "engine/OutputFiles.h"
#include "engine/ProcessSignals.h"
#include "engine/UnicodeProtocol.h"
#include "formats/EngineDurationReader.h"
#include "formats/FormatCatalog.h"
#include "formats/OptionsModel.h"
#include "formats/RecordBuilder.h"

using namespace formats;

namespace {

constexpr const char* kName = "tandrel-cli convert";

QByteArray L8(const QString& text) { return text.toLocal8Bit(); }

int usageError(const QString& message) {
    std::fprintf(stderr, "%s: %s\nRun 'tandrel-cli convert --help' for the options.\n", kName,
                 L8(message).constData());
    return 2;
}

struct Choice {
    Slot slot;
    QString text;  // an item's exact text, or "#k" for position k
};

struct Request {
    int profile = 0;
    QString outputFolder;
    int jobs = 1;
    bool overwrite = false;
    std::vector<Choice> choices;  // the video codec first, then in command-line order
    std::array<bool, 3> filters{};
    std::optional<std::array<QString, 6>> cut;  // start h, m, s, stop h, m, s
    cli::ProgressForm progress = cli::ProgressForm::None;
    bool verbose = false;
    QStringList files;
};

// "HH:MM:SS-HH:MM:SS", digits only (the time boxes take nothing else).
std::optional<std::array<QString, 6>> parseCut(const QString& text) {
    const QStringList ends = text.split(QLatin1Char('-'));
    if (ends.size() != 2) return std::nullopt;
    std::array<QString, 6> boxes;
    for (int e = 0; e < 2; ++e) {
        const QStringList parts = ends[e].split(QLatin1Char(':'));
        if (parts.size() != 3) return std::nullopt;
        for (int i = 0; i < 3; ++i) {
            const QString& p = parts[i];
            if (p.isEmpty() || p.size() > 9) return std::nullopt;
            for (QChar c : p)
                if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
            boxes[static_cast<size_t>(e * 3 + i)] = p;
        }
    }
    return boxes;
}

// Parses the command line into `request`; returns an exit status when the command ends here.
std::optional<int> parseArguments(const QStringList& args, Request* request) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Converts FILE... with the catalogue profile N (see 'tandrel-cli profiles'): the\n"
        "profile's default choices, changed by --set, as the options dialog makes them.\n"
        "One FILE is added like a single file (a cut range is possible, the output is named\n"
        "as the dialog names it); several are added in one go (no cut; the output takes the\n"
        "source's name and the profile's extension). A taken output name is numbered\n"
        "\"name(New_1).ext\" unless --overwrite is given; files of one command never share an\n"
        "output. Exit status: 0 when every file finished, 1 when any failed, 2 for a usage\n"
        "error."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Source files."),
                                 QStringLiteral("FILE..."));
    const QCommandLineOption profile(QStringLiteral("profile"),
                                     QStringLiteral("Profile index (FormatIndex)."),
                                     QStringLiteral("N"));
    const QCommandLineOption out(QStringLiteral("out"),
                                 QStringLiteral("Output folder (default: the current folder; "
                                                "made when missing)."),
                                 QStringLiteral("DIR"));
    const QCommandLineOption jobs(QStringLiteral("jobs"),
                                  QStringLiteral("Files converted at once (default 1)."),
                                  QStringLiteral("K"));
    const QCommandLineOption overwrite(QStringLiteral("overwrite"),
                                       QStringLiteral("Overwrite existing output files."));
    const QCommandLineOption set(
        QStringList{QStringLiteral("set")},
        QStringLiteral("Choose an item of a list: SLOT is vcodec, vbitrate, size, rate, aspect, "
                       "acodec, abitrate, samplerate, channels or volume; TEXT an item's exact "
                       "text or #k for its position (from 0). Repeatable."),
        QStringLiteral("SLOT=TEXT"));
    const QCommandLineOption filters(QStringLiteral("filters"),
                                     QStringLiteral("Picture filters: hflip, vflip, negate "
                                                    "(comma-separated)."),
                                     QStringLiteral("LIST"));
    const QCommandLineOption cut(QStringLiteral("cut"),
                                 QStringLiteral("Convert only this range of a single FILE."),
                                 QStringLiteral("HH:MM:SS-HH:MM:SS"));
    const QCommandLineOption progress(
        QStringLiteral("progress"),
        QStringLiteral("bar (the default on a terminal), lines (plain lines on standard error, "
                       "the default otherwise), json (events on standard output) or none."),
        QStringLiteral("FORM"));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("The same as --progress json: one JSON object "
                                                 "a line (added, progress, end, summary)."));
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     QStringLiteral("Print the engine's log lines."));
    parser.addOptions({profile, out, jobs, overwrite, set, filters, cut, progress, json, verbose});

    if (!parser.parse(args)) return usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        // The parser names the program only; the command's own usage line replaces it.
        const QString help = parser.helpText();
        std::printf("Usage: tandrel-cli convert --profile N [options] FILE...\n%s",
                    L8(help.mid(help.indexOf(QLatin1Char('\n')) + 1)).constData());
        return 0;
    }

    Request& r = *request;
    if (!parser.isSet(profile)) return usageError(QStringLiteral("--profile is required"));
    bool ok = false;
    r.profile = parser.value(profile).toInt(&ok);
    if (!ok || !FindProfile(r.profile))
        return usageError(QStringLiteral("no profile %1 (see 'tandrel-cli profiles')")
                              .arg(parser.value(profile)));
    const bool audioOnly = FindProfile(r.profile)->audioOnly;

    r.outputFolder = parser.isSet(out) ? parser.value(out) : GetCurrentDir();
    if (r.outputFolder.isEmpty()) return usageError(QStringLiteral("--out needs a folder"));
    r.outputFolder = ExpandFileName(r.outputFolder);

    if (parser.isSet(jobs)) {
        r.jobs = parser.value(jobs).toInt(&ok);
        if (!ok || r.jobs < 1 || r.jobs > 64)
            return usageError(QStringLiteral("--jobs takes a number from 1 to 64"));
    }
    r.overwrite = parser.isSet(overwrite);
    r.verbose = parser.isSet(verbose);

    std::vector<Choice> others;
    for (const QString& value : parser.values(set)) {
        const qsizetype eq = value.indexOf(QLatin1Char('='));
        const auto slot = eq > 0 ? SlotFromKey(value.left(eq).toStdString()) : std::nullopt;
        if (!slot) return usageError(QStringLiteral("--set takes SLOT=TEXT, not '%1'").arg(value));
        Choice c{*slot, value.mid(eq + 1)};
        // The codec first: choosing it may replace the bit-rate or frame-size list.
        if (*slot == Slot::VideoCodec)
            r.choices.insert(r.choices.begin(), c);
        else
            others.push_back(c);
    }
    r.choices.insert(r.choices.end(), others.begin(), others.end());

    if (parser.isSet(filters)) {
        for (const QString& word : parser.value(filters).split(QLatin1Char(','))) {
            if (word == QLatin1String("hflip"))
                r.filters[0] = true;
            else if (word == QLatin1String("vflip"))
                r.filters[1] = true;
            else if (word == QLatin1String("negate"))
                r.filters[2] = true;
            else
                return usageError(
                    QStringLiteral("unknown filter '%1' (hflip, vflip, negate)").arg(word));
        }
        if (audioOnly)
            return usageError(QStringLiteral("profile %1 has no video to filter").arg(r.profile));
    }

    r.files = parser.positionalArguments();
    if (r.files.isEmpty()) return usageError(QStringLiteral("no FILE given"));
    if (parser.isSet(cut)) {
        r.cut = parseCut(parser.value(cut));
        if (!r.cut)
            return usageError(
                QStringLiteral("--cut takes HH:MM:SS-HH:MM:SS, not '%1'").arg(parser.value(cut)));
        if (r.files.size() > 1) return usageError(QStringLiteral("--cut needs a single FILE"));
    }

    if (parser.isSet(progress) && parser.isSet(json))
        return usageError(QStringLiteral("--json and --progress exclude each other"));
    if (parser.isSet(json)) {
        r.progress = cli::ProgressForm::Json;
    } else if (parser.isSet(progress)) {
        const std::optional<cli::ProgressForm> form =
            cli::ProgressFormFromText(parser.value(progress));
        if (!form) return usageError(QStringLiteral("--progress takes bar, lines, json or none"));
        r.progress = *form;
    } else {
        r.progress = cli::DefaultProgressForm();
    }
    return std::nullopt;
}

// Selects `choice` in the model; false (with the reason) when the list has no such item.
bool applyChoice(OptionsModel& model, const Choice& c, int profile, QString* reason) {
    const QStringList items = model.Items(c.slot);
    if (c.text.startsWith(QLatin1Char('#'))) {
        bool ok = false;
        const int k = c.text.mid(1).toInt(&ok);
        if (ok && k >= 0 && k < items.size()) {
            model.Select(c.slot, k);
            return true;
        }
    } else if (model.SelectText(c.slot, c.text)) {
        return true;
    }
    QString list;
    for (int i = 0; i < items.size(); ++i)
        list += QStringLiteral("\n  #%1 %2").arg(i).arg(items[i]);
    *reason = QStringLiteral("%1 '%2' is not in the list %3 of profile %4:%5")
                  .arg(QLatin1String(SlotKey(c.slot)), c.text, model.ListName(c.slot))
                  .arg(profile)
                  .arg(list);
    return false;
}

// One source file of the command and what became of it.
struct FileJob {
    QString source;
    QString output;
    int task = -1;
    enum class State { Rejected, Ready, Running, Done, Failed } state = State::Ready;
    bool hasError = false;  // refused, or ended by an error (not by a stop)
    bool kept = false;      // its file went to its name (a stopped one keeps what it wrote)
    QString error;
    QString warning;  // of a finished file: its source ends before the length it states
};

}  // namespace

int RunConvert(const QStringList& args) {
    Request request;
    if (const auto status = parseArguments(args, &request)) return *status;
    {
        // The lists depend on the profile and the codec choice only: every choice is checked
        // once, before anything is opened.
        JobFields fields;
        fields.FormatIndex = request.profile;
        OptionsModel model;
        model.Open(fields, request.outputFolder, {});
        for (const Choice& c : request.choices) {
            QString reason;
            if (!applyChoice(model, c, request.profile, &reason)) return usageError(reason);
        }
    }
    if (!QDir().mkpath(request.outputFolder)) {
        std::fprintf(stderr, "%s: cannot make the output folder %s\n", kName,
                     L8(request.outputFolder).constData());
        return 1;
    }
    if (!CliLoadLibraries()) return 1;
    TFFLogger* logger = GetLogger();
    logger->SetTriggerEventInMainThread(false);
    logger->SetOnLog([verbose = request.verbose](void*, uint32_t, TLogLevel, const std::string& l) {
        if (verbose) std::fprintf(stderr, "%s\n", l.c_str());
    });

    const bool oneFile = request.files.size() == 1;
    const AddMode mode = oneFile ? AddMode::OneFile : AddMode::SeveralFiles;
    // The options dialog measures the source through a component of its own.
    const DurationReader readDuration = MakeEngineDurationReader();
    cli::ProgressReporter reporter(request.progress);
    TFFmpegVCL vcl;
    // What an earlier run killed half-way left in the output folder.
    RemoveLeftoverOutputs(request.outputFolder);
    // Unless told to overwrite, a file under a chosen name is kept whenever it appeared (another
    // run into the same folder, say): the output is numbered on at the moment it is written.
    vcl.SetExistingOutput(request.overwrite ? ExistingOutput::Replace : ExistingOutput::Number);
    std::vector<FileJob> jobs;
    std::vector<int> fileOfTask;
    // Names given to earlier files of this command, and the sources themselves: never an output.
    QSet<QString> claimed;
    for (const QString& file : request.files)
        claimed.insert(ExpandFileName(file));

    // How a file ended: an "end" event, or a line on standard output.
    auto ended = [&](int file) {
        const FileJob& job = jobs[static_cast<size_t>(file)];
        const bool done = job.state == FileJob::State::Done;
        QJsonObject facts{{"task", job.task}, {"source", job.source}, {"output", job.output}};
        if (!job.warning.isEmpty()) facts.insert("warning", job.warning);
        reporter.End(file, done, job.hasError, job.error, facts);
        if (request.progress == cli::ProgressForm::Json) return;
        // A stopped file keeps what was converted, under the name it went to.
        const bool kept = !done && !job.hasError && job.kept;
        reporter.Say(stdout, done   ? "done    " + L8(job.source) + " -> " + L8(job.output)
                             : kept ? "stopped " + L8(job.source) + " -> " + L8(job.output) +
                                          " (what was converted before the stop)"
                                    : "failed  " + L8(job.source) + ": " + L8(job.error));
        if (done && !job.warning.isEmpty()) reporter.Say(stdout, "warning " + L8(job.warning));
    };
    auto reject = [&](FileJob job, const QString& error) {
        job.state = FileJob::State::Rejected;
        job.hasError = true;
        job.error = error;
        jobs.push_back(job);
        ended(static_cast<int>(jobs.size()) - 1);
    };

    for (const QString& file : request.files) {
        FileJob job;
        job.source = ExpandFileName(file);
        JobFields fields;
        fields.ResetOptions();
        fields.FormatIndex = request.profile;
        fields.SourceFile = job.source;
        OptionsModel model;
        model.PrepareForAddition(oneFile);
        model.Open(fields, request.outputFolder, readDuration);
        for (const Choice& c : request.choices) {
            QString reason;
            if (!applyChoice(model, c, request.profile, &reason)) return usageError(reason);
        }
        for (int i = 0; i < 3; ++i) model.SetFilter(static_cast<Filter>(i), request.filters[i]);
        if (request.cut) {
            model.SetCutChecked(true);
            for (int i = 0; i < 6; ++i)
                model.SetCutText(static_cast<CutBox>(i), (*request.cut)[static_cast<size_t>(i)]);
        }
        const OptionsModel::Outcome outcome = model.Confirm();
        if (outcome.kind != OptionsModel::Outcome::Accepted) {
            reject(job, outcome.message);
            continue;
        }
        fields = model.Fields();

        const TInputOptions input = BuildInputRecord(fields, mode);
        if (!vcl.Probe().LoadFile(job.source)) {
            reject(job, QStringLiteral("无法识别的音频或视频文件！") + job.source +
                            QStringLiteral(" (") +
                            QString::fromStdString(vcl.Probe().LastErrorMessage()) +
                            QLatin1Char(')'));
            continue;
        }
        vcl.Probe().Close();
        const int task = vcl.AddTask(job.source, &input);
        if (task < 0) {
            reject(job, QString::fromStdString(vcl.LastErrorMessage()));
            continue;
        }
        const bool overwrite = request.overwrite;
        job.output = NumberedName(
            CandidateOutputName(fields, mode, request.outputFolder), [&](const QString& p) {
                return claimed.contains(p) ||
                       (!overwrite && ::access(NativeFileName(p).constData(), F_OK) == 0);
            });
        const TOutputOptions output = BuildOutputRecord(fields, mode, job.output);
        if (!vcl.SetOutputFile(task, job.output, &output) || vcl.RefuseEmptyOutput(task)) {
            const QString error = QString::fromStdString(vcl.LastErrorMessage());
            vcl.RemoveTask(task);
            reject(job, error);
            continue;
        }
        claimed.insert(job.output);
        job.task = task;
        jobs.push_back(job);
        fileOfTask.push_back(static_cast<int>(jobs.size()) - 1);
        reporter.Begin(fileOfTask.back(), job.source);
        reporter.Event(QJsonObject{{"event", "added"},
                                   {"file", fileOfTask.back()},
                                   {"task", task},
                                   {"source", job.source},
                                   {"output", job.output}});
    }

    if (!fileOfTask.empty()) {
        bool batchEnded = false;
        // Progress arrives on this thread while the worker waits.
        vcl.SetOnProgress([&](void*, PProgressInfo p) {
            if (p->TaskIndex < 0 || p->TaskIndex >= static_cast<int>(fileOfTask.size())) return;
            const int file = fileOfTask[static_cast<size_t>(p->TaskIndex)];
            jobs[static_cast<size_t>(file)].state = FileJob::State::Running;
            reporter.Report(file, p->TaskIndex, *p, cli::ProgressReporter::Now());
        });
        // Terminations arrive on the delivery thread, in order; they are handled here.
        // Tasks start in list order, `jobs` at once, the next when one ends: the speed of a
        // file is measured from then (the component has no start event of its own).
        size_t started = 0;
        auto startNext = [&] {
            if (started >= fileOfTask.size()) return;
            const int file = fileOfTask[started++];
            reporter.Begin(file, jobs[static_cast<size_t>(file)].source,
                           cli::ProgressReporter::Now());
        };
        vcl.SetOnTerminate([&](void*, const TTerminateInfo& info) {
            mainthread::Post([&, info] {
                if (info.TaskIndex < 0) {
                    batchEnded = true;
                    return;
                }
                startNext();
                if (info.TaskIndex >= static_cast<int>(fileOfTask.size())) return;
                const int file = fileOfTask[static_cast<size_t>(info.TaskIndex)];
                FileJob& job = jobs[static_cast<size_t>(file)];
                job.state = info.Finished ? FileJob::State::Done : FileJob::State::Failed;
                // The name the file really went under (numbered on when one appeared).
                if (TFFmpeg* task = vcl.Task(info.TaskIndex)) {
                    const QString written = task->OutputFileName(0);
                    if (!written.isEmpty()) job.output = written;
                    job.kept = task->Kept();
                    job.warning = QString::fromStdString(task->Warning());
                }
                job.hasError = info.HasError;
                job.error = info.HasError   ? QString::fromStdString(info.ErrorMessage)
                            : info.Finished ? QString{}
                                            : QStringLiteral("stopped");
                ended(file);
            });
            mainthread::Wake();
        });
        // Ctrl-C, a hang-up or SIGTERM stops the batch as the window's "停止" does.
        procsignals::CatchTermination();
        for (int i = 0; i < request.jobs; ++i) startNext();
        vcl.StartTask(request.jobs);
        bool stopping = false;
        for (;;) {
            mainthread::WaitPumping(
                [&] { return batchEnded || (procsignals::TerminationSignal() && !stopping); });
            if (batchEnded) break;
            stopping = true;
            vcl.Stop(true);
        }
        vcl.SetOnProgress(nullptr);
        vcl.SetOnTerminate(nullptr);
        vcl.ClearTasks();
    }

    int passed = 0;
    for (const FileJob& job : jobs) passed += job.state == FileJob::State::Done;
    const int failed = static_cast<int>(jobs.size()) - passed;
    const QByteArray summary =
        QStringLiteral("%1 passed, %2 failed").arg(passed).arg(failed).toLocal8Bit();
    reporter.Event(QJsonObject{{"event", "summary"}, {"passed", passed}, {"failed", failed}});
    // With JSON events on standard output the summary line goes to standard error.
    reporter.Say(request.progress == cli::ProgressForm::Json ? stderr : stdout, summary);
    reporter.Close();
    return failed == 0 ? 0 : 1;
}
