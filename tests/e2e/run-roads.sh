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
#   --two-adapters         two adapters: the picker appears, the second one is chosen
#   --silent-box           no TFTP server on the box: the repair fails, the network is put back
#   --second-instance      a second start shows only the alert "修复程序正在运行"
#   --close-during-upload  the window is closed while the firmware is uploaded
#   --all                  every road, one after the other
#   --scenario NAME        a road by name: repair, two-adapters, silent-box,
#                          second-instance, close-during-upload
#   --out DIR              output folder (default build/wizard-runs/DATE-TIME)
#   --no-build             no package installation, no build: use the programs as built
#   --exe FILE             repair.exe to run (default: the windows build's)
#   --netsh FILE           the netsh stand-in (default: the windows build's)
#   --keep                 keep the scratch folder (its path is printed)
# Exit code: 0 every check passed; 1 a check failed or the run broke;
# 77 it cannot run here (not root, or no network namespaces).
set -uo pipefail

WIZ_ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$WIZ_ROOT" || exit 1

scenarios=()
out=""
build=1
exe=""
netsh=""
keep=0
all_scenarios=(repair two-adapters silent-box second-instance close-during-upload)

usage() { sed -n '2,/^set -uo/p' "$0" | sed '$d; s/^# \{0,1\}//'; }

while [ $# -gt 0 ]; do
    case $1 in
        --two-adapters | --silent-box | --second-instance | --close-during-upload) scenarios+=("${1#--}") ;;
        --all) scenarios+=("${all_scenarios[@]}") ;;
        --scenario)
            [ $# -ge 2 ] || { echo "run-wizard: --scenario needs a name" >&2; exit 1; }
            scenarios+=("$2")
            shift
            ;;
        --out) out=${2:?--out needs a folder}; shift ;;
        --exe) exe=${2:?--exe needs a file}; shift ;;
        --netsh) netsh=${2:?--netsh needs a file}; shift ;;
        --no-build) build=0 ;;
        --keep) keep=1 ;;
        -h | --help) usage; exit 0 ;;
        *) echo "run-wizard: unknown option $1 (see --help)" >&2; exit 1 ;;
    esac
    shift
done
[ ${#scenarios[@]} -gt 0 ] || scenarios=(repair)
for s in "${scenarios[@]}"; do
    case " ${all_scenarios[*]} " in *" $s "*) ;; *) echo "run-wizard: no road named '$s'" >&2; exit 1 ;; esac
done

# shellcheck source=lib/wine-gui.sh
. scripts/lib/wine-gui.sh
# shellcheck source=lib/netns.sh
. scripts/lib/netns.sh
# shellcheck source=lib/wizard.sh
. scripts/lib/wizard.sh

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
    cmake --build --preset windows -j 2 --target repair_exe netsh_standin ||
        { echo "run-wizard: building repair.exe failed" >&2; exit 1; }
fi
WIZ_EXE=$(realpath -e "${exe:-build/windows/app/repair.exe}") || { echo "run-wizard: no repair.exe (build it, or --exe)" >&2; exit 1; }
WIZ_NETSH=$(realpath -e "${netsh:-build/windows/tests/e2e/netsh.exe}") || { echo "run-wizard: no netsh stand-in (build target netsh_standin, or --netsh)" >&2; exit 1; }
for tool in wine wineserver Xvfb xdotool import convert in.tftpd iconv python3 flock; do
    command -v "$tool" >/dev/null || { echo "run-wizard: missing $tool (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
WIZ_TEMPLATE=${WIZARD_PREFIX_TEMPLATE:-$WIZ_ROOT/build/wizard-prefix}
out=${out:-$WIZ_ROOT/build/wizard-runs/$(date +%Y%m%d-%H%M%S)}
mkdir -p "$out" && out=$(realpath "$out")

is_zero() { [ "$1" = 0 ]; }
bar_at_most() { [ -n "$1" ] && awk -v v="$1" -v m="$2" 'BEGIN { exit !(v <= m) }'; }
before() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a != "" && b != "" && a < b) }'; }
# Pages the road has seen, for its summary.
seen() { WIZ_PAGES+=("$*"); }

