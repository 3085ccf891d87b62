// What the fuzz targets share: the media libraries bound once, a quiet log, and a private folder
// for the files an input becomes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// Binds the conversion set from the system, makes the calling thread the UI thread and silences
// the log relay. Aborts when the libraries cannot be bound: nothing could be fuzzed.
void Initialise();

// A path in this process's private folder (in memory when /dev/shm exists), removed at exit.
std::string ScratchPath(const std::string& name);

// Writes `data` to the file `name` of the private folder and returns its path.
std::string WriteScratchFile(const std::string& name, const uint8_t* data, size_t size);

}  // namespace fuzz
