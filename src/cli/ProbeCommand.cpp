// tandrel-cli probe: the description text, or the facts as JSON, of media files.
#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <string>

#include "cli/Commands.h"
#include "medialib/LibAV.h"
#include "probe/AVProbe.h"

namespace {

QString utf8(const std::string& s) { return QString::fromStdString(s); }

QJsonObject tagsObject(const AVDictionary* tags) {
    QJsonObject out;
    const AVDictionaryEntry* tag = nullptr;
    while (tags && (tag = lav::av_dict_get(tags, "", tag, AV_DICT_IGNORE_SUFFIX)))
        out.insert(QString::fromUtf8(tag->key), QString::fromUtf8(tag->value ? tag->value : ""));
    return out;
}

QString codecTagText(uint32_t tag) {
    QString text;
    for (int i = 0; i < 4; ++i) {
        const uint32_t c = (tag >> (8 * i)) & 0xff;
        text += (c >= 32 && c <= 126) ? QString(QChar(c)) : QStringLiteral("[%1]").arg(c);
    }
    return text;
}

// One stream's facts. Audio and video numbers come from the probe's stream records; the rest
// of a record's fields read -1 (or "") for kinds that do not have them.
QJsonObject streamObject(TCustomAVProbe& probe, int index) {
    const AVStream* st = probe.Context()->streams[index];
    const AVCodecParameters* par = st->codecpar;
    const char* kind = lav::av_get_media_type_string(par->codec_type);

    QJsonObject o;
    o.insert("index", index);
    o.insert("kind", kind ? kind : "unknown");
    o.insert("attached_pic", (st->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0);
    o.insert("codec_name", lav::avcodec_get_name(par->codec_id));
    o.insert("codec_description", utf8(avprobe::CodecDescription(par)));
    o.insert("codec_tag", QStringLiteral("0x%1").arg(par->codec_tag, 4, 16, QLatin1Char('0')));
    o.insert("codec_tag_string", codecTagText(par->codec_tag));

    TVideoStreamInfo video;
    TAudioStreamInfo audio;
    int64_t start = -1, duration = -1, bitRate = par->bit_rate;
    std::string language;
    if (par->codec_type == AVMEDIA_TYPE_VIDEO && probe.GetVideoStreamInfo(index, &video)) {
        start = video.StartTime;
        duration = video.Duration;
        bitRate = video.BitRate;
        language = video.Language;
    } else if (par->codec_type == AVMEDIA_TYPE_AUDIO && probe.GetAudioStreamInfo(index, &audio)) {
        start = audio.StartTime;
        duration = audio.Duration;
        bitRate = audio.BitRate;
        language = audio.Language;
    } else {
        AVRational tb = st->time_base;
        if (tb.den == 0) tb.den = tb.num ? tb.num : 1;
        if (st->start_time != AV_NOPTS_VALUE)
            start = lav::av_rescale_q(st->start_time, tb, AVRational{1, 1000000});
        if (st->duration != AV_NOPTS_VALUE)
            duration = lav::av_rescale_q(st->duration, tb, AVRational{1, 1000000});
        const AVDictionaryEntry* e = lav::av_dict_get(st->metadata, "language", nullptr, 0);
        if (e && e->value) language = e->value;
    }
    const char* pixFmt =
        video.PixelFormat >= 0
            ? lav::av_get_pix_fmt_name(static_cast<AVPixelFormat>(video.PixelFormat))
            : nullptr;
    const char* sampleFmt =
        audio.SampleFormat >= 0
            ? lav::av_get_sample_fmt_name(static_cast<AVSampleFormat>(audio.SampleFormat))
            : nullptr;
    o.insert("width", video.Width);
    o.insert("height", video.Height);
    o.insert("display_aspect", video.DisplayAspect);
    o.insert("pixel_format", pixFmt ? pixFmt : "");
    o.insert("frame_rate_num", video.FrameRateNum);
    o.insert("frame_rate_den", video.FrameRateDen);
    o.insert("sample_rate", audio.SampleRate);
    o.insert("channels", audio.Channels);
    o.insert("sample_format", sampleFmt ? sampleFmt : "");
    o.insert("bit_rate", static_cast<qint64>(bitRate));
    o.insert("language", utf8(language));
    o.insert("start", static_cast<qint64>(start));
    o.insert("duration", static_cast<qint64>(duration));
    return o;
}

QJsonObject fileObject(TCustomAVProbe& probe) {
    TFileStreamInfo info;
    probe.GetFileInfo(&info);
    QJsonObject o;
    o.insert("file", probe.FileName());
    o.insert("format_name", utf8(probe.FormatShortName()));
    o.insert("format_long_name", utf8(probe.FormatLongName()));
    o.insert("size", static_cast<qint64>(probe.FileSize()));
    o.insert("start", static_cast<qint64>(info.StartTime));
    o.insert("duration", static_cast<qint64>(info.Duration));
    o.insert("bit_rate", info.BitRate);
    o.insert("stream_count", probe.StreamCount());
    o.insert("program_count", probe.ProgramCount());
    o.insert("audio_stream_count", probe.AudioStreamCount());
    o.insert("video_stream_count", probe.VideoStreamCount());
    o.insert("subtitle_stream_count", probe.SubtitleStreamCount());
    o.insert("first_audio_stream", probe.FirstAudioStream());
    o.insert("first_video_stream", probe.FirstVideoStream());
    o.insert("first_subtitle_stream", probe.FirstSubtitleStream());
    o.insert("tags", tagsObject(probe.Context()->metadata));
    QJsonArray streams;
    for (int i = 0; i < probe.StreamCount(); ++i) streams.append(streamObject(probe, i));
    o.insert("streams", streams);
    return o;
}

void write(FILE* out, const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), out);
}

}  // namespace