# The procedure's log lines on connection NAME: a repair that runs to its
# end, or (KIND) one closed during the upload, or one whose upload failed.
expected_full_repair() {  # expected_full_repair NAME [closed|failed]
    cat <<EOF
repair start
start mofify firewall settings
cmd : $(wiz_cmd_add_rule)
end mofify firewall settings
start query network settings
end query network settings
start backup network settings
end backup network settings
start mofify network settings
cmd : $(wiz_cmd_recovery "$1")
wait 5 seconds
end mofify network settings
start upload firmware
uploading firmware to $WIZ_BOX_IP, name $WIZ_FIRMWARE_NAME
try connect 1 time
EOF
    local restore="restore network settings"
    case $2 in
    closed)
        printf '%s\n' "end upload firmware" "closed during the repair: restoring the network settings"
        restore+=" 2"
        ;;
    failed)
        printf '%s\n' "uploading firmware failed" "end upload firmware"
        restore+=" 2"
        ;;
    *) echo "end upload firmware" ;;
    esac
    cat <<EOF
start $restore
start delete firewall settings
cmd : $(wiz_cmd_delete_rule)
end delete firewall settings
cmd : $(wiz_cmd_dhcp "$1")
end $restore
EOF
}

expected_commands() {  # expected_commands CONNECTION
    wiz_cmd_add_rule
    wiz_cmd_recovery "$1"
    wiz_cmd_delete_rule
    wiz_cmd_dhcp "$1"
}

# Checks shared by the roads that change the network: the commands in the
# design's order and texts, each carried out, and the PC as it was before.
check_network_road() {  # check_network_road CONNECTION LOG_KIND
    wiz_procedure_lines >"$WIZ_WORK/procedure.txt"
    wiz_commands >"$WIZ_WORK/commands.txt"
    check "netsh ran the four commands, in order, with the design's texts" \
        same_text "$WIZ_WORK/commands.txt" < <(expected_commands "$1")
    check "every netsh command took effect (exit code 0)" wiz_commands_succeeded
    check "REPAIR.log holds the procedure's lines in order" same_text "$WIZ_WORK/procedure.txt" < <(expected_full_repair "$1" "${2:-}")
    check "the PC's addresses and routes are as before" wiz_network_as_before
    check "no firewall rule is left" wiz_no_rules_left
}

# Starts the wizard and waits for page 1; sets WID and T_START.
open_wizard() {
    T_START=$(wiz_now)
    wiz_app_start
    WID=$(wiz_window "$WIZ_APP_TITLE" 580x374 60)
    check "the wizard's window opens" test -n "$WID"
    [ -n "$WID" ] || return 1
    check "page 1 is shown" wiz_wait_page "$WID" page1 "$(wiz_shot_path 1-page1)" 30 && seen "page 1"
    fact "page 1 after start" "$(wiz_secs "$T_START" "$(wiz_now)") s"
}

press_start() {
    wiz_click "$WID" "${WIZ_START_BUTTON[@]}"
    T_CLICK=$(wiz_now)
}

# Waits for the upload to begin and end; figures and a shot of page 2.
follow_upload() {  # follow_upload SHOT_NAME CABLE_INTERFACE
    local size
    size=$(stat -c %s "$(wiz_embedded_image)")
    check "the box receives the write request" wiz_wait_box any 90 || return 1
    netns_ipv4_state "$WIZ_PC" >"$WIZ_WORK/pc-during.txt"
    # A moment into the upload: the bar has climbed to the step's ceiling.
    wiz_wait_box $((size / 3)) 60
    wiz_wait_page "$WID" page2 "$(wiz_shot_path "$1")" 5
    check "page 2 is shown during the upload" test "$(wiz_page "$(wiz_shot_path "$1")")" = page2 &&
        seen "page 2 (bar at $(wiz_bar "$(wiz_shot_path "$1")")/600 during the upload)"
    check "the recovery address $WIZ_RECOVERY_IP/24 is on the box's cable during the upload" \
        grep -q "^addr $2 $WIZ_RECOVERY_IP/24" "$WIZ_WORK/pc-during.txt"
    if wiz_wait_box "$size" 120; then
        fact "upload" "$(wiz_thousands "$size") bytes in $(wiz_upload_seconds "$size") s (seen from the box)"
    fi
}

