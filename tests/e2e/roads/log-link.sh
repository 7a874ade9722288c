# shellcheck shell=bash
# REPAIR.log beside repair.exe is a second name (a hard link) of another
# file past the log's size limit, as anyone who can write to the program's
# folder could leave it. The program writes no log and says so on page 1,
# the other file keeps every byte, and the repair goes on as ever.
road_log_link() {
    wiz_world_up 1 tftp || return 1
    local name=${WIZ_CONNECTIONS[0]} victim="$WINEPREFIX/drive_c/victim.bin"
    head -c 1000001 /dev/urandom >"$victim" && cp "$victim" "$WIZ_WORK/victim-before.bin" || return 1
    ln "$victim" "$WIZ_APP_DIR/REPAIR.log" || return 1
    open_wizard || return 1
    check "page 1 says that no log is written" \
        python3 -S "$WIZ_HERE/skin.py" text "$(wiz_shot_path 1-page1)" repair_log_notice
    press_start
    follow_upload 2-page2-upload eth0
    finish_on_page3
    check "the box received the embedded image byte for byte" wiz_box_has_image
    check "the other file is byte for byte as it was" cmp -s "$WIZ_WORK/victim-before.bin" "$victim"
    check "REPAIR.log is still that file's second name" test "$WIZ_APP_DIR/REPAIR.log" -ef "$victim"
    check_network_road "$name" repaired no-log
    if wiz_box_has_image && cmp -s "$WIZ_WORK/victim-before.bin" "$victim"; then
        road_verdict "the linked file is unchanged; firmware received intact"
    else
        road_verdict "the linked file changed, or the firmware was NOT received intact"
    fi
}
