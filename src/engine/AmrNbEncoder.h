// AMR-NB speech encoding for the encoder name "libopencore_amrnb", which the distribution's media
// libraries do not carry: frames of 160 samples of 8 kHz mono 16-bit audio become AMR-NB frames
// (storage format, one mode byte + payload) for the library's "amr" muxer. One per output
// stream, used on the converting thread only.
#pragma once

#include <cstdint>
#include <vector>

class AmrNbEncoder {
public:
    static constexpr int kSampleRate = 8000;
    static constexpr int kFrameSamples = 160;
    static constexpr const char* kName = "libopencore_amrnb";

    // The mode whose bit rate is nearest to `bitRate` (bit/s; <= 0: 12200).
    explicit AmrNbEncoder(int64_t bitRate);
    ~AmrNbEncoder();
    AmrNbEncoder(const AmrNbEncoder&) = delete;
    AmrNbEncoder& operator=(const AmrNbEncoder&) = delete;

    bool ok() const { return state_ != nullptr; }
    int modeBitRate() const;
    // Encodes one frame of kFrameSamples samples; returns the frame's bytes (empty on failure).
    std::vector<uint8_t> Encode(const int16_t* samples);

private:
    void* state_ = nullptr;
    int mode_ = 7;
};
