// The option state of a conversion task and its dispatcher.
//
// Options reach a task one at a time, as a name and a text value, through `SetOption`; a setting
// stays in force until the input, output or stream that uses it is created. The set-up reads the
// plain values from `State()` and the library parameters from the per-kind dictionaries
// (`CodecOptionsFor`, `FormatOptionsFor`, `ScalerFlags`), and resets what each creation consumes.
//
// Contract:
// - One `TFFmpegOptions` per task, used on one thread at a time (the UI thread while the task is
//   built, its worker while it converts). No process-wide state except the logger's level.
// - The media libraries must be bound before construction (the library parameter sets are real
//   library objects used to check values).
// - A refused value raises `FFmpegException` with the message the caller shows; the state may
//   then hold the settings applied before the failing one. Nothing else escapes.
#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "engine/FFmpegRecords.h"
#include "medialib/LibAV.h"

// A refused option or a failed step of a task; `what()` is the message shown to the user.
class FFmpegException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr int kMaxStreamsPerFile = 20;  // "itsscale", "streamid" indexes
inline constexpr int kMaxStreamMaps = 400;
inline constexpr int kMaxMetaDataMaps = 20;
// The media types that have a parameter set, in the generic path's order and the library's
// numbering: video, audio, data, subtitle, attachment.
inline constexpr int kOptionKinds = 5;

// "map": output stream k reads input `FileIndex`.`StreamIndex`, synchronised to
// `SyncFileIndex`.`SyncStreamIndex`. Indexes are never negative.
struct TStreamMap {
    int FileIndex = 0;
    int StreamIndex = 0;
    int SyncFileIndex = 0;
    int SyncStreamIndex = 0;
};

// "map_meta_data": metadata of input `InFile` is copied into output `OutFile` (checked by the
// set-up against the files that exist).
struct TMetaDataMap {
    int OutFile = 0;
    int InFile = 0;
};

// One entry of a bit-stream filter chain ("vbsf" …): the library's filter `Name`, and the text
// after its first "=" (empty when none), kept for the set-up.
struct TBitStreamFilter {
    std::string Name;
    std::string Args;
};

// The plain settings, with their defaults. Written by the dispatcher and by the set-up (opening
// an input overwrites the picture and sound fields with the input's); the set-up clears the
// per-stream fields after each stream is created.
struct TOptionState {
    // Container of the next input or output ("f"); empty: detect or guess.
    std::string ForcedFormat;
    bool PgmYuvCompat = false;  // "f" pgmyuv: image2 with the PGM-YUV decoder

    // Picture. 0 × 0 keeps the source size; aspect 0 keeps the source's.
    int FrameWidth = 0;
    int FrameHeight = 0;
    double FrameAspectRatio = 0;
    AVPixelFormat FramePixFmt = AV_PIX_FMT_NONE;
    AVRational FrameRate{0, 0};  // 0/0 keeps the source's
    int CropTop = 0, CropBottom = 0, CropLeft = 0, CropRight = 0;

    // Maximum frames per media type (indexed by AVMediaType: video, audio, data, subtitle).
    std::array<int, kOptionKinds> MaxFrames{INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX};

    // Video encoding.
    double VideoQScale = 0;                               // fixed quantiser, 0 off
    std::optional<std::array<uint16_t, 64>> IntraMatrix;  // entries 1..255
    std::optional<std::array<uint16_t, 64>> InterMatrix;
    std::string RcOverride;
    std::array<int, kMaxStreamsPerFile> StreamIdMap{};  // by output stream index
    bool VideoDisable = false;
    int VideoDiscard = 0;
    std::string VideoCodecName;    // encoder for the next video stream; empty: guess
    bool VideoStreamCopy = false;  // "vcodec copy"; not cleared by a later name
    uint32_t VideoCodecTag = 0;
    std::string VideoLanguage;
    bool SameQuality = false;
    bool DoDeinterlace = false;
    int TopFieldFirst = -1;
    int MeThreshold = 0;
    int IntraDcPrecision = 8;
    bool IntraOnly = false;
    bool QpHist = false;
    bool ForceFps = false;
    int VideoGlobalHeader = 0;
    std::string VideoFilters;  // filter graph text ("vf")
    int VideoChannel = 0;
    std::string VideoStandard;

