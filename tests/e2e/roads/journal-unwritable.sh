# shellcheck shell=bash
# The program's registry key cannot be made its own: another hand made it
# (reg add) with a subkey in it, so it can neither be used nor removed.
# With no place to record its changes the program makes none: no netsh
# command, no firewall rule, no recovery address, and the failure page says
# why. With the subkey gone, 重试 repairs.
road_journal_unwritable() {
    wiz_world_up 1 tftp || return 1
    local name=${WIZ_CONNECTIONS[0]}
    netns_wine reg add "$WIZ_JOURNAL_KEY\\held" /f >/dev/null 2>&1
    open_wizard || return 1
    press_start
    failure_alert 14-journal-unwritable 修复失败 60 || return 1
    check "the failure page says nothing was changed and why: $(wiz_shown)" \
        wiz_shows "无法保存修复记录，为安全起见修复没有进行，电脑的设置保持原样。"
    check "the failure page's next step: run as administrator, restart" wiz_shows "以管理员身份运行"
    check "the log says the repair stopped before the firewall rule" \
        wiz_log_has_line "step 0 failed: journal not written"
    check "no netsh command ran" test ! -s "$WIZ_WORK/state/commands"
    check "no firewall rule was added" wiz_no_rules_left
    check "the PC's addresses and routes are as before" wiz_network_as_before
    check "the box received nothing" test ! -e "$(wiz_box_file)"
    # The key can be made the program's own again: 重试 repairs.
    netns_wine reg delete "$WIZ_JOURNAL_KEY\\held" /f >/dev/null 2>&1
    press_retry
    follow_upload 14-retry-page2 eth0
    finish_on_page3
    check "after 重试 the box received the image byte for byte" wiz_box_has_image
    check_network_road "$name" repaired no-log
    check "no journal is left" not wiz_journal_kept
}
