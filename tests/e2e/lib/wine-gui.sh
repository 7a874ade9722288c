# shellcheck shell=bash
# Shared by the GUI tests and the wizard run: a Wine prefix with the skin's
# Chinese font mapped, a virtual X display, a wineserver for the session,
# and the helpers that look at and drive the windows. Source it, then call
#   gui_init WORK_DIR            scratch folder, EXIT trap
#   gui_prefix PREFIX [TEMPLATE] create (or copy) a prefix with the fonts
#   gui_display_start            Xvfb on a free display; exports DISPLAY
#   gui_session_start [NETNS]    wineserver -p (inside NETNS when given)
#   gui_wine EXE ARGS...         runs a program of the session
# Everything started here is stopped by gui_cleanup (run on exit). What a
# killed run left behind (its Xvfb, its prefix's server and programs) is
# stopped by the next run that uses the same WORK_DIR and PREFIX.
#
# Needs: wine (32-bit), Xvfb, xdotool, imagemagick, fonts-wqy-microhei.

GUI_WORK=""
GUI_XVFB_PID=""
GUI_SERVER_PID=""
GUI_NETNS=""
GUI_CLEANUPS=()

gui_log() { printf '[%s] %s\n' "$(date +%H:%M:%S)" "$*" >&2; }

gui_init() {
    GUI_WORK=$1
    mkdir -p "$GUI_WORK"
    export WINEARCH=win32 WINEDEBUG=-all LANG=C.UTF-8
    export WINEDLLOVERRIDES="mscoree,mshtml="
    trap gui_cleanup EXIT
    trap 'exit 130' INT TERM
    gui_stop_leftovers
}

# Runs a command at cleanup (last added, first run).
gui_on_cleanup() { GUI_CLEANUPS+=("$*"); }

# The wine processes (server, helpers, programs) of the current prefix.
gui_prefix_pids() {
    local d
    for d in /proc/[0-9]*; do
        case $(readlink "$d/exe" 2>/dev/null) in */wine*) ;; *) continue ;; esac
        tr '\0' '\n' 2>/dev/null <"$d/environ" | grep -qx "WINEPREFIX=$WINEPREFIX" && echo "${d#/proc/}"
    done
}

gui_stop_prefix() {
    [ -n "${WINEPREFIX:-}" ] || return 0
    # The prefix's helper processes (services, device drivers) outlive a
    # killed server: stop them by pid along with the server.
    local pids
    pids=$(gui_prefix_pids | tr '\n' ' ')
    [ -n "$pids" ] && kill -9 $pids 2>/dev/null
    [ -n "$GUI_SERVER_PID" ] && wait "$GUI_SERVER_PID" 2>/dev/null
    GUI_SERVER_PID=""
}

# An Xvfb recorded by an earlier run in this work folder that is still up
# (that run was killed before its clean-up).
gui_stop_leftovers() {
    local f="$GUI_WORK/xvfb.pid" pid
    [ -f "$f" ] || return 0
    pid=$(cat "$f" 2>/dev/null)
    if [ -n "$pid" ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = Xvfb ]; then
        gui_log "stopping the Xvfb ($pid) a killed run left"
        kill "$pid" 2>/dev/null
    fi
    rm -f "$f"
}

