// Built-in presets, translation of old preset keys, and the preset and target-preset options.
#include "FFmpegPresets.h"

#include <QFile>
#include <cmath>

#include <strings.h>

#include "engine/FFUtils.h"
#include "engine/FFmpegLogger.h"
#include "engine/FFmpegOptions.h"

// The two texts the program relies on are the published ones, word for word (their old keys are
// translated when applied). The others express the same intent through libx264's own controls:
// speed names become its presets ("normal" medium, "hq" slow, "max" placebo), first-pass names
// ask for a fast first pass, "lossless_*" is a zero quantiser, the iPod names are baseline at
// levels 1.3 and 3.0 with those devices' buffer limits.
const TOptionsPreset kBuiltinPresets[kBuiltinPresetCount] = {
    {"libx264-baseline", "coder=0\nbf=0\nflags2=-wpred-dct8x8\nwpredp=0"},
    {"libx264-default",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partb8x8\n"
     "me_method=hex\nsubq=7\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\n"
     "i_qfactor=0.71\nb_strategy=1\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=3\n"
     "directpred=1\ntrellis=1\nflags2=+mixed_refs+wpred+dct8x8+fastpskip\nwpredp=2"},
    {"libx264-fast", "preset=fast"},
    {"libx264-fast_firstpass", "preset=fast\nfastfirstpass=1"},
    {"libx264-faster", "preset=faster"},
    {"libx264-faster_firstpass", "preset=faster\nfastfirstpass=1"},
    {"libx264-fastfirstpass", "preset=fast\nfastfirstpass=1"},
    {"libx264-hq", "preset=slow"},
    {"libx264-ipod320", "profile=baseline\nlevel=13\nmaxrate=768000\nbufsize=3000000"},
    {"libx264-ipod640", "profile=baseline\nlevel=30\nmaxrate=10000000\nbufsize=10000000"},
    {"libx264-lossless_fast", "qp=0\npreset=fast"},
    {"libx264-lossless_max", "qp=0\npreset=placebo"},
    {"libx264-lossless_medium", "qp=0\npreset=medium"},
    {"libx264-lossless_slow", "qp=0\npreset=slow"},
    {"libx264-lossless_slower", "qp=0\npreset=slower"},
    {"libx264-lossless_ultrafast", "qp=0\npreset=ultrafast"},
    {"libx264-main", "profile=main"},
    {"libx264-max", "preset=placebo"},
    {"libx264-medium", "preset=medium"},
    {"libx264-medium_firstpass", "preset=medium\nfastfirstpass=1"},
    {"libx264-normal", "preset=medium"},
    {"libx264-placebo", "preset=placebo"},
    {"libx264-placebo_firstpass", "preset=placebo\nfastfirstpass=1"},
    {"libx264-slow", "preset=slow"},
    {"libx264-slow_firstpass", "preset=slow\nfastfirstpass=1"},
    {"libx264-slower", "preset=slower"},
    {"libx264-slower_firstpass", "preset=slower\nfastfirstpass=1"},
    {"libx264-slowfirstpass", "preset=slow\nfastfirstpass=1"},
    {"libx264-superfast", "preset=superfast"},
    {"libx264-superfast_firstpass", "preset=superfast\nfastfirstpass=1"},
    {"libx264-ultrafast", "preset=ultrafast"},
    {"libx264-ultrafast_firstpass", "preset=ultrafast\nfastfirstpass=1"},
    {"libx264-veryfast", "preset=veryfast"},
    {"libx264-veryfast_firstpass", "preset=veryfast\nfastfirstpass=1"},
    {"libx264-veryslow", "preset=veryslow"},
    {"libx264-veryslow_firstpass", "preset=veryslow\nfastfirstpass=1"},
};

const TOptionsPreset* FindBuiltinPreset(const std::string& name) {
    for (const TOptionsPreset& p : kBuiltinPresets)
        if (::strcasecmp(p.Name, name.c_str()) == 0) return &p;
    return nullptr;
}

