#!/usr/bin/env bash
# The whole program used as a user uses it: kestrin.exe under Wine on a throwaway X display, with
# two NTFS images as drives D: and E:, a FAT image as drive F: and a labelled folder as drive G:,
# driven from outside the process (kestrin-remote.exe for the window, xdotool for the
# notification area).
#
#   tests/e2e/kestrin-end-to-end.sh BUILD-DIR
set -euo pipefail

build=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

if [[ ${KESTRIN_E2E_ON_DISPLAY:-0} != 1 ]]; then
    exec env KESTRIN_E2E_ON_DISPLAY=1 xvfb-run -a -n $((100 + RANDOM % 800)) -s "-screen 0 1600x1000x24" "$0" "$@"
fi

work=$build/end-to-end
mkdir -p "$work"
# A fixed drive like the others, but not NTFS.
rm -f "$work/fat.img"
mkfs.fat -C -n KESTRINFAT "$work/fat.img" 8192 >/dev/null
# Drive E:'s folder lies on another file system than D:'s, so the two report different space.
shm_folder=$(mktemp -d /dev/shm/kestrin-e2e.XXXXXX)
trap 'WINEPREFIX=$KESTRIN_WINEPREFIX wineserver -k 2>/dev/null; rm -rf "$shm_folder"' EXIT

export KESTRIN_WINEPREFIX=$build/wineprefix-e2e
export KESTRIN_DRIVE_D_IMAGE=$build/fixtures/sample.img
export KESTRIN_DRIVE_E_IMAGE=$build/fixtures/fragmented-mft.img
export KESTRIN_DRIVE_F_IMAGE=$work/fat.img
export KESTRIN_DRIVE_E_FOLDER=$shm_folder
# Wine reports no volume label for a drive backed by an image; a drive that is only a folder
# has the label of its .windows-label, which shows that labels reach the list.
export KESTRIN_DRIVE_G_FOLDER=$work/archive
export KESTRIN_DRIVE_G_LABEL=Archive
export KESTRIN_WINE_DISPLAY=1
# The server outlives the program, so what the notification area shows after it ended can be
# seen; it is ended on the way out.
export KESTRIN_WINE_KEEP_SERVER=1

failures=0
check() {  # check DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@"; then
        echo "ok   $what"
    else
        echo "FAIL $what"
        failures=$((failures + 1))
    fi
}
remote() {
    WINEPREFIX=$KESTRIN_WINEPREFIX WINEDEBUG=-all wine "$build/tools/remote/kestrin-remote.exe" "$@" |
        tr -d '\r' || true
}
running() { kill -0 "$program" 2>/dev/null; }
contains() { grep -qxF -- "$2" <<<"$1"; }
differs() { [[ $1 != "$2" ]]; }
positive() { [[ $1 =~ ^[0-9]+$ && $1 -gt 0 ]]; }
same() { [[ $1 == "$2" ]]; }

# The shell's notification area, as Wine's desktop shows it without a taskbar.
tray_window() { xdotool search --onlyvisible --name 'Wine System Tray' 2>/dev/null | head -n 1; }
click_tray() {  # click_tray BUTTON: the first icon of the notification area
    local window
    window=$(tray_window)
    # The icon sits below the window's caption, at the left.
    [[ -n $window ]] && xdotool mousemove --window "$window" 13 32 click "$1"
}

# Prepares the prefix and its drives and starts a server on this display, kept for what follows.
"$root/cmake/wine-run.sh" "$build/tools/remote/kestrin-remote.exe" >/dev/null
WINEPREFIX=$KESTRIN_WINEPREFIX WINEDEBUG=-all wine "$build/app/kestrin.exe" >"$work/kestrin.log" 2>&1 &
program=$!
remote wait-window 60 >/dev/null

drives=$(remote drives)
check "the drive list holds D:" contains "$drives" "[D:]"
check "... and E:" contains "$drives" "[E:]"
check "... and F:, which is not NTFS" contains "$drives" "[F:]"
check "... and G: with its label" contains "$drives" "[G:] Archive"

space_d=$(remote drive D space)
space_e=$(remote drive E space)
check "choosing a drive updates the space panel" differs "$space_d" "$space_e"
check "... with a total" positive "$(grep -c '^总空间  ' <<<"$space_e")"

