#!/usr/bin/env bash
# Times TFTP uploads (write request, octet mode, 512-byte blocks) of a
# 5,628,964-byte image to in.tftpd (tftpd-hpa) with this project's client
# (tftp_upload), tftp-hpa's client and busybox tftp in the same run, under
# impairment of the link, checks every upload byte for byte and prints
# min/median/max per client and condition, the ratios ours/busybox and
# ours/tftp-hpa, and the retransmissions our client made.
#
#   sudo bench/tftp_bench.sh [BUILD_DIR]      (default: build/bench)
#
# Build first: cmake --preset bench && cmake --build build/bench -j2 \
#   --target tftp_upload tftp_impair      (both in tests/tftp/peers)
#
# The server runs in a network namespace of its own behind a veth pair
# (10.231.0.2), the clients in another (10.231.0.1); both are created here
# and deleted on exit, and nothing leaves them. tftp_impair (NFQUEUE) impairs
# what the server sends, its ACKs, and with "both" also what it receives:
#   clean       nothing
#   loss1       1 % of the ACKs dropped
#   loss1both   1 % of the packets dropped in each direction
#   loss5       5 % of the ACKs dropped
#   dupreorder  every ACK held 1 ms except a random 25 % (which overtake),
#               5 % sent twice, the copy up to 3 ms later
#   delay1ms    every ACK held 1 ms
#   silent      the server falls silent after 2,000 ACKs: the time until the
#               client gives up, about 20 s (our client only, unless
#               SILENT_CLIENTS says otherwise)
# Runs are interleaved (repetition k of every condition and client before
# repetition k + 1), and repetition k of a condition uses impairment seed k
# for every client, so that each meets the same drops.
#
# Settings (environment):
#   CLEAN_REPS=10       uploads per client on clean (short, and noisy on a
#                       shared machine)
#   REPS=5              the same on dupreorder and delay1ms
#   LOSS_REPS=3         the same on the loss conditions
#   SILENT_REPS=2
#   CAP=150             seconds; an upload still running then is killed and
#                       reported as capped
#   STOP_AFTER_CAPPED=2 a client's remaining runs of a condition are skipped
#                       once it has hit the cap this often
#   CONDITIONS="clean loss1 loss1both loss5 dupreorder delay1ms silent"
#   CLIENTS="ours tftp-hpa busybox"  (add "baseline" to time BASELINE_UPLOAD,
#                       another build of tftp_upload, say from an earlier
#                       commit, in the same run)
#   SILENT_CLIENTS="ours"
#   WORK_ROOT=/dev/shm   where the payload and the server's folder live; a
#                       memory file system keeps the disk's write-back stalls
#                       out of the figures (/tmp when it is missing)
set -u -o pipefail

BUILD=${1:-build/bench}
CLEAN_REPS=${CLEAN_REPS:-10}
REPS=${REPS:-5}
LOSS_REPS=${LOSS_REPS:-3}
SILENT_REPS=${SILENT_REPS:-2}
CAP=${CAP:-150}
STOP_AFTER_CAPPED=${STOP_AFTER_CAPPED:-2}
CONDITIONS=${CONDITIONS:-"clean loss1 loss1both loss5 dupreorder delay1ms silent"}
CLIENTS=${CLIENTS:-"ours tftp-hpa busybox"}
SILENT_CLIENTS=${SILENT_CLIENTS:-"ours"}
WORK_ROOT=${WORK_ROOT:-/dev/shm}
[ -d "$WORK_ROOT" ] || WORK_ROOT=/tmp
SIZE=5628964
NAME=rorod_oze_firmware_v1.5.2.bin
TFTPD=/usr/sbin/in.tftpd
MARK=1  # carried by the impairer's duplicates, which the rules let pass

UPLOAD=$BUILD/tests/tftp/peers/tftp_upload
IMPAIR=$BUILD/tests/tftp/peers/tftp_impair
PC_NS=tftpbench_pc$$
BOX_NS=tftpbench_box$$
PC_IP=10.231.0.1
BOX_IP=10.231.0.2

log() { printf '%s %s\n' "$(date +%H:%M:%S)" "$*" >&2; }
die() { log "error: $*"; exit 1; }

[ "$(id -u)" = 0 ] || die "run as root (namespaces, iptables, in.tftpd -s)"
[ -x "$UPLOAD" ] || die "$UPLOAD missing: build the bench preset first"
[ -x "$IMPAIR" ] || die "$IMPAIR missing (needs libnetfilter-queue-dev)"
[ -x "$TFTPD" ] || die "$TFTPD missing (Debian package tftpd-hpa)"
case " $CLIENTS $SILENT_CLIENTS " in *" baseline "*)
    [ -x "${BASELINE_UPLOAD:-}" ] || die "BASELINE_UPLOAD must name another tftp_upload" ;;
