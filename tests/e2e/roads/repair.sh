# shellcheck shell=bash
# The full repair: one adapter, the box answers.
road_repair() {
    wiz_world_up 1 tftp || return 1
    local name=${WIZ_CONNECTIONS[0]}
    open_wizard || return 1
    press_start
    follow_upload 2-page2-upload eth0
    finish_on_page3
    check "the box received the embedded image byte for byte" wiz_box_has_image
    check_network_road "$name" repaired
    check "REPAIR.log names the version and the embedded image's size and SHA-256" wiz_log_names_identity
    if wiz_box_has_image; then
        road_verdict "firmware received intact"
    else
        road_verdict "firmware NOT received intact"
    fi
    road_hint "(the picker and the failure alert: --two-adapters, --silent-box, or --all)"
}
