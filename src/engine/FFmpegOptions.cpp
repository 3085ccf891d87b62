#include "FFmpegOptions.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <initializer_list>

#include "engine/FFUtils.h"
#include "engine/FFmpegLogger.h"
#include "engine/FFmpegPresets.h"

namespace {

// Parameter flag of each media type's codec set (video, audio, data, subtitle, attachment).
constexpr int kTypeFlags[kOptionKinds] = {AV_OPT_FLAG_VIDEO_PARAM, AV_OPT_FLAG_AUDIO_PARAM, 0,
                                          AV_OPT_FLAG_SUBTITLE_PARAM, 0};

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
    return s.substr(b, e - b);
}

bool Is(const std::string& name, std::initializer_list<const char*> names) {
    for (const char* n : names)
        if (name == n) return true;
    return false;
}

bool ParseInt64(const std::string& value, int64_t* out) {
    std::string t = Trim(value);
    if (t.size() > 1 && t[0] == '+' && t[1] != '-') t.erase(0, 1);
    long long v = 0;
    const char* end = t.data() + t.size();
    const auto r = std::from_chars(t.data(), end, v, 10);
    if (t.empty() || r.ec != std::errc() || r.ptr != end) return false;
    *out = v;
    return true;
}

// strtol with base 0 on a NUL-terminated text: decimal, 0x hexadecimal, leading-0 octal; reads
// as much as it can (nothing: 0). Values beyond 64 bits saturate.
long long CStrtol(const char* p, const char** end) {
    char* e = nullptr;
    const long long v = std::strtoll(p, &e, 0);
    *end = e;
    return v;
}

// strtod on the C locale: reads as much as it can (nothing: 0).
double CStrtod(const char* p, const char** end) {
    const char* q = p;
    while (*q == ' ' || (*q >= '\t' && *q <= '\r')) ++q;
    if (*q == '+') ++q;
    double v = 0;
    const auto r = std::from_chars(q, q + std::strlen(q), v, std::chars_format::general);
    if (r.ec == std::errc() || r.ec == std::errc::result_out_of_range) {
        *end = r.ptr;
        return r.ec == std::errc() ? v : 0;
    }
    *end = p;
    return 0;
}

[[noreturn]] void RangeError(const std::string& option, long long value, int min, int max) {
    throw FFmpegException(Format("The value for %s was %lld which is not within %d - %d",
                                 option.c_str(), value, min, max));
}

int MediaTypeOfPrefix(char c) {
    return c == 'v' ? AVMEDIA_TYPE_VIDEO : c == 'a' ? AVMEDIA_TYPE_AUDIO : AVMEDIA_TYPE_SUBTITLE;
}

const AVOption* FindInClass(const AVClass* cls, const std::string& name, int flags) {
    if (!cls) return nullptr;
    return lav::av_opt_find2(&cls, name.c_str(), nullptr, flags, AV_OPT_SEARCH_FAKE_OBJ, nullptr);
}

}  // namespace

// ---- value conversions ----

bool OptionBool(const std::string& value) { return value != "0"; }

int64_t OptionInt64(const std::string& value) {
    int64_t v;
    if (!ParseInt64(value, &v))
        throw FFmpegException(Format("'%s' is not a valid integer value", value.c_str()));
    return v;
}

int OptionInt(const std::string& value) {
    int64_t v;
    if (!ParseInt64(value, &v) || v < INT_MIN || v > INT_MAX)
        throw FFmpegException(Format("'%s' is not a valid integer value", value.c_str()));
    return static_cast<int>(v);
}

double OptionFloat(const std::string& value) {
    const std::string t = Trim(value);
    const char* begin = t.c_str();
    if (*begin == '+' && begin[1] != '-') ++begin;
    double v = 0;
    const char* end = t.c_str() + t.size();
    const auto r = std::from_chars(begin, end, v, std::chars_format::general);
    if (t.empty() || r.ec != std::errc() || r.ptr != end || !std::isfinite(v))
        throw FFmpegException(Format("'%s' is not a valid floating point value", value.c_str()));
    return v;
}

bool ParseFrameSize(const std::string& value, int* width, int* height) {
    auto digits = [&value](size_t* i, int* out) {
        long long v = 0;
        const size_t start = *i;
        while (*i < value.size() && value[*i] >= '0' && value[*i] <= '9') {
            v = v * 10 + (value[*i] - '0');
            if (v > INT_MAX) return false;
            ++*i;
        }
        *out = static_cast<int>(v);
        return *i > start;
    };
    size_t i = 0;
    int w = 0, h = 0;
    const bool leading = digits(&i, &w);
    // A width beyond int is no size (the library's parser would wrap it around).
    if (!leading && i < value.size() && value[i] >= '0' && value[i] <= '9') return false;
    if (leading && i < value.size()) {
        // One separator character (a UTF-8 sequence counts as one).
        ++i;
        while (i < value.size() && (static_cast<unsigned char>(value[i]) & 0xC0) == 0x80) ++i;
        const bool gotHeight = digits(&i, &h);
        if (!gotHeight && i < value.size() && value[i] >= '0' && value[i] <= '9') return false;
        if (gotHeight && w > 0 && h > 0) {
            *width = w;
            *height = h;
            return true;
        }
    }
    if (lav::av_parse_video_size(&w, &h, value.c_str()) >= 0 && w > 0 && h > 0) {
        *width = w;
        *height = h;
        return true;
    }
    return false;
}

