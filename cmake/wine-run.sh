#!/bin/bash
# Runs a Windows test executable under Wine with a private, quiet prefix.
# usage: wine-run.sh PREFIX_DIR program.exe [args...]
# The prefix is created on first use (serialised with a lock so parallel
# tests don't race), and one persistent wineserver serves the whole test run
# so that each call costs a fraction of a second instead of seconds.
# Standard input is not passed on; output (both streams) appears when the
# program ends.
set -eu
prefix=$1
shift
export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
mkdir -p "$(dirname "$prefix")"
{
    flock 9
    if [ ! -f "$prefix/system.reg" ]; then
        rm -rf "$prefix"
        wine wineboot -i </dev/null >/dev/null 2>&1 9>&- || true
        wineserver -w 9>&-
        if [ ! -f "$prefix/system.reg" ]; then
            echo "wine-run: could not create the Wine prefix $prefix" >&2
            exit 1
        fi
    fi
    # Keep a server alive between test processes; harmless when one runs.
    # (Nothing Wine starts may inherit the lock: it would hold it for good.)
    wineserver -p30 </dev/null >/dev/null 2>&1 9>&- || true
} 9>"$prefix.lock"
# Wine's helper processes (services, device drivers) outlive the program and
# inherit its standard handles; if those were ctest's pipes, ctest would wait
# for the helpers to exit. So the output goes through a file.
out=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")
trap 'rm -f "$out"' EXIT
rc=0
wine "$@" </dev/null >"$out" 2>&1 || rc=$?
cat "$out"
exit $rc
