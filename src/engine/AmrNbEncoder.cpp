#include "AmrNbEncoder.h"

#include <cstdlib>

extern "C" {
#include <opencore-amrnb/interf_enc.h>
}

namespace {
const int kModeRates[] = {4750, 5150, 5900, 6700, 7400, 7950, 10200, 12200};
}

AmrNbEncoder::AmrNbEncoder(int64_t bitRate) {
    if (bitRate <= 0) bitRate = 12200;
    int best = 0;
    for (int m = 1; m < 8; ++m)
        if (std::llabs(kModeRates[m] - bitRate) < std::llabs(kModeRates[best] - bitRate)) best = m;
    mode_ = best;
    state_ = Encoder_Interface_init(0);
}

AmrNbEncoder::~AmrNbEncoder() {
    if (state_) Encoder_Interface_exit(state_);
}

int AmrNbEncoder::modeBitRate() const { return kModeRates[mode_]; }

std::vector<uint8_t> AmrNbEncoder::Encode(const int16_t* samples) {
    if (!state_) return {};
    std::vector<uint8_t> out(64);
    const int n = Encoder_Interface_Encode(state_, static_cast<Mode>(mode_), samples, out.data(), 0);
    if (n <= 0) return {};
    out.resize(static_cast<size_t>(n));
    return out;
}