esac
case " $CLIENTS $SILENT_CLIENTS " in *" tftp-hpa "*)
    command -v tftp >/dev/null || die "tftp missing (Debian package tftp-hpa)" ;;
esac
case " $CLIENTS $SILENT_CLIENTS " in *" busybox "*)
    command -v busybox >/dev/null || die "busybox missing (Debian package busybox)" ;;
esac
IPT=iptables
command -v iptables-legacy >/dev/null && IPT=iptables-legacy

WORK=$(mktemp -d "$WORK_ROOT/tftp_bench.XXXXXX")
chmod 0755 "$WORK"
RESULTS=$WORK/results.tsv
: >"$RESULTS"
PIDS=()

cleanup() {
    local pid
    for pid in "${PIDS[@]}"; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    # in.tftpd forks one process per request; those still waiting out their
    # own time-outs live in the server's namespace.
    for pid in $(ip netns pids "$BOX_NS" 2>/dev/null); do
        kill "$pid" 2>/dev/null
    done
    ip netns del "$PC_NS" 2>/dev/null
    ip netns del "$BOX_NS" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# ------------------------------------------------------------------ set-up

namespaces_up() {
    ip netns add "$PC_NS" && ip netns add "$BOX_NS" &&
        ip link add veth-pc netns "$PC_NS" type veth peer name veth-box netns "$BOX_NS" &&
        ip -n "$PC_NS" addr add "$PC_IP/24" dev veth-pc &&
        ip -n "$BOX_NS" addr add "$BOX_IP/24" dev veth-box &&
        ip -n "$PC_NS" link set lo up && ip -n "$BOX_NS" link set lo up &&
        ip -n "$PC_NS" link set veth-pc up && ip -n "$BOX_NS" link set veth-box up
}
namespaces_up || die "namespace set-up"

head -c "$SIZE" /dev/urandom >"$WORK/payload.bin"
mkdir -p "$WORK/srv"
chmod 1777 "$WORK/srv"
# Started directly (ip netns exec execs it), so that $! is the server.
ip netns exec "$BOX_NS" "$TFTPD" -L -c -s -a "$BOX_IP:69" "$WORK/srv" </dev/null >/dev/null 2>&1 &
PIDS+=("$!")
for _ in $(seq 100); do
    ip netns exec "$BOX_NS" cat /proc/net/udp | grep -q "0200E70A:0045" && break
    sleep 0.05
done
ip netns exec "$BOX_NS" cat /proc/net/udp | grep -q "0200E70A:0045" || die "in.tftpd did not bind"
log "payload $SIZE bytes, work folder $WORK"

# ------------------------------------------------------------------ runs

reps_of() {
    case $1 in
    clean) echo "$CLEAN_REPS" ;;
    loss*) echo "$LOSS_REPS" ;;
    silent) echo "$SILENT_REPS" ;;
    *) echo "$REPS" ;;
    esac
}

clients_of() { if [ "$1" = silent ]; then echo "$SILENT_CLIENTS"; else echo "$CLIENTS"; fi; }

# impair_args CONDITION: "DIRECTION ARGS..." (direction egress or both)
impair_args() {
    case $1 in
    clean) echo "none" ;;
    loss1) echo "egress --loss 0.01" ;;
    loss1both) echo "both --loss 0.01" ;;
    loss5) echo "egress --loss 0.05" ;;
    dupreorder) echo "egress --delay-ms 1 --reorder 0.25 --dup 0.05 --dup-lag-ms 3" ;;
    delay1ms) echo "egress --delay-ms 1" ;;
    silent) echo "egress --cut-after 2000" ;;
    *) die "unknown condition $1" ;;
    esac
}

