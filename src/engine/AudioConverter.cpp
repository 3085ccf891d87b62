#include "AudioConverter.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/FFmpegLogger.h"
#include "medialib/LibAV.h"

namespace {

template <typename T>
void scaleInts(uint8_t* data, int count, int volume) {
    auto* p = reinterpret_cast<T*>(data);
    for (int i = 0; i < count; ++i) {
        int64_t v = (static_cast<int64_t>(p[i]) * volume + 128) / 256;
        v = std::clamp<int64_t>(v, std::numeric_limits<T>::min(), std::numeric_limits<T>::max());
        p[i] = static_cast<T>(v);
    }
}

template <typename T>
void scaleReals(uint8_t* data, int count, int volume) {
    auto* p = reinterpret_cast<T*>(data);
    const T gain = static_cast<T>(volume) / static_cast<T>(256);
    for (int i = 0; i < count; ++i) p[i] = std::clamp<T>(p[i] * gain, T(-1), T(1));
}

// Calls fn(data, count, packed format) for each plane of a frame's samples.
template <typename Fn>
void forEachPlane(AVFrame* frame, Fn fn) {
    const auto format = static_cast<AVSampleFormat>(frame->format);
    const bool planar = lav::av_sample_fmt_is_planar(format);
    const int channels = frame->ch_layout.nb_channels;
    const int planes = planar ? channels : 1;
    const int perPlane = frame->nb_samples * (planar ? 1 : channels);
    const AVSampleFormat packed = lav::av_get_packed_sample_fmt(format);
    for (int p = 0; p < planes; ++p) fn(frame->extended_data[p], perPlane, packed);
}

// A layout the resampler accepts: unordered layouts get the default order of their count.
void usableLayout(const AVChannelLayout& in, AVChannelLayout* out) {
    if (in.order == AV_CHANNEL_ORDER_UNSPEC || in.nb_channels <= 0)
        lav::av_channel_layout_default(out, in.nb_channels > 0 ? in.nb_channels : 2);
    else
        lav::av_channel_layout_copy(out, &in);
}

}  // namespace

AudioConverter::~AudioConverter() {
    lav::swr_free(&swr_);
    if (fifo_) lav::av_audio_fifo_free(fifo_);
    lav::av_frame_free(&out_);
    lav::av_frame_free(&scratch_);
    if (convBuf_) {
        lav::av_freep(&convBuf_[0]);
        lav::av_freep(&convBuf_);
    }
    lav::av_channel_layout_uninit(&inLayout_);
    lav::av_channel_layout_uninit(&target_.layout);
}

int AudioConverter::Init(const Target& target) {
    target_.format = target.format;
    target_.sampleRate = target.sampleRate;
    target_.frameSize = target.frameSize;
    target_.smallLastFrame = target.smallLastFrame;
    target_.clampFloat = target.clampFloat;
    lav::av_channel_layout_uninit(&target_.layout);
    usableLayout(target.layout, &target_.layout);
    if (target_.sampleRate <= 0 || target_.format == AV_SAMPLE_FMT_NONE) return AVERROR(EINVAL);
    fifo_ = lav::av_audio_fifo_alloc(target_.format, target_.layout.nb_channels, 1024);
    out_ = lav::av_frame_alloc();
    scratch_ = lav::av_frame_alloc();
    return fifo_ && out_ && scratch_ ? 0 : AVERROR(ENOMEM);
}

