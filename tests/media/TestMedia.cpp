#include "TestMedia.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

namespace fs = std::filesystem;

namespace testmedia {
namespace {

// Common ffmpeg flags: quiet, deterministic output, no metadata of the encoder's own.
constexpr const char* kCommon =
    "-nostdin -hide_banner -loglevel error -y -fflags +bitexact";
constexpr const char* kVideo2s = "-f lavfi -i testsrc2=size=320x240:rate=25:duration=2";
constexpr const char* kAudio2s = "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=2";
// A 320x320 album cover (one picture).
constexpr const char* kCover = "-f lavfi -i testsrc2=size=320x320:rate=1:duration=1";
// 10 s with a white flash (two frames) and a 1 kHz beep (80 ms) at 1, 5 and 9 s.
constexpr const char* kSyncVideo =
    "-f lavfi -i \"color=c=black:s=320x240:r=25:d=10,"
    "drawbox=x=0:y=0:w=iw:h=ih:color=white:t=fill:enable='between(mod(t,4),1,1.07)'";
constexpr const char* kSyncAudio =
    "-f lavfi -i \"aevalsrc='if(between(mod(t,4),1,1.08),0.8*sin(2*PI*1000*t),0)'"
    ":s=44100:d=10\"";

struct Clip {
    const char* id;
    const char* fileName;
    // Makes the clip at `out` (a temporary name in the media folder) from the clip it depends
    // on (`source`, empty when none).
    std::function<bool(const std::string& out, const std::string& source, std::string* error)>
        make;
    const char* dependsOn = nullptr;
};

// A picture source that carries its frame number: testsrc2 below a black band of ten 32 × 40
// blocks, block k white when bit k of the frame number is set; with `flashes`, the picture
// below the band turns white for two frames at 1, 5 and 9 s (the times of kSyncAudio's beeps).
std::string numberedVideo(int width, int height, double seconds, bool flashes) {
    std::string f = "-f lavfi -i \"testsrc2=size=" + std::to_string(width) + "x" +
                    std::to_string(height) + ":rate=25:duration=" + std::to_string(seconds) +
                    ",format=yuv420p,drawbox=x=0:y=0:w=iw:h=40:color=black:t=fill";
    for (int k = 0; k < 10; ++k)
        f += ",drawbox=x=" + std::to_string(32 * k) + ":y=0:w=32:h=40:color=white:t=fill" +
             ":enable='eq(mod(floor(n/" + std::to_string(1 << k) + "),2),1)'";
    if (flashes)
        f += ",drawbox=x=0:y=40:w=iw:h=ih-40:color=white:t=fill:enable='between(mod(t,4),1,1.07)'";
    return f + "\"";
}

bool ffmpegTo(const std::string& args, const std::string& out, std::string* error) {
    return RunFfmpeg(args + " " + Quote(out), error);
}

bool writeBytes(const std::string& out, const std::string& bytes) {
    std::ofstream f(out, std::ios::binary | std::ios::trunc);
    f << bytes;
    return static_cast<bool>(f);
}

// Writes the first `length(size)` bytes of `src` to `out`: a copy cut short.
bool writePrefix(const std::string& src, const std::string& out,
                 const std::function<size_t(size_t)>& length, std::string* error) {
    std::ifstream in(src, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty()) {
        if (error) *error = "source clip missing";
        return false;
    }
    return writeBytes(out, bytes.substr(0, length(bytes.size())));
}

const std::vector<Clip>& clips() {
    static const std::vector<Clip> list = {
        {"avi_mpeg4_mp3", "avi_mpeg4_mp3.avi",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo(std::string(kVideo2s) + " " + kAudio2s +
                                 " -ac 2 -c:v mpeg4 -q:v 5 -c:a libmp3lame -b:a 128k -f avi",
                             out, e);
         }},
        {"mp4_h264_aac", "mp4_h264_aac.mp4",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo(std::string(kVideo2s) + " " + kAudio2s +
                                 " -ac 2 -c:v libx264 -preset ultrafast -pix_fmt yuv420p"
                                 " -c:a aac -b:a 128k -f mp4",
                             out, e);
         }},
        {"audio_mp3", "audio.mp3",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo("-f lavfi -i sine=frequency=1000:sample_rate=44100:duration=3"
                             " -ac 2 -c:a libmp3lame -b:a 128k -metadata title=Tone"
                             " -metadata artist=Tandrel -f mp3",
                             out, e);
         }},
        {"wav_pcm", "audio.wav",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo(std::string(kAudio2s) + " -ac 2 -c:a pcm_s16le -f wav", out, e);
         }},
        {"mkv_51", "surround51.mkv",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo(std::string(kVideo2s) +
                                 " -f lavfi -i sine=frequency=440:sample_rate=48000:duration=2"
                                 " -af aformat=channel_layouts=5.1 -c:v libx264 -preset"
                                 " ultrafast -pix_fmt yuv420p -c:a aac -b:a 256k -f matroska",
                             out, e);
         }},
        // testsrc2 rounds odd sizes down: the picture is scaled to the odd size instead. (The
        // file name changed with that, so that caches holding the old 320x240 clip remake it.)
        {"odd_321x241", "odd321x241.avi",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo(std::string(kVideo2s) + " " + kAudio2s +
                                 " -vf scale=321:241 -ac 2 -c:v mpeg4 -q:v 5 -c:a libmp3lame"
                                 " -b:a 128k -f avi",
                             out, e);
         }},
        {"vfr", "vfr.mkv",
         [](const std::string& out, const std::string&, std::string* e) {
             // 25 frames in the first second, then one frame every 100 ms.
             return ffmpegTo("-f lavfi -i testsrc2=size=320x240:rate=25:duration=3"
                             " -vf \"select='lt(n,25)+not(mod(n-25,2.5))',"
                             "setpts='if(lt(N,25),N/25,1+(N-25)/10)/TB'\""
                             " -fps_mode vfr -c:v libx264 -preset ultrafast -pix_fmt yuv420p"
                             " -f matroska",
                             out, e);
         }},
        {"nonascii", "测试 视频 🎬 clip.mp4",
         [](const std::string& out, const std::string& src, std::string* e) {
             std::error_code ec;
             fs::copy_file(src, out, fs::copy_options::overwrite_existing, ec);
             if (ec && e) *e = ec.message();
             return !ec;
         },
         "mp4_h264_aac"},
        {"empty", "empty.mp4",
         [](const std::string& out, const std::string&, std::string*) {
             return writeBytes(out, "");
         }},
        {"truncated", "truncated.mp4",
         [](const std::string& out, const std::string& src, std::string* e) {
             return writePrefix(src, out, [](size_t n) { return n / 2; }, e);
         },
         "mp4_h264_aac"},
        {"random", "random.avi",
         [](const std::string& out, const std::string&, std::string*) {
             std::mt19937 rng(20261209);
             std::string bytes(64 * 1024, '\0');
             for (char& c : bytes) c = static_cast<char>(rng() & 0xff);
             return writeBytes(out, bytes);
         }},
        {"text_mp4", "text.mp4",
         [](const std::string& out, const std::string&, std::string*) {
             return writeBytes(out, "This is not a video file.\nJust some text.\n");
         }},
        {"mp3_tags", "tags.mp3",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo("-f lavfi -i sine=frequency=1000:sample_rate=44100:duration=3"
                             " -ac 2 -c:a libmp3lame -b:a 128k -metadata title=Tone"
                             " -metadata artist=Tandrel -metadata album=Fixtures"
                             " -metadata genre=Test -metadata comment=Probe -metadata date=2019"
                             " -metadata track=3/12 -metadata copyright=Nobody -f mp3",
                             out, e);
         }},
        {"ts_mpeg2", "mpeg2_2997.ts",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo("-f lavfi -i testsrc2=size=320x240:rate=30000/1001:duration=2"
                             " -f lavfi -i sine=frequency=440:sample_rate=48000:duration=2"
                             " -ac 2 -c:v mpeg2video -q:v 5 -c:a mp2 -b:a 128k"
                             " -metadata service_provider=Tandrel -metadata service_name=Probe"
                             " -metadata:s:a:0 language=eng -f mpegts",
                             out, e);
         }},
        {"avi_sar", "sar_16_15.avi",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo(std::string(kVideo2s) + " " + kAudio2s +
                                 " -vf setsar=16/15 -ac 2 -c:v mpeg4 -q:v 5 -c:a libmp3lame"
                                 " -b:a 128k -f avi",
                             out, e);
         }},
        {"raw_h264", "raw.h264",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo(std::string(kVideo2s) +
                                 " -c:v libx264 -preset ultrafast -pix_fmt yuv420p -f h264",
                             out, e);
         }},
        {"m4a_created", "created.m4a",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo(std::string(kAudio2s) +
                                 " -ac 2 -c:a aac -b:a 128k"
                                 " -metadata creation_time=2021-06-15T12:34:56.000000Z -f ipod",
                             out, e);
         }},
        {"mp3_cover", "cover.mp3",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo(std::string(kAudio2s) +
                                 " -f lavfi -i testsrc2=size=64x64:rate=1:duration=1"
                                 " -map 0:a -map 1:v -ac 2 -c:a libmp3lame -b:a 128k -c:v png"
                                 " -frames:v 1 -disposition:v:0 attached_pic -id3v2_version 3"
                                 " -metadata:s:v title=\"Album cover\""
                                 " -metadata:s:v comment=\"Cover (front)\" -f mp3",
                             out, e);
         }},
        {"webm_opus", "opus.webm",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo("-f lavfi -i sine=frequency=440:sample_rate=48000:duration=2"
                             " -c:a libopus -b:a 64k -f webm",
                             out, e);
         }},
        {"mp3_truncated", "truncated.mp3",
         [](const std::string& out, const std::string& src, std::string* e) {
             return writePrefix(src, out, [](size_t n) { return n * 3 / 5; }, e);
         },
         "mp3_tags"},
        {"ts_truncated", "truncated.ts",
         [](const std::string& out, const std::string& src, std::string* e) {
             // Cut inside a packet, as an interrupted copy would.
             return writePrefix(src, out, [](size_t n) { return n / 2 + 77; }, e);
         },
         "ts_mpeg2"},
        {"clip10s", "clip10s.mp4",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo("-f lavfi -i testsrc2=size=320x240:rate=25:duration=10"
                             " -f lavfi -i sine=frequency=440:sample_rate=44100:duration=10"
                             " -ac 2 -c:v libx264 -preset ultrafast -pix_fmt yuv420p"
                             " -c:a aac -b:a 128k -f mp4",
                             out, e);
         }},
        {"clip10s_640", "clip10s_640.avi",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo("-f lavfi -i testsrc2=size=640x360:rate=25:duration=10"
                             " -f lavfi -i sine=frequency=660:sample_rate=48000:duration=10"
                             " -ac 2 -c:v mpeg4 -q:v 5 -c:a libmp3lame -b:a 128k -f avi",
                             out, e);
         }},
        {"sync_markers", "sync_markers.mkv",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo(std::string(kSyncVideo) + "\"" + " " + kSyncAudio +
                                 " -c:v ffv1 -c:a pcm_s16le -f matroska",
                             out, e);
         }},
        // The markers on pictures 30, 150 and 270 (1.001, 5.005 and 9.009 s) and the beeps
        // at those times, so that the source itself has no offset.
        {"sync_markers_2997", "sync_markers_2997.mkv",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo(
                 "-f lavfi -i \"color=c=black:s=320x240:r=30000/1001:d=10,drawbox=x=0:y=0:w=iw:"
                 "h=ih:color=white:t=fill:enable='between(mod(n,120),30,31)'\" -f lavfi -i"
                 " \"aevalsrc='if(between(mod(t-1.001,4.004),0,0.08),0.8*sin(2*PI*1000*t),0)'"
                 ":s=48000:d=10\" -ac 2 -c:v ffv1 -c:a pcm_s16le -f matroska",
                 out, e);
         }},
        {"sync_gap", "sync_gap.mkv",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo(std::string(kSyncVideo) + ",select='not(between(t,3,3.5))'\" " +
                                 kSyncAudio + " -fps_mode vfr -c:v ffv1 -c:a pcm_s16le -f matroska",
                             out, e);
         }},
        {"ramp10s", "ramp10s.mkv",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo("-f lavfi -i \"color=c=black:s=320x240:r=25:d=10,format=yuv420p,"
                             "geq=lum='16+20*T':cb=128:cr=128\""
                             " -f lavfi -i sine=frequency=440:sample_rate=44100:duration=10"
                             " -ac 2 -c:v ffv1 -c:a pcm_s16le -f matroska",
                             out, e);
         }},
        // Everyday files: what phones, music libraries and downloads hold. Each lasts 2 s.
        {"cover_mp4", "cover_video.mp4",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo(std::string(kVideo2s) + " " + kAudio2s + " " + kCover +
                                 " -map 2:v -map 0:v -map 1:a -c:v:0 mjpeg"
                                 " -disposition:v:0 attached_pic -c:v:1 libx264 -preset ultrafast"
                                 " -pix_fmt yuv420p -disposition:v:1 default -ac 2 -c:a aac"
                                 " -f mp4",
                             out, e);
         }},
        {"cover_m4a", "cover_music.m4a",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo(std::string(kAudio2s) + " " + kCover +
                                 " -map 0:a -map 1:v -ac 2 -c:a aac -c:v mjpeg -frames:v 1"
                                 " -disposition:v attached_pic -f ipod",
                             out, e);
         }},
        {"subs_mkv", "subtitled.mkv",
         [](const std::string& out, const std::string&, std::string* e) {
             const std::string srt = out + ".srt";
             if (!writeBytes(srt,
                             "1\n00:00:00,200 --> 00:00:01,000\nHello\n\n"
                             "2\n00:00:01,200 --> 00:00:01,800\nWorld\n"))
                 return false;
             const bool ok = ffmpegTo(std::string(kVideo2s) + " " + kAudio2s + " -i " + Quote(srt) +
                                          " -map 0 -map 1 -map 2 -c:v libx264 -preset ultrafast"
                                          " -pix_fmt yuv420p -ac 2 -c:a aac -c:s srt -f matroska",
                                      out, e);
             fs::remove(srt);
             return ok;
         }},
        {"two_audio", "commentary.mkv",
         [](const std::string& out, const std::string&, std::string* e) {
             // The main track (5.1, 48 kHz) first, a mono 22.05 kHz commentary after it.
             return ffmpegTo(std::string(kVideo2s) +
                                 " -f lavfi -i sine=frequency=440:sample_rate=48000:duration=2"
                                 " -f lavfi -i sine=frequency=300:sample_rate=22050:duration=2"
                                 " -map 0 -map 1 -map 2 -c:v libx264 -preset ultrafast"
                                 " -pix_fmt yuv420p -c:a aac -filter:a:0"
                                 " aformat=channel_layouts=5.1 -ac:a:1 1 -f matroska",
                             out, e);
         }},
        {"rgb_utvideo", "screen_rgb.avi",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo(std::string(kVideo2s) + " " + kAudio2s +
                                 " -c:v utvideo -pix_fmt gbrp -ac 2 -c:a pcm_s16le -f avi",
                             out, e);
         }},
        {"h264_10bit", "ten_bit.mp4",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo(std::string(kVideo2s) + " " + kAudio2s +
                                 " -c:v libx264 -preset ultrafast -pix_fmt yuv420p10le -ac 2"
                                 " -c:a aac -f mp4",
                             out, e);
         }},
        {"rotated_90", "phone_rotated.mp4",
         [](const std::string& out, const std::string& src, std::string* e) {
             // The display matrix is written on a stream copy of a plain clip.
             return ffmpegTo(
                 "-i " + Quote(src) + " -map 0 -c copy -metadata:s:v:0 rotate=90 -f mp4", out, e);
         },
         "mp4_h264_aac"},
        {"mpeg2_interlaced", "interlaced.mpg",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo("-f lavfi -i testsrc2=size=720x576:rate=25:duration=2 " +
                                 std::string(kAudio2s) +
                                 " -vf setfield=tff -c:v mpeg2video -flags +ilme+ildct -top 1"
                                 " -b:v 3M -ac 2 -c:a mp2 -f mpeg",
                             out, e);
         }},
        {"vp9_opus", "vp9_opus.webm",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo(std::string(kVideo2s) +
                                 " -f lavfi -i sine=frequency=440:sample_rate=48000:duration=2"
                                 " -c:v libvpx-vp9 -deadline realtime -cpu-used 8 -b:v 300k"
                                 " -ac 2 -c:a libopus -f webm",
                             out, e);
         }},
        {"ts_10h", "ten_hours.ts",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo(std::string(kVideo2s) +
                                 " -f lavfi -i sine=frequency=440:sample_rate=48000:duration=2"
                                 " -c:v mpeg2video -q:v 4 -ac 2 -c:a mp2 -output_ts_offset 36000"
                                 " -f mpegts",
                             out, e);
         }},
        {"late_video", "late_video.mkv",
         [](const std::string& out, const std::string& src, std::string* e) {
             // The pictures' time stamps start 10 hours after the sound's.
             return ffmpegTo("-itsoffset 36000 -i " + Quote(src) + " -i " + Quote(src) +
                                 " -map 0:v -map 1:a -c copy -f matroska",
                             out, e);
         },
         "mp4_h264_aac"},
        {"bframes_4s", "bframes.mp4",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo(
                 "-f lavfi -i testsrc2=size=320x240:rate=25:duration=4"
                 " -c:v libx264 -preset medium -bf 3 -g 50 -pix_fmt yuv420p -f mp4",
                 out, e);
         }},
        {"clip720_short", "clip720_short.mp4",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo(
                 "-f lavfi -i testsrc2=size=1280x720:rate=25:duration=0.4"
                 " -f lavfi -i sine=frequency=440:sample_rate=48000:duration=0.4"
                 " -ac 2 -c:v libx264 -preset ultrafast -pix_fmt yuv420p"
                 " -c:a aac -f mp4",
                 out, e);
         }},
        {"frames10s", "frames10s.mp4",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo(numberedVideo(320, 240, 10, true) + " " + kSyncAudio +
                                 " -ac 2 -c:v libx264 -preset ultrafast -pix_fmt yuv420p"
                                 " -c:a aac -b:a 128k -f mp4",
                             out, e);
         }},
        {"intra25", "intra25.mp4",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo(numberedVideo(320, 240, 8, false) +
                                 " -c:v libx264 -preset ultrafast -pix_fmt yuv420p -g 1 -f mp4",
                             out, e);
         }},
        {"gop12", "gop12.mp4",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo(numberedVideo(320, 240, 8, false) +
                                 " -c:v libx264 -preset ultrafast -pix_fmt yuv420p -g 12"
                                 " -keyint_min 12 -sc_threshold 0 -f mp4",
                             out, e);
         }},
        {"odd_ffv1", "odd_321x241_ffv1.avi",
         [](const std::string& out, const std::string&, std::string* e) {
             // Made in RGB first: testsrc2 rounds odd sizes down in subsampled formats.
             return ffmpegTo("-f lavfi -i \"testsrc2=size=321x241:rate=25:duration=2,format=rgb24\" " +
                                 std::string(kAudio2s) +
                                 " -ac 2 -c:v ffv1 -pix_fmt yuv420p -c:a libmp3lame -b:a 128k -f avi",
                             out, e);
         }},
        {"slides_05fps", "slides.mkv",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo("-f lavfi -i testsrc2=size=320x240:rate=0.5:duration=20"
                             " -c:v mpeg4 -q:v 3 -f matroska",
                             out, e);
         }},
        {"clip2s_640", "clip2s_640.mp4",
         [](const std::string& out, const std::string&, std::string* e) {
             return ffmpegTo("-f lavfi -i testsrc2=size=640x360:rate=25:duration=2"
                             " -f lavfi -i sine=frequency=440:sample_rate=44100:duration=2"
                             " -ac 2 -c:v libx264 -preset ultrafast -pix_fmt yuv420p"
                             " -c:a aac -b:a 128k -f mp4",
                             out, e);
         }},
    };
    return list;
}

