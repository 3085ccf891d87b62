#!/usr/bin/env bash
# Makes cam.wav, the capture sound played after a snapshot: two short noise clicks (a shutter)
# over a fading 1.8 kHz tone, 0.24 s, 22.05 kHz mono 16-bit. Deterministic.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
ffmpeg -nostdin -hide_banner -loglevel error -y -fflags +bitexact -f lavfi -i \
    "aevalsrc='0.7*(2*random(0)-1)*(exp(-t*70)*lt(t\,0.05)+0.8*exp(-(t-0.085)*50)*between(t\,0.085\,0.22))+0.25*sin(2*PI*1800*t)*exp(-t*90)':s=22050:d=0.24" \
    -ac 1 -c:a pcm_s16le -flags +bitexact -map_metadata -1 cam.wav
