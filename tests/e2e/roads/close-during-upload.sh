# shellcheck shell=bash
# The window is closed while the firmware is uploaded.
road_close_during_upload() {
    # A box slow to acknowledge: the upload outlasts Wine's two seconds of
    # withdrawing a window when no window manager runs.
    wiz_world_up 1 slow || return 1
    local name=${WIZ_CONNECTIONS[0]} size t_click t_hidden t_exit at_click at_hide
    size=$(stat -c %s "$(wiz_embedded_image)")
    open_wizard || return 1
    press_start
    check "the box receives the write request" wiz_wait_box any 90 || return 1
    gui_shot "$WID" "$(wiz_shot_path 2-page2-upload)" && seen "page 2"
    at_click=$(wiz_box_size)
    wiz_click "$WID" wizard.close
    t_click=$(now)
    check "the window hides" gui_window_gone "$WID" 10
    t_hidden=$(now)
    at_hide=$(wiz_box_size)
    fact "hidden after the close" "$(secs "$t_click" "$t_hidden") s; box had $at_click bytes at the click, $at_hide when hidden, of $size"
    check "the window hid while the upload was still running" test "$at_hide" -lt "$size"
    wiz_app_wait "$WIZ_APP_PID" 90
    t_exit=$(now)
    fact "process ended after the close" "$(secs "$t_click" "$t_exit") s (code $WIZ_RC)"
    fact "upload (slowed box)" "$(wiz_thousands "$size") bytes in $(wiz_upload_seconds "$size") s (seen from the box)"
    check "repair.exe exits with code 0" is_zero "$WIZ_RC"
    check "the running upload was allowed to finish: the box has the image byte for byte" wiz_box_has_image
    check "the network was put back before the process ended" before "$(restored_at closed "$name")" "$t_exit"
    check_network_road "$name" closed
}
