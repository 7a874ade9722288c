#!/usr/bin/env bash
# Times TFTP uploads (write request, octet mode, 512-byte blocks) of a
# 5,628,964-byte image to in.tftpd (tftpd-hpa) with this project's client
# (tftp_upload) and with tftp-hpa's command-line client in the same run, and
# checks that every upload arrived byte-exact.
#
#   sudo bench/tftp_bench.sh [BUILD_DIR]      (default: build/bench)
#
# Build first: cmake --preset bench && cmake --build build/bench -j2 \
#   --target tftp_upload tftp_impair
#
# Conditions:
#   loopback   server on 127.0.0.1 (a free port) in this namespace
#   veth       server in a namespace of its own behind a veth pair
#   lossN      the same, with a seeded share of the packets dropped by
#              tftp_impair through an NFQUEUE rule in the server's namespace
# Nothing leaves the machine: the veth pair joins two namespaces that this
# script creates (10.231.0.1 <-> 10.231.0.2) and deletes on exit.
#
# Settings (environment):
#   REPS=3            uploads per client on the clean conditions
#   LOSS_REPS=1       uploads per client under loss
#   LOSSES="0.01 0.05"
#   DIRECTION=egress  egress: only what the server sends (its ACKs) is
#                     dropped; both: also what it receives (the DATA)
#   CAP=120           seconds; an upload still running then is killed
#   SHORT_TIMEOUT_MS=250  under loss, also run our client with this reply
#                     time-out (a test-only setting; empty to skip)
set -u -o pipefail

BUILD=${1:-build/bench}
REPS=${REPS:-3}
LOSS_REPS=${LOSS_REPS:-1}
LOSSES=${LOSSES:-"0.01 0.05"}
DIRECTION=${DIRECTION:-egress}
CAP=${CAP:-120}
SHORT_TIMEOUT_MS=${SHORT_TIMEOUT_MS-250}
SIZE=5628964
NAME=rorod_oze_firmware_v1.5.2.bin
TFTPD=/usr/sbin/in.tftpd

UPLOAD=$BUILD/bench/tftp_upload
IMPAIR=$BUILD/bench/tftp_impair
PC_NS=tftpbench_pc$$
BOX_NS=tftpbench_box$$
PC_IP=10.231.0.1
BOX_IP=10.231.0.2

log() { printf '%s %s\n' "$(date +%H:%M:%S)" "$*" >&2; }
die() { log "error: $*"; exit 1; }

[ "$(id -u)" = 0 ] || die "run as root (namespaces, iptables, in.tftpd -s)"
[ -x "$UPLOAD" ] || die "$UPLOAD missing: build the bench preset first"
[ -x "$TFTPD" ] || die "$TFTPD missing (Debian package tftpd-hpa)"
command -v tftp >/dev/null || die "tftp missing (Debian package tftp-hpa)"
IPT=iptables
command -v iptables-legacy >/dev/null && IPT=iptables-legacy

WORK=$(mktemp -d /tmp/tftp_bench.XXXXXX)
chmod 0755 "$WORK"
RESULTS=$WORK/results.tsv
PIDS=()

