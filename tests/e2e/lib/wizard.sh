# The world around one run of repair.exe under Wine, and the helpers that
# drive and check it. Source after wine-gui.sh and netns.sh, then:
#   wiz_init WORK OUT TAG           scratch folder, output folder, file prefix
#   wiz_world_up ADAPTERS BOX       ADAPTERS 1 or 2; BOX tftp, slow (a TFTP
#                                   server whose replies are throttled) or
#                                   none (nothing answers)
#   wiz_app_start                   starts repair.exe (sets WIZ_APP_PID)
# The PC namespace holds the PC's wired adapter(s); the box namespace, joined
# to the PC by a veth pair, holds 192.168.1.6 and (unless BOX is none)
# in.tftpd; a second adapter leads to a namespace of its own.
# netsh inside Wine is the project's stand-in, whose broker applies address
# changes to the PC namespace for real.

WIZ_BOX_IP=192.168.1.6
WIZ_RECOVERY_IP=192.168.1.111
WIZ_FIRMWARE_NAME=rorod_oze_firmware_v1.5.2.bin
WIZ_RULE_NAME="VA Rovade Varoza"
WIZ_APP_DIR_WIN='C:\Program Files\DEzed'
WIZ_APP_TITLE='瓦川RAvozoder'
WIZ_ALERT_TITLE='瓦川DEzed修复向导'

# Places in the windows (client coordinates, from the skins' layouts).
WIZ_START_BUTTON=(290 324)     # "下一步", page 1: 230,306 - 350,342
WIZ_DONE_BUTTON=(425 192)      # "确定", page 3: 365,182 - 485,202
WIZ_CLOSE_BUTTON=(558 18)      # title strip: 548,8 - 568,28
WIZ_ALERT_CLOSE=(120 157)      # "关闭": 70,140 - 170,174
wiz_picker_entry() { echo "200 $((49 + 21 * $1 + 8))"; }  # entry i: 16 high, 21 apart from 49

WIZ_PASSED=0
WIZ_FAILED=0
WIZ_FACTS=()

# Seconds since boot: the wall clock may be stepped during a run.
wiz_now() { cut -d" " -f1 /proc/uptime; }
wiz_secs() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", b - a }'; }
wiz_log() { printf '[%s] %s\n' "$(date +%H:%M:%S)" "$*" >&2; }

# check NAME COMMAND...: one line per check, counted.
check() {
    local name=$1
    shift
    if "$@"; then
        WIZ_PASSED=$((WIZ_PASSED + 1))
        echo "  ok    $name"
    else
        WIZ_FAILED=$((WIZ_FAILED + 1))
        echo "  FAIL  $name"
    fi
}
fact() { WIZ_FACTS+=("$1: $2"); }

wiz_init() {  # wiz_init WORK OUT TAG
    WIZ_WORK=$1
    WIZ_OUT=$2
    WIZ_TAG=$3
    WIZ_APP_DIR=""
    mkdir -p "$WIZ_OUT" "$WIZ_WORK/spool" "$WIZ_WORK/state"
}

wiz_shot_path() { echo "$WIZ_OUT/$WIZ_TAG-$1.png"; }

# ---- the world ----------------------------------------------------------------

# A prepared prefix (fonts mapped) is kept in TEMPLATE and copied for each
# run; the first run makes it.
wiz_prefix() {  # wiz_prefix TEMPLATE
    local template=$1
    mkdir -p "$(dirname "$template")"
    (
        flock -w 600 9 || exit 1
        if [ ! -f "$template/.gui-ready" ]; then
            wiz_log "preparing the Wine prefix $template (once)"
            rm -rf "$template"
            # Nothing Wine starts may inherit the lock: it would keep it.
            gui_prefix "$template" 9>&- && [ -f "$template/system.reg" ]
        fi
    ) 9>"$template.lock" || { wiz_log "no Wine prefix"; return 1; }
    cp -a "$template" "$WIZ_WORK/prefix"
    rm -f "$WIZ_WORK/prefix/wineserver"  # names the template's server folder
    gui_prefix "$WIZ_WORK/prefix"        # exports WINEPREFIX
}