// ---- life cycle ----

TFFmpegOptions::TFFmpegOptions(void* logSender) : logSender_(logSender) {
    if (!lav::avcodec_alloc_context3 || !lav::sws_alloc_context)
        throw std::logic_error("TFFmpegOptions needs the media libraries bound");
    createParameterSets();
}

TFFmpegOptions::~TFFmpegOptions() { releaseAll(); }

void TFFmpegOptions::releaseAll() {
    for (AVCodecContext*& ctx : codecSets_) lav::avcodec_free_context(&ctx);
    if (formatSet_) lav::avformat_free_context(formatSet_);
    formatSet_ = nullptr;
    if (scalerSet_) lav::sws_freeContext(scalerSet_);
    scalerSet_ = nullptr;
    for (AVDictionary*& d : codecDicts_) lav::av_dict_free(&d);
    lav::av_dict_free(&formatDict_);
    lav::av_dict_free(&scalerDict_);
    for (auto& [codec, ctx] : privateCodecs_) lav::avcodec_free_context(&ctx);
    privateCodecs_.clear();
    for (auto& [muxer, ctx] : privateMuxers_) lav::avformat_free_context(ctx);
    privateMuxers_.clear();
    for (auto& names : privateOnly_) names.clear();
    setNames_.clear();
    lav::av_channel_layout_uninit(&state_.AudioChannelLayout);
}

void TFFmpegOptions::createParameterSets() {
    for (int kind = 0; kind < kOptionKinds; ++kind) {
        codecSets_[kind] = lav::avcodec_alloc_context3(nullptr);
        if (!codecSets_[kind]) throw std::bad_alloc();
        codecSets_[kind]->codec_type = static_cast<AVMediaType>(kind);
    }
    formatSet_ = lav::avformat_alloc_context();
    scalerSet_ = lav::sws_alloc_context();
    if (!formatSet_ || !scalerSet_) throw std::bad_alloc();
    lav::av_opt_set_int(scalerSet_, "srcw", 16, 0);
    lav::av_opt_set_int(scalerSet_, "srch", 16, 0);
    lav::av_opt_set_int(scalerSet_, "dstw", 16, 0);
    lav::av_opt_set_int(scalerSet_, "dsth", 16, 0);
}

void TFFmpegOptions::ResetOptions() {
    releaseAll();
    state_ = TOptionState{};
    createParameterSets();
}

void TFFmpegOptions::log(int level, const std::string& text) const {
    GetLogger()->LogMessage(logSender_, static_cast<TLogLevel>(level), text);
}

// ---- direct setters ----

void TFFmpegOptions::SetStartTime(int64_t microseconds) {
    if (microseconds != kNoTimeSet) state_.StartTime = microseconds;
}

void TFFmpegOptions::SetRecordingTime(int64_t microseconds) {
    if (microseconds != kNoTimeSet) state_.RecordingTime = microseconds;
}

void TFFmpegOptions::SetRecordingTimestamp(int64_t seconds) { state_.RecordingTimestamp = seconds; }

void TFFmpegOptions::SetTarget(const std::string& target, const std::string& fallbackNorm) {
    applyTarget(target, fallbackNorm);
}

// ---- dispatcher ----

void TFFmpegOptions::SetOption(const std::string& name, const std::string& value) {
    dispatch(name, value);
}

