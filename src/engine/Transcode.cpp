// The running conversion of one task: start-of-conversion set-up, the packet loop, the audio and
// video output steps, join mode, progress reports and the clean-up.
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cinttypes>
#include <cmath>
#include <cstring>
#include <thread>

#include "engine/FFUtils.h"
#include "engine/FFmpeg.h"
#include "engine/FFmpegInternal.h"
#include "engine/FrameHook.h"
#include "engine/UnicodeProtocol.h"
#include "medialib/FFmpegLoader.h"

namespace {

constexpr AVRational kMicros{1, AV_TIME_BASE};

double seconds(int64_t us) { return static_cast<double>(us) / AV_TIME_BASE; }

}  // namespace

// One conversion run of a task. Lives on the converting thread for the length of the run.
struct Transcoder {
    TCustomFFmpeg& t;
    TOptionState& o;
    std::vector<std::unique_ptr<InputStream>> ists;
    std::vector<OutputStream*> osts;  // every output stream, in file and stream order
    AVPacket* pkt = nullptr;
    int64_t timerStart = 0;
    int64_t lastReport = 0;
    int64_t videoSize = 0, audioSize = 0, extraSize = 0;
    int dupCount = 0, dropCount = 0;
    bool dupDropChanged = false;
    int currentInput = 0;  // join mode
    int64_t reportedDuration = 0;
    int lastFileIndex = 0;
    bool trailerWritten = false;

    Transcoder(TCustomFFmpeg& task) : t(task), o(task.options_->State()) {}
    ~Transcoder() {
        // Encoders first, then decoders; each exactly once, under the codec lock. What the
        // streams converted with goes too: a finished task keeps no pictures or samples.
        for (OutputStream* ost : osts) {
            ost->video.reset();
            ost->audio.reset();
            lav::av_frame_free(&ost->lastPicture);
            if (!ost->encoderOpen) continue;
            CodecLockGuard lock;
            lav::av_freep(&ost->enc->stats_in);  // not the library's to free
            lav::avcodec_free_context(&ost->enc);
            ost->encoderOpen = false;
            --t.openCodecs_;
        }
        for (auto& ist : ists) {
            if (ist->decoderOpen) {
                CodecLockGuard lock;
                lav::avcodec_free_context(&ist->dec);
                ist->decoderOpen = false;
                --t.openCodecs_;
            } else {
                lav::avcodec_free_context(&ist->dec);
            }
            lav::av_frame_free(&ist->frame);
            lav::av_frame_free(&ist->filtered);
        }
        lav::av_packet_free(&pkt);
        if (vstats) std::fclose(vstats);
    }

    [[noreturn]] void fail(const std::string& m) { throw FFmpegException(m); }
    void log(TLogLevel level, const std::string& text) { t.Log(level, text); }

    OutputFile& outputOf(const OutputStream& ost) {
        return *t.outputs_[static_cast<size_t>(ost.fileIndex)];
    }
    InputFile& inputOf(const InputStream& ist) {
        return *t.inputs_[static_cast<size_t>(ist.fileIndex)];
    }
    bool feeds(const InputStream* ist) const {
        for (const OutputStream* ost : osts)
            if (ost->source == ist && ost->active) return true;
        return false;
    }

    void prepare();
    void mapStreams();
    // `covers`: cover pictures may be taken too.
    InputStream* chooseSource(const OutputStream& ost, int inputFile, bool allowTaken, bool covers);
    InputStream* chooseSourceOrCover(const OutputStream& ost, int inputFile);
    void setUpCopy(OutputStream& ost);
    static AVRational copyTimeBase(const AVStream& ist);
    void openEncoder(OutputStream& ost);
    VideoConverter::Settings videoSettings(const OutputStream& ost, const InputStream& ist) const;
    void startVideoConverter(OutputStream& ost, const InputStream& ist);
    void openDecoder(InputStream& ist);
    void setUpBitstreamFilters(OutputStream& ost);
    void setUpPassLog(OutputStream& ost, int number);
    void copyChapters();
    void writeHeaders();

    void run();
    int decodePacket(InputStream& ist, const AVPacket* packet);
    int64_t recordingEnd() const;
    void retimeLeap(InputStream& ist, AVPacket* packet);
    void feedCopies(InputStream& ist, const AVPacket* packet, int64_t timeUs);
    void streamCopy(OutputStream& ost, InputStream& ist, const AVPacket* packet);
    void videoOut(OutputStream& ost, InputStream& ist, const AVFrame* frame);
    void drainVideo(OutputStream& ost, InputStream& ist);
    void encodeVideo(OutputStream& ost, AVFrame* frame, int64_t timeUs);
    void sendPicture(OutputStream& ost, AVFrame* frame, int64_t count);
    void audioOut(OutputStream& ost, InputStream& ist, const AVFrame* frame, int keep);
    void subtitleOut(OutputStream& ost, InputStream& ist, AVSubtitle* sub);
    void encodeAndWrite(OutputStream& ost, const AVFrame* frame);
    void writePacket(OutputStream& ost, AVPacket* packet);
    void muxPacket(OutputStream& ost, AVPacket* packet);
    void flushEncoders();
    void holdLastPictures();
    void switchJoinInput();
    void report(bool final);
    double outputTime(const OutputStream& ost) const;
    void writeVideoStats(OutputStream& ost, int frameSize);
    void setExpectations();
    int64_t sharedLength(const InputFile& in) const;
    int64_t heldLength(const InputStream& ist, const InputFile& in) const;
    // "<output file>: <reason>" for a failed write to `of`.
    std::string writeError(const OutputFile& of, int error) const {
        return of.fileName.toStdString() + ": " + LibraryErrorText(error);
    }
    FILE* vstats = nullptr;
    std::vector<uint8_t> subtitleBuffer;  // one encoded subtitle, allocated on first use
};

namespace {

// PSNR of a squared error summed over `pixels` samples of 8-bit values.
double psnr(double error, double pixels) {
    if (pixels <= 0) return 0;
    const double mse = error / (pixels * 255.0 * 255.0);
    return mse > 0 ? -10.0 * std::log10(mse) : 99.99;
}

}  // namespace

void Transcoder::writeVideoStats(OutputStream& ost, int frameSize) {
    if (!vstats) {
        vstats = std::fopen(o.VStatsFileName.c_str(), "w");
        if (!vstats) fail("fopen fail: " + o.VStatsFileName);
    }
    const AVCodecContext* enc = ost.enc;
    std::fprintf(vstats, "frame= %5d q= %2.1f ", static_cast<int>(ost.frameNumber + 1),
                 ost.quality / static_cast<double>(FF_QP2LAMBDA));
    if (enc->flags & AV_CODEC_FLAG_PSNR)
        std::fprintf(vstats, "PSNR= %6.2f ",
                     psnr(static_cast<double>(ost.lastError[0]),
                          static_cast<double>(enc->width) * enc->height));
    std::fprintf(vstats, "f_size= %6d ", frameSize);
    const double time = static_cast<double>(ost.syncOpts) * av_q2d(enc->time_base);
    const double bitrate = time > 0 ? static_cast<double>(frameSize) * 8 / av_q2d(enc->time_base) / 1000 : 0;
    const double average = time > 0 ? static_cast<double>(videoSize) * 8 / time / 1000 : 0;
    std::fprintf(vstats, "s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ",
                 static_cast<double>(videoSize) / 1024, time, bitrate, average);
    std::fprintf(vstats, "type= %c\n", ost.pictType);
}

// ---------------------------------------------------------------------------------------------
// Start-of-conversion set-up

void Transcoder::prepare() {
    pkt = lav::av_packet_alloc();
    if (!pkt) fail("Out of memory");
    for (size_t f = 0; f < t.inputs_.size(); ++f) {
        InputFile& in = *t.inputs_[f];
        for (unsigned i = 0; i < in.ctx->nb_streams; ++i) {
            auto ist = std::make_unique<InputStream>();
            ist->fileIndex = static_cast<int>(f);
            ist->index = static_cast<int>(i);
            ist->st = in.ctx->streams[i];
            ist->discarded = ist->st->discard == AVDISCARD_ALL;
            ist->rotation = DisplayRotation(ist->st);
            ist->attachedPicture = ist->st->disposition & AV_DISPOSITION_ATTACHED_PIC;
            if (i < in.tsScale.size()) ist->tsScale = in.tsScale[i];
            if (o.RateEmu) ist->wallStart = lav::av_gettime_relative();
            ists.push_back(std::move(ist));
        }
    }
    for (size_t f = 0; f < t.outputs_.size(); ++f) {
        OutputFile& of = *t.outputs_[f];
        if (of.streams.empty())
            fail(Format("Output file #%d does not contain any stream: %s", static_cast<int>(f),
                        of.emptyReason.c_str()));
        for (auto& ost : of.streams) osts.push_back(ost.get());
    }
    mapStreams();

    int number = 0;
    for (OutputStream* ost : osts) {
        AVStream* st = ost->st;
        const InputStream& ist = *ost->source;
        lav::av_dict_copy(&st->metadata, ist.st->metadata, AV_DICT_DONT_OVERWRITE);
        st->disposition = ist.st->disposition;
        if (ost->encoding && ost->type == AVMEDIA_TYPE_VIDEO) {
            // The pictures are turned upright here and a cover becomes a moving picture: the
            // output claims neither a turn nor a cover of its own.
            lav::av_dict_set(&st->metadata, "rotate", nullptr, 0);
            st->disposition &= ~AV_DISPOSITION_ATTACHED_PIC;
        }
        if (ost->copy) {
            setUpCopy(*ost);
        } else if (ost->encoding) {
            if (ost->type == AVMEDIA_TYPE_VIDEO && ist.st->codecpar->format < 0)
                fail("Video pixel format is unknown, stream cannot be encoded");
            ost->source->decodingNeeded = true;
            if (o.DoPass) setUpPassLog(*ost, number);
        }
        ++number;
    }
    for (auto& ist : ists)
        if (ist->decodingNeeded) openDecoder(*ist);
    for (OutputStream* ost : osts)
        if (ost->encoding) openEncoder(*ost);
    for (OutputStream* ost : osts) setUpBitstreamFilters(*ost);

    for (auto& ist : ists) {
        const AVRational fr = ist->st->avg_frame_rate;
        const int delay = ist->dec ? ist->dec->has_b_frames : ist->st->codecpar->video_delay;
        ist->pts = fr.num > 0 && fr.den > 0
                       ? -static_cast<int64_t>(delay) * AV_TIME_BASE * fr.den / fr.num
                       : 0;
        ist->nextPts = AV_NOPTS_VALUE;
        ist->isStart = true;
    }

    for (const TMetaDataMap& m : o.MetaDataMaps) {
        if (m.OutFile < 0 || m.OutFile >= static_cast<int>(t.outputs_.size()))
            fail(Format("Invalid output file index %d map_meta_data(%d,%d)", m.OutFile, m.OutFile,
                        m.InFile));
        if (m.InFile < 0 || m.InFile >= static_cast<int>(t.inputs_.size()))
            fail(Format("Invalid input file index %d map_meta_data(%d,%d)", m.InFile, m.OutFile,
                        m.InFile));
        lav::av_dict_copy(&t.outputs_[static_cast<size_t>(m.OutFile)]->ctx->metadata,
                          t.inputs_[static_cast<size_t>(m.InFile)]->ctx->metadata,
                          AV_DICT_DONT_OVERWRITE);
    }
    copyChapters();
    writeHeaders();

    if (o.Verbose >= 0) {
        log(llVerbose, "Stream mapping:");
        for (const OutputStream* ost : osts) {
            std::string line = Format("  Stream #%d.%d -> #%d.%d (%s)", ost->source->fileIndex,
                                      ost->source->index, t.joinMode_ ? 0 : ost->fileIndex,
                                      ost->index, MediaTypeName(ost->type));
            if (ost->sync != ost->source)
                line += Format(" [sync #%d.%d (%s)]", ost->sync->fileIndex, ost->sync->index,
                               MediaTypeName(ost->type));
            log(llVerbose, line);
        }
    }
}

