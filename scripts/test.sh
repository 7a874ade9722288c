#!/bin/bash
# Sets up what is missing, builds what the tests need and runs every test:
#   native-asan (Address+UB sanitizers: every native test), native-tsan
#   (thread sanitizer, threading tests), native (gcc: the TFTP peer tests),
#   release (mingw-w64 i686, optimised: every Windows test under Wine, the
#   header check, the package, and a second build in another folder that
#   must be the same bytes), fuzz (libFuzzer targets for a bounded time) and
#   a compile of the benchmarks. Prints each stage's time at the end.
# Exits non-zero on any failure. Run as root on Debian 12.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1

jobs=${JOBS:-$(nproc)}
# Five fuzz targets, two at a time: three rounds of 20 s, the minute the
# step took with four targets of 30 s.
fuzz_seconds=${FUZZ_SECONDS:-20}
logdir=build/test-logs
failures=()
stage_times=()
total_pass=0
total_fail=0

step() { printf '\n==== %s ====\n' "$*"; }

run_ctest() {  # run_ctest <preset> [extra ctest args...]
    local preset=$1 log="$logdir/ctest-$1.log"
    shift
    ctest --preset "$preset" -j "$jobs" "$@" 2>&1 | tee "$log"
    local rc=${PIPESTATUS[0]}
    local line
    line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
    if [ -n "$line" ]; then
        local failed total
        failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
        total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
        total_pass=$((total_pass + total - failed))
        total_fail=$((total_fail + failed))
    fi
    return "$rc"
}

build() {  # build <preset> [targets...]
    local preset=$1
    shift
    cmake --preset "$preset" >"$logdir/configure-$preset.log" 2>&1 ||
        { cat "$logdir/configure-$preset.log"; return 1; }
    if [ $# -gt 0 ]; then
        cmake --build --preset "$preset" -j "$jobs" --target "$@"
    else
        cmake --build --preset "$preset" -j "$jobs"
    fi
}

attempt() {  # attempt <name> <command...>: records a failure, goes on
    local name=$1
    shift
    step "$name"
    local t0=$SECONDS
    local verdict=ok
    "$@" || { verdict=FAILED; failures+=("$name"); }
    echo "---- $name: $verdict ($((SECONDS - t0)) s)"
    stage_times+=("$(printf '%-24s %5d s  %s' "$name" $((SECONDS - t0)) "$verdict")")
}

step "dependencies"
if [ "$(id -u)" = 0 ]; then
    bash scripts/install-deps.sh || { echo "installing dependencies failed"; exit 1; }
else
    echo "not root: skipping package installation"
fi
mkdir -p "$logdir"

attempt "format check" bash scripts/check-style.sh
# Every native test runs under the sanitizers; the plain build only serves
# the TFTP peers, which need the client at full speed.
attempt "native-asan build" build native-asan
attempt "native-asan tests" run_ctest native-asan
attempt "native-tsan build" build native-tsan tsan_tests
attempt "native-tsan tests" run_ctest native-tsan
attempt "native peers build" build native peer_tests
attempt "native peers tests" run_ctest native -L peers
# The Windows tests, all of them, run once, on the program users receive:
# the optimised build (the Debug preset "windows" is the developers').
attempt "release build" build release
attempt "release tests (Wine)" run_ctest release
attempt "release package" cmake --build --preset release-package
attempt "release reproducible" bash scripts/check-reproducible.sh --against build/release/app/repair.exe
attempt "benchmarks build" build bench benchmarks
attempt "fuzz build" build fuzz
attempt "fuzz run" bash scripts/run-fuzzers.sh build/fuzz "$fuzz_seconds"

step "summary"
printf '%s\n' "${stage_times[@]}"
echo "total: $SECONDS s"
if [ ${#failures[@]} -gt 0 ]; then
    printf 'failed: %s\n' "${failures[@]}"
fi
echo "ctest: $total_pass passed, $total_fail failed"
[ ${#failures[@]} -eq 0 ]
