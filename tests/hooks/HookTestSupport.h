// Helpers for the frame hook and preview tests: the test hook libraries, pictures read back by
// the ffmpeg program, captured log lines, and pictures made by hand.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "engine/FFmpegLogger.h"
#include "engine/FrameHook.h"

struct AVFrame;

namespace hooktest {

// Path of a test hook library: "invert", "noprocess" or "noconfigure".
std::string HookLibrary(const std::string& name);
// An exported function of a hook library this process has loaded (null when not loaded).
void* HookSymbol(const std::string& library, const char* name);

// The luma planes of every picture of the first video stream as the ffmpeg program decodes them
// (no frame-rate conversion), and their size.
struct Luma {
    int width = 0, height = 0;
    std::vector<std::vector<uint8_t>> planes;
};
Luma LumaPlanes(const std::string& path);
double MeanIn(const std::vector<uint8_t>& plane, int width, int x0, int y0, int w, int h);
// Mean |a - b| over a rectangle of two planes of the same size.
double MeanDifferenceIn(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int width,
                        int x0, int y0, int w, int h);

// Fills a square of a bitmap with one colour (blue, green, red bytes).
void PaintSquare(TBitmap& bitmap, int x0, int y0, int size, uint8_t b, uint8_t g, uint8_t r);

// A picture of the library's allocation with every byte of plane i set to fill[i].
AVFrame* MakePicture(int format, int width, int height, const std::vector<uint8_t>& fill);

// Log lines of the engine while it lives (delivered on the logging thread).
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    bool Contains(const std::string& text) const;
    std::vector<std::string> Lines() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace hooktest
