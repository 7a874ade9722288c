# shellcheck shell=bash
# The world around one run of repair.exe under Wine, and the helpers that
# drive and check it. Source after harness.sh, wine-gui.sh and netns.sh; set
# WIZ_EXE, WIZ_NETSH (and WIZ_PROBE, the answer probe, for wiz_answers_*;
# WIZ_PLANTED, the folder of tests/e2e/planted's files, for wiz_plant).
#
#   wiz_init WORK OUT TAG        scratch folder, output folder, file prefix
#   wiz_world_up ADAPTERS BOX    the PC's adapters (0, 1 or 2; the last one
#                                is cabled to the box) and the box: tftp,
#                                slow (replies throttled), refuse (a TFTP
#                                server that answers a write with an error)
#                                or none (nothing answers)
#   wiz_app_start [NAME]         starts repair.exe (sets WIZ_APP_PID)
#   wiz_app_wait PID SECONDS     its exit code in WIZ_RC
#   wiz_app_kill PID             ends repair.exe hard, as a crash would
#
# Before wiz_world_up a road may set WIZ_APP_DIR_WIN (the program's folder,
# on C:), WIZ_DLL_OVERRIDES ("name=native,builtin" entries) and WIZ_STATIC
# (gateway or nogateway: the cabled adapter configured statically, with or
# without a default gateway, as repair.exe sees it; needs WIZ_STATIC_WORLD,
# the folder of tests/e2e/static's files). While the
# world is up: wiz_box_server start|stop [tftp|refuse], wiz_box_slow on|off,
# wiz_cable out|in (the box's end of the cable: the PC sees no carrier),
# wiz_netsh_refuse REGEX [CODE] [TEXT] and wiz_netsh_accept_all, wiz_plant
# FILE [NAME] (beside repair.exe), wiz_markers (files Windows programs left
# in %E2E_MARKER_DIR%), wiz_shell_marked (the prefix's cmd.exe leaves a
# marker), wiz_answers_start / wiz_answers_stop (the wizard window's answers
# to a message sent with a time-out), wiz_journal / wiz_journal_kept (the
# journal in the program's registry key), wiz_journal_plant TEXT (a journal
# put there by another hand).
#
# The PC namespace holds the PC's wired adapter(s); the box namespace,
# joined to the PC by a veth pair, holds 192.168.1.6 and in.tftpd; a second
# adapter leads to a namespace of its own. netsh inside Wine is the
# project's stand-in, whose broker applies address changes to the PC
# namespace for real.

WIZ_HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
WIZ_BOX_IP=192.168.1.6
WIZ_FIRMWARE_NAME=rorod_oze_firmware_v1.5.2.bin
WIZ_APP_TITLE='瓦川RAvozoder'
WIZ_ALERT_TITLE='瓦川DEzed修复向导'
WIZ_APP_DIR_WIN='C:\Program Files\DEzed'
# The program's journal of changes: a value of its registry key.
WIZ_JOURNAL_KEY='HKLM\SOFTWARE\DEzed Repair'
WIZ_JOURNAL_WIN="$WIZ_JOURNAL_KEY\Journal"
WIZ_DLL_OVERRIDES=()
WIZ_STATIC=""
# The road expects an ip.bak that is already there to be kept: the
# expected log has no dump.
WIZ_BACKUP_KEPT=""
declare -A SKIN=()

wiz_init() {  # wiz_init WORK OUT TAG
    WIZ_WORK=$1
    WIZ_OUT=$2
    WIZ_TAG=$3
    WIZ_APP_DIR=""
    mkdir -p "$WIZ_OUT" "$WIZ_WORK/spool" "$WIZ_WORK/state" "$WIZ_WORK/markers"
    wiz_skin_points
}

wiz_shot_path() { echo "$WIZ_OUT/$WIZ_TAG-$1.png"; }

# Window sizes and click points ("wizard.start", "picker.entry.1", ...; see
# tests/e2e/skin.py), as the skin files lay them out.
wiz_skin_points() {
    local key rest
    while read -r key rest; do SKIN[$key]=$rest; done < <(python3 -S "$WIZ_HERE/skin.py" points)
    [ -n "${SKIN[wizard.start]:-}" ] || harness_log "the skin's click points are unknown (tests/e2e/skin.py points)"
}
wiz_size() { echo "${SKIN[$1.size]// /x}"; }  # wiz_size wizard|picker|alert -> WxH

