# shellcheck shell=bash
# Steps the roads share: opening the wizard, pressing its buttons, following
# the upload, the checks of a road that changed the network, and the road's
# summary. Source after wizard.sh. A road notes what it saw with `seen`
# (pages, windows), and may give the summary a last line (road_verdict) and
# a hint (road_hint).

WIZ_RECOVERY_IP=192.168.1.111
ROAD_PAGES=()
ROAD_VERDICT=""
ROAD_HINT=""
ROAD_DONE=""

seen() { ROAD_PAGES+=("$*"); }
road_verdict() { ROAD_VERDICT=$1; }
road_hint() { ROAD_HINT=$1; }
road_done() { ROAD_DONE=1; }
is_zero() { [ "$1" = 0 ]; }
not() { ! "$@"; }
bar_at_most() { [ -n "$1" ] && awk -v v="$1" -v m="$2" 'BEGIN { exit !(v <= m) }'; }
before() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a != "" && b != "" && a < b) }'; }

# Starts the wizard and waits for page 1; sets WID and T_START.
open_wizard() {
    T_START=$(now)
    wiz_app_start
    WID=$(wiz_window wizard 60)
    check "the wizard's window opens" test -n "$WID"
    [ -n "$WID" ] || return 1
    check "page 1 is shown" wiz_wait_page "$WID" page1 "$(wiz_shot_path 1-page1)" 30 && seen "page 1"
    fact "page 1 after start" "$(since "$T_START") s"
}

press_start() {  # "下一步"; sets T_CLICK
    wiz_click "$WID" wizard.start
    T_CLICK=$(now)
}

press_retry() {  # "重试" on the failure page; sets T_CLICK
    wiz_click "$WID" wizard.retry
    T_CLICK=$(now)
}

# Waits for the upload to begin and end; figures and a shot of page 2.
follow_upload() {  # follow_upload SHOT_NAME CABLE_INTERFACE
    local size shot
    size=$(stat -c %s "$(wiz_embedded_image)")
    shot=$(wiz_shot_path "$1")
    check "the box receives the write request" wiz_wait_box any 90 || return 1
    netns_ipv4_state "$WIZ_PC" >"$WIZ_WORK/pc-during.txt"
    # A moment into the upload: the bar has climbed to the step's ceiling.
    wiz_wait_box $((size / 3)) 60
    wiz_wait_page "$WID" page2 "$shot" 5
    check "page 2 is shown during the upload" test "$(wiz_page "$shot")" = page2 &&
        seen "page 2 (bar at $(wiz_bar "$shot")/600 during the upload)"
    check "the recovery address $WIZ_RECOVERY_IP/24 is on the box's cable during the upload" \
        grep -q "^addr $2 $WIZ_RECOVERY_IP/24" "$WIZ_WORK/pc-during.txt"
    if wiz_wait_box "$size" 120; then
        fact "upload" "$(wiz_thousands "$size") bytes in $(wiz_upload_seconds "$size") s (seen from the box)"
    fi
}

finish_on_page3() {  # page 3, "确定", exit
    check "page 3 is shown" wiz_wait_page "$WID" page3 "$(wiz_shot_path 3-page3)" 90 || return 1
    seen "page 3"
    local t_page3 t_done
    t_page3=$(now)
    fact "page 3 after start" "$(secs "$T_START" "$t_page3") s ($(secs "$T_CLICK" "$t_page3") s after 下一步)"
    wiz_click "$WID" wizard.done
    t_done=$(now)
    wiz_app_wait "$WIZ_APP_PID" 60
    check "repair.exe exits with code 0 after 确定" is_zero "$WIZ_RC"
    fact "exit after 确定" "$(since "$t_done") s (code $WIZ_RC)"
}

