#!/bin/bash
# The TFTP client against real TFTP servers that nobody here wrote, each in
# a pair of network namespaces of this run's own (the client's and the
# server's, joined by a veth pair), torn down at the end:
#   tftpd-hpa   in.tftpd, a transfer port of its own per upload
#   atftpd      answers a repeated block only once and re-sends its ACK
#               after 5 s of silence; ends its session right after the final
#               ACK (its Debian package conflicts with tftpd-hpa: unpacked
#               into the work folder, never installed)
#   erlang      Erlang/OTP's TFTP server (erlang-base, erlang-tftp)
#   port69      the scripted test server answering from its well-known port,
#               as small embedded servers do
# Cases (the image is checked byte for byte at the server in every one):
#   clean       the 5,628,964-byte image
#   loss1       1 % of the server's packets dropped (tftp_impair, NFQUEUE;
#               this kernel has no netem), seed 1, half the image (some 55
#               lost packets)
#   repeat-once the first two ACKs of block 100 dropped: the ACK and the
#               answer to the first repeat, after which atftpd answers no
#               repeat until the client has been silent for 5 s
#   lastack     every ACK of the last block dropped: the client must report
#               the last block unconfirmed (exit code 3), never a success
#               and never a plain failure, while the server holds the file
#               (300 ms reply time-out, so 3 s of patience)
# --client native runs every case with the native uploader; --client wine
# runs the clean cases with the Windows uploader under Wine, whose
# wineserver is started inside the client's namespace and checked there
# before every Wine call (tests/e2e/lib/netns.sh).
#
#   run-peer-tests.sh --client native|wine --upload EXE --scripted BIN --work DIR
#                     [--impair BIN] [--wine-template PREFIX] [--servers "..."] [--cases "..."]
#
# Prints one line per case and a table; exit code 0 when every case passed,
# 1 otherwise, 77 when it cannot run here (not root, no namespaces).
set -u -o pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../../.." && pwd)
SIZE=5628964
HALF_SIZE=$((SIZE / 2))
SMALL_SIZE=102400  # repeat-once and lastack: 200 blocks and the empty one
NAME=rorod_oze_firmware_v1.5.2.bin
PC_IP=10.232.0.1
BOX_IP=10.232.0.2
MARK=1

client="" upload="" scripted="" impair="" template="" work=""
servers="tftpd-hpa atftpd erlang port69"
cases=""
while [ $# -gt 0 ]; do
    case $1 in
    --client) client=$2 ;;
    --upload) upload=$2 ;;
    --scripted) scripted=$2 ;;
    --impair) impair=$2 ;;
    --wine-template) template=$2 ;;
    --work) work=$2 ;;
    --servers) servers=$2 ;;
    --cases) cases=$2 ;;
    *) echo "usage: see the head of $0" >&2; exit 2 ;;
    esac
    shift 2 || { echo "$1 needs a value" >&2; exit 2; }
done
case $client in native | wine) ;; *) echo "--client native|wine" >&2; exit 2 ;; esac
if [ -z "$upload" ] || [ -z "$scripted" ] || [ -z "$work" ]; then
    echo "--upload, --scripted and --work are needed" >&2
    exit 2
fi
if [ -z "$cases" ]; then
    if [ "$client" = wine ]; then cases="clean"; else cases="clean loss1 repeat-once lastack"; fi
fi

say() { printf '[%s] %s\n' "$(date +%H:%M:%S)" "$*" >&2; }

if [ "$(id -u)" != 0 ]; then
    echo "peer tests skipped: they need root (network namespaces, iptables, servers on port 69)"
    exit 77
fi
# shellcheck source=../../e2e/lib/harness.sh
source "$ROOT/tests/e2e/lib/harness.sh"
# shellcheck source=../../e2e/lib/wine-gui.sh
source "$ROOT/tests/e2e/lib/wine-gui.sh"
# shellcheck source=../../e2e/lib/netns.sh
source "$ROOT/tests/e2e/lib/netns.sh"
netns_available || { echo "peer tests skipped: no network namespaces here"; exit 77; }

