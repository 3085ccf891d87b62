// Decoded pictures → pictures for one video encoder: crop, scale, pixel format, the user's
// filter graph and deinterlacing.
//
// With a filter graph text, deinterlacing or a turn the pictures run through a graph: buffer →
// [yadif] → [transpose/flip] → crop → scale → the user's filters → buffersink restricted to the
// encoder's pixel format. Crop bands and sizes are those of the upright picture.
// Otherwise cropping is done on frame references and scaling by a cached swscale context built
// on demand. A change of the decoded size or pixel format mid-stream keeps the crop bands
// proportional and rebuilds what depends on the size instead of failing. Owned by one task and
// used on its thread only.
#pragma once

#include <string>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libavutil/rational.h>
}

struct AVFilterContext;
struct AVFilterGraph;
struct SwsContext;

class VideoConverter {
public:
    struct Settings {
        int srcWidth = 0, srcHeight = 0;
        AVPixelFormat srcFormat = AV_PIX_FMT_NONE;
        AVRational timeBase{1, 25};  // of the decoded pictures' pts
        AVRational sampleAspect{0, 1};
        AVRational frameRate{0, 1};
        int rotation = 0;  // clockwise turn to show the pictures upright: 0, 90, 180, 270
        int cropTop = 0, cropBottom = 0, cropLeft = 0, cropRight = 0;
        int dstWidth = 0, dstHeight = 0;  // 0: the cropped source size
        AVPixelFormat dstFormat = AV_PIX_FMT_NONE;
        unsigned swsFlags = 4;  // bicubic
        std::string filters;    // the user's graph text; empty: none
        bool deinterlace = false;
    };

    VideoConverter() = default;
    ~VideoConverter();
    VideoConverter(const VideoConverter&) = delete;
    VideoConverter& operator=(const VideoConverter&) = delete;

    // Returns 0 or an AVERROR code with the reason in *error.
    int Init(const Settings& settings, std::string* error);

    // Feeds a decoded picture (null at the end of the stream: flushes the graph). *sizeChanged
    // tells the caller that the picture's size or format differs from the previous ones.
    int Push(const AVFrame* frame, bool* sizeChanged, std::string* error);
    // The next converted picture: 0, AVERROR(EAGAIN) when none is ready, AVERROR_EOF at the end.
    // Its pts is in OutputTimeBase().
    int Pull(AVFrame* out);

    // Size of the pictures Pull returns (for a graph: what its sink negotiated).
    int OutputWidth() const { return outWidth_; }
    int OutputHeight() const { return outHeight_; }
    AVRational OutputTimeBase() const;
    // The picture rate of what Pull returns (for a graph: what its sink states); 0/1 unknown.
    AVRational OutputFrameRate() const;
    bool UsesGraph() const { return graph_ != nullptr; }

private:
    int buildGraph(std::string* error);
    int scaleDirect(AVFrame* out);
    // Crop bands for an upright picture of w×h: the configured ones, kept proportional after a
    // change of size.
    void cropFor(int w, int h, int* top, int* bottom, int* left, int* right) const;
    bool quarterTurn() const { return s_.rotation == 90 || s_.rotation == 270; }

    Settings s_;
    int outWidth_ = 0, outHeight_ = 0;
    // Size and format the current pipeline was built for.
    int curWidth_ = 0, curHeight_ = 0;
    AVPixelFormat curFormat_ = AV_PIX_FMT_NONE;

    AVFilterGraph* graph_ = nullptr;
    AVFilterContext* src_ = nullptr;
    AVFilterContext* sink_ = nullptr;
    bool graphMode_ = false;

    SwsContext* sws_ = nullptr;
    AVFrame* pending_ = nullptr;  // direct path: the picture waiting for Pull
    bool havePending_ = false;
    bool ended_ = false;
};