wiz_click() {  # wiz_click ID POINT: a click at a skin point
    local xy
    read -r -a xy <<<"${SKIN[$2]:-}"
    [ ${#xy[@]} = 2 ] || { harness_log "no skin point $2"; return 1; }
    gui_click "$1" "${xy[@]}"
}

# ---- the world -----------------------------------------------------------------

# A prepared prefix (fonts mapped) is kept in TEMPLATE and copied for each
# run; the first run makes it, from a copy of SEED (a finished prefix) when
# there is one.
wiz_prefix() {  # wiz_prefix TEMPLATE [SEED]
    local template=$1 seed=${2:-}
    mkdir -p "$(dirname "$template")"
    (
        flock -w 600 9 || exit 1
        if [ ! -f "$template/.gui-ready" ]; then
            harness_log "preparing the Wine prefix $template (once)"
            rm -rf "$template"
            # Nothing Wine starts may inherit the lock: it would keep it.
            gui_prefix "$template" "$seed" 9>&- && [ -f "$template/system.reg" ]
        fi
    ) 9>"$template.lock" || { harness_log "no Wine prefix"; return 1; }
    cp -a "$template" "$WIZ_WORK/prefix"
    rm -f "$WIZ_WORK/prefix/wineserver" # names the template's server folder
    gui_prefix "$WIZ_WORK/prefix"       # exports WINEPREFIX
}

# Adapters of the PC, "interface|connection name|address/len|gateway or -".
# One adapter: the cable to the box. Two: an unconnected one first, then the
# one cabled to the box (the user has to pick the second). None: no wired
# adapter at all. WIZ_STATIC=nogateway takes the cabled one's gateway away.
wiz_adapters() {
    local gateway=10.20.30.1
    [ "$WIZ_STATIC" != nogateway ] || gateway=-
    case $1 in
        0) ;;
        2)
            echo "eth0|以太网|172.16.8.20/24|-"
            echo "eth1|以太网 2|10.20.30.40/24|$gateway"
            ;;
        *) echo "eth0|本地连接|10.20.30.40/24|$gateway" ;;
    esac
}

wiz_world_up() {  # wiz_world_up ADAPTERS BOX
    local adapters=$1 box=$2 dev name address gateway cable i=0
    WIZ_PC=$(netns_unique wzpc) && WIZ_BOX=$(netns_unique wzbox) || return 1
    netns_create "$WIZ_PC" "$WIZ_BOX" || return 1
    ip -n "$WIZ_PC" link set lo up
    ip -n "$WIZ_BOX" link set lo up
    WIZ_CONNECTIONS=()
    : >"$WIZ_WORK/state/connections"
    : >"$WIZ_WORK/state/leases"
    cable=$(wiz_adapters "$adapters" | tail -n 1 | cut -d'|' -f1)
    while IFS='|' read -r dev name address gateway; do
        i=$((i + 1))
        if [ "$dev" = "$cable" ]; then
            ip link add "$dev" netns "$WIZ_PC" address "02:0d:e2:00:01:0$i" type veth \
                peer name eth0 netns "$WIZ_BOX" address 02:0d:e2:00:00:06 || return 1
        else
            # Another adapter, cabled to a network of its own (namespace of
            # this run too), where no box answers.
            WIZ_LAN=$(netns_unique wzlan) && netns_create "$WIZ_LAN" || return 1
            ip link add "$dev" netns "$WIZ_PC" address "02:0d:e2:00:01:0$i" type veth \
                peer name eth0 netns "$WIZ_LAN" address 02:0d:e2:00:02:01 || return 1
            ip -n "$WIZ_LAN" link set eth0 up
        fi
        ip -n "$WIZ_PC" addr add "$address" dev "$dev"
        ip -n "$WIZ_PC" link set "$dev" up
        [ "$gateway" = - ] || ip -n "$WIZ_PC" route add default via "$gateway" dev "$dev"
        WIZ_CONNECTIONS+=("$name")
        printf '%s\t%s\n' "$name" "$dev" >>"$WIZ_WORK/state/connections"
        # A static adapter's link has no DHCP server: no lease to fall back on.
        if [ -z "$WIZ_STATIC" ] || [ "$dev" != "$cable" ]; then
            printf '%s\t%s\t%s\n' "$dev" "$address" "$gateway" >>"$WIZ_WORK/state/leases"
        fi
    done < <(wiz_adapters "$adapters")
    [ -z "$WIZ_STATIC" ] || WIZ_STATIC_ADAPTER=$cable
    mkdir -p "$WIZ_WORK/box"
    chmod 1777 "$WIZ_WORK/box"
    if [ -n "$cable" ]; then
        ip -n "$WIZ_BOX" addr add "$WIZ_BOX_IP/24" dev eth0
        ip -n "$WIZ_BOX" link set eth0 up
        [ "$box" != slow ] || wiz_box_slow on || return 1
        [ "$box" = none ] || wiz_box_server start "$box" || return 1
    fi
    netns_ipv4_state "$WIZ_PC" >"$WIZ_WORK/pc-before.txt"

    bash "$WIZ_HERE/netsh-broker.sh" "$WIZ_PC" "$WIZ_WORK/spool" "$WIZ_WORK/state" \
        2>"$WIZ_WORK/broker.log" &
    WIZ_BROKER_PID=$!

    gui_display_start || return 1
    netns_wine_start "$WIZ_PC" || return 1
    wiz_install || return 1
}

