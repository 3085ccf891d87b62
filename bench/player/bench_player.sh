#!/usr/bin/env bash
# The player on a 720p H.264 clip, next to the ffmpeg programs, in one run:
#   - `tandrel-cli play` (the player component, no window: sound through SDL, pictures decoded
#     and timed but not drawn): time from Open to the first picture, CPU while playing, and the
#     A/V error of the shown pictures;
#   - `ffplay -nodisp -autoexit` (sound only) and `ffmpeg -re -i CLIP -f null -` (both streams
#     decoded in real time) on the same clip: their CPU.
# Every program runs RUNS times (alternating); medians. SDL_AUDIODRIVER defaults to "dummy",
# which consumes sound in real time without a sound card.
# Usage: bench/player/bench_player.sh [build-dir] [runs] [seconds-of-clip]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"
bench_cli "${1:-$here/build}"
runs=${2:-5}
length=${3:-10}
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}

clip=$work/clip720.mp4
ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=1280x720:rate=25:duration=$length" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$length" -ac 2 \
    -c:v libx264 -preset medium -b:v 3000k -pix_fmt yuv420p -c:a aac -b:a 160k "$clip"

field() { grep -o "\"$1\": [-0-9.e]*" "$work/stdout" | head -1 | awk '{print $2}'; }

: >"$work/ours"; : >"$work/ffplay"; : >"$work/ffmpeg"; : >"$work/first"; : >"$work/median"
: >"$work/p95"; : >"$work/max"; : >"$work/dropped"
for ((i = 0; i < runs; i++)); do
    timed "$cli" play "$clip" --json >>"$work/ours"
    field open_to_first_picture_ms >>"$work/first"
    field median >>"$work/median"
    field p95 >>"$work/p95"
    field max >>"$work/max"
    field pictures_dropped >>"$work/dropped"
    timed ffplay -nodisp -autoexit -loglevel error "$clip" >>"$work/ffplay"
    timed ffmpeg -nostdin -loglevel error -re -i "$clip" -f null - >>"$work/ffmpeg"
done

echo "clip: 1280x720 25 fps H.264 + AAC 48 kHz stereo, $length s; $runs runs; audio driver $SDL_AUDIODRIVER"
echo "open to first picture (tandrel-cli play): median $(median <"$work/first") ms"
echo "A/V error (ms, medians over runs): median $(median <"$work/median"), p95 $(median <"$work/p95"), max $(median <"$work/max"); dropped pictures $(median <"$work/dropped")"
printf "%-36s %8s %8s %10s\n" program "wall(s)" "CPU(s)" "CPU/wall"
for p in ours ffplay ffmpeg; do
    case $p in
        ours) name="tandrel-cli play (sound + pictures)" ;;
        ffplay) name="ffplay -nodisp -autoexit (sound)" ;;
        ffmpeg) name="ffmpeg -re -f null (both decoded)" ;;
    esac
    wall=$(col 1 "$work/$p")
    cpu=$(col 2 "$work/$p")
    printf "%-36s %8.2f %8.2f %9.1f%%\n" "$name" "$wall" "$cpu" "$(awk -v c="$cpu" -v w="$wall" 'BEGIN {print 100 * c / w}')"
done