int AudioConverter::ensureResampler(const AVFrame* in, std::string* error) {
    AVChannelLayout layout{};
    usableLayout(in->ch_layout, &layout);
    const auto format = static_cast<AVSampleFormat>(in->format);
    const bool same = inFormat_ != AV_SAMPLE_FMT_NONE && format == inFormat_ &&
                      in->sample_rate == inRate_ &&
                      lav::av_channel_layout_compare(&layout, &inLayout_) == 0;
    if (same) {
        lav::av_channel_layout_uninit(&layout);
        return 0;
    }
    // The decoded format changed (or this is the first block): what the old resampler still
    // holds is queued first, then a new one is built for the new input.
    if (swr_) {
        const int ret = resampleInto(nullptr, 0);
        lav::swr_free(&swr_);
        if (ret < 0) {
            lav::av_channel_layout_uninit(&layout);
            return ret;
        }
    }
    inFormat_ = format;
    inRate_ = in->sample_rate;
    lav::av_channel_layout_uninit(&inLayout_);
    inLayout_ = layout;
    const bool needed = alwaysResample_ || format != target_.format ||
                        in->sample_rate != target_.sampleRate ||
                        lav::av_channel_layout_compare(&inLayout_, &target_.layout) != 0;
    if (!needed) return 0;
    int ret = lav::swr_alloc_set_opts2(&swr_, &target_.layout, target_.format, target_.sampleRate,
                                       &inLayout_, format, in->sample_rate, 0, nullptr);
    if (ret >= 0) ret = lav::swr_init(swr_);
    if (ret < 0) {
        lav::swr_free(&swr_);
        if (error)
            *error = Format("Can not resample %d channels @ %d Hz to %d channels @ %d Hz",
                            inLayout_.nb_channels, in->sample_rate, target_.layout.nb_channels,
                            target_.sampleRate);
    }
    return ret;
}

int AudioConverter::ensureConvCapacity(int samples) {
    if (samples <= convCapacity_) return 0;
    if (convBuf_) {
        lav::av_freep(&convBuf_[0]);
        lav::av_freep(&convBuf_);
    }
    convCapacity_ = 0;
    const int channels = target_.layout.nb_channels;
    const int planes = lav::av_sample_fmt_is_planar(target_.format) ? channels : 1;
    convBuf_ = static_cast<uint8_t**>(lav::av_calloc(static_cast<size_t>(planes), sizeof(uint8_t*)));
    if (!convBuf_) return AVERROR(ENOMEM);
    const int ret =
        lav::av_samples_alloc(convBuf_, nullptr, channels, samples, target_.format, 0);
    if (ret < 0) {
        lav::av_freep(&convBuf_);
        return ret;
    }
    convCapacity_ = samples;
    return 0;
}

int AudioConverter::resampleInto(const uint8_t** in, int count) {
    const int capacity = lav::swr_get_out_samples(swr_, count);
    if (capacity <= 0) return 0;
    int ret = ensureConvCapacity(capacity);
    if (ret < 0) return ret;
    const int converted = lav::swr_convert(swr_, convBuf_, convCapacity_, in, count);
    if (converted < 0) return converted;
    if (converted > 0) {
        ret = lav::av_audio_fifo_write(fifo_, reinterpret_cast<void**>(convBuf_), converted);
        if (ret < 0) return ret;
    }
    return 0;
}

void AudioConverter::applyVolume(AVFrame* frame) const {
    forEachPlane(frame, [&](uint8_t* data, int count, AVSampleFormat packed) {
        switch (packed) {
            case AV_SAMPLE_FMT_U8: {
                for (int i = 0; i < count; ++i) {
                    const int v = ((data[i] - 128) * volume_ + 128) / 256;
                    data[i] = static_cast<uint8_t>(std::clamp(v, -128, 127) + 128);
                }
                break;
            }
            case AV_SAMPLE_FMT_S16: scaleInts<int16_t>(data, count, volume_); break;
            case AV_SAMPLE_FMT_S32: scaleInts<int32_t>(data, count, volume_); break;
            case AV_SAMPLE_FMT_FLT: scaleReals<float>(data, count, volume_); break;
            case AV_SAMPLE_FMT_DBL: scaleReals<double>(data, count, volume_); break;
            default: break;  // 64-bit integers: left as they are
        }
    });
}