wiz_world_down() {
    wiz_answers_stop
    netns_wine_stop
    [ -n "${WIZ_BROKER_PID:-}" ] && kill "$WIZ_BROKER_PID" 2>/dev/null && wait "$WIZ_BROKER_PID" 2>/dev/null
    wiz_box_server stop
    [ -n "${WIZ_WATCH_PID:-}" ] && kill "$WIZ_WATCH_PID" 2>/dev/null && wait "$WIZ_WATCH_PID" 2>/dev/null
    WIZ_BROKER_PID=""
    WIZ_WATCH_PID=""
    netns_remove_all
}

# ---- the box -------------------------------------------------------------------

# The box's TFTP server. tftp: files may be created (-c); refuse: they may
# not, so a write request for the image is answered with a TFTP error.
wiz_box_server() {  # wiz_box_server start [tftp|slow|refuse] | stop
    if [ "$1" = stop ]; then
        [ -n "${WIZ_TFTPD_PID:-}" ] || return 0
        # in.tftpd forks a child per transfer.
        local children
        mapfile -t children < <(ps -o pid= --ppid "$WIZ_TFTPD_PID" 2>/dev/null)
        kill "$WIZ_TFTPD_PID" "${children[@]}" 2>/dev/null
        wait "$WIZ_TFTPD_PID" 2>/dev/null
        WIZ_TFTPD_PID=""
        return 0
    fi
    local create=(-c)
    [ "${2:-tftp}" != refuse ] || create=()
    # -L foreground, -s chroot into the folder.
    ip netns exec "$WIZ_BOX" in.tftpd -L "${create[@]}" -s -u nobody -a "$WIZ_BOX_IP:69" "$WIZ_WORK/box" \
        >>"$WIZ_WORK/tftpd.log" 2>&1 &
    WIZ_TFTPD_PID=$!
    wait_until 5 0.05 wiz_box_listens || { harness_log "in.tftpd does not listen (see $WIZ_WORK/tftpd.log)"; return 1; }
    if [ -z "${WIZ_WATCH_PID:-}" ]; then
        wiz_box_watch &
        WIZ_WATCH_PID=$!
    fi
}
wiz_box_listens() { ip netns exec "$WIZ_BOX" ss -Hlun 2>/dev/null | grep -q "$WIZ_BOX_IP:69 "; }

# About a millisecond per acknowledgement: the upload takes ten seconds or
# so instead of two or three.
wiz_box_slow() {  # wiz_box_slow on|off
    if [ "$1" = on ]; then
        ip netns exec "$WIZ_BOX" tc qdisc add dev eth0 root tbf rate 400kbit burst 2kb latency 1s
    else
        ip netns exec "$WIZ_BOX" tc qdisc del dev eth0 root
    fi
}

# The cable out, and back in. Out: the box's end goes down and so does the
# PC's adapter (Wine tells a link by the adapter being up, not by its
# carrier). In: both up again, and the default route of the lease when the
# adapter holds its lease (Linux drops a route whose device goes down; a DHCP
# client would set it again).
wiz_cable() {  # wiz_cable out|in
    local dev address gateway
    dev=$(tail -n 1 "$WIZ_WORK/state/connections" | cut -f2)
    IFS=$'\t' read -r _ address gateway < <(awk -F '\t' -v dev="$dev" '$1 == dev' "$WIZ_WORK/state/leases")
    if [ "$1" = out ]; then
        ip -n "$WIZ_BOX" link set eth0 down
        ip -n "$WIZ_PC" link set "$dev" down
        return
    fi
    ip -n "$WIZ_PC" link set "$dev" up
    ip -n "$WIZ_BOX" link set eth0 up
    if [ "${gateway:--}" != - ] && ip -n "$WIZ_PC" -4 -o addr show dev "$dev" | grep -q " $address "; then
        ip -n "$WIZ_PC" route replace default via "$gateway" dev "$dev"
    fi
}

