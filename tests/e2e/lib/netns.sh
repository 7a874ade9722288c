# shellcheck shell=bash
# Network namespaces of one run, and a Wine session whose server lives in
# one of them. Source after harness.sh and wine-gui.sh (their prefix,
# display and clean-up are used as they are).
#
#   netns_create NAME...          ip netns add, removed by netns_remove_all
#   netns_unique STEM             a namespace name nobody uses yet
#   netns_wine_start NS           wineserver -p inside NS, checked; the
#                                 session's first program started inside it
#   netns_wine_guard              exits unless every process of the prefix,
#                                 the server first, lives in the session's NS
#   netns_wine EXE ARGS...        runs a program of the session (guarded)
#   netns_wine_stop               ends the prefix's processes, by pid
#
# Why the guard: under Wine the wineserver creates every socket, in its own
# network namespace, and the adapter list comes from a driver process of the
# session. A server or a driver outside the test's namespace would show the
# host's adapters and send the program's packets to the real network.

NETNS_MADE=()
NETNS_WINE_NS=""
NETNS_WINE_SERVER=""
NETNS_WINE_SERVER_DIR=""

# True when this shell can make namespaces (root, iproute2, kernel support).
netns_available() {
    [ "$(id -u)" = 0 ] || return 1
    command -v ip >/dev/null || return 1
    local probe
    probe=$(netns_unique nsprobe) || return 1
    ip netns add "$probe" 2>/dev/null || return 1
    ip netns del "$probe"
}

netns_unique() {  # netns_unique STEM
    local name i
    for ((i = 0; i < 20; i++)); do
        name="$1$$r$RANDOM"
        [ -e "/run/netns/$name" ] || { echo "$name"; return 0; }
    done
    return 1
}

netns_create() {
    local ns
    for ns in "$@"; do
        ip netns add "$ns" || { harness_log "cannot create namespace $ns"; return 1; }
        NETNS_MADE+=("$ns")
    done
}

netns_remove_all() {
    local ns
    for ns in "${NETNS_MADE[@]}"; do ip netns del "$ns" 2>/dev/null; done
    NETNS_MADE=()
}

# Identity of a namespace, comparable with netns_of_pid.
netns_id() { stat -L -c '%d:%i' "/run/netns/$1" 2>/dev/null; }
netns_of_pid() { stat -L -c '%d:%i' "/proc/$1/ns/net" 2>/dev/null; }

netns_wine_guard() {
    local want pid
    want=$(netns_id "$NETNS_WINE_NS")
    if [ -z "$NETNS_WINE_NS" ] || [ -z "$want" ]; then
        harness_log "REFUSED: the Wine session has no namespace"
        exit 1
    fi
    pid=$(gui_server_pid)
    if [ -z "$pid" ] || [ "$pid" != "$NETNS_WINE_SERVER" ]; then
        harness_log "REFUSED: the session's wineserver ($NETNS_WINE_SERVER) is not the prefix's server (${pid:-none})"
        exit 1
    fi
    local have
    for pid in $(gui_prefix_pids); do
        have=$(netns_of_pid "$pid")
        # Unreadable: the process has ended (a zombie has no namespace left).
        if [ -n "$have" ] && [ "$have" != "$want" ]; then
            harness_log "REFUSED: Wine process $pid ($(cat "/proc/$pid/comm" 2>/dev/null)) is not in namespace $NETNS_WINE_NS"
            exit 1
        fi
    done
}

# Starts the session. No Wine process of the prefix may run yet, so that
# none of its helpers (services, device drivers) starts outside NS.
netns_wine_start() {  # netns_wine_start NS
    NETNS_WINE_NS=$1
    [ -n "${DISPLAY:-}" ] || { harness_log "start the display first"; return 1; }
    if [ -n "$(gui_prefix_pids)" ]; then
        harness_log "REFUSED: Wine processes of $WINEPREFIX already run"
        exit 1
    fi
    ip netns exec "$NETNS_WINE_NS" env WINEPREFIX="$WINEPREFIX" wineserver -f -p >/dev/null 2>&1 &
    NETNS_WINE_SERVER=$!
    # wine-gui.sh's clean-up ends the prefix's processes and this server.
    gui_adopt_server "$NETNS_WINE_SERVER"
    local i
    for ((i = 0; i < 100; i++)); do
        # The server works in its own directory and listens on "socket" there.
        [ "$(gui_server_pid)" = "$NETNS_WINE_SERVER" ] && [ -S "/proc/$NETNS_WINE_SERVER/cwd/socket" ] && break
        kill -0 "$NETNS_WINE_SERVER" 2>/dev/null || break
        sleep 0.05
    done
    netns_wine_guard
    # The server's folder (Debian: /tmp/wine-XXXXXX/server-DEV-INODE) is
    # left behind by a stopped server; netns_wine_stop removes it.
    NETNS_WINE_SERVER_DIR=$(readlink "/proc/$NETNS_WINE_SERVER/cwd")
    # The first program starts the session's services and drivers; they
    # inherit its namespace.
    netns_wine cmd /c exit 0 || { harness_log "the session's first program failed"; return 1; }
    netns_wine_guard
}

netns_wine() {
    netns_wine_guard
    ip netns exec "$NETNS_WINE_NS" env WINEPREFIX="$WINEPREFIX" DISPLAY="$DISPLAY" wine "$@"
}

netns_wine_stop() {
    [ -n "${WINEPREFIX:-}" ] || return 0
    local pids
    mapfile -t pids < <(gui_prefix_pids | grep -vx "${NETNS_WINE_SERVER:-none}")
    [ ${#pids[@]} = 0 ] || kill -9 "${pids[@]}" 2>/dev/null
    if [ -n "$NETNS_WINE_SERVER" ]; then
        kill "$NETNS_WINE_SERVER" 2>/dev/null
        wait "$NETNS_WINE_SERVER" 2>/dev/null
    fi
    NETNS_WINE_SERVER=""
    gui_adopt_server ""
    case ${NETNS_WINE_SERVER_DIR:-} in
        /tmp/*/server-*)
            rm -rf "$NETNS_WINE_SERVER_DIR"
            rmdir "$(dirname "$NETNS_WINE_SERVER_DIR")" 2>/dev/null
            ;;
    esac
    NETNS_WINE_SERVER_DIR=""
}

# A namespace's IPv4 addresses and routes, one per line, without lifetimes
# and counters: two snapshots are equal when the configuration is.
netns_ipv4_state() {  # netns_ipv4_state NS
    ip -n "$1" -4 -o addr show | awk '{ printf "addr %s %s", $2, $4; for (i = 5; i < NF; i++) if ($i == "brd") printf " brd %s", $(i + 1); print "" }'
    ip -n "$1" -4 route show | sed 's/^/route /'
}