InputStream* Transcoder::chooseSource(const OutputStream& ost, int inputFile, bool allowTaken,
                                      bool covers) {
    InputStream* best = nullptr;
    bool bestPreferred = false;
    // A file's preferred stream (the library's ranking, never a cover while a moving picture
    // exists): asked once a file.
    std::vector<int> preferred(t.inputs_.size(), INT_MIN);
    for (auto& ist : ists) {
        if (ist->discarded || ist->st->codecpar->codec_type != ost.type) continue;
        if (!allowTaken && !ist->free) continue;
        if (ist->attachedPicture && !covers) continue;
        if (ost.encoding && HasNoPictures(ist->st)) continue;
        if (inputFile >= 0 && ist->fileIndex != inputFile) continue;
        int& pick = preferred[static_cast<size_t>(ist->fileIndex)];
        if (pick == INT_MIN) pick = PreferredStream(inputOf(*ist).ctx, ost.type);
        const bool isPreferred = pick == ist->index;
        if (!best || (isPreferred && !bestPreferred)) {
            best = ist.get();
            bestPreferred = isPreferred;
        }
    }
    return best;
}

// A free stream, else (not joining) one already taken; a cover only when no input offers a
// moving picture, taken or not.
InputStream* Transcoder::chooseSourceOrCover(const OutputStream& ost, int inputFile) {
    for (bool covers : {false, true}) {
        InputStream* source = chooseSource(ost, inputFile, false, covers);
        if (!source && !t.joinMode_) source = chooseSource(ost, -1, true, covers);
        if (source) return source;
    }
    return nullptr;
}

void Transcoder::mapStreams() {
    const auto& maps = o.StreamMaps;
    if (!maps.empty() && maps.size() != osts.size())
        fail("Number of stream maps must match number of output streams");
    auto findIst = [&](int file, int stream) -> InputStream* {
        for (auto& ist : ists)
            if (ist->fileIndex == file && ist->index == stream) return ist.get();
        return nullptr;
    };
    for (size_t k = 0; k < osts.size(); ++k) {
        OutputStream& ost = *osts[k];
        InputStream* source = nullptr;
        InputStream* sync = nullptr;
        if (!maps.empty()) {
            const TStreamMap& m = maps[k];
            source = findIst(m.FileIndex, m.StreamIndex);
            if (!source)
                fail(Format("Could not find input stream #%d.%d", m.FileIndex, m.StreamIndex));
            sync = findIst(m.SyncFileIndex, m.SyncStreamIndex);
            if (!sync)
                fail(Format("Could not find sync stream #%d.%d", m.SyncFileIndex,
                            m.SyncStreamIndex));
            if (source->st->codecpar->codec_type != ost.type)
                fail(Format("Codec type mismatch for mapping #%d.%d (%s) -> #%d.%d (%s)",
                            source->fileIndex, source->index,
                            MediaTypeName(source->st->codecpar->codec_type), ost.fileIndex,
                            ost.index, MediaTypeName(ost.type)));
        } else {
            if (ost.cover) {
                for (auto& ist : ists)
                    if (!source && ist->attachedPicture && !ist->discarded && ist->free) source = ist.get();
            } else {
                source = chooseSourceOrCover(ost, t.joinMode_ ? 0 : -1);
            }
            if (!source) {
                lav::av_dump_format(outputOf(ost).ctx, ost.fileIndex, outputOf(ost).ctx->url, 1);
                fail(Format("Could not find input stream matching output stream #%d.%d (%s)",
                            ost.fileIndex, ost.index, MediaTypeName(ost.type)));
            }
        }
        source->free = false;
        ost.source = source;
        ost.sync = sync ? sync : source;
        ost.active = true;
    }
}

// The time base of a copied stream: the frame (or sample) duration when that is coarser than
// the stream's own tick and the tick is finer than a millisecond (an MP4 stream's 1/12800 becomes
// 1/25 in AVI, whose header states the rate as the time base), else the stream's.
AVRational Transcoder::copyTimeBase(const AVStream& ist) {
    const AVCodecParameters* par = ist.codecpar;
    AVRational unit{0, 1};
    if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
        const AVRational rate = ist.avg_frame_rate.num > 0 && ist.avg_frame_rate.den > 0
                                    ? ist.avg_frame_rate
                                    : ist.r_frame_rate;
        if (rate.num > 0 && rate.den > 0) unit = AVRational{rate.den, rate.num};
    } else if (par->codec_type == AVMEDIA_TYPE_AUDIO && par->sample_rate > 0) {
        unit = AVRational{1, par->sample_rate};
    }
    if (unit.num > 0 && av_q2d(ist.time_base) < 0.001 && av_q2d(unit) > av_q2d(ist.time_base))
        return unit;
    return ist.time_base;
}

void Transcoder::setUpCopy(OutputStream& ost) {
    AVStream* st = ost.st;
    const AVStream* ist = ost.source->st;
    const AVCodecParameters* ipar = ist->codecpar;
    if (static_cast<uint64_t>(ipar->extradata_size) + AV_INPUT_BUFFER_PADDING_SIZE > INT_MAX)
        fail("icodec.extradata_size is invalid (too large)");
    if (ost.type == AVMEDIA_TYPE_AUDIO && o.AudioVolume != 256)
        fail("-acodec copy and -vol are incompatible (frames are not decoded)");
    if (ost.type == AVMEDIA_TYPE_VIDEO) {
        if (t.hooks_->HasCustomHook())
            fail("-vcodec copy and CustomHook are incompatible (frames are not decoded)");
        if (t.hooks_->HasExternalHooks())
            fail("-vcodec copy and -vhook are incompatible (frames are not decoded)");
        if (t.hooks_->PreviewFlags())
            fail("-vcodec copy and PostHooks are incompatible (frames are not decoded)");
    }
    const uint32_t userTag = st->codecpar->codec_tag;
    const AVRational sar = st->sample_aspect_ratio;
    if (lav::avcodec_parameters_copy(st->codecpar, ipar) < 0) fail("av_mallocz fail");
    const AVOutputFormat* ofmt = outputOf(ost).ctx->oformat;
    uint32_t tag = ipar->codec_tag;
    if (ofmt->codec_tag) {
        unsigned mapped = 0;
        const bool sameId = lav::av_codec_get_id(ofmt->codec_tag, tag) == ipar->codec_id;
        const bool noTag = !lav::av_codec_get_tag2(ofmt->codec_tag, ipar->codec_id, &mapped);
        if (!sameId && !noTag) tag = 0;
    }
    st->codecpar->codec_tag = userTag ? userTag : tag;
    st->time_base = copyTimeBase(*ist);
    // A copied picture keeps the turn it is shown with.
    for (int i = 0; i < ist->nb_side_data; ++i) {
        const AVPacketSideData& sd = ist->side_data[i];
        if (sd.type != AV_PKT_DATA_DISPLAYMATRIX) continue;
        if (uint8_t* data = lav::av_stream_new_side_data(st, sd.type, sd.size))
            std::memcpy(data, sd.data, sd.size);
    }
    if (ost.type == AVMEDIA_TYPE_VIDEO && sar.num > 0) st->sample_aspect_ratio = sar;
    if (ost.type == AVMEDIA_TYPE_VIDEO && !st->sample_aspect_ratio.num)
        st->sample_aspect_ratio = ist->sample_aspect_ratio;
    if (ost.type == AVMEDIA_TYPE_AUDIO) {
        if ((ipar->block_align == 1 && ipar->codec_id == AV_CODEC_ID_MP3) ||
            ipar->codec_id == AV_CODEC_ID_AC3)
            st->codecpar->block_align = 0;
    }
    st->avg_frame_rate = ist->avg_frame_rate;
    st->r_frame_rate = ist->r_frame_rate;
}

void Transcoder::setUpPassLog(OutputStream& ost, int number) {
    std::string prefix = o.PassLogFileName.empty() ? "ffmpeg2pass" : o.PassLogFileName;
    ost.passLogName = Format("%s-%d.log", prefix.c_str(), number).substr(0, 1023);
    if (ost.codec && std::strcmp(ost.codec->name, "libx264") == 0) {
        // libx264 keeps its own statistics file.
        lav::av_dict_set(&ost.encoderOptions, "stats", ost.passLogName.c_str(), 0);
        return;
    }
    if (o.DoPass == 1) {
        ost.passLog = std::fopen(ost.passLogName.c_str(), "wb");
        if (!ost.passLog)
            fail(Format("Cannot write log file %s for pass-1 encoding", ost.passLogName.c_str()));
    } else {
        FILE* f = std::fopen(ost.passLogName.c_str(), "rb");
        if (!f)
            fail(Format("Cannot read file: Error reading log file \"%s\" for pass-2 encoding",
                        ost.passLogName.c_str()));
        std::string text;
        char buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
        std::fclose(f);
        ost.enc->stats_in = lav::av_strdup(text.c_str());
        if (!ost.enc->stats_in)
            fail(Format("Could not allocate file buffer: Error reading log file \"%s\" for "
                        "pass-2 encoding",
                        ost.passLogName.c_str()));
    }
}

void Transcoder::openDecoder(InputStream& ist) {
    const AVCodecParameters* par = ist.st->codecpar;
    const InputFile& in = inputOf(ist);
    const AVCodec* codec = par->codec_type == AVMEDIA_TYPE_VIDEO      ? in.forcedVideo
                           : par->codec_type == AVMEDIA_TYPE_AUDIO    ? in.forcedAudio
                           : par->codec_type == AVMEDIA_TYPE_SUBTITLE ? in.forcedSubtitle
                                                                      : nullptr;
    if (!codec) codec = lav::avcodec_find_decoder(par->codec_id);
    if (!codec)
        fail(Format("Decoder (codec id %d) not found for input stream #%d.%d (%s)",
                    static_cast<int>(par->codec_id), ist.fileIndex, ist.index,
                    MediaTypeName(par->codec_type)));
    ist.dec = lav::avcodec_alloc_context3(codec);
    if (!ist.dec || lav::avcodec_parameters_to_context(ist.dec, par) < 0)
        fail("Out of memory");
    ist.dec->pkt_timebase = ist.st->time_base;
    ist.dec->thread_count = 0;  // automatic, unless an option says otherwise
    ist.dec->framerate = ist.st->avg_frame_rate;
    AVDictionary* opts = t.options_->CodecOptionsFor(par->codec_type, codec, false);
    int ret;
    {
        CodecLockGuard lock;
        ret = lav::avcodec_open2(ist.dec, codec, &opts);
    }
    lav::av_dict_free(&opts);
    if (ret < 0) {
        lav::avcodec_free_context(&ist.dec);
        const std::string msg =
            Format("Error while opening decoder for input stream #%d.%d (%s)", ist.fileIndex,
                   ist.index, MediaTypeName(par->codec_type));
        log(llError, msg);
        fail(msg);
    }
    ist.decoderOpen = true;
    ++t.openCodecs_;
    ist.frame = lav::av_frame_alloc();
    ist.filtered = lav::av_frame_alloc();
    if (!ist.frame || !ist.filtered) fail("Out of memory");
}