# Adapters of the PC, "interface|connection name|address/len|gateway or -".
# One adapter: the cable to the box. Two: an unconnected one first, then the
# one cabled to the box (the user has to pick the second). The last one is
# always the cable.
wiz_adapters() {
    if [ "$1" = 2 ]; then
        echo "eth0|以太网|172.16.8.20/24|-"
        echo "eth1|以太网 2|10.20.30.40/24|10.20.30.1"
    else
        echo "eth0|本地连接|10.20.30.40/24|10.20.30.1"
    fi
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
        printf '%s\t%s\t%s\n' "$dev" "$address" "$gateway" >>"$WIZ_WORK/state/leases"
    done < <(wiz_adapters "$adapters")
    ip -n "$WIZ_BOX" addr add "$WIZ_BOX_IP/24" dev eth0
    ip -n "$WIZ_BOX" link set eth0 up
    netns_ipv4_state "$WIZ_PC" >"$WIZ_WORK/pc-before.txt"

    mkdir -p "$WIZ_WORK/box"
    chmod 1777 "$WIZ_WORK/box"
    if [ "$box" = slow ]; then
        # About a millisecond per acknowledgement: the upload takes ten
        # seconds or so instead of two or three.
        ip netns exec "$WIZ_BOX" tc qdisc add dev eth0 root tbf rate 400kbit burst 2kb latency 1s || return 1
    fi
    if [ "$box" = tftp ] || [ "$box" = slow ]; then
        # -L foreground, -c files may be created, -s chroot into the folder.
        ip netns exec "$WIZ_BOX" in.tftpd -L -c -s -u nobody -a "$WIZ_BOX_IP:69" "$WIZ_WORK/box" \
            >"$WIZ_WORK/tftpd.log" 2>&1 &
        WIZ_TFTPD_PID=$!
        local n
        for ((n = 0; n < 100; n++)); do
            ip netns exec "$WIZ_BOX" ss -Hlun 2>/dev/null | grep -q "$WIZ_BOX_IP:69 " && break
            sleep 0.05
        done
        [ "$n" -lt 100 ] || { wiz_log "in.tftpd does not listen (see $WIZ_WORK/tftpd.log)"; return 1; }
        wiz_box_watch &
        WIZ_WATCH_PID=$!
    fi

    bash "$WIZ_ROOT/tests/e2e/netsh-broker.sh" "$WIZ_PC" "$WIZ_WORK/spool" "$WIZ_WORK/state" \
        2>"$WIZ_WORK/broker.log" &
    WIZ_BROKER_PID=$!

    gui_display_start || return 1
    netns_wine_start "$WIZ_PC" || return 1
    wiz_install || return 1
}

wiz_world_down() {
    netns_wine_stop
    [ -n "${WIZ_BROKER_PID:-}" ] && kill "$WIZ_BROKER_PID" 2>/dev/null && wait "$WIZ_BROKER_PID" 2>/dev/null
    if [ -n "${WIZ_TFTPD_PID:-}" ]; then
        # in.tftpd forks a child per transfer.
        local children
        children=$(ps -o pid= --ppid "$WIZ_TFTPD_PID" 2>/dev/null)
        # shellcheck disable=SC2086
        kill "$WIZ_TFTPD_PID" $children 2>/dev/null
        wait "$WIZ_TFTPD_PID" 2>/dev/null
    fi
    [ -n "${WIZ_WATCH_PID:-}" ] && kill "$WIZ_WATCH_PID" 2>/dev/null && wait "$WIZ_WATCH_PID" 2>/dev/null
    WIZ_BROKER_PID=""
    WIZ_TFTPD_PID=""
    WIZ_WATCH_PID=""
    netns_remove_all
}

# Windows path of a Unix path (drive Z: is / in a new prefix).
wiz_winpath() { local p=$1; printf 'Z:%s' "${p//\//\\}"; }

# The program, the netsh stand-in, and the registry: the stand-in marked
# native (Wine prefers its own netsh otherwise), the connection names that
# Windows would keep for the adapters.
wiz_install() {
    WIZ_APP_DIR="$WINEPREFIX/drive_c/Program Files/DEzed"
    mkdir -p "$WIZ_APP_DIR"
    cp "$WIZ_EXE" "$WIZ_APP_DIR/repair.exe"
    cp "$WIZ_NETSH" "$WINEPREFIX/drive_c/windows/system32/netsh.exe"
    local reg="$WIZ_WORK/install.reg" name dev index
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n'
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\DllOverrides]\r\n"netsh.exe"="native"\r\n\r\n'
        while IFS=$'\t' read -r name dev; do
            index=$(ip -n "$WIZ_PC" -o link show dev "$dev" | cut -d: -f1)
            # Wine names an adapter after its Linux interface index.
            printf '[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Network\\{4D36E972-E325-11CE-BFC1-08002BE10318}\\{%08X-0000-0000-0000-4E6574446576}\\Connection]\r\n"Name"="%s"\r\n\r\n' \
                "$index" "$name"
        done <"$WIZ_WORK/state/connections"
    } >"$reg.txt"
    { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$reg.txt"; } >"$reg"
    netns_wine reg import "$(wiz_winpath "$reg")" >/dev/null 2>&1 || { wiz_log "registry import failed"; return 1; }
    export NETSH_STANDIN_SPOOL
    NETSH_STANDIN_SPOOL=$(wiz_winpath "$WIZ_WORK/spool")
}

