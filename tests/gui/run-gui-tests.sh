#!/bin/bash
# The GUI tests: real windows of gui_probe.exe under Wine in a virtual X
# display, driven with real input (xdotool) and checked in screenshots
# (ImageMagick) and in the probe's log. One Xvfb and one wineserver serve
# the whole run.
#
#   run-gui-tests.sh PROBE_EXE OUT_DIR [TEMPLATE_PREFIX]
#
# OUT_DIR gets screenshots/ (one picture per tested window), logs/ (the
# probe's output per run) and the run's Wine prefix (a copy of
# TEMPLATE_PREFIX when that exists, else a new one; kept for later runs).
# Prints PASS/FAIL/INFO lines and a summary; exits 1 on any failure.
#
# Environment: GUI_TEST_DPI (default 96): the screen's DPI (the prefix's
# LogPixels) and a screen of 1024x768 at that scale (1536x1152 at 144,
# 2048x1536 at 192); the windows scale themselves, and every client
# coordinate below is a 96-DPI one scaled the framework's way (px).
# GUI_TEST_SECTIONS runs only those sections (default all at 96: "window
# alpha leak alert broken wizard"; at another DPI those whose looks and
# geometry scale: "window alert wizard", and "dpichange" at 144);
# GUI_TEST_DEADLINE (seconds, default 420): the whole run is stopped and
# cleaned up after it.
set -u
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../e2e/lib/harness.sh
. "$here/../e2e/lib/harness.sh"
# shellcheck source=../e2e/lib/wine-gui.sh
. "$here/../e2e/lib/wine-gui.sh"