VideoConverter::Settings Transcoder::videoSettings(const OutputStream& ost,
                                                   const InputStream& ist) const {
    const AVCodecParameters* ipar = ist.st->codecpar;
    VideoConverter::Settings s;
    s.srcWidth = ipar->width;
    s.srcHeight = ipar->height;
    s.srcFormat = static_cast<AVPixelFormat>(ipar->format);
    s.timeBase = ist.st->time_base;
    s.sampleAspect =
        ist.st->sample_aspect_ratio.num ? ist.st->sample_aspect_ratio : ipar->sample_aspect_ratio;
    s.frameRate = ist.st->avg_frame_rate;
    s.rotation = ist.rotation;
    s.cropTop = ost.cropTop;
    s.cropBottom = ost.cropBottom;
    s.cropLeft = ost.cropLeft;
    s.cropRight = ost.cropRight;
    s.dstWidth = ost.enc->width;
    s.dstHeight = ost.enc->height;
    s.dstFormat = ost.enc->pix_fmt;
    s.swsFlags = ost.swsFlags;
    s.filters = ost.filters;
    s.deinterlace = ost.deinterlace;
    return s;
}

// A picture converter for `ist`'s pictures; the encoder takes what it delivers.
void Transcoder::startVideoConverter(OutputStream& ost, const InputStream& ist) {
    const VideoConverter::Settings s = videoSettings(ost, ist);
    ost.video = std::make_unique<VideoConverter>();
    std::string why;
    if (ost.video->Init(s, &why) < 0)
        fail(why.empty() ? "Error opening filters!" : "Error opening filters: " + why);
    ost.lastWidth = s.srcWidth;
    ost.lastHeight = s.srcHeight;
    ost.lastFormat = s.srcFormat;
}

void Transcoder::openEncoder(OutputStream& ost) {
    AVCodecContext* enc = ost.enc;
    if (ost.type == AVMEDIA_TYPE_VIDEO) {
        startVideoConverter(ost, *ost.source);
        enc->width = ost.video->OutputWidth();
        enc->height = ost.video->OutputHeight();
        if (enc->rc_buffer_size > 0 && !enc->rc_initial_buffer_occupancy)
            enc->rc_initial_buffer_occupancy = enc->rc_buffer_size * 3 / 4;
    } else if (ost.type == AVMEDIA_TYPE_SUBTITLE) {
        // Times in microseconds, as the decoder gives them; text encoders take the decoder's
        // style header, bitmap encoders the picture size.
        enc->time_base = kMicros;
        const AVCodecContext* dec = ost.source->dec;
        if (dec && dec->subtitle_header && dec->subtitle_header_size > 0) {
            enc->subtitle_header =
                static_cast<uint8_t*>(lav::av_mallocz(dec->subtitle_header_size + 1));
            if (!enc->subtitle_header) fail("Out of memory");
            std::memcpy(enc->subtitle_header, dec->subtitle_header, dec->subtitle_header_size);
            enc->subtitle_header_size = dec->subtitle_header_size;
        }
        const AVCodecParameters* ipar = ost.source->st->codecpar;
        enc->width = ipar->width;
        enc->height = ipar->height;
    }
    int ret = 0;
    if (!ost.amr) {
        CodecLockGuard lock;
        ret = lav::avcodec_open2(enc, ost.codec, &ost.encoderOptions);
    }
    if (ret < 0) {
        const std::string msg = Format(
            "Error while opening encoder for output stream #%d.%d (%s) - maybe incorrect "
            "parameters such as bit_rate, rate, width or height. Please check error log message "
            "to find out more detail information.",
            ost.fileIndex, ost.index, MediaTypeName(ost.type));
        log(llError, msg + " (" + LibraryErrorText(ret) + ")");
        fail(msg);
    }
    if (!ost.amr) {
        ost.encoderOpen = true;
        ++t.openCodecs_;
    }
    for (const AVDictionaryEntry* e = nullptr;
         (e = lav::av_dict_get(ost.encoderOptions, "", e, AV_DICT_IGNORE_SUFFIX));)
        log(llWarning, Format("Option %s not used by encoder %s", e->key,
                              ost.codec ? ost.codec->name : AmrNbEncoder::kName));
    if (lav::avcodec_parameters_from_context(ost.st->codecpar, enc) < 0) fail("Out of memory");
    if (ost.st->codecpar->codec_tag == 0 || ost.st->codecpar->codec_tag != enc->codec_tag)
        ost.st->codecpar->codec_tag = enc->codec_tag;
    ost.st->time_base = enc->time_base;
    if (ost.type == AVMEDIA_TYPE_VIDEO) {
        ost.st->avg_frame_rate = enc->framerate;
        ost.st->sample_aspect_ratio = enc->sample_aspect_ratio;
    }
    extraSize += enc->extradata_size;
    if (ost.type == AVMEDIA_TYPE_AUDIO) {
        AudioConverter::Target target;
        target.format = enc->sample_fmt;
        target.sampleRate = enc->sample_rate;
        lav::av_channel_layout_copy(&target.layout, &enc->ch_layout);
        const int caps = ost.codec ? ost.codec->capabilities : 0;
        target.frameSize = (caps & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) ? 0 : enc->frame_size;
        target.smallLastFrame = caps & AV_CODEC_CAP_SMALL_LAST_FRAME;
        // The MP3 encoder library stops the whole program on an assertion when its float input
        // goes far past full scale, which a damaged source can decode to.
        target.clampFloat = ost.codec && std::strcmp(ost.codec->name, "libmp3lame") == 0;
        // An encoder's start delay (its first output is priming) is stated by an edit list or
        // a skip count where the container has one; elsewhere the sound would come late by it:
        // the first samples are left out instead, so that the sound starts when it should.
        if (CountsFromCommonStart(outputOf(ost).ctx->oformat) && !ost.amr)
            ost.startTrim = std::max(0, enc->initial_padding);
        ost.audio = std::make_unique<AudioConverter>();
        ost.audio->SetVolume(o.AudioVolume);
        ost.audio->SetAlwaysResample(o.AudioSyncMethod > 1);
        ret = ost.audio->Init(target);
        lav::av_channel_layout_uninit(&target.layout);
        if (ret < 0) fail("av_fifo_alloc fail");
    }
}

void Transcoder::setUpBitstreamFilters(OutputStream& ost) {
    if (ost.bsfNames.empty()) return;
    std::string chain;
    for (const TBitStreamFilter& f : ost.bsfNames) {
        if (!chain.empty()) chain += ",";
        chain += f.Name;
        if (!f.Args.empty()) chain += "=" + f.Args;
    }
    AVBSFContext* bsf = nullptr;
    int ret = lav::av_bsf_list_parse_str(chain.c_str(), &bsf);
    if (ret >= 0) ret = lav::avcodec_parameters_copy(bsf->par_in, ost.st->codecpar);
    if (ret >= 0) {
        bsf->time_base_in = ost.st->time_base;
        ret = lav::av_bsf_init(bsf);
    }
    if (ret < 0) {
        lav::av_bsf_free(&bsf);
        fail(Format("Unknown bitstream filter %s", chain.c_str()));
    }
    lav::avcodec_parameters_copy(ost.st->codecpar, bsf->par_out);
    ost.bsfs.push_back(bsf);
}

void Transcoder::copyChapters() {
    for (auto& in : t.inputs_) {
        AVFormatContext* ic = in->ctx;
        if (!ic->nb_chapters) continue;
        for (auto& of : t.outputs_) {
            AVFormatContext* oc = of->ctx;
            const int64_t tsOff = in->tsOffset - o.StartTime;
            const int64_t recEnd = o.RecordingTime;
            for (unsigned c = 0; c < ic->nb_chapters; ++c) {
                const AVChapter* ch = ic->chapters[c];
                const int64_t off = lav::av_rescale_q(tsOff, kMicros, ch->time_base);
                const int64_t end = recEnd == INT64_MAX
                                        ? INT64_MAX
                                        : lav::av_rescale_q(recEnd, kMicros, ch->time_base);
                if (ch->end < -off) continue;  // ends before the start
                if (ch->start + off > end) break;
                auto* nc = static_cast<AVChapter*>(lav::av_mallocz(sizeof(AVChapter)));
                if (!nc) fail("av_mallocz fail");
                nc->id = ch->id;
                nc->time_base = ch->time_base;
                nc->start = std::max<int64_t>(0, ch->start + off);
                nc->end = std::min(end, ch->end + off);
                lav::av_dict_copy(&nc->metadata, ch->metadata, 0);
                void* grown = lav::av_realloc(oc->chapters,
                                              sizeof(AVChapter*) * (oc->nb_chapters + 1));
                if (!grown) {
                    lav::av_dict_free(&nc->metadata);
                    lav::av_free(nc);
                    fail("av_realloc fail");
                }
                oc->chapters = static_cast<AVChapter**>(grown);
                oc->chapters[oc->nb_chapters++] = nc;
            }
        }
    }
}

void Transcoder::writeHeaders() {
    for (size_t f = 0; f < t.outputs_.size(); ++f) {
        OutputFile& of = *t.outputs_[f];
        AVFormatContext* oc = of.ctx;
        if (WritesThroughTemporary(of.fileName, oc->oformat)) {
            // The container was chosen from the final name when the output was opened; only
            // the file (and the name nested opens such as a second pass over the file use)
            // is the temporary one.
            of.folderFd = OpenFolderOf(of.fileName);
            const TPathFileName temporary = TemporaryOutputName(of.fileName);
            const int ret = OpenMediaOutput(oc, temporary, &t.ioCancel_);
            if (ret < 0) fail(writeError(of, ret));
            of.temporaryName = temporary;
            lav::av_freep(&oc->url);
            oc->url = lav::av_strdup(FileNameToUrl(temporary).c_str());
            if (!oc->url) fail("Out of memory");
        } else if (!(oc->oformat->flags & AVFMT_NOFILE)) {
            of.existedBefore = FileExists(of.fileName);
            const int ret = OpenMediaOutput(oc, of.fileName, &t.ioCancel_);
            if (ret < 0) fail(writeError(of, ret));
            of.created = true;
        }
        AVDictionary* opts = nullptr;
        lav::av_dict_copy(&opts, of.formatOptions, 0);
        const int ret = lav::avformat_write_header(oc, &opts);
        lav::av_dict_free(&opts);
        if (ret < 0) {
            // A failed write is the file's fault, not the parameters'.
            if (oc->pb && oc->pb->error < 0) fail(writeError(of, oc->pb->error));
            const std::string msg = Format(
                "Could not write header for output file #%d (incorrect codec parameters ?)",
                static_cast<int>(f));
            log(llError, msg + ": " + LibraryErrorText(ret));
            fail(msg);
        }
        of.headerWritten = true;
        if (o.Verbose >= 0) lav::av_dump_format(oc, static_cast<int>(f), oc->url, 1);
    }
}

