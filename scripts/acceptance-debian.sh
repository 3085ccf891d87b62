#!/usr/bin/env bash
# Manual acceptance run on a fresh Debian 12: builds the Debian package from a build folder,
# installs it with apt into a clean bookworm root made by debootstrap, and drives the installed
# program there as a user would, under a virtual X server: the main window, the picker and the
# options dialog for a file named on the command line, the player, the information window, a
# snapshot, the help page, a conversion, a skin from the installed skins. Screenshots and a log go
# to the run folder. Too slow for CI (it downloads about 300 MB of packages); run it by hand as
# root on a machine that reaches Debian's mirror.
#
# Usage: scripts/acceptance-debian.sh [build-dir]
#   TANDREL_ACCEPT_DIR  where the base root is cached and runs are kept (/var/tmp/tandrel-accept)
#   TANDREL_MIRROR      the Debian mirror (http://deb.debian.org/debian)
#   TANDREL_ACCEPT_KEEP keep the root after the run (for a look inside)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
work=${TANDREL_ACCEPT_DIR:-/var/tmp/tandrel-accept}
mirror=${TANDREL_MIRROR:-http://deb.debian.org/debian}
[ "$(id -u)" -eq 0 ] || { echo "run as root (debootstrap, chroot)"; exit 2; }
for tool in debootstrap xdotool Xvfb ffmpeg ffprobe cpack; do
    command -v "$tool" >/dev/null || missing="${missing:-} $tool"
done
if [ -n "${missing:-}" ]; then
    echo "Installing the tools of this run:$missing"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
        debootstrap xdotool xvfb ffmpeg >/dev/null
fi

run=$work/run-$(date +%Y%m%d-%H%M%S)
root=$run/root
mkdir -p "$run"
log=$run/log.txt
exec > >(tee "$log") 2>&1
passed=0
failed=0
lasts() {  # lasts FILE SECONDS: ffprobe finds FILE within 0.2 s of that length
    local d
    d=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$1" 2>/dev/null) || return 1
    echo "  $(basename "$1"): $d s"
    awk -v d="$d" -v s="$2" 'BEGIN { exit !(d > s - 0.2 && d < s + 0.2) }'
}
check() {  # check NAME COMMAND...: one verdict line
    local name=$1
    shift
    if "$@"; then
        echo "PASS  $name"
        passed=$((passed + 1))
    else
        echo "FAIL  $name"
        failed=$((failed + 1))
    fi
}

# --- The package ---
echo "== package from $build"
cmake --build "$build" --target tandrel tandrel-cli >/dev/null
(cd "$run" && cpack --config "$build/CPackConfig.cmake" -B "$run/package" >/dev/null)
deb=$(ls "$run"/package/tandrel_*.deb)
dpkg-deb -f "$deb" Package Version Depends

# --- A clean root: a cached minimal bookworm, unpacked afresh for every run ---
base=$work/bookworm-minbase.tar
if [ ! -f "$base" ]; then
    echo "== debootstrap bookworm (once) from $mirror"
    rm -rf "$work/base-root"
    debootstrap --variant=minbase bookworm "$work/base-root" "$mirror"
    tar -C "$work/base-root" -cf "$base.part" . && mv "$base.part" "$base"
    rm -rf "$work/base-root"
fi
mkdir -p "$root"
tar -C "$root" -xf "$base"

xvfb_pid=""
app_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    for m in tmp/.X11-unix dev proc; do
        mountpoint -q "$root/$m" && umount -l "$root/$m" || true
    done
    # The root goes (the screenshots and the log stay) unless asked to keep it; never while
    # anything is still mounted inside it.
    if [ -z "${TANDREL_ACCEPT_KEEP:-}" ] && ! grep -q " $root/" /proc/mounts; then
        rm -rf "$root"
    fi
}
trap cleanup EXIT
mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
cp /etc/resolv.conf "$root/etc/resolv.conf"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"; }

echo "== apt install ./$(basename "$deb") in the clean root"
cp "$deb" "$root/tmp/"
in_root apt-get update -q >/dev/null
check "apt installs the package and everything it needs" \
    in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    "/tmp/$(basename "$deb")"
in_root dpkg-query -W -f='${Package} ${Version}\n' tandrel libavcodec59 libqt6widgets6 \
    libsdl2-2.0-0 fonts-noto-cjk qt6-translations-l10n || true

# Nothing but the package's dependencies is installed: every library the programs need is there.
missing_libs=$(in_root ldd /usr/bin/tandrel /usr/bin/tandrel-cli | grep 'not found' || true)
check "no library of the programs is missing" test -z "$missing_libs"
[ -z "$missing_libs" ] || echo "$missing_libs"

# A user of the machine, and a clip of our own (made on the host with the ffmpeg program).
in_root useradd -m -u 4242 -s /bin/bash tester
home=$root/home/tester
ffmpeg -v error -f lavfi -i testsrc2=size=640x360:rate=25:duration=6 \
    -f lavfi -i sine=frequency=440:duration=6 -c:v libx264 -pix_fmt yuv420p -c:a aac \
    "$home/clip.mp4"
chown 4242:4242 "$home/clip.mp4"
as_user() {
    chroot --userspec=4242:4242 "$root" env -i PATH=/usr/bin:/bin HOME=/home/tester \
        LANG=C.UTF-8 "$@"
}

# The saved skin "运动黑色皮肤" (skins/SportsBlack.sui from the data folder).
mkdir -p "$home/.config/tandrel"
printf '[skin]\nSetSkin=skin15\n' >"$home/.config/tandrel/system.ini"
chown -R 4242:4242 "$home/.config"