finish_on_page3() {  # finish_on_page3: page 3, "确定", exit
    check "page 3 is shown" wiz_wait_page "$WID" page3 "$(wiz_shot_path 3-page3)" 90 || return 1
    seen "page 3"
    local t_page3 t_done
    t_page3=$(wiz_now)
    fact "page 3 after start" "$(wiz_secs "$T_START" "$t_page3") s ($(wiz_secs "$T_CLICK" "$t_page3") s after 下一步)"
    wiz_click "$WID" "${WIZ_DONE_BUTTON[@]}"
    t_done=$(wiz_now)
    wiz_app_wait "$WIZ_APP_PID" 60
    check "repair.exe exits with code 0 after 确定" is_zero "$WIZ_RC"
    fact "exit after 确定" "$(wiz_secs "$t_done" "$(wiz_now)") s (code $WIZ_RC)"
}

road_repair() {
    wiz_world_up 1 tftp || return 1
    local name=${WIZ_CONNECTIONS[0]}
    open_wizard || return 1
    press_start
    follow_upload 2-page2-upload eth0
    finish_on_page3
    check "the box received the embedded image byte for byte" wiz_box_has_image
    check_network_road "$name"
    if wiz_box_has_image; then
        WIZ_VERDICT="firmware received intact"
    else
        WIZ_VERDICT="firmware NOT received intact"
    fi
    WIZ_HINT="(the picker and the failure alert: --two-adapters, --silent-box, or --all)"
}

road_two_adapters() {
    wiz_world_up 2 tftp || return 1
    local second=${WIZ_CONNECTIONS[1]} picker
    open_wizard || return 1
    press_start
    picker=$(wiz_window "$WIZ_APP_TITLE" 400x180 60)
    check "the adapter picker appears" test -n "$picker"
    [ -n "$picker" ] || return 1
    seen "the adapter picker"
    sleep 0.5
    gui_shot "$picker" "$(wiz_shot_path 4-picker)"
    check "the wizard stays behind the picker" test "$(wiz_count_windows "$WIZ_APP_TITLE")" = 2
    # The pointer comes from the wizard: the picker must take mouse input.
    local entry
    read -r -a entry < <(wiz_picker_entry 1)
    xdotool mousemove --window "$picker" "${entry[@]}"
    check "the second entry lights up under the pointer" wiz_wait_entry_hot "$picker" 1 10
    cp "$WIZ_WORK/picker-hover.png" "$(wiz_shot_path 4-picker-hover)"
    wiz_shot_screen_of "$WID" "$(wiz_shot_path 4-picker-over-wizard)"
    wiz_click "$picker" "${entry[@]}"
    check "a click on the second entry closes the picker" gui_window_gone "$picker" 15
    follow_upload 2-page2-upload eth1
    finish_on_page3
    check "the box received the embedded image byte for byte" wiz_box_has_image
    check_network_road "$second"
}

