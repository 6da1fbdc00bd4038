#!/usr/bin/env bash
# Shows kestrin.exe as a user sees it: starts it under Wine with a raw NTFS image as drive D:,
# scans D: and saves a picture of each tab.
#
#   tools/screenshot.sh [--image IMAGE] [--out DIR] [--dpi DPI]
#
# IMAGE defaults to the sample volume, DIR to build/screenshots, DPI to 96. Pictures:
# DIR/tree-view.png and DIR/file-view.png. Runs on a throwaway Xvfb display unless DISPLAY is set
# and KESTRIN_SCREENSHOT_XVFB is not 1.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

image=
out=$root/build/screenshots
dpi=96
while [[ $# -gt 0 ]]; do
    case $1 in
    --image) image=$(realpath -- "$2"); shift 2 ;;
    --out) out=$(realpath -m -- "$2"); shift 2 ;;
    --dpi) dpi=$2; shift 2 ;;
    *) echo "usage: $0 [--image IMAGE] [--out DIR] [--dpi DPI]" >&2; exit 2 ;;
    esac
done

if [[ -z ${DISPLAY:-} || ${KESTRIN_SCREENSHOT_XVFB:-0} == 1 ]]; then
    tools/setup/install-deps.sh all
    export KESTRIN_SCREENSHOT_XVFB=0
    exec xvfb-run -a -n $((100 + RANDOM % 800)) -s "-screen 0 2200x1500x24" "$0" --out "$out" --dpi "$dpi" \
        ${image:+--image "$image"}
fi

build=$root/build/windows
{
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build "$build" -j2 --target kestrin kestrin-remote kestrin_fixtures
} >&2
image=${image:-$build/fixtures/sample.img}
mkdir -p "$out"

export KESTRIN_WINEPREFIX=$build/wineprefix-screenshot-$dpi
export KESTRIN_DRIVE_D_IMAGE=$image
export KESTRIN_WINE_DISPLAY=1
export KESTRIN_WINE_DPI=$dpi

"$root/cmake/wine-run.sh" "$build/app/kestrin.exe" &
program=$!
remote() {
    WINEPREFIX=$KESTRIN_WINEPREFIX WINEDEBUG=-all wine "$build/tools/remote/kestrin-remote.exe" "$@"
}
# The prefix may be created first, which takes a while on a new machine.
for _ in $(seq 120); do
    if xdotool search --name 'Kestrin-' >/dev/null 2>&1; then
        break
    fi
    sleep 1
done
remote wait-window 30 drive D scan wait-status "扫描完成" 120 status
window=$(xdotool search --name 'Kestrin-' | head -n 1)
sleep 1
import -window "$window" "$out/tree-view.png"
remote tab 1
sleep 1
import -window "$window" "$out/file-view.png"
remote exit
wait "$program" || true
echo "$out/tree-view.png"
echo "$out/file-view.png"