namespace {

// Old "flags2" bits that are libx264 options now.
constexpr std::pair<const char*, const char*> kMoved[] = {
    {"mixed_refs", "mixed-refs"}, {"wpred", "weightb"},      {"dct8x8", "8x8dct"},
    {"fastpskip", "fast-pskip"},  {"bpyramid", "b-pyramid"}, {"mbtree", "mbtree"}};

// Old "partitions" flags and libx264's names for them.
constexpr std::pair<const char*, const char*> kParts[] = {{"parti4x4", "i4x4"},
                                                          {"parti8x8", "i8x8"},
                                                          {"partp4x4", "p4x4"},
                                                          {"partp8x8", "p8x8"},
                                                          {"partb8x8", "b8x8"}};

struct TFlagToken {
    char Sign;  // '+', '-' or 0 (absolute)
    std::string Name;
};

// "+a-b" → {+a, -b}; false when the text is not a list of named flags.
bool SplitFlagTokens(const std::string& value, std::vector<TFlagToken>* tokens) {
    size_t i = 0;
    while (i < value.size()) {
        TFlagToken t{0, {}};
        if (value[i] == '+' || value[i] == '-') t.Sign = value[i++];
        while (i < value.size() && value[i] != '+' && value[i] != '-') {
            const char c = value[i];
            if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
            t.Name += c;
            ++i;
        }
        if (t.Name.empty() || (t.Name[0] >= '0' && t.Name[0] <= '9')) return false;
        tokens->push_back(std::move(t));
    }
    return !tokens->empty();
}

}  // namespace

std::vector<std::pair<std::string, std::string>> TranslateLegacyOption(const std::string& name,
                                                                       const std::string& value) {
    std::vector<std::pair<std::string, std::string>> out;
    std::vector<TFlagToken> tokens;
    if (name == "flags2" && SplitFlagTokens(value, &tokens)) {
        std::string rest;
        for (const TFlagToken& t : tokens) {
            const char* target = nullptr;
            for (const auto& [oldName, newName] : kMoved)
                if (t.Name == oldName) target = newName;
            if (!target) {
                if (t.Sign) rest += t.Sign;
                rest += t.Name;
                continue;
            }
            const bool on = t.Sign != '-';
            if (t.Name == "bpyramid")
                out.emplace_back(target, on ? "normal" : "none");
            else
                out.emplace_back(target, on ? "1" : "0");
        }
        if (out.empty()) return {{name, value}};
        if (!rest.empty()) out.insert(out.begin(), {name, rest});
        return out;
    }
    if (name == "directpred") return {{"direct-pred", value}};
    if (name == "partitions" && SplitFlagTokens(value, &tokens)) {
        std::string list;
        for (const TFlagToken& t : tokens) {
            const char* part = nullptr;
            for (const auto& [oldName, newName] : kParts)
                if (t.Name == oldName) part = newName;
            if (!part) return {{name, value}};
            if (t.Sign == '-') continue;
            if (!list.empty()) list += ',';
            list += part;
        }
        return {{name, list.empty() ? "none" : list}};
    }
    return {{name, value}};
}

namespace {

std::string TrimText(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
    return s.substr(b, e - b);
}

// Preset files are a few lines; anything larger (or a file whose size the system does not
// report, such as those under /proc) is read no further than this.
constexpr qint64 kMaxPresetFileSize = 1 << 20;

bool ReadPresetFile(const std::string& name, std::string* text) {
    const QString path = QString::fromUtf8(name.c_str());
    if (name.empty() || !IsRegularFile(path)) return false;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray bytes = f.read(kMaxPresetFileSize + 1);
    if (bytes.size() > kMaxPresetFileSize) return false;
    text->assign(bytes.constData(), static_cast<size_t>(bytes.size()));
    return true;
}

}  // namespace

