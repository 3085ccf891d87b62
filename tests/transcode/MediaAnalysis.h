// Reads back what a conversion wrote: decoded pictures' brightness and the sound's samples, to
// measure timing, synchronisation and cut points. Plain library reading and decoding (never the
// engine's file layer); the media libraries must be bound.
#pragma once

#include <cstdint>
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

// Every picture of the first video stream with its luma plane (width × height bytes).
struct Luma {
    double time = 0;
    int width = 0, height = 0;
    std::vector<uint8_t> y;
};
std::vector<Luma> LumaPictures(const std::string& path);
// PSNR of two luma planes of the same size, in dB (99 for identical planes).
double Psnr(const Luma& a, const Luma& b);

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
