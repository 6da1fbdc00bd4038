#!/usr/bin/env bash
# Times kestrin-scan against The Sleuth Kit's fls and against du over an
# ntfs-3g mount, on the million-file image, with the image in the page cache
# as reading it puts it there.
#
#   sudo tools/bench/compare-million.sh [--runs N] [--fls-runs N] [--mounts N]
#                                       [--image PATH] [--no-build]
#
#   --runs N      kestrin-scan runs (default 7)
#   --fls-runs N  fls -r -p runs (default 3)
#   --mounts N    fresh read-only ntfs-3g mounts, each timed with a first and
#                 a second du -s (default 3)
#   --image PATH  the image (default ${KESTRIN_BENCH_CACHE:-$HOME/.cache/kestrin-bench}/million.img,
#                 built with make-million-image.sh when it is missing)
#   --no-build    time the kestrin-scan already in build/release as it is
#
# Prints a small table of median wall times, the ratios to kestrin-scan,
# kestrin-scan's peak memory and, where kestrin-scan has --timing, the median
# of each of its phases. The same block, dated, is appended to
# ${KESTRIN_BENCH_CACHE}/results.txt. Numbers from a busy machine are noisy:
# the load average before and after is part of the block.
#
# Needs root (the ntfs-3g mounts) and /dev/fuse.
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
CACHE=${KESTRIN_BENCH_CACHE:-$HOME/.cache/kestrin-bench}
IMAGE=$CACHE/million.img
RUNS=7
FLS_RUNS=3
MOUNTS=3
BUILD=1
BIN=$ROOT/build/release/tools/kestrin-scan/kestrin-scan

die() { echo "compare-million: $*" >&2; exit 1; }
log() { echo "== $*" >&2; }

while [ $# -gt 0 ]; do
    case $1 in
    --runs) RUNS=$2; shift 2 ;;
    --fls-runs) FLS_RUNS=$2; shift 2 ;;
    --mounts) MOUNTS=$2; shift 2 ;;
    --image) IMAGE=$2; shift 2 ;;
    --no-build) BUILD=0; shift ;;
    -h | --help) sed -n '2,23p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) die "unknown argument $1 (see --help)" ;;
    esac
done

[ "$(id -u)" -eq 0 ] || die "run as root (ntfs-3g needs /dev/fuse)"
missing=0
for t in fls ntfs-3g mountpoint /usr/bin/time; do
    command -v "$t" >/dev/null 2>&1 || missing=1
done
if [ "$missing" -eq 1 ]; then
    log "installing missing tools"
    export DEBIAN_FRONTEND=noninteractive
    apt-get install -y sleuthkit ntfs-3g util-linux time \
        || { apt-get update && apt-get install -y sleuthkit ntfs-3g util-linux time; }
fi

if [ "$BUILD" -eq 1 ]; then
    log "building kestrin-scan (Release)"
    if [ ! -f "$ROOT/build/release/build.ninja" ]; then
        cmake -S "$ROOT" -B "$ROOT/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DKESTRIN_TESTS=OFF >/dev/null
    fi
    cmake --build "$ROOT/build/release" -j2 --target kestrin-scan >/dev/null
fi
[ -x "$BIN" ] || die "$BIN is missing (build it, or drop --no-build)"

if [ ! -f "$IMAGE" ] || [ ! -f "$IMAGE.done" ]; then
    log "the image is missing: building it"
    "$HERE/make-million-image.sh" --image "$IMAGE"
fi

