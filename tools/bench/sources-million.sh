#!/usr/bin/env bash
# The million-file image through every kind of source, and the outputs, side by side: the image
# file, the same image as a read-only loop device (as a user scans /dev/sdb1), the image with its
# pages dropped from the page cache against dd reading only the MFT's extents, and --compare,
# --csv and --ncdu against the plain scan. Runs alternate (A B A B ...); medians of wall time and
# the largest peak memory are printed, and appended to results.txt.
#
#   sudo tools/bench/sources-million.sh [--runs N] [--image PATH] [--bin PATH]
#
#   --runs N     runs of each command (default 7)
#   --image PATH the image (default ${KESTRIN_BENCH_CACHE:-$HOME/.cache/kestrin-bench}/million.img,
#                made by make-million-image.sh)
#   --bin PATH   the kestrin-scan to time (default: build/release, built here)
#
# Needs root (losetup) and python3 (the MFT's extents are read from record 0 of the image).
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
CACHE=${KESTRIN_BENCH_CACHE:-$HOME/.cache/kestrin-bench}
IMAGE=$CACHE/million.img
RUNS=7
BIN=

die() { echo "sources-million: $*" >&2; exit 1; }

while [ $# -gt 0 ]; do
    case $1 in
    --runs) RUNS=$2; shift 2 ;;
    --image) IMAGE=$2; shift 2 ;;
    --bin) BIN=$2; shift 2 ;;
    -h | --help) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) die "unknown argument $1 (see --help)" ;;
    esac
done

[ "$(id -u)" -eq 0 ] || die "run as root (losetup)"
[ -f "$IMAGE" ] || die "$IMAGE is missing: tools/bench/make-million-image.sh makes it"
[ -x /usr/bin/time ] || die "/usr/bin/time is missing (apt-get install time)"
if [ -z "$BIN" ]; then
    cmake -S "$ROOT" -B "$ROOT/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DKESTRIN_TESTS=OFF >/dev/null
    cmake --build "$ROOT/build/release" -j2 --target kestrin-scan >/dev/null
    BIN=$ROOT/build/release/tools/kestrin-scan/kestrin-scan
fi

