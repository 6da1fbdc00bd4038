#!/usr/bin/env bash
# Runs a Windows program under Wine, in a prefix private to the build tree, and exits with the
# program's exit code. CTest calls it as the cross-compiling emulator for every .exe test.
#
#   cmake/wine-run.sh PROGRAM.exe [ARGUMENTS...]
#
# The prefix is <build>/wineprefix, where <build> is the nearest folder above the program that
# holds a CMakeCache.txt. Overrides:
#   KESTRIN_BUILD_DIR        the build tree
#   KESTRIN_WINEPREFIX       the prefix
#   KESTRIN_DRIVE_D_IMAGE    the raw image seen as drive D: (default <build>/fixtures/sample.img)
#   KESTRIN_WINESERVER_LINGER seconds the wineserver stays up after the last program (default 60)
#   KESTRIN_WINE_XVFB=1      run on a throwaway X display, for windowed programs
set -euo pipefail

if [[ $# -lt 1 ]]; then
    echo "usage: $0 PROGRAM.exe [ARGUMENTS...]" >&2
    exit 2
fi

find_build_dir() {
    local dir
    dir=$(cd "$(dirname "$1")" && pwd)
    while [[ $dir != / ]]; do
        if [[ -f $dir/CMakeCache.txt ]]; then
            echo "$dir"
            return
        fi
        dir=$(dirname "$dir")
    done
    dirname "$1"
}

build_dir=${KESTRIN_BUILD_DIR:-$(find_build_dir "$1")}
export WINEPREFIX=${KESTRIN_WINEPREFIX:-$build_dir/wineprefix}
export WINEARCH=win64
export WINEDEBUG=-all
# Without these Wine offers to download Mono and Gecko while the prefix is created.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Console programs need no display: keep Wine from opening windows on the caller's one.
unset DISPLAY WAYLAND_DISPLAY
drive_d_image=${KESTRIN_DRIVE_D_IMAGE:-$build_dir/fixtures/sample.img}
ready_mark=$WINEPREFIX/.kestrin-ready

create_prefix() {
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot -i </dev/null >/dev/null 2>&1
    # Wine's mount manager reports a drive as a hard disk only when the registry says so.
    wine reg add 'HKLM\Software\Wine\Drives' /v d: /t REG_SZ /d hd /f </dev/null >/dev/null 2>&1
    # The registry reaches the disk only when the server ends; mark the prefix ready after that,
    # so an interrupted creation is redone next time instead of leaving half a prefix.
    wineserver -w
    touch "$ready_mark"
}

# Drive D: is the raw image: "d::" is the device that \\.\D: opens, "d:" the folder that D:\
# lists. Refreshed on every run, since the build tree may have moved.
map_drive_d() {
    mkdir -p "$WINEPREFIX/drive_d"
    ln -sfn "$drive_d_image" "$WINEPREFIX/dosdevices/d::"
    ln -sfn ../drive_d "$WINEPREFIX/dosdevices/d:"
}

# Concurrent tests share one prefix: the first creates it while the others wait.
prepare_prefix() {
    mkdir -p "$(dirname "$WINEPREFIX")"
    exec 9>"$WINEPREFIX.lock"
    flock 9
    if [[ ! -f $ready_mark ]]; then
        create_prefix
    fi
    map_drive_d
    exec 9>&-
}

# Starting a wineserver and Wine's system processes costs over half a second per program; a
# server that lingers after the last program serves the whole test run. The system processes
# (services, device drivers) live as long as the server and inherit the standard handles of the
# program that started them, so they are started here detached: otherwise they would hold the
# caller's output pipe open and CTest would wait for the linger time after every test.
start_wineserver() {
    if wineserver -p"${KESTRIN_WINESERVER_LINGER:-60}" </dev/null >/dev/null 2>&1; then
        wineboot </dev/null >/dev/null 2>&1
    fi
}

launch() {
    if [[ ${KESTRIN_WINE_XVFB:-0} == 1 ]]; then
        exec xvfb-run -a wine "$@"
    fi
    exec wine "$@"
}

prepare_prefix
start_wineserver
launch "$@"
