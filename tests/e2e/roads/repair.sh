# shellcheck shell=bash
# The full repair: one adapter, the box answers.
road_repair() {
    wiz_world_up 1 tftp || return 1
    local name=${WIZ_CONNECTIONS[0]}
    open_wizard || return 1
    wiz_answers_start
    press_start
    follow_upload 2-page2-upload eth0
    finish_on_page3
    local set_at request_at updates
    # From the recovery address in place (the broker set it before netsh
    # ended) to the write request at the box.
    set_at=$(wiz_command_time "static $WIZ_RECOVERY_IP 255.255.255.0")
    request_at=$(awk '$2 >= 0 { print $1; exit }' "$WIZ_WORK/box-timeline" 2>/dev/null)
    [ -z "$set_at" ] || [ -z "$request_at" ] ||
        fact "from the recovery address to the write request" "$(secs "$set_at" "$request_at" 2) s"
    updates=$(wiz_log_messages | sed -n 's/^upload progress: \([0-9]*\) updates to the window in \([0-9]*\) ms$/\1 \2/p')
    [ -z "$updates" ] || fact "progress updates to the window" \
        "$(awk -v u="${updates% *}" -v ms="${updates#* }" 'BEGIN { printf "%d in %.1f s, %.1f a second", u, ms / 1000, u * 1000 / ms }')"
    check_answers
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
