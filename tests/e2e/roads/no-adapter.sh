# shellcheck shell=bash
# The PC has no wired adapter: nothing is changed and the failure page says so.
road_no_adapter() {
    wiz_world_up 0 none || return 1
    open_wizard || return 1
    press_start
    failure_alert 9-no-adapter 修复失败 30 || return 1
    check "the failure page says there is no wired adapter: $(wiz_shown)" wiz_shows "没有找到有线网卡"
    check "no netsh command ran" test ! -s "$WIZ_WORK/state/commands"
    check "the PC's addresses and routes are as before" wiz_network_as_before
    check "no journal was written" not wiz_journal_kept
    wiz_click "$WID" wizard.quit
    wiz_app_wait "$WIZ_APP_PID" 60
    check "关闭 on the failure page ends the program (exit code $WIZ_RC)" is_zero "$WIZ_RC"
}
