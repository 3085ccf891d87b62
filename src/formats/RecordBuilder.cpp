#include "formats/RecordBuilder.h"

#include "engine/UnicodeProtocol.h"

namespace formats {

namespace {

std::string Utf8(const QString& text) { return text.toUtf8().toStdString(); }

// Index of the first character of the file-name part.
qsizetype FileNameStart(const QString& path) { return path.lastIndexOf(QLatin1Char('/')) + 1; }

}  // namespace

std::string ForcedInputFormat(const QString& source) {
    return source.endsWith(QLatin1String(".dat"), Qt::CaseInsensitive) ? std::string("mpeg")
                                                                       : std::string();
}

TInputOptions BuildInputRecord(const JobFields& f, AddMode mode) {
    TInputOptions in;
    in.FileName = f.SourceFile;
    in.FileFormat = ForcedInputFormat(f.SourceFile);
    in.StartTime = mode == AddMode::OneFile ? f.JobCutStart * 1000 : f.JobCutStart;
    return in;
}

TOutputOptions BuildOutputRecord(const JobFields& f, AddMode mode, const QString& outputFile) {
    TOutputOptions out;
    const QString autoText = QStringLiteral("AUTO");
    out.FileName = outputFile;
    if (!f.JobFormat.isEmpty()) out.FileFormat = Utf8(f.JobFormat);
    if (!f.JobAudioCodec.isEmpty() && f.JobAudioCodec != autoText)
        out.AudioCodec = Utf8(f.JobAudioCodec);
    if (f.JobVolume != QLatin1String("256")) out.AudioVolume = f.JobVolume.toInt();
    if (!f.JobAudioChannels.isEmpty()) out.AudioChannels = f.JobAudioChannels.toInt();
    if (!f.JobSampleRate.isEmpty() && f.JobSampleRate != autoText)
        out.AudioSampleRate = f.JobSampleRate.toInt();
    if (f.JobAudioBitRate != -1000 && f.JobAudioBitRate != -2000)
        out.AudioBitRate = f.JobAudioBitRate;
    out.DisableVideo = f.JobAudioOnly;
    if (!f.JobFrameRate.isEmpty()) out.FrameRate = Utf8(f.JobFrameRate);
    if (!f.JobFrameSize.isEmpty()) out.FrameSize = Utf8(f.JobFrameSize);
    if (!f.JobAspect.isEmpty()) out.AspectRatio = Utf8(f.JobAspect);
    if (f.JobVideoBitRate != -1000) out.VideoBitRate = f.JobVideoBitRate;
    if (!f.JobVideoFilters.isEmpty()) out.VideoFilters = Utf8(f.JobVideoFilters);
    if (!f.JobVideoTag.isEmpty()) out.VideoTag = Utf8(f.JobVideoTag);

    // The codec rule: the MPEG-4 encoder keeps a DivX/XviD tag only inside AVI.
    if (!f.JobVideoCodec.isEmpty()) {
        out.VideoCodec = Utf8(f.JobVideoCodec);
        if (f.JobVideoCodec == QLatin1String("libx264")) out.VideoPreset = "libx264-default";
        if (f.JobVideoCodec == QLatin1String("mpeg4")) {
            const bool keep = (f.JobVideoTag == QLatin1String("DX50") ||
                               f.JobVideoTag == QLatin1String("XVID")) &&
                              f.OutputExtension == QLatin1String(".avi");
            if (!keep) out.VideoTag.clear();
        }
    }

    // Every profile names devices and players that decode 8-bit 4:2:0 pictures only (an RGB,
    // 4:2:2 or 10-bit source would otherwise keep its format wherever the encoder takes it).
    if (!f.JobAudioOnly) out.ExtOptions = "pix_fmt=yuv420p";

    if (!f.JobTarget.isEmpty()) {
        if (f.JobTarget == QLatin1String("vcd"))
            out.Target = 1;
        else if (f.JobTarget == QLatin1String("svcd"))
            out.Target = 2;
        else if (f.JobTarget == QLatin1String("dvd"))
            out.Target = 3;
        else
            out.Target = 0;
    }
    out.TargetNorm = f.JobTVStandard == QLatin1String("PAL")    ? 1
                     : f.JobTVStandard == QLatin1String("NTSC") ? 2
                                                                : 0;

    const bool select = f.JobCutMode == QLatin1String("Select");
    if (mode == AddMode::OneFile) {
        if (select)
            out.Duration = f.JobCutDuration * 1000;
        else
            out.StartTime = 0;
    }
    return out;
}

QString CandidateOutputName(const JobFields& f, AddMode mode, const QString& outputFolder) {
    QString base, ext, ignored;
    if (mode == AddMode::OneFile) {
        SplitExtension(f.OutputFile, &base, &ext);
        return FitFileName(base, ext);
    }
    SplitExtension(f.OutputFile, &ignored, &ext);
    const QString source = f.SourceFile.mid(FileNameStart(f.SourceFile));
    const qsizetype dot = source.lastIndexOf(QLatin1Char('.'));
    base = dot < 0 ? source : source.left(dot);
    QString folder = outputFolder;
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    return FitFileName(folder + base, ext);
}

qsizetype NumberMarker(const QString& path) {
    QString base, ext;
    SplitExtension(path, &base, &ext);
    if (!base.endsWith(QLatin1Char(')'))) return -1;
    const qsizetype marker = base.lastIndexOf(QLatin1String("(New_"));
    if (marker < FileNameStart(path)) return -1;
    const qsizetype first = marker + 5, last = base.size() - 1;  // digits in [first, last)
    if (first == last) return -1;
    for (qsizetype i = first; i < last; ++i)
        if (base[i] < QLatin1Char('0') || base[i] > QLatin1Char('9')) return -1;
    return marker;
}

QString BatchOutputName(const QString& storedName, const QString& outputFolder,
                        OverwritePolicy policy, const NameTaken& exists, const NameTaken& claimed) {
    QString path = outputFolder;
    if (!path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
    path += storedName.mid(FileNameStart(storedName));
    const auto isClaimed = [&](const QString& p) { return claimed && claimed(p); };
    const NameTaken taken = [&](const QString& p) {
        return isClaimed(p) || (policy == OverwritePolicy::NewName && exists(p));
    };
    const qsizetype marker = NumberMarker(path);
    if (marker < 0) return NumberedName(path, taken);
    QString base, ext;
    SplitExtension(path, &base, &ext);
    return NumberedName(path.left(marker) + ext, taken);
}

}  // namespace formats
