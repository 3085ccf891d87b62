#!/usr/bin/env bash
# Draws docs/screenshot-main.png: the main window under a virtual X server after three files were
# added and one converted. Needs a build (scripts/setup.sh) and the packages xvfb and
# fonts-noto-cjk.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-"$here/build"}
cmake --build "$build" --target tandrel-screenshot >/dev/null
xvfb-run -a -s "-screen 0 1280x800x24" "$build/tests/app/tandrel-screenshot" \
    "$here/docs/screenshot-main.png"
echo "wrote docs/screenshot-main.png"
