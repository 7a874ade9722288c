# shellcheck shell=bash
# A hard link named ip.bak beside repair.exe leads to another file, of
# 1,000,001 bytes, that the repair has no business writing. A full repair
# on a static adapter leaves that file byte for byte as it was (and the
# link in place), and succeeds.
road_ip_bak_link() {
    # shellcheck disable=SC2034 # read by wizard.sh
    WIZ_STATIC=gateway WIZ_BACKUP_KEPT=1
    wiz_world_up 1 tftp || return 1
    local name=${WIZ_CONNECTIONS[0]} victim="$WINEPREFIX/drive_c/victim.bin"
    head -c 1000001 /dev/urandom >"$victim"
    cp "$victim" "$WIZ_WORK/victim.orig"
    ln "$victim" "$WIZ_APP_DIR/ip.bak" || return 1
    open_wizard || return 1
    press_start
    follow_upload 2-page2-upload eth0
    finish_on_page3
    check "the box received the embedded image byte for byte" wiz_box_has_image
    check "the file ip.bak links to is byte for byte as it was" cmp -s "$WIZ_WORK/victim.orig" "$victim"
    check "ip.bak is still that link" test "$(stat -c %h:%i "$WIZ_APP_DIR/ip.bak")" = "2:$(stat -c %i "$victim")"
    check "REPAIR.log says ip.bak was left as it was" \
        wiz_log_mentions "$WIZ_APP_DIR_WIN\\ip.bak exists, left as it is: netsh interface ip dump not run"
    check_network_road "$name" repaired-static
    if cmp -s "$WIZ_WORK/victim.orig" "$victim" && wiz_box_has_image; then
        road_verdict "the linked file untouched; firmware received intact"
    else
        road_verdict "the linked file was CHANGED, or the firmware NOT received intact"
    fi
}
