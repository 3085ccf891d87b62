#include "OptionsTestSupport.h"

#include <cmath>

void OptionsTest::SetUp() {
    testsupport::LoadLibrariesOrFail();
    if (HasFatalFailure()) return;
    TFFLogger* logger = GetLogger();
    logger->SetLogLevel(llInfo);
    logger->SetTriggerEventInMainThread(false);
    logger->SetOnLog([this](void*, uint32_t, TLogLevel level, const std::string& text) {
        std::lock_guard<std::mutex> lk(linesMutex_);
        lines_.push_back({level, text});
    });
    opts = std::make_unique<TFFmpegOptions>(this);
}

void OptionsTest::TearDown() {
    opts.reset();
    if (TFFLogger* logger = CurrentLogger()) logger->SetOnLog(nullptr);
}

std::string OptionsTest::ErrorOf(const std::string& name, const std::string& value) {
    try {
        opts->SetOption(name, value);
    } catch (const FFmpegException& e) {
        return e.what();
    }
    return "<none>";
}

bool OptionsTest::Logged(TLogLevel level, const std::string& text) {
    std::lock_guard<std::mutex> lk(linesMutex_);
    for (const Line& l : lines_)
        if (l.Level == level && l.Text == text) return true;
    return false;
}

std::vector<OptionsTest::Line> OptionsTest::Lines() {
    std::lock_guard<std::mutex> lk(linesMutex_);
    return lines_;
}

void OptionsTest::ClearLines() {
    std::lock_guard<std::mutex> lk(linesMutex_);
    lines_.clear();
}

std::string OptionsTest::DictValue(const AVDictionary* dict, const std::string& key) {
    const AVDictionaryEntry* e = lav::av_dict_get(dict, key.c_str(), nullptr, 0);
    return e ? e->value : "<unset>";
}

int OptionsTest::DictCount(const AVDictionary* dict) { return lav::av_dict_count(dict); }

TOpenedEncoder::~TOpenedEncoder() { lav::avcodec_free_context(&Context); }

std::unique_ptr<TOpenedEncoder> OpenEncoder(const TFFmpegOptions& options, AVMediaType type,
                                            const std::string& codecName) {
    auto out = std::make_unique<TOpenedEncoder>();
    const TOptionState& s = options.State();
    const AVCodec* codec = lav::avcodec_find_encoder_by_name(codecName.c_str());
    if (!codec) {
        ADD_FAILURE() << "no encoder " << codecName;
        return out;
    }
    AVCodecContext* c = out->Context = lav::avcodec_alloc_context3(codec);
    if (type == AVMEDIA_TYPE_VIDEO) {
        c->width = s.FrameWidth > 0 ? s.FrameWidth : 320;
        c->height = s.FrameHeight > 0 ? s.FrameHeight : 240;
        c->pix_fmt = s.FramePixFmt != AV_PIX_FMT_NONE ? s.FramePixFmt
                     : codec->pix_fmts                ? codec->pix_fmts[0]
                                                      : AV_PIX_FMT_YUV420P;
        const AVRational rate = s.FrameRate.den ? s.FrameRate : AVRational{25, 1};
        c->framerate = rate;
        c->time_base = AVRational{rate.den, rate.num};
        if (s.FrameAspectRatio > 0)
            c->sample_aspect_ratio = lav::av_d2q(s.FrameAspectRatio * c->height / c->width, 255);
    } else {
        c->sample_rate = s.AudioSampleRate;
        lav::av_channel_layout_default(&c->ch_layout, s.AudioChannels);
        c->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
        c->time_base = AVRational{1, s.AudioSampleRate};
    }
    AVDictionary* dict = options.CodecOptionsFor(type, codec, true);
    out->Result = lav::avcodec_open2(c, codec, &dict);
    const AVDictionaryEntry* e = nullptr;
    while ((e = lav::av_dict_get(dict, "", e, AV_DICT_IGNORE_SUFFIX)))
        out->Unused.push_back(std::string(e->key) + "=" + e->value);
    lav::av_dict_free(&dict);
    return out;
}
