#include "engine/FFmpeg.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "engine/FFUtils.h"
#include "engine/FFmpegInternal.h"
#include "engine/FrameHook.h"
#include "engine/UnicodeProtocol.h"
#include "medialib/FFmpegLoader.h"

const char* MediaTypeName(AVMediaType type) {
    switch (type) {
        case AVMEDIA_TYPE_VIDEO: return "Video";
        case AVMEDIA_TYPE_AUDIO: return "Audio";
        case AVMEDIA_TYPE_DATA: return "Data";
        case AVMEDIA_TYPE_SUBTITLE: return "Subtitle";
        case AVMEDIA_TYPE_ATTACHMENT: return "Attachment";
        default: return "Unknown";
    }
}

int PreferredStream(const AVFormatContext* ic, AVMediaType type) {
    auto usable = [&](int i, bool coversToo) {
        const AVStream* st = ic->streams[i];
        return st->codecpar->codec_type == type && st->discard != AVDISCARD_ALL &&
               (coversToo || !(st->disposition & AV_DISPOSITION_ATTACHED_PIC));
    };
    const int count = static_cast<int>(ic->nb_streams);
    bool moving = false;
    for (int i = 0; i < count; ++i) moving |= usable(i, false);
    const bool coversToo = !moving;
    const int pick =
        lav::av_find_best_stream(const_cast<AVFormatContext*>(ic), type, -1, -1, nullptr, 0);
    if (pick >= 0 && pick < count && usable(pick, coversToo)) return pick;
    // The library's choice is discarded or a cover: the first default stream, else the first.
    int first = -1;
    for (int i = 0; i < count; ++i) {
        if (!usable(i, coversToo)) continue;
        if (ic->streams[i]->disposition & AV_DISPOSITION_DEFAULT) return i;
        if (first < 0) first = i;
    }
    return first;
}

bool CountsFromCommonStart(const AVOutputFormat* ofmt) {
    return std::strcmp(ofmt->name, "avi") == 0 || std::strcmp(ofmt->name, "swf") == 0;
}

int64_t StartAtPicture(const AVFormatContext* ic, int64_t timestamp) {
    const int index = PreferredStream(ic, AVMEDIA_TYPE_VIDEO);
    if (index < 0) return timestamp;
    const AVStream* st = ic->streams[index];
    if (st->disposition & AV_DISPOSITION_ATTACHED_PIC) return timestamp;
    const AVRational rate = st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0
                                ? st->avg_frame_rate
                                : st->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0 || av_q2d(rate) > 1000) return timestamp;
    const int64_t first =
        st->start_time == AV_NOPTS_VALUE
            ? (ic->start_time == AV_NOPTS_VALUE ? 0 : ic->start_time)
            : lav::av_rescale_q(st->start_time, st->time_base, AVRational{1, AV_TIME_BASE});
    if (timestamp <= first) return timestamp;
    // Pictures at first + n / rate: the first one at or after the start.
    const int64_t perUs = int64_t{AV_TIME_BASE} * rate.den;  // n / rate s = n * perUs / num µs
    const int64_t n = lav::av_rescale_rnd(timestamp - first, rate.num, perUs, AV_ROUND_UP);
    const int64_t picture = first + lav::av_rescale(n, perUs, rate.num);
    // Stored times may be rounded (to milliseconds in some containers): the start stays a
    // millisecond before the picture so that the picture is never cut off.
    const int64_t start = picture - std::min<int64_t>(1000, (picture - timestamp));
    return start > timestamp ? start : timestamp;
}

bool KeepsEmptySlots(const AVOutputFormat* ofmt) { return std::strcmp(ofmt->name, "avi") == 0; }

int DisplayRotation(const AVStream* st) {
    for (int i = 0; i < st->nb_side_data; ++i) {
        const AVPacketSideData& sd = st->side_data[i];
        if (sd.type != AV_PKT_DATA_DISPLAYMATRIX || sd.size < 9 * 4) continue;
        // The matrix turns counter-clockwise; a picture is shown turned the other way.
        const double angle =
            -lav::av_display_rotation_get(reinterpret_cast<const int32_t*>(sd.data));
        if (std::isnan(angle)) return 0;
        int turn = static_cast<int>(std::lround(angle / 90.0)) * 90 % 360;
        if (turn < 0) turn += 360;
        return turn;
    }
    return 0;
}

namespace {

bool takesCodec(const AVOutputFormat* ofmt, AVCodecID id) {
    const int answer = lav::avformat_query_codec(ofmt, id, FF_COMPLIANCE_NORMAL);
    return answer == 1 || (answer < 0 && ofmt->subtitle_codec == id);
}

bool nameIn(const char* name, std::initializer_list<const char*> names) {
    for (const char* n : names)
        if (std::strcmp(name, n) == 0) return true;
    return false;
}

}  // namespace

SubtitlePlan PlanSubtitles(const AVOutputFormat* ofmt, const AVCodecParameters* source,
                           const AVCodec* forcedEncoder, bool copy) {
    SubtitlePlan plan;
    const AVCodecDescriptor* desc = lav::avcodec_descriptor_get(source->codec_id);
    const int props = desc ? desc->props : 0;
    const bool text = props & AV_CODEC_PROP_TEXT_SUB;
    const bool bitmap = props & AV_CODEC_PROP_BITMAP_SUB;
    const char* name = desc ? desc->name : "unknown";
    if (copy || (!forcedEncoder && !text)) {
        // Stream copy: bitmap subtitles always, any kind when asked for.
        if (takesCodec(ofmt, source->codec_id)) {
            plan.kind = SubtitlePlan::Copy;
        } else {
            plan.reason = Format("the %s container takes no %s subtitles", ofmt->name, name);
        }
        return plan;
    }
    if (forcedEncoder) {
        const AVCodecDescriptor* out = lav::avcodec_descriptor_get(forcedEncoder->id);
        const bool outText = out && (out->props & AV_CODEC_PROP_TEXT_SUB);
        if ((text && outText) || (bitmap && out && (out->props & AV_CODEC_PROP_BITMAP_SUB))) {
            plan.kind = SubtitlePlan::Encode;
            plan.encoder = forcedEncoder;
        } else {
            plan.reason = Format("%s subtitles cannot be encoded by %s", name, forcedEncoder->name);
        }
        return plan;
    }
    // Text subtitles go where players read them: Matroska keeps the codec it takes, the MP4
    // family reads timed text, WebM WebVTT; other containers get none.
    AVCodecID target = AV_CODEC_ID_NONE;
    if (nameIn(ofmt->name, {"matroska"}))
        target = takesCodec(ofmt, source->codec_id) ? source->codec_id : AV_CODEC_ID_ASS;
    else if (nameIn(ofmt->name, {"webm"}))
        target = AV_CODEC_ID_WEBVTT;
    else if (nameIn(ofmt->name, {"mp4", "mov", "3gp", "3g2", "psp", "ismv"}))
        target = AV_CODEC_ID_MOV_TEXT;
    if (target == AV_CODEC_ID_NONE) {
        plan.reason = Format("the %s container takes no text subtitles", ofmt->name);
        return plan;
    }
    if (target == source->codec_id) {
        plan.kind = SubtitlePlan::Copy;
        return plan;
    }
    plan.encoder = lav::avcodec_find_encoder(target);
    if (!plan.encoder) {
        plan.reason = Format("no %s encoder", lav::avcodec_get_name(target));
        return plan;
    }
    plan.kind = SubtitlePlan::Encode;
    return plan;
}

