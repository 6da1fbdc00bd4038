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
#   KESTRIN_DRIVE_X_IMAGE    for X = E to H: the raw image seen as that drive (default: none)
#   KESTRIN_DRIVE_X_FOLDER   for X = D to H: the folder behind X:\ (default <prefix>/drive_x); its
#                            file system gives the drive's free space. Without an image the drive
#                            is that folder alone, with KESTRIN_DRIVE_X_LABEL as its label (Wine
#                            reports no label for a drive backed by an image)
#   KESTRIN_WINESERVER_LINGER seconds the wineserver stays up after the last program (default 60)
#   KESTRIN_WINE_XVFB=1      run on a throwaway X display, for windowed programs
#   KESTRIN_WINE_DISPLAY=1   run on the caller's X display (DISPLAY), for screenshots and people
# Windowed programs get a wineserver of their own, ended with them (unless
# KESTRIN_WINE_KEEP_SERVER=1, when the caller ends it): give each its own prefix when they run
# beside other tests.
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
ready_mark=$WINEPREFIX/.kestrin-ready-5

# Wine has no Segoe UI and no Chinese system font: the program's font is replaced by a CJK font
# with Latin letters, and the system's own fonts (title bars, menus, dialogs) fall back to it.
# The caption buttons Wine draws itself need Marlett, which it finds only in the prefix.
set_fonts() {
    if [[ -f /usr/share/wine/fonts/marlett.ttf ]]; then
        cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    fi
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
    local letter
    for letter in d e f g h; do
        wine reg add 'HKLM\Software\Wine\Drives' /v "$letter:" /t REG_SZ /d hd /f \
            </dev/null >/dev/null 2>&1
    done
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$wine_dpi" /f \
        </dev/null >/dev/null 2>&1
    set_fonts
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

# A drive is a raw image: "x::" is the device that \\.\X: opens, "x:" the folder that X:\
# lists. Refreshed on every run, since the build tree may have moved.
map_drive() {
    local letter=$1 image=$2 upper=${1^^}
    local folder_variable=KESTRIN_DRIVE_${upper}_FOLDER
    local folder=${!folder_variable:-$WINEPREFIX/drive_$letter}
    mkdir -p "$folder"
    ln -sfn "$image" "$WINEPREFIX/dosdevices/$letter::"
    ln -sfn "$folder" "$WINEPREFIX/dosdevices/$letter:"
}

# A drive that is a folder and nothing else; Wine takes its label from .windows-label.
map_folder_drive() {
    local letter=$1 folder=$2 label=$3
    mkdir -p "$folder"
    printf '%s' "$label" >"$folder/.windows-label"
    rm -f "$WINEPREFIX/dosdevices/$letter::"
    ln -sfn "$folder" "$WINEPREFIX/dosdevices/$letter:"
}

map_drives() {
    map_drive d "$drive_d_image"
    local letter image folder label
    for letter in e f g h; do
        image=KESTRIN_DRIVE_${letter^^}_IMAGE
        folder=KESTRIN_DRIVE_${letter^^}_FOLDER
        label=KESTRIN_DRIVE_${letter^^}_LABEL
        if [[ -n ${!image:-} ]]; then
            map_drive "$letter" "${!image}"
        elif [[ -n ${!folder:-} ]]; then
            map_folder_drive "$letter" "${!folder}" "${!label:-}"
        else
            rm -f "$WINEPREFIX/dosdevices/$letter::" "$WINEPREFIX/dosdevices/$letter:"
        fi
    done
}

# Concurrent tests share one prefix: the first creates it while the others wait.
prepare_prefix() {
    mkdir -p "$(dirname "$WINEPREFIX")"
    exec 9>"$WINEPREFIX.lock"
    flock 9
    if [[ ! -f $ready_mark ]]; then
        create_prefix
    fi
    map_drives
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
    if [[ ${KESTRIN_WINE_KEEP_SERVER:-0} != 1 ]]; then
        wineserver -k </dev/null >/dev/null 2>&1 || true
    fi
    exit "$status"
}

if [[ ${KESTRIN_WINE_XVFB:-0} == 1 ]]; then
    # Large enough for the main window at 144 DPI: Wine keeps windows within the screen. Tests
    # running side by side start their search for a free display at different numbers, since
    # two searches from the same number can settle on the same one.
    exec env KESTRIN_WINE_XVFB=0 KESTRIN_WINE_DISPLAY=1 \
        xvfb-run -a -n $((100 + RANDOM % 800)) -s "-screen 0 2560x1600x24" "$0" "$@"
fi
prepare_prefix
if [[ ${KESTRIN_WINE_DISPLAY:-0} == 1 ]]; then
    run_on_display "$@"
fi
start_wineserver
exec wine "$@"