statuses=$(remote drive E scan watch-status "扫描完成" 60)
check "the scan ends with the completion text" \
    positive "$(grep -c '^扫描完成 .* 秒 · MFT · .* 文件 · .* 文件夹 · 单击三角展开$' <<<"$statuses")"
echo "$statuses" | sed 's/^/     status: /'
check "... after the progress texts" positive "$(grep -vc '^扫描完成' <<<"$statuses")"
tree_rows=$(remote count 1003)
check "the tree list fills" positive "$tree_rows"
check "the extension list fills" positive "$(remote count 1004)"
remote tab 1 >/dev/null
file_rows=$(remote count 1014)
check "the file list fills" positive "$file_rows"

largest=$(remote item 1014 0 0)
remote header 1014 0 >/dev/null  # by name, descending
by_name=$(remote item 1014 0 0)
remote header 1014 0 >/dev/null  # by name, ascending
first_ascending=$(remote item 1014 0 0)
check "a header click re-sorts the file list" differs "$largest" "$by_name"
check "... and a second click turns the order round" differs "$by_name" "$first_ascending"
remote tab 0 >/dev/null

remote drive F scan wait-status "扫描失败 — 请确认以管理员身份运行" 60 >/dev/null
check "a drive that is not NTFS fails with the failure text" \
    same "$(remote status)" "扫描失败 — 请确认以管理员身份运行"
check "... and the views stay" same "$(remote count 1003)" "$tree_rows"

remote close >/dev/null
sleep 1
check "closing hides the window" same "$(remote visible)" 0
check "... and the program keeps running" running
check "the notification area shows the icon" test -n "$(tray_window)"
click_tray 1
sleep 1
check "a click on the icon brings the window back" same "$(remote visible)" 1

remote close >/dev/null
sleep 1
second_status=0
timeout 60 env WINEPREFIX=$KESTRIN_WINEPREFIX WINEDEBUG=-all wine "$build/app/kestrin.exe" ||
    second_status=$?
check "a second start ends with 0" same "$second_status" 0
sleep 1
check "... and brings the first window back" same "$(remote visible)" 1

# "退出" from the icon's menu: its last entry, at the bottom of the window that opens. The
# notification area lies under the main window here, as there is no taskbar: hide it first.
remote close >/dev/null
sleep 1
visible_windows() { xdotool search --onlyvisible --class . 2>/dev/null | sort; }
before=$(visible_windows)
click_tray 3
sleep 1
menu=$(comm -13 <(echo "$before") <(visible_windows) | head -n 1)
if [[ -n $menu ]]; then
    eval "$(xdotool getwindowgeometry --shell "$menu")"
    xdotool mousemove --window "$menu" $((WIDTH / 2)) $((HEIGHT - 8)) click 1
fi
for _ in $(seq 20); do
    running || break
    sleep 1
done
check "退出 in the icon's menu ends the program" bash -c "! kill -0 $program 2>/dev/null"
if running; then  # end it anyway, so that the icon can still be looked at
    remote exit >/dev/null
    sleep 2
fi
check "... and removes the icon" test -z "$(tray_window)"

wait "$program" 2>/dev/null || true

# The command-line scanner reads the raw volume \\.\D: as it reads the image file behind it. The
# first line of a scan holds its time, which differs from run to run.
scan_cli() {
    WINEPREFIX=$KESTRIN_WINEPREFIX WINEDEBUG=-all wine "$build/tools/kestrin-scan/kestrin-scan.exe" \
        "$@" 2>/dev/null | tr -d '\r' | tail -n +2
}
image_d="Z:${KESTRIN_DRIVE_D_IMAGE//\//\\}"
from_drive=$(scan_cli D)
check "kestrin-scan.exe D scans the raw volume" positive "$(grep -c . <<<"$from_drive")"
check "... as it scans the image behind it" same "$from_drive" "$(scan_cli --drive D "$image_d")"
check "kestrin-scan.exe --records D lists what the image's records hold" \
    same "$(scan_cli --records D)" "$(scan_cli --records "$image_d")"

echo "$failures failed"
[[ $failures -eq 0 ]]
