#include "MediaAnalysis.h"

#include <algorithm>
#include <cmath>

#include <gtest/gtest.h>

#include "medialib/LibAV.h"

namespace analysis {
namespace {

// Decodes every frame of the best stream of `type`, calling `each` with the frame and its time.
template <typename Fn>
void decodeAll(const std::string& path, AVMediaType type, Fn each) {
    // The library's own file reading, not ours: what is measured is independent of the engine.
    AVFormatContext* ic = nullptr;
    if (lav::avformat_open_input(&ic, path.c_str(), nullptr, nullptr) < 0) {
        ADD_FAILURE() << "cannot open " << path;
        return;
    }
    lav::avformat_find_stream_info(ic, nullptr);
    const AVCodec* codec = nullptr;
    const int index = lav::av_find_best_stream(ic, type, -1, -1, &codec, 0);
    if (index < 0 || !codec) {
        lav::avformat_close_input(&ic);
        ADD_FAILURE() << "no stream of the wanted kind in " << path;
        return;
    }
    AVStream* st = ic->streams[index];
    AVCodecContext* dec = lav::avcodec_alloc_context3(codec);
    lav::avcodec_parameters_to_context(dec, st->codecpar);
    dec->pkt_timebase = st->time_base;
    lav::avcodec_open2(dec, codec, nullptr);
    AVPacket* pkt = lav::av_packet_alloc();
    AVFrame* frame = lav::av_frame_alloc();
    auto drain = [&] {
        while (lav::avcodec_receive_frame(dec, frame) == 0) {
            const int64_t ts = frame->best_effort_timestamp;
            each(frame, ts == AV_NOPTS_VALUE ? NAN : static_cast<double>(ts) * av_q2d(st->time_base));
            lav::av_frame_unref(frame);
        }
    };
    while (lav::av_read_frame(ic, pkt) >= 0) {
        if (pkt->stream_index == index) {
            lav::avcodec_send_packet(dec, pkt);
            drain();
        }
        lav::av_packet_unref(pkt);
    }
    lav::avcodec_send_packet(dec, nullptr);
    drain();
    lav::av_frame_free(&frame);
    lav::av_packet_free(&pkt);
    lav::avcodec_free_context(&dec);
    lav::avformat_close_input(&ic);
}

float sampleAt(const AVFrame* f, int i) {
    const auto fmt = static_cast<AVSampleFormat>(f->format);
    const bool planar = lav::av_sample_fmt_is_planar(fmt);
    const int step = planar ? 1 : f->ch_layout.nb_channels;
    const uint8_t* d = f->extended_data[0];
    switch (lav::av_get_packed_sample_fmt(fmt)) {
        case AV_SAMPLE_FMT_S16: return reinterpret_cast<const int16_t*>(d)[i * step] / 32768.f;
        case AV_SAMPLE_FMT_S32:
            return static_cast<float>(reinterpret_cast<const int32_t*>(d)[i * step] / 2147483648.0);
        case AV_SAMPLE_FMT_FLT: return reinterpret_cast<const float*>(d)[i * step];
        case AV_SAMPLE_FMT_DBL:
            return static_cast<float>(reinterpret_cast<const double*>(d)[i * step]);
        case AV_SAMPLE_FMT_U8: return (d[i * step] - 128) / 128.f;
        default: return 0;
    }
}

}  // namespace

std::vector<Picture> Pictures(const std::string& path) {
    std::vector<Picture> out;
    decodeAll(path, AVMEDIA_TYPE_VIDEO, [&](const AVFrame* f, double t) {
        double sum = 0;
        for (int y = 0; y < f->height; ++y)
            for (int x = 0; x < f->width; ++x) sum += f->data[0][y * f->linesize[0] + x];
        out.push_back({t, sum / (static_cast<double>(f->width) * f->height), f->width, f->height});
    });
    std::sort(out.begin(), out.end(),
              [](const Picture& a, const Picture& b) { return a.time < b.time; });
    return out;
}

std::vector<Luma> LumaPictures(const std::string& path) {
    std::vector<Luma> out;
    decodeAll(path, AVMEDIA_TYPE_VIDEO, [&](const AVFrame* f, double t) {
        Luma l{t, f->width, f->height, {}};
        l.y.resize(static_cast<size_t>(f->width) * f->height);
        for (int y = 0; y < f->height; ++y)
            std::copy_n(f->data[0] + y * f->linesize[0], f->width,
                        l.y.begin() + static_cast<ptrdiff_t>(y) * f->width);
        out.push_back(std::move(l));
    });
    std::sort(out.begin(), out.end(), [](const Luma& a, const Luma& b) { return a.time < b.time; });
    return out;
}

double Psnr(const Luma& a, const Luma& b) {
    if (a.width != b.width || a.height != b.height || a.y.empty()) return 0;
    double sum = 0;
    for (size_t i = 0; i < a.y.size(); ++i) {
        const double d = static_cast<double>(a.y[i]) - b.y[i];
        sum += d * d;
    }
    const double mse = sum / static_cast<double>(a.y.size());
    return mse > 0 ? 10.0 * std::log10(255.0 * 255.0 / mse) : 99.0;
}

Sound FirstChannel(const std::string& path) {
    Sound s;
    bool first = true;
    decodeAll(path, AVMEDIA_TYPE_AUDIO, [&](const AVFrame* f, double t) {
        if (first) {
            s.rate = f->sample_rate;
            s.start = std::isnan(t) ? 0 : t;
            first = false;
        }
        for (int i = 0; i < f->nb_samples; ++i) s.samples.push_back(sampleAt(f, i));
    });
    return s;
}

std::vector<double> FlashTimes(const std::vector<Picture>& pictures) {
    std::vector<double> times;
    bool dark = true;
    for (const Picture& p : pictures) {
        if (dark && p.meanY > 128) times.push_back(p.time);
        dark = p.meanY < 64;
    }
    return times;
}

std::vector<double> BeepTimes(const Sound& sound) {
    std::vector<double> times;
    const size_t quiet = static_cast<size_t>(sound.rate / 10);
    size_t silent = quiet;
    for (size_t i = 0; i < sound.samples.size(); ++i) {
        if (std::fabs(sound.samples[i]) > 0.2f) {
            if (silent >= quiet) times.push_back(sound.start + static_cast<double>(i) / sound.rate);
            silent = 0;
        } else {
            ++silent;
        }
    }
    return times;
}

}  // namespace analysis