// ---------------------------------------------------------------------------------------------
// Output steps

double Transcoder::outputTime(const OutputStream& ost) const {
    if (ost.encoding && ost.enc && ost.type != AVMEDIA_TYPE_SUBTITLE)
        return static_cast<double>(ost.syncOpts) * av_q2d(ost.enc->time_base);
    return seconds(ost.lastEnd);
}

void Transcoder::muxPacket(OutputStream& ost, AVPacket* packet) {
    OutputFile& of = outputOf(ost);
    packet->stream_index = ost.index;
    // A coarse stream time base can map two packets onto one tick (the final header packet of
    // FLAC in AVI): the muxer refuses that, so the later one moves up a tick.
    const int fmtFlags = of.ctx->oformat->flags;
    if (!(fmtFlags & AVFMT_NOTIMESTAMPS) && packet->dts != AV_NOPTS_VALUE &&
        ost.lastMuxDts != AV_NOPTS_VALUE) {
        const int64_t least = ost.lastMuxDts + ((fmtFlags & AVFMT_TS_NONSTRICT) ? 0 : 1);
        if (packet->dts < least) {
            if (packet->pts != AV_NOPTS_VALUE && packet->pts < least) packet->pts = least;
            packet->dts = least;
        }
    }
    if (packet->dts != AV_NOPTS_VALUE) ost.lastMuxDts = packet->dts;
    if (packet->pts != AV_NOPTS_VALUE || packet->dts != AV_NOPTS_VALUE) {
        const int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        const int64_t start = lav::av_rescale_q(ts, ost.st->time_base, kMicros);
        const int64_t end =
            lav::av_rescale_q(ts + std::max<int64_t>(packet->duration, 0), ost.st->time_base, kMicros);
        if (ost.firstStart == AV_NOPTS_VALUE || start < ost.firstStart) ost.firstStart = start;
        ost.lastEnd = std::max(ost.lastEnd, end);
    }
    const int ret = lav::av_interleaved_write_frame(of.ctx, packet);
    if (ret < 0) fail(writeError(of, ret));
    ost.wroteAny = true;
    t.markActivity();
}

void Transcoder::writePacket(OutputStream& ost, AVPacket* packet) {
    if (ost.bsfs.empty()) {
        muxPacket(ost, packet);
        return;
    }
    AVBSFContext* bsf = ost.bsfs.front();
    int ret = lav::av_bsf_send_packet(bsf, packet);
    while (ret >= 0) {
        ret = lav::av_bsf_receive_packet(bsf, packet);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return;
        if (ret >= 0) muxPacket(ost, packet);
    }
    const std::string msg = Format("%s failed for stream %d, codec %s", bsf->filter->name,
                                   ost.index, ost.codec ? ost.codec->name : "copy") +
                            ": " + LibraryErrorText(ret);
    if (o.ExitOnError) fail(msg);
    log(llError, msg);
    lav::av_packet_unref(packet);
}

void Transcoder::encodeAndWrite(OutputStream& ost, const AVFrame* frame) {
    AVCodecContext* enc = ost.enc;
    if (ost.amr) {
        if (!frame) return;  // nothing held back
        const std::vector<uint8_t> bytes =
            ost.amr->Encode(reinterpret_cast<const int16_t*>(frame->data[0]));
        if (bytes.empty() || lav::av_new_packet(ost.pkt, static_cast<int>(bytes.size())) < 0)
            fail("Audio encoding failed");
        std::memcpy(ost.pkt->data, bytes.data(), bytes.size());
        ost.pkt->pts = ost.pkt->dts = frame->pts;
        ost.pkt->duration = frame->nb_samples;
        ost.pkt->flags |= AV_PKT_FLAG_KEY;
        audioSize += ost.pkt->size;
        lav::av_packet_rescale_ts(ost.pkt, enc->time_base, ost.st->time_base);
        writePacket(ost, ost.pkt);
        lav::av_packet_unref(ost.pkt);
        return;
    }
    int ret = lav::avcodec_send_frame(enc, frame);
    if (ret < 0 && ret != AVERROR_EOF)
        fail(ost.type == AVMEDIA_TYPE_VIDEO ? "Video encoding failed" : "Audio encoding failed");
    for (;;) {
        ret = lav::avcodec_receive_packet(enc, ost.pkt);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return;
        if (ret < 0)
            fail(ost.type == AVMEDIA_TYPE_VIDEO ? "Video encoding failed"
                                                : "Audio encoding failed");
        if (ost.type == AVMEDIA_TYPE_VIDEO) {
            size_t size = 0;
            const uint8_t* q =
                lav::av_packet_get_side_data(ost.pkt, AV_PKT_DATA_QUALITY_STATS, &size);
            if (q && size >= 8) {
                int32_t quality;
                std::memcpy(&quality, q, sizeof quality);
                ost.quality = quality;
                ost.pictType = lav::av_get_picture_type_char(static_cast<AVPictureType>(q[4]));
                const int qp = std::clamp(quality / FF_QP2LAMBDA, 0, 31);
                ++ost.qpHistogram[static_cast<size_t>(qp)];
                for (int i = 0; i < std::min<int>(q[5], 3) && size >= 8 + 8u * (i + 1); ++i) {
                    std::memcpy(&ost.lastError[i], q + 8 + 8 * i, sizeof(uint64_t));
                    ost.totalError[i] += ost.lastError[i];
                }
            }
            videoSize += ost.pkt->size;
            if (ost.passLog && enc->stats_out) std::fputs(enc->stats_out, ost.passLog);
            if (!o.VStatsFileName.empty()) writeVideoStats(ost, ost.pkt->size);
        } else {
            audioSize += ost.pkt->size;
        }
        lav::av_packet_rescale_ts(ost.pkt, enc->time_base, ost.st->time_base);
        writePacket(ost, ost.pkt);
        lav::av_packet_unref(ost.pkt);
    }
}

void Transcoder::streamCopy(OutputStream& ost, InputStream& ist, const AVPacket* packet) {
    if (!ost.wroteAny && !(packet->flags & AV_PKT_FLAG_KEY) && !o.CopyInitialNonKeyframes) return;
    AVPacket* opkt = ost.pkt;
    if (lav::av_packet_ref(opkt, packet) < 0) fail("Out of memory");
    const AVRational itb = ist.st->time_base, otb = ost.st->time_base;
    const int64_t start = lav::av_rescale_q(o.StartTime, kMicros, otb);
    opkt->pts = packet->pts != AV_NOPTS_VALUE ? lav::av_rescale_q(packet->pts, itb, otb) - start
                                              : AV_NOPTS_VALUE;
    opkt->dts = packet->dts != AV_NOPTS_VALUE ? lav::av_rescale_q(packet->dts, itb, otb)
                                              : lav::av_rescale_q(ist.pts, kMicros, otb);
    opkt->dts -= start;
    opkt->duration = lav::av_rescale_q(packet->duration, itb, otb);
    if (ost.type == AVMEDIA_TYPE_VIDEO) {
        videoSize += packet->size;
        ++ost.syncOpts;
    } else if (ost.type == AVMEDIA_TYPE_AUDIO) {
        audioSize += packet->size;
    }
    writePacket(ost, opkt);
    lav::av_packet_unref(opkt);
    ++ost.frameNumber;
}

void Transcoder::videoOut(OutputStream& ost, InputStream& ist, const AVFrame* frame) {
    bool changed = false;
    std::string why;
    if (frame && (frame->width != ost.lastWidth || frame->height != ost.lastHeight ||
                  frame->format != ost.lastFormat)) {
        log(llQuiet, Format("Input Stream #%d.%d frame size changed to %dx%d, %s", ist.fileIndex,
                            ist.index, frame->width, frame->height,
                            lav::av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame->format))
                                ?: "none"));
        ost.lastWidth = frame->width;
        ost.lastHeight = frame->height;
        ost.lastFormat = static_cast<AVPixelFormat>(frame->format);
    }
    const int ret = ost.video->Push(frame, &changed, &why);
    if (ret < 0) {
        const std::string msg = "Error opening filters: " + (why.empty() ? LibraryErrorText(ret) : why);
        if (o.ExitOnError) fail(msg);
        log(llError, msg);
        return;
    }
    drainVideo(ost, ist);
}

void Transcoder::drainVideo(OutputStream& ost, InputStream& ist) {
    AVFrame* out = ist.filtered;
    for (;;) {
        const int ret = ost.video->Pull(out);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return;
        if (ret < 0) {
            if (o.ExitOnError) fail("error cropping picture");
            log(llError, "error cropping picture");
            return;
        }
        int64_t timeUs = ist.pts;
        // How long the picture is shown: its own duration; through a graph, one picture of the
        // rate the graph gives (a slide show's two seconds stay two seconds).
        int64_t duration = ist.nextPts != AV_NOPTS_VALUE ? ist.nextPts - ist.pts : 0;
        if (ost.video->UsesGraph()) {
            if (out->pts != AV_NOPTS_VALUE)
                timeUs = lav::av_rescale_q(out->pts, ost.video->OutputTimeBase(), kMicros);
            const AVRational rate = ost.video->OutputFrameRate();
            duration = rate.num > 0 && rate.den > 0 ? lav::av_rescale_q(1, av_inv_q(rate), kMicros)
                       : out->pkt_duration > 0
                           ? lav::av_rescale_q(out->pkt_duration, ist.st->time_base, kMicros)
                           : 0;
        }
        encodeVideo(ost, out, timeUs);
        ost.lastPictureEnd = timeUs + std::max<int64_t>(duration, 0);
        lav::av_frame_unref(out);
        if (t.stopRequested_) return;
    }
}