namespace {

int64_t ParseDuration(const std::string& option, const std::string& value, bool date) {
    int64_t us = 0;
    if (lav::av_parse_time(&us, value.c_str(), date ? 0 : 1) < 0)
        throw FFmpegException(Format("Invalid %s specification for %s: %s",
                                     date ? "date" : "duration", option.c_str(), value.c_str()));
    return us;
}

// 64 comma-separated coefficients; each must be 1..255 (0 and larger values make the MPEG
// encoders divide by zero or overflow).
std::array<uint16_t, 64> ParseMatrix(const std::string& text) {
    std::array<uint16_t, 64> m{};
    size_t p = 0;
    for (int i = 0;; ++i) {
        // atoi: blanks, a sign, then digits up to the first non-digit.
        size_t q = p;
        while (q < text.size() && (text[q] == ' ' || (text[q] >= '\t' && text[q] <= '\r'))) ++q;
        bool negative = false;
        if (q < text.size() && (text[q] == '+' || text[q] == '-')) negative = text[q++] == '-';
        long v = 0;
        while (q < text.size() && text[q] >= '0' && text[q] <= '9') {
            if (v < 1000) v = v * 10 + (text[q] - '0');
            ++q;
        }
        if (negative || v < 1 || v > 255)
            throw FFmpegException(
                Format("Syntax error in matrix \"%s\" at coeff %d", text.c_str(), i));
        m[i] = static_cast<uint16_t>(v);
        if (i == 63) break;
        p = text.find(',', p);
        if (p == std::string::npos)
            throw FFmpegException(
                Format("Syntax error in matrix \"%s\" at coeff %d", text.c_str(), i));
        ++p;
    }
    return m;
}

uint32_t ParseTag(const std::string& value, const char* kind) {
    if (value.size() != 4) throw FFmpegException(Format("%s tag parameter must be 4 chars", kind));
    const auto* b = reinterpret_cast<const unsigned char*>(value.data());
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

void SetCodecName(const std::string& value, std::string* name, bool* copy) {
    name->clear();
    if (value == "copy")
        *copy = true;
    else
        *name = value;
}

}  // namespace

void TFFmpegOptions::dispatch(const std::string& name, const std::string& value) {
    TOptionState& s = state_;

    // Informational and ignored names.
    if (Is(name, {"L", "h", "version", "formats", "codecs", "bsfs", "protocols", "filters", "i",
                  "y", "benchmark"})) {
        log(llInfo, "Do nothing: option - " + name);
        return;
    }
    if (name == "timelimit") {
        log(llWarning, "Warning: -timelimit not implemented on Windows");
        return;
    }
    if (name == "threads") throw FFmpegException("TODO: option - " + name);
    if (name == "loglevel") {
        try {
            GetLogger()->SetLogLevelByName(value);
        } catch (const std::invalid_argument& e) {
            throw FFmpegException(e.what());
        }
        return;
    }

    // General and timing options.
    if (name == "f") {
        if (value == "pgmyuv") {
            s.ForcedFormat = "image2";
            s.PgmYuvCompat = true;
            log(llInfo, "pgmyuv format is deprecated, use image2");
        } else {
            s.ForcedFormat = value;
        }
    } else if (name == "map") {
        if (static_cast<int>(s.StreamMaps.size()) >= kMaxStreamMaps)
            throw FFmpegException(Format("Too many stream maps (at most %d)", kMaxStreamMaps));
        const char* p = value.c_str();
        auto index = [&]() {
            const long long v = CStrtol(p, &p);
            if (v < 0 || v > INT_MAX) RangeError(name, v, 0, INT_MAX);
            return static_cast<int>(v);
        };
        TStreamMap m;
        m.FileIndex = index();
        if (*p) ++p;
        m.StreamIndex = index();
        if (*p) {
            ++p;
            m.SyncFileIndex = index();
            if (*p) ++p;
            m.SyncStreamIndex = index();
        } else {
            m.SyncFileIndex = m.FileIndex;
            m.SyncStreamIndex = m.StreamIndex;
        }
        s.StreamMaps.push_back(m);
    } else if (name == "map_meta_data") {
        if (static_cast<int>(s.MetaDataMaps.size()) >= kMaxMetaDataMaps)
            throw FFmpegException(Format("Too many metadata maps (at most %d)", kMaxMetaDataMaps));
        const char* p = value.c_str();
        auto index = [&]() {
            const long long v = CStrtol(p, &p);
            if (v < INT_MIN || v > INT_MAX) RangeError(name, v, INT_MIN, INT_MAX);
            return static_cast<int>(v);
        };
        TMetaDataMap m;
        m.OutFile = index();
        if (*p) ++p;
        m.InFile = index();
        s.MetaDataMaps.push_back(m);
    } else if (name == "t") {
        s.RecordingTime = ParseDuration(name, value, false);
    } else if (name == "fs") {
        s.LimitFileSize = OptionInt64(value);
    } else if (name == "ss") {
        s.StartTime = ParseDuration(name, value, false);
    } else if (name == "itsoffset") {
        s.InputTsOffset = ParseDuration(name, value, false);
    } else if (name == "itsscale") {
        const char* p = value.c_str();
        const long long stream = CStrtol(p, &p);
        if (*p) ++p;
        const double scale = CStrtod(p, &p);
        // Negative indexes are as far outside the table as too large ones.
        if (stream < 0 || stream >= kMaxStreamsPerFile)
            throw FFmpegException(Format("stream index over MAX_STREAMS(%d)", kMaxStreamsPerFile));
        s.InputTsScale[static_cast<size_t>(stream)] = scale;
    } else if (name == "timestamp") {
        s.RecordingTimestamp =
            static_cast<int64_t>(std::llround(ParseDuration(name, value, true) / 1e6));
    } else if (name == "metadata") {
        const size_t eq = value.find('=');
        if (eq == std::string::npos) throw FFmpegException("Missing =");
        s.Metadata.emplace_back(value.substr(0, eq), value.substr(eq + 1));
    } else if (name == "dframes") {
        s.MaxFrames[AVMEDIA_TYPE_DATA] = OptionInt(value);
    } else if (name == "dump") {
        s.DoPktDump = OptionBool(value);
    } else if (name == "hex") {
        s.DoHexDump = OptionBool(value);
    } else if (name == "re") {
        s.RateEmu = OptionBool(value);
    } else if (name == "loop_input") {
        s.LoopInput = OptionBool(value);
    } else if (name == "loop_output") {
        s.LoopOutput = OptionInt(value);
    } else if (name == "v") {
        s.Verbose = OptionInt(value);
    } else if (name == "target") {
        applyTarget(value, "ntsc");
    } else if (name == "vsync") {
        s.VideoSyncMethod = OptionInt(value);
    } else if (name == "async") {
        s.AudioSyncMethod = OptionInt(value);
    } else if (name == "adrift_threshold") {
        s.AudioDriftThreshold = OptionFloat(value);
    } else if (name == "vglobal") {
        s.VideoGlobalHeader = OptionInt(value);
    } else if (name == "copyts") {
        s.CopyTs = true;
    } else if (name == "shortest") {
        s.OptShortest = OptionBool(value);
    } else if (name == "dts_delta_threshold") {
        s.DtsDeltaThreshold = OptionFloat(value);
    } else if (name == "programid") {
        s.OptProgramId = OptionInt(value);
    } else if (name == "xerror") {
        s.ExitOnError = true;
    } else if (name == "copyinkf") {
        s.CopyInitialNonKeyframes = OptionInt(value);
    } else if (name == "isync") {
        s.InputSync = OptionBool(value);
    } else if (name == "muxdelay") {
        const double v = OptionFloat(value);
        if (v > 0) s.MuxMaxDelay = v;
    } else if (name == "muxpreload") {
        const double v = OptionFloat(value);
        if (v > 0) s.MuxPreload = v;
    } else if (Is(name, {"absf", "vbsf", "sbsf"})) {
        if (value.empty() || value[0] == '=') return;
        const size_t eq = value.find('=');
        TBitStreamFilter f;
        f.Name = value.substr(0, eq);
        if (eq != std::string::npos) f.Args = value.substr(eq + 1);
        if (!lav::av_bsf_get_by_name(f.Name.c_str()))
            throw FFmpegException(Format("Unknown bitstream filter %s", Trim(value).c_str()));
        (name[0] == 'v'   ? s.VideoBitstreamFilters
         : name[0] == 'a' ? s.AudioBitstreamFilters
                          : s.SubtitleBitstreamFilters)
            .push_back(std::move(f));
    } else if (Is(name, {"apre", "vpre", "spre", "fpre"})) {
        applyPreset(name, value);
    }

    // Video options.
    else if (name == "b" || name == "vb") {
        setBitRate(name, value, AVMEDIA_TYPE_VIDEO);
    } else if (name == "vframes") {
        s.MaxFrames[AVMEDIA_TYPE_VIDEO] = OptionInt(value);
    } else if (name == "r") {
        AVRational q{0, 0};
        if (lav::av_parse_video_rate(&q, value.c_str()) < 0)
            throw FFmpegException("Incorrect frame rate");
        s.FrameRate = q;
    } else if (name == "s") {
        int w = 0, h = 0;
        if (!ParseFrameSize(value, &w, &h)) throw FFmpegException("Incorrect frame size");
        s.FrameWidth = w;
        s.FrameHeight = h;
    } else if (name == "aspect") {
        double ar = 0;
        const size_t colon = value.find(':');
        if (colon != std::string::npos) {
            const double x = OptionFloat(value.substr(0, colon));
            const double y = OptionFloat(value.substr(colon + 1));
            ar = y > 0 ? x / y : 0;
        } else {
            ar = OptionFloat(value);
        }
        if (ar == 0) throw FFmpegException("Incorrect aspect ratio specification.");
        s.FrameAspectRatio = ar;
    } else if (name == "pix_fmt") {
        if (value == "list") {
            log(llInfo, "name       nb_channels depth is_alpha");
            for (int i = 0; i < AV_PIX_FMT_NB; ++i) {
                const AVPixFmtDescriptor* d =
                    lav::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(i));
                if (!d) continue;
                log(llInfo, Format("%-11s %5d %9d %6c", d->name, d->nb_components, d->comp[0].depth,
                                   (d->flags & AV_PIX_FMT_FLAG_ALPHA) ? 'y' : 'n'));
            }
        } else {
            const AVPixelFormat f = lav::av_get_pix_fmt(value.c_str());
            if (f == AV_PIX_FMT_NONE)
                throw FFmpegException(Format("Unknown pixel format requested: %s", value.c_str()));
            s.FramePixFmt = f;
        }
    } else if (Is(name, {"croptop", "cropbottom", "cropleft", "cropright"})) {
        const int v = OptionInt(value);
        if (v <= 0) return;
        const bool vertical = name == "croptop" || name == "cropbottom";
        int& extent = vertical ? s.FrameHeight : s.FrameWidth;
        if (v >= extent)
            throw FFmpegException(
                vertical ? "Vertical crop dimensions are outside the range of the original "
                           "image.\nRemember to crop first and scale second."
                         : "Horizontal crop dimensions are outside the range of the original "
                           "image.\nRemember to crop first and scale second.");
        log(llWarning, "CropXXX is deprecated in favor of the crop avfilter");
        (name == "croptop"      ? s.CropTop
         : name == "cropbottom" ? s.CropBottom
         : name == "cropleft"   ? s.CropLeft
                                : s.CropRight) = v;
        extent -= v;
    } else if (Is(name, {"padtop", "padbottom", "padleft", "padright", "padcolor"})) {
        throw FFmpegException("Please use vfilters=pad");
    } else if (name == "intra") {
        s.IntraOnly = OptionBool(value);
    } else if (name == "vn") {
        s.VideoDisable = OptionBool(value);
    } else if (name == "vdt") {
        s.VideoDiscard = OptionInt(value);
    } else if (name == "qscale") {
        const double q = OptionFloat(value);
        if (!(q > 0 && q <= 255)) throw FFmpegException("qscale must be > 0.0 and <= 255");
        s.VideoQScale = q;
    } else if (name == "rc_override") {
        s.RcOverride = value;
    } else if (name == "vcodec") {
        SetCodecName(value, &s.VideoCodecName, &s.VideoStreamCopy);
    } else if (name == "me_threshold") {
        s.MeThreshold = OptionInt(value);
    } else if (name == "sameq") {
        s.SameQuality = OptionBool(value);
    } else if (name == "pass") {
        int64_t pass = 0;
        if (!ParseInt64(value, &pass) || (pass != 1 && pass != 2))
            throw FFmpegException("pass number can be only 1 or 2");
        s.DoPass = static_cast<int>(pass);
    } else if (name == "passlogfile") {
        s.PassLogFileName = value;
    } else if (name == "deinterlace") {
        s.DoDeinterlace = OptionBool(value);
    } else if (name == "psnr") {
        s.DoPsnr = OptionBool(value);
    } else if (name == "vstats") {
        const std::string now =
            FormatDateTime("hhnnss", UnixToLocalDateTime(static_cast<int64_t>(std::time(nullptr))));
        s.VStatsFileName = Format("%svstats_%s.log", ExePath().toUtf8().constData(), now.c_str());
    } else if (name == "vstats_file") {
        s.VStatsFileName = value;
    } else if (name == "vhook") {
        if (!host_ || host_->AddFrameHook(value) != 0)
            throw FFmpegException("Failed to add video hook function: " + value);
    } else if (name == "vfilters" || name == "vf") {
        s.VideoFilters = value;
    } else if (name == "intra_matrix") {
        s.IntraMatrix = ParseMatrix(value);
    } else if (name == "inter_matrix") {
        s.InterMatrix = ParseMatrix(value);
    } else if (name == "top") {
        s.TopFieldFirst = OptionInt(value);
    } else if (name == "dc") {
        s.IntraDcPrecision = OptionInt(value);
    } else if (name == "vtag") {
        s.VideoCodecTag = ParseTag(value, "video");
    } else if (Is(name, {"newvideo", "newaudio", "newsubtitle"})) {
        if (!host_) throw FFmpegException("At least one output file must be specified");
        host_->NewStream(name == "newvideo"   ? AVMEDIA_TYPE_VIDEO
                         : name == "newaudio" ? AVMEDIA_TYPE_AUDIO
                                              : AVMEDIA_TYPE_SUBTITLE);
    } else if (name == "vlang") {
        s.VideoLanguage = value;
    } else if (name == "qphist") {
        s.QpHist = OptionBool(value);
    } else if (name == "force_fps") {
        s.ForceFps = OptionBool(value);
    } else if (name == "streamid") {
        const size_t colon = value.find(':');
        if (colon == std::string::npos || colon == 0 || colon + 1 == value.size())
            throw FFmpegException(
                Format("Invalid value \"%s\" for option \"%s\", required syntax is \"index:value\"",
                       value.c_str(), name.c_str()));
        const int index = OptionInt(value.substr(0, colon));
        if (index < 0 || index >= kMaxStreamsPerFile)
            RangeError(name, index, 0, kMaxStreamsPerFile - 1);
        s.StreamIdMap[static_cast<size_t>(index)] = OptionInt(value.substr(colon + 1));
    } else if (name == "vc") {
        s.VideoChannel = OptionInt(value);
    } else if (name == "tvstd") {
        s.VideoStandard = value;
    }

