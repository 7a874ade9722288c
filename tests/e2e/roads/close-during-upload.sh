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
    # The bar follows the upload: two shots a moment apart.
    local shot1 shot2 bar1 bar2
    shot1=$(wiz_shot_path 2-page2-upload-a)
    shot2=$(wiz_shot_path 2-page2-upload-b)
    wiz_wait_box $((size / 10)) 60
    gui_shot "$WID" "$shot1"
    wiz_wait_box $((size / 4)) 60
    gui_shot "$WID" "$shot2" && seen "page 2"
    bar1=$(wiz_bar "$shot1")
    bar2=$(wiz_bar "$shot2")
    fact "the bar during the upload" "$bar1/600, then $bar2/600"
    check "the bar grows with the upload, from 400 on" awk -v a="$bar1" -v b="$bar2" 'BEGIN { exit !(a >= 390 && b > a && b <= 500) }'
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