// Which output slots a picture fills. A constant-rate output shows each picture from the slot
// nearest its time until the next picture's: slots left empty before a picture (a gap, or a
// higher output rate) repeat the picture before it, and a picture whose slot is already taken
// (a lower output rate) is dropped. So no picture is ever shown ahead of its time by more than
// half a slot, whatever the rates; a variable-rate output takes each picture at its nearest
// free slot. A container that keeps empty slots (AVI) is variable-rate after its first picture:
// it cannot start late, so that picture fills the start as in a constant-rate one.
void Transcoder::encodeVideo(OutputStream& ost, AVFrame* frame, int64_t timeUs) {
    AVCodecContext* enc = ost.enc;
    const double syncIn = seconds(timeUs - o.StartTime) / av_q2d(enc->time_base);
    int64_t repeats = 0;  // of the picture before this one, first
    int64_t copies = 1;   // of this one
    if (o.VideoSyncMethod != 0) {
        const AVOutputFormat* fmt = outputOf(ost).ctx->oformat;
        const bool emptySlots = KeepsEmptySlots(fmt);
        const bool variable =
            o.VideoSyncMethod == 2 ||
            (o.VideoSyncMethod == -1 && ((fmt->flags & AVFMT_VARIABLE_FPS) || emptySlots));
        const int64_t slot = std::llround(syncIn);
        if (slot < ost.syncOpts) {
            copies = 0;
        } else if (variable && (ost.lastPicture || !emptySlots)) {
            ost.syncOpts = slot;
        } else if (slot > ost.syncOpts) {
            // Before the first picture there is nothing earlier to show: it fills the start.
            if (ost.lastPicture)
                repeats = slot - ost.syncOpts;
            else
                copies += slot - ost.syncOpts;
        }
        if (copies == 0) {
            ++dropCount;
            dupDropChanged = true;
            if (o.Verbose > 2) log(llVerbose, "*** drop!");
        } else if (repeats + copies > 1) {
            dupCount += static_cast<int>(repeats + copies - 1);
            dupDropChanged = true;
            if (o.Verbose > 2)
                log(llVerbose, Format("*** %d dup!", static_cast<int>(repeats + copies - 1)));
        }
    } else {
        ost.syncOpts = std::llround(syncIn);
    }
    // Never more than the frame limit.
    const int64_t room = std::max<int64_t>(0, o.MaxFrames[AVMEDIA_TYPE_VIDEO] - ost.frameNumber);
    repeats = std::min(repeats, room);
    copies = std::min(copies, room - repeats);
    sendPicture(ost, ost.lastPicture, repeats);
    sendPicture(ost, frame, copies);
    if (copies > 0 && frame != ost.lastPicture) {
        // Kept to fill the slots before the next picture (and, for a cover, until the sound ends).
        if (!ost.lastPicture) ost.lastPicture = lav::av_frame_alloc();
        if (ost.lastPicture) {
            lav::av_frame_unref(ost.lastPicture);
            if (lav::av_frame_ref(ost.lastPicture, frame) < 0) lav::av_frame_free(&ost.lastPicture);
        }
    }
}

void Transcoder::sendPicture(OutputStream& ost, AVFrame* frame, int64_t count) {
    AVCodecContext* enc = ost.enc;
    for (int64_t i = 0; i < count && !t.stopRequested_; ++i) {
        if (i > 0) t.pausePoint();
        frame->pts = ost.syncOpts;
        frame->pict_type = AV_PICTURE_TYPE_NONE;
        frame->quality = enc->global_quality;
        if (o.TopFieldFirst >= 0) {
            frame->interlaced_frame = 1;
            frame->top_field_first = o.TopFieldFirst;
        }
        encodeAndWrite(ost, frame);
        t.hooks_->PreviewStep(frame, enc->time_base);
        ++ost.syncOpts;
        ++ost.frameNumber;
    }
}

void Transcoder::audioOut(OutputStream& ost, InputStream& ist, const AVFrame* frame, int keep) {
    AudioConverter& conv = *ost.audio;
    const int outRate = ost.enc->sample_rate;
    int skip = 0;
    int64_t pts = ist.pts;  // µs, of the first sample queued
    if (pts < o.StartTime && frame->sample_rate > 0) {
        // The samples before the start of a cut are left out, whatever the sync method: where
        // the container has no time stamps they would put the sound ahead of the pictures.
        skip = static_cast<int>(std::min<int64_t>(
            frame->nb_samples,
            lav::av_rescale(o.StartTime - pts, frame->sample_rate, AV_TIME_BASE)));
        if (skip >= frame->nb_samples || (keep >= 0 && skip >= keep)) return;
        pts += lav::av_rescale(skip, AV_TIME_BASE, frame->sample_rate);
    }
    if (o.AudioSyncMethod != 0) {
        const double delta = seconds(pts - o.StartTime) * outRate -
                             static_cast<double>(ost.syncOpts) -
                             static_cast<double>(conv.Buffered());
        const int64_t idelta = std::llround(delta);
        if (std::fabs(delta) > 50) {
            if (ist.isStart || std::fabs(delta) > o.AudioDriftThreshold * outRate) {
                if (idelta < 0) {
                    // Dropped samples are counted at the input's rate.
                    const int64_t inSkip =
                        lav::av_rescale(-idelta, frame->sample_rate, outRate);
                    skip = static_cast<int>(std::min<int64_t>(skip + inSkip, frame->nb_samples));
                    if (o.Verbose > 2) log(llVerbose, Format("discarding %d audio samples", skip));
                    // A frame wholly before the start leaves the start to come: the next one
                    // must still be cut to it.
                    if (skip >= frame->nb_samples) return;
                } else {
                    // The encoder's start delay left out of the sound is taken from the silence
                    // first: it is what the sound starts with.
                    const int64_t trimmed = std::min(idelta, ost.startTrim);
                    ost.startTrim -= trimmed;
                    ost.syncOpts += trimmed;
                    const int64_t silence = idelta - trimmed;
                    if (o.Verbose > 2)
                        log(llVerbose, Format("adding %d audio samples of silence",
                                              static_cast<int>(silence)));
                    if (silence > 0 && conv.PushSilence(static_cast<int>(silence)) < 0)
                        fail("Out of memory in do_audio_out");
                }
                ist.isStart = false;
            } else if (o.AudioSyncMethod > 1) {
                const int comp = static_cast<int>(
                    std::clamp<int64_t>(idelta, -o.AudioSyncMethod, o.AudioSyncMethod));
                if (o.Verbose > 2)
                    log(llVerbose, Format("compensating audio timestamp drift:%f compensation:%d "
                                          "in:%d",
                                          delta, comp, outRate));
                conv.Compensate(comp, outRate);
            }
        }
    } else {
        ost.syncOpts = std::llround(seconds(pts - o.StartTime) * outRate) - conv.Buffered();
    }
    if (ost.startTrim > 0) {
        const int last = keep < 0 ? frame->nb_samples : keep;
        const int trim = static_cast<int>(std::min<int64_t>(
            last - skip,
            lav::av_rescale_rnd(ost.startTrim, frame->sample_rate, outRate, AV_ROUND_UP)));
        if (trim > 0) {
            const int64_t trimmed = lav::av_rescale(trim, outRate, frame->sample_rate);
            skip += trim;
            ost.syncOpts += trimmed;  // what is queued next starts that much later
            ost.startTrim = std::max<int64_t>(0, ost.startTrim - trimmed);
        }
    }
    std::string why;
    const int ret = conv.Push(frame, skip, &why, keep);
    if (ret < 0) {
        if (!why.empty()) fail(why);
        const std::string msg = "av_audio_convert() failed";
        if (o.ExitOnError) fail(msg);
        log(llError, msg);
        return;
    }
    while (AVFrame* out = conv.Pull(false)) {
        out->pts = ost.syncOpts;
        encodeAndWrite(ost, out);
        ost.syncOpts += out->nb_samples;
        ++ost.frameNumber;
    }
}

void Transcoder::subtitleOut(OutputStream& ost, InputStream& ist, AVSubtitle* sub) {
    if (ist.pts == AV_NOPTS_VALUE) {
        if (o.ExitOnError) fail("Subtitle packets must have a pts");
        log(llError, "Subtitle packets must have a pts");
        return;
    }
    if (subtitleBuffer.empty()) subtitleBuffer.resize(1 << 20);
    const bool dvb = ost.enc->codec_id == AV_CODEC_ID_DVB_SUBTITLE;
    // The packet starts when the subtitle shows, and lasts as long as it is shown.
    const int64_t pts = ist.pts - o.StartTime + int64_t{sub->start_display_time} * 1000;
    sub->end_display_time -= sub->start_display_time;
    sub->start_display_time = 0;
    const AVRational ms{1, 1000};
    const unsigned rects = sub->num_rects;
    for (int i = 0; i < (dvb ? 2 : 1); ++i) {
        sub->pts = pts;
        if (i == 1) sub->num_rects = 0;  // DVB: a second, empty subtitle clears the first
        const int size = lav::avcodec_encode_subtitle(ost.enc, subtitleBuffer.data(),
                                                      static_cast<int>(subtitleBuffer.size()), sub);
        sub->num_rects = rects;
        if (size < 0) {
            // A subtitle is not worth a conversion.
            if (o.ExitOnError) fail("Subtitle encoding failed");
            log(llError, "Subtitle encoding failed");
            return;
        }
        AVPacket* p = ost.pkt;
        if (lav::av_new_packet(p, size) < 0) fail("Out of memory");
        std::memcpy(p->data, subtitleBuffer.data(), static_cast<size_t>(size));
        p->pts = lav::av_rescale_q(pts, kMicros, ost.st->time_base);
        p->duration = lav::av_rescale_q(sub->end_display_time, ms, ost.st->time_base);
        if (dvb && i == 1)
            p->pts += lav::av_rescale_q(sub->end_display_time, ms, ost.st->time_base);
        p->dts = p->pts;
        writePacket(ost, p);
        lav::av_packet_unref(p);
    }
}

// ---------------------------------------------------------------------------------------------
// Decoding

int64_t Transcoder::recordingEnd() const {
    return o.RecordingTime == INT64_MAX ? INT64_MAX : o.StartTime + o.RecordingTime;
}

// The packet also goes, as it is, to every stream copy of this input stream (decoded or not).
void Transcoder::feedCopies(InputStream& ist, const AVPacket* packet, int64_t timeUs) {
    if (timeUs < o.StartTime || ist.copyPastEnd) return;
    for (OutputStream* ost : osts)
        if (ost->source == &ist && ost->active && ost->copy) streamCopy(*ost, ist, packet);
}

