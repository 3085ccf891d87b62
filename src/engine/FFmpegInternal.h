// The task core's private state: inputs, outputs and their streams during set-up and
// conversion. Owned by one task; used by the thread that builds it, then by the thread that
// runs it (never both at once).
#pragma once

#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/AmrNbEncoder.h"
#include "engine/AudioConverter.h"
#include "engine/FFmpeg.h"
#include "engine/OutputFiles.h"
#include "engine/VideoConverter.h"

struct InputStream {
    int fileIndex = 0;
    int index = 0;  // in its file
    AVStream* st = nullptr;
    bool discarded = false;  // "vn"/"an"/"sn"/program selection at open
    bool free = true;        // no output stream has taken it yet
    bool decodingNeeded = false;
    AVCodecContext* dec = nullptr;
    bool decoderOpen = false;  // counted in the task's open codecs
    const AVCodec* forcedDecoder = nullptr;
    // Clockwise turn (0, 90, 180, 270) its display matrix asks for; applied when decoding.
    int rotation = 0;
    bool attachedPicture = false;  // a cover picture, not a moving stream
    // Times in microseconds.
    int64_t nextPts = AV_NOPTS_VALUE;
    int64_t pts = 0;
    bool isStart = true;         // audio not synchronised yet
    bool pastRecording = false;  // past the recording length: read no more for it
    bool copyPastEnd = false;    // its packets reached the recording end (stream copies)
    // Time-stamp leap taken off its packets (µs), and the time of its last packet read.
    int64_t leap = 0;
    int64_t lastRead = AV_NOPTS_VALUE;
    // End of the furthest packet read, in its time base as the file gives it: how much the file
    // really holds when it ends before the length it states.
    int64_t dataEnd = AV_NOPTS_VALUE;
    bool flushed = false;
    int64_t wallStart = 0;  // native-rate reading
    double tsScale = 0;
    bool multipleFramesLogged = false;
    AVFrame* frame = nullptr;     // decoded
    AVFrame* filtered = nullptr;  // out of the video converter
};

struct InputFile {
    TPathFileName fileName;
    AVFormatContext* ctx = nullptr;
    int64_t tsOffset = 0;  // µs
    int64_t cutStart = 0;  // the start time asked for ("ss"), µs
    int firstStream = 0;   // index in the task's input stream table
    bool eof = false;
    int readError = 0;  // the failure that ended reading, 0 for a normal end
    bool noPacket = false;
    std::array<double, kMaxStreamsPerFile> tsScale{};  // per stream, 0 none
    const AVCodec* forcedVideo = nullptr;  // decoders forced by name
    const AVCodec* forcedAudio = nullptr;
    const AVCodec* forcedSubtitle = nullptr;
};

struct OutputStream {
    int fileIndex = 0;
    int index = 0;  // in its file
    AVStream* st = nullptr;
    AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
    InputStream* source = nullptr;
    InputStream* sync = nullptr;
    bool copy = false;
    bool cover = false;  // a copy of the source's cover picture (never of a moving picture)
    bool encoding = false;
    const AVCodec* codec = nullptr;
    AVCodecContext* enc = nullptr;
    bool encoderOpen = false;
    AVDictionary* encoderOptions = nullptr;
    int64_t frameNumber = 0;
    int64_t syncOpts = 0;  // frames (video) or samples (audio) sent to the encoder
    bool active = true;
    bool wroteAny = false;
    int64_t firstStart = AV_NOPTS_VALUE;  // time of the earliest written packet, AV_TIME_BASE
    int64_t lastEnd = 0;  // end of the last written packet, AV_TIME_BASE units
    int64_t lastMuxDts = AV_NOPTS_VALUE;  // in the stream's time base
    int quality = -1;     // last encoded picture's, from the packet side data
    char pictType = '?';
    uint64_t lastError[3] = {0, 0, 0};   // squared error per plane of the last picture (PSNR)
    uint64_t totalError[3] = {0, 0, 0};
    std::array<int64_t, 32> qpHistogram{};
    // Video.
    int cropTop = 0, cropBottom = 0, cropLeft = 0, cropRight = 0;
    bool deinterlace = false;
    std::string filters;
    unsigned swsFlags = 4;
    std::unique_ptr<VideoConverter> video;
    int lastWidth = 0, lastHeight = 0;
    AVPixelFormat lastFormat = AV_PIX_FMT_NONE;
    AVFrame* lastPicture = nullptr;  // the last picture sent to the encoder
    // Where the last picture converted stops being shown (µs, on the input's clock): its time
    // plus its duration.
    int64_t lastPictureEnd = AV_NOPTS_VALUE;
    // Audio.
    int volume = 256;
    std::unique_ptr<AudioConverter> audio;
    std::unique_ptr<AmrNbEncoder> amr;  // "libopencore_amrnb": `enc` only carries the settings
    bool audioResample = false;
    // Samples (at the encoder's rate) still to leave out at the start of the sound: the
    // encoder's own start delay, where the container cannot state it.
    int64_t startTrim = 0;
    // Bit-stream filters, in chain order.
    std::vector<TBitStreamFilter> bsfNames;
    std::vector<AVBSFContext*> bsfs;
    // Two-pass statistics.
    std::string passLogName;
    FILE* passLog = nullptr;
    AVPacket* pkt = nullptr;
};

