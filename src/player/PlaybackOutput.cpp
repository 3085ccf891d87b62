// Playback: clocks, the play thread's event loop, showing pictures on time, drawing, and the
// audio device callback.
//
// Timing. Sound is the master clock. The audio clock is the time of the sample the device is
// playing: at each device callback it is the time at the end of the decoded samples, less what
// is still waiting in the decode buffer and less the buffer just handed over (which starts
// playing then); between callbacks it runs on with the monotonic clock, never further than one
// device buffer. A picture is due when the frame timer (the time the previous picture was due)
// plus its delay has passed; the delay is the distance to the previous picture, corrected by
// the video clock's distance from the master clock whenever that exceeds kSyncThreshold. The
// delay is worked out afresh at every refresh until the picture is shown, so a picture ahead of
// the sound waits for it (also while the sound stalls), and one behind it is shown at once.
#include <QPainter>
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/FFUtils.h"
#include "engine/FFmpegLogger.h"
#include "player/FFPlay.h"
#include "player/Playback.h"

namespace player {
namespace {

constexpr double kSyncThreshold = 0.01;  // s: corrections below this are not worth a jump
constexpr double kNoSyncThreshold = 10.0;
constexpr double kRefreshPeriod = 0.01;     // s: the longest wait between two refreshes
constexpr double kVizRefreshPeriod = 0.02;  // s: while drawing the waveform

// Applies the picture's colour description to a YUV → RGB conversion, as the scale filter does.
void setColorspace(SwsContext* sws, const AVFrame* f) {
    if (f->colorspace == AVCOL_SPC_UNSPECIFIED && f->color_range != AVCOL_RANGE_JPEG) return;
    const int* table = lav::sws_getCoefficients(
        f->colorspace == AVCOL_SPC_UNSPECIFIED ? SWS_CS_DEFAULT : f->colorspace);
    lav::sws_setColorspaceDetails(sws, table, f->color_range == AVCOL_RANGE_JPEG ? 1 : 0,
                                  lav::sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
}

}  // namespace

QImage ScaleToImage(SwsContext*& sws, const AVFrame* frame, QSize size, QImage::Format format,
                    bool frameColors) {
    const bool rgb24 = format == QImage::Format_RGB888;
    const int w = size.width(), h = size.height();
    if (w <= 0 || h <= 0 || frame->width <= 0 || frame->height <= 0) return QImage();
    sws = lav::sws_getCachedContext(
        sws, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), w, h,
        rgb24 ? AV_PIX_FMT_RGB24 : AV_PIX_FMT_BGRA, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!sws) return QImage();
    if (frameColors) setColorspace(sws, frame);
    // The image's rows are laid out for the scaler, not at QImage's own tight row length.
    const int lineSize = ScalerLineSize(w, rgb24 ? 3 : 4);
    auto* data = static_cast<uchar*>(
        std::aligned_alloc(64, static_cast<size_t>(lineSize) * static_cast<size_t>(h)));
    if (!data) return QImage();
    QImage image(data, w, h, lineSize, format, std::free, data);
    uint8_t* dst[4] = {data, nullptr, nullptr, nullptr};
    const int dstStride[4] = {lineSize, 0, 0, 0};
    lav::sws_scale(sws, frame->data, frame->linesize, 0, frame->height, dst, dstStride);
    return image;
}

// ---------------------------------------------------------------------------------------------
// Clocks.

double Playback::AudioClock(double now) const {
    std::lock_guard<std::mutex> lk(clockMutex);
    if (clockPaused) return pausedClock;
    // Everything decoded was handed over: the sound has reached its end.
    if (audioFinished.load() && !std::isnan(audioPtsEnd)) return audioPtsEnd;
    if (std::isnan(clockBase) || bytesPerSecond <= 0) return NAN;
    const double cap = static_cast<double>(deviceBufferBytes) / bytesPerSecond;
    return clockBase + std::clamp(now - clockTime, 0.0, cap);
}

double Playback::VideoClock(double now) const {
    if (std::isnan(videoCurrentPts)) return static_cast<double>(containerStart) / AV_TIME_BASE;
    if (paused.load()) return videoCurrentPts;
    return videoCurrentPts + (now - videoCurrentTime);
}

bool Playback::AudioMaster() {
    return audioSt && !audioFinished.load() && !std::isnan(AudioClock(Now()));
}

double Playback::MasterClock(double now) {
    if (audioSt && !audioFinished.load()) {
        const double a = AudioClock(now);
        if (!std::isnan(a)) return a;
    }
    return VideoClock(now);
}

double Playback::targetDelay(double pts, double now) const {
    double delay = pts - frameLastPts;
    if (std::isnan(delay) || delay <= 0 || delay >= 10) delay = frameLastDelay;
    if (!audioSt || audioFinished.load()) return delay;
    const double audio = AudioClock(now);
    if (std::isnan(audio) || std::isnan(videoCurrentPts)) return delay;
    const double diff = VideoClock(now) - audio;
    if (std::fabs(diff) >= kNoSyncThreshold) return delay;
    if (diff <= -kSyncThreshold) return std::max(0.0, delay + diff);
    if (diff >= kSyncThreshold) return delay + diff;
    return delay;
}

// ---------------------------------------------------------------------------------------------
// The play thread's loop.

void Playback::PostEvent(Event e) {
    {
        std::lock_guard<std::mutex> lk(eventMutex);
        if (e == evRefresh) {
            if (refreshPending) return;
            refreshPending = true;
        }
        events.push_back(e);
    }
    eventCv.notify_all();
}

void Playback::EventLoop() {
    double nextRefresh = Now();
    for (;;) {
        Event e = evRefresh;
        {
            std::unique_lock<std::mutex> lk(eventMutex);
            // While paused nothing is due by time; events (a queued picture, a seek, a resize,
            // the pause switch) wake the loop.
            const bool timed = !paused.load() || vizMode != 0;
            const auto has = [&] { return !events.empty(); };
            if (timed) {
                const double wait = std::max(0.0, nextRefresh - Now());
                eventCv.wait_for(lk, std::chrono::duration<double>(wait), has);
            } else {
                eventCv.wait(lk, has);
            }
            if (!events.empty()) {
                e = events.front();
                events.pop_front();
            }
            if (e == evRefresh) refreshPending = false;
        }
        {
            std::lock_guard<std::mutex> lock(playLock);
            // Events raised meanwhile are handed over after the lock is released: a handler
            // that runs on this thread may call Pause or Resume, which take the lock.
            DeferDelivery defer;
            if (closed.load()) return;
            switch (e) {
                case evQuit:
                    Close();
                    return;
                case evResized:
                case evReopen:
                case evExposed:
                    display();
                    break;
                case evRefresh:
                    nextRefresh = Now() + refresh();
                    break;
            }
        }
        owner->deliverDeferred();
    }
}

// ---------------------------------------------------------------------------------------------
// Refresh: show what is due.

double Playback::refresh() {
    double remaining = vizMode ? kVizRefreshPeriod : kRefreshPeriod;
    if (videoSt) {
        for (;;) {
            if (pictq.Size() == 0) break;
            Picture& vp = pictq.Peek(0);
            if (vp.serial != serial.load()) {  // decoded before a seek
                pictq.Pop();
                continue;
            }
            // After opening or a seek the first picture is shown at once, also while paused.
            const bool first = vp.serial != playedSerial;
            const bool isPaused = paused.load();
            if (isPaused && !first) break;
            const double now = Now();
            if (first) {
                frameTimer = now;
                frameLastPts = NAN;
                frameLastDelay = 0;
            }
            const double delay = first ? 0 : targetDelay(vp.pts, now);
            if (now < frameTimer + delay) {
                remaining = std::min(remaining, frameTimer + delay - now);
                break;
            }
            const double distance = vp.pts - frameLastPts;
            if (distance > 0 && distance < 10) frameLastDelay = distance;
            frameLastPts = vp.pts;
            frameTimer += delay;
            if (delay > 0 && now - frameTimer > 0.1) frameTimer = now;

            if (!first && !isPaused && !realtime && pictq.Size() > 1) {
                const Picture& next = pictq.Peek(1);
                double duration = next.pts - vp.pts;
                if (!(duration > 0 && duration < 10)) duration = vp.duration;
                if (next.serial == vp.serial && now > frameTimer + duration) {
                    // Late, and the next picture is already here: skip this one.
                    {
                        std::lock_guard<std::mutex> lk(pictq.Mutex());
                        skipFrames *= 1.05;
                    }
                    owner->countDropped();
                    pictq.Pop();
                    continue;
                }
            }
            showPicture(vp, now, !isPaused && !first);
            pictq.Pop();
            if (isPaused) break;
        }
    } else if (audioSt && vizMode) {
        display();
    }
    owner->reportPosition(*this);
    checkEnd();
    return std::max(remaining, 0.0);
}

void Playback::showPicture(Picture& vp, double now, bool playing) {
    {
        std::lock_guard<std::mutex> lk(displayMutex);
        std::swap(lastShown, vp.frame);  // the slot frees the previous picture
        lastShownPts = vp.pts;
    }
    videoCurrentPts = vp.pts;
    videoCurrentTime = now;
    videoCurrentPos = vp.pos;
    playedSerial = vp.serial;
    const double error = playing && AudioMaster() ? vp.pts - AudioClock(now) : NAN;
    owner->countShown(vp.pts, now, error);
    display();
    // The position first: a seek's waiter reads it as soon as it learns the picture is shown.
    owner->reportPosition(*this);
    {
        std::lock_guard<std::mutex> lk(seekMutex);
        shownSerial = vp.serial;
    }
    seekCv.notify_all();
    if (pausePending) {
        pausePending = false;
        owner->setState(psPause);
    }
}

void Playback::checkEnd() {
    if (realtime || endSignalled.load() || !readEof.load()) return;
    if (!audioq.Empty() || !videoq.Empty() || !subtitleq.Empty()) return;
    if (videoSt && (pictq.Size() > 0 || !VideoFinished())) return;
    if (audioSt && !audioFinished.load()) return;
    endSignalled = true;
    owner->setState(psEnd);
}

// ---------------------------------------------------------------------------------------------
// Drawing.

QRect Playback::pictureRect(const AVFrame* frame, const QSize& surface) const {
    const float wanted = owner->AspectRatio();
    double aspect;
    if (wanted > 0) {
        aspect = wanted;
    } else if (wanted < 0) {
        aspect = static_cast<double>(surface.width()) / surface.height();
    } else {
        AVRational sar = frame->sample_aspect_ratio;
        if (sar.num <= 0 || sar.den <= 0) sar = videoSt->sample_aspect_ratio;
        const double s = sar.num > 0 && sar.den > 0 ? av_q2d(sar) : 1.0;
        aspect = s * frame->width / frame->height;
    }
    if (!(aspect > 0)) aspect = 1.0;
    int h = surface.height();
    int w = static_cast<int>(std::lrint(h * aspect)) & ~1;
    if (w > surface.width()) {
        w = surface.width();
        h = static_cast<int>(std::lrint(w / aspect)) & ~1;
    }
    w = std::max(w, 2);
    h = std::max(h, 2);
    return QRect((surface.width() - w) / 2, (surface.height() - h) / 2, w, h);
}

void Playback::display() {
    if (!output) return;
    QSize surface(owner->ScreenWidth(), owner->ScreenHeight());
    if (surface.width() <= 0 || surface.height() <= 0) surface = output->SurfaceSize();
    if (surface.width() < 2 || surface.height() < 2) return;
    if (vizMode == 1) {
        drawWaveform(surface);
        return;
    }
    AVFrame* frame = nullptr;
    double pts = NAN;
    {
        std::lock_guard<std::mutex> lk(displayMutex);
        if (lastShown) frame = lav::av_frame_clone(lastShown);
        pts = lastShownPts;
    }
    if (!frame) {
        output->Present(QImage(), QRect());
        return;
    }
    const QRect rect = pictureRect(frame, surface);
    QImage image = ScaleToImage(displaySws, frame, rect.size(), QImage::Format_RGB32, true);
    if (image.isNull()) {
        lav::av_frame_free(&frame);
        return;
    }

    // Subtitles are drawn into this copy, never into the decoded picture.
    if (subtitleSt) {
        while (subpq.Size() > 0) {
            Subpicture& sp = subpq.Peek(0);
            const double end = sp.pts + sp.sub.end_display_time / 1000.0;
            const bool nextStarted = subpq.Size() > 1 && subpq.Peek(1).pts <= pts;
            if (sp.serial != serial.load() || pts > end || nextStarted) {
                subpq.Pop();
                continue;
            }
            break;
        }
        if (subpq.Size() > 0) {
            Subpicture& sp = subpq.Peek(0);
            if (pts >= sp.pts + sp.sub.start_display_time / 1000.0) {
                const int baseW = sdec && sdec->width > 0 ? sdec->width : frame->width;
                const int baseH = sdec && sdec->height > 0 ? sdec->height : frame->height;
                const double sx = static_cast<double>(rect.width()) / baseW;
                const double sy = static_cast<double>(rect.height()) / baseH;
                QPainter painter(&image);
                painter.setRenderHint(QPainter::SmoothPixmapTransform);
                for (unsigned i = 0; i < sp.sub.num_rects; ++i) {
                    const AVSubtitleRect* r = sp.sub.rects[i];
                    if (r->type != SUBTITLE_BITMAP || r->w <= 0 || r->h <= 0) continue;
                    QImage bitmap(r->w, r->h, QImage::Format_ARGB32);
                    const auto* palette = reinterpret_cast<const uint32_t*>(r->data[1]);
                    for (int y = 0; y < r->h; ++y) {
                        auto* line = reinterpret_cast<uint32_t*>(bitmap.scanLine(y));
                        const uint8_t* src = r->data[0] + y * r->linesize[0];
                        for (int x = 0; x < r->w; ++x) line[x] = palette[src[x]];
                    }
                    painter.drawImage(QRectF(r->x * sx, r->y * sy, r->w * sx, r->h * sy), bitmap);
                }
            }
        }
    }
    output->Present(image, rect);
    lav::av_frame_free(&frame);
}

void Playback::drawWaveform(const QSize& size) {
    const int channels = std::max(audioChannels, 1);
    const int width = size.width();
    const int n = static_cast<int>(vizSamples.size());
    std::vector<int16_t> samples(static_cast<size_t>(width) * channels);
    {
        std::lock_guard<std::mutex> lk(vizMutex);
        if (n == 0) return;
        int start = vizLastStart;
        if (!paused.load()) {
            // The sample being heard now: the ring's end less what is still buffered.
            double sinceCallback;
            {
                std::lock_guard<std::mutex> ck(clockMutex);
                sinceCallback = Now() - audioCallbackTime;
            }
            int delay = deviceBufferBytes / (2 * channels);
            delay -= static_cast<int>(sinceCallback * audioRate);
            delay += 2 * width;
            delay = std::max(delay, width);
            start = ((vizIndex - delay * channels) % n + n) % n;
            // Steady picture: begin at a rising zero crossing with the largest swing nearby.
            int best = start;
            int bestScore = -65536;
            for (int i = 0; i < 1000; i += channels) {
                const int idx = ((start - i) % n + n) % n;
                const int a = vizSamples[idx];
                const int b = vizSamples[(idx + 4 * channels) % n];
                const int c = vizSamples[(idx + 5 * channels) % n];
                const int d = vizSamples[(idx + 9 * channels) % n];
                const int score = a - d;
                if (b * c <= 0 && score > bestScore) {
                    bestScore = score;
                    best = idx;
                }
            }
            start = best;
            vizLastStart = start;
        }
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = vizSamples[(start + static_cast<int>(i)) % n];
    }
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    const int band = size.height() / channels;
    const int scale = band * 9 / 20;
    for (int ch = 0; ch < channels; ++ch) {
        const int centre = ch * band + band / 2;
        for (int x = 0; x < width; ++x) {
            const int v = samples[static_cast<size_t>(x) * channels + ch] * scale / 32768;
            if (v >= 0)
                painter.fillRect(x, centre, 1, std::max(v, 1), Qt::white);
            else
                painter.fillRect(x, centre + v, 1, -v, Qt::white);
        }
    }
    for (int ch = 1; ch < channels; ++ch) painter.fillRect(0, ch * band, width, 1, Qt::white);
    painter.end();
    output->Present(image, QRect(QPoint(0, 0), size));
}

// ---------------------------------------------------------------------------------------------
// The pause switch.

void Playback::SetPaused(bool pause) {
    const double now = Now();
    if (pause == paused.load()) return;
    if (!pause) {
        // Time stands still while paused: move the frame timer and the picture's clock on by
        // the time spent paused since the picture came on screen.
        const double shift = now - std::max(pausedAt, videoCurrentTime);
        if (shift > 0) {
            frameTimer += shift;
            videoCurrentTime += shift;
        }
        {
            std::lock_guard<std::mutex> lk(clockMutex);
            clockPaused = false;
            clockBase = pausedClock;
            clockTime = now;
        }
        paused = false;
    } else {
        const double clock = AudioClock(now);
        videoCurrentPts = VideoClock(now);
        videoCurrentTime = now;
        {
            std::lock_guard<std::mutex> lk(clockMutex);
            pausedClock = clock;
            clockPaused = true;
        }
        pausedAt = now;
        paused = true;
    }
    {
        std::lock_guard<std::mutex> lk(deviceMutex);
        if (audioDevice) lav::SDL_PauseAudioDevice(audioDevice, pause ? 1 : 0);
    }
    wakeRead();
    PostEvent(evRefresh);
}

// ---------------------------------------------------------------------------------------------
// Sound.

void Playback::audioCallback(void* opaque, Uint8* stream, int len) {
    static_cast<Playback*>(opaque)->fillAudio(stream, len);
}

void Playback::fillAudio(Uint8* stream, int len) {
    const double start = Now();
    std::memset(stream, 0, static_cast<size_t>(len));  // SDL2 does not clear the buffer
    const bool mute = owner->Mute();
    const int volume = owner->AudioVolume();
    const int total = len;
    Uint8* out = stream;
    while (len > 0) {
        if (audioBufIndex >= audioBufSize) {
            const int size = decodeAudio();
            audioBufIsData = size > 0;
            // Nothing to play: a short piece of silence, then look again.
            audioBufSize = size > 0 ? static_cast<size_t>(size) : 1024;
            audioBufIndex = 0;
        }
        const int n = static_cast<int>(
            std::min<size_t>(static_cast<size_t>(len), audioBufSize - audioBufIndex));
        if (audioBufIsData && !mute && volume > 0)
            lav::SDL_MixAudioFormat(out, audioBuf.data() + audioBufIndex, AUDIO_S16SYS,
                                    static_cast<Uint32>(n), volume);
        len -= n;
        out += n;
        audioBufIndex += static_cast<size_t>(n);
    }
    int peak = 0;
    const auto* samples = reinterpret_cast<const int16_t*>(stream);
    for (int i = 0; i < total / 2; ++i)
        peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
    {
        std::lock_guard<std::mutex> lk(clockMutex);
        audioCallbackTime = start;
        if (!std::isnan(audioPtsEnd)) {
            const size_t waiting = audioBufIsData ? audioBufSize - audioBufIndex : 0;
            clockBase = audioPtsEnd -
                        static_cast<double>(waiting + static_cast<size_t>(total)) / bytesPerSecond;
            clockTime = start;
        }
    }
    owner->countAudio(start, total / (2 * std::max(audioChannels, 1)), peak);
}

int Playback::decodeAudio() {
    for (;;) {
        int ret = lav::avcodec_receive_frame(adec, aframe);
        if (ret >= 0) {
            AVChannelLayout in{};
            if (aframe->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
                lav::av_channel_layout_default(&in, aframe->ch_layout.nb_channels);
            else
                lav::av_channel_layout_copy(&in, &aframe->ch_layout);
            if (!swr || aframe->format != swrFormat || aframe->sample_rate != swrRate ||
                lav::av_channel_layout_compare(&in, &swrLayout) != 0) {
                lav::swr_free(&swr);
                AVChannelLayout outLayout{};
                lav::av_channel_layout_default(&outLayout, audioChannels);
                int err = lav::swr_alloc_set_opts2(&swr, &outLayout, AV_SAMPLE_FMT_S16, audioRate,
                                                   &in, static_cast<AVSampleFormat>(aframe->format),
                                                   aframe->sample_rate, 0, nullptr);
                if (err >= 0) err = lav::swr_init(swr);
                lav::av_channel_layout_uninit(&outLayout);
                if (err < 0) {
                    lav::swr_free(&swr);
                    const char* from =
                        lav::av_get_sample_fmt_name(static_cast<AVSampleFormat>(aframe->format));
                    owner->report(Format("Cannot convert %s sample format to %s sample format",
                                         from ? from : "?", "s16"),
                                  false);
                }
                swrFormat = aframe->format;
                swrRate = aframe->sample_rate;
                lav::av_channel_layout_uninit(&swrLayout);
                lav::av_channel_layout_copy(&swrLayout, &in);
            }
            lav::av_channel_layout_uninit(&in);
            int size = -1;
            if (swr) {
                const int capacity = lav::swr_get_out_samples(swr, aframe->nb_samples);
                audioBuf.resize(static_cast<size_t>(std::max(capacity, 0)) * 2 * audioChannels);
                uint8_t* dst = audioBuf.data();
                const int got = lav::swr_convert(swr, &dst, capacity,
                                                 const_cast<const uint8_t**>(aframe->extended_data),
                                                 aframe->nb_samples);
                if (got < 0)
                    GetLogger()->LogMessage(owner, llError, "av_audio_convert() failed");
                else
                    size = got * 2 * audioChannels;
            }
            const double pieceSeconds =
                aframe->sample_rate > 0
                    ? static_cast<double>(aframe->nb_samples) / aframe->sample_rate
                    : 0;
            const int64_t framePts = aframe->pts;
            lav::av_frame_unref(aframe);
            if (size <= 0) continue;
            {
                std::lock_guard<std::mutex> lk(clockMutex);
                if (framePts != AV_NOPTS_VALUE)
                    audioPtsEnd =
                        static_cast<double>(framePts) * av_q2d(audioSt->time_base) + pieceSeconds;
                else if (!std::isnan(audioPtsEnd))
                    audioPtsEnd += pieceSeconds;
            }
            if (vizMode) {
                std::lock_guard<std::mutex> lk(vizMutex);
                const auto* s = reinterpret_cast<const int16_t*>(audioBuf.data());
                const int count = size / 2;
                const int n = static_cast<int>(vizSamples.size());
                for (int i = 0; i < count; ++i) {
                    vizSamples[static_cast<size_t>(vizIndex)] = s[i];
                    vizIndex = (vizIndex + 1) % n;
                }
            }
            return size;
        }
        // After the decoder's end only a flush (a seek) brings it back: look at the queue.
        if (ret == AVERROR_EOF) audioFinished = true;
        if (paused.load()) return -1;
        QueueItem item;
        if (audioq.Get(&item, false) <= 0) return -1;
        switch (item.kind) {
            case QueueItem::Flush: {
                lav::avcodec_flush_buffers(adec);
                audioDecoderDraining = false;
                audioFinished = false;
                std::lock_guard<std::mutex> lk(clockMutex);
                audioPtsEnd = NAN;
                clockBase = NAN;
                break;
            }
            case QueueItem::Drain:
                if (!audioDecoderDraining) {
                    audioDecoderDraining = true;
                    lav::avcodec_send_packet(adec, nullptr);
                }
                break;
            case QueueItem::Data:
                if (audioDecoderDraining) {
                    lav::avcodec_flush_buffers(adec);
                    audioDecoderDraining = false;
                }
                ret = lav::avcodec_send_packet(adec, item.pkt);
                if (ret < 0 && ret != AVERROR(EAGAIN))
                    GetLogger()->LogMessage(owner, llInfo, "avcodec_decode_audio2() failed");
                lav::av_packet_free(&item.pkt);
                break;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The picture on screen for CurrentFrame.

QImage Playback::CurrentImage(int64_t* pts) {
    if (pts) *pts = -1;
    if (!videoSt) return QImage();
    std::lock_guard<std::mutex> lk(displayMutex);
    if (closed.load()) return QImage();
    if (!lastShown) {
        QImage black(videoWidth, videoHeight, QImage::Format_RGB888);
        black.fill(Qt::black);
        return black;
    }
    QImage image = ScaleToImage(frameSws, lastShown, QSize(lastShown->width, lastShown->height),
                                QImage::Format_RGB888, true);
    if (image.isNull()) return image;
    if (pts && !std::isnan(lastShownPts))
        *pts = static_cast<int64_t>(std::llround(lastShownPts * 1e6)) - containerStart;
    return image;
}

}  // namespace player
