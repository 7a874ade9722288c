# shellcheck shell=bash
# The PC's adapter configured statically (address, mask, gateway), and
# repair.exe saved in a folder whose name a shell would expand and split
# (C:\Downloads\a%OS%&b), with the prefix's cmd.exe leaving a marker if
# anything starts it. The full repair: netsh's dump lands in ip.bak in that
# very folder, no cmd.exe runs, the recovery address is set, the box
# receives the image, and the adapter's own static settings are back on the
# PC's interface at the end.
# The adapter's own settings on the PC's interface at the end, as Linux has
# them (written by check_network_road).
static_settings_back() {
    grep -q "^addr eth0 10.20.30.40/24" "$WIZ_WORK/pc-after.txt" &&
        grep -qx "route default via 10.20.30.1 dev eth0 *" "$WIZ_WORK/pc-after.txt"
}

road_static_adapter() {
    # shellcheck disable=SC2034 # read by wizard.sh
    WIZ_STATIC=gateway WIZ_APP_DIR_WIN='C:\Downloads\a%OS%&b' WIZ_DLL_OVERRIDES=("cmd.exe=native")
    wiz_world_up 1 tftp || return 1
    wiz_shell_marked || return 1
    local name=${WIZ_CONNECTIONS[0]}
    open_wizard || return 1
    press_start
    follow_upload 2-page2-upload eth0
    finish_on_page3
    check "the box received the embedded image byte for byte" wiz_box_has_image
    check "ip.bak beside repair.exe holds netsh's dump of the static settings" grep -qxF \
        "set address name=\"$name\" source=static addr=10.20.30.40 mask=255.255.255.0 gateway=10.20.30.1 gwmetric=0" \
        <(tr -d '\r' <"$WIZ_APP_DIR/ip.bak" 2>/dev/null)
    check "no cmd.exe was started" test -z "$(wiz_markers)"
    check "the journal is gone" not wiz_journal_kept
    check_network_road "$name" repaired-static
    check "eth0 holds 10.20.30.40/24 and the default route via 10.20.30.1 again" static_settings_back
    if wiz_box_has_image && [ -s "$WIZ_APP_DIR/ip.bak" ]; then
        road_verdict "static adapter repaired and put back; ip.bak written without a shell"
    else
        road_verdict "firmware NOT received intact, or no ip.bak"
    fi
}