if [ $# -lt 2 ]; then
    echo "usage: $0 PROBE_EXE OUT_DIR [TEMPLATE_PREFIX]" >&2
    exit 2
fi
PROBE=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
OUT=$(mkdir -p "$2" && cd "$2" && pwd)
TEMPLATE=${3:-}
SHOTS=$OUT/screenshots
LOGS=$OUT/logs
TMPD=$OUT/work/tmp
RUN_START=$(now)
DPI=${GUI_TEST_DPI:-96}
export GUI_DPI=$DPI
# A 96-DPI length (or client coordinate) in pixels at the run's DPI (or at
# another's).
px_at() { echo $((($2 * $1 + 48) / 96)); }  # px_at DPI LENGTH
px() { px_at "$DPI" "$1"; }
# A point of the window WX,WY in screen coordinates, from 96-DPI client
# coordinates.
sx() { echo $((WX + $(px "$1"))); }
sy() { echo $((WY + $(px "$1"))); }

info() { echo "INFO $*"; }
elapsed() { since "$1" 2; }

# ---- the probe's log -----------------------------------------------------------
# Each run logs to $LOGS/NAME.log; marks let a check look only at what
# came after an action.
log_has() { grep -q -- "$2" "$LOGS/$1.log"; }             # log_has NAME REGEX
log_line() { grep -m1 -- "$2" "$LOGS/$1.log"; }           # first matching line
log_field() {  # log_field NAME REGEX KEY: the value of KEY=... on the first match
    log_line "$1" "$2" | tr ' ' '\n' | sed -n "s/^$3=//p" | head -n 1
}
mark() { wc -l <"$LOGS/$1.log"; }                          # mark NAME -> line count
since_has() { tail -n +$(($2 + 1)) "$LOGS/$1.log" | grep -q -- "$3"; }  # since_has NAME MARK REGEX
since_wait() {  # since_wait NAME MARK REGEX [SECONDS]: polls since_has
    local i
    for ((i = 0; i < ${4:-10} * 20; i++)); do
        since_has "$1" "$2" "$3" && return 0
        sleep 0.05
    done
    return 1
}
# Waits for a line; gives up early once the probe has ended without it.
wait_log() {  # wait_log NAME REGEX [SECONDS]
    local i
    for ((i = 0; i < ${3:-15} * 20; i++)); do
        log_has "$1" "$2" && return 0
        probe_alive "$1" || { log_has "$1" "$2"; return; }
        sleep 0.05
    done
    return 1
}
wait_window() { gui_window "$2" - "${3:-20}" probe_alive "$1"; }  # wait_window NAME TITLE_REGEX [SECONDS]: the id

declare -A POS  # "window control" -> "left top right bottom" (client coordinates)
read_positions() {  # read_positions NAME TAG
    local tag name l t r b
    while read -r tag _ name l t r b; do
        POS["$tag $name"]="$l $t $r $b"
    done < <(grep "^$2 pos " "$LOGS/$1.log")
}
centre() {  # centre "TAG CONTROL" -> "x y"
    local l t r b
    read -r l t r b <<<"${POS[$1]:-0 0 0 0}"
    echo "$(((l + r) / 2)) $(((t + b) / 2))"
}

# ---- probes --------------------------------------------------------------------
declare -A PROBE_PID
probe_alive() { kill -0 "${PROBE_PID[$1]:-0}" 2>/dev/null; }  # probe_alive NAME
start_probe() {  # start_probe NAME ARGS...
    local name=$1
    shift
    : >"$LOGS/$name.log"
    # (wine becomes the program: its pid is the program's)
    wine "$PROBE" "$@" >"$LOGS/$name.log" 2>"$LOGS/$name.err" </dev/null &
    PROBE_PID[$name]=$!
}
finish_probe() {  # finish_probe NAME [SECONDS]: waits for the exit; sets RC (or "killed")
    local name=$1 pid=${PROBE_PID[$1]} i
    for ((i = 0; i < ${2:-15} * 20; i++)); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    if kill -0 "$pid" 2>/dev/null; then
        kill -9 "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        RC=killed
        return 1
    fi
    wait "$pid"
    RC=$?
}

# ---- screen --------------------------------------------------------------------
ROOT_SHOT=$TMPD/root.png
shoot() { gui_shot_root "$ROOT_SHOT"; }
geometry() {  # geometry ID: sets WX WY WW WH
    gui_geometry "$1"
    WX=$GEOM_X WY=$GEOM_Y WW=$GEOM_W WH=$GEOM_H
}
# The window's part of the last root screenshot, saved for a person to see.
save_shot() { gui_shot_screen_of "$2" "$SHOTS/$1" "$ROOT_SHOT"; }  # save_shot FILE_NAME ID
pixel() { gui_pixel "$ROOT_SHOT" "$1" "$2"; }
# The same after an action: the screen is given a few seconds to show it.
expect_pixel_soon() {  # expect_pixel_soon NAME X Y R G B [TOL]
    wait_pixel "$2" "$3" "$4" "$5" "$6" 5 || true
    expect_pixel "$@"
}
expect_pixel() {  # expect_pixel NAME X Y R G B [TOL] (screen coordinates)
    local got
    got=$(pixel "$2" "$3")
    if gui_near "$got" "$4" "$5" "$6" "${7:-6}"; then
        pass "$1: ($2,$3) is $got"
    else
        fail "$1: ($2,$3) is $got, expected rgb($4,$5,$6)"
    fi
}
# Waits until a screen pixel shows a colour (the window system draws a
# little after the program painted).
wait_pixel() {  # wait_pixel X Y R G B [SECONDS]
    local i
    for ((i = 0; i < ${6:-5} * 10; i++)); do
        shoot
        gui_near "$(pixel "$1" "$2")" "$3" "$4" "$5" 6 && return 0
        sleep 0.1
    done
    return 1
}

# Text drawn as glyphs, not as boxes: the text's ink is cut into one cell a
# character, each cell trimmed to its own ink; missing glyphs (one box
# shape repeated) give identical cells, real ones all differ.
glyph_check() {  # glyph_check NAME PICTURE "l t r b" CHARACTERS dark|light
    local name=$1 pic=$2 n=$4 ink=$5 l t r b
    read -r l t r b <<<"$3"
    if [ "$r" -le "$l" ] || [ "$b" -le "$t" ]; then
        fail "$name: the label's place is unknown"
        return
    fi
    local neg=()
    [ "$ink" = dark ] && neg=(-negate)
    local area=$TMPD/glyphs.png
    convert "$pic" -crop "$((r - l))x$((b - t))+$l+$t" +repage -colorspace gray -threshold 50% "${neg[@]}" \
        "$area" 2>/dev/null
    local w h x0 y0
    read -r w h x0 y0 < <(convert "$area" -trim -format '%w %h %X %Y' info: 2>/dev/null | tr -d '+')
    if [ -z "${w:-}" ] || [ "$w" -lt $((n * 4)) ]; then
        fail "$name: no text ink in the label (${w:-0} px wide)"
        return
    fi
    local i sigs=() cw sig
    for ((i = 0; i < n; i++)); do
        local cx=$((x0 + i * w / n))
        cw=$((x0 + (i + 1) * w / n - cx))
        sig=$(convert "$area" -crop "${cw}x$h+$cx+$y0" +repage -trim +repage -format '%w-%h-%#' info: 2>/dev/null)
        sigs+=("$sig")
    done
    local distinct
    distinct=$(printf '%s\n' "${sigs[@]}" | sort -u | wc -l)
    if [ "$distinct" -eq "$n" ]; then
        pass "$name: $n characters drawn as $n different glyphs (text ${w}x$h px)"
    else
        fail "$name: only $distinct different shapes among $n characters (boxes?)"
    fi
}

# ---- set-up --------------------------------------------------------------------
rm -rf "$SHOTS" "$LOGS" "$TMPD"
mkdir -p "$SHOTS" "$LOGS" "$TMPD"
harness_init gui
gui_init "$OUT/work"
# The watchdog ends with the run (also with a killed one: it checks that
# the run it watches is still the same process).
deadline=${GUI_TEST_DEADLINE:-420}
run_pid=$$
run_started=$(cut -d' ' -f22 "/proc/$run_pid/stat")
(
    for ((i = 0; i < deadline; i++)); do
        sleep 1
        [ "$(cut -d' ' -f22 "/proc/$run_pid/stat" 2>/dev/null)" = "$run_started" ] || exit 0
    done
    echo "FAIL the run took longer than $deadline s: stopped"
    kill -TERM "$run_pid"
) 2>/dev/null &
watchdog=$!
on_cleanup kill "$watchdog"
for tool in wine Xvfb xdotool import convert; do
    command -v "$tool" >/dev/null || { echo "FAIL $tool is not installed (scripts/install-deps.sh)"; exit 1; }
done
info "set-up started at $(elapsed "$RUN_START") s"
session_up() {
    local t
    t=$(now)
    gui_prefix "$OUT/wineprefix" "$TEMPLATE" || { echo "FAIL no Wine prefix"; exit 1; }
    info "prefix $WINEPREFIX ready in $(elapsed "$t") s"
    gui_display_start || { echo "FAIL no X display"; exit 1; }
    gui_session_start
    info "display $DISPLAY, wineserver pid $(gui_server_pid)"
}
# One test window opened and closed before the sections. On a machine set up
# a moment before, a session once came up in which no window could be
# created at all (every section failed at its first window): Wine's own
# errors of that start are kept (logs/first-session.err) and the session is
# set up once more.
first_window_ok() {
    WINEDEBUG=err+all,fixme-all start_probe first-window leak 1
    finish_probe first-window 30 && log_has first-window '^probe end' && ! log_has first-window 'create failed'
}
session_up
if ! first_window_ok; then
    info "no window could be created in this session (logs/first-session.*): the session is set up again"
    cp "$LOGS/first-window.log" "$LOGS/first-session.log"
    cp "$LOGS/first-window.err" "$LOGS/first-session.err"
    gui_cleanup
    rm -rf "$OUT/wineprefix"
    session_up
    first_window_ok || info "the second session cannot create a window either"
fi
read -r SCREEN_W SCREEN_H < <(xdotool getdisplaygeometry)
info "screen ${SCREEN_W}x$SCREEN_H at $DPI DPI"
# The pointer parked in a corner no window covers.
park() { gui_move $((SCREEN_W - 4)) $((SCREEN_H - 8)) "${1:-0.2}"; }
park 0

# ---- 1. the test window ------------------------------------------------------------
test_window() {
    local t0 id
    t0=$(now)
    start_probe window window
    if ! id=$(wait_window window '^VeneerGuiMain$' 20) || ! wait_log window "^main painted" 10; then
        fail "test window: not shown"
        finish_probe window 1
        return
    fi
    read_positions window main
    local WX WY WW WH
    geometry "$id"
    # The centre piece of the background shows below the buttons.
    local cx cy
    cx=$(sx 180) cy=$(sy 228)
    if wait_pixel "$cx" "$cy" 230 230 230 5; then
        info "test window: painted pixel on screen $(elapsed "$t0") s after the start of wine"
    fi
    info "test window: $(log_line window '^main painted' | cut -d' ' -f3-4); GDI objects held: $(log_field window '^main gdi_objects_held' gdi_objects_held)"
    save_shot main.png "$id"

    # Placement: centred on the work area (the whole screen here), at the
    # skin's size scaled.
    check "test window: centred on the screen at $WX,$WY (${WW}x$WH)" \
        test "$WX" -eq $((SCREEN_W / 2 - WW / 2)) -a "$WY" -eq $((SCREEN_H / 2 - WH / 2)) -a "$WW" -eq "$(px 360)" \
        -a "$WH" -eq "$(px 260)"

    # Painting: the nine pieces of grid.png (corner 10), the gradient, the
    # border, a half-transparent image and the rounded corners.
    expect_pixel "paint: top-left corner piece" "$(sx 6)" "$(sy 6)" 200 40 40
    expect_pixel "paint: top edge piece (stretched)" "$(sx 250)" "$(sy 4)" 40 160 40
    expect_pixel "paint: top-right corner piece" $((WX + WW - $(px 7))) "$(sy 6)" 40 40 200
    expect_pixel "paint: left edge piece" "$(sx 4)" "$(sy 130)" 200 200 40
    expect_pixel "paint: middle piece" "$cx" "$cy" 230 230 230
    expect_pixel "paint: right edge piece" $((WX + WW - $(px 5))) "$(sy 130)" 40 200 200
    expect_pixel "paint: bottom-left corner piece" "$(sx 6)" $((WY + WH - $(px 7))) 200 40 200
    expect_pixel "paint: bottom edge piece" "$(sx 180)" $((WY + WH - $(px 5))) 240 140 20
    expect_pixel "paint: bottom-right corner piece" $((WX + WW - $(px 7))) $((WY + WH - $(px 7))) 110 60 20
    local l t r b
    read -r l t r b <<<"${POS[main grad]:-0 0 0 0}"
    expect_pixel "paint: border colour" $((WX + l + 1)) $((WY + (t + b) / 2)) 255 0 128 0
    expect_pixel "paint: gradient's first band (top colour)" $((WX + (l + r) / 2)) $((WY + t + $(px 3))) 32 80 160 0
    expect_pixel "paint: gradient's last band (bottom colour)" $((WX + (l + r) / 2)) $((WY + b - $(px 4))) 160 208 240 0
    expect_pixel "paint: gradient half way" $((WX + (l + r) / 2)) $((WY + (t + b) / 2)) 96 144 200 12
    read -r l t r b <<<"${POS[main alphaimg]:-0 0 0 0}"
    expect_pixel "paint: opaque image pixels" $((WX + l + $(px 10))) $((WY + (t + b) / 2)) 0 0 255 2
    expect_pixel "paint: alpha 128 image pixels blended over white" $((WX + r - $(px 10))) $((WY + (t + b) / 2)) \
        255 127 127 2
    read -r l t r b <<<"${POS[main okbtn]:-0 0 0 0}"
    expect_pixel "paint: button image, nine-grid edge" $((WX + l + $(px 4))) $((WY + t + $(px 4))) 20 100 60
    expect_pixel "paint: button image, stretched middle" $((WX + l + $(px 25))) $((WY + t + $(px 4))) 30 150 90
    expect_pixel "rounded corner: top-left cut (desktop)" "$WX" "$WY" 0 0 0 0
    expect_pixel "rounded corner: top-right cut" $((WX + WW - 1)) "$WY" 0 0 0 0
    expect_pixel "rounded corner: bottom-left cut" "$WX" $((WY + WH - 1)) 0 0 0 0
    expect_pixel "rounded corner: bottom-right cut" $((WX + WW - 1)) $((WY + WH - 1)) 0 0 0 0
    local shot=$SHOTS/main.png
    check "text: 修复完成测试 in 微软雅黑 has every glyph ($(log_line window '^font ' | cut -d' ' -f2-))" \
        log_has window "^font face=微软雅黑 missing_glyphs=0/6"
    glyph_check "text: 修复完成测试 on screen" "$shot" "${POS[main lb_cjk]:-0 0 0 0}" 6 dark

    # Keys: Return does nothing by default (nothing is focused that takes it).
    local m
    m=$(mark window)
    gui_key "$id" Return
    since_wait window "$m" "main input keydown 0x0D"
    sleep 0.3
    since_has window "$m" 'main input keydown 0x0D' && ! since_has window "$m" 'close\|notify click' && gui_visible "$id"
    verdict "keys: Return neither closes the window nor clicks" $?

    # Timers run through the host's records: the first local id is 17, each
    # timer stops when killed.
    log_has window 'main timer id=7 set=1 local_id=17' && log_has window 'main timer id=8 set=1 local_id=18'
    verdict "timers: first timer has local id 17, the second 18" $?
    wait_log window 'main timer id=7 killed=1 after_ticks=5' && wait_log window 'main timer id=8 killed=1 after_ticks=3'
    verdict "timers: fired as the control's \"timer\" notification and stopped by KillTimer" $?

    # Hover: the button's hot image.
    read -r l t r b <<<"${POS[main okbtn]:-0 0 0 0}"
    gui_move $((WX + l + $(px 30))) $((WY + t + $(px 20))) 0.1
    expect_pixel_soon "hover: button shows its hot image" $((WX + l + $(px 45))) $((WY + t + $(px 4))) 40 110 220
    save_shot main-hot.png "$id"
    gui_move "$(sx 180)" "$(sy 228)" 0.1
    expect_pixel_soon "hover: normal image again after leaving" $((WX + l + $(px 45))) $((WY + t + $(px 4))) 30 150 90

    # The tooltip: shown on hover after its delay, with its text, hidden on
    # leaving. (Its face is the system's: the prefix maps SimSun for CJK.)
    local bx by
    read -r bx by < <(centre "main capbtn")
    m=$(mark window)
    gui_move $((WX + bx)) $((WY + by)) 0.1
    gui_move $((WX + bx + 2)) $((WY + by)) 0.1
    if since_wait window "$m" "main tooltip visible=1" 5; then
        local line
        line=$(tail -n +$((m + 1)) "$LOGS/window.log" | grep -m1 "main tooltip visible=1")
        [[ $line == *'text=标题按钮' ]]
        verdict "tooltip: shows the control's text" $?
        local tl tt tr tb
        [[ $line =~ \ rect\ ([-0-9 ]*)\ text= ]]
        read -r tl tt tr tb <<<"${BASH_REMATCH[1]:-}"
        sleep 0.3
        shoot
        convert "$ROOT_SHOT" -crop "$((tr - tl))x$((tb - tt))+$tl+$tt" +repage "$SHOTS/tooltip.png"
        glyph_check "tooltip: text on screen" "$SHOTS/tooltip.png" "3 3 $((tr - tl - 3)) $((tb - tt - 3))" 4 dark
    else
        fail "tooltip: not shown on hover"
    fi
    m=$(mark window)
    gui_move "$(sx 180)" "$(sy 228)" 0.1
    check "tooltip: hidden after leaving" since_wait window "$m" "main tooltip visible=0" 5

    # Leaving the window: one leave message, not a stream of them.
    m=$(mark window)
    park 0.1
    since_wait window "$m" "main input mouseleave" 10
    sleep 0.5
    local leaves
    leaves=$(tail -n +$((m + 1)) "$LOGS/window.log" | grep -c "main input mouseleave")
    check "mouse leave: one leave message when the mouse leaves the window (got $leaves)" test "$leaves" -eq 1
    gui_move "$(sx 180)" "$(sy 228)" 0.2

    # Clicks reach the window's notify handler.
    read -r bx by < <(centre "main okbtn")
    m=$(mark window)
    gui_click_at $((WX + bx)) $((WY + by))
    check "click: reaches the window's notify handler" since_wait window "$m" "main notify click okbtn"
    # Press, leave, release: no click; press, leave, come back, release: one.
    m=$(mark window)
    gui_move $((WX + bx)) $((WY + by)) 0.1
    xdotool mousedown 1; sleep 0.2
    gui_move "$(sx 180)" "$(sy 228)" 0.2
    xdotool mouseup 1
    since_wait window "$m" "main input lbuttonup"
    since_has window "$m" 'main input lbuttonup' && ! since_has window "$m" 'notify click'
    verdict "click: press, leave, release sends no click" $?
    m=$(mark window)
    gui_move $((WX + bx)) $((WY + by)) 0.1
    xdotool mousedown 1; sleep 0.2
    gui_move "$(sx 180)" "$(sy 228)" 0.2
    gui_move $((WX + bx + 5)) $((WY + by)) 0.2
    xdotool mouseup 1
    since_wait window "$m" "main input lbuttonup"
    check "click: press, leave, come back, release sends one click" \
        test "$(tail -n +$((m + 1)) "$LOGS/window.log" | grep -c 'notify click okbtn')" -eq 1

    # The caption: a button inside it stays clickable, the label drags the
    # window, a double click does not maximise it.
    read -r bx by < <(centre "main capbtn")
    m=$(mark window)
    gui_click_at $((WX + bx)) $((WY + by))
    since_wait window "$m" "main input lbuttonup"
    local X0=$WX Y0=$WY
    geometry "$id"
    since_has window "$m" 'main notify click capbtn' && test "$WX,$WY" = "$X0,$Y0"
    verdict "caption: a button inside it is clickable (and does not move the window)" $?
    local x0 y0 i
    x0=$(sx 60) y0=$(sy 16)
    gui_move "$x0" "$y0" 0.2
    xdotool mousedown 1; sleep 0.3
    for i in 1 2 3 4 5; do gui_move $((x0 + 12 * i)) $((y0 + 8 * i)) 0.1; done
    sleep 0.3
    xdotool mouseup 1
    for i in {1..50}; do
        geometry "$id"
        [ "$WX,$WY" = "$((X0 + 60)),$((Y0 + 40))" ] && break
        sleep 0.1
    done
    check "caption: dragging the label moved the window by (+60,+40) to $WX,$WY" \
        test "$WX,$WY" = "$((X0 + 60)),$((Y0 + 40))"
    X0=$WX Y0=$WY
    m=$(mark window)
    gui_move "$(sx 60)" "$(sy 16)" 0.2
    xdotool click --repeat 2 --delay 80 1
    check "caption: a double click asks to maximise (SC_MAXIMIZE reached the window)" \
        since_wait window "$m" "main syscommand 0xF030"
    sleep 0.3
    geometry "$id"
    test "$WX,$WY,$WW,$WH" = "$X0,$Y0,$(px 360),$(px 260)" && ! since_has window "$m" 'main zoomed=1'
    verdict "caption: ... and the window stays as it was (${WW}x$WH at $WX,$WY, not zoomed)" $?
    expect_pixel_soon "paint: repainted after the move" "$(sx 180)" "$(sy 228)" 230 230 230
    save_shot main-moved.png "$id"

    # Modal windows: the owner is disabled while one runs; a second one over
    # the disabled owner is refused with -1; the owner works again after.
    read -r bx by < <(centre "main modalbtn")
    m=$(mark window)
    gui_click_at $((WX + bx)) $((WY + by)) 0.1
    local mid
    if ! mid=$(wait_window window '^VeneerGuiModal$' 10) || ! wait_log window "^modal painted" 10; then
        fail "modal: window not shown"
    else
        read_positions window modal
        local MX MY MW MH
        geometry "$mid"
        MX=$WX MY=$WY MW=$WW MH=$WH
        geometry "$id"
        wait_pixel $((MX + $(px 120))) $((MY + $(px 70))) 64 72 88 3
        save_shot modal.png "$mid"
        check "modal: centred on its owner" \
            test "$MX,$MY" = "$(((2 * WX + WW) / 2 - MW / 2)),$(((2 * WY + WH) / 2 - MH / 2))"
        check "modal: the owner is disabled while it runs" log_has window "^modal painted .*owner_enabled=0"
        local m2
        m2=$(mark window)
        read -r bx by < <(centre "main okbtn")
        gui_click_at $((WX + bx)) $((WY + by))
        ! since_has window "$m2" 'main notify click'
        verdict "modal: a click on the disabled owner does nothing" $?
        read -r bx by < <(centre "modal againbtn")
        gui_click_at $((MX + bx)) $((MY + by)) 0.1
        check "modal: a second modal window over the disabled owner returns -1 at once" \
            wait_log window "^second result=-1 exists=0 owner_enabled=0"
        read -r bx by < <(centre "modal closebtn")
        gui_click_at $((MX + bx)) $((MY + by)) 0.1
        wait_log window "^modal result=" 10
        check "modal: \"closebtn\" closes it with 1 and the owner is enabled again" \
            log_has window "^modal result=1 owner_enabled=1"
        info "modal: destroyed $(log_field window '^modal destroyed' ms_after_close) ms after its close message"
        m2=$(mark window)
        read -r bx by < <(centre "main okbtn")
        gui_click_at $((WX + bx)) $((WY + by))
        check "modal: the owner takes clicks again" since_wait window "$m2" "main notify click okbtn"
    fi

    # Escape closes the window with result 1.
    m=$(mark window)
    gui_key "$id" Escape
    finish_probe window 15
    check "keys: Escape closes the window with 1" since_has window "$m" "^main close wparam=1"
    check "test window: the program ends normally (exit code $RC)" test "$RC" = 0
    ! log_has window tick_after_kill
    verdict "timers: no tick after KillTimer" $?
    info "test window: destroyed $(log_field window '^main destroyed' ms_after_close) ms after its close message"
}

# ---- 2. "alpha" and "layerd" ---------------------------------------------------------
test_alpha() {
    local done_file=$TMPD/alpha.done
    rm -f "$done_file"
    start_probe alpha alpha "Z:${done_file//\//\\}"
    if ! wait_log alpha "^alpha ready" 20; then
        fail "alpha: windows not shown"
        finish_probe alpha 1
        return
    fi
    check "alpha 255: layered, constant alpha 255" log_has alpha "^alpha255 layered=1 attributes=1 alpha=255 lwa_alpha=1"
    check "alpha 300: not layered" log_has alpha "^alpha300 layered=0"
    check "layerd: layered (pushed with per-pixel alpha)" log_has alpha "^layered layered=1"
    local a b c
    a=$(gui_window '^VeneerGui-alpha255$' - 5) && b=$(gui_window '^VeneerGui-alpha300$' - 5) &&
        c=$(gui_window '^VeneerGui-layered$' - 5)
    wait_pixel 120 90 32 128 64 5
    wait_pixel 320 90 128 32 64 5
    wait_pixel 450 50 0 128 128 5
    expect_pixel "alpha 255: drawn opaque" 120 90 32 128 64 0
    expect_pixel "alpha 300: drawn" 320 90 128 32 64 0
    expect_pixel "layerd: opaque pixels drawn" 450 50 0 128 128 0
    expect_pixel "layerd: alpha-0 pixels show what is below (desktop)" 520 90 0 0 0 0
    [ -n "${a:-}" ] && save_shot alpha255.png "$a"
    [ -n "${b:-}" ] && save_shot alpha300.png "$b"
    [ -n "${c:-}" ] && save_shot layered.png "$c"
    touch "$done_file"
    finish_probe alpha 15
    check "alpha: the program ends normally (exit code $RC)" test "$RC" = 0
}

# ---- 3. no GDI objects or windows left behind ------------------------------------------
test_leak() {
    local rounds=20
    start_probe leak leak "$rounds"
    finish_probe leak 60
    check "leak: the program ends normally (exit code $RC)" test "$RC" = 0
    local tag line held before after wb wa
    for tag in main layered alpha; do
        line=$(log_line leak "^$tag leak rounds=")
        if [ -z "$line" ]; then
            fail "leak: no figures for the $tag window"
            continue
        fi
        held=$(log_field leak "^$tag leak" gdi_held_per_window)
        before=$(log_field leak "^$tag leak" gdi_before)
        after=$(log_field leak "^$tag leak" gdi_after)
        wb=$(log_field leak "^$tag leak" windows_before)
        wa=$(log_field leak "^$tag leak" windows_after)
        info "leak: $tag window holds $held GDI objects while shown; after $rounds open/close: GDI $before -> $after, windows $wb -> $wa"
        check "leak: $tag window, $rounds times opened and closed: no GDI object left ($before -> $after)" \
            test "$after" -le "$before"
        check "leak: $tag window: no window left ($wb -> $wa)" test "$wa" -le "$wb"
    done
    check "leak: a window whose object goes first is destroyed with it" log_has leak "^orphan window_left=0"
    check "leak: one window class, and no window of it left (it unregisters once)" \
        log_has leak "^class VeneerGuiTest registered=1 unregister_first=1 error=0 unregister_second=0"
}

# ---- 4. the alert ----------------------------------------------------------------
ALERT_TITLE='^瓦川DEzed修复向导$'
alert_window() {  # alert_window N: the alert's X window (a new one each time)
    local i id
    for ((i = 0; i < 100; i++)); do
        for id in $(xdotool search --onlyvisible --name "$ALERT_TITLE" 2>/dev/null); do
            [[ " $ALERTS_SEEN " == *" $id "* ]] && continue
            ALERTS_SEEN+=" $id"
            echo "$id"
            return 0
        done
        sleep 0.1
    done
    return 1
}
# The label shows text in the skin's text colour #D6D6E6.
text_pixels() {  # text_pixels PICTURE "l t r b" -> count
    local l t r b
    read -r l t r b <<<"$2"
    if [ "$r" -le "$l" ] || [ "$b" -le "$t" ]; then
        echo 0
        return
    fi
    convert "$1" -crop "$((r - l))x$((b - t))+$l+$t" +repage -fuzz 12% -fill black +opaque 'rgb(214,214,230)' \
        -fill white -opaque 'rgb(214,214,230)' -format '%[fx:int(mean*w*h+0.5)]' info: 2>/dev/null
}
alert_round() {  # alert_round N TITLE MESSAGE OWNER(none|window) HOW(bt_close|bt_close_down|Escape)
    local n=$1 title=$2 message=$3 owner=$4 how=$5 id
    if ! wait_log alert "^alert$n up" 20 || ! id=$(alert_window "$n"); then
        fail "alert $n: not shown"
        return 1
    fi
    read_positions alert "alert$n"
    local WX WY WW WH
    geometry "$id"
    local m shot=$SHOTS/alert-$n.png i
    m=$(mark alert)
    # Drawn once the message shows on the screen.
    for ((i = 0; i < 50; i++)); do
        shoot
        save_shot "alert-$n.png" "$id"
        [ "$(text_pixels "$shot" "${POS[alert$n lb_content]:-0 0 0 0}")" -gt 20 ] 2>/dev/null && break
        sleep 0.1
    done
    check "alert $n: ${WW}x$WH" test "${WW}x$WH" = "$(px 240)x$(px 210)"
    if [ "$owner" = window ]; then  # the owner: 600x400 at 20,20 (scaled)
        check "alert $n: centred on its owner" \
            test "$WX,$WY" = "$(((2 * $(px 20) + $(px 600)) / 2 - WW / 2)),$(((2 * $(px 20) + $(px 400)) / 2 - WH / 2))"
    else
        check "alert $n: centred on the screen" test "$WX,$WY" = "$((SCREEN_W / 2 - WW / 2)),$((SCREEN_H / 2 - WH / 2))"
    fi
    check "alert $n: title \"$title\" in lb_title" log_has alert "^alert$n text lb_title=$title\$"
    check "alert $n: message \"$message\" in lb_content" log_has alert "^alert$n text lb_content=$message\$"
    local tp cp
    tp=$(text_pixels "$shot" "${POS[alert$n lb_title]:-0 0 0 0}")
    cp=$(text_pixels "$shot" "${POS[alert$n lb_content]:-0 0 0 0}")
    check "alert $n: title and message drawn in #D6D6E6 ($tp and $cp pixels)" test "${tp:-0}" -gt 20 -a "${cp:-0}" -gt 20
    glyph_check "alert $n: message on screen" "$shot" "${POS[alert$n lb_content]:-0 0 0 0}" "$(printf '%s' "$message" | wc -m)" light
    # The alert lies over the owner window: its cut corner shows the owner.
    expect_pixel "alert $n: rounded corner cut (the window below shows)" "$WX" "$WY" 60 90 60 0
    if [ "$owner" = window ]; then
        check "alert $n: its owner is disabled meanwhile" log_has alert "^alert$n up owner=window owner_window_enabled=0"
        local om
        om=$(mark alert)
        gui_click_at "$(px 30)" "$(px 30)"
        ! since_has alert "$om" 'owner click'
        verdict "alert $n: a click on the disabled owner does nothing" $?
    else
        check "alert $n: without an owner nothing is disabled" log_has alert "^alert$n up owner=none owner_window_enabled=1"
    fi
    local t
    t=$(now)
    case $how in
        Escape) gui_key "$id" Escape ;;
        *)
            local bx by
            read -r bx by < <(centre "alert$n $how")
            gui_click_at $((WX + bx)) $((WY + by)) 0.1
            ;;
    esac
    if wait_log alert "^alert$n returned" 10; then
        pass "alert $n: \"$how\" closes it ($(elapsed "$t") s)"
    else
        fail "alert $n: \"$how\" did not close it"
        return 1
    fi
    check "alert $n: afterwards the owner window is enabled" log_has alert "^alert$n returned owner_window_enabled=1"
}
test_alert() {
    ALERTS_SEEN=""
    start_probe alert alert 10
    alert_round 1 "瓦川RAvozoder" "修复程序正在运行" none bt_close &&
        alert_round 2 "瓦川QX" "修复失败" window bt_close_down &&
        alert_round 3 "瓦川QX" "修复失败" window Escape
    # A quit message while an alert is up (the program being told to end).
    if wait_log alert "^alert4 returned" 15; then
        check "alert 4: a quit message ends it; its window is gone and the quit message is posted again" \
            log_has alert "^alert4 returned window_left=0 quit_reposted=1 code=7"
        check "alert 4: destroying the owner afterwards is safe" wait_log alert "^owner destroyed" 10
    else
        fail "alert 4: a quit message did not end it"
    fi
    finish_probe alert 30
    check "alert: the program ends normally (exit code $RC)" test "$RC" = 0
    local held before after
    held=$(log_field alert "^confirm leak" gdi_held_per_window)
    before=$(log_field alert "^confirm leak" gdi_before)
    after=$(log_field alert "^confirm leak" gdi_after)
    info "leak: the alert's form holds ${held:-?} GDI objects while shown; after 10 open/close: GDI ${before:-?} -> ${after:-?}"
    check "leak: the alert's form, 10 times opened and closed: no GDI object left" \
        test -n "$before" -a -n "$after" -a "${after:-1}" -le "${before:-0}"
    check "leak: class \"Confirm\" registered once, no window of it left" \
        log_has alert "^class Confirm registered=1 unregister_first=1 error=0 unregister_second=0"
}

