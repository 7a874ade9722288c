# shellcheck shell=bash
# What the GUI tests and the wizard's roads share besides Wine and X: the
# clock, checks and their count, figures for the summary, and the clean-up
# stack. Source it, then:
#
#   harness_init [gui|road]      traps (EXIT runs the clean-ups); the style
#                                of a check's line: "PASS name" or "  ok    name"
#   on_cleanup COMMAND ARGS...   run at exit, last added first
#   check NAME COMMAND...        runs COMMAND: one line, counted
#   verdict NAME STATUS          the same for a status already known ($?)
#   pass NAME / fail NAME        a result the caller decided
#   harness_missing              a failure if a command that does not
#                                exist was called (before the verdict)
#   fact NAME VALUE              a figure for the summary
#   now / secs A B / since A     seconds since boot (the wall clock may be
#                                stepped during a run)

HARNESS_STYLE=road
HARNESS_PASSED=0
HARNESS_FAILED=0
HARNESS_FAILURES=()
HARNESS_FACTS=()
HARNESS_CLEANUPS=()

harness_log() { printf '[%s] %s\n' "$(date +%H:%M:%S)" "$*" >&2; }

harness_init() {  # harness_init [gui|road]
    HARNESS_STYLE=${1:-road}
    HARNESS_MISSING=$(mktemp)
    trap harness_cleanup EXIT
    trap 'exit 130' INT TERM
}

on_cleanup() { HARNESS_CLEANUPS+=("$(printf '%q ' "$@")"); }

harness_cleanup() {
    local rc=$? i
    trap - EXIT
    rm -f "${HARNESS_MISSING:-}"
    for ((i = ${#HARNESS_CLEANUPS[@]} - 1; i >= 0; i--)); do
        # The entries were quoted by on_cleanup: each runs as the words given.
        eval "${HARNESS_CLEANUPS[$i]}" || true
    done
    exit "$rc"
}

pass() {
    HARNESS_PASSED=$((HARNESS_PASSED + 1))
    if [ "$HARNESS_STYLE" = gui ]; then echo "PASS $*"; else echo "  ok    $*"; fi
}

fail() {
    HARNESS_FAILED=$((HARNESS_FAILED + 1))
    HARNESS_FAILURES+=("$*")
    if [ "$HARNESS_STYLE" = gui ]; then echo "FAIL $*"; else echo "  FAIL  $*"; fi
}

check() {  # check NAME COMMAND...
    local name=$1
    shift
    if "$@"; then pass "$name"; else fail "$name"; fi
}

verdict() {  # verdict NAME STATUS
    if [ "$2" = 0 ]; then pass "$1"; else fail "$1"; fi
}

# A helper that does not exist fails the run instead of skipping a check
# unseen. Bash runs this in a subshell: it leaves the name in a file that
# harness_missing counts.
command_not_found_handle() {
    [ -n "${HARNESS_MISSING:-}" ] && printf '%s\n' "$1" >>"$HARNESS_MISSING"
    printf 'harness: no such command: %s\n' "$1" >&2
    return 127
}

# Before the verdict: one failure naming the commands that were missing.
harness_missing() {
    [ -s "${HARNESS_MISSING:-}" ] || return 0
    fail "commands that do not exist were called: $(sort -u "$HARNESS_MISSING" | tr '\n' ' ')"
    : >"$HARNESS_MISSING"
}

fact() { HARNESS_FACTS+=("$1: $2"); }

now() { cut -d" " -f1 /proc/uptime; }
secs() { awk -v a="$1" -v b="$2" -v d="${3:-1}" 'BEGIN { printf "%.*f", d, b - a }'; }  # secs A B [DECIMALS]
since() { secs "$1" "$(now)" "${2:-1}"; }                                               # since A [DECIMALS]

# Waits until COMMAND succeeds, trying every PAUSE seconds for up to SECONDS.
wait_until() {  # wait_until SECONDS PAUSE COMMAND...
    local pause=$2 tries i
    tries=$(awk -v s="$1" -v p="$2" 'BEGIN { printf "%d", s / p }')
    shift 2
    for ((i = 0; i < tries; i++)); do
        "$@" && return 0
        sleep "$pause"
    done
    return 1
}