fs::path mediaDir() {
    const char* dir = std::getenv("TANDREL_TEST_MEDIA_DIR");
    fs::path p = dir && *dir ? fs::path(dir) : fs::path(TANDREL_TEST_MEDIA_DIR_DEFAULT);
    fs::create_directories(p);
    return p;
}

// Holds the folder's lock while alive.
class FolderLock {
public:
    explicit FolderLock(const fs::path& dir) {
        fd_ = ::open((dir / ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ >= 0) ::flock(fd_, LOCK_EX);
    }
    ~FolderLock() {
        if (fd_ >= 0) ::close(fd_);  // releases the lock
    }

private:
    int fd_ = -1;
};

const Clip* findClip(const std::string& id) {
    for (const Clip& clip : clips())
        if (id == clip.id) return &clip;
    return nullptr;
}

bool makeClip(const Clip& clip, std::string* path, std::string* error) {
    std::string source;
    if (clip.dependsOn && !makeClip(*findClip(clip.dependsOn), &source, error)) return false;
    const fs::path dir = mediaDir();
    const fs::path final = dir / fs::u8path(clip.fileName);
    *path = final.string();
    if (fs::exists(final)) return true;
    FolderLock lock(dir);
    if (fs::exists(final)) return true;
    // Written under a temporary name with the same extension, renamed when whole.
    const fs::path tmpName = dir / (std::string(".tmp-") + std::to_string(::getpid()) +
                                    fs::u8path(clip.fileName).extension().string());
    if (!clip.make(tmpName.string(), source, error)) {
        fs::remove(tmpName);
        return false;
    }
    fs::rename(tmpName, final);
    return true;
}

}  // namespace