    // Audio and subtitle options.
    else if (name == "ab") {
        setBitRate(name, value, AVMEDIA_TYPE_AUDIO);
    } else if (name == "aframes") {
        s.MaxFrames[AVMEDIA_TYPE_AUDIO] = OptionInt(value);
    } else if (name == "aq") {
        s.AudioQScale = OptionFloat(value);
    } else if (name == "ar") {
        const int v = OptionInt(value);
        if (v > 0) s.AudioSampleRate = v;
    } else if (name == "ac") {
        const int v = OptionInt(value);
        if (v > 0) s.AudioChannels = v;
    } else if (name == "an") {
        s.AudioDisable = OptionBool(value);
    } else if (name == "acodec") {
        SetCodecName(value, &s.AudioCodecName, &s.AudioStreamCopy);
    } else if (name == "atag") {
        s.AudioCodecTag = ParseTag(value, "audio");
    } else if (name == "vol") {
        s.AudioVolume = OptionInt(value);
    } else if (name == "alang") {
        s.AudioLanguage = value;
    } else if (name == "sample_fmt") {
        if (value == "list") {
            char buf[128];
            for (int i = -1; i < AV_SAMPLE_FMT_NB; ++i) {
                lav::av_get_sample_fmt_string(buf, sizeof buf, static_cast<AVSampleFormat>(i));
                log(llInfo, buf);
            }
        } else {
            s.AudioSampleFmt = lav::av_get_sample_fmt(value.c_str());
        }
    } else if (name == "sn") {
        s.SubtitleDisable = OptionBool(value);
    } else if (name == "scodec") {
        SetCodecName(value, &s.SubtitleCodecName, &s.SubtitleStreamCopy);
    } else if (name == "slang") {
        s.SubtitleLanguage = value;
    } else if (name == "stag") {
        s.SubtitleCodecTag = ParseTag(value, "subtitle");
    }