namespace {

std::chrono::milliseconds defaultStallLimit() {
    if (const char* text = std::getenv("TANDREL_STALL_LIMIT_MS")) {
        char* end = nullptr;
        const long long ms = std::strtoll(text, &end, 10);
        if (end != text && *end == '\0' && ms > 0) return std::chrono::milliseconds(ms);
    }
    return std::chrono::seconds(60);
}

}  // namespace

TCustomFFmpeg::TCustomFFmpeg(int maxFiles) : maxFiles_(maxFiles), stallLimit_(defaultStallLimit()) {
    if (maxFiles < 1 || maxFiles > 512)
        throw std::invalid_argument("Assertion failure (FFmpeg): files per task out of range");
    options_ = std::make_unique<TFFmpegOptions>(this);
    options_->SetHost(this);
    hooks_ = std::make_unique<TFrameHooks>(
        [this](TLogLevel level, const std::string& text) { Log(level, text); });
}

TCustomFFmpeg::~TCustomFFmpeg() {
    for (auto& of : outputs_)
        if (of) releaseOutput(*of, false);
    for (auto& in : inputs_) {
        if (in && in->ctx) CloseMediaInput(&in->ctx);
    }
}

void TCustomFFmpeg::Log(TLogLevel level, const std::string& text) const {
    if (TFFLogger* logger = CurrentLogger())
        logger->LogMessage(const_cast<TCustomFFmpeg*>(this), level, text);
}

void TCustomFFmpeg::fail(const std::string& message) const { throw FFmpegException(message); }

void TCustomFFmpeg::SetOption(const std::string& name, const std::string& value) {
    options_->SetOption(name, value);
}

void TCustomFFmpeg::ResetOptions() { options_->ResetOptions(); }

int TCustomFFmpeg::InputCount() const { return static_cast<int>(inputs_.size()); }

int TCustomFFmpeg::OutputCount() const {
    if (joinMode_ && !outputs_.empty()) return InputCount();
    return static_cast<int>(outputs_.size());
}

std::string EmptyOutputReason(bool takesVideo, bool takesAudio) {
    if (takesAudio && !takesVideo) return "the source has no sound for this sound-only format";
    if (takesVideo && !takesAudio) return "the source has no picture for this video-only format";
    return "the source has no sound or picture this format can hold";
}

bool HasNoPictures(const AVStream* st) {
    return st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && st->codecpar->format < 0;
}

std::string TCustomFFmpeg::CloseEmptyLastOutput() {
    if (outputs_.empty() || joinMode_ || !outputs_.back()->streams.empty()) return {};
    const std::string reason = outputs_.back()->emptyReason;
    releaseOutput(*outputs_.back(), false);
    outputs_.pop_back();
    return reason;
}

AVFormatContext* TCustomFFmpeg::InputContext(int index) const {
    if (index < 0 || index >= InputCount()) return nullptr;
    return inputs_[static_cast<size_t>(index)]->ctx;
}

const TPathFileName& TCustomFFmpeg::InputFileName(int index) const {
    static const TPathFileName empty;
    if (index < 0 || index >= InputCount()) return empty;
    return inputs_[static_cast<size_t>(index)]->fileName;
}

const TPathFileName& TCustomFFmpeg::OutputFileName(int index) const {
    static const TPathFileName empty;
    if (outputs_.empty()) return empty;
    if (joinMode_) return outputs_[0]->fileName;
    if (index < 0 || index >= static_cast<int>(outputs_.size())) return empty;
    return outputs_[static_cast<size_t>(index)]->fileName;
}

int64_t TCustomFFmpeg::TotalDuration() const {
    const int64_t recording = options_->State().RecordingTime;
    if (recording != INT64_MAX && recording > 0 && (totalDuration_ <= 0 || recording < totalDuration_))
        return recording;
    return totalDuration_ > 0 ? totalDuration_ : -1;
}

std::vector<AVRational> TCustomFFmpeg::InputVideoFrameRates() const {
    std::vector<AVRational> rates;
    for (const auto& in : inputs_) {
        for (unsigned i = 0; i < in->ctx->nb_streams; ++i) {
            const AVStream* st = in->ctx->streams[i];
            if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) rates.push_back(st->r_frame_rate);
        }
    }
    return rates;
}

int TCustomFFmpeg::AddFrameHook(const std::string& value) {
    return hooks_->AddExternalHook(value);
}

// Codec lookup by name, with the messages of a failed lookup.
const AVCodec* TCustomFFmpeg::findCodec(const std::string& name, AVMediaType type, bool encoder,
                                        int strict) const {
    if (name.empty()) return nullptr;
    const char* kind = encoder ? "encoder" : "decoder";
    std::string lookup = name;
    // The distribution's library has no "libfaac": the native AAC encoder serves the name.
    if (encoder && lookup == "libfaac") lookup = "aac";
    const AVCodec* codec = encoder ? lav::avcodec_find_encoder_by_name(lookup.c_str())
                                   : lav::avcodec_find_decoder_by_name(lookup.c_str());
    if (!codec) fail(Format("Unknown %s '%s'", kind, name.c_str()));
    if (codec->type != type) fail(Format("Invalid %s type '%s'", kind, name.c_str()));
    if ((codec->capabilities & AV_CODEC_CAP_EXPERIMENTAL) &&
        strict > FF_COMPLIANCE_EXPERIMENTAL) {
        std::string msg = Format(
            "%s '%s' is experimental and might produce bad results.\r\nAdd '-strict "
            "experimental' if you want to use it.",
            kind, name.c_str());
        const AVCodec* other = encoder ? lav::avcodec_find_encoder(codec->id)
                                       : lav::avcodec_find_decoder(codec->id);
        if (other && !(other->capabilities & AV_CODEC_CAP_EXPERIMENTAL))
            msg += Format("\r\nOr use the non experimental %s '%s'.", kind, other->name);
        fail(msg);
    }
    return codec;
}

