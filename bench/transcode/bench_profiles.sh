#!/usr/bin/env bash
# Conversion time per profile family: `tandrel-cli convert --profile N` against the ffmpeg
# program making the same kind of file — the codecs, frame size, frame rate, sample rate and
# channels our output has (read back with ffprobe) and the profile's bit-rates — from the same
# source, RUNS runs each (alternating), medians of wall and CPU time, and both output sizes.
# The last lines give each family's median ratio.
#
# Usage: bench/transcode/bench_profiles.sh [build-dir] [runs] [seconds-of-source] [profile ...]
#   No profiles: two of each family (300 312 | 101 102 | 1 14 | 203 207).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"
bench_cli "${1:-$here/build}"
runs=${2:-3}
length=${3:-20}
shift $(($# < 3 ? $# : 3))
profiles=("$@")
[[ ${#profiles[@]} -gt 0 ]] || profiles=(300 312 101 102 1 14 203 207)
# shellcheck source=mirror.sh
source "$here/bench/transcode/mirror.sh"

src=$work/source.mp4
source_clip "$src" "$length"
"$cli" profiles --json >"$work/profiles.json"

family() { jq -r ".[] | select(.index == $1) | .tab" "$work/profiles.json"; }
printf "source: %s s 640x360 25 fps H.264 + AAC 44.1 kHz stereo; %s runs each, medians\n" \
    "$length" "$runs"
printf "%-7s %-22s %-30s %8s %8s %6s %6s %6s\n" profile family output "ours(s)" "ffmpeg(s)" \
    wall× cpu× size×
: >"$work/ratios"
for p in "${profiles[@]}"; do
    out=$work/ours-$p
    mkdir -p "$out"
    if ! "$cli" convert --progress none --overwrite --profile "$p" --out "$out" "$src" \
        >/dev/null 2>&1; then
        printf "%-7s conversion failed\n" "$p"
        continue
    fi
    file=$(ls "$out"/*)
    ext=${file##*.}
    mirror_args "$p" "$file" "$work/profiles.json"
    ref=$work/ref.$ext
    : >"$work/ours"; : >"$work/theirs"
    for ((i = 0; i < runs; i++)); do
        timed "$cli" convert --progress none --overwrite --profile "$p" --out "$out" "$src" \
            >>"$work/ours"
        timed ffmpeg -nostdin -v error -y -i "$src" "${args[@]}" "$ref" >>"$work/theirs"
    done
    ow=$(col 1 "$work/ours"); oc=$(col 2 "$work/ours")
    tw=$(col 1 "$work/theirs"); tc=$(col 2 "$work/theirs")
    wall=$(awk -v a="$ow" -v b="$tw" 'BEGIN { printf "%.2f", a / b }')
    cpu=$(awk -v a="$oc" -v b="$tc" 'BEGIN { printf "%.2f", (b > 0) ? a / b : 0 }')
    size=$(awk -v a="$(stat -c %s "$file")" -v b="$(stat -c %s "$ref")" \
        'BEGIN { printf "%.2f", a / b }')
    fam=$(family "$p")
    printf "%-7s %-22s %-30s %8.2f %8.2f %6s %6s %6s\n" "$p" "$fam" "$kind" "$ow" "$tw" \
        "$wall" "$cpu" "$size"
    echo "$fam $wall $cpu" >>"$work/ratios"
done
echo "per family (median of its profiles): wall×, cpu×"
for fam in $(cut -d' ' -f1 "$work/ratios" | awk '!seen[$0]++'); do
    w=$(awk -v f="$fam" '$1 == f { print $2 }' "$work/ratios" | median)
    c=$(awk -v f="$fam" '$1 == f { print $3 }' "$work/ratios" | median)
    printf "  %-22s %6.2f %6.2f\n" "$fam" "$w" "$c"
done