# ---- 5. a skin that cannot be built -------------------------------------------------
test_broken() {
    start_probe broken broken
    local id
    if ! id=$(wait_window broken '^Veneer$' 20); then
        fail "broken skin: no \"Veneer\" message box"
        finish_probe broken 1
        return
    fi
    sleep 0.5
    shoot
    save_shot msgbox.png "$id"
    pass "broken skin: the \"Veneer\" message box is shown"
    log_has broken '^broken creating' && ! log_has broken 'broken created'
    verdict "broken skin: the window is never created" $?
    gui_key "$id" Return
    finish_probe broken 15
    check "broken skin: the program ends with exit code 1 after the message box (got $RC)" test "$RC" = 1

    # The program's own hook instead of the default: no message box, the
    # creation fails and the program goes on.
    start_probe brokenhook broken-hook
    finish_probe brokenhook 15
    check "broken skin, hooked: the hook gets the message box's text and title" \
        log_has brokenhook '^brokenhook hook text=加载资源文件失败 title=Veneer$'
    check "broken skin, hooked: the creation fails and leaves no window" \
        log_has brokenhook '^brokenhook created hwnd=none windows_left=0$'
    check "broken skin, hooked: the program goes on to its end" log_has brokenhook '^probe end rc=0'
    check "broken skin, hooked: exit code 0 (got $RC)" test "$RC" = 0
}

