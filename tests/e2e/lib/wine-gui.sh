# shellcheck shell=bash
# Wine and X for the GUI tests and the wizard's roads: a prefix with the
# skin's Chinese font mapped, a virtual X display, a wineserver for the
# session, and the helpers that find, drive and look at windows. Source
# harness.sh first, then:
#   gui_init WORK_DIR            scratch folder; clean-up registered
#   gui_prefix PREFIX [TEMPLATE] create (or copy) a prefix with the fonts,
#                                its screen at GUI_DPI (default 96)
#   gui_display_start            Xvfb on a free display, 1024x768 at
#                                GUI_DPI's scale; exports DISPLAY
#   gui_session_start            wineserver -p for the session (no network
#                                namespace: netns.sh starts those)
# Everything started here is stopped at clean-up. What a killed run left
# behind (its Xvfb, its prefix's server and programs) is stopped by the next
# run that uses the same WORK_DIR and PREFIX.
#
# Windows (X window ids; client coordinates are the window's own):
#   gui_window TITLE_RE [WxH] [SECONDS] [ALIVE...]  a visible window's id
#   gui_count TITLE_RE / gui_visible ID / gui_window_gone ID [SECONDS]
#   gui_geometry ID              sets GEOM_X GEOM_Y GEOM_W GEOM_H
#   gui_click ID X Y             like a person: move, rest, press and release
#   gui_click_at X Y [AFTER] / gui_move X Y [AFTER]   screen coordinates
#   gui_key ID KEY
#   gui_shot ID FILE / gui_shot_root FILE / gui_shot_screen_of ID FILE [ROOT]
#   gui_pixel FILE X Y / gui_near "srgb(r,g,b)" R G B [TOL]
#
# Needs: wine (32-bit), Xvfb, xdotool, imagemagick, fonts-wqy-microhei.

GUI_WORK=""
GUI_XVFB_PID=""
GUI_SERVER_PID=""

gui_init() {  # gui_init WORK_DIR
    GUI_WORK=$1
    mkdir -p "$GUI_WORK"
    export WINEARCH=win32 WINEDEBUG=-all LANG=C.UTF-8
    export WINEDLLOVERRIDES="mscoree,mshtml="
    on_cleanup gui_cleanup
    gui_stop_leftovers
}

# The wine processes (server, helpers, programs) of the current prefix. One
# find picks the candidates: a process started per /proc entry would cost
# seconds on a busy machine, and the guards ask before every wine call.
gui_prefix_pids() {
    [ -n "${WINEPREFIX:-}" ] || return 0
    local exe pid
    while read -r exe; do
        pid=${exe#/proc/}
        pid=${pid%/exe}
        tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$pid"
    done < <(find /proc -mindepth 2 -maxdepth 2 -name exe \( -lname '/usr/lib/wine/*' -o -lname '*/bin/wine*' \) 2>/dev/null)
}

# The pid of the prefix's wineserver (Debian's wrapper execs wineserver32
# or wineserver64).
gui_server_pid() {
    local pid
    for pid in $(gui_prefix_pids); do
        case $(cat "/proc/$pid/comm" 2>/dev/null) in wineserver | wineserver32 | wineserver64)
            echo "$pid"
            return 0
            ;;
        esac
    done
    return 1
}

