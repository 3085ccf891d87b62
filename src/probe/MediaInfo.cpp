#include "probe/MediaInfo.h"

#include <climits>
#include <cmath>

#include "engine/FFUtils.h"
#include "medialib/LibAV.h"
#include "probe/AVProbe.h"

namespace {

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

// Bit/s as whole kbit/s, halves to even (the default rounding mode); -1 (unknown) reads 0.
QString Kbps(int64_t bitRate) {
    return QString::number(static_cast<int64_t>(std::nearbyint(bitRate / 1000.0)));
}

QString StreamText(const TCustomAVProbe& probe, int index) {
    return index < 0 ? QString() : FromUtf8(probe.StreamDescription(index));
}

// The video bit rate a container does not store (FLV, Matroska): the file's rate less its audio
// streams', when there is one video stream and every rate is known; -1 otherwise.
int64_t VideoBitRateByDifference(const TCustomAVProbe& probe, int64_t fileBitRate) {
    const AVFormatContext* ic = probe.Context();
    if (!ic || fileBitRate <= 0 || probe.VideoStreamCount() != 1) return -1;
    int64_t rest = fileBitRate;
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        const AVCodecParameters* par = ic->streams[i]->codecpar;
        if (par->codec_type != AVMEDIA_TYPE_AUDIO) continue;
        if (par->bit_rate <= 0) return -1;
        rest -= par->bit_rate;
    }
    return rest > 0 ? rest : -1;
}

}  // namespace

TMediaInfoTexts MediaInfoTexts(TCustomAVProbe& probe) {
    TMediaInfoTexts t;
    TAudioStreamInfo audio;
    TVideoStreamInfo video;
    // Worked out only for a video stream whose rate the container does not store.
    constexpr int64_t kNotStored = INT64_MIN;
    int64_t videoBitRate = kNotStored;
    if (probe.Context()) {
        t.InfoFileName = probe.FileName();
        t.InfoFormatName = FromUtf8(probe.FormatShortName());
        t.InfoFormatLongName = FromUtf8(probe.FormatLongName());
        t.InfoDump = FromUtf8(probe.InfoText());
        t.InfoVideoText = StreamText(probe, probe.FirstVideoStream());
        t.InfoAudioText = StreamText(probe, probe.FirstAudioStream());
        t.InfoSizeText = QLatin1Char(' ') + FromUtf8(SizeToStr(probe.FileSize()));

        TFileStreamInfo file;
        probe.GetFileInfo(&file);
        if (file.Duration >= 0) {
            // The time text without its ".mmm" milliseconds.
            const std::string time = DurationToStr(file.Duration);
            t.InfoDurationText = QLatin1Char(' ') + FromUtf8(time.substr(0, time.size() - 4));
        }
        t.InfoBitRateText = QLatin1Char(' ') + FromUtf8(avprobe::BitRateText(file.BitRate));

        if (probe.FirstAudioStream() >= 0) probe.GetAudioStreamInfo(-1, &audio);
        if (probe.FirstVideoStream() >= 0) {
            probe.GetVideoStreamInfo(-1, &video);
            if (video.BitRate <= 0) videoBitRate = VideoBitRateByDifference(probe, file.BitRate);
        }
    }
    t.InfoSampleRate = QString::number(audio.SampleRate);
    t.InfoChannels = QString::number(audio.Channels);
    t.InfoAudioKbps = Kbps(audio.BitRate);
    t.InfoVideoKbps = videoBitRate == kNotStored ? Kbps(video.BitRate)
                      : videoBitRate > 0         ? Kbps(videoBitRate)
                                                 : QString::fromUtf8("未知");
    t.InfoWidth = QString::number(video.Width);
    t.InfoHeight = QString::number(video.Height);
    t.InfoFrameRate =
        video.FrameRateNum > 0 && video.FrameRateDen > 0
            ? QString::number(static_cast<double>(video.FrameRateNum) / video.FrameRateDen, 'f', 2)
            : QStringLiteral("N/A");
    return t;
}

TMediaInfoLabels MediaInfoLabels(const TMediaInfoTexts& t) {
    TMediaInfoLabels l;
    // Only "/" separates folders here: ":" and "\" are ordinary characters of a file name.
    l.FileName = t.InfoFileName.mid(t.InfoFileName.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = l.FileName.lastIndexOf(QLatin1Char('.'));
    l.Extension = dot >= 0 ? l.FileName.mid(dot) : QString();
    l.Format = t.InfoFormatName;
    l.Duration = t.InfoDurationText;
    l.Size = t.InfoSizeText;
    l.BitRate = t.InfoBitRateText;
    l.FormatLongName = t.InfoFormatLongName;
    l.Resolution = t.InfoWidth + QLatin1Char('*') + t.InfoHeight;
    l.FrameRate = t.InfoFrameRate;
    bool rate = false;
    t.InfoVideoKbps.toLongLong(&rate);
    l.VideoKbps = rate ? t.InfoVideoKbps + QStringLiteral("  kbps") : t.InfoVideoKbps;
    l.AudioKbps = t.InfoAudioKbps + QStringLiteral("  kbps");
    l.SampleRate = t.InfoSampleRate;

    // An opened file (it has a description text) without a stream of the kind reads "无".
    const bool opened = !t.InfoDump.isEmpty();
    const QString none = QString::fromUtf8("无");
    l.VideoStream = t.InfoVideoText.isEmpty() && opened ? none : t.InfoVideoText;
    l.AudioStream = t.InfoAudioText.isEmpty() && opened ? none : t.InfoAudioText;

    bool ok = false;
    const int channels = t.InfoChannels.toInt(&ok);
    if (!ok || channels < 1)
        l.Channels.clear();
    else if (channels == 1)
        l.Channels = QString::fromUtf8("单声道");
    else if (channels == 2)
        l.Channels = QString::fromUtf8("立体声");
    else
        l.Channels = QString::number(channels) + QString::fromUtf8("声道");
    return l;
}