void TFFmpegOptions::applyPreset(const std::string& option, const std::string& value) {
    if (value.empty()) return;
    std::string text;
    std::string lookedUp;
    bool found = false;
    if (option != "fpre") {
        if (const TOptionsPreset* p = FindBuiltinPreset(value)) {
            text = p->Text;
            lookedUp = value;
            found = true;
        } else {
            const std::string& codec = option[0] == 'v'   ? state_.VideoCodecName
                                       : option[0] == 'a' ? state_.AudioCodecName
                                                          : state_.SubtitleCodecName;
            if (!codec.empty()) {
                lookedUp = codec + "-" + value;
                if (const TOptionsPreset* q = FindBuiltinPreset(lookedUp)) {
                    text = q->Text;
                    found = true;
                }
            }
        }
    }
    if (!found) {
        if (!ReadPresetFile(value, &text))
            throw FFmpegException(Format("Preset \"%s\" not found", value.c_str()));
        lookedUp = value;
    }

    std::string normalised;
    normalised.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            normalised += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            normalised += text[i];
        }
    }
    size_t start = 0;
    while (start <= normalised.size()) {
        size_t end = normalised.find('\n', start);
        if (end == std::string::npos) end = normalised.size();
        const std::string line = TrimText(normalised.substr(start, end - start));
        start = end + 1;
        if (line.empty()) continue;
        const size_t eq = line.find('=');
        const std::string name = TrimText(line.substr(0, eq));
        const std::string arg =
            eq == std::string::npos ? std::string() : TrimText(line.substr(eq + 1));
        if (name.empty() || arg.empty())
            throw FFmpegException(
                Format("%s: Invalid syntax: \"%s\"", lookedUp.c_str(), line.c_str()));
        if (::strcasecmp(name.c_str(), "acodec") == 0 ||
            ::strcasecmp(name.c_str(), "vcodec") == 0 ||
            ::strcasecmp(name.c_str(), "scodec") == 0) {
            std::string lower = name;
            for (char& c : lower) c = static_cast<char>(::tolower(static_cast<unsigned char>(c)));
            dispatch(lower, arg);
        } else if (!SetGenericOption(name, arg)) {
            throw FFmpegException(
                Format("%s: Invalid option or argument: \"%s\", parsed as \"%s\" = \"%s\"",
                       lookedUp.c_str(), line.c_str(), name.c_str(), arg.c_str()));
        }
    }
}

namespace {

enum class TNorm { Pal, Ntsc, Film };

// Frame rate × 1000, rounded: 25000 PAL, 29970 or 23976 NTSC; false when undecided.
bool NormOfRate(AVRational rate, TNorm* norm) {
    if (rate.den == 0) return false;
    const double fr = std::round(static_cast<double>(rate.num) * 1000.0 / rate.den);
    if (fr == 25000) {
        *norm = TNorm::Pal;
        return true;
    }
    if (fr == 29970 || fr == 23976) {
        *norm = TNorm::Ntsc;
        return true;
    }
    return false;
}

}  // namespace

