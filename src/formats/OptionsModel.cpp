#include "formats/OptionsModel.h"

#include <cmath>
#include <limits>

namespace formats {

void JobFields::ResetOptions() {
    const int formatIndex = FormatIndex;
    const QString sourceFile = SourceFile;
    const QString cutMode = JobCutMode;
    *this = JobFields{};
    FormatIndex = formatIndex;
    SourceFile = sourceFile;
    JobCutMode = cutMode;
}

QString ToText(const JobFields& f) {
    QString out;
    auto line = [&out](const char* name, const QString& value) {
        out += QLatin1String(name) + QLatin1Char('=') + value + QLatin1Char('\n');
    };
    line("FormatIndex", QString::number(f.FormatIndex));
    line("SourceFile", f.SourceFile);
    line("OutputFile", f.OutputFile);
    line("OutputExtension", f.OutputExtension);
    line("JobVideoCodec", f.JobVideoCodec);
    line("JobVideoTag", f.JobVideoTag);
    line("JobVideoBitRate", QString::number(f.JobVideoBitRate));
    line("JobFrameSize", f.JobFrameSize);
    line("JobFrameRate", f.JobFrameRate);
    line("JobAspect", f.JobAspect);
    line("JobVideoFilters", f.JobVideoFilters);
    line("JobFormat", f.JobFormat);
    line("JobTarget", f.JobTarget);
    line("JobTVStandard", f.JobTVStandard);
    line("JobAudioCodec", f.JobAudioCodec);
    line("JobAudioBitRate", QString::number(f.JobAudioBitRate));
    line("JobSampleRate", f.JobSampleRate);
    line("JobAudioChannels", f.JobAudioChannels);
    line("JobVolume", f.JobVolume);
    line("JobAudioOnly", f.JobAudioOnly ? QStringLiteral("true") : QStringLiteral("false"));
    line("JobCutStart", QString::number(f.JobCutStart));
    line("JobCutDuration", QString::number(f.JobCutDuration));
    line("JobCutMode", f.JobCutMode);
    return out;
}

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// The file-name part after the last "/".
QString FileNamePart(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString ReplaceExtension(const QString& name, const QString& extension) {
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return (dot > 0 ? name.left(dot) : name) + extension;
}

QString TwoDigits(int64_t value) {
    QString text = QString::number(value);
    if (text.size() < 2) text.prepend(QLatin1Char('0'));
    return text;
}

// A whole number as the time boxes and the bit-rate items hold it: ASCII digits only, within
// the 32-bit range, so that every product below fits in 64 bits.
std::optional<int64_t> ParseCount(const QString& text) {
    if (text.isEmpty() || text.size() > 10) return std::nullopt;
    int64_t value = 0;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
    }
    if (value > std::numeric_limits<int32_t>::max()) return std::nullopt;
    return value;
}

QString NotAnInteger(const QString& text) {
    return QStringLiteral("'%1' is not a valid integer value").arg(text);
}

struct VideoCodecEffect {
    const char* item;
    const char* codec;       // nullptr: no codec change beyond the table's own
    const char* tag;         // nullptr: tag untouched
    const char* format;      // nullptr: JobFormat untouched
    const char* discTarget;  // non-null: a disc choice
    const char* standard;
    const char* suffix;
};

// Items absent from this table (such as "VOB视频压缩器") change nothing.
constexpr VideoCodecEffect kVideoCodecs[] = {
    {"Divx 5 视频压缩器", "mpeg4", "DX50", nullptr, nullptr, nullptr, nullptr},
    {"Divx 视频压缩器", "msmpeg4", nullptr, nullptr, nullptr, nullptr, nullptr},
    {"XviD 视频压缩器2", "libxvid", nullptr, nullptr, nullptr, nullptr, nullptr},
    {"XviD 视频压缩器1", "mpeg4", "XVID", nullptr, nullptr, nullptr, nullptr},
    {"MPEG4视频压缩器", "mpeg4", nullptr, nullptr, nullptr, nullptr, nullptr},
    {"H264/AVC高清视频压缩器", "libx264", nullptr, nullptr, nullptr, nullptr, nullptr},
    {"MPEG4 视频压缩器", "mpeg4", nullptr, nullptr, nullptr, nullptr, nullptr},
    {"Mjpeg 视频压缩器", "mjpeg", nullptr, nullptr, nullptr, nullptr, nullptr},
    {"RM视频压缩器1", "rv10", nullptr, nullptr, nullptr, nullptr, nullptr},
    {"RM视频压缩器2", "rv20", nullptr, nullptr, nullptr, nullptr, nullptr},
    {"FLASH格式视频压缩器", "", nullptr, nullptr, nullptr, nullptr, nullptr},
    {"FLV格式视频压缩器", "", nullptr, nullptr, nullptr, nullptr, nullptr},
    {"该格式无视频", "", nullptr, nullptr, nullptr, nullptr, nullptr},
    {"无", "", nullptr, nullptr, nullptr, nullptr, nullptr},
    {"QuickTime视频压缩器", "", nullptr, nullptr, nullptr, nullptr, nullptr},
    {"WMV视频压缩器", "wmv2", nullptr, nullptr, nullptr, nullptr, nullptr},
    {"MPEG视频压缩器", "mpeg1video", nullptr, nullptr, nullptr, nullptr, nullptr},
    {"ASF视频压缩器", "msmpeg4", nullptr, "asf", nullptr, nullptr, nullptr},
    {"PAL_DVD视频压缩器", nullptr, nullptr, nullptr, "dvd", "PAL", "_PAL.mpg"},
    {"NTSC_DVD视频压缩器", nullptr, nullptr, nullptr, "dvd", "NTSC", "_NTSC.mpg"},
    {"PAL_SVCD视频压缩器", nullptr, nullptr, nullptr, "svcd", "PAL", "_PAL.mpg"},
    {"NTSC_SVCD视频压缩器", nullptr, nullptr, nullptr, "svcd", "NTSC", "_NTSC.mpg"},
    {"PAL_VCD视频压缩器", nullptr, nullptr, nullptr, "vcd", "PAL", "_PAL.mpg"},
    {"NTSC_VCD视频压缩器", nullptr, nullptr, nullptr, "vcd", "NTSC", "_NTSC.mpg"},
};

// Items absent from this table (such as "VOB音频编码器") change nothing. "libfaac" is the
// engine's name for the AAC encoder.
constexpr std::pair<const char*, const char*> kAudioCodecs[] = {
    {"MP3音频编码器", "libmp3lame"},
    {"Flac音频编码器", "flac"},
    {"AAC音频编码器", "libfaac"},
    {"AC3音频编码器", "ac3"},
    {"自动音频编码器", "AUTO"},
    {"WMV音频编码器", "wmav2"},
    {"WMA音频编码器", "wmav2"},
    {"WAVE音频编码器", ""},
    {"OGG音频编码器", "libvorbis"},
    {"RM音频编码器", ""},
    {"MP2音频编码器", ""},
    {"AMR音频编码器", "libopencore_amrnb"},
    {"ASF音频编码器1", "wmav2"},
    {"ASF音频编码器2", "wmav1"},
    {"无", ""},
};

// 256 × (1 ∓ p/100) for the percent items, 256 × (n + 1) for the "倍" items, rounded.
constexpr std::pair<const char*, const char*> kVolumes[] = {
    {"无声音", "0"},          {"音量降低90%", "26"},   {"音量降低80%", "51"},
    {"音量降低70%", "77"},    {"音量降低60%", "102"},  {"音量降低50%", "128"},
    {"音量降低40%", "154"},   {"音量降低30%", "179"},  {"音量降低20%", "205"},
    {"音量降低10%", "230"},   {"音量保持不变", "256"}, {"音量增加10%", "282"},
    {"音量增加20%", "307"},   {"音量增加30%", "333"},  {"音量增加40%", "358"},
    {"音量增加50%", "384"},   {"音量增加60%", "410"},  {"音量增加70%", "435"},
    {"音量增加80%", "461"},   {"音量增加90%", "486"},  {"音量增加1倍", "512"},
    {"音量增加1.5倍", "640"}, {"音量增加2倍", "768"},  {"音量增加3倍", "1024"},
    {"音量增加4倍", "1280"},  {"音量增加5倍", "1536"}, {"音量增加6倍", "1792"},
    {"音量增加7倍", "2048"},
};

}  // namespace

