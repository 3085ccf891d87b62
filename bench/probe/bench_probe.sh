#!/usr/bin/env bash
# Probing many files: one `tandrel-cli probe` run over N generated files against one `ffprobe`
# run per file (how a script would ask the reference tool). Prints both times and the ratio.
#
#   bench/probe/bench_probe.sh [BUILD_DIR] [FILE_COUNT] [ROUNDS]
#
# Defaults: build/, 200 files, best of 3 rounds. Needs the ffmpeg and ffprobe programs.
set -euo pipefail

bench_tmp=tandrel-bench-probe.XXXXXX
source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"
bench_cli "${1:-$here/build}"
count=${2:-200}
rounds=${3:-3}
[[ -x $cli ]] || { echo "no tandrel-cli in $build/bin (build it first)" >&2; exit 2; }
command -v ffprobe >/dev/null || { echo "ffprobe not found" >&2; exit 2; }

ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }
v="-f lavfi -i testsrc2=size=320x240:rate=25:duration=2"
a="-f lavfi -i sine=frequency=440:sample_rate=44100:duration=2"
echo "making the clips in $work ..."
ff $v $a -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac "$work/s0.mp4"
ff $v $a -c:v mpeg4 -c:a libmp3lame "$work/s1.avi"
ff $v $a -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac "$work/s2.mkv"
ff -f lavfi -i testsrc2=size=320x240:rate=30000/1001:duration=2 $a -c:v mpeg2video -c:a mp2 \
   "$work/s3.ts"
ff $a -c:a libmp3lame -metadata title=Tone -metadata artist=Bench "$work/s4.mp3"
ff $a -c:a aac -f ipod "$work/s5.m4a"
ff $a -c:a pcm_s16le "$work/s6.wav"
ff $v -c:v libx264 -preset ultrafast -pix_fmt yuv420p "$work/s7.h264"
ff $a -c:a libopus "$work/s8.webm"
ff $v $a -c:v flv -c:a libmp3lame -ar 44100 "$work/s9.flv"

sources=("$work"/s*.*)
files=()
for ((i = 0; i < count; i++)); do
    src=${sources[i % ${#sources[@]}]}
    dst="$work/file-$i.${src##*.}"
    cp "$src" "$dst"
    files+=("$dst")
done

# Seconds (best of the rounds) of the command given as arguments; output is discarded.
best() {
    local best_t="" t0 t1 t
    for ((r = 0; r < rounds; r++)); do
        t0=$(date +%s.%N)
        "$@" >/dev/null
        t1=$(date +%s.%N)
        t=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.6f", b - a }')
        if [[ -z $best_t ]] || awk -v t="$t" -v b="$best_t" 'BEGIN { exit !(t < b) }'; then
            best_t=$t
        fi
    done
    echo "$best_t"
}

ffprobe_each() {
    for f in "${files[@]}"; do ffprobe -v error "$@" "$f"; done
}

# Warm the page cache and both programs once.
"$cli" probe "${files[@]}" >/dev/null
ffprobe_each -show_format -show_streams >/dev/null

t_text=$(best "$cli" probe "${files[@]}")
t_json=$(best "$cli" probe --json "${files[@]}")
t_ref=$(best ffprobe_each -show_format -show_streams)
t_ref_json=$(best ffprobe_each -print_format json -show_format -show_streams)

printf '%d files, best of %d rounds\n' "$count" "$rounds"
printf '  tandrel-cli probe (text)        %8.3f s\n' "$t_text"
printf '  tandrel-cli probe --json        %8.3f s\n' "$t_json"
printf '  ffprobe per file (default)      %8.3f s\n' "$t_ref"
printf '  ffprobe per file (json)         %8.3f s\n' "$t_ref_json"
awk -v a="$t_ref" -v b="$t_text" -v c="$t_ref_json" -v d="$t_json" \
    'BEGIN { printf "ratio ffprobe / tandrel-cli: text %.1fx, json %.1fx\n", a / b, c / d }'
