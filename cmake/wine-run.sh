#!/bin/bash
# Runs a Windows test executable under Wine with a private, quiet prefix.
# usage: wine-run.sh PREFIX_DIR program.exe [args...]
# The prefix is created on first use (serialised with a lock so parallel
# tests don't race), and one persistent wineserver serves the whole test run
# so that each call costs a fraction of a second instead of seconds.
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
        wine wineboot -i </dev/null >/dev/null 2>&1 || true
        wineserver -w
        if [ ! -f "$prefix/system.reg" ]; then
            echo "wine-run: could not create the Wine prefix $prefix" >&2
            exit 1
        fi
    fi
    # Keep a server alive between test processes; harmless when one runs.
    wineserver -p30 </dev/null >/dev/null 2>&1 || true
} 9>"$prefix.lock"
exec wine "$@"
