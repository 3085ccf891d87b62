#!/usr/bin/env bash
# Seed corpora for the media fuzz targets, made at build time by the ffmpeg program: a tenth of a
# second or so of tiny pictures and sound in many containers and codecs (a few KiB each).
# Usage: make_seeds.sh OUTDIR   (writes OUTDIR/media for the probe, OUTDIR/convert for the
# conversion target, whose inputs start with one byte choosing the output)
set -euo pipefail
out=$1
rm -rf "$out/media" "$out/convert"
mkdir -p "$out/media" "$out/convert"
cd "$out/media"

v="-f lavfi -i testsrc2=size=32x24:rate=10:duration=0.3"
a="-f lavfi -i sine=frequency=440:sample_rate=16000:duration=0.3"
make() {  # make NAME ARGS...: one clip; a codec this ffmpeg lacks is skipped with a note
    local name=$1
    shift
    if ! ffmpeg -nostdin -v error -y "$@" "$name" 2>"$name.log"; then
        echo "make_seeds: skipped $name: $(head -c 200 "$name.log")" >&2
        rm -f "$name"
    fi
    rm -f "$name.log"
}

make avi_mpeg4_mp2.avi $v $a -c:v mpeg4 -c:a mp2 -shortest
make mp4_h264_aac.mp4 $v $a -c:v libx264 -preset ultrafast -c:a aac -shortest
make mov_mjpeg_pcm.mov $v $a -c:v mjpeg -c:a pcm_s16le -shortest
make mkv_vp8_vorbis.mkv $v $a -c:v libvpx -c:a libvorbis -shortest
make webm_vp9_opus.webm $v -f lavfi -i sine=sample_rate=48000:duration=0.3 -c:v libvpx-vp9 \
    -deadline realtime -c:a libopus -shortest
make flv_flv_mp3.flv $v -f lavfi -i sine=sample_rate=22050:duration=0.3 -c:v flv \
    -c:a libmp3lame -shortest
make ts_mpeg2_mp2.ts $v $a -c:v mpeg2video -c:a mp2 -shortest
make ps_mpeg2_ac3.mpg $v -f lavfi -i sine=sample_rate=48000:duration=0.3 -c:v mpeg2video \
    -c:a ac3 -shortest
make ogg_theora_vorbis.ogv $v $a -c:v libtheora -c:a libvorbis -shortest
make asf_wmv2_wmav2.wmv $v $a -c:v wmv2 -c:a wmav2 -shortest
make h263.3gp -f lavfi -i testsrc2=size=128x96:rate=10:duration=0.3 -c:v h263
make msmpeg4_adpcm.avi $v $a -c:v msmpeg4v2 -c:a adpcm_ima_wav -shortest
make nut_ffv1_flac.nut $v $a -c:v ffv1 -c:a flac -shortest
make raw.h264 $v -c:v libx264 -preset ultrafast -f h264
make pcm.wav $a -c:a pcm_s16le
make mulaw.wav $a -c:a pcm_mulaw
make audio.mp3 $a -c:a libmp3lame
make audio.m4a $a -c:a aac
make alac.m4a $a -c:a alac
make audio.flac $a -c:a flac
make audio.ac3 -f lavfi -i sine=sample_rate=48000:duration=0.3 -c:a ac3
make audio.opus -f lavfi -i sine=sample_rate=48000:duration=0.3 -c:a libopus
make picture.png -f lavfi -i testsrc2=size=32x24:rate=1:duration=1 -frames:v 1
make srt_in_mkv.mkv $v -f lavfi -i sine=sample_rate=16000:duration=0.3 \
    -f srt -i <(printf '1\n00:00:00,000 --> 00:00:00,200\nhello\n') -c:v mpeg4 -c:a mp2 -c:s srt \
    -shortest

# The conversion target reads one leading byte that picks its output; spread the seeds over them.
i=0
for f in *; do
    { printf "\\$(printf '%03o' $((i % 8)))"; cat "$f"; } >"../convert/$f"
    i=$((i + 1))
done
echo "make_seeds: $(ls | wc -l) seeds, $(du -sk . | cut -f1) KiB" >&2