# The alert of a repair that ended without success, shot over the wizard and
# closed with its button; then the failure page. Sets T_ALERT.
failure_alert() {  # failure_alert SHOT_PREFIX MESSAGE [SECONDS]
    local alert face
    alert=$(wiz_window alert "${3:-120}")
    T_ALERT=$(now)
    check "the alert appears" test -n "$alert"
    [ -n "$alert" ] || return 1
    seen "the alert $2"
    fact "alert after 下一步" "$(secs "$T_CLICK" "$T_ALERT") s"
    sleep 0.5
    gui_shot_screen_of "$WID" "$(wiz_shot_path "$1-alert-over-wizard")"
    wiz_click "$alert" alert.close
    check "关闭 closes the alert" gui_window_gone "$alert" 15
    face=$(wiz_shot_path "$1-page")
    check "the failure page shows" wiz_wait_page "$WID" failed "$face" 10 && seen "the failure page"
}

# What the failure page says: the window logs "wizard shows: HEADING CAUSE
# NEXT STEP" when it shows it.
wiz_shown() { wiz_log_messages | sed -n 's/^wizard shows: //p' | tail -n 1; }
wiz_shows() { wiz_shown | grep -qF -- "$1"; }  # wiz_shows TEXT

# The window's answers to a message sent with a 2 s time-out, all along.
check_answers() {
    wiz_answers_stop
    fact "answers" "$(wiz_answers_figures)"
    check "the window answered every message within 2 s, also during the clean-up" wiz_answers_all_answered
}

# Checks shared by the roads that change the network: the commands in the
# design's order and texts, each carried out, the procedure's log as
# expected/ENDING.txt has it (unless the road's program writes none), and
# the PC as it was before.
check_network_road() {  # check_network_road CONNECTION ENDING [no-log]
    wiz_commands >"$WIZ_WORK/commands.txt"
    check "netsh ran the design's commands, in order, with their texts" \
        same_text "$WIZ_WORK/commands.txt" < <(wiz_expected_commands "$2" "$1")
    check "every netsh command took effect (exit code 0)" wiz_commands_succeeded
    if [ "${3:-}" != no-log ]; then
        wiz_procedure_lines >"$WIZ_WORK/procedure.txt"
        check "REPAIR.log holds the procedure's lines in order" \
            same_interleaving "$WIZ_WORK/procedure.txt" < <(wiz_expected_log "$2" "$1")
    fi
    check "the PC's addresses and routes are as before" wiz_network_as_before
    check "no firewall rule is left" wiz_no_rules_left
}

# The time the broker put connection NAME back (the last command of ENDING).
restored_at() {  # restored_at ENDING NAME
    wiz_command_time "$(wiz_expected_commands "$1" "$2" | tail -n 1)"
}

# What a road saw; runs at its clean-up, so also for a road that was
# stopped.
road_summary() {  # road_summary NAME START OUT
    local out=$3
    local result=PASSED
    harness_missing
    [ "$HARNESS_FAILED" = 0 ] || result=FAILED
    [ -n "$ROAD_DONE" ] || result="STOPPED before its end, $result so far"
    # The whole screen as the failure left it, for the reader of a CI log.
    [ "$result" = PASSED ] || gui_shot_root "$out/$1-screen-at-end.png"
    echo "-- $1: $result ($HARNESS_PASSED checks passed, $HARNESS_FAILED failed) in $(since "$2") s"
    [ ${#ROAD_PAGES[@]} = 0 ] || echo "   pages seen: $(printf '%s, ' "${ROAD_PAGES[@]}" | sed 's/, $//')"
    [ ${#HARNESS_FACTS[@]} = 0 ] || printf '   %s\n' "${HARNESS_FACTS[@]}"
    if [ -s "$WIZ_WORK/state/commands" ]; then
        echo "   netsh commands:"
        sed 's/^/     /' "$WIZ_WORK/state/commands"
    fi
    echo "   log: $out/$1-REPAIR.log (a UTF-8 copy of the program's GBK log)"
    echo "   screenshots in $out: $(find "$out" -maxdepth 1 -name "$1-*.png" -printf '%f\n' | sort | tr '\n' ' ')"
    [ -z "$ROAD_HINT" ] || echo "   $ROAD_HINT"
    [ -z "$ROAD_VERDICT" ] || echo "$ROAD_VERDICT"
}
