// The media probe: container and stream facts of one media file, and its description text.
//
// A probe either opens a file itself (`LoadFile`, it then owns the container and closes it) or
// takes over a container that its owner (an engine task input, the player) has opened
// (`AttachContext`; the owner keeps it alive until the probe is closed or re-attached).
//
// Threads: a probe is used by one thread at a time — the UI thread in the program. It only
// reads the container's public fields and never writes into them, so another thread (the
// player's reader, a conversion worker) may go on using an attached container meanwhile. The
// probe opens no codec and never takes the codec lock.
//
// Failures: operations return false / empty records and keep the reason in
// `LastErrorMessage`. A failure called "reported" also goes to the log relay with the probe as
// sender. Only a missing library binding is raised (std::runtime_error with "LibAVCodec not
// loaded." and its siblings).
#pragma once

#include <cstdint>
#include <string>

#include "engine/FFBaseComponent.h"
#include "engine/FFmpegLogger.h"
#include "medialib/FFmpegLoader.h"

struct AVFormatContext;
struct AVCodecParameters;
struct AVDictionary;
struct AVStream;

// File-level facts. -1 throughout when no file is open.
struct TFileStreamInfo {
    int64_t StartTime = -1;  // µs; -1 when unknown
    int64_t Duration = -1;   // µs; -1 when unknown
    int32_t BitRate = -1;    // bit/s; 0 when unknown
    int64_t Timestamp = -1;  // creation time, seconds since 1970 UTC; 0 when none
    int32_t Year = -1;       // 0 when none
    int32_t Track = -1;      // 0 when none
    std::string Title, Author, Rights, Comment, Album, Genre;
};

// Facts of one audio stream; every number is -1 when the record could not be filled.
struct TAudioStreamInfo {
    std::string Language;
    std::string CodecName;      // "name(long name)" of the decoder, see CodecDescription
    int64_t RawStartTime = -1;  // stream time base; AV_NOPTS_VALUE when unknown
    int64_t StartTime = -1;     // µs; -1 when unknown
    int64_t RawDuration = -1;   // stream time base
    int64_t Duration = -1;      // µs; -1 when unknown
    int32_t BitRate = -1;
    int32_t Channels = -1;
    int32_t SampleRate = -1;
    int32_t SampleFormat = -1;  // AVSampleFormat
};

// Facts of one video stream; every number is -1 (DisplayAspect -1.0) when not filled.
struct TVideoStreamInfo {
    std::string Language;
    std::string CodecName;
    int64_t RawStartTime = -1;
    int64_t StartTime = -1;
    int64_t RawDuration = -1;
    int64_t Duration = -1;
    int32_t BitRate = -1;
    int32_t Height = -1;
    int32_t Width = -1;
    float DisplayAspect = -1.0f;  // sample aspect × Width ÷ Height; -1 when Height is unknown
    int32_t PixelFormat = -1;     // AVPixelFormat
    int32_t FrameRateNum = -1;    // the stream's base ("real") frame rate
    int32_t FrameRateDen = -1;
};

class TCustomAVProbe : public TFFBaseComponent {
public:
    TCustomAVProbe();
    ~TCustomAVProbe() override;  // closes first

    // Opens a file; `formatName` forces the container format when not empty. A name that is
    // not a regular file (folder, FIFO, device) is refused before anything opens it, so the
    // call never blocks on it. On failure the probe is closed, the counters read -1 and
    // LastErrorMessage holds "<path>: <library error text>" (reported at llError), or
    // "Unknown input format: <name>" / "<path>: could not find codec parameters" (stored).
    bool LoadFile(const TPathFileName& fileName, const std::string& formatName = {});
    // Recomputes the counters from the container (all -1 without one).
    virtual void RefreshInfo();
    // Takes over an opened container without owning it (null just closes).
    virtual void AttachContext(AVFormatContext* context);
    // Forgets the file; closes the container only when the probe opened it.
    virtual void Close();

    AVFormatContext* Context() const { return context_; }
    bool OwnsContext() const { return ownsContext_; }
    const std::string& LastErrorMessage() const { return lastError_; }
    const std::string& ForcedFormat() const { return forcedFormat_; }