bool TCustomFFmpeg::OpenInput(const TPathFileName& fileName) {
    errorText_.clear();
    TOptionState& o = options_->State();
    AVFormatContext* ic = nullptr;
    try {
        if (InputCount() >= maxFiles_) fail(Format("max input files %d reached", maxFiles_));
        const AVInputFormat* fmt = nullptr;
        if (!o.ForcedFormat.empty()) {
            fmt = lav::av_find_input_format(o.ForcedFormat.c_str());
            if (!fmt) fail(Format("Unknown input format: \"%s\"", o.ForcedFormat.c_str()));
            o.ForcedFormat.clear();
        }
        // Format parameters the demuxer may use (raw and capture formats).
        AVDictionary* opts = options_->FormatOptionsFor(fmt ? fmt->priv_class : nullptr, false);
        if (o.FrameRate.num > 0 && o.FrameRate.den > 0)
            lav::av_dict_set(&opts, "framerate",
                             Format("%d/%d", o.FrameRate.num, o.FrameRate.den).c_str(),
                             AV_DICT_DONT_OVERWRITE);
        if (o.FrameWidth > 0 && o.FrameHeight > 0)
            lav::av_dict_set(&opts, "video_size",
                             Format("%dx%d", o.FrameWidth, o.FrameHeight).c_str(),
                             AV_DICT_DONT_OVERWRITE);
        if (o.FramePixFmt != AV_PIX_FMT_NONE)
            lav::av_dict_set(&opts, "pixel_format", lav::av_get_pix_fmt_name(o.FramePixFmt),
                             AV_DICT_DONT_OVERWRITE);
        if (!o.VideoStandard.empty())
            lav::av_dict_set(&opts, "standard", o.VideoStandard.c_str(), AV_DICT_DONT_OVERWRITE);

        const std::string forcedVideo = o.VideoCodecName, forcedAudio = o.AudioCodecName,
                          forcedSubtitle = o.SubtitleCodecName;
        const AVCodec* vdec = findCodec(forcedVideo, AVMEDIA_TYPE_VIDEO, false, 0);
        const AVCodec* adec = findCodec(forcedAudio, AVMEDIA_TYPE_AUDIO, false, 0);
        const AVCodec* sdec = findCodec(forcedSubtitle, AVMEDIA_TYPE_SUBTITLE, false, 0);
        if (o.PgmYuvCompat) vdec = lav::avcodec_find_decoder(AV_CODEC_ID_PGMYUV);

        // Only regular files are opened: a FIFO or a device could block for ever.
        if (!IsRegularFile(fileName)) {
            lav::av_dict_free(&opts);
            const bool exists = ::access(NativeFileName(fileName).constData(), F_OK) == 0;
            fail(fileName.toStdString() + ": " +
                 (exists ? std::string("Not a regular file") : LibraryErrorText(AVERROR(ENOENT))));
        }
        int ret = OpenMediaInput(&ic, fileName, fmt, &opts);
        lav::av_dict_free(&opts);
        if (ret < 0) fail(fileName.toStdString() + ": " + LibraryErrorText(ret));

        if (o.OptProgramId) {
            bool found = false;
            for (unsigned i = 0; i < ic->nb_streams; ++i) ic->streams[i]->discard = AVDISCARD_ALL;
            for (unsigned p = 0; p < ic->nb_programs; ++p) {
                AVProgram* prog = ic->programs[p];
                if (prog->id == o.OptProgramId) {
                    found = true;
                    prog->discard = AVDISCARD_DEFAULT;
                    for (unsigned k = 0; k < prog->nb_stream_indexes; ++k)
                        ic->streams[prog->stream_index[k]]->discard = AVDISCARD_DEFAULT;
                } else {
                    prog->discard = AVDISCARD_ALL;
                }
            }
            if (!found) fail("Specified program id not found");
            o.OptProgramId = 0;
        }

        {
            CodecLockGuard lock;
            ret = lav::avformat_find_stream_info(ic, nullptr);
        }
        if (ret < 0 && o.Verbose >= 0) {
            const std::string msg =
                Format("%s: could not find codec parameters", fileName.toUtf8().constData());
            Log(llVerbose, msg);
            fail(msg);
        }

        // Seek to the start time (plus the container's own start).
        int64_t timestamp = o.StartTime;
        if (ic->start_time != AV_NOPTS_VALUE) timestamp += ic->start_time;
        if (o.StartTime != 0) {
            timestamp = StartAtPicture(ic, timestamp);
            ret = lav::avformat_seek_file(ic, -1, INT64_MIN, timestamp, timestamp, 0);
            if (ret < 0 && o.Verbose > 0)
                Log(llVerbose, Format("%s: could not seek to position %0.3f",
                                      fileName.toUtf8().constData(),
                                      static_cast<double>(timestamp) / AV_TIME_BASE));
        }
        const int64_t cutStart = o.StartTime;
        o.StartTime = 0;

        auto input = std::make_unique<InputFile>();
        input->fileName = fileName;
        input->cutStart = cutStart;
        input->forcedVideo = vdec;
        input->forcedAudio = adec;
        input->forcedSubtitle = sdec;
        input->firstStream = 0;
        for (const auto& in : inputs_) input->firstStream += static_cast<int>(in->ctx->nb_streams);

        for (unsigned i = 0; i < ic->nb_streams; ++i) {
            AVStream* st = ic->streams[i];
            switch (st->codecpar->codec_type) {
                case AVMEDIA_TYPE_VIDEO:
                    if (o.VideoDisable)
                        st->discard = AVDISCARD_ALL;
                    else if (o.VideoDiscard)
                        st->discard = static_cast<AVDiscard>(o.VideoDiscard);
                    break;
                case AVMEDIA_TYPE_AUDIO:
                    if (o.AudioDisable) st->discard = AVDISCARD_ALL;
                    break;
                case AVMEDIA_TYPE_SUBTITLE:
                    if (o.SubtitleDisable) st->discard = AVDISCARD_ALL;
                    break;
                case AVMEDIA_TYPE_DATA:
                case AVMEDIA_TYPE_ATTACHMENT:
                case AVMEDIA_TYPE_UNKNOWN: break;
                default: fail("invalid codec_type");
            }
        }
        // The picture and sound settings come from the streams a conversion will take, not from
        // whichever stream of the kind happens to come last (a cover, a commentary track).
        const int videoIndex = PreferredStream(ic, AVMEDIA_TYPE_VIDEO);
        if (videoIndex >= 0) {
            const AVStream* st = ic->streams[videoIndex];
            const AVCodecParameters* par = st->codecpar;
            // A picture turned a quarter is shown, and therefore converted, on its side.
            const bool quarter = DisplayRotation(st) % 180 != 0;
            const int w = quarter ? par->height : par->width;
            const int h = quarter ? par->width : par->height;
            if (w > 0 && h > 0) {
                AVRational sar = st->sample_aspect_ratio.num ? st->sample_aspect_ratio
                                                             : par->sample_aspect_ratio;
                if (quarter && sar.num) sar = AVRational{sar.den, sar.num};
                o.FrameAspectRatio =
                    sar.num ? static_cast<double>(w) * sar.num / (static_cast<double>(h) * sar.den)
                            : static_cast<double>(w) / h;
            } else if (o.FrameAspectRatio == 0) {
                o.FrameAspectRatio = 4.0 / 3.0;
            }
            o.FrameWidth = w;
            o.FrameHeight = h;
            o.FramePixFmt =
                par->format >= 0 ? static_cast<AVPixelFormat>(par->format) : AV_PIX_FMT_YUV420P;
            AVRational rate = lav::av_guess_frame_rate(ic, const_cast<AVStream*>(st), nullptr);
            if (rate.num <= 0 || rate.den <= 0) rate = st->r_frame_rate;
            // A cover has one picture and a container's tick for a rate: shown as a still at
            // the usual rate.
            if (st->disposition & AV_DISPOSITION_ATTACHED_PIC) rate = AVRational{25, 1};
            o.FrameRate = rate;
        }
        const int audioIndex = PreferredStream(ic, AVMEDIA_TYPE_AUDIO);
        if (audioIndex >= 0) {
            const AVCodecParameters* par = ic->streams[audioIndex]->codecpar;
            if (par->ch_layout.nb_channels > 0) {
                o.AudioChannels = par->ch_layout.nb_channels;
                lav::av_channel_layout_uninit(&o.AudioChannelLayout);
                lav::av_channel_layout_copy(&o.AudioChannelLayout, &par->ch_layout);
            }
            if (par->sample_rate > 0) o.AudioSampleRate = par->sample_rate;
            o.AudioSampleFmt = static_cast<AVSampleFormat>(par->format);
        }
        // Per-stream time-stamp scales of this input.
        input->ctx = ic;
        ic = nullptr;
        if (input->ctx->duration != AV_NOPTS_VALUE && input->ctx->duration > totalDuration_ &&
            !joinMode_)
            totalDuration_ = input->ctx->duration;
        input->tsOffset = o.CopyTs ? o.InputTsOffset : o.InputTsOffset - timestamp;
        if (o.Verbose >= 0)
            lav::av_dump_format(input->ctx, InputCount(), FileNameToUrl(fileName).c_str(), 0);
        input->tsScale = o.InputTsScale;
        o.InputTsScale = {};
        o.InputTsOffset = 0;
        // Nothing reads it before the conversion: a long list of queued tasks holds no files open.
        ParkMediaInput(input->ctx);
        inputs_.push_back(std::move(input));
        o.VideoChannel = 0;
        o.VideoCodecName.clear();
        o.AudioCodecName.clear();
        o.SubtitleCodecName.clear();
        return true;
    } catch (const std::exception& e) {
        if (ic) CloseMediaInput(&ic);
        errorText_ = e.what();
        return false;
    }
}

