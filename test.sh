#!/usr/bin/env bash
# Builds and tests four trees: native (g++), windows (MinGW-w64, tests run under Wine), sanitize
# (g++ with ASan and UBSan) and tsan (g++ with ThreadSanitizer, the scanning suites), then runs the
# scan engine's fuzz targets for a short while (clang, libFuzzer). Installs missing packages
# first. Exits non-zero when any configure, build, test or fuzz step fails.
set -uo pipefail
cd "$(dirname "$0")" || exit 1
root=$PWD

tools/setup/install-deps.sh all || exit 1

summary=()
counts=
total_passed=0
total_failed=0
status=0

# Reads CTest's closing line ("...% tests passed, 1 tests failed out of 12") from one log into
# $counts and adds it to the totals.
count_tests() {
    local line failed total
    line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1)
    if [[ -z $line ]]; then
        counts="no test ran"
        return
    fi
    failed=$(sed -E 's/.* ([0-9]+) tests? failed out of.*/\1/' <<<"$line")
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
    total_passed=$((total_passed + total - failed))
    total_failed=$((total_failed + failed))
    counts="$((total - failed)) passed, $failed failed"
}

# run_tree NAME CMAKE-ARGUMENTS...
run_tree() {
    local name=$1
    shift
    local dir=$root/build/$name
    local started=$SECONDS
    local result
    echo "=== $name: configure and build"
    if ! cmake -S "$root" -B "$dir" -G Ninja "$@"; then
        result="configure failed"
    elif ! cmake --build "$dir" -j2; then
        result="build failed"
    else
        echo "=== $name: test"
        local log=$dir/ctest.log
        (cd "$dir" && ctest --output-on-failure -j2 --timeout 600) 2>&1 | tee "$log"
        local ctest_status=${PIPESTATUS[0]}
        count_tests "$log"
        if [[ $ctest_status -eq 0 && $counts != "no test ran" ]]; then
            result="passed ($counts)"
        else
            result="FAILED ($counts)"
        fi
    fi
    [[ $result == passed* ]] || status=1
    summary+=("$(printf '%-9s %s in %ds' "$name:" "$result" $((SECONDS - started)))")
}

# The tests leave a lingering wineserver for their prefix; stop it once they are done.
stop_wineserver() {
    local prefix=$root/build/windows/wineprefix
    if [[ -d $prefix ]]; then
        WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
    fi
}

run_tree native -DCMAKE_BUILD_TYPE=RelWithDebInfo
# The benchmarks are built and run natively only.
run_tree windows -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRIN_BENCH=OFF
stop_wineserver
# AddressSanitizer fills every new allocation with garbage, not only its first 4 KiB, so that
# memory the engine leaves uninitialised on purpose shows up where it is read before written.
ASAN_OPTIONS=max_malloc_fill_size=1073741824 run_tree sanitize -DCMAKE_BUILD_TYPE=Debug \
    -DKESTRIN_SANITIZE=ON -DKESTRIN_BENCH=OFF

# ThreadSanitizer: the suites that scan, with their parallel decode and the progress reports it
# makes from pool threads.
run_tree tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRIN_TSAN=ON -DKESTRIN_BENCH=OFF

# The fuzz targets, 12 seconds each; any crash, sanitizer report, leak or hang fails the run.
run_fuzzers() {
    local started=$SECONDS
    local result
    echo "=== fuzz: build and run"
    if tests/fuzz/run-fuzzers.sh 12; then
        result="passed (no finding)"
    else
        result="FAILED (a finding or a build error; see build/fuzz/logs)"
        status=1
    fi
    summary+=("$(printf '%-9s %s in %ds' "fuzz:" "$result" $((SECONDS - started)))")
}
run_fuzzers

echo
echo "=== summary"
printf '%s\n' "${summary[@]}"
echo "total: $total_passed passed, $total_failed failed"
exit $status