IPT=iptables
command -v iptables-legacy >/dev/null && IPT=iptables-legacy
mkdir -p "$work"
work=$(realpath "$work")
upload=$(realpath "$upload")
scripted=$(realpath "$scripted")
[ -n "$impair" ] && impair=$(realpath "$impair")
RUN=$work/run
rm -rf "$RUN"
mkdir -p "$RUN"
harness_init road
gui_init "$RUN/gui"  # at exit: our clean-up below, then Wine's and X's

# ---------------------------------------------------------------- servers

# atftpd from its Debian package, unpacked into the work folder: from the
# package cache (scripts/install-deps.sh fetches it there), else downloaded.
atftpd_binary() {
    local bin=$work/atftpd-root/usr/sbin/atftpd deb
    [ -x "$bin" ] && { echo "$bin"; return 0; }
    deb=$(compgen -G '/var/cache/apt/archives/atftpd_*.deb' | head -n 1)
    if [ -z "$deb" ]; then
        (cd "$work" && apt-get download atftpd >/dev/null 2>&1)
        deb=$(compgen -G "$work/atftpd_*.deb" | head -n 1)
    fi
    [ -n "$deb" ] && dpkg-deb -x "$deb" "$work/atftpd-root" && [ -x "$bin" ] && echo "$bin"
}

need_servers() {
    local s
    for s in $servers; do
        case $s in
        tftpd-hpa) [ -x /usr/sbin/in.tftpd ] || { say "in.tftpd missing (package tftpd-hpa)"; return 1; } ;;
        atftpd) ATFTPD=$(atftpd_binary) || { say "atftpd unavailable (apt-get download atftpd failed)"; return 1; } ;;
        erlang) command -v erl >/dev/null || { say "erl missing (packages erlang-base, erlang-tftp)"; return 1; } ;;
        port69) [ -x "$scripted" ] || { say "$scripted missing"; return 1; } ;;
        *) say "unknown server $s"; return 1 ;;
        esac
    done
}

# /proc/net/udp names the box's address and port 69 as 0200E80A:0045.
BOX_UDP69=$(awk -F. '{ printf "%02X%02X%02X%02X:0045", $4, $3, $2, $1 }' <<<"$BOX_IP")
port69_bound() { ip netns exec "$BOX" cat /proc/net/udp | grep -q " $BOX_UDP69 "; }