    // Sound.
    int AudioSampleRate = 44100;
    int AudioChannels = 2;
    // 0 channels: unspecified. Owned: replace with av_channel_layout_copy/uninit.
    AVChannelLayout AudioChannelLayout{};
    AVSampleFormat AudioSampleFmt = AV_SAMPLE_FMT_NONE;
    double AudioQScale = -99999;  // above -99999: fixed quality
    bool AudioDisable = false;
    std::string AudioCodecName;
    bool AudioStreamCopy = false;
    uint32_t AudioCodecTag = 0;
    std::string AudioLanguage;
    int AudioVolume = 256;  // 256 unchanged

    // Subtitles.
    bool SubtitleDisable = false;
    std::string SubtitleCodecName;
    bool SubtitleStreamCopy = false;
    uint32_t SubtitleCodecTag = 0;
    std::string SubtitleLanguage;

    // Bit-stream filter chains, moved to the next stream of each kind.
    std::vector<TBitStreamFilter> VideoBitstreamFilters;
    std::vector<TBitStreamFilter> AudioBitstreamFilters;
    std::vector<TBitStreamFilter> SubtitleBitstreamFilters;

    // Muxing and timing.
    double MuxPreload = 0.5;            // seconds
    double MuxMaxDelay = 0.7;           // seconds
    int64_t RecordingTime = INT64_MAX;  // µs; INT64_MAX unlimited (also the expected length)
    int64_t StartTime = 0;              // µs
    int64_t RecordingTimestamp = 0;     // seconds since 1970
    int64_t InputTsOffset = 0;          // µs, for the next input
    std::array<double, kMaxStreamsPerFile> InputTsScale{};      // next input, per stream; 0 none
    std::vector<std::pair<std::string, std::string>> Metadata;  // in the order given
    int64_t LimitFileSize = 0;                                  // bytes, 0 none
    int LoopOutput = -1;
    bool LoopInput = false;

    // Pipeline behaviour.
    bool DoPktDump = false;
    bool DoHexDump = false;
    bool DoPsnr = false;
    int DoPass = 0;  // 0, 1 or 2
    std::string PassLogFileName;
    int VideoSyncMethod = -1;
    int AudioSyncMethod = 0;
    double AudioDriftThreshold = 0.1;
    bool CopyTs = false;
    bool OptShortest = false;
    std::string VStatsFileName;
    int OptProgramId = 0;
    int CopyInitialNonKeyframes = 0;
    bool RateEmu = false;  // read the input at its native rate
    bool ExitOnError = false;
    int Verbose = 1;
    double DtsDeltaThreshold = 10.0;
    bool InputSync = false;

    std::vector<TStreamMap> StreamMaps;      // at most kMaxStreamMaps
    std::vector<TMetaDataMap> MetaDataMaps;  // at most kMaxMetaDataMaps
};

// What the option state asks of the task that owns it.
class IOptionHost {
public:
    virtual ~IOptionHost() = default;
    // "newvideo", "newaudio", "newsubtitle": adds a stream of `type` to the last output; raises
    // FFmpegException (e.g. "At least one output file must be specified").
    virtual void NewStream(AVMediaType type) = 0;
    // "vhook": adds an external frame hook; 0 on success.
    virtual int AddFrameHook(const std::string& value) = 0;
    // Frame rates of the video streams of the inputs opened so far, in order (automatic target
    // norm).
    virtual std::vector<AVRational> InputVideoFrameRates() const = 0;
};

class TFFmpegOptions : public IOptionSink {
public:
    // `logSender` is passed with every log line (the task).
    explicit TFFmpegOptions(void* logSender = nullptr);
    ~TFFmpegOptions() override;
    TFFmpegOptions(const TFFmpegOptions&) = delete;
    TFFmpegOptions& operator=(const TFFmpegOptions&) = delete;

    // Null: "newvideo" … raise "At least one output file must be specified", "vhook" fails.
    void SetHost(IOptionHost* host) { host_ = host; }

    // Frees everything the state holds and restores the defaults (also the library parameter
    // sets and their dictionaries).
    void ResetOptions();

    // Applies one option; the name is compared exactly. Unknown names go to the generic path and
    // are dropped when it refuses them.
    void SetOption(const std::string& name, const std::string& value) override;

    // The generic path: the name as a parameter of the codec (per media type), container or
    // scaler, or as a private option of an encoder or muxer. Old preset keys that the libraries
    // no longer know are translated first (`TranslateLegacyOption`). True when accepted.
    bool SetGenericOption(const std::string& name, const std::string& value);

