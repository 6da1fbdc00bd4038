#!/usr/bin/env bash
# How a whole scan scales with the size of the MFT: builds Release, makes synthetic images of 1, 4
# and 8 million records (kestrin-make-image, kept in a cache outside the work tree), scans each a
# few times with the image in the page cache and reports wall time, records per second, ns per
# record, peak memory and how ns per record grows from the smallest image to the largest (target:
# at most 1.2 times).
#
#   tools/bench/scale.sh [RECORDS...]          default: 1000000 4000000 8000000
#
#   KESTRIN_BENCH_CACHE   where images and results.txt live (default ~/.cache/kestrin-bench)
#   KESTRIN_BENCH_RUNS    timed scans per image (default 3), after one scan that fills the cache
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cache=${KESTRIN_BENCH_CACHE:-$HOME/.cache/kestrin-bench}
runs=${KESTRIN_BENCH_RUNS:-3}
sizes=("$@")
if [ ${#sizes[@]} -eq 0 ]; then
    sizes=(1000000 4000000 8000000)
fi
build=$root/build/release

say() { printf '%s\n' "$*" >&2; }

if [ ! -x /usr/bin/time ]; then
    say "scale.sh: /usr/bin/time is missing (apt-get install time)"
    exit 1
fi

say "building Release in $build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRIN_TESTS=OFF >/dev/null
cmake --build "$build" --target kestrin-scan kestrin-make-image >/dev/null

mkdir -p "$cache"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Copies, so that a rebuild in the same tree while this runs cannot swap the programs measured.
cp "$build/tools/kestrin-scan/kestrin-scan" "$build/tools/bench/kestrin-make-image" "$work/"
scan=$work/kestrin-scan
make_image=$work/kestrin-make-image

# An image is reused while the generator that made it is unchanged.
generator_hash=$(cat "$root/tools/bench/GenerateImage.cpp" "$root"/tools/bench/make-image/* \
    "$root/tests/core/RecordBuilder.cpp" "$root/tests/core/RecordBuilder.h" | sha256sum | cut -c1-16)

available_kib() { df -Pk "$cache" | awk 'NR == 2 { print $4 }'; }

# Makes synthetic-N.img unless a current one is there; its summary goes beside it.
ensure_image() {
    local n=$1 image=$cache/synthetic-$1.img summary=$cache/synthetic-$1.summary
    if [ -f "$image" ] && [ -f "$summary" ] && grep -q "^generator $generator_hash\$" "$summary"; then
        return 0
    fi
    rm -f "$image" "$summary"
    # The MFT is real data (1 KiB a record); file data stays sparse. Keep 2 GiB spare.
    local need_kib=$((n + n / 20 + 2 * 1024 * 1024))
    local have_kib
    have_kib=$(available_kib)
    if [ "$have_kib" -lt "$need_kib" ]; then
        say "skipping $n records: $((have_kib / 1024)) MiB free in $cache, $((need_kib / 1024)) MiB needed"
        return 1
    fi
    say "generating $image"
    /usr/bin/time -f '%e %M' -o "$work/gen.time" "$make_image" "$n" "$image.partial" >"$work/gen.out"
    read -r gen_seconds gen_kib <"$work/gen.time"
    {
        echo "generator $generator_hash"
        echo "generated $(date -u '+%Y-%m-%d %H:%M UTC') in $gen_seconds s, peak RSS $((gen_kib / 1024)) MiB"
        sed 's/\.partial$//' "$work/gen.out"
    } >"$summary"
    mv "$image.partial" "$image"
}

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

has_timing=0
if "$scan" --help | grep -q -- '--timing'; then
    has_timing=1
fi
timing_flag=()
if [ $has_timing -eq 1 ]; then
    timing_flag=(--timing)
fi

report=$work/report.txt
phases=$work/phases.txt
: >"$phases"
{
    echo "kestrin-scan scale benchmark, $(date '+%Y-%m-%d %H:%M:%S %Z')"
    echo "commit $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo '?')$(git -C "$root" diff --quiet HEAD -- scan tools 2>/dev/null || echo ' (+ uncommitted changes)'), $(nproc) cores, $(awk '/MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo) RAM, $runs timed runs per image after one that fills the page cache"
    printf '%11s  %-6s  %8s  %11s  %9s  %9s  %12s  %s\n' records load wall_s records/s ns/record peak_RSS bytes/record counts
} >"$report"

declare -A ns_per_record ns_without_read
notes=
for n in "${sizes[@]}"; do
    image=$cache/synthetic-$n.img
    if ! ensure_image "$n"; then
        printf '%11s  skipped: not enough free disk\n' "$n" >>"$report"
        continue
    fi
    summary=$cache/synthetic-$n.summary
    want_files=$(sed -n 's/^summary .* files=\([0-9]*\) .*/\1/p' "$summary")
    want_folders=$(sed -n 's/^summary .* folders=\([0-9]*\) .*/\1/p' "$summary")
    available=$(awk '/MemAvailable/ { print int($2 / 1024) }' /proc/meminfo)
    say "scanning $image ($n records; ${available} MiB of memory available)"
    # The first scan reads the MFT into the page cache and checks the counts. The image's pages
    # are dropped before it: pages a freshly generated image leaves cached by its writes cost
    # more to copy out than the ones a read leaves (see compare-million.sh).
    dd if="$image" iflag=nocache count=0 status=none || say "could not drop the image's cached pages"
    "$scan" "$image" >"$work/first.out" 2>/dev/null
    first_line=$(head -n 1 "$work/first.out")
    got_files=$(printf '%s\n' "$first_line" | sed -n 's/.* \([0-9,]*\) 文件 .*/\1/p' | tr -d ,)
    got_folders=$(printf '%s\n' "$first_line" | sed -n 's/.* \([0-9,]*\) 文件夹 .*/\1/p' | tr -d ,)
    if [ "$got_files" = "$want_files" ] && [ "$got_folders" = "$want_folders" ]; then
        counts=ok
    else
        counts="MISMATCH: scan $got_files files $got_folders folders, image $want_files files $want_folders folders"
    fi
    load=$(cut -d' ' -f1 /proc/loadavg)
    : >"$work/walls"
    : >"$work/rss"
    : >"$work/timings"
    for ((r = 1; r <= runs; r++)); do
        /usr/bin/time -f '%e %M' -o "$work/run.time" "$scan" "${timing_flag[@]}" "$image" \
            >/dev/null 2>"$work/run.err"
        read -r wall kib <"$work/run.time"
        echo "$wall" >>"$work/walls"
        echo "$kib" >>"$work/rss"
        grep '^timing:' "$work/run.err" >>"$work/timings" || true
    done
    wall=$(median <"$work/walls")
    kib=$(sort -g "$work/rss" | tail -n 1)
    ns=$(awk -v w="$wall" -v n="$n" 'BEGIN { printf "%.0f", w * 1e9 / n }')
    ns_per_record[$n]=$ns
    awk -v n="$n" -v load="$load" -v w="$wall" -v k="$kib" -v ns="$ns" -v c="$counts" 'BEGIN {
        printf "%11d  %-6s  %8.2f  %11.0f  %9d  %5.2f GiB  %12.0f  %s\n", n, load, w, n / w, ns, k / 1048576, k * 1024 / n, c
    }' >>"$report"
    # The scan's memory and the MFT's pages must fit in RAM together, or each run reads part of
    # the MFT from disk again.
    if command -v fincore >/dev/null; then
        resident=$(fincore -b -n -o RES "$image" | tr -d ' ')
        notes+=$(awk -v n="$n" -v r="$resident" 'BEGIN {
            printf "%d records: %.0f of the MFT'"'"'s %.0f MiB in the page cache after the runs", n, r / 2^20, n / 1024 }')$'\n'
    fi
    # Phase times: "timing: NAME S s, NAME S s, ..." from every run; the median of each.
    if [ -s "$work/timings" ]; then
        names=$(head -n 1 "$work/timings" | sed 's/^timing: //; s/ [0-9.]* s//g; s/,//g')
        line=$(printf '%11d ' "$n")
        for phase in $names; do
            seconds=$(sed -n "s/.*[:,] $phase \\([0-9.]*\\) s.*/\\1/p" "$work/timings" | median)
            line+=$(awk -v p="$phase" -v s="$seconds" -v n="$n" 'BEGIN {
                if (s >= 0.01) printf "  %s %.0f/s (%.2f s)", p, n / s, s }')
        done
        echo "$line" >>"$phases"
        # Reading the MFT costs far more once it no longer stays in the page cache; the rest of
        # the scan is compared without it too.
        read_s=$(sed -n 's/.*[:,] read \([0-9.]*\) s.*/\1/p' "$work/timings" | median)
        total_s=$(sed -n 's/.*[:,] total \([0-9.]*\) s.*/\1/p' "$work/timings" | median)
        if [ -n "$read_s" ] && [ -n "$total_s" ]; then
            ns_without_read[$n]=$(awk -v t="$total_s" -v r="$read_s" -v n="$n" 'BEGIN { printf "%.0f", (t - r) * 1e9 / n }')
        fi
    fi
done

{
    printf '%s' "$notes"
    smallest=${sizes[0]}
    largest=${sizes[${#sizes[@]}-1]}
    if [ -n "${ns_per_record[$smallest]:-}" ] && [ -n "${ns_per_record[$largest]:-}" ] && [ "$smallest" != "$largest" ]; then
        awk -v a="${ns_per_record[$largest]}" -v b="${ns_per_record[$smallest]}" -v l="$largest" -v s="$smallest" 'BEGIN {
            r = a / b
            printf "ns/record at %d records against %d: %.2f (target <= 1.20: %s)\n", l, s, r, r <= 1.2 ? "met" : "NOT met"
        }'
        if [ -n "${ns_without_read[$smallest]:-}" ] && [ -n "${ns_without_read[$largest]:-}" ]; then
            awk -v a="${ns_without_read[$largest]}" -v b="${ns_without_read[$smallest]}" 'BEGIN {
                printf "  the same without the read phase: %.2f (%d against %d ns/record)\n", a / b, a, b }'
        fi
    fi
    if [ -s "$phases" ]; then
        echo "per phase, records per second (median seconds):"
        cat "$phases"
    elif [ $has_timing -eq 0 ]; then
        echo "(kestrin-scan has no --timing: no per-phase figures)"
    fi
} >>"$report"

cat "$report"
{
    echo "=== $(date '+%Y-%m-%d %H:%M:%S %Z')"
    cat "$report"
    echo
} >>"$cache/results.txt"