    // Everything else: a parameter of the libraries, or nothing.
    else {
        SetGenericOption(name, value);
    }
}

void TFFmpegOptions::setBitRate(const std::string& name, const std::string& value,
                                AVMediaType type) {
    bool ok;
    if (type == AVMEDIA_TYPE_VIDEO) {
        // "b" is the video bit-rate only (the library's parameter also applies to sound now).
        const std::string v = Trim(value);
        ok = !v.empty() && setCodecParam(AVMEDIA_TYPE_VIDEO, "b", v) == Found::Accepted;
        if (ok)
            noteSet("b");
        else if (!v.empty())
            log(llError, Format("Invalid value \"%s\" for option \"%s\"", v.c_str(), "b"));
    } else {
        ok = SetGenericOption(name, value);
    }
    if (!ok) return;
    int64_t rate = 0;
    lav::av_opt_get_int(codecSets_[type], "b", 0, &rate);
    if (rate < 1000)
        log(llWarning,
            "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not "
            "kbits/s");
}

// ---- generic path ----

bool TFFmpegOptions::SetGenericOption(const std::string& name, const std::string& value) {
    const std::string n = Trim(name);
    const std::string v = Trim(value);
    if (n.empty() || v.empty()) return false;
    for (const auto& [tn, tv] : TranslateLegacyOption(n, v))
        if (!setGenericOne(tn, tv)) return false;
    return true;
}

