#!/usr/bin/env bash
# The same conversions by `tandrel-cli transcode` and by the ffmpeg program, side by side:
# same clip, same options, RUNS runs each (alternating), medians of wall and CPU time.
# Usage: bench/transcode/bench_transcode.sh [build-dir] [runs] [seconds-of-source]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:-$here/build}
runs=${2:-5}
length=${3:-30}
cli=$build/bin/tandrel-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

src=$work/source.mp4
ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=640x360:rate=25:duration=$length" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$length" -ac 2 \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 128k "$src"

# name | output | options (shared by both programs)
cases=(
    "mp4-x264-aac|out.mp4|-vcodec libx264 -b 1000k -acodec aac -ab 128k"
    "avi-mpeg4-mp3|out.avi|-vcodec mpeg4 -b 1000k -acodec libmp3lame -ab 128k"
    "flv|out.flv|-vcodec flv -b 800k -acodec libmp3lame -ab 96k -ar 44100"
    "mp3-only|out.mp3|-vn -acodec libmp3lame -ab 192k"
    "wav|out.wav|-vn -acodec pcm_s16le"
)

median() { sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
# Prints "wall cpu" of one run.
timed() { /usr/bin/time -f "%e %U %S" -o "$work/t" "$@" >/dev/null 2>&1; awk '{print $1, $2+$3}' "$work/t"; }

printf "%-15s %9s %9s %9s %9s %7s %7s\n" case "ours(s)" "ffmpeg(s)" "ourCPU" "ffCPU" wall× cpu×
for c in "${cases[@]}"; do
    IFS='|' read -r name out opts <<<"$c"
    : >"$work/ours"; : >"$work/theirs"
    for ((i = 0; i < runs; i++)); do
        # shellcheck disable=SC2086
        timed "$cli" transcode --progress none -i "$src" $opts "$work/a-$out" >>"$work/ours"
        # shellcheck disable=SC2086
        timed ffmpeg -nostdin -v error -y -i "$src" $opts "$work/b-$out" >>"$work/theirs"
    done
    ow=$(cut -d' ' -f1 "$work/ours" | median); oc=$(cut -d' ' -f2 "$work/ours" | median)
    tw=$(cut -d' ' -f1 "$work/theirs" | median); tc=$(cut -d' ' -f2 "$work/theirs" | median)
    printf "%-15s %9.2f %9.2f %9.2f %9.2f %7.3f %7.3f\n" "$name" "$ow" "$tw" "$oc" "$tc" \
        "$(echo "$ow / $tw" | bc -l)" "$(echo "$oc / $tc" | bc -l)"
done