namespace {

// The folder of `name` exists and is writable; an existing file at `name` is writable. Nothing
// on disk changes.
int checkWritable(const TPathFileName& name) {
    const QByteArray path = NativeFileName(name);
    if (::access(path.constData(), F_OK) == 0) {
        if (!FileExists(name)) return AVERROR(EISDIR);  // a folder
        return ::access(path.constData(), W_OK) == 0 ? 0 : AVERROR(errno);
    }
    QString folder = ExtractFilePath(name);
    if (folder.isEmpty()) folder = QStringLiteral(".");
    const QByteArray dir = NativeFileName(folder);
    if (::access(dir.constData(), F_OK) != 0) return AVERROR(ENOENT);
    return ::access(dir.constData(), W_OK | X_OK) == 0 ? 0 : AVERROR(errno);
}

// Containers for sound whose only pictures are covers (MP3, M4A, FLAC, Ogg …).
// Whether a sound container keeps a cover picture of this codec. MP3 (ID3 pictures) and M4A
// ("covr") take the usual image codecs, which their codec tables do not list.
bool takesCover(const AVOutputFormat* ofmt, AVCodecID id) {
    if (std::strcmp(ofmt->name, "mp3") == 0 || std::strcmp(ofmt->name, "ipod") == 0)
        return id == AV_CODEC_ID_MJPEG || id == AV_CODEC_ID_PNG || id == AV_CODEC_ID_BMP;
    return lav::avformat_query_codec(ofmt, id, FF_COMPLIANCE_NORMAL) == 1;
}

bool isSoundContainer(const AVOutputFormat* ofmt) {
    switch (ofmt->video_codec) {
        case AV_CODEC_ID_NONE:
        case AV_CODEC_ID_PNG:
        case AV_CODEC_ID_MJPEG:
        case AV_CODEC_ID_BMP:
        case AV_CODEC_ID_GIF:
        case AV_CODEC_ID_TIFF:
            return true;
        default:
            return std::strcmp(ofmt->name, "ipod") == 0;
    }
}

// Encoders that need their picture size in multiples of a block.
int sizeAlignment(const AVCodec* codec, AVPixelFormat fmt) {
    if (codec->id == AV_CODEC_ID_RV10) return 16;
    if (codec->id == AV_CODEC_ID_RV20) return 4;
    const AVPixFmtDescriptor* d = lav::av_pix_fmt_desc_get(fmt);
    if (d && (d->log2_chroma_w || d->log2_chroma_h)) return 2;
    return 1;
}

// The largest side an encoder's stream can state (its headers hold 12 bits); 0: no such limit.
int largestSide(const AVCodec* codec) { return codec->id == AV_CODEC_ID_MPEG1VIDEO ? 4095 : 0; }

AVPixelFormat jpegRange(AVPixelFormat fmt) {
    switch (fmt) {
        case AV_PIX_FMT_YUV420P: return AV_PIX_FMT_YUVJ420P;
        case AV_PIX_FMT_YUV422P: return AV_PIX_FMT_YUVJ422P;
        case AV_PIX_FMT_YUV444P: return AV_PIX_FMT_YUVJ444P;
        default: return fmt;
    }
}

}  // namespace

