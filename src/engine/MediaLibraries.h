// How components bind the media libraries: the engine's side of the loader.
// UI thread only (the loader has no lock of its own).
#pragma once

#include <string>

#include "medialib/FFmpegLoader.h"

// The "LibAV" folder beside the executable (no trailing separator).
TPathFileName DefaultLibraryPath();

// Sets the loader's library path, installs the engine's hooks (the log relay on avutil) and
// loads `set`. On failure returns false with the loader's text in *error.
bool LoadMediaLibraries(TLibrarySet set, const TPathFileName& path, std::string* error);
