#!/bin/bash
# Runs every libFuzzer target found in BUILD_DIR for SECONDS each, starting
# from its corpus in tests/fuzz/corpus/<target>, JOBS targets at a time
# (default: one per core). A crash, a leak, undefined behaviour or a memory
# limit exceeded fails the run. Prints each target's executions per second
# and coverage.
# The mutations follow a fixed seed (FUZZ_SEED, default 1; 0 lets libFuzzer
# pick one), so runs stay close to one another and a longer local run with
# the same seed covers much of what a short one will try. Not exactly: the
# order of equal-sized seeds follows the file system and the targets keep
# some state of their own, so a run can still find what the last did not.
# usage: run-fuzzers.sh BUILD_DIR SECONDS
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
build_dir=${1:?usage: run-fuzzers.sh BUILD_DIR SECONDS}
seconds=${2:-30}
jobs=${JOBS:-$(nproc)}

# No single allocation may pass malloc_limit_mb. Fuzzing builds bound skin
# images at 256 x 256 pixels, whose decoding needs about 2 MiB at once at
# most, and nothing else built from an input of a few KB comes near 64 MiB:
# a decompression bomb that slips past the bounds shows as a finding.
limits=(-rss_limit_mb=2048 -malloc_limit_mb=64)
seed=${FUZZ_SEED:-1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

fuzz_one() {  # fuzz_one <fuzzer>: runs it, leaves its log and exit status beside it
    local fuzzer=$1 name seeds work corpus
    name=$(basename "$fuzzer")
    seeds=tests/fuzz/corpus/$name
    work=$(mktemp -d)
    corpus=("$work")
    [ -d "$seeds" ] && corpus+=("$seeds")
    "$fuzzer" -max_total_time="$seconds" -seed="$seed" "${limits[@]}" -print_final_stats=1 \
        -artifact_prefix="$build_dir/$name-" "${corpus[@]}" \
        >"$build_dir/$name.log" 2>&1
    echo $? >"$build_dir/$name.status"
    rm -rf "$work"
}

report() {  # report <name> <status>
    local name=$1 status=$2 log="$build_dir/$1.log"
    if [ "$status" != 0 ]; then
        echo "$name found a failure (log $log):"
        tail -n 40 "$log"
        return
    fi
    local done_line execs rss
    done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1)
    execs=$(sed -nE 's/^stat::average_exec_per_sec: *([0-9]+).*/\1/p' "$log" | tail -n 1)
    rss=$(sed -nE 's/^stat::peak_rss_mb: *([0-9]+).*/\1/p' "$log" | tail -n 1)
    echo "$name: ${execs:-?} exec/s, $(grep -oE 'cov: [0-9]+' <<<"$done_line"), peak ${rss:-?} MB; ${done_line:-no DONE line}"
}

fuzzers=()
for fuzzer in "$build_dir"/tests/fuzz/fuzz_*; do
    [ -x "$fuzzer" ] && fuzzers+=("$fuzzer")
done
if [ ${#fuzzers[@]} = 0 ]; then
    echo "no fuzz targets built"
    exit 0
fi

echo "fuzzing ${#fuzzers[@]} targets for $seconds s each, $jobs at a time, seed $seed"
for fuzzer in "${fuzzers[@]}"; do
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do sleep 1; done
    rm -f "$build_dir/$(basename "$fuzzer").status"
    fuzz_one "$fuzzer" &
done
wait
status=0
for fuzzer in "${fuzzers[@]}"; do
    name=$(basename "$fuzzer")
    rc=$(cat "$build_dir/$name.status" 2>/dev/null || echo missing)
    report "$name" "$rc"
    [ "$rc" = 0 ] || status=1
done
exit $status