int TCustomFFmpeg::OpenOutput(const TPathFileName& fileName, bool join) {
    errorText_.clear();
    TOptionState& o = options_->State();
    auto of = std::make_unique<OutputFile>();
    of->fileName = fileName;
    bool registered = false;
    try {
        if (joinMode_) fail("Cannot join more than one output file.");
        if (static_cast<int>(outputs_.size()) >= maxFiles_)
            fail(Format("max output files %d reached", maxFiles_));
        const std::string url = FileNameToUrl(fileName);
        const AVOutputFormat* ofmt = nullptr;
        if (!o.ForcedFormat.empty()) {
            ofmt = lav::av_guess_format(o.ForcedFormat.c_str(), nullptr, nullptr);
            if (!ofmt)
                fail(Format("Requested output format '%s' is not a suitable output format",
                            o.ForcedFormat.c_str()));
        } else {
            ofmt = lav::av_guess_format(nullptr, url.c_str(), nullptr);
            if (!ofmt)
                fail(Format("Unable to find a suitable output format for '%s'", url.c_str()));
        }
        o.ForcedFormat.clear();
        if (lav::avformat_alloc_output_context2(&of->ctx, ofmt, nullptr, url.c_str()) < 0 ||
            !of->ctx)
            fail("avformat_alloc_context failed");
        outputs_.push_back(std::move(of));
        registered = true;
        OutputFile& out = *outputs_.back();
        out.join = join && inputs_.size() > 1;  // its streams come from the first input

        // Never write over an input: the file would be truncated before it is read.
        for (int i = 0; i < InputCount(); ++i)
            if (SameFile(fileName, inputs_[static_cast<size_t>(i)]->fileName))
                fail(
                    Format("%s: the output file is the same file as input #%d; choose another "
                           "name or folder",
                           fileName.toUtf8().constData(), i));

        const bool videoNamed = o.VideoStreamCopy || !o.VideoCodecName.empty();
        // A sound container's picture codec is for covers: a video never becomes one, and a
        // music file's cover becomes a video only in a container made for video.
        bool useVideo =
            videoNamed || (ofmt->video_codec != AV_CODEC_ID_NONE && !isSoundContainer(ofmt));
        bool useAudio = o.AudioStreamCopy || !o.AudioCodecName.empty() ||
                        ofmt->audio_codec != AV_CODEC_ID_NONE;
        bool useSubtitle = false;
        const AVStream* coverOf = nullptr;  // a cover picture to copy
        out.emptyReason =
            EmptyOutputReason(useVideo && !o.VideoDisable, useAudio && !o.AudioDisable);
        if (!inputs_.empty()) {
            const size_t examined = join && inputs_.size() > 1 ? 1 : inputs_.size();
            bool hasVideo = false, hasAudio = false;
            for (size_t i = 0; i < examined; ++i) {
                const AVFormatContext* ic = inputs_[i]->ctx;
                for (unsigned k = 0; k < ic->nb_streams; ++k) {
                    const AVStream* st = ic->streams[k];
                    const AVMediaType type = st->codecpar->codec_type;
                    if (type < AVMEDIA_TYPE_UNKNOWN || type >= AVMEDIA_TYPE_NB)
                        fail("check_audio_video_sub_inputs fail: invalid codec_type of input file");
                    hasAudio |= type == AVMEDIA_TYPE_AUDIO;
                    if (type != AVMEDIA_TYPE_VIDEO || st->discard == AVDISCARD_ALL) continue;
                    if (!o.VideoStreamCopy && HasNoPictures(st)) {
                        if (useVideo && !o.VideoDisable)
                            Log(llInfo,
                                Format("Input #%d stream #%u (Video) holds no pictures "
                                       "to decode: left out of %s",
                                       static_cast<int>(i), k, fileName.toUtf8().constData()));
                        continue;
                    }
                    hasVideo = true;
                }
            }
            useVideo &= hasVideo;
            useAudio &= hasAudio;
            // A music file's cover goes along, as it is, into a sound container that holds
            // pictures of its kind; a moving picture never does.
            if (!useVideo && !videoNamed && !o.VideoDisable && !join && isSoundContainer(ofmt))
                for (size_t i = 0; i < examined && !coverOf; ++i)
                    for (unsigned k = 0; k < inputs_[i]->ctx->nb_streams && !coverOf; ++k) {
                        const AVStream* st = inputs_[i]->ctx->streams[k];
                        if ((st->disposition & AV_DISPOSITION_ATTACHED_PIC) &&
                            st->discard != AVDISCARD_ALL && takesCover(ofmt, st->codecpar->codec_id))
                            coverOf = st;
                    }
            for (size_t i = 0; i < examined && !useSubtitle; ++i)
                useSubtitle = PreferredStream(inputs_[i]->ctx, AVMEDIA_TYPE_SUBTITLE) >= 0;
        } else {
            useSubtitle = o.SubtitleStreamCopy || !o.SubtitleCodecName.empty() ||
                          ofmt->subtitle_codec != AV_CODEC_ID_NONE;
        }
        if (o.VideoDisable) useVideo = false;
        if (o.AudioDisable) useAudio = false;
        if (o.SubtitleDisable) useSubtitle = false;

        auto create = [&](void (TCustomFFmpeg::*make)(OutputFile&), const char* what) {
            try {
                (this->*make)(out);
            } catch (const FFmpegException& e) {
                fail(Format("%s fail: %s", what, e.what()));
            }
        };
        if (useVideo) create(&TCustomFFmpeg::newVideoStream, "new_video_stream");
        if (useAudio) create(&TCustomFFmpeg::newAudioStream, "new_audio_stream");
        if (useSubtitle) create(&TCustomFFmpeg::newSubtitleStream, "new_subtitle_stream");
        if (coverOf && useAudio) {
            o.VideoStreamCopy = true;
            create(&TCustomFFmpeg::newVideoStream, "new_video_stream");
            out.streams.back()->cover = true;
        }

        if (o.RecordingTimestamp > 0) {
            char iso[64];
            const time_t t = static_cast<time_t>(o.RecordingTimestamp);
            struct tm utc;
            ::gmtime_r(&t, &utc);
            std::strftime(iso, sizeof iso, "%Y-%m-%dT%H:%M:%S.000000Z", &utc);
            lav::av_dict_set(&out.ctx->metadata, "creation_time", iso, 0);
        }
        for (auto it = o.Metadata.rbegin(); it != o.Metadata.rend(); ++it)
            lav::av_dict_set(&out.ctx->metadata, it->first.c_str(), it->second.c_str(), 0);
        o.Metadata.clear();

        if ((ofmt->flags & AVFMT_NEEDNUMBER) &&
            !lav::av_filename_number_test(url.c_str()))
            fail(fileName.toStdString() + ": " + LibraryErrorText(AVERROR(EDOM)));
        if (!(ofmt->flags & AVFMT_NOFILE)) {
            const int ret = checkWritable(fileName);
            if (ret < 0) fail(fileName.toStdString() + ": " + LibraryErrorText(ret));
        }

        out.muxPreload = o.MuxPreload;
        out.muxMaxDelay = o.MuxMaxDelay;
        out.ctx->max_delay = static_cast<int>(std::lround(o.MuxMaxDelay * AV_TIME_BASE));
        out.formatOptions = options_->FormatOptionsFor(ofmt->priv_class, true);
        if (ofmt->priv_class && lav::av_opt_find(const_cast<AVClass**>(&ofmt->priv_class), "preload", nullptr, 0,
                                                 AV_OPT_SEARCH_FAKE_OBJ))
            lav::av_dict_set_int(&out.formatOptions, "preload",
                                 std::lround(o.MuxPreload * AV_TIME_BASE),
                                 AV_DICT_DONT_OVERWRITE);
        if (o.LoopOutput >= 0 && ofmt->priv_class &&
            lav::av_opt_find(const_cast<AVClass**>(&ofmt->priv_class), "loop", nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ))
            lav::av_dict_set_int(&out.formatOptions, "loop", o.LoopOutput, 0);
        o.StreamIdMap = {};

        if (join && inputs_.size() > 1) {
            joinMode_ = true;
            out.join = true;
            int64_t sum = 0;
            for (const auto& in : inputs_)
                if (in->ctx->duration != AV_NOPTS_VALUE && in->ctx->duration > 0)
                    sum += in->ctx->duration;
            totalDuration_ = sum > 0 ? sum : -1;
        }
        return OutputCount();
    } catch (const std::exception& e) {
        if (registered) {
            releaseOutput(*outputs_.back(), false);
            outputs_.pop_back();
        } else {
            releaseOutput(*of, false);
        }
        errorText_ = e.what();
        return -1;
    }
}

