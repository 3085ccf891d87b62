#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <unistd.h>

#include "engine/FFmpegLogger.h"
#include "engine/MainThread.h"
#include "engine/MediaLibraries.h"

namespace fuzz {

namespace {

std::string gFolder;

void removeFolder() {
    std::error_code ec;
    std::filesystem::remove_all(gFolder, ec);
}

}  // namespace

void Initialise() {
    std::string error;
    if (!LoadMediaLibraries(kConversionSet, QString(), &error)) {
        std::fprintf(stderr, "cannot bind the media libraries: %s\n", error.c_str());
        std::abort();
    }
    mainthread::SetUiThread();
    // No event loop here: lines are handed over on the calling thread, and dropped.
    GetLogger()->SetTriggerEventInMainThread(false);
    GetLogger()->SetLogLevel(llQuiet);

    const std::string base = access("/dev/shm", W_OK) == 0
                                 ? std::string("/dev/shm")
                                 : std::filesystem::temp_directory_path().string();
    std::string folder = base + "/tandrel-fuzz-XXXXXX";
    if (!::mkdtemp(folder.data())) {
        std::perror("mkdtemp");
        std::abort();
    }
    gFolder = folder;
    std::atexit(removeFolder);
}

std::string ScratchPath(const std::string& name) { return gFolder + "/" + name; }

std::string WriteScratchFile(const std::string& name, const uint8_t* data, size_t size) {
    const std::string path = ScratchPath(name);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || (size && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) {
        std::perror(path.c_str());
        std::abort();
    }
    return path;
}

}  // namespace fuzz
