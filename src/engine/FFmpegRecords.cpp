#include "FFmpegRecords.h"

#include <charconv>
#include <cmath>
#include <ctime>
#include <initializer_list>

namespace {

bool IsOneOf(const std::string& name, std::initializer_list<const char*> names) {
    for (const char* n : names)
        if (name == n) return true;
    return false;
}

std::string IntText(int64_t v) { return std::to_string(v); }

// Shortest text that reads back as the same float.
std::string FloatText(float v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (size_t pos = 0; (pos = text.find(from, pos)) != std::string::npos; pos += to.size())
        text.replace(pos, from.size(), to);
}

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
    return s.substr(b, e - b);
}

// Names of the per-stream settings, in the order of the defaults list.
constexpr const char* kStreamSettingNames[] = {"acodec", "vcodec", "scodec", "apre",
                                               "vpre",   "spre",   "s",      "vf"};

}  // namespace

std::vector<TExtOption> ParseExtOptions(const std::string& text) {
    std::string t = Trim(text);
    ReplaceAll(t, "\r\n", "\n");
    ReplaceAll(t, "\r", "\n");
    ReplaceAll(t, "<CRLF>", "\n");
    std::vector<TExtOption> out;
    size_t start = 0;
    while (start <= t.size()) {
        size_t end = t.find('\n', start);
        if (end == std::string::npos) end = t.size();
        const std::string line = t.substr(start, end - start);
        start = end + 1;
        if (line.empty()) continue;
        TExtOption opt;
        const size_t eq = line.find('=');
        opt.Name = line.substr(0, eq);
        if (eq != std::string::npos) opt.Value = line.substr(eq + 1);
        for (char& c : opt.Name)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        out.push_back(std::move(opt));
    }
    return out;
}

void ApplyInputOptions(IOptionSink& sink, const TInputOptions& options) {
    for (const TExtOption& o : ParseExtOptions(options.ExtOptions)) {
        if (IsOneOf(o.Name, {"newvideo", "newaudio", "newsubtitle", "apre", "vpre", "spre",
                             "vfilters", "vf"}))
            continue;
        sink.SetOption(o.Name, o.Value);
    }
    if (!options.FileFormat.empty()) sink.SetOption("f", options.FileFormat);
    if (options.StartTime != kNoTimeSet) sink.SetStartTime(options.StartTime);
    if (options.ProgramID >= 0) sink.SetOption("programid", IntText(options.ProgramID));
}

std::string TOutputStreamSettings::Default(const std::string& name) const {
    const std::string key = "def_" + name;
    for (const TExtOption& d : Defaults)
        if (d.Name == key) return d.Value;
    return {};
}

TOutputStreamSettings CollectOutputStreamSettings(const TOutputOptions& options) {
    TOutputStreamSettings s;
    const std::string fields[] = {options.AudioCodec,  options.VideoCodec,  options.SubtitleCodec,
                                  options.AudioPreset, options.VideoPreset, options.SubtitlePreset,
                                  options.FrameSize,   options.VideoFilters};
    for (size_t i = 0; i < std::size(kStreamSettingNames); ++i)
        s.Defaults.push_back({std::string("def_") + kStreamSettingNames[i], fields[i]});
    for (const TExtOption& o : ParseExtOptions(options.ExtOptions)) {
        if (o.Value.empty() || !IsOneOf(o.Name, {"acodec", "vcodec", "scodec", "apre", "vpre",
                                                 "spre", "s", "vfilters", "vf"}))
            continue;
        const std::string name = o.Name == "vfilters" ? "vf" : o.Name;
        s.Entries.push_back({name, o.Value});
        for (TExtOption& d : s.Defaults)
            if (d.Name == "def_" + name && d.Value.empty()) d.Value = o.Value;
    }
    return s;
}