SERVER_PID=""
start_server() {  # start_server NAME DIR LOG
    local name=$1 dir=$2 log=$3 i
    case $name in
    tftpd-hpa)
        ip netns exec "$BOX" /usr/sbin/in.tftpd -L -c -s -a "$BOX_IP:69" "$dir" </dev/null >"$log" 2>&1 &
        ;;
    atftpd)
        ip netns exec "$BOX" "$ATFTPD" --daemon --no-fork --port 69 --bind-address "$BOX_IP" \
            --logfile - "$dir" </dev/null >"$log" 2>&1 &
        ;;
    erlang)
        # Writes are accepted by default; the file callback stores them
        # under the root folder.
        ip netns exec "$BOX" erl -noshell -noinput -eval "
            {ok, _} = application:ensure_all_started(tftp),
            {ok, _} = tftp:start([{port, 69}, {udp, [{ip, {$(tr . , <<<"$BOX_IP")}}]},
                                  {callback, {\".*\", tftp_file, [{root_dir, \"$dir\"}]}}]),
            receive stop -> ok end." </dev/null >"$log" 2>&1 &
        ;;
    port69)
        ip netns exec "$BOX" "$scripted" --listen "$BOX_IP:69" --out "$dir/$NAME" \
            --reply-from-listening-port </dev/null >"$log" 2>&1 &
        ;;
    esac
    SERVER_PID=$!
    for ((i = 0; i < 200; i++)); do
        port69_bound && return 0
        kill -0 "$SERVER_PID" 2>/dev/null || break
        sleep 0.05
    done
    say "$name did not start: $(tail -n 3 "$log")"
    return 1
}

# Every process in the server's namespace is one this run started there.
stop_server() {
    local pid i
    for pid in $(ip netns pids "$BOX" 2>/dev/null); do kill "$pid" 2>/dev/null; done
    for ((i = 0; i < 100; i++)); do
        [ -z "$(ip netns pids "$BOX" 2>/dev/null)" ] && break
        sleep 0.05
    done
    [ -n "$SERVER_PID" ] && wait "$SERVER_PID" 2>/dev/null
    SERVER_PID=""
}

IMPAIR_PID=""
IMPAIR_STATS="-"
start_impair() {  # start_impair LOG ARGS...
    local log=$1 i
    shift
    ip netns exec "$BOX" "$impair" --queue 0 --mark "$MARK" "$@" 2>"$log" &
    IMPAIR_PID=$!
    for ((i = 0; i < 100; i++)); do
        grep -q ready "$log" && break
        sleep 0.05
    done
    grep -q ready "$log" || { say "tftp_impair did not start: $(cat "$log")"; return 1; }
    # No --queue-bypass: should the helper die, packets stop rather than
    # pass unimpaired.
    ip netns exec "$BOX" "$IPT" -A OUTPUT -o veth-box -p udp -m mark ! --mark "$MARK" \
        -j NFQUEUE --queue-num 0
}

stop_impair() {
    [ -n "$IMPAIR_PID" ] || return 0
    ip netns exec "$BOX" "$IPT" -F OUTPUT
    kill "$IMPAIR_PID" 2>/dev/null && wait "$IMPAIR_PID" 2>/dev/null
    IMPAIR_PID=""
}

# ---------------------------------------------------------------- namespaces

cleanup() {
    stop_impair
    [ -n "${BOX:-}" ] && stop_server
    [ "$client" = wine ] && netns_wine_stop
    netns_remove_all
}
on_cleanup cleanup

PC=$(netns_unique tftppc) && BOX=$(netns_unique tftpbox) && netns_create "$PC" "$BOX" || exit 1
if ! { ip link add veth-pc netns "$PC" type veth peer name veth-box netns "$BOX" &&
    ip -n "$PC" addr add "$PC_IP/24" dev veth-pc && ip -n "$BOX" addr add "$BOX_IP/24" dev veth-box &&
    ip -n "$PC" link set lo up && ip -n "$BOX" link set lo up &&
    ip -n "$PC" link set veth-pc up && ip -n "$BOX" link set veth-box up; }; then
    say "namespace set-up failed"
    exit 1
fi
need_servers || exit 1

head -c "$SIZE" /dev/urandom >"$RUN/image.bin"
head -c "$HALF_SIZE" "$RUN/image.bin" >"$RUN/half.bin"
head -c "$SMALL_SIZE" "$RUN/image.bin" >"$RUN/small.bin"

if [ "$client" = wine ]; then
    # A copy of the Windows tests' prefix (or a new one); a display, as the
    # session wants one; the session's server inside the client's namespace.
    if ! { gui_prefix "$RUN/prefix" "$template" && gui_display_start && netns_wine_start "$PC"; }; then
        say "the Wine session did not start"
        exit 1
    fi
fi

# ---------------------------------------------------------------- cases

run_client() {  # run_client DIR IMAGE [REPLY_TIMEOUT_MS]: exit code of the uploader
    local dir=$1 image=$2
    shift 2
    cp "$image" "$dir/payload.bin"
    if [ "$client" = wine ]; then
        (cd "$dir" && TFTP_LOG=1 netns_wine "$upload" payload.bin "$BOX_IP" 69 "$@" >client.out 2>client.err)
    else
        (cd "$dir" && TFTP_LOG=1 ip netns exec "$PC" "$upload" payload.bin "$BOX_IP" 69 "$@" >client.out 2>client.err)
    fi
}

field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" "$2" | tr -d '\r'; }

RESULTS=$RUN/results.tsv
: >"$RESULTS"
failed=0
passed=0

# The server runs on from case to case (Erlang's takes a while to start),
# except the scripted one, which takes one upload and writes it when stopped.
SERVER_RUNNING=""
ensure_server() {  # ensure_server NAME SRV LOG
    [ "$SERVER_RUNNING" = "$1" ] && [ "$1" != port69 ] && return 0
    stop_server
    SERVER_RUNNING=""
    start_server "$@" && SERVER_RUNNING=$1
}

run_case() {  # run_case SERVER CASE
    local server=$1 case=$2 dir="$RUN/$1/$2" srv="$RUN/$1/srv" image=$RUN/image.bin timeout=() impair_args=()
    local want_rc=0 rc
    case $case in
    clean) ;;
    loss1) image=$RUN/half.bin impair_args=(--loss 0.01 --seed 1) ;;
    repeat-once) image=$RUN/small.bin impair_args=(--drop-ack 100 --drop-ack-count 2 --seed 1) ;;
    lastack)
        image=$RUN/small.bin want_rc=3 timeout=(300)
        impair_args=(--drop-ack $((($(stat -c %s "$image") / 512 + 1) % 65536)) --seed 1)
        ;;
    *) say "unknown case $case"; return 1 ;;
    esac
    mkdir -p "$dir" "$srv"
    chmod 1777 "$srv"
    rm -f "$srv/$NAME"
    ensure_server "$server" "$srv" "$RUN/$server/server.log" || { record "$server" "$case" FAIL "server did not start"; return; }
    if [ ${#impair_args[@]} -gt 0 ]; then
        if [ -z "$impair" ]; then
            record "$server" "$case" FAIL "no tftp_impair (libnetfilter-queue-dev)"
            return
        fi
        start_impair "$dir/impair.log" "${impair_args[@]}" || { record "$server" "$case" FAIL "impairer"; return; }
    fi
    local t0 t1
    t0=$(date +%s.%N)
    run_client "$dir" "$image" "${timeout[@]}"
    rc=$?
    t1=$(date +%s.%N)
    stop_impair
    IMPAIR_STATS=$(tail -n 1 "$dir/impair.log" 2>/dev/null | awk '/^seen/ { print $4 "/" $2 }')
    # A server may still be writing the last block when the client ends.
    local size i
    size=$(stat -c %s "$image")
    if [ "$server" = port69 ]; then
        stop_server  # the scripted server writes its file now
        SERVER_RUNNING=""
    fi
    for ((i = 0; i < 40; i++)); do
        [ "$(stat -c %s "$srv/$NAME" 2>/dev/null || echo 0)" -ge "$size" ] && break
        sleep 0.05
    done
    local verdict=ok why=""
    if ! cmp -s "$image" "$srv/$NAME"; then
        verdict=FAIL why="file at the server differs ($(stat -c %s "$srv/$NAME" 2>/dev/null || echo 0) bytes)"
    elif [ "$rc" != "$want_rc" ]; then
        verdict=FAIL why="client exit code $rc, expected $want_rc: $(tr -d '\r' <"$dir/client.out")"
    fi
    CASE_SECONDS=$(echo "$t1 - $t0" | bc)
    CASE_OUT=$dir/client.out
    record "$server" "$case" "$verdict" "$why"
}

record() {  # record SERVER CASE VERDICT WHY
    local outcome resends quiet
    outcome=$(field outcome "${CASE_OUT:-/dev/null}")
    resends=$(field resends "${CASE_OUT:-/dev/null}")
    quiet=$(field quiet_waits "${CASE_OUT:-/dev/null}")
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$1" "$2" "$3" "${CASE_SECONDS:--}" "${outcome:--}" \
        "${resends:--}" "${quiet:--}" "${IMPAIR_STATS:--}" >>"$RESULTS"
    say "$1 $2: $3${4:+ ($4)} ${CASE_SECONDS:-} s, ${outcome:-no outcome}, ${resends:--} resends, ${quiet:--} quiet waits"
    if [ "$3" = ok ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
    CASE_SECONDS="" CASE_OUT="" IMPAIR_STATS="-"
}

for server in $servers; do
    for case in $cases; do
        run_case "$server" "$case"
    done
    stop_server
    SERVER_RUNNING=""
done

echo
echo "| server | case | verdict | seconds | outcome | resends | quiet waits | dropped/seen |"
echo "|---|---|---|---|---|---|---|---|"
awk -F'\t' '{ printf "| %s | %s | %s | %s | %s | %s | %s | %s |\n", $1, $2, $3, $4, $5, $6, $7, $8 }' "$RESULTS"
echo
echo "peers ($client): $passed passed, $failed failed"
[ "$failed" = 0 ]
