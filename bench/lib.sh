# Sourced by the benchmark scripts (before they read their arguments). Sets `here` (the
# checkout) and `work` (a temporary folder made from the mktemp template $bench_tmp when the
# script set one, removed when the script exits), and defines:
#   bench_cli BUILD      sets `build` and `cli` (BUILD/bin/tandrel-cli)
#   median               the median of the numbers read, one a line
#   col N FILE           the median of column N of FILE
#   timed PROGRAM ARGS…  runs it, its output into $work/stdout; prints "wall cpu" in seconds
#   source_clip OUT SEC  SEC seconds of 640x360 25 fps H.264 + AAC 44.1 kHz stereo (testsrc2 and
#                        a 440 Hz tone) made by the ffmpeg program
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/${bench_tmp:-tmp.XXXXXXXXXX}")
trap 'rm -rf "$work"' EXIT

bench_cli() {
    build=$1
    cli=$build/bin/tandrel-cli
}
median() { sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
col() { awk -v c="$1" '{print $c}' "$2" | median; }
timed() {
    /usr/bin/time -f "%e %U %S" -o "$work/t" "$@" >"$work/stdout" 2>/dev/null
    awk '{print $1, $2+$3}' "$work/t"
}
source_clip() {
    ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=640x360:rate=25:duration=$2" \
        -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$2" -ac 2 \
        -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 128k "$1"
}