struct OutputFile {
    TPathFileName fileName;
    AVFormatContext* ctx = nullptr;
    std::vector<std::unique_ptr<OutputStream>> streams;
    bool join = false;
    // Set at the start of the conversion.
    bool existedBefore = false;
    bool created = false;  // the file was created by this task
    // Where it is written until it is finished (empty: written directly under its name), and
    // its folder, held open so that the file can be removed wherever the folder has gone.
    TPathFileName temporaryName;
    int folderFd = -1;
    // What it must hold to count as finished, and the length its sources give (a difference is
    // only worth a word in the log); set when the trailer is written.
    OutputExpectation expected;
    int64_t sourceLength = -1;
    bool headerWritten = false;
    double muxPreload = 0.5;
    double muxMaxDelay = 0.7;
    int64_t limitFileSize = 0;
    int64_t recordingTime = INT64_MAX;
    int64_t startTime = 0;
    AVDictionary* formatOptions = nullptr;
    // Why it holds no stream, should it hold none: the kinds its format takes that no input has.
    std::string emptyReason;
};

// The reason an output of a format that takes these kinds holds no stream.
std::string EmptyOutputReason(bool takesVideo, bool takesAudio);

// A video stream whose pictures the stream-information read never saw (no packets, or none
// its decoder could read): its pixel format is unknown, so it cannot be encoded.
bool HasNoPictures(const AVStream* st);

// The stream of `type` a conversion takes from `ic` when nothing names one: among the streams
// not discarded, the library's choice, except that a cover picture is never taken while the
// file has a moving picture stream. -1 when there is none.
int PreferredStream(const AVFormatContext* ic, AVMediaType type);

// Containers that time their streams by counting pictures and samples from one common start
// (AVI, SWF): they cannot state an encoder's start delay or a picture reordering delay, so both
// would shift the sound against the pictures.
bool CountsFromCommonStart(const AVOutputFormat* ofmt);

// Where a cut asked to start at `timestamp` (µs, on the input's clock) begins: at the next
// picture of the file's moving picture stream when one comes within a frame (less a millisecond
// for rounded time stamps). Cut between two pictures, every picture of a constant-rate output
// would sit half a slot off its time while the sound kept its own.
int64_t StartAtPicture(const AVFormatContext* ic, int64_t timestamp);

// Containers whose muxer writes an empty chunk for every picture slot skipped after the first
// picture (AVI): players hold the picture before, so a gap keeps its time without a repeated
// picture being encoded.
bool KeepsEmptySlots(const AVOutputFormat* ofmt);

// Clockwise turn (0, 90, 180 or 270 degrees) that the stream's display matrix asks for.
int DisplayRotation(const AVStream* st);

// What an output does with a subtitle source.
struct SubtitlePlan {
    enum Kind { Leave, Copy, Encode } kind = Leave;
    const AVCodec* encoder = nullptr;  // Encode
    std::string reason;                // Leave: why, for the log
};
// `forcedEncoder`/`copy`: the option state's choice for the next subtitle stream.
SubtitlePlan PlanSubtitles(const AVOutputFormat* ofmt, const AVCodecParameters* source,
                           const AVCodec* forcedEncoder, bool copy);
