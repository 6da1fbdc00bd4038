#!/usr/bin/env bash
# Builds the fuzz targets in build/fuzz (clang, libFuzzer, ASan, UBSan), cuts the seed corpora
# and runs each target in turn for SECONDS_PER_TARGET seconds (default 30). Exits non-zero when a
# target finds a crash, a leak, a timeout or an out-of-memory; the input is kept in
# build/fuzz/artifacts and the report is printed.
#
#   tests/fuzz/run-fuzzers.sh [SECONDS_PER_TARGET]
#
# KESTRIN_FUZZ_BUILD_JOBS sets the build's parallelism (default 2). The corpus each run grows is
# kept in build/fuzz/corpus, so later runs start from what earlier ones found.
# KESTRIN_FUZZ_BUILD_DIR names another tree that builds the targets (./test.sh uses its sanitize
# tree); KESTRIN_FUZZ_PARALLEL=1 runs the three targets at once instead of one after another.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-30}
build=${KESTRIN_FUZZ_BUILD_DIR:-$root/build/fuzz}

if [[ ! -f $build/build.ninja ]]; then
    CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DKESTRIN_FUZZ=ON -DKESTRIN_TESTS=OFF -DKESTRIN_BENCH=OFF >/dev/null || exit 1
fi
cmake --build "$build" -j "${KESTRIN_FUZZ_BUILD_JOBS:-2}" --target fuzz-record fuzz-scan \
    fuzz-partitions || exit 1
"$root/tests/fuzz/make-seeds.sh" "$build/seeds" || exit 1

# UBSan aborts at the first report (the targets are built without recovery); print where.
export UBSAN_OPTIONS=print_stacktrace=1
# run_target TARGET:MAX_LEN: one target for the given seconds; prints one line, or the report.
run_target() {
    local target=${1%%:*}
    local kind=${target#fuzz-}
    mkdir -p "$build/corpus/$kind" "$build/artifacts" "$build/logs"
    local log=$build/logs/$target.log
    "$build/tests/fuzz/$target" "$build/corpus/$kind" "$build/seeds/$kind" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len="${1##*:}" \
        -artifact_prefix="$build/artifacts/$target-" -print_final_stats=1 >"$log" 2>&1
    local result=$?
    local runs coverage
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    coverage=$(grep -oE 'cov: [0-9]+' "$log" | tail -n 1)
    if [[ $result -eq 0 ]]; then
        echo "$target: no finding, ${runs:-0} runs in ${seconds}s, $coverage"
    else
        echo "$target: FINDING (exit $result), report from $log:"
        grep -vE '^#[0-9]+' "$log" | tail -n 60
        return 1
    fi
}

# Inputs are capped near the size of the seeds: a record target input holds a few records, a scan
# input a boot sector and about a hundred records, a partitions input the first sectors of a disk.
targets=(fuzz-record:16384 fuzz-scan:131072 fuzz-partitions:73728)
status=0
if [[ ${KESTRIN_FUZZ_PARALLEL:-0} == 1 ]]; then
    mkdir -p "$build/logs"
    pids=()
    for entry in "${targets[@]}"; do
        run_target "$entry" >"$build/logs/${entry%%:*}.line" &
        pids+=($!)
    done
    for i in "${!pids[@]}"; do
        wait "${pids[$i]}" || status=1
        cat "$build/logs/${targets[$i]%%:*}.line"
    done
else
    for entry in "${targets[@]}"; do
        run_target "$entry" || status=1
    done
fi
exit $status
