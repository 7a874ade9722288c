# shellcheck shell=bash
# A second start shows only the alert "修复程序正在运行".
road_second_instance() {
    wiz_world_up 1 tftp || return 1
    local first second alert t0
    open_wizard || return 1
    first=$WIZ_APP_PID
    t0=$(now)
    wiz_app_start second
    second=$WIZ_APP_PID
    alert=$(wiz_window alert 60)
    check "the second copy shows the alert" test -n "$alert"
    [ -n "$alert" ] || return 1
    seen "the alert 修复程序正在运行"
    fact "alert after the second start" "$(since "$t0") s"
    sleep 0.5
    gui_shot "$alert" "$(wiz_shot_path 6-second-instance-alert)"
    check "the second copy opens no wizard" test "$(wiz_count_windows)" = 1
    wiz_click "$alert" alert.close
    wiz_app_wait "$second" 30
    check "the second copy exits with code 0 after 关闭" is_zero "$WIZ_RC"
    check "\"repair start\" is logged once" test "$(wiz_procedure_lines | grep -cx 'repair start')" = 1
    check "the first copy still shows page 1" wiz_wait_page "$WID" page1 "$WIZ_WORK/first-again.png" 5
    wiz_click "$WID" wizard.close
    wiz_app_wait "$first" 30
    check "the first copy exits with code 0 when closed" is_zero "$WIZ_RC"
    check "no netsh command ran" test ! -s "$WIZ_WORK/state/commands"
    check "the PC's addresses and routes are as before" wiz_network_as_before
}