std::optional<QString> VolumeOf(const QString& item) {
    for (const auto& [text, value] : kVolumes)
        if (item == U(text)) return QString::fromLatin1(value);
    return std::nullopt;
}

QString OutputPathFor(const QString& folder, const QString& source, const QString& extension) {
    QString path = folder;
    if (!path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
    return path + ReplaceExtension(FileNamePart(source), extension);
}

void OptionsModel::PrepareForAddition(bool oneFile) {
    cutAllowed_ = oneFile;
    cutChecked_ = false;
}

void OptionsModel::SetList(Slot slot, const SlotChoice& choice) {
    List& list = At(slot);
    list.list = FindChoiceList(choice.list);
    list.selected = list.list && choice.position < list.list->size() ? choice.position : -1;
}

void OptionsModel::Open(const JobFields& current, const QString& outputFolder,
                        const DurationReader& reader) {
    fields_ = current;
    outputFolder_ = outputFolder;
    lists_ = {};
    filters_ = {};
    fields_.JobVideoFilters.clear();
    fields_.JobVideoTag.clear();

    // Video mode first; an audio-only profile switches to audio mode below.
    mediaKind_ = QStringLiteral("Vedio");
    fields_.JobFormat.clear();
    discTarget_.clear();
    fields_.JobTVStandard.clear();

    profile_ = FindProfile(fields_.FormatIndex);
    if (profile_) {
        fields_.OutputFile = OutputPathFor(outputFolder_, fields_.SourceFile,
                                           QString::fromUtf8(profile_->fileExtension));
        fields_.OutputExtension = QString::fromUtf8(profile_->extensionTag);
        if (!profile_->forcedContainer.empty())
            fields_.JobFormat = QString::fromUtf8(profile_->forcedContainer);
        if (!profile_->discTarget.empty()) discTarget_ = QString::fromUtf8(profile_->discTarget);
        if (profile_->audioOnly) mediaKind_ = QStringLiteral("Music");
        for (Slot slot : kAllSlots) SetList(slot, profile_->Choice(slot));
    }

    // The duration of an earlier source must never stand in for this one's.
    sourceDuration_.clear();
    int64_t duration = -1;
    if (cutAllowed_ && reader) duration = reader(fields_.SourceFile);
    const QString zero = QStringLiteral("00");
    cut_[0] = cut_[1] = cut_[2] = zero;
    if (duration >= 0) {
        const int64_t s = duration / 1000000;
        const int64_t h = s / 3600;
        const int64_t m = (s - 3600 * h) / 60;
        sourceDuration_ = QString::number(s);
        cut_[3] = TwoDigits(h);
        cut_[4] = TwoDigits(m);
        cut_[5] = TwoDigits(s - 3600 * h - 60 * m);
    } else {
        cut_[3].clear();
        cut_[4].clear();
        cut_[5].clear();
    }
    opened_ = fields_;
}

QStringList OptionsModel::Items(Slot slot) const {
    const List& list = At(slot);
    return list.list ? list.list->Items() : QStringList{};
}

QString OptionsModel::ListName(Slot slot) const {
    const List& list = At(slot);
    return list.list ? QString::fromUtf8(list.list->name) : QString{};
}

int OptionsModel::Selected(Slot slot) const { return At(slot).selected; }

QString OptionsModel::SelectedText(Slot slot) const {
    const List& list = At(slot);
    return list.list ? list.list->Item(list.selected) : QString{};
}

std::optional<Slot> OptionsModel::Select(Slot slot, int position) {
    List& list = At(slot);
    if (!list.list || position < 0 || position >= list.list->size()) return std::nullopt;
    list.selected = position;
    if (slot != Slot::VideoCodec) return std::nullopt;
    const auto replacement = CodecDependentList(fields_.FormatIndex, list.list->Item(position));
    if (!replacement) return std::nullopt;
    SetList(replacement->slot, replacement->choice);
    return replacement->slot;
}

bool OptionsModel::SelectText(Slot slot, const QString& text, std::optional<Slot>* replaced) {
    const QStringList items = Items(slot);
    const int position = items.indexOf(text);
    if (position < 0) return false;
    const auto r = Select(slot, position);
    if (replaced) *replaced = r;
    return true;
}

OptionsModel::Outcome OptionsModel::Confirm() {
    JobFields f = opened_;
    auto finish = [this, &f](Outcome::Kind kind, const QString& message) {
        fields_ = f;
        return Outcome{kind, message};
    };

    // 1. Channels.
    const QString channels = SelectedText(Slot::Channels);
    if (channels == U("立体声"))
        f.JobAudioChannels = QStringLiteral("2");
    else if (channels == U("单声道"))
        f.JobAudioChannels = QStringLiteral("1");

    // 2. Sample rate.
    const QString rate = SelectedText(Slot::SampleRate);
    f.JobSampleRate = rate == U("自动音频采样率") ? QStringLiteral("AUTO") : rate;

    // 3. Audio bit-rate: "7.4" → 7400, "128" → 128000.
    const QString audioRate = SelectedText(Slot::AudioBitRate);
    if (audioRate == U("自动音频比特率")) {
        f.JobAudioBitRate = -1000;
    } else if (audioRate.contains(QLatin1Char('.'))) {
        bool ok = false;
        const double kbps = audioRate.toDouble(&ok);
        if (!ok || !(kbps >= 0) || kbps > std::numeric_limits<int32_t>::max() / 1000)
            return finish(Outcome::InvalidNumber, NotAnInteger(audioRate));
        f.JobAudioBitRate = static_cast<int>(std::llround(kbps * 1000));
    } else {
        const auto kbps = ParseCount(audioRate);
        if (!kbps || *kbps > std::numeric_limits<int32_t>::max() / 1000)
            return finish(Outcome::InvalidNumber, NotAnInteger(audioRate));
        f.JobAudioBitRate = static_cast<int>(*kbps * 1000);
    }

    // 4.–6. Frame size, frame rate, scaling mode.
    const QString none = U("无");
    const QString size = SelectedText(Slot::FrameSize);
    f.JobFrameSize = (size == U("保持原分辨率") || size == none) ? QString{} : size;
    const QString frameRate = SelectedText(Slot::FrameRate);
    f.JobFrameRate = (frameRate == U("保持原帧速率") || frameRate == none) ? QString{} : frameRate;
    const QString aspect = SelectedText(Slot::Aspect);
    if (aspect == U("普通视频4:3模式"))
        f.JobAspect = QStringLiteral("4:3");
    else if (aspect == U("宽屏视频16:9模式"))
        f.JobAspect = QStringLiteral("16:9");
    else if (aspect == none)
        f.JobAspect.clear();

    // 7. Video bit-rate: the number before "kbps".
    const QString videoRate = SelectedText(Slot::VideoBitRate);
    if (videoRate == none) {
        f.JobVideoBitRate = -1000;
    } else {
        const int kbpsAt = videoRate.indexOf(QLatin1String("kbps"));
        const QString number = (kbpsAt >= 0 ? videoRate.left(kbpsAt) : videoRate).trimmed();
        const auto kbps = ParseCount(number);
        if (!kbps || *kbps > std::numeric_limits<int32_t>::max() / 1000)
            return finish(Outcome::InvalidNumber, NotAnInteger(number));
        f.JobVideoBitRate = static_cast<int>(*kbps * 1000);
    }

    // 8. Video codec.
    const QString videoCodec = SelectedText(Slot::VideoCodec);
    for (const VideoCodecEffect& effect : kVideoCodecs) {
        if (videoCodec != U(effect.item)) continue;
        if (effect.discTarget) {
            f.JobTarget = QString::fromLatin1(effect.discTarget);
            f.JobTVStandard = QString::fromLatin1(effect.standard);
            f.JobAudioChannels.clear();
            f.JobSampleRate.clear();
            f.JobFrameSize.clear();
            f.JobFrameRate.clear();
            f.JobAspect.clear();
            f.JobFormat.clear();
            f.JobVideoTag.clear();
            f.JobVideoCodec.clear();
            f.JobAudioCodec.clear();
            f.JobVolume = QStringLiteral("256");
            f.JobVideoBitRate = -1000;
            f.JobAudioBitRate = -1000;
            // From the name Open gave, so a second confirmation cannot make a_PAL_PAL.mpg.
            f.OutputFile = OutputPathFor(outputFolder_, opened_.OutputFile,
                                         QString::fromLatin1(effect.suffix));
        } else {
            f.JobVideoCodec = QString::fromLatin1(effect.codec);
            if (effect.tag) f.JobVideoTag = QString::fromLatin1(effect.tag);
            if (effect.format) f.JobFormat = QString::fromLatin1(effect.format);
        }
        break;
    }

    // 9. Picture filters.
    static constexpr const char* kFilterWords[] = {"hflip", "vflip", "negate"};
    for (int i = 0; i < 3; ++i) {
        if (!filters_[static_cast<size_t>(i)]) continue;
        if (!f.JobVideoFilters.isEmpty()) f.JobVideoFilters += QLatin1Char(',');
        f.JobVideoFilters += QLatin1String(kFilterWords[i]);
    }

    // 10. Audio codec.
    const QString audioCodec = SelectedText(Slot::AudioCodec);
    for (const auto& [item, codec] : kAudioCodecs) {
        if (audioCodec == U(item)) {
            f.JobAudioCodec = QString::fromLatin1(codec);
            break;
        }
    }

    // 11.–13. Disc target, audio-only, volume.
    f.JobTarget = discTarget_;
    f.JobAudioOnly = mediaKind_ == QLatin1String("Music");
    if (const auto volume = VolumeOf(SelectedText(Slot::Volume))) f.JobVolume = *volume;

    // 14. Cut range.
    if (!cutChecked_) {
        f.JobCutStart = 0;
        f.JobCutMode = QStringLiteral("NoSelect");
        return finish(Outcome::Accepted, {});
    }
    for (QString& text : cut_)
        if (text.isEmpty()) text = QStringLiteral("00");
    int64_t values[6];
    for (int i = 0; i < 6; ++i) {
        const auto value = ParseCount(cut_[static_cast<size_t>(i)]);
        if (!value)
            return finish(Outcome::InvalidNumber, NotAnInteger(cut_[static_cast<size_t>(i)]));
        values[i] = *value;
    }
    const int64_t start = (values[0] * 3600 + values[1] * 60 + values[2]) * 1000;
    const int64_t stop = (values[3] * 3600 + values[4] * 60 + values[5]) * 1000;
    // An unknown duration imposes no limit; only the order of start and stop is checked.
    if (!sourceDuration_.isEmpty() && stop > sourceDuration_.toLongLong() * 1000)
        return finish(Outcome::CutRefused, U("截取时间设置错误，不允许停止时间大于时间长度！"));
    if (stop <= start)
        return finish(Outcome::CutRefused, U("截取时间设置错误，不允许起始时间大于等于停止时间！"));
    f.JobCutStart = start;
    f.JobCutDuration = stop - start;
    f.JobCutMode = QStringLiteral("Select");
    return finish(Outcome::Accepted, {});
}

std::optional<JobFields> DefaultJobFields(int formatIndex, const QString& sourceFile,
                                          const QString& outputFolder) {
    JobFields current;
    current.FormatIndex = formatIndex;
    current.SourceFile = sourceFile;
    OptionsModel model;
    model.PrepareForAddition(true);
    model.Open(current, outputFolder, {});
    if (!model.HasProfile()) return std::nullopt;
    model.Confirm();
    return model.Fields();
}

}  // namespace formats
