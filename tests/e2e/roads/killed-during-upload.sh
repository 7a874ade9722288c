# shellcheck shell=bash
# repair.exe dies during the upload (killed as a crash ends it): the PC is
# left on the recovery address with the rule; the next start puts both back
# and says so, and a repair then succeeds.
road_killed_during_upload() {
    wiz_world_up 1 slow || return 1
    local size t_start
    size=$(stat -c %s "$(wiz_embedded_image)")
    open_wizard || return 1
    press_start
    check "the box receives the write request" wiz_wait_box any 90 || return 1
    wiz_wait_box $((size / 4)) 60
    check "repair.exe is killed during the upload" wiz_app_kill "$WIZ_APP_PID"
    netns_ipv4_state "$WIZ_PC" >"$WIZ_WORK/pc-killed.txt"
    check "the PC is left on $WIZ_RECOVERY_IP" grep -q "^addr eth0 $WIZ_RECOVERY_IP/24" "$WIZ_WORK/pc-killed.txt"
    check "the firewall rule is left" test -s "$WIZ_WORK/state/rules"
    wiz_journal >"$WIZ_OUT/$WIZ_TAG-journal-left.txt"
    check "the journal records it" test -s "$WIZ_OUT/$WIZ_TAG-journal-left.txt"
    # A fresh box for the next repair.
    wiz_box_server stop
    wiz_box_slow off
    rm -f "$(wiz_box_file)"
    wiz_box_server start tftp
    t_start=$(now)
    open_wizard || return 1
    check "the next start says the last repair did not finish and the settings were put back" \
        wait_until 30 0.2 wiz_log_has_line 'wizard notice: 上次修复没有完成，网络设置已恢复原样。'
    fact "put back after the start" "$(since "$t_start") s"
    gui_shot "$WID" "$(wiz_shot_path 10-page1-notice)"
    check "the PC's addresses and routes are as they were before the first run" wiz_network_as_before
    check "no firewall rule is left" wiz_no_rules_left
    check "the journal is gone" not wiz_journal_kept
    press_start
    follow_upload 10-page2-upload eth0
    finish_on_page3
    check "then a repair succeeds: the box has the image byte for byte" wiz_box_has_image
    check "the PC's addresses and routes are as before" wiz_network_as_before
    check "no firewall rule is left" wiz_no_rules_left
}
