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
#   KESTRIN_WINE_DISPLAY=1   run on the caller's X display (DISPLAY), for screenshots and people
# Windowed programs get a wineserver of their own, ended with them: give each its own prefix
# when they run beside other tests.
#   KESTRIN_WINE_DPI         the screen DPI of a new prefix (Wine's LogPixels; default 96)
#   KESTRIN_WINE_MANAGED=1   a new prefix leaves its windows to the window manager (default: Wine
#                            places them itself, as Xvfb has no window manager)
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
if [[ ${KESTRIN_WINE_DISPLAY:-0} != 1 ]]; then
    unset DISPLAY WAYLAND_DISPLAY
fi
drive_d_image=${KESTRIN_DRIVE_D_IMAGE:-$build_dir/fixtures/sample.img}
wine_dpi=${KESTRIN_WINE_DPI:-96}
# A prefix made by an older version of this script lacks settings; the mark names the version.
ready_mark=$WINEPREFIX/.kestrin-ready-3

# Wine has no Segoe UI and no Chinese system font: the program's font is replaced by a CJK font
# with Latin letters, and the system's own fonts (title bars, menus, dialogs) fall back to it.
set_cjk_fonts() {
    local cjk="WenQuanYi Micro Hei"
    local file="wqy-microhei.ttc,$cjk"
    local face
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "Segoe UI" /t REG_SZ /d "$cjk" /f \
        </dev/null >/dev/null 2>&1
    for face in Tahoma "Microsoft Sans Serif" "MS Shell Dlg" "MS Shell Dlg 2"; do
        wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
            /v "$face" /t REG_MULTI_SZ /d "$file" /f </dev/null >/dev/null 2>&1
    done
}

create_prefix() {
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot -i </dev/null >/dev/null 2>&1
    # Wine's mount manager reports a drive as a hard disk only when the registry says so.
    wine reg add 'HKLM\Software\Wine\Drives' /v d: /t REG_SZ /d hd /f </dev/null >/dev/null 2>&1
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$wine_dpi" /f \
        </dev/null >/dev/null 2>&1
    set_cjk_fonts
    # Hiding a managed window waits up to two seconds for a window manager to confirm it.
    local managed=N
    [[ ${KESTRIN_WINE_MANAGED:-0} == 1 ]] && managed=Y
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d "$managed" /f \
        </dev/null >/dev/null 2>&1
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

# A windowed program runs with a server of its own: Wine's desktop process binds to the X display
# of the server's first program, so a server left from another display would draw nowhere.
run_on_display() {
    wineserver -k </dev/null >/dev/null 2>&1 || true
    start_wineserver
    local status=0
    wine "$@" || status=$?
    wineserver -k </dev/null >/dev/null 2>&1 || true
    exit "$status"
}

if [[ ${KESTRIN_WINE_XVFB:-0} == 1 ]]; then
    # Large enough for the main window at 144 DPI: Wine keeps windows within the screen.
    exec env KESTRIN_WINE_XVFB=0 KESTRIN_WINE_DISPLAY=1 \
        xvfb-run -a -s "-screen 0 2560x1600x24" "$0" "$@"
fi
prepare_prefix
if [[ ${KESTRIN_WINE_DISPLAY:-0} == 1 ]]; then
    run_on_display "$@"
fi
start_wineserver
exec wine "$@"
