#include "VideoConverter.h"

#include "engine/FFmpegLogger.h"
#include "medialib/LibAV.h"

VideoConverter::~VideoConverter() {
    lav::avfilter_graph_free(&graph_);
    if (sws_) lav::sws_freeContext(sws_);
    lav::av_frame_free(&pending_);
}

void VideoConverter::cropFor(int w, int h, int* top, int* bottom, int* left, int* right) const {
    *top = s_.cropTop;
    *bottom = s_.cropBottom;
    *left = s_.cropLeft;
    *right = s_.cropRight;
    const int srcW = quarterTurn() ? s_.srcHeight : s_.srcWidth;
    const int srcH = quarterTurn() ? s_.srcWidth : s_.srcHeight;
    if ((w == srcW && h == srcH) || srcW <= 0 || srcH <= 0) return;
    // Proportional to the new size, rounded down to even numbers.
    auto scale = [](int band, int now, int was) {
        return static_cast<int>(static_cast<int64_t>(band) * now / was) & ~1;
    };
    *top = scale(s_.cropTop, h, srcH);
    *bottom = scale(s_.cropBottom, h, srcH);
    *left = scale(s_.cropLeft, w, srcW);
    *right = scale(s_.cropRight, w, srcW);
}

int VideoConverter::Init(const Settings& settings, std::string* error) {
    s_ = settings;
    curWidth_ = s_.srcWidth;
    curHeight_ = s_.srcHeight;
    curFormat_ = s_.srcFormat;
    graphMode_ = !s_.filters.empty() || s_.deinterlace || s_.rotation != 0;
    pending_ = lav::av_frame_alloc();
    if (!pending_) return AVERROR(ENOMEM);
    if (graphMode_) return buildGraph(error);
    int t, b, l, r;
    cropFor(curWidth_, curHeight_, &t, &b, &l, &r);
    outWidth_ = s_.dstWidth > 0 ? s_.dstWidth : curWidth_ - l - r;
    outHeight_ = s_.dstHeight > 0 ? s_.dstHeight : curHeight_ - t - b;
    return 0;
}

AVRational VideoConverter::OutputTimeBase() const {
    return sink_ ? lav::av_buffersink_get_time_base(sink_) : s_.timeBase;
}

AVRational VideoConverter::OutputFrameRate() const {
    return sink_ ? lav::av_buffersink_get_frame_rate(sink_) : s_.frameRate;
}

int VideoConverter::buildGraph(std::string* error) {
    lav::avfilter_graph_free(&graph_);
    src_ = sink_ = nullptr;
    graph_ = lav::avfilter_graph_alloc();
    if (!graph_) return AVERROR(ENOMEM);
    graph_->scale_sws_opts = lav::av_strdup(Format("flags=0x%X", s_.swsFlags).c_str());

    const AVRational sar = s_.sampleAspect.num > 0 ? s_.sampleAspect : AVRational{0, 1};
    std::string args = Format("video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d",
                              curWidth_, curHeight_, static_cast<int>(curFormat_),
                              s_.timeBase.num, s_.timeBase.den, sar.num, sar.den);
    if (s_.frameRate.num > 0 && s_.frameRate.den > 0)
        args += Format(":frame_rate=%d/%d", s_.frameRate.num, s_.frameRate.den);
    int ret = lav::avfilter_graph_create_filter(&src_, lav::avfilter_get_by_name("buffer"), "src",
                                                args.c_str(), nullptr, graph_);
    if (ret >= 0)
        ret = lav::avfilter_graph_create_filter(&sink_, lav::avfilter_get_by_name("buffersink"),
                                                "out", nullptr, nullptr, graph_);
    if (ret >= 0 && s_.dstFormat != AV_PIX_FMT_NONE) {
        const AVPixelFormat formats[] = {s_.dstFormat, AV_PIX_FMT_NONE};
        ret = lav::av_opt_set_bin(sink_, "pix_fmts", reinterpret_cast<const uint8_t*>(formats),
                                  sizeof(formats[0]), AV_OPT_SEARCH_CHILDREN);
    }
    if (ret < 0) {
        if (error) *error = lav::av_err2str(ret);
        return ret;
    }

    // The chain between the labels "in" and "out".
    std::string chain;
    auto add = [&chain](const std::string& f) { chain += (chain.empty() ? "" : ",") + f; };
    if (s_.deinterlace) add("yadif=mode=0:parity=auto:deint=all");
    if (s_.rotation == 90) add("transpose=clock");
    if (s_.rotation == 180) add("hflip,vflip");
    if (s_.rotation == 270) add("transpose=cclock");
    // The upright picture's size: crop and scale work on that.
    const int upW = quarterTurn() ? curHeight_ : curWidth_;
    const int upH = quarterTurn() ? curWidth_ : curHeight_;
    int t, b, l, r;
    cropFor(upW, upH, &t, &b, &l, &r);
    const int cw = upW - l - r, ch = upH - t - b;
    if (t || b || l || r) add(Format("crop=w=%d:h=%d:x=%d:y=%d", cw, ch, l, t));
    if (s_.dstWidth > 0 && s_.dstHeight > 0 && (s_.dstWidth != cw || s_.dstHeight != ch))
        add(Format("scale=w=%d:h=%d", s_.dstWidth, s_.dstHeight));
    if (!s_.filters.empty()) add(s_.filters);
    if (chain.empty()) chain = "null";

    AVFilterInOut* outputs = lav::avfilter_inout_alloc();
    AVFilterInOut* inputs = lav::avfilter_inout_alloc();
    if (!outputs || !inputs) {
        lav::avfilter_inout_free(&outputs);
        lav::avfilter_inout_free(&inputs);
        return AVERROR(ENOMEM);
    }
    outputs->name = lav::av_strdup("in");
    outputs->filter_ctx = src_;
    inputs->name = lav::av_strdup("out");
    inputs->filter_ctx = sink_;
    ret = lav::avfilter_graph_parse_ptr(graph_, chain.c_str(), &inputs, &outputs, nullptr);
    lav::avfilter_inout_free(&outputs);
    lav::avfilter_inout_free(&inputs);
    if (ret >= 0) ret = lav::avfilter_graph_config(graph_, nullptr);
    if (ret < 0) {
        if (error) *error = lav::av_err2str(ret);
        return ret;
    }
    outWidth_ = lav::av_buffersink_get_w(sink_);
    outHeight_ = lav::av_buffersink_get_h(sink_);
    return 0;
}