# ---- the program ---------------------------------------------------------------

wiz_app_start() {  # wiz_app_start [NAME]: starts one more copy
    local name=${1:-app}
    netns_wine_guard  # here, not only in the background job: a refusal ends the road
    netns_wine "$WIZ_APP_DIR_WIN\\repair.exe" >"$WIZ_WORK/$name-stdout.txt" 2>"$WIZ_WORK/$name-stderr.txt" &
    WIZ_APP_PID=$!
}

# Waits for a program started by wiz_app_start (from the same shell: only
# the parent can collect the exit code); sets WIZ_RC to its exit code, or
# to "timeout".
wiz_app_wait() {  # wiz_app_wait PID SECONDS
    local i
    WIZ_RC=timeout
    for ((i = 0; i < $2 * 20; i++)); do
        if ! kill -0 "$1" 2>/dev/null; then
            wait "$1"
            WIZ_RC=$?
            return 0
        fi
        sleep 0.05
    done
    return 1
}

# The window of TITLE whose size is WxH (the wizard and the picker share a
# title), waiting up to SECONDS.
wiz_window() {  # wiz_window TITLE WxH SECONDS
    local i id w h WIDTH HEIGHT
    for ((i = 0; i < $3 * 10; i++)); do
        for id in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
            eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null | grep -E '^(WIDTH|HEIGHT)=')"
            w=${WIDTH:-0} h=${HEIGHT:-0}
            [ "${w}x${h}" = "$2" ] && { echo "$id"; return 0; }
        done
        sleep 0.1
    done
    return 1
}

wiz_count_windows() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | wc -l; }

# Clicks at a place of a window like a person: the pointer moves there,
# rests, and the button goes down and up.
wiz_click() {  # wiz_click ID X Y
    xdotool mousemove --window "$1" "$2" "$3" && sleep 0.15 && xdotool click 1
}

# ---- what the screen shows -----------------------------------------------------

# The screen where window ID lies (with whatever covers it, such as a modal
# window over the wizard).
wiz_shot_screen_of() {  # wiz_shot_screen_of ID FILE
    local X Y WIDTH HEIGHT
    eval "$(xdotool getwindowgeometry --shell "$1" 2>/dev/null | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
    gui_shot_root "$WIZ_WORK/screen.png" &&
        convert "$WIZ_WORK/screen.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$2"
}

# The progress bar's value (0..600) in a shot of the wizard: the filled part
# of its 240-pixel row is teal.
wiz_bar() {
    convert "$1" -crop 240x1+305+156 +repage -fx 'g > 0.6 && r < 0.3 ? 1 : 0' \
        -format '%[fx:round(mean * w) * 600 / 240]' info: 2>/dev/null
}

# Which page a shot of the wizard shows: page1 (the start button's teal),
# page3 (the done button's teal text), page2 (the bar's row, no done
# button), or other.
wiz_page() {
    local start done row
    start=$(convert "$1" -crop 100x20+240+312 +repage -fx 'g > 0.55 && r < 0.2 ? 1 : 0' -format '%[fx:round(mean * w * h)]' info: 2>/dev/null)
    done=$(convert "$1" -crop 120x20+365+182 +repage -fx 'g > 0.55 && r < 0.4 ? 1 : 0' -format '%[fx:round(mean * w * h)]' info: 2>/dev/null)
    row=$(convert "$1" -crop 240x1+305+156 +repage \
        -fx '(g > 0.6 && r < 0.3) || (abs(r - 0.227) < 0.03 && abs(g - 0.259) < 0.03 && abs(b - 0.384) < 0.03) ? 1 : 0' \
        -format '%[fx:round(mean * w)]' info: 2>/dev/null)
    if [ "${start:-0}" -ge 1000 ]; then
        echo page1
    elif [ "${done:-0}" -ge 20 ] && [ "${row:-0}" -ge 236 ]; then
        echo page3
    elif [ "${row:-0}" -ge 236 ]; then
        echo page2
    else
        echo other
    fi
}