bool TFFmpegOptions::setGenericOne(const std::string& name, const std::string& value) {
    Found result = Found::None;
    auto merge = [&result](Found f) {
        if (f == Found::Accepted)
            result = Found::Accepted;
        else if (f == Found::Refused && result == Found::None)
            result = Found::Refused;
    };
    const AVClass* codecClass = lav::avcodec_get_class();

    // The codec parameter set of every media type whose flag the parameter carries. A value
    // that one type takes (privately, say) and another refuses counts as accepted.
    for (int kind = 0; kind < kOptionKinds; ++kind)
        if (FindInClass(codecClass, name, kTypeFlags[kind]))
            merge(setCodecParam(kind, name, value));

    // The container, then the scaler.
    if (result == Found::None && FindInClass(lav::avformat_get_class(), name, 0)) {
        if (lav::av_opt_set(formatSet_, name.c_str(), value.c_str(), 0) >= 0) {
            uint8_t* back = nullptr;
            lav::av_opt_get(formatSet_, name.c_str(), 0, &back);
            lav::av_dict_set(&formatDict_, name.c_str(),
                             back ? reinterpret_cast<char*>(back) : value.c_str(), 0);
            lav::av_free(back);
            privateOnly_[kOptionKinds].erase(name);
            merge(Found::Accepted);
        } else {
            merge(Found::Refused);
        }
    }
    if (result == Found::None && FindInClass(lav::sws_get_class(), name, 0)) {
        if (lav::av_opt_set(scalerSet_, name.c_str(), value.c_str(), 0) >= 0) {
            uint8_t* back = nullptr;
            lav::av_opt_get(scalerSet_, name.c_str(), 0, &back);
            lav::av_dict_set(&scalerDict_, name.c_str(),
                             back ? reinterpret_cast<char*>(back) : value.c_str(), 0);
            lav::av_free(back);
            merge(Found::Accepted);
        } else {
            merge(Found::Refused);
        }
    }

    // Options that moved from the shared sets into single encoders and muxers.
    if (result == Found::None) {
        for (int kind : {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO, AVMEDIA_TYPE_SUBTITLE})
            merge(setPrivateCodecOption(kind, name, value));
    }
    if (result == Found::None) merge(setPrivateMuxerOption(name, value));

    // "ab", "vqmin", "sbt": the rest of the name in that type's codec set.
    std::string setName = name;
    if (result == Found::None && name.size() > 1 &&
        (name[0] == 'a' || name[0] == 'v' || name[0] == 's')) {
        const int kind = MediaTypeOfPrefix(name[0]);
        const std::string rest = name.substr(1);
        if (FindInClass(codecClass, rest, 0))
            merge(setCodecParam(kind, rest, value));
        else
            merge(setPrivateCodecOption(kind, rest, value));
        setName = rest;
    }

    if (result == Found::Refused)
        log(llError, Format("Invalid value \"%s\" for option \"%s\"", value.c_str(), name.c_str()));
    if (result != Found::Accepted) return false;

    noteSet(setName);
    int64_t debug = 0;
    bool debugOn = false;
    for (AVCodecContext* ctx : codecSets_)
        if (lav::av_opt_get_int(ctx, "debug", 0, &debug) >= 0 && debug != 0) debugOn = true;
    if (lav::av_opt_get_int(formatSet_, "fdebug", 0, &debug) >= 0 && debug != 0) debugOn = true;
    if (debugOn) GetLogger()->SetLogLevel(llDebug);
    return true;
}

