# shellcheck shell=bash
# The cable is pulled during the upload and stays out: the failure page says
# the link went at how many percent; the cable back in, "重试" repairs.
road_cable_cut() {
    wiz_world_up 1 slow || return 1
    local size t_cut
    size=$(stat -c %s "$(wiz_embedded_image)")
    open_wizard || return 1
    wiz_answers_start
    press_start
    check "the box receives the write request" wiz_wait_box any 90 || return 1
    wiz_wait_box $((size / 4)) 60
    wiz_cable out
    t_cut=$(now)
    fact "cable pulled at" "$(wiz_box_size) of $(wiz_thousands "$size") bytes"
    failure_alert 8-cable-cut 修复失败 || return 1
    fact "failure page after the cut" "$(secs "$t_cut" "$T_ALERT") s"
    check "the failure page says the link went during the upload: $(wiz_shown)" wiz_shows "传输到"
    check "no firewall rule is left" wiz_no_rules_left
    wiz_cable in
    check "the PC's addresses and routes are as before" wiz_network_as_before
    wiz_box_slow off
    # The first upload's part goes: the next one is followed from its start.
    rm -f "$(wiz_box_file)"
    press_retry
    follow_upload 8-retry-page2 eth0
    finish_on_page3
    check "after 重试 the box received the image byte for byte" wiz_box_has_image
    check "the PC's addresses and routes are as before" wiz_network_as_before
    check "no firewall rule is left" wiz_no_rules_left
    check_answers
}
