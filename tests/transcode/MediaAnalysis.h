// Reads back what a conversion wrote: decoded pictures' brightness and the sound's samples, to
// measure timing, synchronisation and cut points. The media libraries must be bound.
#pragma once

#include <string>
#include <vector>

namespace analysis {

struct Picture {
    double time = 0;  // seconds, presentation time
    double meanY = 0;
    int width = 0, height = 0;
};
// Every picture of the first video stream, in presentation order.
std::vector<Picture> Pictures(const std::string& path);

struct Sound {
    int rate = 0;
    double start = 0;  // seconds: time of the first sample
    std::vector<float> samples;  // first channel, -1 … 1
};
Sound FirstChannel(const std::string& path);

// Times where the pictures turn bright (mean luma above 128 after a dark one).
std::vector<double> FlashTimes(const std::vector<Picture>& pictures);
// Times where the sound starts after at least 100 ms of silence (|x| > 0.2).
std::vector<double> BeepTimes(const Sound& sound);

}  // namespace analysis
