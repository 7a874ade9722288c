# shellcheck shell=bash
# The box refuses the upload with a TFTP error: the failure page gives its
# text; the box then takes files, and "重试" repairs.
road_refusing_box() {
    wiz_world_up 1 refuse || return 1
    open_wizard || return 1
    press_start
    failure_alert 7-refused 修复失败 || return 1
    check "the failure page gives the box's error text: $(wiz_shown)" wiz_shows "DEzed拒绝接收固件："
    check "the PC's addresses and routes are as before" wiz_network_as_before
    check "no firewall rule is left" wiz_no_rules_left
    wiz_box_server stop
    wiz_box_server start tftp
    press_retry
    follow_upload 7-retry-page2 eth0
    finish_on_page3
    check "after 重试 the box received the image byte for byte" wiz_box_has_image
    check "the PC's addresses and routes are as before" wiz_network_as_before
    check "no firewall rule is left" wiz_no_rules_left
}