    // Direct setters of the records (IOptionSink).
    void SetStartTime(int64_t microseconds) override;
    void SetRecordingTime(int64_t microseconds) override;
    void SetRecordingTimestamp(int64_t seconds) override;
    void SetTarget(const std::string& target, const std::string& fallbackNorm) override;

    TOptionState& State() { return state_; }
    const TOptionState& State() const { return state_; }

    // Accepted library parameters, by media type (AVMEDIA_TYPE_VIDEO … ATTACHMENT). Values of
    // the codec set's own parameters are stored as the library reads them back (flags
    // accumulate); private options as given.
    const AVDictionary* CodecOptions(AVMediaType type) const;
    const AVDictionary* FormatOptions() const { return formatDict_; }
    const AVDictionary* ScalerOptions() const { return scalerDict_; }
    // Names set through the generic path, in order, without repeats.
    const std::vector<std::string>& SetNames() const { return setNames_; }

    // A new dictionary (the caller frees it) with the accepted parameters of `type` that `codec`
    // knows: those of the codec parameter set whose flags include the type's flag and the
    // encoding (or decoding) flag, and the codec's private options. For avcodec_open2.
    AVDictionary* CodecOptionsFor(AVMediaType type, const AVCodec* codec, bool encoder) const;
    // Likewise for a container: parameters with the encoding (or decoding) flag and the
    // private options of `privClass` (the muxer's or demuxer's, may be null).
    AVDictionary* FormatOptionsFor(const AVClass* privClass, bool output) const;
    // The scaler flags ("sws_flags"), 4 (bicubic) by default.
    int ScalerFlags() const;

private:
    enum class Found { None, Accepted, Refused };

    void releaseAll();
    void createParameterSets();
    void dispatch(const std::string& name, const std::string& value);
    void applyTarget(const std::string& target, const std::string& fallbackNorm);
    void applyPreset(const std::string& option, const std::string& value);
    void setBitRate(const std::string& name, const std::string& value, AVMediaType type);

    bool setGenericOne(const std::string& name, const std::string& value);
    Found setCodecParam(int kind, const std::string& name, const std::string& value);
    Found setPrivateCodecOption(int kind, const std::string& name, const std::string& value);
    Found setPrivateMuxerOption(const std::string& name, const std::string& value);
    void storeRaw(AVDictionary** dict, const AVOption* opt, const std::string& name,
                  const std::string& value);
    void noteSet(const std::string& name);
    const std::string& encoderNameOf(int kind) const;
    AVCodecContext* privateContext(const AVCodec* codec);
    AVFormatContext* privateMuxerContext(const AVOutputFormat* muxer);

    void log(int level, const std::string& text) const;

    void* logSender_;
    IOptionHost* host_ = nullptr;
    TOptionState state_;

    // The library parameter sets: one codec context per media type, a container and a scaler
    // context; values are checked on them, then recorded in the dictionaries.
    std::array<AVCodecContext*, kOptionKinds> codecSets_{};
    AVFormatContext* formatSet_ = nullptr;
    SwsContext* scalerSet_ = nullptr;
    std::array<AVDictionary*, kOptionKinds> codecDicts_{};
    AVDictionary* formatDict_ = nullptr;
    AVDictionary* scalerDict_ = nullptr;
    std::vector<std::string> setNames_;
    // Objects that hold an encoder's or muxer's private options, to check values on.
    std::map<const AVCodec*, AVCodecContext*> privateCodecs_;
    std::map<const AVOutputFormat*, AVFormatContext*> privateMuxers_;
    // Names that only encoders (index = media type) or muxers (index kOptionKinds) took: they
    // reach a codec or container only when its private class knows them.
    std::array<std::set<std::string>, kOptionKinds + 1> privateOnly_;
};

// Conversions of option values. Booleans: false only for "0". Integers: signed decimal,
// surrounding blanks allowed; reals: decimal (C locale), finite. Failures raise FFmpegException
// "'%s' is not a valid integer value" / "'%s' is not a valid floating point value".
bool OptionBool(const std::string& value);
int OptionInt(const std::string& value);
int64_t OptionInt64(const std::string& value);
double OptionFloat(const std::string& value);

// Frame sizes: a leading width, one separator character and a height, anything after it ignored
// ("480*272  (PSP)"); otherwise a size abbreviation of the library ("vga"). False when neither.
bool ParseFrameSize(const std::string& value, int* width, int* height);