# ---- 6. the repair wizard ------------------------------------------------------------
# The real window on the engine's fakes (gui_wizard.cpp): each scenario leads
# it into one of its states; the window's view is in the probe's log.
WIZ_TITLE='^瓦川RAvozoder$'
# Client points at 96 DPI, scaled to the run's.
WIZ_START=("$(px 290)" "$(px 324)")  # "下一步"
WIZ_DONE=("$(px 425)" "$(px 192)")   # "确定"
WIZ_CLOSE=("$(px 558)" "$(px 18)")   # the title strip's close button
WIZ_ALERT_CLOSE=("$(px 120)" "$(px 157)")
WX=0 WY=0
wizard_open() {  # wizard_open NAME SCENARIO [TRIGGER]: page 1 offering 下一步; sets WID, WX, WY
    start_probe "$1" wizard "$2" ${3:+"$3"}
    local WW WH
    if ! WID=$(wait_window "$1" "$WIZ_TITLE" 20); then
        fail "$1: no wizard window"
        return 1
    fi
    geometry "$WID"
    if ! wait_log "$1" "^wizard view page=1 start=1" 30; then
        fail "$1: page 1 never offered 下一步"
        return 1
    fi
    # The X window can show before its move to the middle of the screen is
    # seen (read at 0,0 on a loaded machine): the probe centres it.
    wait_until 5 0.1 wizard_centred || info "$1: the window at $WX,$WY is not in the middle of the screen"
    park 0.1
}
# shellcheck disable=SC2317  # called through wait_until
wizard_centred() {
    local screen_w screen_h
    read -r screen_w screen_h < <(xdotool getdisplaygeometry)
    geometry "$WID"
    [ "$WX" = $((screen_w / 2 - WW / 2)) ] && [ "$WY" = $((screen_h / 2 - WH / 2)) ]
}
# Client coordinates, taken relative to the window where it is now.
wizard_click() { gui_click "$WID" "$1" "$2"; sleep "${3:-0.3}"; }
wizard_shot() {  # wizard_shot FILE: the window as it is now
    sleep "${2:-0.5}"
    shoot
    save_shot "$1" "$WID"
}
# The last view line, and a field of it (fields run to the next " key=").
wizard_view() { grep '^wizard view ' "$LOGS/$1.log" | tail -n 1; }
# The first view that shows the failure face.
wizard_face() { grep '^wizard view .* cause=[^<]' "$LOGS/$1.log" | head -n 1; }
# shellcheck disable=SC2317  # called through check
wizard_face_says() { wizard_face_field "$1" "$2" | grep -qF -- "$3"; }  # wizard_face_says NAME FIELD TEXT
wizard_face_field() { wizard_face "$1" | sed -n "s/.* $2=\(.*\)/\1/p" | sed 's/ [a-z]*=.*//'; }
wizard_field() { wizard_view "$1" | sed -n "s/.* $2=\(.*\)/\1/p" | sed 's/ [a-z]*=.*//'; }
# The place of a control in the last layout logged (client coordinates).
wizard_pos() { grep "^wizard pos $2 " "$LOGS/$1.log" | tail -n 1 | cut -d' ' -f4-; }
# Nothing of the failure face overlaps or leaves the window; the texts end
# inside their column.
wizard_layout_ok() {  # wizard_layout_ok NAME
    local ct cr cb nt nr nb rt rr rb ql qt qr qb
    read -r _ ct cr cb <<<"$(wizard_pos "$1" repair_cause)"
    read -r _ nt nr nb <<<"$(wizard_pos "$1" repair_next)"
    read -r _ rt rr rb <<<"$(wizard_pos "$1" repair_btn_retry)"
    read -r ql qt qr qb <<<"$(wizard_pos "$1" repair_btn_quit)"
    [ -n "${cb:-}" ] && [ -n "${nb:-}" ] && [ -n "${rb:-}" ] && [ -n "${qb:-}" ] &&
        [ "$ct" -ge "$(px 126)" ] && [ "$nt" -ge "$cb" ] && [ "$rt" -ge "$nb" ] && [ "$qt" = "$rt" ] &&
        [ "$ql" -ge "$rr" ] && [ "$rb" -le "$(px 374)" ] && [ "$cr" -le "$(px 575)" ] && [ "$nr" -le "$(px 575)" ] &&
        [ "$qr" -le "$(px 575)" ]
}
# Teal fill pixels of the bar's middle row in the last screenshot.
wizard_fill() {
    convert "$ROOT_SHOT" -crop "$(px 240)x1+$(sx 305)+$(sy 158)" +repage -fx 'g > 0.6 && r < 0.3 ? 1 : 0' \
        -format '%[fx:round(mean * w)]' info: 2>/dev/null
}
# Clicks 下一步 and waits for page 1 to go; a click the window missed (a
# loaded machine) is tried once more.
wizard_press_start() {  # wizard_press_start NAME
    local try
    for try in 1 2; do
        wizard_click "${WIZ_START[@]}"
        wait_until 5 0.1 wizard_left_page1 "$1" && return 0
        info "$1: 下一步 not taken (click $try)"
        shoot
        cp "$ROOT_SHOT" "$SHOTS/missed-$1-$try.png"
        info "$1: the window at $WX,$WY; the pointer at $(xdotool getmouselocation 2>&1)"
    done
    return 1
}
# shellcheck disable=SC2317  # called through wait_until
wizard_left_page1() { grep -q '^wizard view page=[^1]' "$LOGS/$1.log"; }
wizard_end() {  # wizard_end NAME: closes the window (title strip) and waits for the exit
    wizard_click "${WIZ_CLOSE[@]}" 0.1
    finish_probe "$1" 20
}

