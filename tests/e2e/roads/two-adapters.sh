# shellcheck shell=bash
# Two adapters: the picker appears, the second one (the cabled one) is chosen.
road_two_adapters() {
    wiz_world_up 2 tftp || return 1
    local second=${WIZ_CONNECTIONS[1]} picker
    open_wizard || return 1
    press_start
    picker=$(wiz_window picker 60)
    check "the adapter picker appears" test -n "$picker"
    [ -n "$picker" ] || return 1
    seen "the adapter picker"
    sleep 0.5
    gui_shot "$picker" "$(wiz_shot_path 4-picker)"
    check "the wizard stays behind the picker" test "$(wiz_count_windows)" = 2
    # The pointer comes from the wizard: the picker must take mouse input.
    local entry
    read -r -a entry <<<"${SKIN[picker.entry.1]}"
    xdotool mousemove --window "$picker" "${entry[@]}"
    check "the second entry lights up under the pointer" wiz_wait_entry_hot "$picker" 1 10
    cp "$WIZ_WORK/picker-hover.png" "$(wiz_shot_path 4-picker-hover)"
    gui_shot_screen_of "$WID" "$(wiz_shot_path 4-picker-over-wizard)"
    wiz_click "$picker" picker.entry.1
    check "a click on the second entry closes the picker" gui_window_gone "$picker" 15
    follow_upload 2-page2-upload eth1
    finish_on_page3
    check "the box received the embedded image byte for byte" wiz_box_has_image
    check_network_road "$second" repaired
}
