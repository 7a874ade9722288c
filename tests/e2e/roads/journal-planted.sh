# shellcheck shell=bash
# A journal put where the program keeps its own by another hand, before the
# first start (reg add: the key then has the registry's default access
# list, not the program's), naming the PC's adapter, the program's firewall
# rule and a gateway of its maker's choice. The program does not act on it
# (no netsh command at start), says so on page 1, keeps what it said in the
# log, and the repair succeeds.
road_journal_planted() {
    wiz_world_up 1 tftp || return 1
    local name=${WIZ_CONNECTIONS[0]} index guid acted=""
    index=$(ip -n "$WIZ_PC" -o link show dev eth0 | cut -d: -f1)
    guid=$(printf '{%08X-0000-0000-0000-4E6574446576}' "$index")
    wiz_journal_plant "DEzed repair journal\r\nformat=1\r\nfirewall-rule=VA Rovade Varoza\r\nadapter=$guid\r\nmac=02-0D-E2-00-01-01\r\nconnection=$name\r\nbefore=static 10.20.30.40 255.255.255.0 10.20.30.99\r\nend\r\n"
    check "the planted journal is in the program's key" wiz_journal_kept || return 1
    open_wizard || return 1
    check "page 1 says a record the program did not make was ignored" \
        wait_until 30 0.2 wiz_log_has_line 'wizard notice: 发现一份不是本程序留下的修复记录，已忽略，没有据此改动电脑的设置。'
    sleep 0.3
    gui_shot "$WID" "$(wiz_shot_path 13-page1-notice)"
    [ ! -s "$WIZ_WORK/state/commands" ] || acted=1
    check "nothing was done by it: no netsh command at start" test -z "$acted"
    check "the PC's addresses and routes are as before" wiz_network_as_before
    check "the log keeps what it said" wiz_log_mentions 'held, not acted on: DEzed repair journal\r\nformat=1\r\n'
    check "it is gone from the program's key" not wiz_journal_kept
    press_start
    follow_upload 13-page2-upload eth0
    finish_on_page3
    check "the box received the embedded image byte for byte" wiz_box_has_image
    check_network_road "$name" repaired
    if wiz_box_has_image && [ -z "$acted" ]; then
        road_verdict "the planted journal was not acted on; firmware received intact"
    else
        road_verdict "the planted journal was acted on, or the firmware was NOT received intact"
    fi
}
