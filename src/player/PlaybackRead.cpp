// Playback: opening, the read thread, decoders for pictures and subtitles, seeking, closing.
#include <QFileInfo>
#include <cstring>

#include "engine/FFUtils.h"
#include "engine/FFmpegLogger.h"
#include "engine/UnicodeProtocol.h"
#include "player/FFPlay.h"
#include "player/Playback.h"

namespace player {
namespace {

// Formats whose packets arrive in real time (capture devices and live network sources).
bool isRealtime(const AVFormatContext* ic) {
    const char* name = ic->iformat ? ic->iformat->name : "";
    for (const char* live : {"video4linux2,v4l2", "x11grab", "alsa", "pulse", "rtp", "rtsp", "sdp"})
        if (std::strcmp(name, live) == 0) return true;
    return false;
}

int interruptCallback(void* opaque) { return static_cast<Playback*>(opaque)->abort.load() ? 1 : 0; }

// A video stream that is a real picture sequence (cover art does not count).
bool isMovingPicture(const AVStream* st) {
    return st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
           !(st->disposition & AV_DISPOSITION_ATTACHED_PIC);
}

}  // namespace

Playback::Playback(TCustomPlayer* o) : owner(o) {}

Playback::~Playback() {
    Close();
    output.reset();  // the widget's filter goes on the UI thread, with the playback
}

bool Playback::StreamOpen() {
    paused = startPaused;
    {
        std::lock_guard<std::mutex> lk(clockMutex);
        clockPaused = startPaused;
    }
    pausedAt = Now();
    readThread = std::thread([this] { readThreadMain(); });
    std::unique_lock<std::mutex> lk(openMutex);
    openCv.wait(lk, [&] { return opened != 0; });
    return opened == 1;
}

bool Playback::VideoFinished() {
    std::lock_guard<std::mutex> lk(seekMutex);
    return videoEofSerial == serial.load();
}

void Playback::wakeRead() {
    { std::lock_guard<std::mutex> lk(readMutex); }
    readCv.notify_all();
}

void Playback::readSleep(double seconds) {
    std::unique_lock<std::mutex> lk(readMutex);
    const bool lastPaused = paused.load();
    readCv.wait_for(lk, std::chrono::duration<double>(seconds), [&] {
        if (abort.load() || paused.load() != lastPaused) return true;
        std::lock_guard<std::mutex> sk(seekMutex);
        return seekRequested;
    });
}

bool Playback::queuesFull() const {
    const int64_t total = audioq.Bytes() + videoq.Bytes() + subtitleq.Bytes();
    if (total > kMaxQueueBytes) return true;
    if (videoCatchingUp.load()) return false;
    return (!audioSt || audioq.Bytes() > kMaxAudioQueueBytes) &&
           (!videoSt || videoq.Count() > kMinPackets) &&
           (!subtitleSt || subtitleq.Count() > kMinPackets);
}

bool Playback::openFile() {
    const std::string name = fileName.toStdString();
    // A folder cannot be read and a FIFO or device could block the open: as the probe does,
    // only regular files (or names that do not exist, which the open reports) go further.
    const QFileInfo info(fileName);
    if (info.exists() && !IsRegularFile(fileName)) {
        owner->report(name + (info.isDir() ? ": Is a directory" : ": Not a regular file"), true);
        return false;
    }
    AVDictionary* options = nullptr;
    if (requestedWidth > 0 && requestedHeight > 0)
        lav::av_dict_set(&options, "video_size",
                         Format("%dx%d", requestedWidth, requestedHeight).c_str(), 0);
    int ret = OpenMediaInput(&ic, fileName, nullptr, &options);
    lav::av_dict_free(&options);
    if (ret < 0) {
        owner->report(name + ": " + LibraryErrorText(ret), true);
        return false;
    }
    ic->interrupt_callback.callback = &interruptCallback;
    ic->interrupt_callback.opaque = this;
    {
        CodecLockGuard lock;
        ret = lav::avformat_find_stream_info(ic, nullptr);
    }
    if (ret < 0) {
        owner->report(name + ": could not find codec parameters", true);
        return false;
    }
    if (ic->pb) ic->pb->eof_reached = 0;
    imageSequence = std::strcmp(ic->iformat->name, "image2") == 0;
    realtime = isRealtime(ic);
    containerStart = ic->start_time != AV_NOPTS_VALUE ? ic->start_time : 0;
    containerDuration = ic->duration != AV_NOPTS_VALUE ? ic->duration : -1;

    for (unsigned i = 0; i < ic->nb_streams; ++i) ic->streams[i]->discard = AVDISCARD_ALL;
    int video = -1, audio = -1, subtitle = -1;
    if (!disableVideo) {
        video = lav::av_find_best_stream(ic, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (video >= 0 && !isMovingPicture(ic->streams[video])) {
            video = -1;
            for (unsigned i = 0; i < ic->nb_streams && video < 0; ++i)
                if (isMovingPicture(ic->streams[i])) video = static_cast<int>(i);
        }
    }
    if (!disableAudio)
        audio = lav::av_find_best_stream(ic, AVMEDIA_TYPE_AUDIO, -1, video, nullptr, 0);
    if (!disableVideo)
        subtitle = lav::av_find_best_stream(ic, AVMEDIA_TYPE_SUBTITLE, -1,
                                            audio >= 0 ? audio : video, nullptr, 0);
    if (audio >= 0) openComponent(audio);
    if (video >= 0) openComponent(video);
    if (subtitle >= 0 && videoSt) openComponent(subtitle);
    if (!videoSt && !audioSt) {
        owner->report(name + ": could not open codecs, no stream to play.", true);
        return false;
    }
    if (!videoSt && output && !disableDisplay) vizMode = 1;
    return true;
}

int Playback::openComponent(int index) {
    AVStream* st = ic->streams[index];
    const AVCodecParameters* par = st->codecpar;
    const AVCodec* codec = lav::avcodec_find_decoder(par->codec_id);
    AVCodecContext* dec = codec ? lav::avcodec_alloc_context3(codec) : nullptr;
    int ret = dec ? lav::avcodec_parameters_to_context(dec, par) : -1;
    if (ret >= 0) {
        dec->pkt_timebase = st->time_base;
        dec->workaround_bugs = FF_BUG_AUTODETECT;
        dec->err_recognition = AV_EF_CRCCHECK;
        dec->error_concealment = 3;
        dec->thread_count = par->codec_type == AVMEDIA_TYPE_VIDEO ? 0 : 1;
        CodecLockGuard lock;
        ret = lav::avcodec_open2(dec, codec, nullptr);
    }
    if (ret < 0) {
        owner->report("avcodec_open() failed.", false);
        if (dec) {
            CodecLockGuard lock;
            lav::avcodec_free_context(&dec);
        }
        return -1;
    }
    switch (par->codec_type) {
        case AVMEDIA_TYPE_AUDIO: {
            const int channels = dec->ch_layout.nb_channels;
            SDL_AudioSpec wanted{}, obtained{};
            wanted.freq = dec->sample_rate;
            wanted.format = AUDIO_S16SYS;
            wanted.channels = static_cast<Uint8>(channels == 1 ? 1 : 2);
            wanted.silence = 0;
            wanted.samples = kAudioSamples;
            wanted.callback = &Playback::audioCallback;
            wanted.userdata = this;
            SDL_AudioDeviceID dev =
                wanted.freq > 0 ? lav::SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0) : 0;
            if (!dev) {
                owner->report(std::string("SDL_OpenAudio() failed: ") + lav::SDL_GetError(), false);
                CodecLockGuard lock;
                lav::avcodec_free_context(&dec);
                return -1;
            }
            audioRate = obtained.freq;
            audioChannels = obtained.channels;
            bytesPerSecond = audioRate * 2 * audioChannels;
            deviceBufferBytes = static_cast<int>(obtained.size);
            if (deviceBufferBytes <= 0) deviceBufferBytes = kAudioSamples * 2 * audioChannels;
            audioStreamDuration =
                st->duration != AV_NOPTS_VALUE
                    ? lav::av_rescale_q(st->duration, st->time_base, AVRational{1, AV_TIME_BASE})
                    : -1;
            aframe = lav::av_frame_alloc();
            vizSamples.assign(kVizSamples, 0);
            audioq.Start(serial.load());
            st->discard = AVDISCARD_DEFAULT;
            audioSt = st;
            adec = dec;
            {
                std::lock_guard<std::mutex> lk(deviceMutex);
                audioDevice = dev;
                if (!paused.load()) lav::SDL_PauseAudioDevice(dev, 0);
            }
            break;
        }
        case AVMEDIA_TYPE_VIDEO:
            st->discard = AVDISCARD_DEFAULT;
            videoSt = st;
            vdec = dec;
            videoWidth = dec->width;
            videoHeight = dec->height;
            videoq.Start(serial.load());
            videoThread = std::thread([this] { videoThreadMain(); });
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            st->discard = AVDISCARD_DEFAULT;
            subtitleSt = st;
            sdec = dec;
            subtitleq.Start(serial.load());
            subtitleThread = std::thread([this] { subtitleThreadMain(); });
            break;
        default: {
            CodecLockGuard lock;
            lav::avcodec_free_context(&dec);
            return -1;
        }
    }
    return 0;
}

void Playback::readThreadMain() {
    NameThread("player-read");
    const bool ok = openFile();
    {
        std::lock_guard<std::mutex> lk(openMutex);
        opened = ok ? 1 : -1;
    }
    openCv.notify_all();
    if (!ok) return;

    const std::string name = fileName.toStdString();
    AVPacket* pkt = lav::av_packet_alloc();
    bool lastPaused = paused.load();
    bool errorReported = false;
    while (!abort.load()) {
        if (paused.load() != lastPaused) {
            lastPaused = paused.load();
            if (lastPaused)
                lav::av_read_pause(ic);
            else
                lav::av_read_play(ic);
        }
        bool seek;
        {
            std::lock_guard<std::mutex> lk(seekMutex);
            seek = seekRequested;
        }
        if (seek) {
            carryOutSeek();
            errorReported = false;
            continue;
        }
        if (queuesFull()) {
            readSleep(lastPaused ? 1.0 : 0.01);
            continue;
        }
        if (readEof.load()) {
            // Nothing left to read: wait for a seek (or the end).
            readSleep(lastPaused ? 1.0 : 0.1);
            continue;
        }
        const int ret = lav::av_read_frame(ic, pkt);
        if (abort.load()) break;
        if (ret < 0) {
            if (ret == AVERROR(EAGAIN)) {
                readSleep(0.01);
                continue;
            }
            const bool eof = ret == AVERROR_EOF || (ic->pb && lav::avio_feof(ic->pb));
            if (!imageSequence && !errorReported) {
                errorReported = true;
                if (eof)
                    GetLogger()->LogMessage(owner, llInfo, "reach end of file: " + name);
                else
                    owner->report(Format("error #%d while reading file: %s", ret, name.c_str()),
                                  false);
            }
            if (!eof && !(ic->pb && ic->pb->error)) {
                readSleep(0.1);  // the container may still recover
                continue;
            }
            // The end, or an error of the file itself: what was read plays to its end, and a
            // seek may still reach readable parts.
            readEof = true;
            if (videoSt) videoq.PutDrain();
            if (audioSt) audioq.PutDrain();
            PostEvent(evRefresh);
            continue;
        }
        if (audioSt && pkt->stream_index == audioSt->index)
            audioq.Put(pkt);
        else if (videoSt && pkt->stream_index == videoSt->index)
            videoq.Put(pkt);
        else if (subtitleSt && pkt->stream_index == subtitleSt->index)
            subtitleq.Put(pkt);
        lav::av_packet_unref(pkt);
    }
    lav::av_packet_free(&pkt);
}

void Playback::RequestSeek(int64_t target, int flags) {
    {
        std::lock_guard<std::mutex> lk(seekMutex);
        if (seekRequested) return;  // one request at a time
        seekRequested = true;
        seekTarget = target;
        seekFlags = flags;
        seekDone = false;
        seekFailed = false;
    }
    wakeRead();
}

void Playback::carryOutSeek() {
    int64_t target;
    int flags;
    {
        std::lock_guard<std::mutex> lk(seekMutex);
        target = seekTarget;
        flags = seekFlags;
    }
    int ret = lav::avformat_seek_file(ic, -1, INT64_MIN, target, INT64_MAX,
                                      flags & ~AVSEEK_FLAG_BACKWARD);
    if (ret < 0) ret = lav::av_seek_frame(ic, -1, target, flags);
    if (ret < 0) ret = lav::av_seek_frame(ic, -1, target, flags ^ AVSEEK_FLAG_BACKWARD);
    int newSerial = serial.load();
    if (ret < 0) {
        owner->report(fileName.toStdString() + ": error while seeking", false);
    } else {
        newSerial = serial.load() + 1;
        {
            std::lock_guard<std::mutex> lk(seekMutex);
            const bool byTime = !(flags & AVSEEK_FLAG_BYTE);
            accurateSerial = exactPausedSeek && byTime && paused.load() ? newSerial : -1;
            accurateFrom = static_cast<double>(target) / AV_TIME_BASE;
        }
        // The new number first, so that every queue user recognises what is older.
        serial = newSerial;
        audioq.Clear();
        subtitleq.Clear();
        videoq.Clear();
        if (audioSt) audioq.PutFlush(newSerial);
        if (subtitleSt) subtitleq.PutFlush(newSerial);
        if (videoSt) videoq.PutFlush(newSerial);
        readEof = false;
        audioFinished = false;
        endSignalled = false;
    }
    {
        std::lock_guard<std::mutex> lk(seekMutex);
        seekRequested = false;
        seekDone = true;
        seekFailed = ret < 0;
        seekSerial = newSerial;
    }
    seekCv.notify_all();
    PostEvent(evRefresh);
}

// ---------------------------------------------------------------------------------------------
// Video.

int Playback::getVideoFrame(AVFrame* frame, int* frameSerial) {
    for (;;) {
        int ret = lav::avcodec_receive_frame(vdec, frame);
        if (ret >= 0) {
            bool show;
            {
                std::lock_guard<std::mutex> lk(pictq.Mutex());
                skipFramesIndex += 1;
                show = skipFramesIndex >= skipFrames;
                if (show) skipFramesIndex -= std::max(skipFrames, 1.0);
            }
            if (!show || videoDecoderSerial != serial.load()) {
                if (!show) owner->countDropped();
                lav::av_frame_unref(frame);
                return 0;
            }
            *frameSerial = videoDecoderSerial;
            return 1;
        }
        if (ret == AVERROR_EOF && videoPassed->buf[0]) {
            // Every picture ended before the seek's target: the last one is the one there.
            lav::av_frame_move_ref(frame, videoPassed);
            videoShowFrom = NAN;
            videoCatchingUp = false;
            *frameSerial = videoDecoderSerial;
            return 1;
        }
        if (ret == AVERROR_EOF) {
            // Tagged with the serial of the data it ended, so that a seek carried out meanwhile
            // does not take the old end for its own.
            {
                std::lock_guard<std::mutex> lk(seekMutex);
                videoEofSerial = videoDecoderSerial;
            }
            seekCv.notify_all();
            PostEvent(evRefresh);
        }
        QueueItem item;
        if (videoq.Get(&item, true) < 0) return -1;
        switch (item.kind) {
            case QueueItem::Flush:
                lav::avcodec_flush_buffers(vdec);
                videoDecoderSerial = item.serial;
                videoDraining = false;
                lav::av_frame_unref(videoPassed);
                {
                    std::lock_guard<std::mutex> lk(seekMutex);
                    videoShowFrom = item.serial == accurateSerial ? accurateFrom : NAN;
                }
                videoCatchingUp = !std::isnan(videoShowFrom);
                {
                    std::lock_guard<std::mutex> lk(pictq.Mutex());
                    skipFrames = 1.0;
                    skipFramesIndex = 0.0;
                }
                return 0;
            case QueueItem::Drain:
                if (!videoDraining) {
                    videoDraining = true;
                    lav::avcodec_send_packet(vdec, nullptr);
                }
                break;
            case QueueItem::Data:
                if (videoDraining) {  // data after the end: only after a flush, but be safe
                    lav::avcodec_flush_buffers(vdec);
                    videoDraining = false;
                }
                // After receive said "try again" the decoder always takes a packet.
                lav::avcodec_send_packet(vdec, item.pkt);
                lav::av_packet_free(&item.pkt);
                break;
        }
    }
}

void Playback::videoThreadMain() {
    NameThread("player-video");
    AVFrame* frame = lav::av_frame_alloc();
    videoPassed = lav::av_frame_alloc();
    const AVRational tb = videoSt->time_base;
    for (;;) {
        int frameSerial = 0;
        const int ret = getVideoFrame(frame, &frameSerial);
        if (ret < 0) break;
        if (ret == 0) continue;
        const AVRational rate = lav::av_guess_frame_rate(ic, videoSt, frame);
        const double duration = rate.num && rate.den ? av_q2d(AVRational{rate.den, rate.num}) : 0;
        const double pts = frame->best_effort_timestamp == AV_NOPTS_VALUE
                               ? NAN
                               : static_cast<double>(frame->best_effort_timestamp) * av_q2d(tb);
        if (!std::isnan(videoShowFrom)) {
            // Nearest picture: passed over while the target is nearer the next one.
            if (pts + duration / 2 < videoShowFrom) {
                lav::av_frame_unref(videoPassed);
                lav::av_frame_move_ref(videoPassed, frame);
                continue;
            }
            videoShowFrom = NAN;
            videoCatchingUp = false;
            lav::av_frame_unref(videoPassed);
        }
        runHook(frame, pts);
        if (!queuePicture(frame, pts, duration, frame->pkt_pos, frameSerial)) break;
    }
    lav::av_frame_free(&frame);
    lav::av_frame_free(&videoPassed);
}

bool Playback::queuePicture(AVFrame* frame, double pts, double duration, int64_t pos,
                            int frameSerial) {
    if (std::isnan(pts))
        pts = videoClock;
    else
        videoClock = pts;
    videoClock += duration * (1.0 + 0.5 * frame->repeat_pict);

    bool waited = false;
    if (!pictq.WaitWritable(&waited)) {
        lav::av_frame_unref(frame);
        return false;
    }
    if (waited) {
        std::lock_guard<std::mutex> lk(pictq.Mutex());
        skipFrames = std::max(0.95, skipFrames * 0.95);
    }
    if (frameSerial != serial.load()) {  // a seek overtook it while it waited
        lav::av_frame_unref(frame);
        return true;
    }
    Picture& vp = pictq.WriteSlot();
    vp.Reset();
    vp.frame = lav::av_frame_alloc();
    if (!vp.frame) {
        lav::av_frame_unref(frame);
        return false;
    }
    lav::av_frame_move_ref(vp.frame, frame);
    vp.pts = pts;
    vp.duration = duration;
    vp.pos = pos;
    vp.serial = frameSerial;
    {
        // Before the decoder can report its end for this serial: a seek's waiter then knows that
        // a picture of it is on its way to the screen.
        std::lock_guard<std::mutex> lk(seekMutex);
        queuedSerial = frameSerial;
    }
    pictq.Push();
    PostEvent(evRefresh);
    return true;
}

void Playback::runHook(AVFrame*& frame, double pts) {
    THookEvent hook;
    if (!owner->Hook() || !(hook = owner->hookHandler())) return;
    const int w = frame->width, h = frame->height;
    const auto fmt = static_cast<AVPixelFormat>(frame->format);
    QImage image = ScaleToImage(hookToRgb, frame, QSize(w, h), QImage::Format_RGB888, false);
    if (image.isNull()) {
        owner->report("Cannot initialize the toRGB conversion context", false);
        return;
    }
    const int64_t micro =
        std::isnan(pts) ? -1 : static_cast<int64_t>(std::llround(pts * 1e6)) - containerStart;
    try {
        hook(owner, image, micro);
    } catch (const std::exception& e) {
        owner->report(std::string("Error occurs OnHook: ") + e.what(), false);
        return;
    }
    if (image.width() != w || image.height() != h || image.format() != QImage::Format_RGB888)
        return;  // the handler replaced the picture with something else: keep the decoded one
    hookFromRgb = lav::sws_getCachedContext(hookFromRgb, w, h, AV_PIX_FMT_RGB24, w, h, fmt,
                                            SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!hookFromRgb) {
        owner->report("Cannot initialize the fromRGB conversion context", false);
        return;
    }
    AVFrame* out = lav::av_frame_alloc();
    if (!out) return;
    out->format = fmt;
    out->width = w;
    out->height = h;
    if (lav::av_frame_get_buffer(out, 0) < 0) {
        lav::av_frame_free(&out);
        return;
    }
    lav::av_frame_copy_props(out, frame);
    const uint8_t* src[4] = {image.constBits(), nullptr, nullptr, nullptr};
    const int srcStride[4] = {static_cast<int>(image.bytesPerLine()), 0, 0, 0};
    lav::sws_scale(hookFromRgb, src, srcStride, 0, h, out->data, out->linesize);
    lav::av_frame_unref(frame);
    lav::av_frame_move_ref(frame, out);
    lav::av_frame_free(&out);
}

// ---------------------------------------------------------------------------------------------
// Subtitles.

void Playback::subtitleThreadMain() {
    NameThread("player-subtitle");
    int decoderSerial = serial.load();
    for (;;) {
        QueueItem item;
        if (subtitleq.Get(&item, true) < 0) break;
        if (item.kind == QueueItem::Flush) {
            lav::avcodec_flush_buffers(sdec);
            decoderSerial = item.serial;
            continue;
        }
        if (item.kind == QueueItem::Drain) continue;
        if (!subpq.WaitWritable()) {
            lav::av_packet_free(&item.pkt);
            break;
        }
        Subpicture& sp = subpq.WriteSlot();
        sp.Reset();
        int got = 0;
        const int ret = lav::avcodec_decode_subtitle2(sdec, &sp.sub, &got, item.pkt);
        if (ret >= 0 && got) {
            if (sp.sub.format == 0) {  // bitmap subtitles only
                sp.valid = true;
                if (sp.sub.pts != AV_NOPTS_VALUE)
                    sp.pts = static_cast<double>(sp.sub.pts) / AV_TIME_BASE;
                else if (item.pkt->pts != AV_NOPTS_VALUE)
                    sp.pts = static_cast<double>(item.pkt->pts) * av_q2d(subtitleSt->time_base);
                else
                    sp.pts = 0;
                sp.serial = decoderSerial;
                subpq.Push();
            } else {
                lav::avsubtitle_free(&sp.sub);
            }
        }
        lav::av_packet_free(&item.pkt);
    }
}

// ---------------------------------------------------------------------------------------------
// Closing.

void Playback::Close() {
    if (closed.exchange(true)) return;
    abort = true;
    audioq.Abort();
    videoq.Abort();
    subtitleq.Abort();
    pictq.Abort();
    subpq.Abort();
    wakeRead();
    seekCv.notify_all();
    if (readThread.joinable()) readThread.join();
    {
        std::lock_guard<std::mutex> lk(deviceMutex);
        if (audioDevice) lav::SDL_CloseAudioDevice(audioDevice);  // joins SDL's audio thread
        audioDevice = 0;
    }
    if (videoThread.joinable()) videoThread.join();
    if (subtitleThread.joinable()) subtitleThread.join();
    {
        CodecLockGuard lock;
        if (adec) lav::avcodec_free_context(&adec);
        if (vdec) lav::avcodec_free_context(&vdec);
        if (sdec) lav::avcodec_free_context(&sdec);
    }
    audioq.Clear();
    videoq.Clear();
    subtitleq.Clear();
    while (pictq.Size() > 0) pictq.Pop();
    while (subpq.Size() > 0) subpq.Pop();
    if (ic) CloseMediaInput(&ic);
    if (aframe) lav::av_frame_free(&aframe);
    if (swr) lav::swr_free(&swr);
    lav::av_channel_layout_uninit(&swrLayout);
    for (SwsContext** ctx : {&hookToRgb, &hookFromRgb, &displaySws}) {
        if (*ctx) lav::sws_freeContext(*ctx);
        *ctx = nullptr;
    }
    std::lock_guard<std::mutex> lk(displayMutex);
    if (lastShown) lav::av_frame_free(&lastShown);
    if (frameSws) lav::sws_freeContext(frameSws);
    frameSws = nullptr;
}

}  // namespace player