void TFFmpegOptions::applyTarget(const std::string& target, const std::string& fallbackNorm) {
    std::string type = target;
    std::string normText = "auto";
    for (const char* prefix : {"pal-", "ntsc-", "film-"}) {
        const size_t n = std::char_traits<char>::length(prefix);
        if (type.compare(0, n, prefix) == 0) {
            normText.assign(prefix, n - 1);
            type.erase(0, n);
            break;
        }
    }
    TNorm norm = TNorm::Pal;
    if (normText == "pal") {
        norm = TNorm::Pal;
    } else if (normText == "ntsc") {
        norm = TNorm::Ntsc;
    } else if (normText == "film") {
        norm = TNorm::Film;
    } else {
        if (state_.FrameRate.den == 0) throw FFmpegException("frame_rate is invalid.");
        bool decided = NormOfRate(state_.FrameRate, &norm);
        if (!decided && host_) {
            for (const AVRational& r : host_->InputVideoFrameRates())
                if ((decided = NormOfRate(r, &norm))) break;
        }
        if (!decided)
            norm = fallbackNorm == "film"   ? TNorm::Film
                   : fallbackNorm == "ntsc" ? TNorm::Ntsc
                                            : TNorm::Pal;
        if (state_.Verbose > 0)
            GetLogger()->LogFormat(logSender_, llVerbose, "Assuming %s for target.",
                                   norm == TNorm::Pal ? "PAL" : "NTSC");
    }
    const bool pal = norm == TNorm::Pal;
    const char* rate = pal ? kPalFrameRate : norm == TNorm::Ntsc ? kNtscFrameRate : kFilmFrameRate;

    // Settings that only the library checks; a refusal here is a fault of this table.
    auto require = [this](const char* name, const char* value) {
        if (!SetGenericOption(name, value))
            throw FFmpegException(Format("Invalid value \"%s\" for option \"%s\"", value, name));
    };
    auto assumeAspect = [this](const char* aspect) {
        if (state_.FrameAspectRatio != 0) return;
        GetLogger()->LogFormat(logSender_, llInfo, "Assuming %s for aspect ratio", aspect);
        dispatch("aspect", aspect);
    };

    if (type == "vcd") {
        dispatch("vcodec", "mpeg1video");
        dispatch("acodec", "mp2");
        dispatch("f", "vcd");
        dispatch("s", pal ? "352x288" : "352x240");
        dispatch("r", rate);
        require("g", pal ? "15" : "18");
        dispatch("b", "1150000");
        require("maxrate", "1150000");
        require("minrate", "1150000");
        require("bufsize", "327680");
        dispatch("ab", "224000");
        state_.AudioSampleRate = 44100;
        state_.AudioChannels = 2;
        require("packetsize", "2324");
        require("muxrate", "1411200");
        state_.MuxPreload = 0.44;
        assumeAspect("4:3");
    } else if (type == "svcd") {
        dispatch("vcodec", "mpeg2video");
        dispatch("acodec", "mp2");
        dispatch("f", "svcd");
        dispatch("s", pal ? "480x576" : "480x480");
        dispatch("r", rate);
        require("g", pal ? "15" : "18");
        dispatch("b", "2040000");
        require("maxrate", "2516000");
        require("minrate", "0");
        require("bufsize", "1835008");
        require("scan_offset", "1");  // formerly the codec flag "+scan_offset"
        dispatch("ab", "224000");
        state_.AudioSampleRate = 44100;
        require("packetsize", "2324");
        if (state_.AudioChannels == 1) state_.AudioChannels = 2;
        assumeAspect("4:3");
    } else if (type == "dvd") {
        dispatch("vcodec", "mpeg2video");
        dispatch("acodec", "ac3");
        dispatch("f", "dvd");
        dispatch("s", pal ? "720x576" : "720x480");
        dispatch("r", rate);
        require("g", pal ? "15" : "18");
        dispatch("b", "6000000");
        require("maxrate", "9000000");
        require("minrate", "0");
        require("bufsize", "1835008");
        require("packetsize", "2048");
        require("muxrate", "10080000");
        dispatch("ab", "448000");
        state_.AudioSampleRate = 48000;
        if (state_.AudioChannels == 1) state_.AudioChannels = 2;
        assumeAspect("16:9");
    } else if (type == "dv" || type == "dv50") {
        dispatch("f", "dv");
        dispatch("s", pal ? "720x576" : "720x480");
        dispatch("pix_fmt", type == "dv50" ? "yuv422p" : pal ? "yuv420p" : "yuv411p");
        dispatch("r", rate);
        state_.AudioSampleRate = 48000;
        state_.AudioChannels = 2;
    } else {
        throw FFmpegException("Unknown target type");
    }
}
