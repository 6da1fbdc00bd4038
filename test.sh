#!/usr/bin/env bash
# Builds and tests four trees: windows (MinGW-w64, tests run under Wine), native (g++), sanitize
# (clang with ASan and UBSan; it also builds the scan engine's fuzz targets, which then run for a
# short while) and tsan (g++ with ThreadSanitizer, the scanning suites). Installs missing packages
# first. Exits non-zero when any configure, build, test or fuzz step fails.
#
# The trees are built one after another with both cores; each tree's tests run in the background
# while the next tree builds, since most of them leave a core idle (Wine above all). Each step's
# time is printed at the end: a tree's build, and its tests from start to end.
set -uo pipefail
cd "$(dirname "$0")" || exit 1
root=$PWD
started_at=$SECONDS

install_started=$SECONDS
tools/setup/install-deps.sh test || exit 1
install_seconds=$((SECONDS - install_started))

results=$root/build/test-results
rm -rf "$results"
mkdir -p "$results"
summary=()
status=0

# build_tree NAME TARGETS CMAKE-ARGUMENTS...: configures and builds one tree (TARGETS "all" or a
# space-separated list); false when either fails, with the reason in the summary.
build_tree() {
    local name=$1 targets=$2
    shift 2
    local dir=$root/build/$name
    local started=$SECONDS
    local result=built
    echo "=== $name: configure and build"
    if ! cmake -S "$root" -B "$dir" -G Ninja "$@"; then
        result="configure failed"
    elif ! cmake --build "$dir" -j2 --target $targets; then
        result="build failed"
    fi
    summary+=("$(printf '%-9s %-36s %4ds' "$name:" "build: $result" $((SECONDS - started)))")
    if [[ $result != built ]]; then
        status=1
        return 1
    fi
}

# Reads CTest's closing line ("...% tests passed, 1 tests failed out of 12") from a log and prints
# "P passed, F failed", or "no test ran".
test_counts() {
    local line failed total
    line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1)
    if [[ -z $line ]]; then
        echo "no test ran"
        return
    fi
    failed=$(sed -E 's/.* ([0-9]+) tests? failed out of.*/\1/' <<<"$line")
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
    echo "$((total - failed)) passed, $failed failed"
}

# start_tests NAME PARALLEL [ENV...]: runs one tree's CTest in the background, its output in
# build/test-results/NAME.log; the outcome lands in NAME.result when it ends.
start_tests() {
    local name=$1 parallel=$2
    shift 2
    local dir=$root/build/$name
    (
        local started=$SECONDS
        cd "$dir" || exit 1
        env "$@" ctest --output-on-failure -j"$parallel" --timeout 600 >"$results/$name.log" 2>&1
        local ctest_status=$?
        local counts
        counts=$(test_counts "$results/$name.log")
        local result="passed ($counts)"
        if [[ $ctest_status -ne 0 || $counts == "no test ran" ]]; then
            result="FAILED ($counts)"
        fi
        printf '%s\t%d\n' "$result" $((SECONDS - started)) >"$results/$name.result"
    ) &
    echo "=== $name: tests started in the background"
}

# start_fuzzers: the fuzz targets of the sanitize tree, 12 seconds each, side by side.
start_fuzzers() {
    (
        local started=$SECONDS
        local result="passed (no finding)"
        if ! KESTRIN_FUZZ_BUILD_DIR=$root/build/sanitize KESTRIN_FUZZ_PARALLEL=1 \
            tests/fuzz/run-fuzzers.sh 12 >"$results/fuzz.log" 2>&1; then
            result="FAILED (a finding or a build error; see build/sanitize/logs)"
        fi
        printf '%s\t%d\n' "$result" $((SECONDS - started)) >"$results/fuzz.result"
    ) &
    echo "=== fuzz: started in the background"
}

# Line tables are all the debug information a failing test's backtrace needs, and they cost a
# fraction of full information to compile.
release_flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG")

# Wine's tests spend most of their time starting Wine and waiting for windows: all four at once.
# The benchmarks are built and run natively only.
build_tree windows all -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    "${release_flags[@]}" -DKESTRIN_BENCH=OFF && start_tests windows 4

build_tree native all "${release_flags[@]}" && start_tests native 2

# AddressSanitizer fills every new allocation with garbage, not only its first 4 KiB, so that
# memory the engine leaves uninitialised on purpose shows up where it is read before written.
# Optimised lightly, as the sanitizers are meant to run, with assertions kept.
if build_tree sanitize all -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" -DKESTRIN_SANITIZE=ON -DKESTRIN_FUZZ=ON \
    -DKESTRIN_BENCH=OFF; then
    start_tests sanitize 2 ASAN_OPTIONS=max_malloc_fill_size=1073741824
    start_fuzzers
fi

# ThreadSanitizer: the suites that scan, with their parallel decode and the progress reports it
# makes from pool threads.
build_tree tsan kestrin-tests "${release_flags[@]}" -DKESTRIN_TSAN=ON -DKESTRIN_BENCH=OFF &&
    start_tests tsan 2

echo "=== waiting for the tests still running"
wait

# The tests leave a lingering wineserver for their prefix; stop it once they are done.
if [[ -d $root/build/windows/wineprefix ]]; then
    WINEPREFIX=$root/build/windows/wineprefix wineserver -k >/dev/null 2>&1 || true
fi

total_passed=0
total_failed=0
for name in windows native sanitize tsan fuzz; do
    [[ -f $results/$name.result || -f $results/$name.log ]] || continue
    if [[ ! -f $results/$name.result ]]; then
        summary+=("$(printf '%-9s %-36s' "$name:" "tests: did not finish")")
        status=1
        continue
    fi
    IFS=$'\t' read -r result seconds <"$results/$name.result"
    summary+=("$(printf '%-9s %-36s %4ds' "$name:" "tests: $result" "$seconds")")
    if [[ $result != passed* ]]; then
        status=1
        echo
        echo "=== $name: output"
        tail -n 200 "$results/$name.log"
    fi
    if [[ $name != fuzz ]]; then
        counts=$(test_counts "$results/$name.log")
        if [[ $counts =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
            total_passed=$((total_passed + BASH_REMATCH[1]))
            total_failed=$((total_failed + BASH_REMATCH[2]))
        fi
    fi
done

echo
echo "=== summary"
printf '%-9s %-36s %4ds\n' "install:" "packages" "$install_seconds"
printf '%s\n' "${summary[@]}"
grep -h -E '^fuzz-' "$results/fuzz.log" 2>/dev/null
echo "total: $total_passed passed, $total_failed failed in $((SECONDS - started_at))s"
exit $status
