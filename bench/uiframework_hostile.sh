#!/bin/bash
# Times each hostile skin (tests/uiframework/hostile_skins.h) and reports the
# peak memory of the process that built it, one skin per process:
#   native, native-asan: the Debug builds (native under a 1 GiB address-space
#     limit, so that a skin that runs away ends in std::bad_alloc instead of
#     taking the machine's memory; ASan, which maps its shadow, under a 1 GiB
#     resident limit instead, its quarantine kept small so that freed memory
#     does not count);
#   windows: the Windows build under Wine (its private test prefix).
# Each skin gets TIMEOUT seconds (default 60). With --lift-budget the build
# budget is lifted, to time the framework's own walks.
# usage: bench/uiframework_hostile.sh [native|native-asan|windows] [--lift-budget] [skin...]
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
preset=${1:-native}
shift || true
flags=()
if [ "${1:-}" = --lift-budget ]; then
    flags=(--lift-budget)
    shift
fi
timeout=${TIMEOUT:-60}
dir=build/$preset/tests/uiframework
case $preset in
    windows) run=(bash cmake/wine-run.sh "$PWD/build/windows/wineprefix" "$dir/uiframework_hostile_run.exe") ;;
    *) run=("$dir/uiframework_hostile_run") ;;
esac
[ -e "${run[-1]}" ] || { echo "build uiframework_hostile_run in the $preset preset first"; exit 1; }
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:quarantine_size_mb=16:hard_rss_limit_mb=1024}

skins=("$@")
if [ ${#skins[@]} = 0 ]; then
    mapfile -t skins < <("${run[@]}" --list | tr -d '\r')
fi
for skin in "${skins[@]}"; do
    start=$(date +%s.%N)
    if [ "$preset" = native ]; then
        out=$( (ulimit -v 1048576; timeout "$timeout" "${run[@]}" "${flags[@]}" "$skin") 2>&1)
    else
        out=$(timeout "$timeout" "${run[@]}" "${flags[@]}" "$skin" 2>&1)
    fi
    rc=$?
    seconds=$(echo "$(date +%s.%N) - $start" | bc)
    line=$(grep -E "^$skin: " <<<"$out" | tr -d '\r' | tail -n 1)
    if [ -n "$line" ]; then
        echo "$line"
    elif [ $rc = 124 ]; then
        printf '%s: killed after %.0f s\n' "$skin" "$seconds"
    else
        printf '%s: ended with status %d after %.1f s: %s\n' "$skin" "$rc" "$seconds" \
            "$(grep -E 'what\(\)|ERROR|terminate' <<<"$out" | head -n 1)"
    fi
done
