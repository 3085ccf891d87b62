#!/usr/bin/env bash
# Picture/sound offsets per profile, ours next to the ffmpeg program's same conversion.
#
# The marker clip (10 s, 320x240, 25 fps, 44.1 kHz stereo: a one-frame white flash and a 40 ms
# 1 kHz beep at 1, 5 and 9 s) is converted by `tandrel-cli convert` with every profile that has
# pictures and sound, and by the ffmpeg program with the codecs, frame size, frame rate, sample
# rate and channels our output has, into the same kind of file. Both outputs are measured by the
# ffmpeg program on their own time stamps (-copyts): flashes from the decoded pictures' luma
# (signalstats), beep onsets from silencedetect. Offset = beep − flash in milliseconds at each
# marker (negative: the sound comes first); drift = last offset − first.
#
# Usage: bench/transcode/bench_sync.sh [build-dir] [--rate R] [--ar HZ] [--ours-only] [profile ...]
#   --rate, --ar: the marker clip's frame rate and sample rate (default 25 and 44100).
#   --ours-only: leave out the ffmpeg program's conversions (to compare two builds of ours).
#   No profiles: every profile with pictures and sound (1–24, 100–119, 312–325).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"
# shellcheck source=mirror.sh
source "$here/bench/transcode/mirror.sh"
bench_cli "$here/build"
if [[ $# -gt 0 && $1 != --* && ! $1 =~ ^[0-9]+$ ]]; then bench_cli "$1"; shift; fi
rate=25
ar=44100
reference=1
profiles=()
while [[ $# -gt 0 ]]; do
    case $1 in
        --rate) rate=$2; shift 2 ;;
        --ar) ar=$2; shift 2 ;;
        --ours-only) reference=0; shift ;;
        *) profiles+=("$1"); shift ;;
    esac
done
if [[ ${#profiles[@]} -eq 0 ]]; then
    profiles=($(seq 1 24) $(seq 100 119) $(seq 312 325))
fi
ff() { ffmpeg -nostdin -hide_banner -y "$@"; }

src=$work/markers.mkv
ff -v error \
    -f lavfi -i "color=c=black:s=320x240:r=$rate:d=10,format=yuv420p,drawbox=x=0:y=0:w=iw:h=ih:color=white:t=fill:enable='between(t,1,1+0.99/$rate)+between(t,5,5+0.99/$rate)+between(t,9,9+0.99/$rate)'" \
    -f lavfi -i "aevalsrc='if(between(t,1,1.04)+between(t,5,5.04)+between(t,9,9.04),0.8*sin(2*PI*1000*t),0)':s=$ar:d=10" \
    -ac 2 -c:v ffv1 -c:a pcm_s16le "$src"

# Prints the three offsets and the drift in ms, or "-" fields when a marker is missing.
measure() {
    local f=$1
    local flashes beeps
    flashes=$(ff -v error -copyts -i "$f" -map 0:v:0 \
        -vf "signalstats,metadata=print:key=lavfi.signalstats.YAVG:file=-" -f null - 2>/dev/null |
        awk -F'[ :=]+' '/pts_time/ { for (i = 1; i < NF; i++) if ($i == "pts_time") t = $(i + 1) }
                        /YAVG/ { y = $NF; if (y > 80 && dark) print t; dark = (y < 50) }
                        BEGIN { dark = 1 }')
    beeps=$(ff -v info -copyts -i "$f" -map 0:a:0 -af silencedetect=n=-26dB:d=0.1 -f null - 2>&1 |
        awk '/silence_end/ { for (i = 1; i <= NF; i++) if ($i == "silence_end:") print $(i + 1) }')
    paste <(echo "$flashes") <(echo "$beeps") | awk '
        NF == 2 && n < 3 { o[++n] = ($2 - $1) * 1000 }
        END {
            if (n < 3) { printf "%6s %6s %6s %6s", "-", "-", "-", "-"; exit }
            printf "%+6.0f %+6.0f %+6.0f %+6.0f", o[1], o[2], o[3], o[3] - o[1]
        }'
}

printf "marker clip: %s fps, %s Hz; offsets beep - flash in ms at 1, 5, 9 s, then drift\n" "$rate" "$ar"
printf "%-7s | %-27s | %-27s | %s\n" profile "ours" "ffmpeg program" "output"
for p in "${profiles[@]}"; do
    out=$work/ours-$p
    mkdir -p "$out"
    if ! "$cli" convert --progress none --profile "$p" --out "$out" "$src" >/dev/null 2>&1; then
        printf "%-7s | %-27s |\n" "$p" "conversion failed"
        continue
    fi
    file=$(ls "$out"/* | head -1)
    ext=${file##*.}
    ours=$(measure "$file")
    IFS=, read -r vcodec width height frate < <(ffprobe -v error -select_streams v:0 \
        -show_entries stream=codec_name,width,height,r_frame_rate -of csv=p=0 "$file")
    IFS=, read -r acodec srate channels < <(ffprobe -v error -select_streams a:0 \
        -show_entries stream=codec_name,sample_rate,channels -of csv=p=0 "$file")
    ref=$work/ref-$p.$ext
    theirs=$(printf "%6s %6s %6s %6s" n/a n/a n/a n/a)
    if [[ $reference == 1 ]] && ff -v error -i "$src" -c:v "$(encoder "$vcodec")" -s "${width}x${height}" -r "$frate" \
        -pix_fmt yuv420p -c:a "$(encoder "$acodec")" -ar "$srate" -ac "$channels" \
        "$ref" >/dev/null 2>&1; then
        theirs=$(measure "$ref")
    fi
    printf "%-7s | %s | %s | %s %sx%s %s %s %s Hz\n" "$p" "$ours" "$theirs" "$ext" "$width" \
        "$height" "$frate" "$vcodec+$acodec" "$srate"
done
