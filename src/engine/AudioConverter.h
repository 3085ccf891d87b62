// Decoded audio → whole encoder frames, for one output stream of a conversion.
//
// Applies the volume to the decoded samples, resamples to the encoder's sample format, rate and
// channel layout (one SwrContext, rebuilt when the decoded format, rate or layout change), and
// cuts the result into frames of the encoder's frame size through a sample FIFO. Owned by one
// task and used on its thread only.
#pragma once

#include <cstdint>
#include <string>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

struct AVAudioFifo;
struct SwrContext;

class AudioConverter {
public:
    struct Target {
        AVSampleFormat format = AV_SAMPLE_FMT_NONE;
        int sampleRate = 0;
        AVChannelLayout layout{};
        int frameSize = 0;            // samples per encoder frame; 0: any number
        bool smallLastFrame = false;  // the encoder takes a short last frame as it is
        // Float samples handed out are kept within ±1 (not-a-number becomes silence), for an
        // encoder that aborts the process on louder ones.
        bool clampFloat = false;
    };

    AudioConverter() = default;
    ~AudioConverter();
    AudioConverter(const AudioConverter&) = delete;
    AudioConverter& operator=(const AudioConverter&) = delete;

    // Returns 0 or an AVERROR code.
    int Init(const Target& target);
    // 256 leaves the samples unchanged.
    void SetVolume(int volume) { volume_ = volume; }
    // Resampling even when the formats match (needed for drift compensation).
    void SetAlwaysResample(bool on) { alwaysResample_ = on; }

    // Converts and queues the samples of `in`, starting `skip` samples into it (samples
    // dropped for synchronisation) and ending before sample `end` (samples past the end of a
    // cut; -1: all). Returns 0 or an AVERROR code; *error describes a failure.
    int Push(const AVFrame* in, int skip, std::string* error, int end = -1);
    // Queues `samples` samples of silence in the output format.
    int PushSilence(int samples);
    // Stretches or squeezes the output by `delta` samples over `distance` samples.
    int Compensate(int delta, int distance);

    // The next frame for the encoder, or null when fewer than a frame's samples are queued.
    // With `flush`, the rest is returned too (padded with silence to a whole frame when the
    // encoder needs whole frames). The frame belongs to the converter until the next call.
    AVFrame* Pull(bool flush);

    // Output samples queued in the FIFO plus those still inside the resampler.
    int64_t Buffered() const;
    const Target& target() const { return target_; }

private:
    int ensureResampler(const AVFrame* in, std::string* error);
    // Runs the resampler on `count` input samples (null input drains it) into the FIFO.
    int resampleInto(const uint8_t** in, int count);
    int ensureConvCapacity(int samples);
    void applyVolume(AVFrame* frame) const;
    void clampSamples(AVFrame* frame) const;

    Target target_;
    int volume_ = 256;
    bool alwaysResample_ = false;
    SwrContext* swr_ = nullptr;
    // What the resampler was built for.
    AVSampleFormat inFormat_ = AV_SAMPLE_FMT_NONE;
    int inRate_ = 0;
    AVChannelLayout inLayout_{};
    AVAudioFifo* fifo_ = nullptr;
    AVFrame* out_ = nullptr;
    AVFrame* scratch_ = nullptr;  // a writable copy for the volume change
    uint8_t** convBuf_ = nullptr;  // resampler output, in the target format
    int convCapacity_ = 0;         // samples
};
