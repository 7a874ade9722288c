#!/bin/bash
# Sets up what is missing, builds every build of the tree and runs every test:
#   native (gcc), native-asan (Address+UB sanitizers), native-tsan (thread
#   sanitizer, threading tests), windows (mingw-w64 i686, tests under Wine),
#   release (the same optimised: unit tests, the header check and one wizard
#   road under Wine, the package, and a second build in another folder that
#   must be the same bytes), fuzz (libFuzzer targets for a bounded time) and
#   a compile of the benchmarks.
# Exits non-zero on any failure. Run as root on Debian 12.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1

jobs=${JOBS:-$(nproc)}
# Five fuzz targets, two at a time: three rounds of 20 s, the minute the
# step took with four targets of 30 s.
fuzz_seconds=${FUZZ_SECONDS:-20}
logdir=build/test-logs
failures=()
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
    if "$@"; then
        echo "---- $name: ok ($((SECONDS - t0)) s)"
    else
        echo "---- $name: FAILED ($((SECONDS - t0)) s)"
        failures+=("$name")
    fi
}

step "dependencies"
if [ "$(id -u)" = 0 ]; then
    bash scripts/install-deps.sh || { echo "installing dependencies failed"; exit 1; }
else
    echo "not root: skipping package installation"
fi
mkdir -p "$logdir"

attempt "format check" bash scripts/check-style.sh
attempt "native build" build native
attempt "native tests" run_ctest native
attempt "native-asan build" build native-asan
attempt "native-asan tests" run_ctest native-asan
attempt "native-tsan build" build native-tsan tsan_tests
attempt "native-tsan tests" run_ctest native-tsan
attempt "windows build" build windows
attempt "windows tests (Wine)" run_ctest windows
attempt "release build" build release
attempt "release tests (Wine)" run_ctest release
attempt "release package" cmake --build --preset release-package
attempt "release reproducible" bash scripts/check-reproducible.sh --against build/release/app/repair.exe
attempt "benchmarks build" build bench
attempt "fuzz build" build fuzz
attempt "fuzz run" bash scripts/run-fuzzers.sh build/fuzz "$fuzz_seconds"

step "summary"
if [ ${#failures[@]} -gt 0 ]; then
    printf 'failed: %s\n' "${failures[@]}"
fi
echo "ctest: $total_pass passed, $total_fail failed"
[ ${#failures[@]} -eq 0 ]