echo "== tandrel --version, --self-test (offscreen)"
as_user tandrel --version
status=0
as_user env QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy tandrel --self-test \
    >"$run/self-test.txt" || status=$?
cat "$run/self-test.txt"
check "tandrel starts offscreen with its window, skin, data and libraries" test "$status" -eq 0
check "the saved skin comes from /usr/share/tandrel/skins" \
    grep -qx 'skin       skin15 /usr/share/tandrel/skins/SportsBlack.sui' "$run/self-test.txt"

echo "== tandrel-cli"
as_user tandrel-cli libs
check "tandrel-cli binds the media libraries and SDL of the root" as_user tandrel-cli libs
as_user tandrel-cli paths | tee "$run/paths.txt"
check "the installed data folder is /usr/share/tandrel" \
    grep -qx 'data       /usr/share/tandrel' "$run/paths.txt"
check "help, sounds found" bash -c "! grep -E '^(help|sounds) .*missing' '$run/paths.txt'"
as_user tandrel-cli probe /home/tester/clip.mp4 | head -20
mkdir -p "$home/cli-out" && chown 4242:4242 "$home/cli-out"
check "tandrel-cli convert (profile 300, MP3)" \
    as_user tandrel-cli convert --profile 300 --out /home/tester/cli-out /home/tester/clip.mp4
check "the MP3 is 6 s long (ffprobe)" lasts "$home/cli-out/clip.mp3" 6
# The player without a window: 6 s at 25 fps are 150 pictures, shown or (on a loaded machine, a
# few) dropped against the (dummy) sound clock.
as_user env SDL_AUDIODRIVER=dummy tandrel-cli play /home/tester/clip.mp4 --json >"$run/play.json"
grep -E '"(pictures_shown|pictures_dropped|open_to_first_picture_ms|median|p95)"' "$run/play.json"
check "tandrel-cli play accounts for the 150 pictures, at least 140 shown" awk -F'[:,]' '
    /"pictures_shown"/ { s = $2 } /"pictures_dropped"/ { d = $2 }
    END { exit !(s + d == 150 && s >= 140) }' "$run/play.json"

# --- The program under a virtual X server (on the host; its socket is shared with the root) ---
echo "== tandrel under Xvfb"
display=:77
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >"$run/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -S /tmp/.X11-unix/X77 ] && break; sleep 0.1; done
mkdir -p "$root/tmp/.X11-unix"
mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
export DISPLAY=$display
shot() { ffmpeg -v error -y -f x11grab -video_size 1280x800 -i "$display" -frames:v 1 "$run/$1.png"; }
# Without a window manager the keyboard goes where the pointer is: point at the window first.
press() {  # press WINDOW KEY
    xdotool mousemove --window "$1" 40 40 windowfocus "$1" key "$2" 2>/dev/null ||
        xdotool key "$2"
}
wait_window() {  # wait_window TITLE: the id of the visible window with that name
    local id=""
    for _ in $(seq 150); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1) && [ -n "$id" ] &&
            break
        sleep 0.2
    done
    echo "$id"
}

chroot --userspec=4242:4242 "$root" env -i PATH=/usr/bin:/bin HOME=/home/tester LANG=C.UTF-8 \
    DISPLAY="$display" TANDREL_RECORD_PLATFORM=/home/tester/record.txt \
    tandrel /home/tester/clip.mp4 >"$run/tandrel.log" 2>&1 &
app_pid=$!

picker=$(wait_window "选择转换格式")
check "the picker opens for the file named on the command line" test -n "$picker"
shot 1-picker
[ -n "$picker" ] && press "$picker" Return
options=$(wait_window "选项设置")
check "the options dialog follows" test -n "$options"
shot 2-options
[ -n "$options" ] && press "$options" Return
main=$(wait_window "Tandrel")
check "the main window is shown" test -n "$main"
sleep 2  # the player opens the new row paused on its first picture
shot 3-main
eval "$(xdotool getwindowgeometry --shell "$main")"  # X, Y of the main window
at() { xdotool mousemove $((X + $1)) $((Y + $2)) click ${3:-1}; }

# The information window: "信息" under the list.
at 767 407
info=$(wait_window "视频信息提示")
check "the information window opens" test -n "$info"
sleep 0.5
shot 4-info
[ -n "$info" ] && press "$info" Return
sleep 0.5

# The player: play, then a snapshot (the capture sound comes from the data folder).
at 45 411
sleep 2
shot 5-playing
at 279 411
for _ in $(seq 50); do ls "$home/Video_Directory/快照/"clip_1.* >/dev/null 2>&1 && break; sleep 0.2; done
check "a snapshot was saved in ~/Video_Directory/快照" bash -c "ls '$home/Video_Directory/快照/'clip_1.*"

# Help: F1 asks to open the installed help page (recorded instead of opened).
press "$main" F1
sleep 1
check "F1 asks for /usr/share/tandrel/help/index.html" grep -q '/usr/share/tandrel/help/index.html' \
    "$home/record.txt"

# Converting the row: "转换" on the toolbar, then the MP3 in ~/Video_Directory.
at 264 79
# The batch ends with the after-all-done action "打开文件夹查看转换的文件": recorded after F1's.
for _ in $(seq 300); do
    [ "$(grep -c '' "$home/record.txt" 2>/dev/null || echo 0)" -ge 2 ] && break
    sleep 0.2
done
sleep 1
shot 6-converted
check "the window converted the row to ~/Video_Directory/clip.mp3 (6 s)" \
    lasts "$home/Video_Directory/clip.mp3" 6
echo "-- recorded desktop requests:"
cat "$home/record.txt" || true
echo "-- program output:"
cat "$run/tandrel.log" || true

echo "screenshots and log: $run"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