wizard_upload() {
    local n=wizard-upload fill1 fill2
    wizard_open "$n" upload || return
    info "wizard: $(log_line "$n" '^wizard first paint' | cut -d' ' -f2-)"
    local WW WH
    geometry "$WID"
    check "wizard: the window is 580x374 at 96 DPI, scaled: ${WW}x$WH" \
        test "${WW}x$WH" = "$(px 580)x$(px 374)"
    wizard_press_start "$n"
    check "wizard: 下一步 shows page 2" wait_log "$n" "^wizard view page=2 start=0 progress=[0-9]* notice=<hidden> heading=正在修复\.\.\. " 10
    # The box holds the upload at 37 % for three seconds.
    if ! wait_log "$n" "progress=437 .* status=正在传输固件… amount=37%  2\.1 / 5\.6 MB " 30; then
        fail "wizard: the upload never showed 37 % (bar at 437, status and amount)"
        return
    fi
    pass "wizard: at 37 % of the upload: the bar at 437 of 600, the status line, the amount beside the bar"
    wizard_shot wizard-2-upload-37.png 0.3
    fill1=$(wizard_fill)
    local part=$(($(px 240) * 437 / 600))
    check "wizard: the bar's fill covers 437/600 of its track (${fill1:-?} of $(px 240) pixels)" \
        test "${fill1:-0}" -ge $((part - 2)) -a "${fill1:-0}" -le $((part + 2))
    check "wizard: the upload's end shows 100 %" wait_log "$n" "amount=100%  5\.6 / 5\.6 MB " 30
    if ! wait_log "$n" "^wizard view page=3 " 30; then
        fail "wizard: page 3 never shown"
        return
    fi
    wizard_shot wizard-3-done.png
    fill2=$(wizard_fill)
    check "wizard: page 3 shows a full bar (${fill2:-?} pixels)" test "${fill2:-0}" -ge "$(px 236)"
    wizard_click "${WIZ_DONE[@]}" 0.1
    finish_probe "$n" 20
    check "wizard: 确定 ends it with exit code 0 (got $RC)" test "$RC" = 0
    check "wizard: the machine is as before" log_has "$n" "^wizard end commands=4 rules=0 journal=0 address=10.20.30.40 dhcp=1 sent=1"
}

