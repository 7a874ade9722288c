# shellcheck shell=bash
# No TFTP server on the box: the repair fails, the network is put back.
road_silent_box() {
    wiz_world_up 1 none || return 1
    local name=${WIZ_CONNECTIONS[0]} alert bar1 bar2 t_alert frozen
    open_wizard || return 1
    press_start
    alert=$(wiz_window alert 120)
    t_alert=$(now)
    check "the alert appears" test -n "$alert"
    [ -n "$alert" ] || return 1
    seen "the alert 修复失败"
    fact "alert after 下一步" "$(secs "$T_CLICK" "$t_alert") s"
    sleep 0.5
    gui_shot "$alert" "$(wiz_shot_path 5-failure-alert)"
    gui_shot_screen_of "$WID" "$(wiz_shot_path 5-failure-alert-over-wizard)"
    check "the network was put back before the alert came" before "$(restored_at failed "$name")" "$t_alert"
    wiz_click "$alert" alert.close
    check "关闭 closes the alert" gui_window_gone "$alert" 15
    # The alert covered part of the bar; now the wizard shows it whole.
    sleep 0.5
    gui_shot "$WID" "$WIZ_WORK/frozen1.png"
    sleep 1.5
    frozen=$(wiz_shot_path 5-page2-frozen)
    gui_shot "$WID" "$frozen"
    bar1=$(wiz_bar "$WIZ_WORK/frozen1.png")
    bar2=$(wiz_bar "$frozen")
    fact "frozen bar" "$bar1/600, and $bar2/600 1.5 s later"
    check "the wizard stays on page 2" test "$(wiz_page "$frozen")" = page2 &&
        seen "page 2 (bar frozen at $bar2/600)"
    check "the bar stays where it stopped" test "$bar1" = "$bar2"
    check "the bar stopped at 400 or below" bar_at_most "$bar2" 400
    wiz_click "$WID" wizard.close
    wiz_app_wait "$WIZ_APP_PID" 60
    check "repair.exe exits with code 0 when closed" is_zero "$WIZ_RC"
    check "the box received nothing" test ! -s "$(wiz_box_file)"
    check_network_road "$name" failed
}