int VideoConverter::Push(const AVFrame* frame, bool* sizeChanged, std::string* error) {
    if (sizeChanged) *sizeChanged = false;
    if (!frame) {
        ended_ = true;
        return graph_ ? lav::av_buffersrc_add_frame_flags(src_, nullptr, 0) : 0;
    }
    const auto format = static_cast<AVPixelFormat>(frame->format);
    if (frame->width != curWidth_ || frame->height != curHeight_ || format != curFormat_) {
        if (sizeChanged) *sizeChanged = true;
        curWidth_ = frame->width;
        curHeight_ = frame->height;
        curFormat_ = format;
        if (graphMode_) {
            // Pictures still inside the old graph are lost with it; a size change mid-stream
            // is rare enough that a clean rebuild is worth more.
            const int ret = buildGraph(error);
            if (ret < 0) return ret;
        }
    }
    if (graph_) return lav::av_buffersrc_add_frame_flags(src_, const_cast<AVFrame*>(frame),
                                                         AV_BUFFERSRC_FLAG_KEEP_REF);
    lav::av_frame_unref(pending_);
    const int ret = lav::av_frame_ref(pending_, frame);
    if (ret < 0) return ret;
    havePending_ = true;
    return 0;
}

int VideoConverter::scaleDirect(AVFrame* out) {
    int t, b, l, r;
    cropFor(pending_->width, pending_->height, &t, &b, &l, &r);
    if (t || b || l || r) {
        pending_->crop_top = static_cast<size_t>(t);
        pending_->crop_bottom = static_cast<size_t>(b);
        pending_->crop_left = static_cast<size_t>(l);
        pending_->crop_right = static_cast<size_t>(r);
        // Unaligned crops are allowed: swscale reads any start address.
        const int ret = lav::av_frame_apply_cropping(pending_, AV_FRAME_CROP_UNALIGNED);
        if (ret < 0) return ret;
    }
    const int w = outWidth_, h = outHeight_;
    const AVPixelFormat dst = s_.dstFormat == AV_PIX_FMT_NONE
                                  ? static_cast<AVPixelFormat>(pending_->format)
                                  : s_.dstFormat;
    if (pending_->width == w && pending_->height == h && pending_->format == dst) {
        lav::av_frame_move_ref(out, pending_);
        return 0;
    }
    sws_ = lav::sws_getCachedContext(sws_, pending_->width, pending_->height,
                                     static_cast<AVPixelFormat>(pending_->format), w, h, dst,
                                     static_cast<int>(s_.swsFlags), nullptr, nullptr, nullptr);
    if (!sws_) return AVERROR(EINVAL);
    out->width = w;
    out->height = h;
    out->format = dst;
    int ret = lav::av_frame_get_buffer(out, 0);
    if (ret < 0) return ret;
    ret = lav::av_frame_copy_props(out, pending_);
    if (ret < 0) return ret;
    lav::sws_scale(sws_, pending_->data, pending_->linesize, 0, pending_->height, out->data,
                   out->linesize);
    lav::av_frame_unref(pending_);
    return 0;
}

int VideoConverter::Pull(AVFrame* out) {
    if (graph_) {
        const int ret = lav::av_buffersink_get_frame(sink_, out);
        return ret;
    }
    if (!havePending_) return ended_ ? AVERROR_EOF : AVERROR(EAGAIN);
    havePending_ = false;
    const int ret = scaleDirect(out);
    if (ret < 0) lav::av_frame_unref(pending_);
    return ret;
}