int Transcoder::decodePacket(InputStream& ist, const AVPacket* packet) {
    const AVMediaType type = ist.st->codecpar->codec_type;
    if (ist.nextPts == AV_NOPTS_VALUE) ist.nextPts = ist.pts;
    if (packet && packet->dts != AV_NOPTS_VALUE)
        ist.nextPts = ist.pts = lav::av_rescale_q(packet->dts, ist.st->time_base, kMicros);

    if (!ist.decodingNeeded) {
        if (!packet) return 0;
        ist.pts = ist.nextPts;
        const AVCodecParameters* par = ist.st->codecpar;
        if (type == AVMEDIA_TYPE_AUDIO && par->frame_size > 0 && par->sample_rate > 0)
            ist.nextPts += static_cast<int64_t>(AV_TIME_BASE) * par->frame_size / par->sample_rate;
        else if (packet->duration > 0)
            ist.nextPts += lav::av_rescale_q(packet->duration, ist.st->time_base, kMicros);
        feedCopies(ist, packet, ist.pts);
        return 0;
    }
    if (packet) feedCopies(ist, packet, ist.pts);

    if (type == AVMEDIA_TYPE_SUBTITLE) {
        if (!packet) return 0;
        AVSubtitle sub{};
        int got = 0;
        const int ret = lav::avcodec_decode_subtitle2(ist.dec, &sub, &got, const_cast<AVPacket*>(packet));
        if (ret < 0) return ret;
        ist.pts = got && sub.pts != AV_NOPTS_VALUE ? sub.pts : ist.nextPts;
        if (got && ist.pts >= o.StartTime)
            for (OutputStream* ost : osts)
                if (ost->source == &ist && ost->active && ost->encoding) subtitleOut(*ost, ist, &sub);
        if (got) lav::avsubtitle_free(&sub);
        return 0;
    }

    const int64_t end = recordingEnd();
    int ret = lav::avcodec_send_packet(ist.dec, packet);
    if (ret == AVERROR_EOF) ret = 0;  // already drained
    const int sendError = ret < 0 && ret != AVERROR(EAGAIN) ? ret : 0;
    for (;;) {
        ret = lav::avcodec_receive_frame(ist.dec, ist.frame);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) break;
        if (ret < 0) return ret;
        AVFrame* frame = ist.frame;
        const int64_t bets = frame->best_effort_timestamp;
        ist.pts = bets != AV_NOPTS_VALUE ? lav::av_rescale_q(bets, ist.st->time_base, kMicros)
                                         : ist.nextPts;
        if (type == AVMEDIA_TYPE_AUDIO) {
            if (frame->sample_rate > 0)
                ist.nextPts = ist.pts + static_cast<int64_t>(AV_TIME_BASE) * frame->nb_samples /
                                            frame->sample_rate;
        } else {
            int64_t duration = frame->pkt_duration > 0
                                   ? lav::av_rescale_q(frame->pkt_duration, ist.st->time_base, kMicros)
                                   : 0;
            if (duration <= 0 && ist.dec->framerate.num > 0)
                duration = lav::av_rescale_q(1, av_inv_q(ist.dec->framerate), kMicros);
            ist.nextPts = ist.pts + duration;
        }
        if (o.RateEmu) {
            const int64_t ahead = ist.pts - (lav::av_gettime_relative() - ist.wallStart);
            if (ahead > 1000) std::this_thread::sleep_for(std::chrono::microseconds(ahead));
        }
        // Every decoded picture is counted and hooked before it is converted for any output.
        const AVFrame* picture = frame;
        if (type == AVMEDIA_TYPE_VIDEO) picture = t.hooks_->PreprocessPicture(frame, ist.pts);
        // The end of a cut is decided on decoded pictures and samples: the packets after it may
        // still be the references of pictures before it.
        if (ist.pts >= end) {
            ist.pastRecording = true;
        } else if (ist.pts >= o.StartTime ||
                   (type == AVMEDIA_TYPE_AUDIO && ist.nextPts > o.StartTime)) {
            // A sound frame that holds the start goes on: its samples before the start are
            // left out when it is queued, so that the sound starts with the pictures.
            int keep = -1;  // samples before the end of the cut
            if (type == AVMEDIA_TYPE_AUDIO && end != INT64_MAX && frame->sample_rate > 0)
                keep = static_cast<int>(std::min<int64_t>(
                    frame->nb_samples, lav::av_rescale_rnd(end - ist.pts, frame->sample_rate,
                                                           AV_TIME_BASE, AV_ROUND_UP)));
            for (OutputStream* ost : osts) {
                if (ost->source != &ist || !ost->active || !ost->encoding) continue;
                if (type == AVMEDIA_TYPE_AUDIO)
                    audioOut(*ost, ist, frame, keep);
                else if (type == AVMEDIA_TYPE_VIDEO)
                    videoOut(*ost, ist, picture);
            }
        }
        lav::av_frame_unref(frame);
        if (t.stopRequested_) break;
    }
    return sendError;
}

// ---------------------------------------------------------------------------------------------
// The loop

void Transcoder::flushEncoders() {
    for (OutputStream* ost : osts) {
        if (!ost->encoding || (!ost->encoderOpen && !ost->amr)) continue;
        if (ost->type == AVMEDIA_TYPE_AUDIO) {
            while (AVFrame* out = ost->audio->Pull(true)) {
                out->pts = ost->syncOpts;
                encodeAndWrite(*ost, out);
                ost->syncOpts += out->nb_samples;
            }
            encodeAndWrite(*ost, nullptr);
        } else if (ost->type == AVMEDIA_TYPE_VIDEO) {
            encodeAndWrite(*ost, nullptr);
        }
    }
}

// The last picture of each output is shown for as long as it lasts (a slide show keeps its
// length), a cover for as long as the sound of its output lasts: slots left before that end are
// filled with it, or (a variable-rate output) one more copy ends it.
void Transcoder::holdLastPictures() {
    for (OutputStream* ost : osts) {
        if (!ost->lastPicture || !ost->encoding || o.VideoSyncMethod == 0) continue;
        int64_t end = 0;  // µs of output
        if (ost->source->attachedPicture) {
            for (const OutputStream* other : osts)
                if (other->type == AVMEDIA_TYPE_AUDIO && other->fileIndex == ost->fileIndex &&
                    other->source->nextPts != AV_NOPTS_VALUE)
                    end = std::max(end, other->source->nextPts - o.StartTime);
        } else if (ost->lastPictureEnd != AV_NOPTS_VALUE) {
            end = ost->lastPictureEnd - o.StartTime;
        }
        if (o.RecordingTime != INT64_MAX) end = std::min(end, o.RecordingTime);
        const double frame = av_q2d(ost->enc->time_base);
        const int64_t lastSlot = static_cast<int64_t>(std::ceil(seconds(end) / frame - 1e-6)) - 1;
        if (lastSlot < ost->syncOpts) continue;
        encodeVideo(
            *ost, ost->lastPicture,
            o.StartTime + std::llround(static_cast<double>(lastSlot) * frame * AV_TIME_BASE));
    }
}

void Transcoder::switchJoinInput() {
    // Drain the decoders of the finished input; the encoders stay open and go on counting.
    int64_t endTime = 0;
    for (auto& ist : ists) {
        if (ist->fileIndex != currentInput) continue;
        if (ist->decodingNeeded && !ist->flushed) {
            decodePacket(*ist, nullptr);
            for (OutputStream* ost : osts)
                if (ost->source == ist.get() && ost->video) {
                    // Pictures still inside the converter belong to this input.
                    std::string why;
                    if (ost->video->Push(nullptr, nullptr, &why) >= 0) drainVideo(*ost, *ist);
                }
            lav::avcodec_flush_buffers(ist->dec);
        }
    }
    for (OutputStream* ost : osts)
        endTime = std::max<int64_t>(endTime, std::llround(outputTime(*ost) * AV_TIME_BASE));
    if (currentInput + 1 >= static_cast<int>(t.inputs_.size())) {
        currentInput = static_cast<int>(t.inputs_.size());
        return;
    }
    ++currentInput;
    t.inputs_[static_cast<size_t>(currentInput)]->tsOffset += endTime;
    for (OutputStream* ost : osts) {
        ost->source->free = true;
        InputStream* next = chooseSourceOrCover(*ost, currentInput);
        if (!next) {
            ost->active = false;
            continue;
        }
        next->free = false;
        if (ost->encoding && !next->decodingNeeded) {
            next->decodingNeeded = true;
            openDecoder(*next);
        }
        ost->source = ost->sync = next;
        ost->active = true;
        // The next input's pictures have their own size, format and time base: a converter
        // built for them (a filter graph reads its input's time stamps in its own time base).
        if (ost->video) startVideoConverter(*ost, *next);
    }
}

// A stream whose time stamps leap far ahead of everything else read from its file so far (a
// stream that starts hours after the others, a clock that jumped) would otherwise be padded
// with hours of repeated pictures or silence: it is re-timed to go on where it was (or to start
// where its file starts). A real pause in one stream keeps the others reading alongside it, so
// it is never taken for a leap.
void Transcoder::retimeLeap(InputStream& ist, AVPacket* packet) {
    const AVRational tb = ist.st->time_base;
    if (ist.leap) {
        const int64_t d = lav::av_rescale_q(ist.leap, kMicros, tb);
        if (packet->dts != AV_NOPTS_VALUE) packet->dts -= d;
        if (packet->pts != AV_NOPTS_VALUE) packet->pts -= d;
    }
    const int64_t ts = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    if (ts == AV_NOPTS_VALUE) return;
    const int64_t time = lav::av_rescale_q(ts, tb, kMicros);
    int64_t others = AV_NOPTS_VALUE;
    for (const auto& other : ists)
        if (other.get() != &ist && other->fileIndex == ist.fileIndex &&
            other->lastRead != AV_NOPTS_VALUE)
            others = others == AV_NOPTS_VALUE ? other->lastRead : std::max(others, other->lastRead);
    const double threshold = o.DtsDeltaThreshold * AV_TIME_BASE;
    if (others != AV_NOPTS_VALUE && static_cast<double>(time - others) > threshold) {
        const int64_t expected = ist.nextPts != AV_NOPTS_VALUE ? ist.nextPts : ist.pts;
        const int64_t leap = time - expected;
        ist.leap += leap;
        const int64_t d = lav::av_rescale_q(leap, kMicros, tb);
        if (packet->dts != AV_NOPTS_VALUE) packet->dts -= d;
        if (packet->pts != AV_NOPTS_VALUE) packet->pts -= d;
        log(llInfo, Format("Input stream #%d.%d: time stamps leap %.3f s ahead; re-timed",
                           ist.fileIndex, ist.index, seconds(leap)));
        ist.lastRead = expected;
        return;
    }
    ist.lastRead = time;
}

