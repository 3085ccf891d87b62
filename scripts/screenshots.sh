#!/usr/bin/env bash
# Takes the pictures of the help pages (resources/help/images) and of the README (docs/) from
# the program's real windows under a virtual display.
# Usage: scripts/screenshots.sh [build-dir]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-"$here/build"}
cmake --build "$build" --target tandrel-screenshots
xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$build/tests/windows/tandrel-screenshots" "$here/resources/help/images" "$here/docs"