cleanup() {
    local pid
    for pid in "${PIDS[@]}"; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    ip netns del "$PC_NS" 2>/dev/null
    ip netns del "$BOX_NS" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# ------------------------------------------------------------------ helpers

in_ns() {  # in_ns NS|- CMD...: run CMD in namespace NS ("-": this one)
    local ns=$1
    shift
    if [ "$ns" = - ]; then "$@"; else ip netns exec "$ns" "$@"; fi
}

port_bound() {  # port_bound NS ADDR_HEX PORT
    in_ns "$1" cat /proc/net/udp | grep -q "$(printf '%s:%04X' "$2" "$3")"
}

hex_ip() { printf '%02X' $(echo "$1" | tr . ' ' | awk '{print $4, $3, $2, $1}'); }

SERVER_PID=
start_server() {  # start_server NS ADDR PORT DIR
    local ns=$1 addr=$2 port=$3 dir=$4
    rm -rf "$dir"
    mkdir -p "$dir"
    chmod 1777 "$dir"
    # Started directly (ip netns exec execs it), so that $! is the server.
    if [ "$ns" = - ]; then
        "$TFTPD" -L -c -s -a "$addr:$port" "$dir" </dev/null >/dev/null 2>&1 &
    else
        ip netns exec "$ns" "$TFTPD" -L -c -s -a "$addr:$port" "$dir" </dev/null >/dev/null 2>&1 &
    fi
    SERVER_PID=$!
    PIDS+=("$SERVER_PID")
    for _ in $(seq 100); do
        port_bound "$ns" "$(hex_ip "$addr")" "$port" && return 0
        sleep 0.05
    done
    die "in.tftpd did not bind $addr:$port"
}

stop_server() {
    [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null && wait "$SERVER_PID" 2>/dev/null
    SERVER_PID=
}

IMPAIR_PID=
start_impair() {  # start_impair LOSS SEED
    [ -x "$IMPAIR" ] || die "$IMPAIR missing (needs libnetfilter-queue-dev)"
    : >"$WORK/impair.err"
    ip netns exec "$BOX_NS" "$IMPAIR" --queue 0 --loss "$1" --seed "$2" 2>"$WORK/impair.err" &
    IMPAIR_PID=$!
    PIDS+=("$IMPAIR_PID")
    for _ in $(seq 100); do
        grep -q ready "$WORK/impair.err" && break
        sleep 0.05
    done
    grep -q ready "$WORK/impair.err" || die "tftp_impair did not start: $(cat "$WORK/impair.err")"
    ip netns exec "$BOX_NS" "$IPT" -A OUTPUT -o veth-box -p udp -j NFQUEUE --queue-num 0 ||
        die "iptables NFQUEUE rule"
    if [ "$DIRECTION" = both ]; then
        ip netns exec "$BOX_NS" "$IPT" -A INPUT -i veth-box -p udp -j NFQUEUE --queue-num 0 ||
            die "iptables NFQUEUE rule"
    fi
}

stop_impair() {
    [ -n "$IMPAIR_PID" ] || return 0
    ip netns exec "$BOX_NS" "$IPT" -F OUTPUT
    ip netns exec "$BOX_NS" "$IPT" -F INPUT
    kill "$IMPAIR_PID" 2>/dev/null && wait "$IMPAIR_PID" 2>/dev/null
    IMPAIR_PID=
    IMPAIR_STATS=$(tail -1 "$WORK/impair.err")
}

ns_up() {
    ip netns add "$PC_NS" && ip netns add "$BOX_NS" &&
        ip link add veth-pc netns "$PC_NS" type veth peer name veth-box netns "$BOX_NS" &&
        ip -n "$PC_NS" addr add "$PC_IP/24" dev veth-pc &&
        ip -n "$BOX_NS" addr add "$BOX_IP/24" dev veth-box &&
        ip -n "$PC_NS" link set lo up && ip -n "$BOX_NS" link set lo up &&
        ip -n "$PC_NS" link set veth-pc up && ip -n "$BOX_NS" link set veth-box up ||
        die "namespace set-up"
}

free_loopback_port() {
    local port
    for _ in $(seq 50); do
        port=$((20000 + RANDOM % 30000))
        port_bound - 0100007F "$port" || { echo "$port"; return 0; }
    done
    die "no free loopback port"
}

# run_upload CONDITION CLIENT REP NS ADDR PORT DIR
run_upload() {
    local cond=$1 client=$2 rep=$3 ns=$4 addr=$5 port=$6 dir=$7
    local rc t0 t1 seconds bytes status
    rm -f "$dir/$NAME"
    t0=$(date +%s.%N)
    case $client in
    ours) in_ns "$ns" timeout "$CAP" "$UPLOAD" "$WORK/payload.bin" "$addr" "$port" >/dev/null ;;
    ours-*ms) in_ns "$ns" timeout "$CAP" "$UPLOAD" "$WORK/payload.bin" "$addr" "$port" \
        "${client#ours-}" >/dev/null ;;
    tftp-hpa) (cd "$WORK" && in_ns "$ns" timeout "$CAP" tftp -m octet "$addr" "$port" \
        -c put payload.bin "$NAME") >/dev/null 2>&1 ;;
    esac
    rc=$?
    t1=$(date +%s.%N)
    seconds=$(echo "$t1 - $t0" | bc)
    # The server may still be writing the last block when the client ends.
    for _ in $(seq 20); do
        [ "$(stat -c %s "$dir/$NAME" 2>/dev/null || echo 0)" -ge "$SIZE" ] && break
        sleep 0.05
    done
    bytes=$(stat -c %s "$dir/$NAME" 2>/dev/null || echo 0)
    if [ "$rc" = 124 ]; then
        status=capped
    elif cmp -s "$WORK/payload.bin" "$dir/$NAME"; then
        if [ "$rc" = 0 ]; then status=ok; else status=identical-but-rc$rc; fi
    elif [ "$rc" = 0 ]; then
        status=DIFFERENT-but-rc0
    else
        status=failed-rc$rc
    fi
    printf '%s\t%s\t%s\t%s\t%.3f\t%s\n' "$cond" "$client" "$rep" "$status" "$seconds" "$bytes" |
        tee -a "$RESULTS" >&2
}

