#!/bin/bash
# The harness's own parts that need neither root nor Wine: the log
# comparison that lets the window's thread write between the worker's
# lines, the reading of xdotool's geometry, and the skin helper's click
# points and page recognition.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib/harness.sh
. "$here/lib/harness.sh"
# shellcheck source=lib/wine-gui.sh
. "$here/lib/wine-gui.sh"
# shellcheck source=lib/wizard.sh
. "$here/lib/wizard.sh"
work=$(mktemp -d)
harness_init road
on_cleanup rm -rf "$work"

# ---- the expected log ------------------------------------------------------------
# (A failed run's clean-up is the worker's: only a close has lines of the
# window's thread.)
expected() { wiz_expected_log "$1" "本地连接"; }
worker_order() { expected "$1" | sed 's/^| //'; }
# The window's thread late: the worker's last line before its block.
ui_late() { worker_order "$1" | awk '/^end upload firmware$/ { last = $0; next } { print } END { print last }'; }
ui_early() { worker_order "$1" | awk '/^end upload firmware$/ { held = $0; next } { print } /^\| |^start restore network settings 2$|^closed during/ && held != "" { print held; held = "" }'; }
swap_worker() { worker_order "$1" | awk 'NR == 3 { keep = $0; next } { print } NR == 4 { print keep }'; }
swap_ui() { worker_order "$1" | awk '/^start delete firewall/ { keep = $0; next } { print } /^end delete firewall/ { print keep }'; }
drop_last() { worker_order "$1" | sed '$d'; }
interleaved() {  # interleaved ENDING MAKER: the maker's log against the ending's expectation
    "$2" "$1" >"$work/log.txt"
    same_interleaving "$work/log.txt" < <(expected "$1") 2>/dev/null
}
while read -r ending maker want; do
    interleaved "$ending" "$maker"
    status=$?
    got=refused
    [ "$status" != 0 ] || got=accepted
    test "$got" = "$want"
    verdict "log $ending, $maker: $got (want $want)" $?
done <<'EOF'
repaired worker_order accepted
failed   worker_order accepted
failed   ui_late      refused
closed   ui_late      accepted
closed   ui_early     accepted
repaired ui_late      refused
failed   swap_worker  refused
failed   swap_ui      refused
failed   drop_last    refused
EOF
worker_order failed >"$work/log.txt"
! same_interleaving "$work/log.txt" < <(expected repaired) 2>/dev/null
verdict "log: a failed run is not a repaired one" $?
test "$(wiz_expected_commands closed "本地连接" | wc -l)" = 4
verdict "the expected commands: four, also from the window's lines" $?
test "$(wiz_expected_commands repaired-static "本地连接" | sed -n 2p)" = "netsh interface ip dump"
verdict "the expected commands: the dump as netsh receives it, without the program's redirection" $?
test "$(WIZ_BACKUP_KEPT=1 expected repaired-static | grep -c 'ip dump\|exit code')" = 4 &&
    test "$(WIZ_BACKUP_KEPT=1 expected repaired-static | wc -l)" = "$(($(expected repaired-static | wc -l) - 2))"
verdict "the expected log with ip.bak kept: the dump and its outcome left out, nothing else" $?

# ---- xdotool's geometry ------------------------------------------------------------
mkdir -p "$work/bin"
cat >"$work/bin/xdotool" <<EOF
#!/bin/sh
printf 'WINDOW=5\nX=\$(touch $work/ran)\nX=12\nY=-3\nWIDTH=580\nHEIGHT=374\nSCREEN=0\n'
EOF
chmod +x "$work/bin/xdotool"
PATH="$work/bin:$PATH" gui_geometry 5
test "$GEOM_X,$GEOM_Y,$GEOM_W,$GEOM_H" = "12,-3,580,374" && [ ! -e "$work/ran" ]
verdict "geometry: numbers read, nothing of the output run ($GEOM_X,$GEOM_Y,$GEOM_W,$GEOM_H)" $?

# ---- the skin ----------------------------------------------------------------------
# Places seen on the screen under Wine (the start button drawn at
# 230,308-350,344, the picker's entries 21 apart from 49).
wiz_skin_points
while read -r key want; do
    test "${SKIN[$key]:-}" = "$want"
    verdict "skin point $key: ${SKIN[$key]:-none} (want $want)" $?
done <<'EOF'
wizard.size 580 374
wizard.start 290 326
wizard.done 425 192
wizard.close 558 18
wizard.retry 355 268
wizard.quit 467 268
picker.size 400 180
picker.entry.0 200 57
picker.entry.1 200 78
alert.size 240 210
alert.close 120 157
EOF
# Pages as the screen showed them: the skin's pictures where they were seen.
skin=$here/../../resources/skin/skin
page() {  # page NAME CONVERT_ARGS...
    local name=$1
    shift
    convert -size 580x374 xc:'#23283A' "$@" "$work/$name.png"
}
page start -draw "image over 230,308 0,0 '$skin/btn-bk-normal.png'"
page start-hot -draw "image over 230,308 0,0 '$skin/btn-bk-hover.png'"
page upload -draw "image over 305,156 0,0 '$skin/progress_bk.png'" \
    \( "$skin/progress_fore.png" -crop 160x6+0+0 \) -geometry +305+156 -composite
page finished -draw "image over 305,156 0,0 '$skin/progress_fore.png'" -fill '#00DCC8' -draw 'rectangle 410,186 440,196'
page blank
page failed -draw "image over 305,252 0,0 '$skin/btn-small-normal.png'" -draw "image over 417,252 0,0 '$skin/btn-ghost-normal.png'"
page half-bar -draw "image over 305,156 0,0 '$skin/progress_bk.png'" -fill '#23283A' -draw 'rectangle 305,156 425,161'
while read -r picture want; do
    got=$(python3 -S "$here/skin.py" look "$work/$picture.png" "$work/looks.json")
    test "$got" = "$want"
    verdict "look $picture: $got (want $want)" $?
done <<'EOF'
start     page1 0
start-hot page1 0
upload    page2 400
finished  page3 600
failed    failed 0
blank     other 0
half-bar  other 0
EOF

# ---- a helper that does not exist -----------------------------------------------
# It must fail the run, also where its status is lost (the last command of a
# function whose caller goes on).
before=$HARNESS_FAILED
helper_gone_5f3a 2>/dev/null
harness_missing >/dev/null
test "$HARNESS_FAILED" = $((before + 1)) && test "${HARNESS_FAILURES[-1]}" = \
    "commands that do not exist were called: helper_gone_5f3a "
status=$?
HARNESS_FAILED=$before
unset 'HARNESS_FAILURES[-1]'
verdict "a missing helper is a failure" $status

harness_missing
echo "$HARNESS_PASSED passed, $HARNESS_FAILED failed"
[ "$HARNESS_FAILED" = 0 ]