WORK=$(mktemp -d /tmp/kestrin-sources.XXXXXX)
LOOP=
cleanup() {
    [ -n "$LOOP" ] && losetup -d "$LOOP" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT
cp "$BIN" "$WORK/kestrin-scan"
SCAN=$WORK/kestrin-scan
LOOP=$(losetup -r -f --show "$IMAGE")

# The MFT's extents, "volume_offset length" in bytes, from the run list of record 0's $DATA.
python3 - "$IMAGE" >"$WORK/extents" <<'EOF'
import struct, sys
f = open(sys.argv[1], 'rb')
boot = f.read(512)
cluster = struct.unpack_from('<H', boot, 11)[0] * boot[13]
mft = struct.unpack_from('<q', boot, 0x30)[0] * cluster
c = struct.unpack_from('<b', boot, 0x40)[0]
size = c * cluster if c > 0 else 1 << -c
f.seek(mft)
rec = bytearray(f.read(size))
usa, count = struct.unpack_from('<HH', rec, 4)
for i in range(1, count):
    rec[i * 512 - 2:i * 512] = rec[usa + 2 * i:usa + 2 * i + 2]
at = struct.unpack_from('<H', rec, 0x14)[0]
while struct.unpack_from('<I', rec, at)[0] != 0xFFFFFFFF:
    kind, length = struct.unpack_from('<II', rec, at)
    if kind == 0x80 and rec[at + 8] and rec[at + 9] == 0:
        left = struct.unpack_from('<q', rec, at + 0x38)[0]
        p = at + struct.unpack_from('<H', rec, at + 0x20)[0]
        lcn = 0
        while rec[p] and left > 0:
            lb, ob = rec[p] & 15, rec[p] >> 4
            clusters = int.from_bytes(rec[p + 1:p + 1 + lb], 'little')
            lcn += int.from_bytes(rec[p + 1 + lb:p + 1 + lb + ob], 'little', signed=True)
            print(lcn * cluster, min(clusters * cluster, left))
            left -= clusters * cluster
            p += 1 + lb + ob
        break
    at += length
EOF

drop() { dd if="$IMAGE" iflag=nocache count=0 status=none; }
# Reads the MFT's extents and nothing else, as the scan reads them.
cat >"$WORK/read-mft" <<'EOF'
#!/bin/sh
while read -r offset length; do
    dd if="$1" of=/dev/null bs=16M iflag=skip_bytes,count_bytes skip="$offset" \
        count="$length" status=none
done <"$2"
EOF
chmod +x "$WORK/read-mft"
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# timed NAME COMMAND...: one run, its wall seconds and peak KiB appended to NAME's files.
timed() {
    local name=$1
    shift
    /usr/bin/time -f '%e %M' -o "$WORK/run.time" "$@" >/dev/null 2>&1 || true
    # A command that fails gets a line of its own before the figures.
    read -r wall kib < <(tail -n 1 "$WORK/run.time")
    echo "$wall" >>"$WORK/$name.wall"
    echo "$kib" >>"$WORK/$name.kib"
}

"$SCAN" --csv "$WORK/old.csv" "$IMAGE" >/dev/null 2>&1
drop
"$SCAN" "$IMAGE" >/dev/null 2>&1  # the image's pages read back in, as a read leaves them
for ((r = 1; r <= RUNS; r++)); do
    timed file "$SCAN" "$IMAGE"
    timed loop "$SCAN" "$LOOP"
    timed compare "$SCAN" --compare "$WORK/old.csv" "$IMAGE"
    timed exports "$SCAN" --csv "$WORK/new.csv" --ncdu "$WORK/new.json" "$IMAGE"
    drop
    timed dd "$WORK/read-mft" "$IMAGE" "$WORK/extents"
    drop
    timed cold "$SCAN" "$IMAGE"
    "$SCAN" "$IMAGE" >/dev/null 2>&1
done
# kestrin-scan.exe under Wine reads the loop device as the raw volume of a drive letter, as it
# reads \\.\K: on Windows: Wine maps the drive's device to it (dosdevices/k::).
EXE=$ROOT/build/windows/tools/kestrin-scan/kestrin-scan.exe
if command -v wine >/dev/null && [ -f "$EXE" ]; then
    export WINEPREFIX=$WORK/wine WINEDEBUG=-all
    wineboot -i >/dev/null 2>&1 || true
    ln -sf "$LOOP" "$WINEPREFIX/dosdevices/k::"
    for ((r = 1; r <= RUNS; r++)); do
        timed wine wine "$EXE" K
    done
fi

report=$WORK/report
{
    echo "sources-million, $(date '+%Y-%m-%d %H:%M:%S %Z'), $RUNS runs alternating, load $(cut -d' ' -f1-3 /proc/loadavg)"
    echo "commit $(git -C "$ROOT" rev-parse --short HEAD 2>/dev/null || echo '?'), image $IMAGE"
    printf '%-34s %9s %11s\n' what "median s" "peak MiB"
    for name in file loop compare exports dd cold wine; do
        [ -s "$WORK/$name.wall" ] || continue
        printf '%-34s %9.3f %11.0f\n' "$name" "$(median <"$WORK/$name.wall")" \
            "$(sort -g "$WORK/$name.kib" | tail -n 1 | awk '{ print $1 / 1024 }')"
    done
    file_s=$(median <"$WORK/file.wall")
    awk -v f="$file_s" -v l="$(median <"$WORK/loop.wall")" -v c="$(median <"$WORK/compare.wall")" \
        -v e="$(median <"$WORK/exports.wall")" -v d="$(median <"$WORK/dd.wall")" \
        -v k="$(median <"$WORK/cold.wall")" 'BEGIN {
        printf "loop device / image file: %.2f (target <= 1.15)\n", l / f
        printf "--compare / plain scan: %.2f (target <= 2)\n", c / f
        printf "--csv and --ncdu: %.2f s (target <= 1.5 s)\n", e
        printf "cold scan / dd of the MFT extents: %.2f (target <= 1.15)\n", k / d
    }'
} >"$report"
cat "$report"
mkdir -p "$CACHE"
{ echo "=== sources-million"; cat "$report"; echo; } >>"$CACHE/results.txt"
