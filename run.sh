#!/usr/bin/env bash
# Builds the native scanner and scans a volume image or block device.
#
#   ./run.sh                the bundled sample image
#   ./run.sh PATH           an image or block device of your own
#   ./run.sh --gui [PATH]   the Windows program under Wine, with the image as drive D:: in a
#                           window on DISPLAY when it is set, else on a throwaway display with a
#                           picture of each tab saved
set -euo pipefail

gui=0
if [[ ${1:-} == --gui ]]; then
    gui=1
    shift
fi
source_path=${1:-}
if [[ -e $source_path ]]; then
    # A relative path is resolved before leaving the caller's folder.
    source_path=$(realpath -- "$source_path")
fi
cd "$(dirname "$0")"

if [[ $gui == 1 ]]; then
    if [[ -z ${DISPLAY:-} ]]; then
        exec tools/screenshot.sh ${source_path:+--image "$source_path"}
    fi
    tools/setup/install-deps.sh all
    build=build/windows
    {
        cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
            -DCMAKE_BUILD_TYPE=RelWithDebInfo
        cmake --build "$build" -j2 --target kestrin kestrin_fixtures
    } >&2
    # A prefix of its own, whose windows the desktop's window manager decorates.
    export KESTRIN_WINEPREFIX=$PWD/$build/wineprefix-desktop KESTRIN_WINE_MANAGED=1
    export KESTRIN_WINE_DISPLAY=1 KESTRIN_DRIVE_D_IMAGE=${source_path:-$PWD/$build/fixtures/sample.img}
    exec cmake/wine-run.sh "$build/app/kestrin.exe"
fi

tools/setup/install-deps.sh native
build=build/native
# Build chatter goes to standard error, so standard output is the scan result alone.
{
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build "$build" -j2 --target kestrin-scan
} >&2

if [[ -z $source_path ]]; then
    archive=tests/fixtures/sample.img.xz
    source_path=$build/fixtures/sample.img
    if [[ ! $source_path -nt $archive ]]; then
        mkdir -p "$(dirname "$source_path")"
        xz -dc "$archive" >"$source_path.part"
        mv "$source_path.part" "$source_path"
    fi
fi
exec "$build/tools/kestrin-scan/kestrin-scan" "$source_path"