int RunProbe(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Prints the description text of each media file. With --json, prints one "
                       "JSON array with the facts of every file that could be opened.\n"
                       "A file that cannot be opened is named on standard error with the "
                       "reason; the exit status is then 1."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("Print the facts as JSON instead of the text."));
    parser.addOption(help);
    parser.addOption(json);
    parser.addPositionalArgument(QStringLiteral("files"), QStringLiteral("Media files."),
                                 QStringLiteral("FILE..."));
    const QString usage = QStringLiteral("Usage: tandrel-cli probe [--json] FILE...\n");
    if (!parser.parse(args)) {
        std::fprintf(stderr, "tandrel-cli probe: %s\n%s", parser.errorText().toUtf8().constData(),
                     usage.toUtf8().constData());
        return 2;
    }
    if (parser.isSet(help)) {
        // The parser's own text names the program by its first argument ("probe").
        QString text = parser.helpText();
        text.replace(0, text.indexOf(QLatin1Char('\n')) + 1, usage);
        write(stdout, text.toUtf8());
        return 0;
    }
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty()) {
        std::fprintf(stderr, "tandrel-cli probe: no file given\n%s", usage.toUtf8().constData());
        return 2;
    }
    if (!CliLoadLibraries()) return 1;

    bool failed = false;
    bool first = true;
    QJsonArray facts;
    TAVProbe probe;
    for (const QString& file : files) {
        if (!probe.LoadFile(file)) {
            // The probe's text already reads "<file>: <reason>".
            std::fflush(stdout);
            std::fprintf(stderr, "%s\n", probe.LastErrorMessage().c_str());
            failed = true;
            continue;
        }
        if (parser.isSet(json)) {
            facts.append(fileObject(probe));
        } else {
            QByteArray text = QByteArray::fromStdString(probe.InfoText());
            text.replace("\r\n", "\n");
            if (!first) text.prepend('\n');
            write(stdout, text);
            std::fflush(stdout);
        }
        first = false;
        probe.Close();
    }
    if (parser.isSet(json)) write(stdout, QJsonDocument(facts).toJson(QJsonDocument::Indented));
    return failed ? 1 : 0;
}
