#!/bin/bash
# Runs repair.exe under Wine the way a user would, against a simulated box,
# and checks what it did. As root:
#   - two network namespaces of this run joined by a veth pair: the box with
#     192.168.1.6/24 and a real TFTP server (in.tftpd) writing into a fresh
#     folder, the PC with an ordinary DHCP-style address of another subnet;
#   - the PC's Wine session (wineserver -p) started inside the PC namespace
#     and checked there before anything runs (the wineserver owns every
#     socket); its own X display, and a prefix copy with the skin's font
#     mapped and the adapters' connection names;
#   - netsh in that prefix is the project's stand-in: every command line is
#     recorded, and a broker applies the address changes to the PC namespace,
#     so the upload succeeds only if the program asked for the right address
#     on the right connection;
#   - presses "下一步" with the pointer, waits for page 3, presses "确定", and
#     checks the box's copy of the firmware, the commands, the PC's network,
#     the log and the exit code; screenshots of every page go to the output
#     folder. Everything it made is removed at the end, also on Ctrl-C.
#
# usage: scripts/run-wizard.sh [road...] [options]
#   (no road)              the full repair: one adapter, the box answers
#   --ROAD                 a road of tests/e2e/roads.txt (listed below)
#   --all                  every road, one after the other
#   --scenario NAME        a road by name
#   --out DIR              output folder (default build/wizard-runs/DATE-TIME)
#   --no-build             no package installation, no build: use the programs as built
#   --exe FILE             repair.exe to run (default: the windows build's)
#   --netsh FILE           the netsh stand-in (default: the windows build's)
#   --probe FILE           the answer probe (default: the windows build's)
#   --planted DIR          the planted files (default: the windows build's)
#   --static-world DIR     the static-adapter world's DLLs (default: the windows build's)
#   --keep                 keep the scratch folder (its path is printed)
#   --dpi N                the screen at N DPI (the prefix's LogPixels; 144:
#                          150 %, 192: 200 %) on a display of 1024x768 scaled
#                          as much; the skin's click points scaled alike
# Exit code: 0 every check passed; 1 a check failed or the run broke;
# 77 it cannot run here (not root, or no network namespaces).
set -uo pipefail

E2E=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$E2E/../.." && pwd)
cd "$ROOT" || exit 1

mapfile -t all_roads < <(sed -n 's/^\([a-z0-9-]\+\) .*/\1/p' "$E2E/roads.txt")
roads=()
out=""
build=1
exe=""
netsh=""
probe=""
planted=""
static_world=""
keep=0

usage() {
    sed -n '2,/^set -uo/p' "$0" | sed '$d; s/^# \{0,1\}//' | sed '/^Exit code/,$d'
    awk '/^[a-z0-9-]+ / { name = $1; sub(/^[^ ]+ +/, ""); printf "  %-22s %s\n", "--" name, $0 }' "$E2E/roads.txt"
    sed -n '2,/^set -uo/p' "$0" | sed '$d; s/^# \{0,1\}//' | sed -n '/^Exit code/,$p'
}

is_road() { [[ " ${all_roads[*]} " == *" $1 "* ]]; }

while [ $# -gt 0 ]; do
    case $1 in
        --all) roads+=("${all_roads[@]}") ;;
        --scenario)
            [ $# -ge 2 ] || { echo "run-wizard: --scenario needs a name" >&2; exit 1; }
            roads+=("$2")
            shift
            ;;
        --out) out=${2:?--out needs a folder}; shift ;;
        --exe) exe=${2:?--exe needs a file}; shift ;;
        --netsh) netsh=${2:?--netsh needs a file}; shift ;;
        --probe) probe=${2:?--probe needs a file}; shift ;;
        --planted) planted=${2:?--planted needs a folder}; shift ;;
        --static-world) static_world=${2:?--static-world needs a folder}; shift ;;
        --no-build) build=0 ;;
        --keep) keep=1 ;;
        --dpi)
            [[ ${2:-} =~ ^[0-9]+$ ]] || { echo "run-wizard: --dpi needs a number" >&2; exit 1; }
            export GUI_DPI=$2 WIZ_DPI=$2
            shift
            ;;
        -h | --help) usage; exit 0 ;;
        --*) is_road "${1#--}" || { echo "run-wizard: unknown option $1 (see --help)" >&2; exit 1; }
            roads+=("${1#--}") ;;
        *) echo "run-wizard: unknown option $1 (see --help)" >&2; exit 1 ;;
    esac
    shift
