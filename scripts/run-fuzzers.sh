#!/bin/bash
# Runs every libFuzzer target found in BUILD_DIR for SECONDS each, starting
# from its corpus in tests/fuzz/corpus/<target>. A crash fails the run.
# usage: run-fuzzers.sh BUILD_DIR SECONDS
set -uo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:?usage: run-fuzzers.sh BUILD_DIR SECONDS}
seconds=${2:-30}
status=0
found=0
for fuzzer in "$build_dir"/tests/fuzz/fuzz_*; do
    [ -x "$fuzzer" ] || continue
    found=1
    name=$(basename "$fuzzer")
    seeds=tests/fuzz/corpus/$name
    work=$(mktemp -d)
    echo "fuzzing $name for $seconds s"
    if ! "$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 \
            -artifact_prefix="$build_dir/" "$work" ${seeds:+$( [ -d "$seeds" ] && echo "$seeds")} \
            >"$build_dir/$name.log" 2>&1; then
        echo "$name found a failure:"
        tail -n 40 "$build_dir/$name.log"
        status=1
    else
        grep -E 'stat::number_of_executed_units|Done' "$build_dir/$name.log" | tail -n 2
    fi
    rm -rf "$work"
done
[ $found = 1 ] || echo "no fuzz targets built"
exit $status
