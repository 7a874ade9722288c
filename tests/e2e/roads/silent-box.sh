# shellcheck shell=bash
# No TFTP server on the box: the repair fails, the network is put back, the
# failure page says why; the box gets its server and "重试" repairs.
road_silent_box() {
    wiz_world_up 1 none || return 1
    local name=${WIZ_CONNECTIONS[0]}
    open_wizard || return 1
    wiz_answers_start
    # A slow clean-up: the window must go on answering meanwhile.
    wiz_netsh_slow 'delete rule' 3
    press_start
    failure_alert 5-failure 修复失败 || return 1
    check "the network was put back before the alert came" before "$(restored_at failed "$name")" "$T_ALERT"
    check "the failure page says the box did not answer: $(wiz_shown)" wiz_shows "DEzed没有响应。"
    check "the box received nothing" test ! -s "$(wiz_box_file)"
    check_network_road "$name" failed
    # The fault removed: 重试 runs the whole repair again.
    wiz_box_server start tftp
    press_retry
    follow_upload 5-retry-page2 eth0
    finish_on_page3
    check "after 重试 the box received the image byte for byte" wiz_box_has_image
    check "the PC's addresses and routes are as before" wiz_network_as_before
    check "no firewall rule is left" wiz_no_rules_left
    check_answers
}