TFFmpegOptions::Found TFFmpegOptions::setCodecParam(int kind, const std::string& name,
                                                    const std::string& value) {
    AVCodecContext* ctx = codecSets_[kind];
    if (lav::av_opt_set(ctx, name.c_str(), value.c_str(), 0) >= 0) {
        uint8_t* back = nullptr;
        lav::av_opt_get(ctx, name.c_str(), 0, &back);
        lav::av_dict_set(&codecDicts_[kind], name.c_str(),
                         back ? reinterpret_cast<char*>(back) : value.c_str(), 0);
        lav::av_free(back);
        privateOnly_[kind].erase(name);
        return Found::Accepted;
    }
    // The shared parameter refuses the text, but an encoder may take it under the same name
    // ("profile=main" for libx264).
    return setPrivateCodecOption(kind, name, value) == Found::Accepted ? Found::Accepted
                                                                       : Found::Refused;
}

const std::string& TFFmpegOptions::encoderNameOf(int kind) const {
    return kind == AVMEDIA_TYPE_VIDEO   ? state_.VideoCodecName
           : kind == AVMEDIA_TYPE_AUDIO ? state_.AudioCodecName
                                        : state_.SubtitleCodecName;
}

AVCodecContext* TFFmpegOptions::privateContext(const AVCodec* codec) {
    auto it = privateCodecs_.find(codec);
    if (it != privateCodecs_.end()) return it->second;
    AVCodecContext* ctx = lav::avcodec_alloc_context3(codec);
    if (!ctx || !ctx->priv_data) {
        lav::avcodec_free_context(&ctx);
        return nullptr;
    }
    privateCodecs_[codec] = ctx;
    return ctx;
}

AVFormatContext* TFFmpegOptions::privateMuxerContext(const AVOutputFormat* muxer) {
    auto it = privateMuxers_.find(muxer);
    if (it != privateMuxers_.end()) return it->second;
    AVFormatContext* ctx = nullptr;
    if (lav::avformat_alloc_output_context2(&ctx, muxer, nullptr, nullptr) < 0 || !ctx)
        return nullptr;
    if (!ctx->priv_data) {
        lav::avformat_free_context(ctx);
        return nullptr;
    }
    privateMuxers_[muxer] = ctx;
    return ctx;
}

void TFFmpegOptions::storeRaw(AVDictionary** dict, const AVOption* opt, const std::string& name,
                              const std::string& value) {
    // Relative flag values add up, as they would on one object.
    const AVDictionaryEntry* old = lav::av_dict_get(*dict, name.c_str(), nullptr, 0);
    if (old && opt && opt->type == AV_OPT_TYPE_FLAGS && (value[0] == '+' || value[0] == '-')) {
        const std::string joined = std::string(old->value) + value;
        lav::av_dict_set(dict, name.c_str(), joined.c_str(), 0);
    } else {
        lav::av_dict_set(dict, name.c_str(), value.c_str(), 0);
    }
}

