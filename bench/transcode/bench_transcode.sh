#!/usr/bin/env bash
# The same conversions by `tandrel-cli transcode` and by the ffmpeg program, side by side:
# same clip, same options, RUNS runs each (alternating), medians of wall and CPU time.
# Usage: bench/transcode/bench_transcode.sh [build-dir] [runs] [seconds-of-source]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"
bench_cli "${1:-$here/build}"
runs=${2:-5}
length=${3:-30}

src=$work/source.mp4
source_clip "$src" "$length"

# name | output | options (shared by both programs)
cases=(
    "mp4-x264-aac|out.mp4|-vcodec libx264 -b 1000k -acodec aac -ab 128k"
    "avi-mpeg4-mp3|out.avi|-vcodec mpeg4 -b 1000k -acodec libmp3lame -ab 128k"
    "flv|out.flv|-vcodec flv -b 800k -acodec libmp3lame -ab 96k -ar 44100"
    "mp3-only|out.mp3|-vn -acodec libmp3lame -ab 192k"
    "wav|out.wav|-vn -acodec pcm_s16le"
)


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
    ow=$(col 1 "$work/ours"); oc=$(col 2 "$work/ours")
    tw=$(col 1 "$work/theirs"); tc=$(col 2 "$work/theirs")
    printf "%-15s %9.2f %9.2f %9.2f %9.2f %7.3f %7.3f\n" "$name" "$ow" "$tw" "$oc" "$tc" \
        "$(echo "$ow / $tw" | bc -l)" "$(echo "$oc / $tc" | bc -l)"
done
