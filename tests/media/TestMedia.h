// Fixture clips, made at test time with the ffmpeg program and kept in the build tree
// (TANDREL_TEST_MEDIA_DIR) for the rest of the run. Safe to call from parallel test processes:
// generation is serialised with a file lock, and a clip appears under its name only when whole.
#pragma once

#include <string>
#include <vector>

namespace testmedia {

// Absolute path of the clip `id`, made first if needed; fails the calling test (and returns
// "") when it cannot be made. Ids:
//   avi_mpeg4_mp3  2 s 320x240 25 fps mpeg4 + mp3 44.1 kHz stereo, AVI
//   mp4_h264_aac   2 s 320x240 25 fps h264 + aac 44.1 kHz stereo, MP4 (moov at the end)
//   audio_mp3      3 s sine mp3 with title/artist tags
//   wav_pcm        2 s 44.1 kHz stereo pcm_s16le
//   mkv_51         2 s h264 + aac 5.1 (48 kHz), Matroska
//   odd_321x241    2 s 321x241 mpeg4 + mp3, AVI
//   vfr            3 s h264, 25 fps for 1 s then 10 fps, Matroska
//   nonascii       the mp4_h264_aac clip under the name "测试 视频 🎬 clip.mp4"
//   empty          0 bytes, named .mp4
//   truncated      the first half of mp4_h264_aac (no moov)
//   random         64 KiB of pseudo-random bytes, named .avi
//   text_mp4       a text file named .mp4
//   mp3_tags       3 s mp3 with title/artist/album/genre/comment/date/track/copyright tags
//   ts_mpeg2       2 s 320x240 29.97 fps mpeg2video + mp2 48 kHz (language eng), MPEG-TS,
//                  program tags service_provider=Tandrel, service_name=Probe
//   avi_sar        the avi_mpeg4_mp3 clip with a 16:15 sample aspect ratio
//   raw_h264       2 s 320x240 25 fps raw H.264 (Annex B), no container
//   m4a_created    2 s aac stereo, M4A, creation_time 2021-06-15T12:34:56.000000Z
//   mp3_cover      2 s mp3 with a 64x64 PNG cover (attached picture)
//   webm_opus      2 s opus 48 kHz, WebM (the container starts at -0.007 s)
//   mp3_truncated  the first 3/5 of mp3_tags
//   ts_truncated   the first half of ts_mpeg2, cut inside a packet
//   clip10s        10 s 320x240 25 fps h264 + aac 44.1 kHz stereo, MP4
//   clip10s_640    10 s 640x360 25 fps mpeg4 + mp3 48 kHz stereo, AVI
//   sync_markers   10 s black with a white flash and a 1 kHz beep at 1, 5 and 9 s (ffv1 + pcm)
//   sync_markers_2997  the same at 29.97 fps and 48 kHz stereo, the markers at 1.001, 5.005 and
//                  9.009 s (pictures 30, 150 and 270)
//   sync_gap       sync_markers without the pictures between 3.0 and 3.5 s (variable rate)
//   ramp10s        10 s whose luma is 16 + 20 × t (ffv1 + pcm): a picture tells its time
//   slides_05fps   a slide show: 20 s 320x240 mpeg4 at 0.5 pictures a second (ten), Matroska
//   clip2s_640     2 s 640x360 25 fps h264 + aac 44.1 kHz stereo, MP4
// Everyday files (2 s, 320x240, 25 fps, sound 44.1 kHz stereo unless said otherwise):
//   cover_mp4      h264 + aac + a 320x320 cover (attached picture), MP4
//   cover_m4a      aac with a 320x320 cover, M4A (no moving picture)
//   subs_mkv       h264 + aac + SubRip ("Hello" 0.2–1.0 s, "World" 1.2–1.8 s), Matroska
//   two_audio      h264 + aac 5.1 48 kHz + aac mono 22.05 kHz commentary, Matroska
//   rgb_utvideo    Ut Video gbrp (RGB) + pcm, AVI
//   h264_10bit     h264 yuv420p10le + aac, MP4
//   rotated_90     mp4_h264_aac with a display matrix: shown 320 high and 240 wide
//   mpeg2_interlaced 720x576 top-field-first interlaced mpeg2video + mp2, MPEG-PS
//   vp9_opus       vp9 + opus 48 kHz, WebM
//   ts_10h         mpeg2video + mp2 48 kHz, MPEG-TS whose time stamps start at 10 hours
//   late_video     mp4_h264_aac with the pictures' time stamps 10 hours after the sound's, MKV
//   bframes_4s     4 s h264 with 3 B-frames between references, no sound, MP4
//   clip720_short  0.4 s 1280x720 25 fps h264 + aac 48 kHz stereo, MP4
//   frames10s      10 s 320x240 25 fps h264 (one key frame) + aac 44.1 kHz stereo, MP4: the frame
//                  number in binary in a band of ten 32x40 blocks at the top (block k white when
//                  bit k is set), and sync_markers' white flash (below the band) and beeps
//   intra25        8 s 320x240 25 fps h264, every picture a key frame, numbered as frames10s
//   gop12          8 s 320x240 25 fps h264, a key frame every 12 pictures, numbered likewise
//   odd_ffv1       2 s 321x241 (really odd: odd_321x241 comes out 320x240) ffv1 yuv420p + mp3, AVI
std::string Path(const std::string& id);

// Every id above.
std::vector<std::string> AllIds();

// Makes every clip; returns false with the reason on failure (used by the fixture step).
bool MakeAll(std::string* error);

// Runs the ffmpeg program with `args` (a shell-quoted tail of the command line).
bool RunFfmpeg(const std::string& args, std::string* error);

// Quotes a path for the shell.
std::string Quote(const std::string& path);

}  // namespace testmedia