WORK=$(mktemp -d /tmp/kestrin-compare.XXXXXX)
MNT=$WORK/mnt
mkdir -p "$MNT"
DAEMON_PID=
cleanup() {
    if mountpoint -q "$MNT" 2>/dev/null; then
        umount "$MNT" 2>/dev/null || umount -l "$MNT" 2>/dev/null || true
    fi
    if [ -n "$DAEMON_PID" ]; then wait "$DAEMON_PID" 2>/dev/null || true; fi
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Files in the image, from what the builder recorded; for bytes per file.
FILES=$(grep -o '"files": [0-9]*' "$IMAGE.done" | grep -o '[0-9]*$' || true)
FOLDERS=$(grep -o '"folders": [0-9]*' "$IMAGE.done" | grep -o '[0-9]*$' || true)

LOAD_BEFORE=$(uptime)
log "reading the image into the page cache"
# The image's pages are first dropped from the cache, then read back. Every reader (kestrin-scan,
# fls, ntfs-3g) pays about three times as much per byte copied out of the pages the small writes
# that built the image left in the cache as out of the ones a sequential read leaves: 0.16
# against 0.05 s per GiB on the machine of docs/performance.md. Without the drop, the figures depend on how the image got into the cache.
dd if="$IMAGE" iflag=nocache count=0 status=none || log "could not drop the image's cached pages"
cat "$IMAGE" >/dev/null

now_ns() { date +%s%N; }

# Runs a command with its output thrown away; appends "WALL_S PEAK_KIB" to
# FILE. The wall time is taken around it at nanosecond resolution (time's
# %e has only hundredths), the peak resident set from /usr/bin/time.
timed() { # FILE STDERR_FILE COMMAND...
    local out=$1 err=$2 t0 t1
    shift 2
    t0=$(now_ns)
    /usr/bin/time -f '%M' -o "$WORK/rss" "$@" >/dev/null 2>"$err" \
        || { cat "$err" >&2; die "failed: $*"; }
    t1=$(now_ns)
    echo "$(( (t1 - t0) / 1000000 )) $(tail -n1 "$WORK/rss")" \
        | awk '{ printf "%.3f %d\n", $1 / 1000, $2 }' >>"$out"
}

median() { # FILE COLUMN
    awk -v c="$2" '{ print $c }' "$1" | sort -g | awk '
        { v[NR] = $1 }
        END { if (NR == 0) { print "-"; exit }
              if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
minimum() { awk -v c="$2" '{ print $c }' "$1" | sort -g | head -n1; }
maximum() { awk -v c="$2" '{ print $c }' "$1" | sort -g | tail -n1; }

has_timing=0
if "$BIN" --help 2>&1 | grep -q -- '--timing'; then has_timing=1; fi

log "kestrin-scan: $RUNS runs"
: >"$WORK/kestrin"
: >"$WORK/phases"
for i in $(seq 1 "$RUNS"); do
    if [ "$has_timing" -eq 1 ]; then
        timed "$WORK/kestrin" "$WORK/kerr" "$BIN" --timing "$IMAGE"
        # Progress uses carriage returns; the phase line is one "timing:" line
        # of "NAME SECONDS s" pairs.
        tr '\r' '\n' <"$WORK/kerr" | grep '^timing:' | tail -n1 \
            | sed 's/^timing: *//' | tr ',' '\n' \
            | awk -v run="$i" 'NF >= 2 { n = $1; for (k = 2; k < NF - 1; k++) n = n "_" $k
                                         if (NF >= 3) v = $(NF - 1); else v = $NF
                                         print run, n, v }' >>"$WORK/phases"
    else
        timed "$WORK/kestrin" "$WORK/kerr" "$BIN" "$IMAGE"
    fi
    echo "   run $i: $(tail -n1 "$WORK/kestrin" | awk '{ print $1 " s, " int($2 / 1024) " MiB" }')" >&2
done

log "fls -r -p: $FLS_RUNS runs"
: >"$WORK/fls"
for i in $(seq 1 "$FLS_RUNS"); do
    timed "$WORK/fls" "$WORK/ferr" fls -r -p "$IMAGE"
    echo "   run $i: $(tail -n1 "$WORK/fls" | awk '{ print $1 " s" }')" >&2
done

log "du -s over $MOUNTS fresh read-only ntfs-3g mounts"
: >"$WORK/du1"
: >"$WORK/du2"
DU_KIB=
for i in $(seq 1 "$MOUNTS"); do
    # no_detach only to hold the daemon's pid, so the next mount waits for
    # this one's daemon to be gone.
    ntfs-3g -o ro,no_detach "$IMAGE" "$MNT" >"$WORK/ntfs-3g.log" 2>&1 &
    DAEMON_PID=$!
    for _ in $(seq 1 100); do
        mountpoint -q "$MNT" && break
        kill -0 "$DAEMON_PID" 2>/dev/null || break
        sleep 0.1
    done
    mountpoint -q "$MNT" || { cat "$WORK/ntfs-3g.log" >&2; die "ntfs-3g did not mount $IMAGE"; }
    timed "$WORK/du1" "$WORK/derr" du -s "$MNT"
    timed "$WORK/du2" "$WORK/derr" du -s "$MNT"
    [ -n "$DU_KIB" ] || DU_KIB=$(du -s "$MNT" | awk '{ print $1 }')
    umount "$MNT"
    wait "$DAEMON_PID" || true
    DAEMON_PID=
    echo "   mount $i: first $(tail -n1 "$WORK/du1" | cut -d' ' -f1) s, second $(tail -n1 "$WORK/du2" | cut -d' ' -f1) s" >&2
done
LOAD_AFTER=$(uptime)

K=$(median "$WORK/kestrin" 1)
F=$(median "$WORK/fls" 1)
D1=$(median "$WORK/du1" 1)
D2=$(median "$WORK/du2" 1)
RSS_KIB=$(maximum "$WORK/kestrin" 2)
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.1fx", a / b; else print "-" }'; }

REPORT=$WORK/report
{
    echo "=== $(date -Is)  kestrin-scan $(git -C "$ROOT" rev-parse --short HEAD 2>/dev/null || echo '?')$(git -C "$ROOT" diff --quiet HEAD -- 2>/dev/null || echo '+changes')"
    echo "image:   $IMAGE ($(du -h --apparent-size "$IMAGE" | cut -f1) apparent, $(du -h "$IMAGE" | cut -f1) on disk; ${FILES:-?} files, ${FOLDERS:-?} folders)"
    echo "machine: $(nproc) cores, $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')"
    echo "load before: ${LOAD_BEFORE#*load average: }   after: ${LOAD_AFTER#*load average: }"
    echo
    printf '%-32s %5s %10s %8s %8s %12s\n' "what" "runs" "median s" "min s" "max s" "vs kestrin"
    printf '%-32s %5s %10s %8s %8s %12s\n' "kestrin-scan IMAGE" "$RUNS" "$K" "$(minimum "$WORK/kestrin" 1)" "$(maximum "$WORK/kestrin" 1)" "1.0x"
    printf '%-32s %5s %10s %8s %8s %12s\n' "fls -r -p IMAGE" "$FLS_RUNS" "$F" "$(minimum "$WORK/fls" 1)" "$(maximum "$WORK/fls" 1)" "$(ratio "$F" "$K")"
    printf '%-32s %5s %10s %8s %8s %12s\n' "du -s, fresh ntfs-3g ro mount" "$MOUNTS" "$D1" "$(minimum "$WORK/du1" 1)" "$(maximum "$WORK/du1" 1)" "$(ratio "$D1" "$K")"
    printf '%-32s %5s %10s %8s %8s %12s\n' "du -s again, same mount" "$MOUNTS" "$D2" "$(minimum "$WORK/du2" 1)" "$(maximum "$WORK/du2" 1)" "$(ratio "$D2" "$K")"
    echo
    awk -v kib="$RSS_KIB" -v files="${FILES:-0}" 'BEGIN {
        printf "kestrin-scan peak RSS: %.1f MiB", kib / 1024
        if (files > 0) printf " = %.0f bytes per file", kib * 1024 / files
        printf "\n" }'
    echo "fls peak RSS: $(maximum "$WORK/fls" 2 | awk '{ printf "%.1f MiB", $1 / 1024 }')"
    echo "du -s total on the mount: ${DU_KIB:-?} KiB"
    if [ -s "$WORK/phases" ]; then
        echo "kestrin-scan phases (median of $RUNS runs, seconds):"
        awk '{ print $2 }' "$WORK/phases" | awk '!seen[$0]++' | while read -r phase; do
            awk -v p="$phase" '$2 == p { print $3 }' "$WORK/phases" >"$WORK/one"
            printf '  %-12s %s\n' "$phase" "$(median "$WORK/one" 1)"
        done
    elif [ "$has_timing" -eq 0 ]; then
        echo "kestrin-scan phases: not shown (no --timing option)"
    fi
    echo
} >"$REPORT"

cat "$REPORT"
cat "$REPORT" >>"$CACHE/results.txt"
echo "(appended to $CACHE/results.txt)" >&2