IMPAIR_PID=
IMPAIR_STATS=-
start_impair() {  # start_impair CONDITION SEED
    local spec direction
    spec=$(impair_args "$1")
    direction=${spec%% *}
    IMPAIR_STATS=-
    [ "$direction" = none ] && return 0
    : >"$WORK/impair.err"
    local options
    read -r -a options <<<"${spec#* }"
    ip netns exec "$BOX_NS" "$IMPAIR" --queue 0 "${options[@]}" --mark "$MARK" --seed "$2" \
        2>"$WORK/impair.err" &
    IMPAIR_PID=$!
    PIDS+=("$IMPAIR_PID")
    for _ in $(seq 100); do
        grep -q ready "$WORK/impair.err" && break
        sleep 0.05
    done
    grep -q ready "$WORK/impair.err" || die "tftp_impair did not start: $(cat "$WORK/impair.err")"
    # No --queue-bypass: if the impairer dies, packets stop instead of
    # flowing unimpaired.
    ip netns exec "$BOX_NS" "$IPT" -A OUTPUT -o veth-box -p udp -m mark ! --mark "$MARK" \
        -j NFQUEUE --queue-num 0 || die "iptables NFQUEUE rule"
    if [ "$direction" = both ]; then
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
    IMPAIR_STATS=$(tail -1 "$WORK/impair.err" | tr ' ' '_')
}

# run_upload CONDITION CLIENT REP: one upload, one line in results.tsv:
# condition client rep status seconds bytes resends ignored_acks rtt_max_us impairer
run_upload() {
    local cond=$1 client=$2 rep=$3
    local rc t0 t1 seconds bytes status report resends=- ignored=- rtt_max=-
    rm -f "$WORK/srv/$NAME" "$WORK/report"
    start_impair "$cond" "$rep"
    t0=$(date +%s.%N)
    case $client in
    ours) ip netns exec "$PC_NS" timeout "$CAP" "$UPLOAD" "$WORK/payload.bin" "$BOX_IP" 69 \
        >"$WORK/report" ;;
    baseline) ip netns exec "$PC_NS" timeout "$CAP" "$BASELINE_UPLOAD" "$WORK/payload.bin" "$BOX_IP" 69 \
        >"$WORK/report" ;;
    tftp-hpa) (cd "$WORK" && ip netns exec "$PC_NS" timeout "$CAP" tftp -m octet "$BOX_IP" 69 \
        -c put payload.bin "$NAME") >/dev/null 2>&1 ;;
    busybox) (cd "$WORK" && ip netns exec "$PC_NS" timeout "$CAP" busybox tftp -p \
        -l payload.bin -r "$NAME" "$BOX_IP" 69) >/dev/null 2>&1 ;;
    esac
    rc=$?
    t1=$(date +%s.%N)
    stop_impair
    seconds=$(echo "$t1 - $t0" | bc)
    # The server may still be writing the last block when the client ends.
    for _ in $(seq 20); do
        [ "$(stat -c %s "$WORK/srv/$NAME" 2>/dev/null || echo 0)" -ge "$SIZE" ] && break
        sleep 0.05
    done
    bytes=$(stat -c %s "$WORK/srv/$NAME" 2>/dev/null || echo 0)
    if [ "$rc" = 124 ]; then
        status=capped
    elif [ "$cond" = silent ]; then
        if [ "$rc" != 0 ]; then status=gave-up; else status=SUCCESS-from-a-silent-server; fi
    elif cmp -s "$WORK/payload.bin" "$WORK/srv/$NAME"; then
        if [ "$rc" = 0 ]; then status=ok; else status=identical-but-rc$rc; fi
    elif [ "$rc" = 0 ]; then
        status=DIFFERENT-but-rc0
    else
        status=failed-rc$rc
    fi
    if { [ "$client" = ours ] || [ "$client" = baseline ]; } && [ -s "$WORK/report" ]; then
        report=$(cat "$WORK/report")
        resends=$(sed -n 's/.* resends=\([0-9]*\).*/\1/p' <<<"$report")
        ignored=$(sed -n 's/.* ignored_acks=\([0-9]*\).*/\1/p' <<<"$report")
        rtt_max=$(sed -n 's/.* rtt_max_us=\([0-9]*\).*/\1/p' <<<"$report")
    fi
    printf '%s\t%s\t%s\t%s\t%.3f\t%s\t%s\t%s\t%s\t%s\n' "$cond" "$client" "$rep" "$status" \
        "$seconds" "$bytes" "${resends:--}" "${ignored:--}" "${rtt_max:--}" "$IMPAIR_STATS" |
        tee -a "$RESULTS" >&2
}

capped_count() {  # capped_count CONDITION CLIENT
    awk -F'\t' -v c="$1" -v k="$2" '$1 == c && $2 == k && $4 == "capped" { n++ } END { print n + 0 }' \
        "$RESULTS"
}