void Transcoder::run() {
    timerStart = lastReport = lav::av_gettime_relative();
    for (auto& in : t.inputs_) in->noPacket = false;
    const bool join = t.joinMode_;
    bool frameLimit = false;
    bool subtitlesOnly = true;
    for (const OutputStream* ost : osts) subtitlesOnly &= ost->type == AVMEDIA_TYPE_SUBTITLE;

    while (!t.stopRequested_) {
        t.pausePoint();
        if (t.stopRequested_) break;
        // Choose the input to read.
        int fileIndex = -1;
        if (join) {
            if (currentInput >= static_cast<int>(t.inputs_.size())) break;
            fileIndex = currentInput;
            for (OutputStream* ost : osts)
                if (ost->active && ost->frameNumber >= o.MaxFrames[ost->type]) frameLimit = true;
        } else {
            double best = 1e100;
            for (OutputStream* ost : osts) {
                InputStream* ist = ost->source;
                InputFile& in = inputOf(*ist);
                if (ist->pastRecording || in.noPacket || !ost->active) continue;
                // Subtitles are sparse: they come along with the pictures and sound they belong
                // to, and never keep a finished conversion reading.
                if (ost->type == AVMEDIA_TYPE_SUBTITLE && !subtitlesOnly) continue;
                if (ost->type >= 0 && ost->type < kOptionKinds &&
                    ost->frameNumber >= o.MaxFrames[ost->type]) {
                    frameLimit = true;
                    break;
                }
                if (in.eof) continue;
                const double time = o.InputSync ? seconds(ist->pts) : outputTime(*ost);
                if (time < best) {
                    best = time;
                    fileIndex = ist->fileIndex;
                }
            }
        }
        if (frameLimit) break;
        if (fileIndex < 0) {
            bool retry = false;
            for (auto& in : t.inputs_) {
                retry |= in->noPacket;
                in->noPacket = false;
            }
            if (retry) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
            break;
        }
        OutputFile& first = *t.outputs_[0];
        if (o.LimitFileSize && first.ctx->pb && lav::avio_tell(first.ctx->pb) > o.LimitFileSize)
            break;

        InputFile& in = *t.inputs_[static_cast<size_t>(fileIndex)];
        int ret = lav::av_read_frame(in.ctx, pkt);
        if (ret == AVERROR(EAGAIN)) {
            in.noPacket = true;
            continue;
        }
        if (ret < 0) {
            if (ret != AVERROR_EOF) {
                in.readError = ret;
                log(llError, in.fileName.toStdString() + ": " + LibraryErrorText(ret));
            }
            in.eof = true;
            if (join) {
                switchJoinInput();
                continue;
            }
            if (o.OptShortest) break;
            continue;
        }
        for (auto& i : t.inputs_) i->noPacket = false;
        t.markActivity();
        lastFileIndex = fileIndex;
        if (o.DoPktDump)
            lav::av_pkt_dump_log2(nullptr, AV_LOG_DEBUG, pkt, o.DoHexDump,
                                  in.ctx->streams[pkt->stream_index]);
        const size_t tableIndex = static_cast<size_t>(in.firstStream + pkt->stream_index);
        const bool known = pkt->stream_index >= 0 && tableIndex < ists.size() &&
                           ists[tableIndex]->fileIndex == fileIndex;
        if (!known || !feeds(ists[tableIndex].get())) {
            lav::av_packet_unref(pkt);
            continue;
        }
        InputStream& ist = *ists[tableIndex];
        if (const int64_t at = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
            at != AV_NOPTS_VALUE) {
            const int64_t end = at + std::max<int64_t>(pkt->duration, 0);
            if (ist.dataEnd == AV_NOPTS_VALUE || end > ist.dataEnd) ist.dataEnd = end;
        }
        const int64_t offset = lav::av_rescale_q(in.tsOffset, kMicros, ist.st->time_base);
        if (pkt->dts != AV_NOPTS_VALUE) pkt->dts += offset;
        if (pkt->pts != AV_NOPTS_VALUE) pkt->pts += offset;
        if (ist.tsScale > 0) {
            if (pkt->dts != AV_NOPTS_VALUE) pkt->dts = std::llround(pkt->dts * ist.tsScale);
            if (pkt->pts != AV_NOPTS_VALUE) pkt->pts = std::llround(pkt->pts * ist.tsScale);
        }
        // Time-stamp discontinuities of formats that allow them.
        if (pkt->dts != AV_NOPTS_VALUE && ist.nextPts != AV_NOPTS_VALUE && !o.CopyTs &&
            (in.ctx->iformat->flags & AVFMT_TS_DISCONT)) {
            const int64_t dtsUs = lav::av_rescale_q(pkt->dts, ist.st->time_base, kMicros);
            const int64_t delta = dtsUs - ist.nextPts;
            if (std::llabs(delta) > o.DtsDeltaThreshold * AV_TIME_BASE || dtsUs + 1 < ist.pts) {
                in.tsOffset -= delta;
                const int64_t d = lav::av_rescale_q(delta, kMicros, ist.st->time_base);
                pkt->dts -= d;
                if (pkt->pts != AV_NOPTS_VALUE) pkt->pts -= d;
                if (o.Verbose >= 3)
                    log(llVerbose, Format("timestamp discontinuity %" PRId64 ", new offset= %" PRId64,
                                          delta, in.tsOffset));
            }
        }
        if (!o.CopyTs) retimeLeap(ist, pkt);
        if (o.RecordingTime != INT64_MAX && pkt->pts != AV_NOPTS_VALUE &&
            lav::av_rescale_q(pkt->pts, ist.st->time_base, kMicros) >= recordingEnd()) {
            // Stream copies end at the packet; decoded pictures and sound end when a decoded
            // one reaches the end (a later packet may be an earlier picture's reference).
            ist.copyPastEnd = true;
            if (!ist.decodingNeeded || ist.st->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE) {
                ist.pastRecording = true;
                lav::av_packet_unref(pkt);
                continue;
            }
        }
        ret = decodePacket(ist, pkt);
        lav::av_packet_unref(pkt);
        if (ret < 0) {
            const std::string msg = Format("Error while decoding stream #%d.%d (%s)",
                                           ist.fileIndex, ist.index,
                                           MediaTypeName(ist.st->codecpar->codec_type));
            if (o.ExitOnError) fail(msg);
            if (o.Verbose >= 0) log(llVerbose, msg + ": " + LibraryErrorText(ret));
        }
        const int64_t now = lav::av_gettime_relative();
        if (now - lastReport > t.progressInterval_) {
            lastReport = now;
            report(false);
        }
    }

    // Drain what the decoders still hold, then the encoders.
    if (!t.stopRequested_) {
        for (auto& ist : ists) {
            if (!ist->decodingNeeded || ist->flushed) continue;
            if (join && ist->fileIndex != std::min(currentInput, static_cast<int>(t.inputs_.size()) - 1))
                continue;
            decodePacket(*ist, nullptr);
            ist->flushed = true;
        }
    }
    for (OutputStream* ost : osts) {
        if (!ost->video || !ost->source) continue;
        std::string why;
        if (ost->video->Push(nullptr, nullptr, &why) >= 0 && !t.stopRequested_)
            drainVideo(*ost, *ost->source);
    }
    if (!t.stopRequested_) holdLastPictures();
    flushEncoders();
    for (auto& of : t.outputs_) {
        if (!of->headerWritten) continue;
        const int ret = lav::av_write_trailer(of->ctx);
        if (ret < 0) fail(writeError(*of, ret));
        if (of->ctx->pb) {
            lav::avio_flush(of->ctx->pb);
            if (of->ctx->pb->error < 0) fail(writeError(*of, of->ctx->pb->error));
        }
    }
    trailerWritten = true;
    setExpectations();
    report(true);
    for (auto& in : t.inputs_)
        if (in->readError)
            fail(in->fileName.toStdString() + ": " + LibraryErrorText(in->readError));
}

// The container's length when it is every stream's: -1 when its streams start far apart (a
// stream hours after the others would make the container's length no stream's length).
int64_t Transcoder::sharedLength(const InputFile& in) const {
    const AVFormatContext* ic = in.ctx;
    if (ic->duration == AV_NOPTS_VALUE || ic->duration <= 0) return -1;
    const double threshold = o.DtsDeltaThreshold * AV_TIME_BASE;
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        const AVStream* st = ic->streams[i];
        if (st->discard == AVDISCARD_ALL || (st->disposition & AV_DISPOSITION_ATTACHED_PIC) ||
            st->start_time == AV_NOPTS_VALUE || ic->start_time == AV_NOPTS_VALUE)
            continue;
        const int64_t start = lav::av_rescale_q(st->start_time, st->time_base, kMicros);
        if (static_cast<double>(std::llabs(start - ic->start_time)) > threshold) return -1;
    }
    return ic->duration;
}

// How much of a stream the file held, in µs from its start, once the file was read to its end
// without a failure; -1 when not known (reading stopped before, or no packet had a time).
int64_t Transcoder::heldLength(const InputStream& ist, const InputFile& in) const {
    if (!in.eof || in.readError || ist.dataEnd == AV_NOPTS_VALUE) return -1;
    int64_t start = 0;
    if (ist.st->start_time != AV_NOPTS_VALUE)
        start = lav::av_rescale_q(ist.st->start_time, ist.st->time_base, kMicros);
    else if (in.ctx->start_time != AV_NOPTS_VALUE)
        start = in.ctx->start_time;
    const int64_t end = lav::av_rescale_q(ist.dataEnd, ist.st->time_base, kMicros);
    return std::max<int64_t>(end - start, 0);
}

// What each output must hold to count as finished: every picture and sound stream it wrote into,
// and the length it wrote. Beside that, the length its sources give, where that can be known
// beforehand (no picture count or size limit, no scaled or re-timed time stamps, no picture
// outputs, sources of known length): a file that differs from it (an offset, a cut, a filter, a
// change of speed) is worth a word in the log, not a failure. A source that ends before the length
// it states (an incomplete download) is measured by what it holds, read to its end: its output is
// all there is to convert, and the task says so.
void Transcoder::setExpectations() {
    bool lengthKnown = o.LimitFileSize == 0 && !o.CopyTs;
    for (int kind = 0; kind < kOptionKinds; ++kind)
        lengthKnown &= o.MaxFrames[static_cast<size_t>(kind)] == INT_MAX;
    for (const auto& ist : ists) lengthKnown &= ist->tsScale <= 0 && ist->leap == 0;
    for (const auto& in : t.inputs_)
        for (double scale : in->tsScale) lengthKnown &= scale <= 0;
    for (auto& ofp : t.outputs_) {
        OutputFile& of = *ofp;
        // Picture files (one or a numbered series) have no length of their own.
        const bool pictures = std::strncmp(of.ctx->oformat->name, "image2", 6) == 0;
        OutputExpectation e;
        int64_t firstStart = AV_NOPTS_VALUE, lastEnd = AV_NOPTS_VALUE;
        for (const auto& ost : of.streams) {
            if (!ost->wroteAny) continue;
            e.videoStreams += ost->type == AVMEDIA_TYPE_VIDEO;
            e.audioStreams += ost->type == AVMEDIA_TYPE_AUDIO;
            if (ost->type != AVMEDIA_TYPE_VIDEO && ost->type != AVMEDIA_TYPE_AUDIO) continue;
            if (ost->firstStart == AV_NOPTS_VALUE) continue;
            firstStart = firstStart == AV_NOPTS_VALUE ? ost->firstStart
                                                      : std::min(firstStart, ost->firstStart);
            lastEnd = lastEnd == AV_NOPTS_VALUE ? ost->lastEnd : std::max(lastEnd, ost->lastEnd);
        }
        if (!pictures && firstStart != AV_NOPTS_VALUE && lastEnd > firstStart)
            e.writtenUs = lastEnd - firstStart;
        of.expected = e;

        int64_t length = -1;
        // What its sources held, when every one was read to its end.
        int64_t held = -1;
        bool allRead = true;
        TPathFileName shortSource;
        for (const auto& ost : of.streams) {
            const InputStream* ist = ost->source;
            if (!ist || ist->attachedPicture || ost->type == AVMEDIA_TYPE_SUBTITLE) continue;
            const InputFile& in = inputOf(*ist);
            int64_t d = ist->st->duration != AV_NOPTS_VALUE && ist->st->duration > 0
                            ? lav::av_rescale_q(ist->st->duration, ist->st->time_base, kMicros)
                            : sharedLength(in);
            if (d == AV_NOPTS_VALUE || d <= 0) {
                length = -1;
                break;
            }
            const int64_t h = heldLength(*ist, in);
            allRead &= h >= 0;
            held = std::max(held, h - in.cutStart);
            if (h >= 0 && shortSource.isEmpty()) shortSource = in.fileName;
            length = std::max(length, d - in.cutStart);
        }
        if (t.joinMode_) length = t.TotalDuration();
        if (length > 0 && o.RecordingTime != INT64_MAX && o.RecordingTime > 0)
            length = std::min(length, o.RecordingTime);
        if (lengthKnown && !pictures && !t.joinMode_ && length > 0 && allRead && held >= 0 &&
            held + DurationTolerance(length) < length) {
            const std::string warning =
                Format("%s: what can be read ends at %s, before the %s the file states "
                       "(incomplete or damaged); converted as far as it goes",
                       shortSource.toUtf8().constData(), DurationToStr(held).c_str(),
                       DurationToStr(length).c_str());
            log(llWarning, warning);
            t.warning_ += (t.warning_.empty() ? "" : "\n") + warning;
            length = held;
        }
        of.sourceLength = lengthKnown && !pictures && length > 0 ? length : -1;
    }
}