# Waits until picker entry I shows the hot text colour (#01D7C6).
wiz_wait_entry_hot() {  # wiz_wait_entry_hot ID I SECONDS
    local i hot shot="$WIZ_WORK/picker-hover.png"
    for ((i = 0; i < $3 * 5; i++)); do
        gui_shot "$1" "$shot"
        hot=$(convert "$shot" -crop "380x16+10+$((49 + 21 * $2))" +repage \
            -fx 'r < 0.2 && g > 0.6 && b > 0.55 ? 1 : 0' -format '%[fx:round(mean * w * h)]' info: 2>/dev/null)
        [ "${hot:-0}" -ge 10 ] && return 0
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

# ---- the box -----------------------------------------------------------------

wiz_box_file() { echo "$WIZ_WORK/box/$WIZ_FIRMWARE_NAME"; }

# The firmware image as the exe holds it (FIRMWARE 133): what the box must
# receive.
wiz_embedded_image() {
    [ -s "$WIZ_WORK/embedded.bin" ] ||
        python3 "$WIZ_ROOT/tests/e2e/pe_resource.py" "$WIZ_EXE" FIRMWARE 133 "$WIZ_WORK/embedded.bin" || return 1
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

# ---- records -----------------------------------------------------------------

# The program's log; Wine may create it as repair.log (the size check opens
# that name first, and names match without case on Windows).
wiz_app_log() { [ -n "$WIZ_APP_DIR" ] && find "$WIZ_APP_DIR" -maxdepth 1 -iname 'repair.log' | head -n 1; }

# The procedure's own lines of the log, in order, as UTF-8 (the log is GBK).
wiz_procedure_lines() {
    local log
    log=$(wiz_app_log)
    [ -n "$log" ] || return 1
    iconv -f GBK -t UTF-8 "$log" | tr -d '\r' | sed -n 's/^[^<]*<<<<//p' | grep -E \
        -e '^repair start$' \
        -e '^(start|end) (mofify firewall settings|query network settings|backup network settings|mofify network settings|upload firmware|restore network settings|restore network settings 2|delete firewall settings)$' \
        -e '^cmd : ' -e '^wait 5 seconds$' -e '^uploading firmware' -e '^try connect [0-9]+ time$' \
        -e '^connect error wait 5 seconds retry$' -e '^closed during the repair'
}

wiz_commands() { cat "$WIZ_WORK/state/commands"; }

# The command texts the repair uses for connection NAME.
wiz_cmd_add_rule() { echo "netsh advfirewall firewall add rule name=\"$WIZ_RULE_NAME\" dir=in action=allow program=\"$WIZ_APP_DIR_WIN\\repair.exe\""; }
wiz_cmd_recovery() { echo "netsh interface ip set address name=\"$1\" static $WIZ_RECOVERY_IP 255.255.255.0"; }
wiz_cmd_delete_rule() { echo "netsh advfirewall firewall delete rule name=\"$WIZ_RULE_NAME\""; }
wiz_cmd_dhcp() { echo "netsh interface ip set address name=\"$1\" dhcp"; }

# Every command the broker ran ended with exit code 0.
wiz_commands_succeeded() { [ -s "$WIZ_WORK/state/journal" ] && ! awk '$2 != 0 { bad = 1 } END { exit !bad }' "$WIZ_WORK/state/journal"; }

# When (wiz_now's clock) the broker carried out the last command matching TEXT.
wiz_command_time() { grep -F -- " $1" "$WIZ_WORK/state/journal" | tail -n 1 | cut -d' ' -f1; }

# Compares a file with text on standard input; shows the difference.
same_text() {  # same_text FILE < expected
    local expected
    expected=$(cat)
    if [ "$(cat "$1")" = "$expected" ]; then return 0; fi
    diff <(printf '%s\n' "$expected") "$1" | sed 's/^/        /' >&2
    return 1
}

wiz_network_as_before() {
    netns_ipv4_state "$WIZ_PC" >"$WIZ_WORK/pc-after.txt"
    diff "$WIZ_WORK/pc-before.txt" "$WIZ_WORK/pc-after.txt" >&2
}
wiz_no_rules_left() { [ ! -s "$WIZ_WORK/state/rules" ]; }

# Copies the records of the run into the output folder.
wiz_keep_records() {
    local log
    log=$(wiz_app_log)
    if [ -n "$log" ]; then
        iconv -f GBK -t UTF-8 "$log" >"$WIZ_OUT/$WIZ_TAG-REPAIR.log" 2>/dev/null || cp "$log" "$WIZ_OUT/$WIZ_TAG-REPAIR.log"
    fi
    cp "$WIZ_WORK/state/commands" "$WIZ_OUT/$WIZ_TAG-netsh-commands.txt" 2>/dev/null
    cp "$WIZ_WORK/state/journal" "$WIZ_OUT/$WIZ_TAG-netsh-journal.txt" 2>/dev/null
    local f
    for f in "$WIZ_WORK"/*-stdout.txt; do
        [ -s "$f" ] && gzip -c "$f" >"$WIZ_OUT/$WIZ_TAG-$(basename "$f").gz"
    done
    cp "$WIZ_WORK/pc-before.txt" "$WIZ_OUT/$WIZ_TAG-pc-network-before.txt" 2>/dev/null
    cp "$WIZ_WORK/pc-after.txt" "$WIZ_OUT/$WIZ_TAG-pc-network-after.txt" 2>/dev/null
}
