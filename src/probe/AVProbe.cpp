#include "AVProbe.h"

#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <vector>

#include <sys/stat.h>

#include "engine/FFUtils.h"
#include "engine/UnicodeProtocol.h"
#include "medialib/LibAV.h"

namespace {

int32_t clampToInt32(int64_t v) {
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

std::string tagValue(const AVDictionary* tags, const char* key) {
    const AVDictionaryEntry* e = tags ? lav::av_dict_get(tags, key, nullptr, 0) : nullptr;
    return e && e->value ? std::string(e->value) : std::string();
}

// Leading decimal number of a tag ("2019-05-01" → 2019, "3/12" → 3); 0 when there is none.
int32_t leadingNumber(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    int64_t v = 0;
    bool any = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && v < INT32_MAX; ++i) {
        v = v * 10 + (text[i] - '0');
        any = true;
    }
    return any ? clampToInt32(v) : 0;
}

std::string trimSpaces(const char* text) {
    if (!text) return {};
    std::string s(text);
    const size_t first = s.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// A stream's time base made safe for rescaling: a zero denominator becomes the numerator, or
// 1 when that is zero too. Works on a copy; the stream is never written.
AVRational usableTimeBase(AVRational tb) {
    if (tb.den == 0) tb.den = tb.num != 0 ? tb.num : 1;
    return tb;
}

int64_t toMicroseconds(int64_t value, AVRational tb) {
    return lav::av_rescale_q(value, usableTimeBase(tb), AVRational{1, 1000000});
}

// The text avcodec_string gives for the stream's parameters. The codec context is temporary:
// the parameters are the only public source, and nothing is shared with the stream's owner.
std::string codecString(const AVCodecParameters* par) {
    AVCodecContext* ctx = lav::avcodec_alloc_context3(nullptr);
    if (!ctx) return "unknown";
    char buf[256] = {};
    if (lav::avcodec_parameters_to_context(ctx, par) >= 0) {
        // The coded size is not a public stream fact; equal sizes keep the verbose-level
        // "(WxH)" suffix out of the text instead of printing a made-up "(0x0)".
        ctx->coded_width = ctx->width;
        ctx->coded_height = ctx->height;
        lav::avcodec_string(buf, sizeof buf, ctx, 0);
    } else {
        std::snprintf(buf, sizeof buf, "%s", "unknown");
    }
    lav::avcodec_free_context(&ctx);
    return buf;
}

// ID3v2 frame ids as tag keys, and what the text shows instead.
constexpr struct {
    const char* id;
    const char* shown;
} kKeys[] = {
    {"TALB", "album"},     {"TAL", "album"},      {"TCOM", "composer"},  {"TCON", "genre"},
    {"TCO", "genre"},      {"TCOP", "copyright"}, {"TDRL", "date"},      {"TENC", "encoder"},
    {"TEN", "encoder"},    {"TIT2", "title"},     {"TT2", "title"},      {"TLAN", "language"},
    {"TPE1", "artist"},    {"TP1", "artist"},     {"TPOS", "disc"},      {"TPUB", "publisher"},
    {"TRCK", "track"},     {"TRK", "track"},      {"TSOA", "albumsort"}, {"TSOP", "authorsort"},
    {"TSOT", "titlesort"}, {"TYER", "year"},
};

const char* translateKey(const char* key) {
    for (const auto& k : kKeys)
        if (std::strcmp(key, k.id) == 0) return k.shown;
    return key;
}

// "yyyy-mm-dd hh:nn:ss" of seconds since 1970 in local time, with the offset in force at that
// moment (summer time included), as every other time the program shows and the time stamp a
// user gives an output.
std::string localTime(int64_t seconds) {
    return FormatDateTime("yyyy-mm-dd hh:nn:ss", UnixToLocalDateTime(seconds));
}

void appendLine(std::string* text, const std::string& line) {
    *text += line;
    *text += "\r\n";
}

template <typename Record>
void fillCommon(const AVStream* st, Record* info) {
    info->Language = tagValue(st->metadata, "language");
    info->CodecName = avprobe::CodecDescription(st->codecpar);
    info->RawStartTime = st->start_time;
    info->RawDuration = st->duration;
    info->StartTime =
        st->start_time != AV_NOPTS_VALUE ? toMicroseconds(st->start_time, st->time_base) : -1;
    info->Duration =
        st->duration != AV_NOPTS_VALUE ? toMicroseconds(st->duration, st->time_base) : -1;
}

}  // namespace

namespace avprobe {

std::string CodecDescription(const AVCodecParameters* par, bool encoderSide) {
    if (!par) return {};
    const AVCodec* codec = encoderSide ? lav::avcodec_find_encoder(par->codec_id)
                                       : lav::avcodec_find_decoder(par->codec_id);
    if (codec) {
        const std::string longName = trimSpaces(codec->long_name);
        return longName.empty() ? std::string(codec->name)
                                : Format("%s(%s)", codec->name, longName.c_str());
    }
    if (par->codec_id == AV_CODEC_ID_MPEG2TS) return "mpeg2ts";
    if (const AVCodecDescriptor* desc = lav::avcodec_descriptor_get(par->codec_id)) {
        const std::string name = trimSpaces(desc->name);
        if (!name.empty()) return name;
    }
    const uint32_t tag = par->codec_tag;
    bool printable = true;
    for (int i = 0; i < 4; ++i) {
        const uint32_t c = (tag >> (8 * i)) & 0xff;
        printable = printable && c >= 32 && c <= 126;
    }
    if (printable)
        return Format("%c%c%c%c / 0x%04X", static_cast<char>(tag & 0xff),
                      static_cast<char>((tag >> 8) & 0xff), static_cast<char>((tag >> 16) & 0xff),
                      static_cast<char>((tag >> 24) & 0xff), tag);
    return Format("0x%04x", tag);
}

std::string SecondsText(int64_t us) {
    const bool negative = us < 0;
    const uint64_t v = negative ? 0 - static_cast<uint64_t>(us) : static_cast<uint64_t>(us);
    return Format("%s%" PRIu64 ".%06" PRIu64, negative ? "-" : "", v / 1000000, v % 1000000);
}

std::string TagBlock(const AVDictionary* tags, const std::string& indent) {
    if (!tags) return {};
    const int count = lav::av_dict_count(tags);
    if (count == 0 || (count == 1 && lav::av_dict_get(tags, "language", nullptr, 0))) return {};
    std::string out;
    appendLine(&out, indent + "Metadata:");
    const AVDictionaryEntry* tag = nullptr;
    while ((tag = lav::av_dict_get(tags, "", tag, AV_DICT_IGNORE_SUFFIX))) {
        if (std::strcmp(tag->key, "language") == 0) continue;
        std::string line = Format("%s  %-16s: ", indent.c_str(), translateKey(tag->key));
        // As the library's own dump does: CR reads as a space, LF continues the value on a
        // line of its own, other vertical controls are dropped; no line break leaks out.
        for (const char* p = tag->value ? tag->value : ""; *p; ++p) {
            switch (*p) {
                case '\r':
                    line += ' ';
                    break;
                case '\n':
                    appendLine(&out, line);
                    line = Format("%s  %-16s: ", indent.c_str(), "");
                    break;
                case '\b':
                case '\v':
                case '\f':
                    break;
                default:
                    line += *p;
            }
        }
        appendLine(&out, line);
    }
    return out;
}

std::string BitRateText(int32_t bitRate) {
    return bitRate < 1 ? std::string("N/A") : Format("%d kb/s", bitRate / 1000);
}

std::string RateText(double rate, const char* unit) {
    const int64_t v = std::lrintf(static_cast<float>(rate * 100));
    if (v == 0) return Format(", %1.4f %s", rate, unit);
    if (v % 100) return Format(", %3.2f %s", rate, unit);
    if (v % (100 * 1000)) return Format(", %1.0f %s", rate, unit);
    return Format(", %1.0fk %s", rate / 1000, unit);
}

}  // namespace avprobe

TCustomAVProbe::TCustomAVProbe() = default;

TCustomAVProbe::~TCustomAVProbe() { Close(); }

void TCustomAVProbe::report(TLogLevel level, const std::string& text) {
    lastError_ = text;
    GetLogger()->LogMessage(this, level, text);
}

void TCustomAVProbe::checkLibraries() const {
    const TFFmpegLoader& loader = FFLoader();
    if (!loader.IsLoaded(TLibraryKind::avcodec)) throw std::runtime_error("LibAVCodec not loaded.");
    if (!loader.IsLoaded(TLibraryKind::avformat))
        throw std::runtime_error("LibAVFormat not loaded.");
    if (!loader.IsLoaded(TLibraryKind::avutil)) throw std::runtime_error("LibAVUtil not loaded.");
    if (!loader.IsLoaded(TLibraryKind::swscale)) throw std::runtime_error("LibSwScale not loaded.");
}

bool TCustomAVProbe::LoadFile(const TPathFileName& fileName, const std::string& formatName) {
    checkLibraries();
    Close();
    const std::string name8 = fileName.toUtf8().toStdString();
    const AVInputFormat* format = nullptr;
    if (!formatName.empty()) {
        format = lav::av_find_input_format(formatName.c_str());
        if (!format) {
            store(Format("Unknown input format: %s", formatName.c_str()));
            return false;
        }
    }
    // Opening a FIFO or a device would block (or never end); a folder cannot be read. Only a
    // regular file (or a name that does not exist, which the open reports) goes further.
    const QString real = fileName.startsWith(QLatin1String(kUnicodePrefix))
                             ? UrlToFileName(NativeFileName(fileName).toStdString())
                             : fileName;
    struct stat st;
    if (::stat(NativeFileName(real).constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        report(llError,
               name8 + (S_ISDIR(st.st_mode) ? ": Is a directory" : ": Not a regular file"));
        return false;
    }
    AVDictionary* options = nullptr;
    // Every program of a transport stream, as the reference tools read it.
    lav::av_dict_set(&options, "scan_all_pmts", "1", 0);
    AVFormatContext* ic = nullptr;
    const int ret = OpenMediaInput(&ic, fileName, format, &options);
    lav::av_dict_free(&options);
    if (ret < 0) {
        // Nothing is open: OpenMediaInput has released what it made.
        report(llError, name8 + ": " + LibraryErrorText(ret));
        Close();
        return false;
    }
    context_ = ic;
    ownsContext_ = true;
    if (lav::avformat_find_stream_info(ic, nullptr) < 0) {
        store(Format("%s: could not find codec parameters", name8.c_str()));
        Close();
        return false;
    }
    RefreshInfo();
    forcedFormat_ = formatName;
    return true;
}

void TCustomAVProbe::AttachContext(AVFormatContext* context) {
    checkLibraries();
    Close();
    ownsContext_ = false;
    context_ = context;
    RefreshInfo();
}

void TCustomAVProbe::Close() {
    forcedFormat_.clear();
    if (context_ && ownsContext_) CloseMediaInput(&context_);
    context_ = nullptr;
    ownsContext_ = false;
    RefreshInfo();
}

void TCustomAVProbe::RefreshInfo() {
    fileSize_ = -1;
    streamCount_ = programCount_ = -1;
    audioStreamCount_ = videoStreamCount_ = subtitleStreamCount_ = -1;
    firstAudioStream_ = firstVideoStream_ = firstSubtitleStream_ = -1;
    if (!context_) return;

    int64_t size = context_->pb ? lav::avio_size(context_->pb) : 0;
    if (size <= 0) {
        // Streams read through a protocol may not know their size: take the file's, and
        // never hand out an error code as a size.
        const TPathFileName name = FileName();
        const int64_t onDisk = name.isEmpty() ? -1 : GetFileSize(name);
        size = onDisk >= 0 ? onDisk : 0;
    }
    fileSize_ = size;

    streamCount_ = static_cast<int>(context_->nb_streams);
    programCount_ = static_cast<int>(context_->nb_programs);
    audioStreamCount_ = videoStreamCount_ = subtitleStreamCount_ = 0;
    for (int i = 0; i < streamCount_; ++i) {
        const AVStream* st = context_->streams[i];
        switch (st->codecpar->codec_type) {
            case AVMEDIA_TYPE_VIDEO:
                // Cover art is a picture, not a video stream.
                if (st->disposition & AV_DISPOSITION_ATTACHED_PIC) break;
                ++videoStreamCount_;
                if (firstVideoStream_ < 0) firstVideoStream_ = i;
                break;
            case AVMEDIA_TYPE_AUDIO:
                ++audioStreamCount_;
                if (firstAudioStream_ < 0) firstAudioStream_ = i;
                break;
            case AVMEDIA_TYPE_SUBTITLE:
                ++subtitleStreamCount_;
                if (firstSubtitleStream_ < 0) firstSubtitleStream_ = i;
                break;
            default:
                break;
        }
    }
}

TPathFileName TCustomAVProbe::FileName() const {
    if (!context_ || !context_->url) return {};
    return UrlToFileName(context_->url);
}

std::string TCustomAVProbe::FormatShortName() const {
    return context_ && context_->iformat && context_->iformat->name ? context_->iformat->name : "";
}

std::string TCustomAVProbe::FormatLongName() const {
    return context_ && context_->iformat && context_->iformat->long_name
               ? context_->iformat->long_name
               : "";
}

bool TCustomAVProbe::GetFileInfo(TFileStreamInfo* info) {
    *info = TFileStreamInfo{};
    if (!context_) {
        report(llWarning, "file not loaded.");
        return false;
    }
    const AVFormatContext* ic = context_;
    info->StartTime = ic->start_time != AV_NOPTS_VALUE ? ic->start_time : -1;
    info->Duration = ic->duration != AV_NOPTS_VALUE ? ic->duration : -1;
    info->BitRate = ic->bit_rate > 0 ? clampToInt32(ic->bit_rate) : 0;
    info->Timestamp = 0;
    const std::string created = tagValue(ic->metadata, "creation_time");
    int64_t when = 0;
    if (!created.empty() && lav::av_parse_time(&when, created.c_str(), 0) >= 0)
        info->Timestamp = when >= 0 ? when / 1000000 : -((-when + 999999) / 1000000);
    std::string year = tagValue(ic->metadata, "date");
    if (year.empty()) year = tagValue(ic->metadata, "year");
    info->Year = leadingNumber(year);
    info->Track = leadingNumber(tagValue(ic->metadata, "track"));
    info->Title = tagValue(ic->metadata, "title");
    // Current muxers write "artist" where older ones wrote "author".
    info->Author = tagValue(ic->metadata, "author");
    if (info->Author.empty()) info->Author = tagValue(ic->metadata, "artist");
    info->Rights = tagValue(ic->metadata, "copyright");
    info->Comment = tagValue(ic->metadata, "comment");
    info->Album = tagValue(ic->metadata, "album");
    info->Genre = tagValue(ic->metadata, "genre");
    return true;
}

const AVStream* TCustomAVProbe::queryStream(int index, int firstOfKind, int kind,
                                            const char* kindName) {
    if (!context_) {
        report(llWarning, "file not loaded.");
        return nullptr;
    }
    if (index < 0) {
        index = firstOfKind;
        if (index < 0) {
            report(llError, Format("no %s stream.", kindName));
            return nullptr;
        }
    } else if (index >= streamCount_ || index >= static_cast<int>(context_->nb_streams)) {
        report(llError, Format("stream index #%d is invalid.", index));
        return nullptr;
    }
    const AVStream* st = context_->streams[index];
    if (st->codecpar->codec_type != kind) {
        report(llError, Format("stream #%d is not %s stream.", index, kindName));
        return nullptr;
    }
    return st;
}

bool TCustomAVProbe::GetAudioStreamInfo(int index, TAudioStreamInfo* info) {
    *info = TAudioStreamInfo{};
    const AVStream* st = queryStream(index, firstAudioStream_, AVMEDIA_TYPE_AUDIO, "audio");
    if (!st) return false;
    fillCommon(st, info);
    const AVCodecParameters* par = st->codecpar;
    info->BitRate = clampToInt32(par->bit_rate);
    info->Channels = par->ch_layout.nb_channels;
    info->SampleRate = par->sample_rate;
    info->SampleFormat = par->format;
    return true;
}

bool TCustomAVProbe::GetVideoStreamInfo(int index, TVideoStreamInfo* info) {
    *info = TVideoStreamInfo{};
    const AVStream* st = queryStream(index, firstVideoStream_, AVMEDIA_TYPE_VIDEO, "video");
    if (!st) return false;
    fillCommon(st, info);
    const AVCodecParameters* par = st->codecpar;
    info->BitRate = clampToInt32(par->bit_rate);
    info->Height = par->height;
    info->Width = par->width;
    if (par->height > 0) {
        const AVRational sar = par->sample_aspect_ratio;
        const double ratio = sar.den != 0 ? static_cast<double>(sar.num) / sar.den : 0.0;
        info->DisplayAspect = static_cast<float>(ratio * par->width / par->height);
    }
    info->PixelFormat = par->format;
    info->FrameRateNum = st->r_frame_rate.num;
    info->FrameRateDen = st->r_frame_rate.den;
    return true;
}

std::string TCustomAVProbe::StreamDescription(int index) const {
    if (!context_ || index < 0 || index >= static_cast<int>(context_->nb_streams)) return {};
    const AVStream* st = context_->streams[index];
    const AVCodecParameters* par = st->codecpar;
    std::string text = codecString(par);

    const AVRational sar = st->sample_aspect_ratio;
    const AVRational parSar = par->sample_aspect_ratio;
    if (sar.num &&
        static_cast<int64_t>(sar.num) * parSar.den != static_cast<int64_t>(parSar.num) * sar.den) {
        int dn = 0, dd = 0;
        lav::av_reduce(&dn, &dd, static_cast<int64_t>(par->width) * sar.num,
                       static_cast<int64_t>(par->height) * sar.den, 1024 * 1024);
        text += Format(", SAR %d:%d DAR %d:%d", sar.num, sar.den, dn, dd);
    }

    if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
        const AVRational avg = st->avg_frame_rate, real = st->r_frame_rate, tb = st->time_base;
        if (avg.num && avg.den) text += avprobe::RateText(av_q2d(avg), "fps");
        if (real.num && real.den) text += avprobe::RateText(av_q2d(real), "tbr");
        if (tb.num && tb.den) text += avprobe::RateText(1 / av_q2d(tb), "tbn");
    }
    return text;
}

std::string TCustomAVProbe::streamLine(int index) const {
    const AVStream* st = context_->streams[index];
    std::string line = Format("Stream #%d", index);
    if (context_->iformat && (context_->iformat->flags & AVFMT_SHOW_IDS))
        line += Format("[0x%x]", st->id);
    const std::string language = tagValue(st->metadata, "language");
    if (!language.empty()) line += "(" + language + ")";
    int64_t g = lav::av_gcd(st->time_base.num, st->time_base.den);
    if (g == 0) g = 1;
    line += Format(", %d/%d", static_cast<int>(st->time_base.num / g),
                   static_cast<int>(st->time_base.den / g));
    line += ": " + StreamDescription(index);

    if (st->start_time != AV_NOPTS_VALUE)
        line +=
            ", StartTime: " + avprobe::SecondsText(toMicroseconds(st->start_time, st->time_base));
    if (st->duration == AV_NOPTS_VALUE)
        line += ", Duration: N/A";
    else
        line += ", Duration: " + DurationToStr(toMicroseconds(st->duration, st->time_base));
    return line;
}

std::string TCustomAVProbe::InfoText() {
    if (!context_) {
        report(llWarning, "file not loaded.");
        return {};
    }
    const AVFormatContext* ic = context_;
    std::string text;
    appendLine(&text, "File Name: " + FileName().toUtf8().toStdString());
    appendLine(&text, "Format Name: " + FormatShortName());
    appendLine(&text, "Format Long Name: " + FormatLongName());
    appendLine(&text, "File Size: " + SizeToStr(fileSize_));

    TFileStreamInfo info;
    GetFileInfo(&info);
    appendLine(&text, info.Duration < 0 ? std::string("Duration: N/A")
                                        : "Duration: " + DurationToStr(info.Duration));
    if (info.StartTime >= 0)
        appendLine(&text, "StartTime: " + avprobe::SecondsText(info.StartTime));
    appendLine(&text, "Bit Rate: " + avprobe::BitRateText(info.BitRate));
    if (info.Timestamp > 0) appendLine(&text, "Time Stamp: " + localTime(info.Timestamp));
    text += avprobe::TagBlock(ic->metadata, "");

    const unsigned streams = ic->nb_streams;
    std::vector<bool> shown(streams, false);
    auto streamLines = [&](unsigned i) {
        appendLine(&text, streamLine(static_cast<int>(i)));
        text += avprobe::TagBlock(ic->streams[i]->metadata, "  ");
    };
    for (unsigned p = 0; p < ic->nb_programs; ++p) {
        const AVProgram* program = ic->programs[p];
        // Transport streams name these "service_*" now; older demuxers wrote the other names.
        std::string provider = tagValue(program->metadata, "service_provider");
        if (provider.empty()) provider = tagValue(program->metadata, "provider_name");
        std::string name = tagValue(program->metadata, "service_name");
        if (name.empty()) name = tagValue(program->metadata, "name");
        appendLine(&text, Format("Program %d %s@%s", program->id,
                                 provider.empty() ? "N/A" : provider.c_str(),
                                 name.empty() ? "N/A" : name.c_str()));
        text += avprobe::TagBlock(program->metadata, "  ");
        for (unsigned j = 0; j < program->nb_stream_indexes; ++j) {
            const unsigned i = program->stream_index[j];
            if (i >= streams) continue;
            streamLines(i);
            shown[i] = true;
        }
    }
    for (unsigned i = 0; i < streams; ++i)
        if (!shown[i]) streamLines(i);
    return text;
}

void TAVProbe::RefreshInfo() { TCustomAVProbe::RefreshInfo(); }

void TAVProbe::Close() { TCustomAVProbe::Close(); }