void Transcoder::report(bool final) {
    OutputFile& first = *t.outputs_[0];
    int64_t size = 0;
    if (first.ctx->pb) {
        size = lav::avio_size(first.ctx->pb);
        if (size <= 0) size = lav::avio_tell(first.ctx->pb);
        size = std::max<int64_t>(size, lav::avio_tell(first.ctx->pb));
    }
    std::string status;
    const double elapsed = seconds(lav::av_gettime_relative() - timerStart);
    int frames = -1, fps = -1;
    float quality = -1.0f;
    bool firstVideo = true;
    double time = 1e10;
    for (const OutputStream* ost : osts) {
        if (ost->type == AVMEDIA_TYPE_VIDEO && ost->active) {
            const float q = ost->encoding && ost->quality >= 0
                                ? static_cast<float>(ost->quality) / FF_QP2LAMBDA
                                : -1.0f;
            if (firstVideo) {
                if (ost->frameNumber == 0) return;  // nothing encoded yet: no report at all
                firstVideo = false;
                frames = static_cast<int>(ost->frameNumber);
                fps = elapsed > 1 ? static_cast<int>(frames / elapsed + 0.5) : 0;
                quality = ost->encoding ? q : -1.0f;
                status += Format("frame=%5d fps=%3d q=%3.1f ", frames, fps, quality);
                if (final) status += "L";
                if (o.QpHist) {
                    for (int64_t count : ost->qpHistogram)
                        status += Format("%X", static_cast<int>(std::log2(count + 1)));
                }
                if (ost->encoding && (ost->enc->flags & AV_CODEC_FLAG_PSNR)) {
                    const double pixels = static_cast<double>(ost->enc->width) * ost->enc->height;
                    const double encoded =
                        static_cast<double>(std::max<int64_t>(ost->frameNumber, 1));
                    const double scale[3] = {1.0, 0.25, 0.25};
                    double sum = 0;
                    status += "PSNR=";
                    for (int j = 0; j < 3; ++j) {
                        const double err = final ? static_cast<double>(ost->totalError[j]) / encoded
                                                 : static_cast<double>(ost->lastError[j]);
                        sum += err;
                        status += Format("%c:%2.2f ", "YUV"[j], psnr(err, pixels * scale[j]));
                    }
                    status += Format("*:%2.2f ", psnr(sum, pixels * 1.5));
                }
            } else {
                status += Format("q=%2.1f ", q);
            }
        }
        if (!ost->active) continue;
        const double ot = outputTime(*ost);
        if (ot > 0 && ot < time) time = ot;
    }
    const bool known = time < 1e10;
    if (time < 0.01) time = 0.01;
    const double bitrate = static_cast<double>(size) * 8 / time / 1000;
    const bool callback = static_cast<bool>(t.onProgress_);
    if (callback || o.Verbose > 0 || final) {
        status += Format("size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s",
                         static_cast<double>(size) / 1024, known ? time : 0.0, bitrate);
        if (dupCount || dropCount) status += Format(" dup=%d drop=%d", dupCount, dropCount);
    }
    if (callback) {
        TProgressInfo p;
        p.FileIndex = final ? -1 : lastFileIndex;
        p.FrameNumber = frames;
        p.FPS = fps;
        p.Quality = quality;
        p.BitRate = static_cast<float>(known ? bitrate : 0.0);
        p.CurrentSize = size;
        if (known) reportedDuration = std::max<int64_t>(reportedDuration, std::llround(time * AV_TIME_BASE));
        p.CurrentDuration = reportedDuration;
        p.TotalDuration = t.TotalDuration();
        t.onProgress_(t, p);
        if (dupDropChanged && o.Verbose >= 0) log(llVerbose, status);
        dupDropChanged = false;
    } else if (o.Verbose >= 0) {
        log(llVerbose, status);
    }
    if (final && o.Verbose >= 0) {
        const int64_t payload = videoSize + audioSize + extraSize;
        const double overhead =
            payload > 0 ? static_cast<double>(size - payload) * 100.0 / static_cast<double>(payload)
                        : 0.0;
        log(llVerbose, Format("video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB muxing "
                              "overhead %f%%\r\n",
                              static_cast<double>(videoSize) / 1024,
                              static_cast<double>(audioSize) / 1024,
                              static_cast<double>(extraSize) / 1024, overhead));
    }
}

// ---------------------------------------------------------------------------------------------

void TCustomFFmpeg::RunConversion() {
    finished_ = false;
    if (ran_) {
        hasError_ = true;
        errorMessage_ = "The task has already run.";
        return;
    }
    ran_ = true;
    bool trailerWritten = false;
    // The watchdog: one per run, gone before the outputs are finished.
    WatchdogStop runOver;
    markActivity();
    std::thread watchdog([this, &runOver] { watch(runOver); });
    try {
        if (inputs_.empty()) throw FFmpegException("At least one input file must be specified");
        if (outputs_.empty()) throw FFmpegException("At least one output file must be specified");
        Transcoder tc(*this);
        try {
            tc.prepare();
            tc.run();
        } catch (...) {
            trailerWritten = tc.trailerWritten;
            throw;
        }
        trailerWritten = tc.trailerWritten;
    } catch (const std::exception& e) {
        hasError_ = true;
        errorMessage_ = e.what();
    }
    {
        std::lock_guard<std::mutex> lk(runOver.mutex);
        runOver.done = true;
    }
    runOver.cv.notify_all();  // the watchdog leaves at once, not at its next look
    watchdog.join();
    if (stalled_) {
        hasError_ = true;
        const std::string what =
            outputs_.empty() ? std::string("The task") : outputs_[0]->fileName.toStdString();
        errorMessage_ = Format("%s: no progress for %lld s", what.c_str(),
                               static_cast<long long>((stallLimit_.count() + 999) / 1000));
    }
    if (hasError_) Log(llQuiet, errorMessage_);
    // Clean-up: every codec closed once, outputs closed (an empty or failed file that this task
    // created is removed), inputs closed, hooks released and the preview window closed.
    try {
        hooks_->Release();
        for (auto& of : outputs_) {
            if (!of) continue;
            OutputFile& out = *of;
            if (out.ctx && out.ctx->pb) {
                const int ret = CloseMediaOutput(out.ctx);
                if (ret < 0 && !hasError_) {
                    hasError_ = true;
                    errorMessage_ = out.fileName.toStdString() + ": " + LibraryErrorText(ret);
                    Log(llQuiet, errorMessage_);
                }
            }
        }
        if (!hasError_ && trailerWritten) commitOutputs();
        for (auto& of : outputs_) {
            if (!of) continue;
            OutputFile& out = *of;
            const bool broken = hasError_ && !trailerWritten;
            if (broken && out.created && !out.existedBefore && IsRegularFile(out.fileName))
                ::unlink(NativeFileName(out.fileName).constData());
            releaseOutput(out, true);
        }
        for (auto& in : inputs_) {
            // Decoders live in the run's stream table and are gone with it; the files close here.
            if (in && in->ctx) CloseMediaInput(&in->ctx);
        }
    } catch (const std::exception& e) {
        if (!hasError_) {
            hasError_ = true;
            errorMessage_ = e.what();
        }
    }
    finished_ = !stopRequested_ && !hasError_;
}

void TCustomFFmpeg::markActivity() {
    lastActivity_ = std::chrono::steady_clock::now().time_since_epoch().count();
}

void TCustomFFmpeg::pausePoint() {
    if (!checkpoint_) return;
    waitingAtPause_ = true;
    checkpoint_();
    markActivity();  // a pause is no stall: the count starts again after it
    waitingAtPause_ = false;
}

void TCustomFFmpeg::watch(WatchdogStop& stop) {
    ::pthread_setname_np(::pthread_self(), "watchdog");
    const auto limit = std::chrono::duration_cast<std::chrono::nanoseconds>(stallLimit_);
    const auto step = std::clamp<std::chrono::nanoseconds>(limit / 8, std::chrono::milliseconds(10),
                                                           std::chrono::milliseconds(500));
    std::unique_lock<std::mutex> lk(stop.mutex);
    while (!stop.done) {
        if (stop.cv.wait_for(lk, step, [&] { return stop.done; })) return;
        if (waitingAtPause_) continue;
        const int64_t now = std::chrono::steady_clock::now().time_since_epoch().count();
        if (now - lastActivity_.load() <= limit.count()) continue;
        stalled_ = true;
        ioCancel_ = true;  // a write waiting on a FIFO or a device gives up
        RequestStop();
        return;
    }
}

void TCustomFFmpeg::commitOutputs() {
    // A stopped task's file is what was converted so far: kept, but never in place of a file
    // that is already there, whatever the policy.
    const bool stopped = stopRequested_;
    std::vector<PendingOutput> pending;
    std::vector<OutputFile*> files;
    for (auto& of : outputs_) {
        if (!of || of->temporaryName.isEmpty()) continue;
        OutputFile& out = *of;
        if (!stopped) {
            const OutputExpectation& e = out.expected;
            Log(llVerbose, Format("Checking %s: %d video and %d audio streams, %s written",
                                  out.fileName.toUtf8().constData(), e.videoStreams,
                                  e.audioStreams,
                                  e.writtenUs > 0 ? DurationToStr(e.writtenUs).c_str() : "length not known"));
            int64_t length = -1;
            const std::string problem = VerifyOutput(out.temporaryName, out.fileName, e, &length);
            if (!problem.empty()) {
                hasError_ = true;
                errorMessage_ = problem;
                Log(llQuiet, errorMessage_);
                return;  // every temporary file goes with its output
            }
            if (length >= 0 && out.sourceLength > 0 &&
                std::llabs(length - out.sourceLength) > DurationTolerance(out.sourceLength))
                Log(llWarning, Format("%s lasts %s, its source %s (an offset, a cut, a filter or a "
                                      "change of speed makes the difference)",
                                      out.fileName.toUtf8().constData(),
                                      DurationToStr(length).c_str(),
                                      DurationToStr(out.sourceLength).c_str()));
        }
        pending.push_back({out.temporaryName, out.fileName,
                           stopped ? ExistingOutput::Number : existing_});
        files.push_back(&out);
    }
    size_t failed = 0;
    const int ret = CommitOutputs(pending, &failed);
    if (ret < 0) {
        hasError_ = true;
        errorMessage_ = pending[failed].finalName.toStdString() + ": " + LibraryErrorText(ret);
        Log(llQuiet, errorMessage_);
        return;
    }
    kept_ = !files.empty();
    for (size_t i = 0; i < files.size(); ++i) {
        OutputFile& out = *files[i];
        out.temporaryName.clear();
        const TPathFileName& name = pending[i].finalName;
        if (stopped)
            Log(llInfo, Format("The conversion was stopped: what was converted is in %s",
                               name.toUtf8().constData()));
        if (name != out.fileName) {
            Log(llInfo, Format("%s is there already and was kept; the output is %s",
                               out.fileName.toUtf8().constData(), name.toUtf8().constData()));
            out.fileName = name;
        }
    }
}
