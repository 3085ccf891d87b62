// Feeds option names, values and ExtOptions texts to a task's option state: the dispatcher, the
// generic path, presets, target presets and the record rules. Nothing may crash, leak, hang or
// raise anything but FFmpegException.
//
// Input: the first byte picks the route, the rest is the text.
//   0  ExtOptions lines through SetOption, one by one
//   1  an input record's ExtOptions (AddTask's rule)
//   2  an output record (stream settings, fields and ExtOptions, new-stream lines), with the first
//      byte's upper bits choosing target, norm and a few fields
//   3  NUL-separated name, value pairs through SetOption and SetGenericOption
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "engine/FFmpegLogger.h"
#include "engine/FFmpegOptions.h"
#include "engine/FFmpegRecords.h"

namespace {

// Stands in for the task: streams are "added", hooks refused, one 25 fps input.
struct FuzzHost : IOptionHost {
    void NewStream(AVMediaType) override {}
    int AddFrameHook(const std::string&) override { return -1; }
    std::vector<AVRational> InputVideoFrameRates() const override { return {{25, 1}}; }
};

void Exercise(TFFmpegOptions& opts, uint8_t mode, const std::string& text) {
    switch (mode & 3) {
        case 0:
            for (const TExtOption& o : ParseExtOptions(text)) {
                try {
                    opts.SetOption(o.Name, o.Value);
                } catch (const FFmpegException&) {
                }
            }
            break;
        case 1: {
            TInputOptions in;
            in.ExtOptions = text;
            ApplyInputOptions(opts, in);
            break;
        }
        case 2: {
            TOutputOptions out;
            out.ExtOptions = text;
            out.Target = (mode >> 2) & 3;
            out.TargetNorm = (mode >> 4) & 3;
            out.TargetNormDefault = (mode >> 6) & 1;
            if (mode & 0x80) {
                out.CropTop = 8;
                out.FrameSize = "320x240";
                out.Metadata.Timestamp = 40000.5;
                out.Metadata.Title = "t";
            }
            TOutputStreamSettings settings = CollectOutputStreamSettings(out);
            ApplyOutputOptions(opts, out, settings);
            ApplyNewStreamOptions(opts, out, settings);
            break;
        }
        default: {
            std::vector<std::string> parts;
            size_t start = 0;
            for (size_t i = 0; i <= text.size(); ++i) {
                if (i == text.size() || text[i] == '\0') {
                    parts.push_back(text.substr(start, i - start));
                    start = i + 1;
                }
            }
            for (size_t i = 0; i + 1 < parts.size(); i += 2) {
                try {
                    opts.SetOption(parts[i], parts[i + 1]);
                } catch (const FFmpegException&) {
                }
                opts.SetGenericOption(parts[i], parts[i + 1]);
            }
            break;
        }
    }
}

// What the set-up will read.
void ReadBack(const TFFmpegOptions& opts) {
    const TOptionState& s = opts.State();
    const std::string* names[] = {&s.VideoCodecName, &s.AudioCodecName, &s.VideoCodecName,
                                  &s.SubtitleCodecName, &s.VideoCodecName};
    for (int kind = 0; kind < kOptionKinds; ++kind) {
        const AVCodec* codec = lav::avcodec_find_encoder_by_name(names[kind]->c_str());
        AVDictionary* d = opts.CodecOptionsFor(static_cast<AVMediaType>(kind), codec, true);
        lav::av_dict_free(&d);
    }
    const AVOutputFormat* muxer = lav::av_guess_format(s.ForcedFormat.c_str(), nullptr, nullptr);
    AVDictionary* f = opts.FormatOptionsFor(muxer ? muxer->priv_class : nullptr, true);
    lav::av_dict_free(&f);
    (void)opts.ScalerFlags();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::Initialise();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    GetLogger()->SetLogLevel(llQuiet);  // an input may have raised it ("loglevel", "debug")
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    FuzzHost host;
    TFFmpegOptions opts(nullptr);
    opts.SetHost(&host);
    try {
        Exercise(opts, data[0], text);
    } catch (const FFmpegException&) {
    }
    ReadBack(opts);
    opts.ResetOptions();
    return 0;
}
