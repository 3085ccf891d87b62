// The media libraries (FFmpeg 5.1) and SDL2, bound at run time.
//
// Contract: every call into the media libraries goes through a slot of namespace `lav`
// (`lav::av_read_frame(...)`). The slots are null until `TFFmpegLoader` has bound the library
// that exports them; callers check `LibrariesLoaded()` of their component first. Our binaries
// are never linked against the libraries: calling `::av_read_frame` directly, or a header
// inline helper that calls an export (`av_err2str`, `avio_tell`), fails to link. Use the
// replacements below instead.
#pragma once

#include <cstdint>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavdevice/avdevice.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/avstring.h>
#include <libavutil/channel_layout.h>
#include <libavutil/cpu.h>
#include <libavutil/dict.h>
#include <libavutil/display.h>
#include <libavutil/eval.h>
#include <libavutil/fifo.h>
#include <libavutil/imgutils.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
#include <libavutil/samplefmt.h>
#include <libavutil/time.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
#include <SDL2/SDL.h>
}

namespace lav {

#define F(name) inline decltype(&::name) name = nullptr;
#define V(name, type) inline type* name = nullptr;
#include "entries/avutil.inc"
#include "entries/swresample.inc"
#include "entries/swscale.inc"
#include "entries/avcodec.inc"
#include "entries/avformat.inc"
#include "entries/avfilter.inc"
#include "entries/avdevice.inc"
#include "entries/sdl2.inc"
#undef F
#undef V

// The header macro cannot be used: it calls av_strerror directly.
#undef av_err2str
// av_err2str without the header's compound literal: the library's text for an error code.
std::string av_err2str(int errnum);

// avio_tell is a header inline that calls avio_seek.
inline int64_t avio_tell(AVIOContext* s) { return avio_seek(s, 0, SEEK_CUR); }

}  // namespace lav
