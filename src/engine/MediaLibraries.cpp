#include "MediaLibraries.h"

#include "engine/FFUtils.h"
#include "engine/FFmpegLogger.h"

TPathFileName DefaultLibraryPath() { return ExePath() + QStringLiteral("LibAV"); }

bool LoadMediaLibraries(TLibrarySet set, const TPathFileName& path, std::string* error) {
    TFFmpegLoader& loader = FFLoader();
    loader.SetBoundHook(TLibraryKind::avutil, [] { TFFLogger::InstallHook(); });
    loader.SetLibraryPath(path);
    if (loader.LoadLibs(set)) return true;
    if (error) *error = loader.LastError();
    return false;
}
