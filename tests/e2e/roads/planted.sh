# shellcheck shell=bash
# repair.exe saved in a download folder beside files named like the tools
# it runs (netsh.exe, cmd.exe) and like the DLLs it loads that Windows does
# not always take from the system folder, with Wine told to prefer such
# DLLs to its own, as Windows looks in the program's folder first. Each
# planted file leaves a marker if it runs (tests/e2e/planted). Started from
# that folder, the program runs none of them, and the repair goes on as
# ever: its netsh commands reach the system's netsh (the stand-in in
# system32) with the same texts.
PLANTED_FILES=(netsh.exe cmd.exe iphlpapi.dll msimg32.dll winmm.dll gdiplus.dll comctl32.dll)

# No marker yet; otherwise names the ones left.
no_markers() {
    [ -z "$(wiz_markers)" ] && return 0
    echo "        left: $(wiz_markers | tr '\n' ' ')" >&2
    return 1
}

# For the summary, also of a road stopped at its deadline (a program that
# took a plant may hang).
markers_fact() {
    local left
    left=$(wiz_markers 2>/dev/null | tr '\n' ' ')
    [ -z "$left" ] || fact "markers left by planted files" "$left"
}

road_planted() {
    [ -n "${WIZ_PLANTED:-}" ] || { harness_log "no planted files (build target planted_files)"; return 1; }
    # shellcheck disable=SC2034 # read by wiz_install
    WIZ_APP_DIR_WIN='C:\Downloads'
    local dll
    WIZ_DLL_OVERRIDES=("cmd.exe=native,builtin")
    for dll in iphlpapi msimg32 winmm gdiplus comctl32; do WIZ_DLL_OVERRIDES+=("$dll=native,builtin"); done
    on_cleanup markers_fact
    wiz_world_up 1 tftp || return 1
    local name=${WIZ_CONNECTIONS[0]} file
    for file in "${PLANTED_FILES[@]}" planted_probe.exe; do wiz_plant "$WIZ_PLANTED/$file"; done

    # The control: a program beside them that asks for each by bare name
    # gets every one, so the plants repair.exe passes by are live.
    netns_wine "$WIZ_APP_DIR_WIN\\planted_probe.exe" >"$WIZ_WORK/probe.txt" 2>&1
    check "a program beside them that searches runs or loads all ${#PLANTED_FILES[@]} planted files" \
        same_text <(wiz_markers | tr '[:upper:]' '[:lower:]' | sort) < <(printf '%s.marker\n' "${PLANTED_FILES[@]}" | sort)
    rm -f "$WIZ_WORK/markers"/*

    # Started from its own folder, as from the file manager: the current
    # folder holds the plants too.
    cd "$WIZ_APP_DIR" || return 1
    local opened=0
    open_wizard || opened=1
    # DLLs in the import table would have been loaded before the first
    # window; a program importing one whose plant lacks its functions may
    # not get further.
    check "no planted file was loaded at start-up" no_markers
    [ "$opened" = 0 ] || return 1
    press_start
    follow_upload 2-page2-upload eth0
    finish_on_page3
    check "no planted file ran or was loaded during the repair" no_markers
    check "the box received the embedded image byte for byte" wiz_box_has_image
    check_network_road "$name" repaired
    if [ -z "$(wiz_markers)" ] && wiz_box_has_image; then
        road_verdict "no planted file ran; firmware received intact"
    else
        road_verdict "a planted file ran, or the firmware was NOT received intact"
    fi
}