int AudioConverter::Push(const AVFrame* in, int skip, std::string* error, int end) {
    if (!fifo_) return AVERROR(EINVAL);
    const int last = end < 0 ? in->nb_samples : std::min(end, in->nb_samples);
    if (in->nb_samples <= 0 || in->sample_rate <= 0 || skip >= last) return 0;
    int ret = ensureResampler(in, error);
    if (ret < 0) return ret;
    const AVFrame* src = in;
    if (volume_ != 256) {
        lav::av_frame_unref(scratch_);
        ret = lav::av_frame_ref(scratch_, in);
        if (ret >= 0) ret = lav::av_frame_make_writable(scratch_);
        if (ret < 0) return ret;
        applyVolume(scratch_);
        src = scratch_;
    }
    const auto format = static_cast<AVSampleFormat>(src->format);
    const bool planar = lav::av_sample_fmt_is_planar(format);
    const int channels = src->ch_layout.nb_channels;
    const int planes = planar ? channels : 1;
    const int offset = skip * lav::av_get_bytes_per_sample(format) * (planar ? 1 : channels);
    const uint8_t* ptrs[AV_NUM_DATA_POINTERS * 8];
    if (planes > static_cast<int>(sizeof ptrs / sizeof ptrs[0])) return AVERROR(EINVAL);
    for (int p = 0; p < planes; ++p) ptrs[p] = src->extended_data[p] + offset;
    const int count = last - skip;
    if (swr_)
        ret = resampleInto(ptrs, count);
    else
        ret = lav::av_audio_fifo_write(fifo_, reinterpret_cast<void**>(const_cast<uint8_t**>(ptrs)),
                                       count);
    lav::av_frame_unref(scratch_);
    return ret < 0 ? ret : 0;
}

int AudioConverter::PushSilence(int samples) {
    if (samples <= 0) return 0;
    int ret = ensureConvCapacity(samples);
    if (ret < 0) return ret;
    lav::av_samples_set_silence(convBuf_, 0, samples, target_.layout.nb_channels, target_.format);
    ret = lav::av_audio_fifo_write(fifo_, reinterpret_cast<void**>(convBuf_), samples);
    return ret < 0 ? ret : 0;
}

int AudioConverter::Compensate(int delta, int distance) {
    if (!swr_) return AVERROR(EINVAL);
    return lav::swr_set_compensation(swr_, delta, distance);
}

int64_t AudioConverter::Buffered() const {
    int64_t n = fifo_ ? lav::av_audio_fifo_size(fifo_) : 0;
    if (swr_) n += lav::swr_get_delay(swr_, target_.sampleRate);
    return n;
}

AVFrame* AudioConverter::Pull(bool flush) {
    if (!fifo_) return nullptr;
    if (flush && swr_ && resampleInto(nullptr, 0) < 0) return nullptr;
    const int queued = lav::av_audio_fifo_size(fifo_);
    int take;
    int size;
    if (target_.frameSize <= 0) {
        take = size = queued;
    } else if (queued >= target_.frameSize) {
        take = size = target_.frameSize;
    } else if (flush && queued > 0) {
        take = queued;
        size = target_.smallLastFrame ? queued : target_.frameSize;
    } else {
        return nullptr;
    }
    if (take <= 0) return nullptr;
    lav::av_frame_unref(out_);
    out_->format = target_.format;
    out_->sample_rate = target_.sampleRate;
    out_->nb_samples = size;
    if (lav::av_channel_layout_copy(&out_->ch_layout, &target_.layout) < 0 ||
        lav::av_frame_get_buffer(out_, 0) < 0)
        return nullptr;
    if (lav::av_audio_fifo_read(fifo_, reinterpret_cast<void**>(out_->extended_data), take) !=
        take)
        return nullptr;
    if (size > take)
        lav::av_samples_set_silence(out_->extended_data, take, size - take,
                                    target_.layout.nb_channels, target_.format);
    if (target_.clampFloat) clampSamples(out_);
    return out_;
}

void AudioConverter::clampSamples(AVFrame* frame) const {
    forEachPlane(frame, [](uint8_t* data, int count, AVSampleFormat packed) {
        if (packed != AV_SAMPLE_FMT_FLT) return;
        auto* s = reinterpret_cast<float*>(data);
        for (int i = 0; i < count; ++i)
            s[i] = std::isnan(s[i]) ? 0.0f : std::clamp(s[i], -1.0f, 1.0f);
    });
}