wiz_box_file() { echo "$WIZ_WORK/box/$WIZ_FIRMWARE_NAME"; }

# The firmware image as the exe holds it (FIRMWARE 133): what the box must
# receive.
wiz_embedded_image() {
    [ -s "$WIZ_WORK/embedded.bin" ] ||
        python3 -S "$WIZ_HERE/pe_resource.py" "${WIZ_EXE:?}" FIRMWARE 133 "$WIZ_WORK/embedded.bin" || return 1
    echo "$WIZ_WORK/embedded.bin"
}
wiz_box_has_image() { cmp -s "$(wiz_embedded_image)" "$(wiz_box_file)"; }
wiz_box_size() { stat -c %s "$(wiz_box_file)" 2>/dev/null || echo -1; }

# Waits until the received file exists (the box took the write request:
# looked for often, a close must come early in the upload), or until it
# holds at least SIZE bytes (looked for seldom: the upload under Wine needs
# the processor, and the watcher times it).
wiz_wait_box() {  # wiz_wait_box SIZE|any SECONDS
    local i size least=$1 pause=0.2 per_second=5
    [ "$least" = any ] && least=0 pause=0.02 per_second=50
    for ((i = 0; i < $2 * per_second; i++)); do
        size=$(wiz_box_size)
        [ "$size" -ge "$least" ] && return 0
        sleep "$pause"
    done
    return 1
}

# Background: "seconds size" each time the received file changes size, so
# that the upload's start and end are known whatever the driver was doing.
# One process per look (stat), at 20 looks a second: the upload competes
# with it for the processor.
wiz_box_watch() {
    local last=-2 size now rest file
    file=$(wiz_box_file)
    while :; do
        size=$(stat -c %s "$file" 2>/dev/null || echo -1)
        if [ "$size" != "$last" ]; then
            read -r now rest </proc/uptime
            echo "$now $size" >>"$WIZ_WORK/box-timeline"
            last=$size
        fi
        sleep 0.05
    done
}

# Seconds from the file's appearance (the write request) to SIZE bytes, once
# the watcher has seen both.
wiz_upload_seconds() {  # wiz_upload_seconds SIZE
    local i seconds
    for ((i = 0; i < 40; i++)); do
        seconds=$(awk -v size="$1" '$2 >= 0 && start == "" { start = $1 }
            $2 == size { printf "%.1f", $1 - start; exit }' "$WIZ_WORK/box-timeline" 2>/dev/null)
        [ -n "$seconds" ] && { echo "$seconds"; return 0; }
        sleep 0.05
    done
    echo "?"
}

wiz_thousands() { sed ':a; s/\B[0-9]\{3\}\>/,&/; ta' <<<"$1"; }

# ---- the PC: Wine, the program's folder, netsh ------------------------------------

# Windows path of a Unix path (drive Z: is / in a new prefix).
wiz_winpath() { local p=$1; printf 'Z:%s' "${p//\//\\}"; }

# The program, the netsh stand-in, and the registry: the stand-in marked
# native (Wine prefers its own netsh otherwise), the road's DLL overrides,
# the connection names that Windows would keep for the adapters. With
# WIZ_STATIC, the static world's iphlpapi.dll in the system folder,
# preferred for repair.exe alone (Wine's own programs keep Wine's), and the
# cabled adapter named to it as static.
wiz_install() {
    local folder=${WIZ_APP_DIR_WIN#[Cc]:\\}
    WIZ_APP_DIR="$WINEPREFIX/drive_c/${folder//\\//}"
    mkdir -p "$WIZ_APP_DIR"
    cp "${WIZ_EXE:?}" "$WIZ_APP_DIR/repair.exe"
    cp "${WIZ_NETSH:?}" "$WINEPREFIX/drive_c/windows/system32/netsh.exe"
    if [ -n "$WIZ_STATIC" ]; then
        if [ ! -f "${WIZ_STATIC_WORLD:-}/iphlpapi.dll" ] || [ ! -f "$WIZ_STATIC_WORLD/iphlpwine.dll" ]; then
            harness_log "no static-adapter world (build target static_iphlpapi)"
            return 1
        fi
        cp "$WIZ_STATIC_WORLD/iphlpapi.dll" "$WIZ_STATIC_WORLD/iphlpwine.dll" "$WINEPREFIX/drive_c/windows/system32/"
        export E2E_STATIC_ADAPTERS=$WIZ_STATIC_ADAPTER  # Wine's adapter description: the interface's name
    fi
    local reg="$WIZ_WORK/install.reg" name dev index override
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n'
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\DllOverrides]\r\n"netsh.exe"="native"\r\n'
        for override in "${WIZ_DLL_OVERRIDES[@]}"; do
            printf '"%s"="%s"\r\n' "${override%%=*}" "${override#*=}"
        done
        printf '\r\n'
        [ -z "$WIZ_STATIC" ] ||
            printf '[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\repair.exe\\DllOverrides]\r\n"iphlpapi"="native"\r\n\r\n'
        while IFS=$'\t' read -r name dev; do
            index=$(ip -n "$WIZ_PC" -o link show dev "$dev" | cut -d: -f1)
            # Wine names an adapter after its Linux interface index.
            printf '[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Network\\{4D36E972-E325-11CE-BFC1-08002BE10318}\\{%08X-0000-0000-0000-4E6574446576}\\Connection]\r\n"Name"="%s"\r\n\r\n' \
                "$index" "$name"
        done <"$WIZ_WORK/state/connections"
    } >"$reg.txt"
    gui_reg_file "$reg.txt" "$reg"
    netns_wine reg import "$(wiz_winpath "$reg")" >/dev/null 2>&1 || { harness_log "registry import failed"; return 1; }
    export NETSH_STANDIN_SPOOL E2E_MARKER_DIR
    NETSH_STANDIN_SPOOL=$(wiz_winpath "$WIZ_WORK/spool")
    E2E_MARKER_DIR=$(wiz_winpath "$WIZ_WORK/markers")
}

