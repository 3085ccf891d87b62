// tandrel-cli: the engine, the profile catalogue and the probe from a terminal.
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <cstring>

#include "cli/Commands.h"
#include "engine/FFUtils.h"
#include "engine/MainThread.h"
#include "engine/MediaLibraries.h"
#include "engine/ProcessSignals.h"
#include "engine/UnicodeProtocol.h"
#include "medialib/LibAV.h"

namespace {

struct Command {
    const char* name;
    const char* summary;
    int (*run)(const QStringList&);
};

const Command kCommands[] = {
    {"libs", "bind the media libraries and print their versions", &RunLibs},
    {"probe", "print the facts of media files", &RunProbe},
    {"transcode", "convert with the engine's own options: [options] -i IN ... OUT", &RunTranscode},
    {"profiles", "list the output profiles (--json: with their lists and defaults)", &RunProfiles},
    {"convert", "convert files with a profile: --profile N [options] FILE...", &RunConvert},
    {"play", "play a file without a window and print timing figures", &RunPlay},
    {"snapshot", "save the picture at a time as a file: FILE --at SEC [options]", &RunSnapshot},
    {"lock", "set or clear the start-up password on this machine: set PASSWORD | clear", &RunLock},
    {"paths", "print where programs, data, settings and outputs are", &RunPaths},
};

void printUsage(FILE* out) {
    std::fprintf(out,
                 "Usage: tandrel-cli COMMAND [options] [arguments]\n\n"
                 "Tandrel converts audio and video files in batches.\n\nCommands:\n");
    for (const Command& c : kCommands) std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
    std::fprintf(out, "\nRun 'tandrel-cli COMMAND --help' for a command's options.\n");
}

}  // namespace

bool CliLoadLibraries() {
    std::string error;
    if (LoadMediaLibraries(kConversionSet, DefaultLibraryPath(), &error)) return true;
    std::fprintf(stderr, "tandrel-cli: %s\n", error.c_str());
    return false;
}

int RunLibs(const QStringList& args) {
    if (args.size() > 1) {
        const bool help = args.size() == 2 && args[1] == QLatin1String("--help");
        std::fprintf(help ? stdout : stderr, "Usage: tandrel-cli libs\n");
        return help ? 0 : 2;
    }
    std::string error;
    const bool ok = LoadMediaLibraries(kPlayerSet, DefaultLibraryPath(), &error);
    for (int i = 0; i < kLibraryKindCount; ++i) {
        const auto kind = static_cast<TLibraryKind>(i);
        if (!(kPlayerSet & LibBit(kind))) continue;
        std::printf("%-12s %-22s header %s, run time %s\n", TFFmpegLoader::BaseName(kind),
                    FFLoader().LibraryFileName(kind).toUtf8().constData(),
                    TFFmpegLoader::HeaderVersion(kind).c_str(),
                    FFLoader().IsLoaded(kind) ? FFLoader().RuntimeVersion(kind).c_str()
                                              : "not loaded");
    }
    if (!ok) std::fprintf(stderr, "tandrel-cli: %s\n", error.c_str());
    return ok ? 0 : 1;
}

int main(int argc, char** argv) {
    // A write past the file-size limit fails with "File too large" instead of killing us.
    procsignals::IgnoreFileSizeLimit();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tandrel-cli"));
    mainthread::SetUiThread();
    // The arguments as given: a file name that is not valid UTF-8 keeps its bytes.
    QStringList args;
    for (int i = 1; i < argc; ++i) args << FileNameFromNative(QByteArray(argv[i]));
    if (args.isEmpty() || args[0] == QLatin1String("--help") || args[0] == QLatin1String("-h")) {
        printUsage(stdout);
        return args.isEmpty() ? 2 : 0;
    }
    for (const Command& c : kCommands) {
        if (args[0] == QLatin1String(c.name)) return c.run(args);
    }
    std::fprintf(stderr, "tandrel-cli: unknown command '%s'\n", args[0].toUtf8().constData());
    printUsage(stderr);
    return 2;
}