done
[ ${#roads[@]} -gt 0 ] || roads=(repair)
for road in "${roads[@]}"; do
    is_road "$road" || { echo "run-wizard: no road named '$road'" >&2; exit 1; }
done

# shellcheck source=lib/harness.sh
. "$E2E/lib/harness.sh"
# shellcheck source=lib/wine-gui.sh
. "$E2E/lib/wine-gui.sh"
# shellcheck source=lib/netns.sh
. "$E2E/lib/netns.sh"
# shellcheck source=lib/wizard.sh
. "$E2E/lib/wizard.sh"
# shellcheck source=lib/steps.sh
. "$E2E/lib/steps.sh"

if [ "$(id -u)" != 0 ]; then
    echo "run-wizard: SKIPPED: needs root (network namespaces, the box's TFTP server)" >&2
    exit 77
fi
if ! netns_available; then
    echo "run-wizard: SKIPPED: network namespaces are not available here (ip netns add failed)" >&2
    exit 77
fi

if [ "$build" = 1 ]; then
    bash scripts/install-deps.sh || { echo "run-wizard: installing the packages failed" >&2; exit 1; }
    cmake --preset windows >/dev/null || { echo "run-wizard: configuring the windows build failed" >&2; exit 1; }
    cmake --build --preset windows -j 2 --target repair_exe netsh_standin answer_probe planted_files \
        static_iphlpapi ||
        { echo "run-wizard: building repair.exe failed" >&2; exit 1; }
fi
WIZ_EXE=$(realpath -e "${exe:-build/windows/app/repair.exe}") || { echo "run-wizard: no repair.exe (build it, or --exe)" >&2; exit 1; }
WIZ_NETSH=$(realpath -e "${netsh:-build/windows/tests/e2e/netsh.exe}") || { echo "run-wizard: no netsh stand-in (build target netsh_standin, or --netsh)" >&2; exit 1; }
# Only the roads that watch the window's answers need it.
WIZ_PROBE=$(realpath -e "${probe:-build/windows/tests/e2e/answer_probe.exe}" 2>/dev/null)
# Only the road of planted files needs them.
# shellcheck disable=SC2034 # roads/planted.sh's to use
WIZ_PLANTED=$(realpath -e "${planted:-build/windows/tests/e2e/planted/bin}" 2>/dev/null)
# Only the roads of a static adapter need it.
# shellcheck disable=SC2034 # wizard.sh's to use
WIZ_STATIC_WORLD=$(realpath -e "${static_world:-build/windows/tests/e2e/static/bin}" 2>/dev/null)
for tool in wine wineserver Xvfb xdotool import convert in.tftpd iconv python3 flock; do
    command -v "$tool" >/dev/null || { echo "run-wizard: missing $tool (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
template=${WIZARD_PREFIX_TEMPLATE:-$ROOT/build/wizard-prefix}
out=${out:-$ROOT/build/wizard-runs/$(date +%Y%m%d-%H%M%S)}
mkdir -p "$out" && out=$(realpath "$out")

echo_kept() { echo "scratch folder kept: $1" >&2; }

run_road() {  # run_road NAME (in a subshell: its own traps and clean-up)
    local road=$1 work
    work=$(mktemp -d "${TMPDIR:-/tmp}/wizard-run.XXXXXX")
    harness_init road
    gui_init "$work/gui"
    if [ "$keep" = 1 ]; then
        on_cleanup echo_kept "$work"
    else
        on_cleanup rm -rf "$work"
    fi
    on_cleanup wiz_world_down
    on_cleanup wiz_keep_records
    on_cleanup road_summary "$road" "$(now)" "$out"
    wiz_init "$work" "$out" "$road"
    echo "== $road"
    # shellcheck source=/dev/null
    . "$E2E/roads/$road.sh"
    # The first template is made from the Windows tests' prefix when there
    # is one (a copy takes a second, a new prefix a quarter of a minute).
    if ! wiz_prefix "$template" "$ROOT/build/windows/wineprefix"; then
        check "the Wine prefix is ready" false
    elif ! "road_${road//-/_}"; then
        check "the road ran to its end" false
    fi
    harness_missing
    road_done
    [ "$HARNESS_FAILED" = 0 ]
}

# Each road runs in a subshell with its own clean-up; the parent hands a
# Ctrl-C or TERM on to it, and stops a road that overruns its deadline, so
# the clean-up always runs (a background subshell ignores SIGINT itself).
deadline=${WIZARD_ROAD_DEADLINE:-300}
stop=""
child=""
trap 'stop=130' INT
trap 'stop=143' TERM
uptime_s() { cut -d. -f1 /proc/uptime; }

run_road_guarded() {  # sets rc
    (run_road "$1") &
    child=$!
    local until=$(($(uptime_s) + deadline)) stopped=""
    while kill -0 "$child" 2>/dev/null; do
        if [ -z "$stopped" ] && { [ -n "$stop" ] || [ "$(uptime_s)" -ge "$until" ]; }; then
            [ -n "$stop" ] || echo "run-wizard: $1 ran longer than $deadline s: stopped" >&2
            kill -TERM "$child" 2>/dev/null
            stopped=1
        fi
        sleep 0.2
    done
    wait "$child"
    rc=$?
    child=""
}

echo "output folder: $out"
failed=()
for road in "${roads[@]}"; do
    run_road_guarded "$road"
    if [ -n "$stop" ]; then
        echo "run-wizard: interrupted" >&2
        exit "$stop"
    fi
    [ "$rc" = 0 ] || failed+=("$road (exit code $rc)")
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "run-wizard: FAILED: ${failed[*]}"
    exit 1
fi