wiz_plant() { cp "$1" "$WIZ_APP_DIR/${2:-$(basename "$1")}"; }  # wiz_plant FILE [NAME]
wiz_markers() { ls -A "$WIZ_WORK/markers"; }                     # marker files left so far

# The prefix's cmd.exe replaced by tests/e2e/planted's, which leaves a marker
# when it runs (the road puts "cmd.exe=native" in WIZ_DLL_OVERRIDES, or Wine
# runs its own). Checked: "cmd" started as any program would start it leaves
# the marker; the markers are then cleared.
wiz_shell_marked() {
    [ -f "${WIZ_PLANTED:-}/cmd.exe" ] || { harness_log "no planted cmd.exe (build target planted_files)"; return 1; }
    cp "$WIZ_PLANTED/cmd.exe" "$WINEPREFIX/drive_c/windows/system32/cmd.exe"
    netns_wine cmd /c exit 0 >/dev/null 2>&1
    check "the prefix's cmd.exe leaves a marker when it runs" test -f "$WIZ_WORK/markers/cmd.exe.marker" || return 1
    rm -f "$WIZ_WORK/markers"/*
}

# The broker answers commands matching REGEX (extended, on the whole command
# line) with exit code CODE and TEXT, changing nothing.
wiz_netsh_refuse() {  # wiz_netsh_refuse REGEX [CODE] [TEXT]
    printf '%s\t%s\t%s\n' "$1" "${2:-1}" "${3:-The requested operation requires elevation.}" >>"$WIZ_WORK/state/refuse"
}
wiz_netsh_accept_all() { : >"$WIZ_WORK/state/refuse"; }
# The broker takes SECONDS before it carries out commands matching REGEX.
wiz_netsh_slow() { printf '%s\t%s\n' "$1" "$2" >>"$WIZ_WORK/state/slow"; }  # wiz_netsh_slow REGEX SECONDS

# The program's journal of changes as the prefix's registry holds it now
# (asked of the road's Wine session), as text; nothing when there is none.
wiz_journal() {
    netns_wine reg query "$WIZ_JOURNAL_KEY" /v Journal 2>/dev/null | tr -d '\r' |
        awk '$1 == "Journal" && $2 == "REG_BINARY" { print $3 }' |
        python3 -S -c 'import sys; sys.stdout.buffer.write(bytes.fromhex(sys.stdin.read().strip()))'
}
wiz_journal_kept() { [ -n "$(wiz_journal)" ]; }
# A journal (TEXT, printf escapes) put where the program keeps its own by
# another hand: reg add makes the key with the registry's default access
# list, not the program's.
wiz_journal_plant() {  # wiz_journal_plant TEXT
    local hex
    hex=$(printf '%b' "$1" | od -An -v -tx1 | tr -d ' \n')
    netns_wine reg add "$WIZ_JOURNAL_KEY" /v Journal /t REG_BINARY /d "$hex" /f >/dev/null 2>&1
}

# ---- the program -----------------------------------------------------------------

wiz_app_start() {  # wiz_app_start [NAME]: starts one more copy
    local name=${1:-app}
    netns_wine_guard # here, not only in the background job: a refusal ends the road
    netns_wine "$WIZ_APP_DIR_WIN\\repair.exe" >"$WIZ_WORK/$name-stdout.txt" 2>"$WIZ_WORK/$name-stderr.txt" &
    # shellcheck disable=SC2034 # the road's to use
    WIZ_APP_PID=$!
}

# Waits for a program started by wiz_app_start (from the same shell: only
# the parent can collect the exit code); sets WIZ_RC to its exit code, or
# to "timeout".
wiz_app_wait() {  # wiz_app_wait PID SECONDS
    local i rc=timeout
    for ((i = 0; i < $2 * 20; i++)); do
        if ! kill -0 "$1" 2>/dev/null; then
            { wait "$1"; } 2>/dev/null # a killed copy: no word from the shell
            rc=$?
            break
        fi
        sleep 0.05
    done
    # shellcheck disable=SC2034 # the road's to use
    WIZ_RC=$rc
    [ "$rc" != timeout ]
}

# Ends every repair.exe of the session hard (SIGKILL to its Windows
# process, found by name: as a crash ends it, without a word), then waits
# for PID, the copy wiz_app_start started.
wiz_app_kill() {  # wiz_app_kill PID
    local pid found=()
    for pid in $(gui_prefix_pids); do
        [ "$(cat "/proc/$pid/comm" 2>/dev/null)" != repair.exe ] || found+=("$pid")
    done
    [ ${#found[@]} -gt 0 ] || { harness_log "no repair.exe runs"; return 1; }
    kill -9 "${found[@]}"
    wiz_app_wait "$1" 10
}

# ---- what the screen shows ---------------------------------------------------------

# The wizard's window, its picker (same title, another size) or an alert,
# waiting up to SECONDS.
wiz_window() {  # wiz_window wizard|picker|alert SECONDS
    local title=$WIZ_APP_TITLE
    [ "$1" != alert ] || title=$WIZ_ALERT_TITLE
    gui_window "^$title\$" "$(wiz_size "$1")" "$2"
}
wiz_count_windows() { gui_count "^$WIZ_APP_TITLE\$"; }  # the wizard's and the picker's

# Which page a shot of the wizard shows (page1, page2, page3 or other) and
# the progress bar's value (0..600): "PAGE VALUE".
wiz_look() { python3 -S "$WIZ_HERE/skin.py" look "$1" "$WIZ_WORK/skin-looks.json" 2>/dev/null || echo "other ?"; }
wiz_page() { wiz_look "$1" | cut -d' ' -f1; }
wiz_bar() { wiz_look "$1" | cut -d' ' -f2; }

# Waits until picker entry I shows its hot text colour.
wiz_wait_entry_hot() {  # wiz_wait_entry_hot ID I SECONDS
    local i shot="$WIZ_WORK/picker-hover.png"
    for ((i = 0; i < $3 * 5; i++)); do
        gui_shot "$1" "$shot"
        python3 -S "$WIZ_HERE/skin.py" hot "$shot" "$2" 2>/dev/null && return 0
        sleep 0.2
    done
    return 1
}

# Waits until the wizard shows PAGE; the shot that showed it is left in FILE.
wiz_wait_page() {  # wiz_wait_page ID PAGE FILE SECONDS
    local i
    for ((i = 0; i < $4 * 5; i++)); do
        gui_shot "$1" "$3" && [ "$(wiz_page "$3")" = "$2" ] && return 0
        sleep 0.2
    done
    return 1
}

# Background: the answer probe sends the wizard's window (the visible one of
# the wizard's title and size) a message with a 2 s time-out, over and over;
# each result is a line "seconds exit-code milliseconds".
wiz_answers_start() {
    [ -n "${WIZ_PROBE:-}" ] || { harness_log "no answer probe (build target answer_probe)"; return 1; }
    (
        local rc ms
        while :; do
            rc=0
            netns_wine "$WIZ_PROBE" "$WIZ_APP_TITLE" "$(wiz_size wizard)" >"$WIZ_WORK/answer.txt" 2>/dev/null || rc=$?
            ms=$(tr -dc '0-9' <"$WIZ_WORK/answer.txt")
            echo "$(now) $rc ${ms:--}" >>"$WIZ_WORK/answers"
            sleep 0.3
        done
    ) &
    WIZ_ANSWERS_PID=$!
}
wiz_answers_stop() {
    [ -n "${WIZ_ANSWERS_PID:-}" ] || return 0
    kill "$WIZ_ANSWERS_PID" 2>/dev/null
    wait "$WIZ_ANSWERS_PID" 2>/dev/null
    WIZ_ANSWERS_PID=""
}
# "answered N of M; longest wait X ms" (only probes that found the window).
wiz_answers_figures() {
    awk '$2 != 2 { n++; if ($2 == 0) ok++; if ($3 != "-" && $3 + 0 > max) max = $3 + 0 }
        END { printf "answered %d of %d, longest wait %d ms", ok, n, max }' "$WIZ_WORK/answers" 2>/dev/null
}
wiz_answers_all_answered() { [ -s "$WIZ_WORK/answers" ] && ! awk '$2 == 1 { bad = 1 } END { exit !bad }' "$WIZ_WORK/answers"; }

# ---- records -----------------------------------------------------------------------

# The program's log; Wine may create it as repair.log (the size check opens
# that name first, and names match without case on Windows).
wiz_app_log() { [ -n "$WIZ_APP_DIR" ] && find "$WIZ_APP_DIR" -maxdepth 1 -iname 'repair.log' | head -n 1; }

# Every message of the program's log, as UTF-8.
wiz_log_messages() {
    local log
    log=$(wiz_app_log)
    [ -n "$log" ] || return 1
    iconv -f GBK -t UTF-8 "$log" | tr -d '\r' | sed -n 's/^[^<]*<<<<//p'
}

# Whether a message of the program's log contains TEXT / is TEXT.
wiz_log_mentions() { wiz_log_messages | grep -qF -- "$1"; }
wiz_log_has_line() { wiz_log_messages | grep -qxF -- "$1"; }

# The procedure's own lines of the log, in order, as UTF-8 (the log is GBK):
# those expected/kept-lines.txt names (not the TFTP client's, not the
# figures that vary from run to run).
wiz_procedure_lines() {
    local log
    log=$(wiz_app_log)
    [ -n "$log" ] || return 1
    wiz_log_messages | grep -E -f "$WIZ_HERE/expected/kept-lines.txt"
}

# The line the program logs at start about itself, as the exe's version
# resource and its embedded image say it should read.
wiz_expected_identity() {
    local image version suffix=""
    image=$(wiz_embedded_image) || return 1
    version=$(python3 -S "$WIZ_HERE/../release/release_exe.py" version "$WIZ_EXE") || return 1
    [ "$(head -c 19 "$image")" = "TEST FIRMWARE IMAGE" ] && suffix=" (test image)"
    printf 'version %s, firmware image %s bytes, SHA-256 %s%s\n' "${version%.0}" "$(stat -c %s "$image")" \
        "$(sha256sum <"$image" | cut -d' ' -f1)" "$suffix"
}
# The log holds that line once, right after "repair start".
wiz_log_names_identity() {
    local log expected
    log=$(wiz_app_log)
    [ -n "$log" ] || return 1
    expected=$(wiz_expected_identity) || return 1
    iconv -f GBK -t UTF-8 "$log" | tr -d '\r' | sed -n 's/^[^<]*<<<<//p' | grep -A1 -x 'repair start' \
        >"$WIZ_WORK/identity.txt"
    same_text "$WIZ_WORK/identity.txt" < <(printf 'repair start\n%s\n' "$expected")
}

# The procedure's log as expected/ENDING.txt has it, on connection NAME,
# for the program in its folder (and ip.bak beside it) and the journal in
# its registry key; without the dump and its outcome when
# WIZ_BACKUP_KEPT is set. Lines marked "| " are written by the
# window's thread (the wizard answering a report) and may come between the
# worker's lines: see same_interleaving.
wiz_expected_log() {  # wiz_expected_log ENDING CONNECTION
    local line skip=0
    while IFS= read -r line || [ -n "$line" ]; do
        if [ -n "$WIZ_BACKUP_KEPT" ] && [[ $line == "cmd : netsh interface ip dump >"* ]]; then
            skip=2
        fi
        [ "$skip" = 0 ] || { skip=$((skip - 1)); continue; }
        line=${line//"{connection}"/"$2"}
        line=${line//"{journal}"/"$WIZ_JOURNAL_WIN"}
        line=${line//"{backup}"/"$WIZ_APP_DIR_WIN\\ip.bak"}
        printf '%s\n' "${line//"{program}"/"$WIZ_APP_DIR_WIN\\repair.exe"}"
    done <"$WIZ_HERE/expected/$1.txt"
}
# The command lines netsh received (an output file's redirection is the
# program's, not netsh's).
wiz_expected_commands() {  # wiz_expected_commands ENDING CONNECTION
    wiz_expected_log "$@" | sed -n 's/^\(| \)\{0,1\}cmd : //p' | sed 's/ > "[^"]*"$//'
}

wiz_commands() { cat "$WIZ_WORK/state/commands"; }

# Every command the broker ran ended with exit code 0.
wiz_commands_succeeded() { [ -s "$WIZ_WORK/state/journal" ] && ! awk '$2 != 0 { bad = 1 } END { exit !bad }' "$WIZ_WORK/state/journal"; }

# When (the harness clock) the broker carried out the last command matching TEXT.
wiz_command_time() { grep -F -- " $1" "$WIZ_WORK/state/journal" | tail -n 1 | cut -d' ' -f1; }

# Compares a file with text on standard input; shows the difference.
same_text() {  # same_text FILE < expected
    local expected
    expected=$(cat)
    if [ "$(cat "$1")" = "$expected" ]; then return 0; fi
    diff <(printf '%s\n' "$expected") "$1" | sed 's/^/        /' >&2
    return 1
}

# Compares a file with expected lines on standard input, of which those
# marked "| " come from a second thread: the file must hold both kinds, each
# in its order, mixed in any way. Shows the difference (to the expected
# order) otherwise.
same_interleaving() {  # same_interleaving FILE < expected
    local expected
    expected=$(cat)
    # (Through the environment: awk -v would take backslashes as escapes.)
    if EXPECTED=$expected awk '
        BEGIN { na = nb = nc = 0; n = split(ENVIRON["EXPECTED"], e, "\n")
                for (i = 1; i <= n; i++) if (substr(e[i], 1, 2) == "| ") b[++nb] = substr(e[i], 3); else a[++na] = e[i] }
        { c[++nc] = $0 }
        END {
            if (nc != na + nb) exit 1
            # ok[i, j]: the first i lines of one kind and j of the other make the first i + j of the file.
            ok[0, 0] = 1
            for (i = 0; i <= na; i++)
                for (j = 0; j <= nb; j++) {
                    if (i + j == 0) continue
                    ok[i, j] = (i > 0 && ok[i - 1, j] && a[i] == c[i + j]) || (j > 0 && ok[i, j - 1] && b[j] == c[i + j])
                }
            exit !ok[na, nb]
        }' "$1"; then
        return 0
    fi
    diff <(printf '%s\n' "$expected" | sed 's/^| //') "$1" | sed 's/^/        /' >&2
    return 1
}

wiz_network_as_before() {
    netns_ipv4_state "$WIZ_PC" >"$WIZ_WORK/pc-after.txt"
    diff "$WIZ_WORK/pc-before.txt" "$WIZ_WORK/pc-after.txt" >&2
}
wiz_no_rules_left() { [ ! -s "$WIZ_WORK/state/rules" ]; }

# Copies the records of the run into the output folder.
wiz_keep_records() {
    local log f
    log=$(wiz_app_log)
    if [ -n "$log" ]; then
        iconv -f GBK -t UTF-8 "$log" >"$WIZ_OUT/$WIZ_TAG-REPAIR.log" 2>/dev/null || cp "$log" "$WIZ_OUT/$WIZ_TAG-REPAIR.log"
    fi
    cp "$WIZ_WORK/state/commands" "$WIZ_OUT/$WIZ_TAG-netsh-commands.txt" 2>/dev/null
    cp "$WIZ_WORK/state/journal" "$WIZ_OUT/$WIZ_TAG-netsh-journal.txt" 2>/dev/null
    for f in "$WIZ_WORK"/*-stdout.txt; do
        [ -s "$f" ] && gzip -c "$f" >"$WIZ_OUT/$WIZ_TAG-$(basename "$f").gz"
    done
    cp "$WIZ_WORK/pc-before.txt" "$WIZ_OUT/$WIZ_TAG-pc-network-before.txt" 2>/dev/null
    cp "$WIZ_WORK/pc-after.txt" "$WIZ_OUT/$WIZ_TAG-pc-network-after.txt" 2>/dev/null
    [ ! -s "$WIZ_WORK/answers" ] || cp "$WIZ_WORK/answers" "$WIZ_OUT/$WIZ_TAG-answers.txt"
}
