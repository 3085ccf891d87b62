// The media information texts of one file (what the information window shows), built from the
// probe's facts with the same formatters as its description text. No widgets; UI thread (the
// probe's thread).
#pragma once

#include <QString>

class TCustomAVProbe;

// The sixteen texts of the information action. After a failed open every text is empty and
// the numbers read from stream records are "-1" (bit rates "0", frame rate "N/A").
struct TMediaInfoTexts {
    QString InfoFileName;        // the probe's FileName
    QString InfoFormatName;      // FormatShortName
    QString InfoFormatLongName;  // FormatLongName
    QString InfoDump;            // InfoText; empty when no file is open
    QString InfoVideoText;       // first video stream's description; empty without one
    QString InfoAudioText;       // first audio stream's description; empty without one
    QString InfoSizeText;        // " 172.27 KB"
    QString InfoDurationText;    // " 00:03:45" (milliseconds dropped); empty when unknown
    QString InfoBitRateText;     // " 470 kb/s", " N/A" when unknown
    QString InfoSampleRate;      // first audio stream's rate in Hz, "-1" without audio
    QString InfoChannels;        // first audio stream's channel count, "-1" without audio
    QString InfoAudioKbps;       // kbit/s rounded half to even, "0" without audio
    QString InfoVideoKbps;  // the same for the first video stream; a rate the container does not
                            // store is the file's less the audio streams', else "未知"; "0"
                            // without video
    QString InfoWidth;           // "-1" without video
    QString InfoHeight;
    QString InfoFrameRate;  // the base frame rate "25.00"; "N/A" without video or rate
};

// Fills the texts from whatever `probe` has open (nothing open: the failed-open texts). Queries
// of a missing stream kind are made only when the file has one, so nothing is reported for an
// audio-only file's video.
TMediaInfoTexts MediaInfoTexts(TCustomAVProbe& probe);

// The values of the information window's labels, by caption.
struct TMediaInfoLabels {
    QString FileName;        // "文件名：" — the part after the last "/"
    QString Format;          // "文件格式："
    QString Duration;        // "播放时长："
    QString Size;            // "文件大小："
    QString BitRate;         // "比特率："
    QString FormatLongName;  // "文件格式全名："
    QString Extension;       // "文件扩展名：" — with its dot; empty without one
    QString Resolution;      // "视频分辨率：" — width "*" height
    QString FrameRate;       // "视频帧率："
    QString VideoKbps;       // "视频比特率：" — number and "  kbps", or "未知"
    QString VideoStream;     // "视频流信息：" — "无" for an opened file without video
    QString SampleRate;      // "音频采样率："
    QString Channels;  // "音频声道：" — 单声道, 立体声, "<n>声道"; empty without audio
    QString AudioKbps;    // "音频比特率："
    QString AudioStream;  // "音频流信息："
};

TMediaInfoLabels MediaInfoLabels(const TMediaInfoTexts& texts);