gui_cleanup() {
    local rc=$? i
    trap - EXIT
    for ((i = ${#GUI_CLEANUPS[@]} - 1; i >= 0; i--)); do eval "${GUI_CLEANUPS[$i]}" || true; done
    [ -n "$GUI_SERVER_PID" ] && gui_stop_prefix
    if [ -n "$GUI_XVFB_PID" ]; then
        kill "$GUI_XVFB_PID" 2>/dev/null
        wait "$GUI_XVFB_PID" 2>/dev/null
        rm -f "$GUI_WORK/xvfb.pid"
    fi
    exit $rc
}

# A UTF-16LE registry file (Wine stores the font names garbled otherwise).
gui_reg_import() {  # gui_reg_import FILE_WITH_UTF8_TEXT
    local utf16="$1.utf16"
    { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$1"; } >"$utf16"
    wine reg import "$utf16" >/dev/null 2>&1
}

# With a template (a finished prefix), a copy of it, taken under the lock
# cmake/wine-run.sh holds while it creates the template; else a new prefix.
gui_prefix() {  # gui_prefix PREFIX [TEMPLATE]
    export WINEPREFIX=$1
    local template=${2:-}
    # A server a killed run left would serve the next programs with a dead
    # display.
    gui_stop_prefix
    if [ ! -f "$WINEPREFIX/.gui-ready" ]; then
        rm -rf "$WINEPREFIX"
        mkdir -p "$(dirname "$WINEPREFIX")"
        if [ -n "$template" ] && [ -f "$template/system.reg" ] &&
            flock -w 120 "$template.lock" cp -a "$template" "$WINEPREFIX" 2>/dev/null; then
            rm -f "$WINEPREFIX/wineserver"  # names the template's server
        else
            rm -rf "$WINEPREFIX"
            (unset DISPLAY; wine wineboot -i </dev/null >/dev/null 2>&1)
            wineserver -w
        fi
        [ -f "$WINEPREFIX/system.reg" ] || { gui_log "could not create the Wine prefix $WINEPREFIX"; return 1; }
        # The skin's face and the system dialog faces (message box, tooltip)
        # drawn with the installed CJK font.
        local reg="$GUI_WORK/fonts.reg" face
        {
            printf 'Windows Registry Editor Version 5.00\r\n\r\n'
            printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
            for face in "微软雅黑" "Microsoft YaHei" "SimSun" "宋体"; do
                printf '"%s"="WenQuanYi Micro Hei"\r\n' "$face"
            done
        } >"$reg"
        (unset DISPLAY; gui_reg_import "$reg"; wineserver -w)
        touch "$WINEPREFIX/.gui-ready"
    fi
}

# Xvfb on the first free display from :90. The display is ours once the
# server runs and its lock file names it: a run that raced us to the same
# number makes our server exit, and the next number is tried.
gui_display_start() {
    local n i
    for ((n = 90; n < 200; n++)); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -br -nolisten tcp >"$GUI_WORK/xvfb.log" 2>&1 &
        GUI_XVFB_PID=$!
        echo "$GUI_XVFB_PID" >"$GUI_WORK/xvfb.pid"
        for ((i = 0; i < 200; i++)); do
            kill -0 "$GUI_XVFB_PID" 2>/dev/null || break
            if [ -e "/tmp/.X11-unix/X$n" ] && [ "$(tr -d ' \n' <"/tmp/.X$n-lock" 2>/dev/null)" = "$GUI_XVFB_PID" ]; then
                export DISPLAY=":$n"
                xdotool getmouselocation >/dev/null 2>&1 && return 0
            fi
            sleep 0.05
        done
        kill "$GUI_XVFB_PID" 2>/dev/null
        wait "$GUI_XVFB_PID" 2>/dev/null
        GUI_XVFB_PID=""
    done
    gui_log "no free X display"
    return 1
}

# The session's wineserver. With a namespace it runs inside it, so that
# every socket the programs open belongs to that namespace.
gui_session_start() {  # gui_session_start [NETNS]
    GUI_NETNS=${1:-}
    if [ -n "$GUI_NETNS" ]; then
        ip netns exec "$GUI_NETNS" env WINEPREFIX="$WINEPREFIX" wineserver -f -p >/dev/null 2>&1 &
    else
        wineserver -f -p >/dev/null 2>&1 &
    fi
    GUI_SERVER_PID=$!
    local i
    for ((i = 0; i < 100; i++)); do
        [ -n "$(gui_server_pid)" ] && break
        sleep 0.05
    done
    gui_guard_namespace
}

# The pid of the wineserver of this prefix (the real process, whatever ran it).
gui_server_pid() {
    local d
    for d in /proc/[0-9]*; do
        case $(cat "$d/comm" 2>/dev/null) in wineserver*) ;; *) continue ;; esac
        tr '\0' '\n' 2>/dev/null <"$d/environ" | grep -qx "WINEPREFIX=$WINEPREFIX" && { echo "${d#/proc/}"; return 0; }
    done
    return 1
}

# Refuses to go on unless the session's server lives in the namespace (the
# server owns the sockets: outside it, packets would reach the real network).
gui_guard_namespace() {
    [ -n "$GUI_NETNS" ] || return 0
    local pid
    pid=$(gui_server_pid) || { gui_log "no wineserver for $WINEPREFIX"; exit 1; }
    if [ "$(readlink "/proc/$pid/ns/net")" != "$(readlink "/run/netns/$GUI_NETNS" 2>/dev/null || true)" ] &&
       [ "$(stat -L -c %i "/proc/$pid/ns/net")" != "$(stat -L -c %i "/run/netns/$GUI_NETNS")" ]; then
        gui_log "the wineserver ($pid) is not in namespace $GUI_NETNS: refusing to run"
        exit 1
    fi
}

gui_wine() {  # gui_wine EXE ARGS...: in the session's namespace, if any
    gui_guard_namespace
    if [ -n "$GUI_NETNS" ]; then
        ip netns exec "$GUI_NETNS" env DISPLAY="$DISPLAY" WINEPREFIX="$WINEPREFIX" wine "$@"
    else
        wine "$@"
    fi
}

gui_window_id() {  # gui_window_id TITLE_REGEX [SECONDS]: the first visible match
    local i id
    for ((i = 0; i < ${2:-10} * 20; i++)); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.05
    done
    return 1
}

gui_visible() {  # gui_visible ID: the window exists and is mapped
    xdotool search --onlyvisible --name '' 2>/dev/null | grep -qx "$1"
}

gui_window_gone() {  # gui_window_gone ID [SECONDS]
    local i
    for ((i = 0; i < ${2:-10} * 20; i++)); do
        gui_visible "$1" || return 0
        sleep 0.05
    done
    return 1
}

gui_shot() { import -window "$1" "$2" 2>/dev/null; }                     # gui_shot ID FILE
gui_shot_root() { import -window root "$1" 2>/dev/null; }                  # gui_shot_root FILE
gui_pixel() { convert "$1" -format "%[pixel:p{$2,$3}]" info: 2>/dev/null; }  # gui_pixel FILE X Y
gui_geometry() { xdotool getwindowgeometry --shell "$1"; }                 # X= Y= WIDTH= HEIGHT=
gui_click() { xdotool mousemove --window "$1" "$2" "$3" click 1; }          # gui_click ID X Y (client)
# Keys go to the window with the input focus: focus it first (waiting for
# the focus, but not for ever).
gui_key() {
    timeout 5 xdotool windowfocus --sync "$1" 2>/dev/null
    xdotool key --window "$1" "$2" 2>/dev/null
}

# Polls a file for a pattern.
gui_wait_for() {  # gui_wait_for FILE PATTERN [SECONDS]
    local i
    for ((i = 0; i < ${3:-10} * 20; i++)); do
        grep -q -- "$2" "$1" 2>/dev/null && return 0
        sleep 0.05
    done
    return 1
}

# True when an "srgb(r,g,b)" value is within TOL of r g b.
gui_near() {  # gui_near VALUE R G B [TOL]
    awk -v s="$1" -v r="$2" -v g="$3" -v b="$4" -v t="${5:-8}" 'BEGIN {
        gsub(/[^0-9,]/, "", s); n = split(s, c, ",");
        if (n < 3) exit 1;
        d1 = c[1] - r; d2 = c[2] - g; d3 = c[3] - b;
        exit !(d1 * d1 <= t * t && d2 * d2 <= t * t && d3 * d3 <= t * t) }'
}
