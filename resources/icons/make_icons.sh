#!/usr/bin/env bash
# Draws the PNG sizes of the application icon from tandrel.svg into hicolor/NxN/apps/ (needs
# rsvg-convert from librsvg2-bin). The PNGs are kept in the repository so that a build needs no
# SVG renderer; run this again after changing the SVG.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
for size in 16 22 24 32 48 64 128 256 512; do
    mkdir -p "$here/hicolor/${size}x${size}/apps"
    rsvg-convert -w "$size" -h "$size" "$here/tandrel.svg" \
        -o "$here/hicolor/${size}x${size}/apps/tandrel.png"
done
