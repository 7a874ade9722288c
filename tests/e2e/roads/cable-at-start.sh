# shellcheck shell=bash
# The cable is out when 下一步 is pressed: nothing changes, the wizard asks
# for the cable; it is plugged in, the repair goes on by itself and succeeds.
road_cable_at_start() {
    wiz_world_up 1 tftp || return 1
    local name=${WIZ_CONNECTIONS[0]} t_in t_go
    wiz_cable out
    open_wizard || return 1
    press_start
    check "the wizard waits for the cable" \
        wait_until 30 0.2 wiz_log_mentions 'has no link, waiting for the cable'
    sleep 3
    gui_shot "$WID" "$(wiz_shot_path 11-page2-cable)"
    check "page 2 asks for the cable" test "$(wiz_page "$(wiz_shot_path 11-page2-cable)")" = page2 &&
        seen "page 2 asking for the cable"
    check "nothing was changed meanwhile (no netsh command)" test ! -s "$WIZ_WORK/state/commands"
    wiz_cable in
    t_in=$(now)
    if wait_until 30 0.05 test -s "$WIZ_WORK/state/journal"; then
        t_go=$(head -n 1 "$WIZ_WORK/state/journal" | cut -d' ' -f1)
        fact "from link up to continuing (the firewall rule's command)" "$(secs "$t_in" "$t_go" 2) s"
    fi
    follow_upload 11-page2-upload eth0
    finish_on_page3
    check "the box received the image byte for byte" wiz_box_has_image
    check_network_road "$name" repaired
}