void ApplyOutputOptions(IOptionSink& sink, const TOutputOptions& o,
                        const TOutputStreamSettings& settings) {
    if (o.Target >= 1 && o.Target <= 3) {
        const char* type = o.Target == 1 ? "vcd" : o.Target == 2 ? "svcd" : "dvd";
        const char* norm = o.TargetNorm == 1 ? "pal-" : o.TargetNorm == 2 ? "ntsc-" : "";
        sink.SetTarget(std::string(norm) + type, o.TargetNormDefault == 1 ? "pal" : "ntsc");
    }
    for (const char* name : {"acodec", "vcodec", "scodec", "apre", "vpre", "spre"}) {
        const std::string v = settings.Default(name);
        if (!v.empty()) sink.SetOption(name, v);
    }
    for (const TExtOption& e : ParseExtOptions(o.ExtOptions)) {
        if (IsOneOf(e.Name, {"newvideo", "newaudio", "newsubtitle", "apre", "vpre", "spre",
                             "vfilters", "vf", "acodec", "vcodec", "scodec", "s"}))
            continue;
        sink.SetOption(e.Name, e.Value);
    }

    if (!o.FileFormat.empty()) sink.SetOption("f", o.FileFormat);
    if (o.PacketSize > 0) sink.SetOption("packetsize", IntText(o.PacketSize));
    if (o.MuxRate > 0) sink.SetOption("muxrate", IntText(o.MuxRate));
    if (o.MuxDelay > 0) sink.SetOption("muxdelay", FloatText(o.MuxDelay));
    if (o.MuxPreload > 0) sink.SetOption("muxpreload", FloatText(o.MuxPreload));
    if (o.DisableAudio) sink.SetOption("an", "1");
    if (o.AudioVolume >= 0) sink.SetOption("vol", IntText(o.AudioVolume));
    if (o.AudioChannels > 0) sink.SetOption("ac", IntText(o.AudioChannels));
    if (o.AudioSampleRate > 0) sink.SetOption("ar", IntText(o.AudioSampleRate));
    if (o.AudioBitRate > 0) sink.SetOption("ab", IntText(o.AudioBitRate));
    if (o.AudioBitRateTolerance > 0) sink.SetOption("abt", IntText(o.AudioBitRateTolerance));
    sink.SetOption("alang", o.AudioLanguage);
    sink.SetOption("async", IntText(o.AudioSyncMethod));
    if (!o.AudioTag.empty()) sink.SetOption("atag", o.AudioTag);
    if (o.DisableVideo) sink.SetOption("vn", "1");
    if (!o.FrameRate.empty()) sink.SetOption("r", o.FrameRate);
    if (!o.AspectRatio.empty()) sink.SetOption("aspect", o.AspectRatio);
    if (o.CropTop > 0) sink.SetOption("croptop", IntText(o.CropTop));
    if (o.CropBottom > 0) sink.SetOption("cropbottom", IntText(o.CropBottom));
    if (o.CropLeft > 0) sink.SetOption("cropleft", IntText(o.CropLeft));
    if (o.CropRight > 0) sink.SetOption("cropright", IntText(o.CropRight));
    if (o.GOPSize > 0) sink.SetOption("g", IntText(o.GOPSize));
    if (o.VideoBitRate > 0) sink.SetOption("vb", IntText(o.VideoBitRate));
    if (o.MaxRate > 0) sink.SetOption("maxrate", IntText(o.MaxRate));
    if (o.MinRate > 0) sink.SetOption("minrate", IntText(o.MinRate));
    if (o.VideoBitRateTolerance > 0) sink.SetOption("bt", IntText(o.VideoBitRateTolerance));
    if (o.BufferSize > 0) sink.SetOption("bufsize", IntText(o.BufferSize));
    sink.SetOption("vsync", IntText(o.VideoSyncMethod));
    if (!o.VideoTag.empty()) sink.SetOption("vtag", o.VideoTag);
    sink.SetOption("vlang", o.VideoLanguage);
    if (o.DisableSubtitle) sink.SetOption("sn", "1");
    sink.SetOption("slang", o.SubtitleLanguage);
    sink.SetOption("isync", o.InputSync ? "1" : "0");
    if (o.CopyTimestamps) sink.SetOption("copyts", "1");
    if (o.StartTime != kNoTimeSet) sink.SetStartTime(o.StartTime);
    if (o.Duration != kNoTimeSet) sink.SetRecordingTime(o.Duration);

    const TStreamInfo& m = o.Metadata;
    if (m.Timestamp == 0)
        sink.SetRecordingTimestamp(static_cast<int64_t>(std::time(nullptr)));
    else if (m.Timestamp > 0)
        sink.SetRecordingTimestamp(LocalDateTimeToUnix(m.Timestamp));
    if (m.Year > 0) sink.SetOption("metadata", "year=" + IntText(m.Year));
    if (m.Track > 0) sink.SetOption("metadata", "track=" + IntText(m.Track));
    const std::pair<const char*, const std::string*> texts[] = {
        {"title", &m.Title},     {"author", &m.Author}, {"copyright", &m.Rights},
        {"comment", &m.Comment}, {"album", &m.Album},   {"genre", &m.Genre}};
    for (const auto& [key, value] : texts)
        if (!value->empty()) sink.SetOption("metadata", std::string(key) + "=" + *value);

    const std::string size = settings.Default("s");
    if (!size.empty()) sink.SetOption("s", size);
    const std::string filters = settings.Default("vf");
    if (!filters.empty()) sink.SetOption("vf", filters);
}

void ApplyNewStreamOptions(IOptionSink& sink, const TOutputOptions& options,
                           TOutputStreamSettings& settings) {
    for (const TExtOption& line : ParseExtOptions(options.ExtOptions)) {
        std::vector<std::string> names;
        if (line.Name == "newaudio")
            names = {"acodec", "apre"};
        else if (line.Name == "newvideo")
            names = {"vcodec", "vpre", "s", "vf"};
        else if (line.Name == "newsubtitle")
            names = {"scodec", "spre"};
        else
            continue;
        for (const std::string& name : names) {
            bool applied = false;
            for (auto it = settings.Entries.begin(); it != settings.Entries.end(); ++it) {
                if (it->Name != name) continue;
                const TExtOption entry = *it;
                settings.Entries.erase(it);
                sink.SetOption(entry.Name, entry.Value);
                applied = true;
                break;
            }
            if (!applied) {
                const std::string def = settings.Default(name);
                if (!def.empty()) sink.SetOption(name, def);
            }
        }
        sink.SetOption(line.Name, line.Value);
    }
}

int64_t LocalDateTimeToUnix(double dateTime) {
    // The date-time's wall-clock fields, then the offset that was in force at that moment.
    const double wall = std::round((dateTime - 25569.0) * 86400.0);
    if (!(std::fabs(wall) < 1e15)) return 0;
    const time_t asUtc = static_cast<time_t>(wall);
    struct tm fields {};
    if (!gmtime_r(&asUtc, &fields)) return 0;
    fields.tm_isdst = -1;
    const time_t t = std::mktime(&fields);
    return t == static_cast<time_t>(-1) ? static_cast<int64_t>(wall) : static_cast<int64_t>(t);
}