wizard_cable() {
    local n=wizard-cable
    wizard_open "$n" cable || return
    wizard_press_start "$n"
    if ! wait_log "$n" "status=没有检测到网线，插好后会自动继续。" 15; then
        fail "wizard: no cable: the status line never asked for it"
        return
    fi
    wizard_shot wizard-2-cable.png
    pass "wizard: no cable: the wizard asks for it and waits"
    wizard_end "$n"
    check "wizard: closed while waiting for the cable: ends at once (exit code $RC)" test "$RC" = 0
    check "wizard: nothing was changed" log_has "$n" "^wizard end commands=0 rules=0 journal=0"
}

wizard_notice() {  # wizard_notice SCENARIO TEXT
    local n=wizard-$1
    wizard_open "$n" "$1" || return
    check "wizard: $1: page 1 says: $2" test "$(wizard_field "$n" notice)" = "$2"
    wizard_shot "wizard-1-$1.png"
    wizard_end "$n"
    check "wizard: $1: closed (exit code $RC)" test "$RC" = 0
}

# A failure: the alert over the failure face, then the face itself.
wizard_failure() {  # wizard_failure SCENARIO ALERT CAUSE NEXT AFTER(retry|quit)
    local scn=$1 n=wizard-$1 alert
    wizard_open "$n" "$scn" || return
    wizard_press_start "$n"
    if [ "$scn" = silent ]; then
        # The clean-up after the failure: the window shows it and answers.
        if wait_log "$n" "^wizard cleanup held" 40; then
            start_probe ping ping QX_REPAIR 3
            check "wizard: during the clean-up the status line says so" \
                wait_log "$n" "status=修复未成功，正在恢复网络设置… amount=<hidden> " 5
            wizard_shot wizard-2-cleanup.png 0.3
            finish_probe ping 10
            check "wizard: during the clean-up the window answers within 2 s ($(grep '^ping summary' "$LOGS/ping.log"))" \
                log_has ping "^ping summary count=[1-9][0-9]* longest_ms=[0-9]* timeouts=0"
        else
            fail "wizard: silent box: no clean-up seen"
        fi
    fi
    if ! wait_log "$n" "^wizard alert up title=瓦川QX message=$2\$" 40 || ! alert=$(wait_window "$n" '^瓦川DEzed修复向导$' 10); then
        fail "wizard: $scn: no alert \"$2\""
        wizard_end "$n"
        return
    fi
    wizard_shot "wizard-fail-$scn-alert.png"
    pass "wizard: $scn: the alert says $2"
    gui_click "$alert" "${WIZ_ALERT_CLOSE[@]}"
    sleep 0.1
    gui_window_gone "$alert" 10
    wizard_shot "wizard-fail-$scn.png"
    check "wizard: $scn: the failure face says why: $3" test "$(wizard_face_field "$n" cause)" = "$3"
    check "wizard: $scn: and what to do next" wizard_face_says "$n" next "$4"
    check "wizard: $scn: the bar and the status line make way" test "$(wizard_face_field "$n" progress)" = -1
    if wizard_layout_ok "$n"; then
        pass "wizard: $scn: nothing of the face overlaps or leaves the window"
    else
        fail "wizard: $scn: the face's controls overlap or leave the window"
    fi
    local rl rt rr rb
    if [ "$5" = retry ]; then
        read -r rl rt rr rb <<<"$(wizard_pos "$n" repair_btn_retry)"
        wizard_click $(((rl + rr) / 2)) $(((rt + rb) / 2))
        if wait_log "$n" "^wizard view page=3 " 60; then
            pass "wizard: $scn: 重试 leads to page 3"
            [ "$scn" = cut ] && check "wizard: $scn: the retry waited for the cable and went on by itself" \
                log_has "$n" "status=没有检测到网线，插好后会自动继续。"
            wizard_click "${WIZ_DONE[@]}" 0.1
            finish_probe "$n" 20
            check "wizard: $scn: after the retry the machine is as before, the image sent" \
                log_has "$n" "^wizard end commands=8 rules=0 journal=0 address=10.20.30.40 dhcp=1 sent=2"
        else
            fail "wizard: $scn: 重试 did not lead to page 3"
            wizard_end "$n"
        fi
    else
        read -r rl rt rr rb <<<"$(wizard_pos "$n" repair_btn_quit)"
        wizard_click $(((rl + rr) / 2)) $(((rt + rb) / 2)) 0.1
        finish_probe "$n" 20
        check "wizard: $scn: 关闭 ends it (exit code $RC)" test "$RC" = 0
    fi
}