TFFmpegOptions::Found TFFmpegOptions::setPrivateCodecOption(int kind, const std::string& name,
                                                            const std::string& value) {
    const int flags = kTypeFlags[kind];
    auto tryCodec = [&](const AVCodec* codec) {
        const AVOption* opt = FindInClass(codec->priv_class, name, flags);
        AVCodecContext* ctx = opt ? privateContext(codec) : nullptr;
        if (!ctx || lav::av_opt_set(ctx->priv_data, name.c_str(), value.c_str(), 0) < 0)
            return false;
        storeRaw(&codecDicts_[kind], opt, name, value);
        privateOnly_[kind].insert(name);
        return true;
    };

    // The chosen encoder decides when it has the option.
    const std::string& chosen = encoderNameOf(kind);
    if (!chosen.empty()) {
        const AVCodec* c = lav::avcodec_find_encoder_by_name(chosen.c_str());
        if (c && c->type == kind && FindInClass(c->priv_class, name, flags))
            return tryCodec(c) ? Found::Accepted : Found::Refused;
    }
    Found result = Found::None;
    void* it = nullptr;
    while (const AVCodec* c = lav::av_codec_iterate(&it)) {
        if (c->type != kind || !c->priv_class || !lav::av_codec_is_encoder(c)) continue;
        if (!FindInClass(c->priv_class, name, flags)) continue;
        if (tryCodec(c)) return Found::Accepted;
        result = Found::Refused;
    }
    return result;
}

TFFmpegOptions::Found TFFmpegOptions::setPrivateMuxerOption(const std::string& name,
                                                            const std::string& value) {
    auto tryMuxer = [&](const AVOutputFormat* muxer) {
        const AVOption* opt = FindInClass(muxer->priv_class, name, 0);
        AVFormatContext* ctx = opt ? privateMuxerContext(muxer) : nullptr;
        if (!ctx || lav::av_opt_set(ctx->priv_data, name.c_str(), value.c_str(), 0) < 0)
            return false;
        storeRaw(&formatDict_, opt, name, value);
        privateOnly_[kOptionKinds].insert(name);
        return true;
    };
    if (!state_.ForcedFormat.empty()) {
        const AVOutputFormat* m =
            lav::av_guess_format(state_.ForcedFormat.c_str(), nullptr, nullptr);
        if (m && FindInClass(m->priv_class, name, 0))
            return tryMuxer(m) ? Found::Accepted : Found::Refused;
    }
    Found result = Found::None;
    void* it = nullptr;
    while (const AVOutputFormat* m = lav::av_muxer_iterate(&it)) {
        if (!FindInClass(m->priv_class, name, 0)) continue;
        if (tryMuxer(m)) return Found::Accepted;
        result = Found::Refused;
    }
    return result;
}

void TFFmpegOptions::noteSet(const std::string& name) {
    for (const std::string& n : setNames_)
        if (n == name) return;
    setNames_.push_back(name);
}

// ---- what the set-up reads ----

const AVDictionary* TFFmpegOptions::CodecOptions(AVMediaType type) const {
    return type >= 0 && type < kOptionKinds ? codecDicts_[type] : nullptr;
}

AVDictionary* TFFmpegOptions::CodecOptionsFor(AVMediaType type, const AVCodec* codec,
                                              bool encoder) const {
    if (type < 0 || type >= kOptionKinds) return nullptr;
    const int flags =
        kTypeFlags[type] | (encoder ? AV_OPT_FLAG_ENCODING_PARAM : AV_OPT_FLAG_DECODING_PARAM);
    const AVClass* codecClass = lav::avcodec_get_class();
    AVDictionary* out = nullptr;
    const AVDictionaryEntry* e = nullptr;
    while ((e = lav::av_dict_get(codecDicts_[type], "", e, AV_DICT_IGNORE_SUFFIX))) {
        const bool shared =
            !privateOnly_[type].count(e->key) && FindInClass(codecClass, e->key, flags);
        const bool own = codec && FindInClass(codec->priv_class, e->key, flags);
        if (shared || own) lav::av_dict_set(&out, e->key, e->value, 0);
    }
    return out;
}

AVDictionary* TFFmpegOptions::FormatOptionsFor(const AVClass* privClass, bool output) const {
    const int flags = output ? AV_OPT_FLAG_ENCODING_PARAM : AV_OPT_FLAG_DECODING_PARAM;
    const AVClass* formatClass = lav::avformat_get_class();
    AVDictionary* out = nullptr;
    const AVDictionaryEntry* e = nullptr;
    while ((e = lav::av_dict_get(formatDict_, "", e, AV_DICT_IGNORE_SUFFIX))) {
        const bool shared =
            !privateOnly_[kOptionKinds].count(e->key) && FindInClass(formatClass, e->key, flags);
        const bool own = FindInClass(privClass, e->key, flags);
        if (shared || own) lav::av_dict_set(&out, e->key, e->value, 0);
    }
    return out;
}

int TFFmpegOptions::ScalerFlags() const {
    int64_t flags = SWS_BICUBIC;
    lav::av_opt_get_int(scalerSet_, "sws_flags", 0, &flags);
    return static_cast<int>(flags);
}