    // The container's file name as a plain path (empty without a file).
    TPathFileName FileName() const;
    std::string FormatShortName() const;
    std::string FormatLongName() const;

    // False (and "file not loaded." at llWarning) without a file; the record then reads -1.
    bool GetFileInfo(TFileStreamInfo* info);
    // `index` < 0 means the first stream of that kind. False with the record at -1 when there
    // is no file ("file not loaded.", llWarning), no such kind ("no audio stream."), an index
    // out of range ("stream index #%d is invalid.") or a stream of another kind
    // ("stream #%d is not audio stream."), each reported at llError.
    bool GetAudioStreamInfo(int index, TAudioStreamInfo* info);
    bool GetVideoStreamInfo(int index, TVideoStreamInfo* info);

    // The description text: file lines, tags, programs and one line per stream, each line
    // ended by CR LF. Empty (and "file not loaded." at llWarning) without a file.
    std::string InfoText();
    // The part of stream `index`'s line in InfoText from its type word up to, not including,
    // the start-time part: "Video: h264 (High) …, 320x240, 25 fps, 25 tbr, 12800 tbn". Empty
    // without a file or for an index out of range.
    std::string StreamDescription(int index) const;

    int64_t FileSize() const { return fileSize_; }
    int StreamCount() const { return streamCount_; }
    int ProgramCount() const { return programCount_; }
    // Cover art (attached pictures) does not count as video; data and attachment streams
    // count as nothing.
    int AudioStreamCount() const { return audioStreamCount_; }
    int VideoStreamCount() const { return videoStreamCount_; }
    int SubtitleStreamCount() const { return subtitleStreamCount_; }
    int FirstAudioStream() const { return firstAudioStream_; }
    int FirstVideoStream() const { return firstVideoStream_; }
    int FirstSubtitleStream() const { return firstSubtitleStream_; }

protected:
    void report(TLogLevel level, const std::string& text);
    void store(const std::string& text) { lastError_ = text; }

private:
    void checkLibraries() const;
    // The stream behind a query, or null after reporting why not.
    const AVStream* queryStream(int index, int firstOfKind, int kind, const char* kindName);
    std::string streamLine(int index) const;

    AVFormatContext* context_ = nullptr;
    bool ownsContext_ = false;
    std::string lastError_;
    std::string forcedFormat_;

    int64_t fileSize_ = -1;
    int streamCount_ = -1;
    int programCount_ = -1;
    int audioStreamCount_ = -1;
    int videoStreamCount_ = -1;
    int subtitleStreamCount_ = -1;
    int firstAudioStream_ = -1;
    int firstVideoStream_ = -1;
    int firstSubtitleStream_ = -1;
};

// The probe the engine and the player create.
class TAVProbe : public TCustomAVProbe {
public:
    void RefreshInfo() override;
    void Close() override;
};

// Texts the probe builds, exposed for the engine, the player and the information dialog.
namespace avprobe {

// "name(long name)" of the decoder (or encoder) for the parameters' codec; else the codec
// id's own name, the printable four-character tag "abcd / 0x64636261", or "0x%04x".
std::string CodecDescription(const AVCodecParameters* par, bool encoderSide = false);

// Signed seconds with six decimals of a number of microseconds ("12.345678", "-0.021333").
std::string SecondsText(int64_t microseconds);

// The tag lines of a tag set, each ended by CR LF: nothing when there are no tags or only
// "language"; else "<indent>Metadata:" and "<indent>  %-16s: value" per tag (ID3v2 frame ids
// shown by their meaning). In values, CR becomes a space and LF starts a continuation line.
std::string TagBlock(const AVDictionary* tags, const std::string& indent);

// A container bit rate as the description text shows it: "%d kb/s" of whole kilobits, "N/A"
// below 1 bit/s.
std::string BitRateText(int32_t bitRate);

// A frame rate as the stream lines show it (", 25 fps", ", 29.97 fps", ", 90k tbn").
std::string RateText(double rate, const char* unit);

}  // namespace avprobe
