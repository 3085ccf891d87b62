#!/usr/bin/env bash
# Installs what Tandrel needs on Debian 12 (only what is missing), then configures and builds.
# Usage: scripts/setup.sh [build-dir]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-"$here/build"}

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev
    libavcodec-dev libavformat-dev libavfilter-dev libavdevice-dev
    libswscale-dev libswresample-dev libavutil-dev
    libsdl2-dev libopencore-amrnb-dev libjpeg62-turbo-dev
    libgtest-dev libgmock-dev
    ffmpeg xvfb fonts-noto-cjk qt6-translations-l10n
    clang libclang-rt-14-dev llvm  # sanitizer and fuzzing builds (scripts/test.sh --sanitizers)
    desktop-file-utils appstream shared-mime-info dpkg-dev lintian
    dbus-daemon  # a private session bus for the desktop-notification test
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${TANDREL_BUILD_TYPE:-RelWithDebInfo} >/dev/null
cmake --build "$build" --parallel "$(nproc)"
