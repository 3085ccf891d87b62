#!/usr/bin/env bash
# A batch of FILES copies of one clip converted with a profile by `tandrel-cli convert --jobs K`
# against the ffmpeg program making the same files K at a time (xargs -P K), for K = 1 and 2;
# RUNS runs each (alternating), medians of wall time. The ffmpeg arguments mirror the profile's
# output (bench/transcode/mirror.sh).
#
# Usage: bench/component/bench_batch_jobs.sh [build-dir] [runs] [seconds-of-clip] [profile] [files]
#   Defaults: build/, 3 runs, 20 s, profile 101 (AVI, H.264 + AAC), 4 files.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"
bench_cli "${1:-$here/build}"
runs=${2:-3}
length=${3:-20}
profile=${4:-101}
count=${5:-4}
# shellcheck source=../transcode/mirror.sh
source "$here/bench/transcode/mirror.sh"

mkdir -p "$work/in" "$work/ours" "$work/theirs"
source_clip "$work/in/clip0.mp4" "$length"
for ((i = 1; i < count; i++)); do cp "$work/in/clip0.mp4" "$work/in/clip$i.mp4"; done
"$cli" profiles --json >"$work/profiles.json"
"$cli" convert --progress none --overwrite --profile "$profile" --out "$work/ours" \
    "$work/in/clip0.mp4" >/dev/null
first=$(ls "$work/ours"/*)
ext=${first##*.}
mirror_args "$profile" "$first" "$work/profiles.json"
export work ext
printf '%s\0' "${args[@]}" >"$work/args"

# One file by the ffmpeg program with the mirrored arguments.
reference() {
    local -a a
    mapfile -d '' a <"$work/args"
    ffmpeg -nostdin -v error -y -i "$1" "${a[@]}" "$work/theirs/$(basename "$1" .mp4).$ext"
}
export -f reference

echo "batch: $count x $length s 640x360 clips, profile $profile ($kind); $runs runs, medians"
printf "%-8s %9s %9s %9s %9s %6s %6s\n" "at once" "ours(s)" "ffmpeg(s)" "ourCPU" "ffCPU" \
    "wall×" "cpu×"
for jobs in 1 2; do
    : >"$work/o"; : >"$work/f"
    for ((r = 0; r < runs; r++)); do
        timed "$cli" convert --progress none --overwrite --jobs "$jobs" --profile "$profile" \
            --out "$work/ours" "$work/in"/*.mp4 >>"$work/o"
        timed bash -c "ls '$work'/in/*.mp4 | xargs -P $jobs -I{} bash -c 'reference {}'" >>"$work/f"
    done
    o=$(col 1 "$work/o"); f=$(col 1 "$work/f")
    oc=$(col 2 "$work/o"); fc=$(col 2 "$work/f")
    printf "%-8s %9.2f %9.2f %9.2f %9.2f %6.2f %6.2f\n" "$jobs" "$o" "$f" "$oc" "$fc" \
        "$(awk -v a="$o" -v b="$f" 'BEGIN { print a / b }')" \
        "$(awk -v a="$oc" -v b="$fc" 'BEGIN { print a / b }')"
    echo "$o" >"$work/jobs$jobs"
done
awk -v a="$(cat "$work/jobs2")" -v b="$(cat "$work/jobs1")" \
    'BEGIN { printf "ours, 2 at once / 1 at a time: %.2f\n", a / b }'