summarize() {
    echo
    echo "| condition | client | ok | median s | runs (status s) |"
    echo "|---|---|---|---|---|"
    awk -F'\t' '
        { key = $1 "\t" $2; if (!(key in seen)) { order[++n] = key; seen[key] = 1 }
          runs[key] = runs[key] sprintf("%s %.2f; ", $4, $5); total[key]++
          if ($4 == "ok") { ok[key]++; t[key, ok[key]] = $5 } }
        END {
          for (i = 1; i <= n; i++) {
            k = order[i]; m = ok[k] + 0; med = "-"
            if (m > 0) {
              for (a = 1; a <= m; a++) v[a] = t[k, a]
              for (a = 1; a <= m; a++) for (b = a + 1; b <= m; b++) if (v[b] < v[a]) { x = v[a]; v[a] = v[b]; v[b] = x }
              med = (m % 2) ? v[(m + 1) / 2] : (v[m / 2] + v[m / 2 + 1]) / 2
              medians[k] = med; med = sprintf("%.3f", med)
            }
            split(k, p, "\t")
            printf "| %s | %s | %d/%d | %s | %s |\n", p[1], p[2], m, total[k], med, runs[k]
          }
          print ""
          for (i = 1; i <= n; i++) {
            split(order[i], p, "\t")
            if (p[2] == "ours" && ((p[1] "\ttftp-hpa") in medians) && (order[i] in medians))
              printf "ratio ours / tftp-hpa, %s: %.2f\n", p[1], medians[order[i]] / medians[p[1] "\ttftp-hpa"]
          }
        }' "$RESULTS"
}

# ------------------------------------------------------------------ runs

head -c "$SIZE" /dev/urandom >"$WORK/payload.bin"
log "payload $SIZE bytes, work folder $WORK"

port=$(free_loopback_port)
start_server - 127.0.0.1 "$port" "$WORK/srv"
for rep in $(seq "$REPS"); do
    for client in ours tftp-hpa; do
        run_upload loopback "$client" "$rep" - 127.0.0.1 "$port" "$WORK/srv"
    done
done
stop_server

ns_up
start_server "$BOX_NS" "$BOX_IP" 69 "$WORK/srv"
for rep in $(seq "$REPS"); do
    for client in ours tftp-hpa; do
        run_upload veth "$client" "$rep" "$PC_NS" "$BOX_IP" 69 "$WORK/srv"
    done
done

loss_clients="ours tftp-hpa"
[ -n "$SHORT_TIMEOUT_MS" ] && loss_clients="$loss_clients ours-${SHORT_TIMEOUT_MS}ms"
for loss in $LOSSES; do
    cond="loss$(echo "$loss * 100" | bc | sed 's/\.0*$//')%-$DIRECTION"
    for rep in $(seq "$LOSS_REPS"); do
        for client in $loss_clients; do
            # The same seed for every client of a repetition: the same drops.
            start_impair "$loss" "$rep"
            run_upload "$cond" "$client" "$rep" "$PC_NS" "$BOX_IP" 69 "$WORK/srv"
            stop_impair
            log "impair: $IMPAIR_STATS"
        done
    done
done
stop_server

summarize
