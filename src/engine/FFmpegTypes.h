// The records that callers exchange with the engine component: per-input and per-output options
// (`TInputOptions`, `TOutputOptions` with its metadata block `TStreamInfo`) and the records of
// the progress and termination events (`TProgressInfo`, `TTerminateInfo`).
//
// Strings are UTF-8 texts, file names are `TPathFileName`; 64-bit times are microseconds. In the
// option records `kNoTimeSet` (the smallest 64-bit value) marks a time that is not set; in the
// event records -1 marks an unknown time, count, size or rate. The default member values are the
// records' initialisers: a default-constructed record is the caller's starting point.
#pragma once

#include <QString>
#include <cstdint>
#include <limits>
#include <string>

using TPathFileName = QString;

// A time that is not set (equal to the media library's missing time stamp).
inline constexpr int64_t kNoTimeSet = std::numeric_limits<int64_t>::min();

// Options of one input, for `AddTask`. Applied in field order after `ExtOptions` (see
// `ApplyInputOptions`).
struct TInputOptions {
    TPathFileName FileName;  // input file; when empty, `AddTask` stores its own argument here
    std::string FileFormat;  // forced input container ("f"); empty: detect
    int64_t StartTime = kNoTimeSet;  // seek position ("ss"); ignored when not set
    int32_t ProgramID = -1;          // program to select ("programid"); ignored when negative
    std::string ExtOptions;          // further options: name=value lines (`ParseExtOptions`)
    int32_t Reserved1 = 0;           // not read by the engine
    int32_t Reserved2 = 0;
};

// Metadata block of an output.
struct TStreamInfo {
    // Recording time stamp as a local calendar date-time (days since 1899-12-30): exactly 0 the
    // current time, > 0 this date-time, < 0 none.
    double Timestamp = -1.0;
    int32_t Year = -1;    // "year" when > 0
    int32_t Track = -1;   // "track" when > 0
    std::string Title;    // "title" when not empty
    std::string Author;   // "author"
    std::string Rights;   // "copyright"
    std::string Comment;  // "comment"
    std::string Album;    // "album"
    std::string Genre;    // "genre"
};

// Options of one output, for `SetOutputFile`. Each field becomes the option named beside it, only
// under the stated condition; the order of application is `ApplyOutputOptions`'s.
struct TOutputOptions {
    TPathFileName FileName;        // output file; when empty, set from `SetOutputFile`'s argument
    std::string ReservedText;      // not read by the engine
    std::string FileFormat;        // "f" when not empty
    int32_t PacketSize = -1;       // "packetsize" when > 0
    int32_t MuxRate = -1;          // "muxrate" when > 0
    float MuxDelay = -1.0f;        // "muxdelay" when > 0 (seconds)
    float MuxPreload = -1.0f;      // "muxpreload" when > 0 (seconds)
    std::string AudioCodec;        // default audio encoder ("acodec")
    std::string AudioPreset;       // default audio preset ("apre")
    bool DisableAudio = false;     // "an" when true
    int32_t AudioVolume = -1;      // "vol" when >= 0 (256 = unchanged)
    int32_t AudioChannels = -1;    // "ac" when > 0
    int32_t AudioSampleRate = -1;  // "ar" when > 0
    int32_t AudioBitRate = -1;     // "ab" when > 0 (bit/s)
    int32_t AudioBitRateTolerance = -1;  // "abt" when > 0
    std::string AudioLanguage;           // "alang", always
    int32_t AudioSyncMethod = 0;         // "async", always
    std::string AudioTag;                // "atag" when not empty
    std::string VideoCodec;              // default video encoder ("vcodec")
    std::string VideoPreset;             // default video preset ("vpre")
    bool DisableVideo = false;           // "vn" when true
    std::string FrameRate;               // "r" when not empty
    std::string FrameSize;               // default frame size ("s")
    std::string AspectRatio;             // "aspect" when not empty
    int32_t CropTop = -1;                // "croptop" when > 0
    int32_t CropBottom = -1;             // "cropbottom" when > 0
    int32_t CropLeft = -1;               // "cropleft" when > 0
    int32_t CropRight = -1;              // "cropright" when > 0
    int32_t GOPSize = -1;                // "g" when > 0
    int32_t VideoBitRate = -1;           // "vb" when > 0 (bit/s)
    int32_t MaxRate = -1;                // "maxrate" when > 0
    int32_t MinRate = -1;                // "minrate" when > 0
    int32_t VideoBitRateTolerance = -1;  // "bt" when > 0
    int32_t BufferSize = -1;             // "bufsize" when > 0
    int32_t VideoSyncMethod = -1;        // "vsync", always (-1 automatic)
    std::string VideoTag;                // "vtag" when not empty
    std::string VideoFilters;            // default filter graph ("vf")
    std::string VideoLanguage;           // "vlang", always
    std::string SubtitleCodec;           // default subtitle encoder ("scodec")
    std::string SubtitlePreset;          // default subtitle preset ("spre")
    bool DisableSubtitle = false;        // "sn" when true
    std::string SubtitleLanguage;        // "slang", always
    bool InputSync = false;              // "isync", always
    bool CopyTimestamps = false;         // "copyts" when true
    int64_t StartTime = kNoTimeSet;      // output start time ("ss") unless not set
    int64_t Duration = kNoTimeSet;       // recording length ("t") unless not set
    TStreamInfo Metadata;                // container metadata
    int32_t Target = 0;                  // 0 none, 1 "vcd", 2 "svcd", 3 "dvd"
    int32_t TargetNorm = 0;              // 0 "auto", 1 "pal", 2 "ntsc", other values "auto"
    int32_t TargetNormDefault = 1;  // 1 "pal", anything else "ntsc": when detection finds nothing
    bool VideoHook = false;         // the task calls the frame hook for every video frame
    bool Join = false;              // all inputs are joined one after another into this output
    std::string ExtOptions;         // further options: name=value lines (`ParseExtOptions`)
    int32_t Reserved1 = 0;          // not read by the engine
    int32_t Reserved2 = 0;
};

// Progress of one task (the event receives its address; a handler must not keep it).
struct TProgressInfo {
    int32_t TaskIndex = -1;       // position of the task in the list
    int32_t FileIndex = -1;       // input whose packet was processed last; -1 in the final report
    int32_t FrameNumber = -1;     // frames encoded in the first active video output; -1 no video
    int32_t FPS = -1;             // frames per second since the start; -1 without video
    float Quality = -1.0f;        // quality of the last frame / 118; -1 copied or no video
    float BitRate = 0.0f;         // kbit/s
    int64_t CurrentSize = 0;      // bytes of the first output file
    int64_t CurrentDuration = 0;  // output time reached, microseconds
    int64_t TotalDuration = -1;   // expected output length, microseconds; -1 unknown
};
using PProgressInfo = TProgressInfo*;

// End of one task, or of the whole batch (`TaskIndex` -1).
struct TTerminateInfo {
    int32_t TaskIndex = -1;
    bool Finished = false;     // ran to the end of its inputs; true in the end-of-batch event
    bool HasError = false;     // ended because of an error
    std::string ErrorMessage;  // the error text when `HasError`, else empty
};
using PTerminateInfo = TTerminateInfo*;