road_silent_box() {
    wiz_world_up 1 none || return 1
    local name=${WIZ_CONNECTIONS[0]} alert bar1 bar2 t_alert
    open_wizard || return 1
    press_start
    alert=$(wiz_window "$WIZ_ALERT_TITLE" 240x210 120)
    t_alert=$(wiz_now)
    check "the alert appears" test -n "$alert"
    [ -n "$alert" ] || return 1
    seen "the alert 修复失败"
    fact "alert after 下一步" "$(wiz_secs "$T_CLICK" "$t_alert") s"
    sleep 0.5
    gui_shot "$alert" "$(wiz_shot_path 5-failure-alert)"
    wiz_shot_screen_of "$WID" "$(wiz_shot_path 5-failure-alert-over-wizard)"
    check "the network was put back before the alert came" before "$(wiz_command_time "$(wiz_cmd_dhcp "$name")")" "$t_alert"
    wiz_click "$alert" "${WIZ_ALERT_CLOSE[@]}"
    check "关闭 closes the alert" gui_window_gone "$alert" 15
    # The alert covered part of the bar; now the wizard shows it whole.
    sleep 0.5
    gui_shot "$WID" "$WIZ_WORK/frozen1.png"
    sleep 1.5
    gui_shot "$WID" "$(wiz_shot_path 5-page2-frozen)"
    bar1=$(wiz_bar "$WIZ_WORK/frozen1.png")
    bar2=$(wiz_bar "$(wiz_shot_path 5-page2-frozen)")
    fact "frozen bar" "$bar1/600, and $bar2/600 1.5 s later"
    check "the wizard stays on page 2" test "$(wiz_page "$(wiz_shot_path 5-page2-frozen)")" = page2 &&
        seen "page 2 (bar frozen at $bar2/600)"
    check "the bar stays where it stopped" test "$bar1" = "$bar2"
    check "the bar stopped at 400 or below" bar_at_most "$bar2" 400
    wiz_click "$WID" "${WIZ_CLOSE_BUTTON[@]}"
    wiz_app_wait "$WIZ_APP_PID" 60
    check "repair.exe exits with code 0 when closed" is_zero "$WIZ_RC"
    check "the box received nothing" test ! -s "$(wiz_box_file)"
    check_network_road "$name" failed
}

road_second_instance() {
    wiz_world_up 1 tftp || return 1
    local first second alert t0
    open_wizard || return 1
    first=$WIZ_APP_PID
    t0=$(wiz_now)
    wiz_app_start second
    second=$WIZ_APP_PID
    alert=$(wiz_window "$WIZ_ALERT_TITLE" 240x210 60)
    check "the second copy shows the alert" test -n "$alert"
    [ -n "$alert" ] || return 1
    seen "the alert 修复程序正在运行"
    fact "alert after the second start" "$(wiz_secs "$t0" "$(wiz_now)") s"
    sleep 0.5
    gui_shot "$alert" "$(wiz_shot_path 6-second-instance-alert)"
    check "the second copy opens no wizard" test "$(wiz_count_windows "$WIZ_APP_TITLE")" = 1
    wiz_click "$alert" "${WIZ_ALERT_CLOSE[@]}"
    wiz_app_wait "$second" 30
    check "the second copy exits with code 0 after 关闭" is_zero "$WIZ_RC"
    check "\"repair start\" is logged once" test "$(wiz_procedure_lines | grep -cx 'repair start')" = 1
    check "the first copy still shows page 1" wiz_wait_page "$WID" page1 "$WIZ_WORK/first-again.png" 5
    wiz_click "$WID" "${WIZ_CLOSE_BUTTON[@]}"
    wiz_app_wait "$first" 30
    check "the first copy exits with code 0 when closed" is_zero "$WIZ_RC"
    check "no netsh command ran" test ! -s "$WIZ_WORK/state/commands"
    check "the PC's addresses and routes are as before" wiz_network_as_before
}