OutputStream& TCustomFFmpeg::newOutputStream(OutputFile& of, AVMediaType type) {
    const TOptionState& o = options_->State();
    if (static_cast<int>(of.streams.size()) >= kMaxStreamsPerFile) fail("Could not alloc stream");
    AVStream* st = lav::avformat_new_stream(of.ctx, nullptr);
    if (!st) fail("Could not alloc stream");
    const int index = static_cast<int>(of.streams.size());
    if (o.StreamIdMap[static_cast<size_t>(index)]) st->id = o.StreamIdMap[static_cast<size_t>(index)];
    st->codecpar->codec_type = type;
    auto ost = std::make_unique<OutputStream>();
    ost->fileIndex = static_cast<int>(outputs_.size()) - 1;
    ost->index = index;
    ost->st = st;
    ost->type = type;
    ost->pkt = lav::av_packet_alloc();
    of.streams.push_back(std::move(ost));
    return *of.streams.back();
}

namespace {

// Applies the accepted library options to a new encoder context; what the context does not
// know stays in *options for avcodec_open2 to report.
// Also lets the library choose the number of threads, as the ffmpeg program does, unless an
// option says otherwise.
void applyEncoderOptions(AVCodecContext* enc, AVDictionary** options) {
    enc->thread_count = 0;
    if (*options) lav::av_opt_set_dict2(enc, options, AV_OPT_SEARCH_CHILDREN);
}

void setLanguage(AVStream* st, std::string& language) {
    if (!language.empty()) lav::av_dict_set(&st->metadata, "language", language.c_str(), 0);
    language.clear();
}

}  // namespace

// The encoder named for the stream, else the container's choice for its kind (null when the
// container has none and `required` is false).
const AVCodec* TCustomFFmpeg::encoderFor(const OutputFile& of, const OutputStream& ost,
                                         const std::string& name, bool required) const {
    if (const AVCodec* codec = findCodec(name, ost.type, true, of.ctx->strict_std_compliance))
        return codec;
    const AVCodecID id =
        lav::av_guess_codec(of.ctx->oformat, nullptr, of.ctx->url, nullptr, ost.type);
    const AVCodec* codec = lav::avcodec_find_encoder(id);
    if (!codec && required)
        fail(Format("Encoder (codec id %d) not found for output stream #%d.%d (%s)",
                    static_cast<int>(id), ost.fileIndex, ost.index, MediaTypeName(ost.type)));
    return codec;
}

void TCustomFFmpeg::newVideoStream(OutputFile& of) {
    TOptionState& o = options_->State();
    OutputStream& ost = newOutputStream(of, AVMEDIA_TYPE_VIDEO);
    ost.bsfNames = std::move(o.VideoBitstreamFilters);
    o.VideoBitstreamFilters.clear();
    AVStream* st = ost.st;
    if (o.VideoCodecTag) st->codecpar->codec_tag = o.VideoCodecTag;
    const double aspect = o.FrameAspectRatio;
    auto sampleAspect = [&](int w, int h) {
        if (aspect <= 0) return AVRational{0, 1};
        const double v = w > 0 && h > 0 ? aspect * h / w : aspect * 3.0 / 4.0;
        AVRational r{0, 1};
        lav::av_reduce(&r.num, &r.den, std::llround(v * 255 * 255), 255 * 255, 255);
        return r;
    };
    if (o.VideoStreamCopy) {
        ost.copy = true;
        st->sample_aspect_ratio = sampleAspect(o.FrameWidth, o.FrameHeight);
    } else {
        AVRational rate = o.FrameRate.num > 0 && o.FrameRate.den > 0 ? o.FrameRate : AVRational{25, 1};
        const AVCodec* codec = encoderFor(of, ost, o.VideoCodecName);
        ost.codec = codec;
        ost.encoding = true;
        AVCodecContext* enc = lav::avcodec_alloc_context3(codec);
        if (!enc) fail("Could not alloc stream");
        ost.enc = enc;
        // The stream's parameters are copied from the encoder when it opens: the tag must be the
        // encoder's too, or it is lost.
        enc->codec_tag = o.VideoCodecTag;
        ost.encoderOptions = options_->CodecOptionsFor(AVMEDIA_TYPE_VIDEO, codec, true);
        applyEncoderOptions(enc, &ost.encoderOptions);
        if (CountsFromCommonStart(of.ctx->oformat) && enc->max_b_frames != 0) {
            // Reordered pictures come out of the decoder late by the reordering delay, which
            // such a container cannot state: the sound would lead by it.
            enc->max_b_frames = 0;
            Log(llInfo, Format("No B-frames for %s in %s: the container cannot state their delay",
                               codec->name, of.ctx->oformat->name));
        }
        if (codec->supported_framerates && !o.ForceFps)
            rate = codec->supported_framerates[lav::av_find_nearest_q_idx(
                rate, codec->supported_framerates)];
        enc->framerate = rate;
        enc->time_base = AVRational{rate.den, rate.num};
        if (enc->time_base.den > 65535 && codec->id == AV_CODEC_ID_MPEG4)
            lav::av_reduce(&enc->time_base.num, &enc->time_base.den, enc->time_base.num,
                           enc->time_base.den, 65535);

        AVPixelFormat fmt = o.FramePixFmt == AV_PIX_FMT_NONE ? AV_PIX_FMT_YUV420P : o.FramePixFmt;
        if (codec->pix_fmts) {
            bool listed = false;
            for (const AVPixelFormat* p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p)
                listed |= *p == fmt;
            // Not a closest match: the encoder's first format is the one every player of its
            // streams decodes (an RGB or 10-bit source would otherwise give 4:4:4 or 10-bit).
            if (!listed) fmt = codec->pix_fmts[0];
        }
        if (codec->id == AV_CODEC_ID_MJPEG) fmt = jpegRange(fmt);
        enc->pix_fmt = fmt;

        int w = o.FrameWidth, h = o.FrameHeight;
        const int align = sizeAlignment(codec, fmt);
        if (const int most = largestSide(codec); most > 0 && std::max(w, h) > most) {
            // Shrunk to fit, in proportion, rather than refused by the encoder.
            const double scale = static_cast<double>(most) / std::max(w, h);
            const int sw = std::max(1, static_cast<int>(w * scale));
            const int sh = std::max(1, static_cast<int>(h * scale));
            Log(llInfo, Format("Frame size %dx%d reduced to %dx%d, the largest encoder %s takes", w,
                               h, sw, sh, codec->name));
            w = sw;
            h = sh;
        }
        if (align > 1 && w > 0 && h > 0 && (w % align || h % align)) {
            // Down, except a side shorter than the step (a 1-pixel line), which grows to it.
            const int aw = std::max(align, w / align * align);
            const int ah = std::max(align, h / align * align);
            Log(llInfo, Format("Frame size %dx%d rounded to %dx%d for encoder %s", w, h, aw, ah,
                               codec->name));
            w = aw;
            h = ah;
        }
        if (w <= 0 || h <= 0) fail("Incorrect frame size");
        enc->width = w;
        enc->height = h;
        enc->sample_aspect_ratio = sampleAspect(w, h);
        st->sample_aspect_ratio = enc->sample_aspect_ratio;
        if (o.IntraOnly) enc->gop_size = 0;
        if (o.VideoQScale > 0 || o.SameQuality) {
            enc->flags |= AV_CODEC_FLAG_QSCALE;
            enc->global_quality = static_cast<int>(FF_QP2LAMBDA * (o.VideoQScale > 0 ? o.VideoQScale : 1));
        }
        if (o.IntraMatrix) {
            enc->intra_matrix = static_cast<uint16_t*>(lav::av_malloc(64 * sizeof(uint16_t)));
            std::memcpy(enc->intra_matrix, o.IntraMatrix->data(), 64 * sizeof(uint16_t));
        }
        if (o.InterMatrix) {
            enc->inter_matrix = static_cast<uint16_t*>(lav::av_malloc(64 * sizeof(uint16_t)));
            std::memcpy(enc->inter_matrix, o.InterMatrix->data(), 64 * sizeof(uint16_t));
        }
        if (!o.RcOverride.empty()) {
            std::vector<RcOverride> groups;
            std::string text = o.RcOverride;
            for (size_t pos = 0; pos <= text.size();) {
                const size_t slash = text.find('/', pos);
                const std::string group = text.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
                int start, end, q;
                if (std::sscanf(group.c_str(), "%d,%d,%d", &start, &end, &q) != 3)
                    fail("error parsing rc_override");
                RcOverride r{};
                r.start_frame = start;
                r.end_frame = end;
                if (q > 0) {
                    r.qscale = q;
                    r.quality_factor = 1.0f;
                } else {
                    r.qscale = 0;
                    r.quality_factor = -q / 100.0f;
                }
                groups.push_back(r);
                if (slash == std::string::npos) break;
                pos = slash + 1;
            }
            enc->rc_override = static_cast<RcOverride*>(
                lav::av_malloc(groups.size() * sizeof(RcOverride)));
            std::memcpy(enc->rc_override, groups.data(), groups.size() * sizeof(RcOverride));
            enc->rc_override_count = static_cast<int>(groups.size());
        }
        enc->intra_dc_precision = o.IntraDcPrecision - 8;
        if (o.DoPsnr) enc->flags |= AV_CODEC_FLAG_PSNR;
        if (o.DoPass == 1) enc->flags |= AV_CODEC_FLAG_PASS1;
        if (o.DoPass == 2) enc->flags |= AV_CODEC_FLAG_PASS2;
        if ((o.VideoGlobalHeader & 1) ||
            (o.VideoGlobalHeader == 0 && (of.ctx->oformat->flags & AVFMT_GLOBALHEADER)))
            enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (o.VideoGlobalHeader & 2) enc->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
        if (o.TopFieldFirst >= 0) enc->field_order = o.TopFieldFirst ? AV_FIELD_TT : AV_FIELD_BB;
        ost.cropTop = o.CropTop;
        ost.cropBottom = o.CropBottom;
        ost.cropLeft = o.CropLeft;
        ost.cropRight = o.CropRight;
        ost.deinterlace = o.DoDeinterlace;
        ost.filters = o.VideoFilters;
        ost.swsFlags = static_cast<unsigned>(options_->ScalerFlags());
    }
    setLanguage(st, o.VideoLanguage);
    o.VideoDisable = false;
    o.VideoCodecName.clear();
    o.VideoStreamCopy = false;
    o.FramePixFmt = AV_PIX_FMT_NONE;
}

