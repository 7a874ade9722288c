# shellcheck shell=bash
# netsh refuses to put the adapter back: the wizard never says 修复完成, the
# journal stays, and the next start puts the network back.
road_restore_refused() {
    wiz_world_up 1 tftp || return 1
    wiz_netsh_refuse 'set address name="[^"]*" dhcp$' 1 "The requested operation requires elevation."
    open_wizard || return 1
    wiz_answers_start
    press_start
    failure_alert 12-restore-refused 修复失败 180 || return 1
    check "the failure page says the network could not be put back: $(wiz_shown)" wiz_shows "网络设置未能恢复"
    check "and how to do it by hand" wiz_shows "自动获得IP地址"
    check "the box received the image byte for byte" wiz_box_has_image
    check "the journal stays" wiz_journal_kept
    check_answers
    wiz_click "$WID" wizard.quit
    wiz_app_wait "$WIZ_APP_PID" 60
    check "关闭 ends the program (exit code $WIZ_RC)" is_zero "$WIZ_RC"
    wiz_netsh_accept_all
    open_wizard || return 1
    check "the next start puts the network back and says so" \
        wait_until 30 0.2 wiz_log_has_line 'wizard notice: 上次修复没有完成，网络设置已恢复原样。'
    gui_shot "$WID" "$(wiz_shot_path 12-page1-notice)"
    check "the PC's addresses and routes are as before" wiz_network_as_before
    check "no firewall rule is left" wiz_no_rules_left
    check "the journal is gone" not wiz_journal_kept
    wiz_click "$WID" wizard.close
    wiz_app_wait "$WIZ_APP_PID" 60
}