gui_stop_prefix() {
    [ -n "${WINEPREFIX:-}" ] || return 0
    # The prefix's helper processes (services, device drivers) outlive a
    # killed server: stop them by pid along with the server.
    local pids
    mapfile -t pids < <(gui_prefix_pids)
    [ ${#pids[@]} = 0 ] || kill -9 "${pids[@]}" 2>/dev/null
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
        harness_log "stopping the Xvfb ($pid) a killed run left"
        kill "$pid" 2>/dev/null
    fi
    rm -f "$f"
}

gui_cleanup() {
    [ -n "$GUI_SERVER_PID" ] && gui_stop_prefix
    if [ -n "$GUI_XVFB_PID" ]; then
        kill "$GUI_XVFB_PID" 2>/dev/null
        wait "$GUI_XVFB_PID" 2>/dev/null
        rm -f "$GUI_WORK/xvfb.pid"
    fi
}

# A UTF-16LE registry file (Wine stores non-ASCII names garbled otherwise).
gui_reg_file() {  # gui_reg_file UTF8_TEXT_FILE OUT
    { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$1"; } >"$2"
}

# With a template (a finished prefix), a copy of it, taken under the lock
# cmake/wine-run.sh holds while it creates the template; else a new prefix.
gui_prefix() {  # gui_prefix PREFIX [TEMPLATE]
    export WINEPREFIX=$1
    local template=${2:-}
    # A server a killed run left would serve the next programs with a dead
    # display.
    gui_stop_prefix
    if [ -f "$WINEPREFIX/.gui-ready" ]; then
        gui_prefix_dpi "$WINEPREFIX" "${GUI_DPI:-96}"
        return
    fi
    rm -rf "$WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    if [ -n "$template" ] && [ -f "$template/system.reg" ] &&
        flock -w 120 "$template.lock" cp -a "$template" "$WINEPREFIX" 2>/dev/null; then
        rm -f "$WINEPREFIX/wineserver" # names the template's server
    else
        rm -rf "$WINEPREFIX"
        (unset DISPLAY; wine wineboot -i </dev/null >/dev/null 2>&1)
        wineserver -w
    fi
    [ -f "$WINEPREFIX/system.reg" ] || { harness_log "could not create the Wine prefix $WINEPREFIX"; return 1; }
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
    gui_reg_file "$reg" "$reg.utf16"
    (unset DISPLAY; wine reg import "$reg.utf16" >/dev/null 2>&1; wineserver -w)
    touch "$WINEPREFIX/.gui-ready"
    gui_prefix_dpi "$WINEPREFIX" "${GUI_DPI:-96}"
}

# The screen's DPI of a prefix: LogPixels of HKCU\Control Panel\Desktop,
# which Wine reads when each program starts (and prefers to the HKLM
# value). Written into the registry file itself, so no server of the
# prefix may run; every run writes it, 96 too, as prefixes are reused.
gui_prefix_dpi() {  # gui_prefix_dpi PREFIX DPI
    local reg=$1/user.reg
    [ -f "$reg" ] || { harness_log "no registry in $1"; return 1; }
    awk -v value="$(printf 'dword:%08x' "$2")" '
        function put() { print "\"LogPixels\"=" value; set = 1 }
        /^\[/ {
            if (inside && !set) put()
            inside = index($0, "[Control Panel\\\\Desktop] ") == 1
        }
        inside && /^"LogPixels"=/ { put(); next }
        { print }
        END {
            if (inside && !set) put()
            if (!set) { print ""; print "[Control Panel\\\\Desktop]"; put() }
        }' "$reg" >"$reg.dpi" && mv "$reg.dpi" "$reg"
}

# 1024x768 at GUI_DPI's scale, as a laptop's screen at 150 or 200 %.
gui_screen_size() {
    local dpi=${GUI_DPI:-96}
    echo "$(((1024 * dpi + 48) / 96))x$(((768 * dpi + 48) / 96))"
}

# Xvfb on the first free display from :90. The display is ours once the
# server runs and its lock file names it: a run that raced us to the same
# number makes our server exit, and the next number is tried.
gui_display_start() {
    local n i
    # One display a run: a second call keeps the first.
    [ -n "$GUI_XVFB_PID" ] && kill -0 "$GUI_XVFB_PID" 2>/dev/null && return 0
    for ((n = 90; n < 200; n++)); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 "$(gui_screen_size)x24" -br -nolisten tcp >"$GUI_WORK/xvfb.log" 2>&1 &
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
    harness_log "no free X display"
    return 1
}

# The session's server, started elsewhere (netns.sh): stopped at clean-up.
gui_adopt_server() { GUI_SERVER_PID=$1; }

gui_session_start() {
    wineserver -f -p >/dev/null 2>&1 &
    GUI_SERVER_PID=$!
    wait_until 5 0.05 gui_server_pid >/dev/null
}

# ---- windows -----------------------------------------------------------------

# The first visible window whose title matches TITLE_RE (and whose size is
# WxH, unless "-"), waiting up to SECONDS; gives up early once the command
# ALIVE... fails (the program that should show it has ended).
gui_window() {  # gui_window TITLE_RE [WxH|-] [SECONDS] [ALIVE...]
    local title=$1 size=${2:--} seconds=${3:-10} i id
    shift $(($# < 3 ? $# : 3))
    for ((i = 0; i < seconds * 10; i++)); do
        for id in $(xdotool search --onlyvisible --name "$title" 2>/dev/null); do
            if [ "$size" = - ] || { gui_geometry "$id" && [ "${GEOM_W}x$GEOM_H" = "$size" ]; }; then
                echo "$id"
                return 0
            fi
        done
        [ $# = 0 ] || "$@" || return 1
        sleep 0.1
    done
    return 1
}

gui_count() { xdotool search --onlyvisible --name "$1" 2>/dev/null | wc -l; }

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

# Reads `xdotool getwindowgeometry --shell` line by line (numbers only:
# nothing of it is run).
gui_geometry() {  # gui_geometry ID: sets GEOM_X GEOM_Y GEOM_W GEOM_H
    local key value
    GEOM_X=0 GEOM_Y=0 GEOM_W=0 GEOM_H=0
    while IFS='=' read -r key value; do
        [[ $value =~ ^-?[0-9]+$ ]] || continue
        case $key in
            X) GEOM_X=$value ;;
            Y) GEOM_Y=$value ;;
            WIDTH) GEOM_W=$value ;;
            HEIGHT) GEOM_H=$value ;;
        esac
    done < <(xdotool getwindowgeometry --shell "$1" 2>/dev/null)
    [ "$GEOM_W" -gt 0 ]
}

# ---- input -------------------------------------------------------------------

# The pointer moves there, rests, and the button goes down and up.
gui_click() { xdotool mousemove --window "$1" "$2" "$3" && sleep 0.15 && xdotool click 1; }  # gui_click ID X Y
gui_click_at() { xdotool mousemove "$1" "$2" click 1; sleep "${3:-0.3}"; }                   # gui_click_at X Y [AFTER]
gui_move() { xdotool mousemove "$1" "$2"; sleep "${3:-0.2}"; }                                # gui_move X Y [AFTER]

# Keys go to the window with the input focus: focus it first (waiting for
# the focus, but not for ever).
gui_key() {  # gui_key ID KEY
    timeout 5 xdotool windowfocus --sync "$1" 2>/dev/null
    xdotool key --window "$1" "$2" 2>/dev/null
}

# ---- the screen ----------------------------------------------------------------

gui_shot() { import -window "$1" "$2" 2>/dev/null; }                        # gui_shot ID FILE
gui_shot_root() { import -window root "$1" 2>/dev/null; }                     # gui_shot_root FILE
gui_pixel() { convert "$1" -format "%[pixel:p{$2,$3}]" info: 2>/dev/null; }  # gui_pixel FILE X Y

# The screen where window ID lies, with whatever covers it (a modal window
# over the wizard, a tooltip): cut from ROOT, a shot of the whole screen
# (taken now when not given).
gui_shot_screen_of() {  # gui_shot_screen_of ID FILE [ROOT]
    local root=${3:-$GUI_WORK/screen.png}
    gui_geometry "$1" || return 1
    [ -n "${3:-}" ] || gui_shot_root "$root" || return 1
    convert "$root" -crop "${GEOM_W}x${GEOM_H}+${GEOM_X}+${GEOM_Y}" +repage "$2"
}

# True when an "srgb(r,g,b)" value is within TOL of r g b.
gui_near() {  # gui_near VALUE R G B [TOL]
    awk -v s="$1" -v r="$2" -v g="$3" -v b="$4" -v t="${5:-8}" 'BEGIN {
        gsub(/[^0-9,]/, "", s); n = split(s, c, ",");
        if (n < 3) exit 1;
        d1 = c[1] - r; d2 = c[2] - g; d3 = c[3] - b;
        exit !(d1 * d1 <= t * t && d2 * d2 <= t * t && d3 * d3 <= t * t) }'
}