max_reps=$REPS
[ "$CLEAN_REPS" -gt "$max_reps" ] && max_reps=$CLEAN_REPS
[ "$LOSS_REPS" -gt "$max_reps" ] && max_reps=$LOSS_REPS
[ "$SILENT_REPS" -gt "$max_reps" ] && max_reps=$SILENT_REPS
for rep in $(seq "$max_reps"); do
    for cond in $CONDITIONS; do
        [ "$rep" -le "$(reps_of "$cond")" ] || continue
        for client in $(clients_of "$cond"); do
            if [ "$(capped_count "$cond" "$client")" -ge "$STOP_AFTER_CAPPED" ]; then
                printf '%s\t%s\t%s\tskipped\t-\t-\t-\t-\t-\t-\n' "$cond" "$client" "$rep" |
                    tee -a "$RESULTS" >&2
                continue
            fi
            run_upload "$cond" "$client" "$rep"
        done
    done
done

# ------------------------------------------------------------------ summary

# Runs that count: uploads that arrived whole with exit status 0, and on
# "silent" the give-ups. Capped runs bound the time from below.
awk -F'\t' -v cap="$CAP" '
    function sortv(n,   a, b, x) {
        for (a = 1; a <= n; a++) for (b = a + 1; b <= n; b++) if (v[b] < v[a]) { x = v[a]; v[a] = v[b]; v[b] = x }
    }
    function median(n) { return (n % 2) ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2 }
    {
        key = $1 SUBSEP $2
        if (!(key in runs)) { order[++nk] = key }
        if (!($1 in seen_cond)) { conds[++nc] = $1; seen_cond[$1] = 1 }
        runs[key]++
        if ($4 == "ok" || $4 == "gave-up") { good[key]++; t[key, good[key]] = $5 }
        else { other[key] = other[key] sprintf("%s%s %s", (other[key] == "" ? "" : "; "), $4, $5) }
        if ($4 == "capped") capped[key]++
        if ($2 == "ours" && $7 != "-") { nr[$1]++; r[$1, nr[$1]] = $7; ig[$1, nr[$1]] = $8 }
    }
    END {
        print ""
        print "| condition | client | counted/runs | min s | median s | max s | other runs (status s) |"
        print "|---|---|---|---|---|---|---|"
        for (i = 1; i <= nk; i++) {
            k = order[i]; split(k, p, SUBSEP); n = good[k] + 0
            lo = "-"; me = "-"; hi = "-"
            if (n > 0) {
                for (j = 1; j <= n; j++) v[j] = t[k, j]
                sortv(n); lo = sprintf("%.2f", v[1]); hi = sprintf("%.2f", v[n])
                med[k] = median(n); me = sprintf("%.2f", med[k])
            }
            printf "| %s | %s | %d/%d | %s | %s | %s | %s |\n", p[1], p[2], n, runs[k], lo, me, hi, other[k]
        }
        print ""
        print "| condition | ours / busybox | ours / tftp-hpa | our resends min/median/max | ignored ACKs median |"
        print "|---|---|---|---|---|"
        for (c = 1; c <= nc; c++) {
            cond = conds[c]; ours = cond SUBSEP "ours"
            ratio_b = "-"; ratio_h = "-"
            if (ours in med) {
                b = cond SUBSEP "busybox"; h = cond SUBSEP "tftp-hpa"
                if (b in med) ratio_b = sprintf("%.2f", med[ours] / med[b])
                else if (capped[b] > 0) ratio_b = sprintf("< %.2f", med[ours] / cap)
                if (h in med) ratio_h = sprintf("%.2f", med[ours] / med[h])
                else if (capped[h] > 0) ratio_h = sprintf("< %.2f", med[ours] / cap)
                if ((b in med) && good[b] < runs[b]) ratio_b = ratio_b " (busybox " good[b] + 0 "/" runs[b] ")"
                if ((h in med) && good[h] < runs[h]) ratio_h = ratio_h " (tftp-hpa " good[h] + 0 "/" runs[h] ")"
            }
            rs = "-"; im = "-"
            if (nr[cond] > 0) {
                n = nr[cond]
                for (j = 1; j <= n; j++) v[j] = r[cond, j] + 0
                sortv(n); rs = sprintf("%d/%s/%d", v[1], median(n), v[n])
                for (j = 1; j <= n; j++) v[j] = ig[cond, j] + 0
                sortv(n); im = median(n)
            }
            printf "| %s | %s | %s | %s | %s |\n", cond, ratio_b, ratio_h, rs, im
        }
    }' "$RESULTS"
echo
echo "Goals: clean <= 1.0x tftp-hpa; loss1 and loss5 <= 0.5x busybox; dupreorder byte-exact"
echo "with 0 resends; silent: our client gives up about 20 s after the last ACK."
