#!/bin/bash
# The netsh broker against a namespace of the test's own: each command line
# as the stand-in hands it over, the exit code and text it answers, and the
# namespace's addresses and the firewall rules afterwards. Root only; exit
# code 77 (skipped) otherwise.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if [ "$(id -u)" != 0 ]; then
    echo "netsh_broker_test: SKIPPED: needs root (network namespaces)"
    exit 77
fi
ns=brokertest$$r$RANDOM
if ! ip netns add "$ns" 2>/dev/null; then
    echo "netsh_broker_test: SKIPPED: network namespaces are not available here"
    exit 77
fi
work=$(mktemp -d)
broker=""
cleanup() {
    [ -n "$broker" ] && kill "$broker" 2>/dev/null && wait "$broker" 2>/dev/null
    ip netns del "$ns" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Two adapters, each cabled to a peer in the same namespace.
ip -n "$ns" link add eth0 type veth peer name peer0
ip -n "$ns" link add eth1 type veth peer name peer1
for dev in lo eth0 peer0 eth1 peer1; do ip -n "$ns" link set "$dev" up; done
ip -n "$ns" addr add 10.20.30.40/24 dev eth0
ip -n "$ns" route add default via 10.20.30.1 dev eth0
ip -n "$ns" addr add 172.16.8.20/24 dev eth1
mkdir -p "$work/spool" "$work/state"
printf '本地连接\teth0\n以太网 2\teth1\n' >"$work/state/connections"
printf 'eth0\t10.20.30.40/24\t10.20.30.1\neth1\t172.16.8.20/24\t-\n' >"$work/state/leases"
bash "$here/netsh-broker.sh" "$ns" "$work/spool" "$work/state" &
broker=$!

passed=0
failed=0
n=0
# run COMMAND_LINE: hands it over like the stand-in; sets CODE and TEXT.
run() {
    n=$((n + 1))
    local base i
    base="$work/spool/$(printf '%08d' "$n")"
    printf '%s\r\n' "$1" >"$base.tmp"
    mv "$base.tmp" "$base.req"
    for ((i = 0; i < 200; i++)); do
        [ -f "$base.done" ] && break
        sleep 0.05
    done
    CODE=$(head -n 1 "$base.done" 2>/dev/null)
    TEXT=$(tail -n +2 "$base.done" 2>/dev/null)
    rm -f "$base.done"
}
addresses() { ip -n "$ns" -4 -o addr show dev "$1" | awk '{ print $4 }' | tr '\n' ' ' | sed 's/ $//'; }
default_route() { ip -n "$ns" -4 route show default | awk '{ print $3, $5 }'; }
rules() { wc -l <"$work/state/rules" | tr -d ' '; }
with_route() { echo "$(addresses "$1")|$(default_route)"; }  # with_route DEV
both() { echo "$(addresses "$1")|$(addresses "$2")"; }       # both DEV DEV
first_command() { sed -n 1p "$work/state/commands"; }

# expect NAME COMMAND CODE TEXT_PART EXPECTED PROBE...: after COMMAND, the
# command PROBE prints EXPECTED
expect() {
    local name=$1 command=$2 code=$3 text=$4 want=$5 probe got
    shift 5
    probe="$*"
    run "$command"
    got=$("$@")
    if [ "$CODE" = "$code" ] && [[ $TEXT == *"$text"* ]] && [ "$got" = "$want" ]; then
        passed=$((passed + 1))
        echo "  ok    $name"
    else
        failed=$((failed + 1))
        echo "  FAIL  $name: code $CODE (want $code), text '$TEXT', $probe -> '$got' (want '$want')"
    fi
}

rule='netsh advfirewall firewall add rule name="VA Rovade Varoza" dir=in action=allow program="C:\Program Files\DEzed\repair.exe"'
delete='netsh advfirewall firewall delete rule name="VA Rovade Varoza"'
set_eth0='netsh interface ip set address name="本地连接"'

expect "a rule is added" "$rule" 0 "Ok." 1 rules
expect "the same rule again: two rules of that name" "$rule" 0 "Ok." 2 rules
expect "delete removes every rule of the name" "$delete" 0 "Deleted 2 rule(s)." 0 rules
expect "delete without a rule fails" "$delete" 1 "No rules match" 0 rules
expect "the recovery address replaces the address, the default route goes with it" \
    "$set_eth0 static 192.168.1.111 255.255.255.0" 0 "" "192.168.1.111/24|" with_route eth0
expect "a static address with gateway and metric" \
    "$set_eth0 static 192.168.0.10 255.255.255.0 192.168.0.1 0" 0 "" \
    "192.168.0.10/24|192.168.0.1 eth0" with_route eth0
expect "gateway=none: the address alone, no default route left" \
    "$set_eth0 static 192.168.0.10 255.255.255.0 gateway=none" 0 "" "192.168.0.10/24|" with_route eth0
expect "a gateway again, without a metric" "$set_eth0 static 192.168.0.10 255.255.255.0 192.168.0.1" 0 "" \
    "192.168.0.10/24|192.168.0.1 eth0" with_route eth0
expect "two blanks before the metric make it the gateway: refused, nothing changed" \
    "$set_eth0 static 10.20.30.40 255.255.255.0  0" 1 "parameter is incorrect" \
    "192.168.0.10/24|192.168.0.1 eth0" with_route eth0
expect "dhcp brings the lease back" "$set_eth0 dhcp" 0 "" \
    "10.20.30.40/24|10.20.30.1 eth0" with_route eth0
expect "a name with a blank is one connection" \
    'netsh interface ip set address name="以太网 2" static 192.168.1.111 255.255.255.0' 0 "" \
    "192.168.1.111/24|10.20.30.40/24" both eth1 eth0
expect "dhcp without a gateway in the lease" 'netsh interface ip set address name="以太网 2" dhcp' 0 "" \
    "172.16.8.20/24|10.20.30.1 eth0" with_route eth1
expect "an unknown connection changes nothing" \
    'netsh interface ip set address name="以太网 9" static 192.168.1.111 255.255.255.0' 1 "no connection named" \
    "10.20.30.40/24" addresses eth0
expect "the empty connection name changes nothing" \
    'netsh interface ip set address name="" static 192.168.1.111 255.255.255.0' 1 "no connection named" \
    "10.20.30.40/24" addresses eth0
expect "a mask with a hole is refused" "$set_eth0 static 192.168.1.111 255.0.255.0" 1 "parameter is incorrect" \
    "10.20.30.40/24" addresses eth0
expect "an address beyond 255 is refused" "$set_eth0 static 192.168.1.256 255.255.255.0" 1 "parameter is incorrect" \
    "10.20.30.40/24" addresses eth0
expect "the dump lists the connections with their gateways" "netsh interface ip dump " 0 \
    'set address name="本地连接" source=static addr=10.20.30.40 mask=255.255.255.0 gateway=10.20.30.1 gwmetric=0
set address name="以太网 2" source=static addr=172.16.8.20 mask=255.255.255.0 gateway=none' "10.20.30.40/24" \
    addresses eth0
expect "an unknown command fails" "netsh wlan show profiles" 1 "was not found" 0 rules
expect "every command line is recorded as received" "netsh advfirewall firewall delete rule name=\"x\"" 1 "" \
    "$rule" first_command

# Refusals chosen by a road: the matching command fails with the code and
# text given and changes nothing; the others go on; cleared, all succeed.
printf '%s\t%s\t%s\n' 'set address name="[^"]*" static ' 5 "The requested operation requires elevation." >"$work/state/refuse"
expect "a refused command fails with its code and text, changing nothing" \
    "$set_eth0 static 192.168.1.111 255.255.255.0" 5 "requires elevation" "10.20.30.40/24" addresses eth0
expect "a command the refusals do not match still runs" "$rule" 0 "Ok." 1 rules
: >"$work/state/refuse"
expect "without refusals the same command runs" "$delete" 0 "Deleted 1 rule(s)." 0 rules

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