# The picker (its title is the wizard's, its size its own): waits for it
# at DPI, its entries laid out, and keeps a shot of it; sets PICKER.
wizard_picker_up() {  # wizard_picker_up NAME DPI SHOT
    wait_log "$1" "^wizard picker up dpi=$2 entries=2" 30 &&
        PICKER=$(gui_window "$WIZ_TITLE" "$(px_at "$2" 400)x$(px_at "$2" 180)" 20 probe_alive "$1") || return 1
    sleep 0.5
    shoot
    save_shot "$3" "$PICKER"
}
# A click on an entry where the probe logged it; the picker closes.
# shellcheck disable=SC2317  # called through check
wizard_pick() {  # wizard_pick NAME PICKER ENTRY
    local l t r b
    read -r l t r b < <(grep "^wizard picker entry $3 " "$LOGS/$1.log" | tail -n 1 | cut -d' ' -f5-)
    [ -n "${b:-}" ] || return 1
    gui_click "$2" $(((l + r) / 2)) $(((t + b) / 2))
    gui_window_gone "$2" 10
}

wizard_picker() {
    local n=wizard-picker
    wizard_open "$n" picker || return
    wizard_press_start "$n"
    if ! wizard_picker_up "$n" "$DPI" wizard-picker.png; then
        fail "wizard: two adapters: no picker of $(px 400)x$(px 180)"
        wizard_end "$n"
        return
    fi
    pass "wizard: two adapters: the picker, 400x180 at 96 DPI scaled"
    check "wizard: the second entry, clicked where it is, closes the picker" wizard_pick "$n" "$PICKER" 1
    if wait_log "$n" "^wizard view page=3 " 60; then
        pass "wizard: after the picker the repair goes on to page 3"
        wizard_click "${WIZ_DONE[@]}" 0.1
        finish_probe "$n" 20
        check "wizard: picker: 确定 ends it (exit code $RC)" test "$RC" = 0
    else
        fail "wizard: after the picker page 3 never came"
        wizard_end "$n"
    fi
}