std::string Quote(const std::string& path) {
    std::string q = "'";
    for (char c : path) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

bool RunFfmpeg(const std::string& args, std::string* error) {
    const std::string cmd = std::string("ffmpeg ") + kCommon + " " + args + " 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) {
        if (error) *error = "cannot run ffmpeg";
        return false;
    }
    std::string output;
    char buf[1024];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) output.append(buf, n);
    const int status = ::pclose(p);
    if (status != 0) {
        if (error) *error = "ffmpeg failed: " + cmd + "\n" + output;
        return false;
    }
    return true;
}

std::string Path(const std::string& id) {
    const Clip* clip = findClip(id);
    if (!clip) {
        ADD_FAILURE() << "unknown fixture " << id;
        return {};
    }
    std::string path, error;
    if (!makeClip(*clip, &path, &error)) {
        ADD_FAILURE() << "cannot make fixture " << id << ": " << error;
        return {};
    }
    return path;
}

std::vector<std::string> AllIds() {
    std::vector<std::string> ids;
    for (const Clip& clip : clips()) ids.push_back(clip.id);
    return ids;
}

bool MakeAll(std::string* error) {
    for (const Clip& clip : clips()) {
        std::string path;
        if (!makeClip(clip, &path, error)) return false;
    }
    return true;
}

}  // namespace testmedia