road_close_during_upload() {
    # A box slow to acknowledge: the upload outlasts Wine's two seconds of
    # withdrawing a window when no window manager runs.
    wiz_world_up 1 slow || return 1
    local name=${WIZ_CONNECTIONS[0]} size t_click t_hidden t_exit at_click at_hide
    size=$(stat -c %s "$(wiz_embedded_image)")
    open_wizard || return 1
    press_start
    check "the box receives the write request" wiz_wait_box any 90 || return 1
    gui_shot "$WID" "$(wiz_shot_path 2-page2-upload)" && seen "page 2"
    at_click=$(wiz_box_size)
    wiz_click "$WID" "${WIZ_CLOSE_BUTTON[@]}"
    t_click=$(wiz_now)
    check "the window hides" gui_window_gone "$WID" 10
    t_hidden=$(wiz_now)
    at_hide=$(wiz_box_size)
    fact "hidden after the close" "$(wiz_secs "$t_click" "$t_hidden") s; box had $at_click bytes at the click, $at_hide when hidden, of $size"
    check "the window hid while the upload was still running" test "$at_hide" -lt "$size"
    wiz_app_wait "$WIZ_APP_PID" 90
    t_exit=$(wiz_now)
    fact "process ended after the close" "$(wiz_secs "$t_click" "$t_exit") s (code $WIZ_RC)"
    fact "upload (slowed box)" "$(wiz_thousands "$size") bytes in $(wiz_upload_seconds "$size") s (seen from the box)"
    check "repair.exe exits with code 0" is_zero "$WIZ_RC"
    check "the running upload was allowed to finish: the box has the image byte for byte" wiz_box_has_image
    check "the network was put back before the process ended" before "$(wiz_command_time "$(wiz_cmd_dhcp "$name")")" "$t_exit"
    check_network_road "$name" closed
}

# What a road saw; runs at its clean-up, so also for a road that was
# stopped.
road_summary() {  # road_summary NAME START
    local result=PASSED f
    [ "$WIZ_FAILED" = 0 ] || result=FAILED
    [ -n "$ROAD_DONE" ] || result="STOPPED before its end, $result so far"
    # The whole screen as the failure left it, for the reader of a CI log.
    [ "$result" = PASSED ] || gui_shot_root "$out/$1-screen-at-end.png"
    echo "-- $1: $result ($WIZ_PASSED checks passed, $WIZ_FAILED failed) in $(wiz_secs "$2" "$(wiz_now)") s"
    [ ${#WIZ_PAGES[@]} = 0 ] || echo "   pages seen: $(printf '%s, ' "${WIZ_PAGES[@]}" | sed 's/, $//')"
    for f in "${WIZ_FACTS[@]}"; do echo "   $f"; done
    if [ -s "$WIZ_WORK/state/commands" ]; then
        echo "   netsh commands:"
        sed 's/^/     /' "$WIZ_WORK/state/commands"
    fi
    echo "   log: $out/$1-REPAIR.log (a UTF-8 copy of the program's GBK log)"
    echo "   screenshots in $out: $(cd "$out" && ls "$1"-*.png 2>/dev/null | tr '\n' ' ')"
    [ -z "$WIZ_HINT" ] || echo "   $WIZ_HINT"
    [ -z "$WIZ_VERDICT" ] || echo "$WIZ_VERDICT"
}

run_road() {  # run_road NAME (in a subshell: its own traps and clean-up)
    local road=$1 work
    work=$(mktemp -d "${TMPDIR:-/tmp}/wizard-run.XXXXXX")
    gui_init "$work/gui"
    if [ "$keep" = 1 ]; then
        gui_on_cleanup "echo 'scratch folder kept: $work' >&2"
    else
        gui_on_cleanup "rm -rf '$work'"
    fi
    gui_on_cleanup wiz_world_down
    gui_on_cleanup wiz_keep_records
    gui_on_cleanup road_summary "$road" "$(wiz_now)"
    wiz_init "$work" "$out" "$road"
    WIZ_VERDICT=""
    WIZ_HINT=""
    WIZ_PAGES=()
    ROAD_DONE=""
    echo "== $road"
    if ! wiz_prefix "$WIZ_TEMPLATE"; then
        check "the Wine prefix is ready" false
    elif ! "road_${road//-/_}"; then
        check "the road ran to its end" false
    fi
    ROAD_DONE=1
    [ "$WIZ_FAILED" = 0 ]
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
for road in "${scenarios[@]}"; do
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