test_wizard() {
    wizard_upload
    wizard_picker
    wizard_cable
    wizard_notice restored "上次修复没有完成，网络设置已恢复原样。"
    wizard_notice restore-failed '上次修复改动的网络设置未能恢复。请在“网络连接”中打开“本地连接”的IPv4属性，改回“自动获得IP地址”。'
    wizard_notice rule-left '上次修复添加的防火墙规则未能删除。规则名为“VA Rovade Varoza”。请重新打开本程序，它会再次删除；也可以在Windows防火墙的入站规则中手动删除。'
    wizard_failure silent 修复失败 "DEzed没有响应。" "已进入修复模式" retry
    wizard_failure cut 修复失败 "传输到37%时，网线连接断开了。" "请插好网线" retry
    wizard_failure no-adapter 修复失败 "没有找到有线网卡，电脑的设置没有改动。" "有线网卡已启用" quit
    wizard_failure address 修复失败 "无法为网卡设置修复地址192.168.1.111。" "网卡已启用" quit
    wizard_failure quiet 修复失败 "传输到37%时，与DEzed的连接中断了。" "没有断电" quit
    wizard_failure refused 修复失败 "DEzed拒绝接收固件：Access violation" "重新启动DEzed" quit
    wizard_failure unconfirmed 修复结果未确认 "固件已全部发出，但DEzed没有确认收到最后一部分。" "请不要断电" quit
    wizard_failure restore 修复失败 "固件已写入DEzed，但网络设置未能恢复。" '改回“自动获得IP地址”' quit
    wizard_failure rule 修复失败 "固件已写入DEzed，但防火墙规则未能删除。" '规则名为“VA Rovade Varoza”' quit
    wizard_failure firmware 修复失败 "程序文件不完整，找不到固件。" "重新下载" quit
}

# ---- 7. a move to a screen of another DPI -------------------------------------------
# Wine has one screen and never sends WM_DPICHANGED: the probe sends it to
# the wizard as the system does after a move, with the suggested rectangle
# (the same centre, the size scaled). The window takes it, lays out again
# and answers clicks at the new places; the picker and the alert it opens
# then follow its DPI.
wizard_pos_centre() {  # wizard_pos_centre NAME CONTROL: "x y" of its last logged place
    local l t r b
    read -r l t r b <<<"$(wizard_pos "$1" "$2")"
    echo "$(((l + r) / 2)) $(((t + b) / 2))"
}
# shellcheck disable=SC2317  # called through wait_until
wizard_sized() {  # wizard_sized W H
    local WW WH
    geometry "$WID"
    [ "${WW}x$WH" = "$1x$2" ]
}
test_dpichange() {
    local n=wizard-dpichange trigger=$TMPD/dpi.trigger to=192 x y alert
    [ "$DPI" != 192 ] || to=144
    rm -f "$trigger"
    wizard_open "$n" dpichange "Z:${trigger//\//\\}" || return
    wizard_shot "dpichange-1-at-$DPI.png"
    local before
    before=$(wizard_pos "$n" repair_btn_step1)
    echo "$to" >"$trigger"
    if ! wait_log "$n" "^wizard dpi changed from=$DPI to=$to host=$to " 10; then
        fail "dpi change: the window did not take $to DPI"
        wizard_end "$n"
        return
    fi
    info "dpi change: $(log_line "$n" '^wizard dpi changed')"
    check "dpi change: the window takes the suggested rectangle, 580x374 at $to DPI" \
        wait_until 5 0.1 wizard_sized "$(px_at "$to" 580)" "$(px_at "$to" 374)"
    wait_until 5 0.1 wizard_centred || true
    wizard_shot "dpichange-2-at-$to.png"
    local l t r b L T R B
    read -r l t r b <<<"$before"
    read -r L T R B <<<"$(wizard_pos "$n" repair_btn_step1)"
    check "dpi change: 下一步 laid out again for $to DPI ($l,$t,$r,$b -> $L,$T,$R,$B)" \
        test $((L - l * to / DPI)) -ge -2 -a $((L - l * to / DPI)) -le 2 -a $((B - b * to / DPI)) -ge -2 \
        -a $((B - b * to / DPI)) -le 2
    read -r x y <<<"$(wizard_pos_centre "$n" repair_btn_step1)"
    wizard_click "$x" "$y"
    if ! wizard_picker_up "$n" "$to" "dpichange-3-picker-at-$to.png"; then
        fail "dpi change: the picker does not follow the wizard's $to DPI"
        wizard_end "$n"
        return
    fi
    pass "dpi change: 下一步 clicked at its new place; the picker follows the wizard: 400x180 at $to DPI"
    check "dpi change: the picker's second entry clicked at its place" wizard_pick "$n" "$PICKER" 1
    if ! wait_log "$n" "^wizard alert up " 40 ||
        ! alert=$(gui_window '^瓦川DEzed修复向导$' "$(px_at "$to" 240)x$(px_at "$to" 210)" 10 probe_alive "$n"); then
        fail "dpi change: the failure alert does not follow the wizard's $to DPI"
        wizard_end "$n"
        return
    fi
    pass "dpi change: the failure alert follows the wizard: 240x210 at $to DPI"
    wizard_shot "dpichange-4-alert-at-$to.png"
    gui_click "$alert" "$(px_at "$to" 120)" "$(px_at "$to" 157)"
    check "dpi change: the alert's 关闭 clicked at its place at $to DPI" gui_window_gone "$alert" 10
    wizard_shot "dpichange-5-failed-at-$to.png"
    read -r x y <<<"$(wizard_pos_centre "$n" repair_btn_quit)"
    wizard_click "$x" "$y" 0.1
    finish_probe "$n" 20
    check "dpi change: 关闭 of the failure face ends it (exit code $RC)" test "$RC" = 0
}

# The parts of the run, each timed; GUI_TEST_SECTIONS runs some of them
# (e.g. "wizard alert").
section() { SECTION=$1 SECTION_START=$(now); echo "---- $1 (at $(elapsed "$RUN_START") s)"; }
section_end() { info "$SECTION: $(elapsed "$SECTION_START") s"; }
# At another DPI than 96 the sections whose looks and geometry scale (the
# layered windows, the object counts and the failure message box are the
# same at any DPI).
default_sections="window alpha leak alert broken wizard"
[ "$DPI" = 96 ] || default_sections="window alert wizard"
[ "$DPI" != 144 ] || default_sections+=" dpichange"
wanted() { [[ " ${GUI_TEST_SECTIONS:-$default_sections} " == *" $1 "* ]]; }
if wanted window; then section window; test_window; section_end; fi
if wanted alpha; then section alpha; test_alpha; section_end; fi
if wanted leak; then section leak; test_leak; section_end; fi
if wanted alert; then section alert; test_alert; section_end; fi
if wanted broken; then section broken; test_broken; section_end; fi
if wanted wizard; then section wizard; test_wizard; section_end; fi
if wanted dpichange; then section dpichange; test_dpichange; section_end; fi

harness_missing
echo "---- summary"
info "screenshots: $SHOTS"
info "logs: $LOGS"
info "run time: $(elapsed "$RUN_START") s"
echo "$HARNESS_PASSED passed, $HARNESS_FAILED failed"
if [ "$HARNESS_FAILED" -gt 0 ]; then
    printf 'failed: %s\n' "${HARNESS_FAILURES[@]}"
    exit 1
fi
exit 0