void TCustomFFmpeg::newAudioStream(OutputFile& of) {
    TOptionState& o = options_->State();
    OutputStream& ost = newOutputStream(of, AVMEDIA_TYPE_AUDIO);
    ost.bsfNames = std::move(o.AudioBitstreamFilters);
    o.AudioBitstreamFilters.clear();
    AVStream* st = ost.st;
    if (o.AudioCodecTag) st->codecpar->codec_tag = o.AudioCodecTag;
    if (o.AudioStreamCopy) {
        ost.copy = true;
    } else if (o.AudioCodecName == AmrNbEncoder::kName) {
        // Encoded by our own AMR-NB encoder; the context is never opened.
        ost.encoding = true;
        AVCodecContext* enc = lav::avcodec_alloc_context3(nullptr);
        if (!enc) fail("Could not alloc stream");
        ost.enc = enc;
        ost.encoderOptions = options_->CodecOptionsFor(AVMEDIA_TYPE_AUDIO, nullptr, true);
        applyEncoderOptions(enc, &ost.encoderOptions);
        lav::av_dict_free(&ost.encoderOptions);
        enc->codec_type = AVMEDIA_TYPE_AUDIO;
        enc->codec_id = AV_CODEC_ID_AMR_NB;
        enc->sample_fmt = AV_SAMPLE_FMT_S16;
        enc->sample_rate = AmrNbEncoder::kSampleRate;
        enc->frame_size = AmrNbEncoder::kFrameSamples;
        lav::av_channel_layout_uninit(&enc->ch_layout);
        lav::av_channel_layout_default(&enc->ch_layout, 1);
        enc->time_base = AVRational{1, AmrNbEncoder::kSampleRate};
        ost.amr = std::make_unique<AmrNbEncoder>(enc->bit_rate);
        if (!ost.amr->ok()) fail(Format("Unknown encoder '%s'", AmrNbEncoder::kName));
        enc->bit_rate = ost.amr->modeBitRate();
    } else {
        const AVCodec* codec = encoderFor(of, ost, o.AudioCodecName);
        ost.codec = codec;
        ost.encoding = true;
        AVCodecContext* enc = lav::avcodec_alloc_context3(codec);
        if (!enc) fail("Could not alloc stream");
        ost.enc = enc;
        enc->codec_tag = o.AudioCodecTag;  // as for video: kept through the encoder
        ost.encoderOptions = options_->CodecOptionsFor(AVMEDIA_TYPE_AUDIO, codec, true);
        applyEncoderOptions(enc, &ost.encoderOptions);
        if (o.AudioQScale > -99999) {
            enc->flags |= AV_CODEC_FLAG_QSCALE;
            enc->global_quality = static_cast<int>(FF_QP2LAMBDA * o.AudioQScale);
        }
        // Channels and layout.
        const int channels = o.AudioChannels > 0 ? o.AudioChannels : 2;
        AVChannelLayout layout{};
        if (o.AudioChannelLayout.nb_channels == channels &&
            o.AudioChannelLayout.order != AV_CHANNEL_ORDER_UNSPEC)
            lav::av_channel_layout_copy(&layout, &o.AudioChannelLayout);
        else
            lav::av_channel_layout_default(&layout, channels);
        if (codec->ch_layouts) {
            const AVChannelLayout* best = nullptr;
            for (const AVChannelLayout* l = codec->ch_layouts; l->nb_channels; ++l) {
                if (lav::av_channel_layout_compare(l, &layout) == 0) {
                    best = l;
                    break;
                }
                // Otherwise the most channels up to the wanted number, else the fewest above.
                if (!best || (l->nb_channels <= channels &&
                              (best->nb_channels > channels || l->nb_channels > best->nb_channels)) ||
                    (l->nb_channels > channels && best->nb_channels > channels &&
                     l->nb_channels < best->nb_channels))
                    best = l;
            }
            if (best && lav::av_channel_layout_compare(best, &layout) != 0) {
                lav::av_channel_layout_uninit(&layout);
                lav::av_channel_layout_copy(&layout, best);
            }
        }
        lav::av_channel_layout_uninit(&enc->ch_layout);
        enc->ch_layout = layout;
        // Sample format.
        AVSampleFormat fmt = o.AudioSampleFmt;
        if (codec->sample_fmts) {
            bool listed = false;
            for (const AVSampleFormat* p = codec->sample_fmts; *p != AV_SAMPLE_FMT_NONE; ++p)
                listed |= *p == fmt;
            if (!listed) fmt = codec->sample_fmts[0];
        } else if (fmt == AV_SAMPLE_FMT_NONE) {
            fmt = AV_SAMPLE_FMT_S16;
        }
        enc->sample_fmt = fmt;
        // Sample rate: the nearest supported one.
        int rate = o.AudioSampleRate > 0 ? o.AudioSampleRate : 44100;
        if (codec->supported_samplerates) {
            int best = codec->supported_samplerates[0];
            for (const int* r = codec->supported_samplerates; *r; ++r)
                if (std::abs(*r - rate) < std::abs(best - rate)) best = *r;
            if (best != rate)
                Log(llWarning,
                    Format("Requested sampling rate unsupported using closest supported (%d)", best));
            rate = best;
        }
        enc->sample_rate = rate;
        enc->time_base = AVRational{1, rate};
        if (of.ctx->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        // FLAC in MP4 is still marked experimental by the muxer.
        if (codec->id == AV_CODEC_ID_FLAC && std::strcmp(of.ctx->oformat->name, "mp4") == 0)
            of.ctx->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;
    }
    setLanguage(st, o.AudioLanguage);
    o.AudioDisable = false;
    o.AudioCodecName.clear();
    o.AudioStreamCopy = false;
}

void TCustomFFmpeg::newSubtitleStream(OutputFile& of) {
    TOptionState& o = options_->State();
    auto reset = [&] {
        o.SubtitleDisable = false;
        o.SubtitleCodecName.clear();
        o.SubtitleStreamCopy = false;
        o.SubtitleLanguage.clear();
        o.SubtitleBitstreamFilters.clear();
    };
    // What becomes of the subtitles the conversion will take (the first input that has any; in
    // join mode only the first input is examined). A subtitle stream never fails a task: what
    // the container cannot hold is left out with one log line.
    const AVStream* source = nullptr;
    for (const auto& in : inputs_) {
        const int index = PreferredStream(in->ctx, AVMEDIA_TYPE_SUBTITLE);
        if (index >= 0) {
            source = in->ctx->streams[index];
            break;
        }
        if (of.join) break;
    }
    SubtitlePlan plan;
    if (source) {
        const AVCodec* forced = o.SubtitleStreamCopy
                                    ? nullptr
                                    : findCodec(o.SubtitleCodecName, AVMEDIA_TYPE_SUBTITLE, true,
                                                of.ctx->strict_std_compliance);
        plan = PlanSubtitles(of.ctx->oformat, source->codecpar, forced, o.SubtitleStreamCopy);
        if (plan.kind == SubtitlePlan::Leave) {
            Log(llInfo,
                Format("Subtitle stream #%d left out: %s", source->index, plan.reason.c_str()));
            reset();
            return;
        }
    }
    OutputStream& ost = newOutputStream(of, AVMEDIA_TYPE_SUBTITLE);
    ost.bsfNames = std::move(o.SubtitleBitstreamFilters);
    o.SubtitleBitstreamFilters.clear();
    if (o.SubtitleCodecTag) ost.st->codecpar->codec_tag = o.SubtitleCodecTag;
    const AVCodec* codec = nullptr;
    if (source) {
        ost.copy = plan.kind == SubtitlePlan::Copy;
        codec = plan.encoder;
    } else if (o.SubtitleStreamCopy) {
        ost.copy = true;
    } else {
        codec = encoderFor(of, ost, o.SubtitleCodecName, false);
        ost.copy = !codec;  // no subtitle encoder for this container: copied when it can be
    }
    if (codec) {
        ost.codec = codec;
        ost.encoding = true;
        ost.enc = lav::avcodec_alloc_context3(codec);
        if (!ost.enc) fail("Could not alloc stream");
        ost.encoderOptions = options_->CodecOptionsFor(AVMEDIA_TYPE_SUBTITLE, codec, true);
        applyEncoderOptions(ost.enc, &ost.encoderOptions);
    }
    setLanguage(ost.st, o.SubtitleLanguage);
    reset();
}

void TCustomFFmpeg::NewStream(AVMediaType type) {
    if (outputs_.empty()) fail("At least one output file must be specified");
    OutputFile& of = *outputs_.back();
    switch (type) {
        case AVMEDIA_TYPE_VIDEO: newVideoStream(of); break;
        case AVMEDIA_TYPE_AUDIO: newAudioStream(of); break;
        case AVMEDIA_TYPE_SUBTITLE: newSubtitleStream(of); break;
        default: fail("invalid codec_type");
    }
}

void TCustomFFmpeg::releaseOutput(OutputFile& of, bool deleteIfEmptyAndOurs) {
    for (auto& ost : of.streams) {
        ost->video.reset();
        ost->audio.reset();
        ost->amr.reset();
        lav::av_frame_free(&ost->lastPicture);
        if (ost->enc) {
            lav::av_freep(&ost->enc->stats_in);  // ours (the pass-2 log), not the library's
            if (ost->encoderOpen) {
                CodecLockGuard lock;
                lav::avcodec_free_context(&ost->enc);
                --openCodecs_;
            } else {
                lav::avcodec_free_context(&ost->enc);
            }
            ost->encoderOpen = false;
        }
        for (AVBSFContext*& b : ost->bsfs) lav::av_bsf_free(&b);
        ost->bsfs.clear();
        lav::av_dict_free(&ost->encoderOptions);
        if (ost->passLog) {
            std::fclose(ost->passLog);
            ost->passLog = nullptr;
        }
        lav::av_packet_free(&ost->pkt);
    }
    lav::av_dict_free(&of.formatOptions);
    if (of.ctx) {
        if (of.ctx->pb) CloseMediaOutput(of.ctx);
        lav::avformat_free_context(of.ctx);
        of.ctx = nullptr;
    }
    // A temporary file still there was not finished: it goes in every case, wherever its folder
    // has gone meanwhile.
    if (!of.temporaryName.isEmpty()) RemoveTemporary(of.folderFd, of.temporaryName);
    of.temporaryName.clear();
    if (of.folderFd >= 0) ::close(of.folderFd);
    of.folderFd = -1;
    // Only a regular file this task created, and only when nothing was written into it.
    if (deleteIfEmptyAndOurs && of.created && !of.existedBefore && IsRegularFile(of.fileName) &&
        GetFileSize(of.fileName) == 0)
        ::unlink(NativeFileName(of.fileName).constData());
}
