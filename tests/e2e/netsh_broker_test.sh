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
    local base="$work/spool/$(printf '%08d' "$n")" i
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

# expect NAME COMMAND CODE TEXT_PART WHAT_TO_CHECK EXPECTED
expect() {
    local name=$1 command=$2 code=$3 text=$4 probe=$5 want=$6 got
    run "$command"
    got=$(eval "$probe")
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

expect "a rule is added" "$rule" 0 "Ok." rules 1
expect "the same rule again: two rules of that name" "$rule" 0 "Ok." rules 2
expect "delete removes every rule of the name" "$delete" 0 "Deleted 2 rule(s)." rules 0
expect "delete without a rule fails" "$delete" 1 "No rules match" rules 0
expect "the recovery address replaces the address, the default route goes with it" \
    "$set_eth0 static 192.168.1.111 255.255.255.0" 0 "" 'echo "$(addresses eth0)|$(default_route)"' "192.168.1.111/24|"
expect "a static address with gateway and metric" \
    "$set_eth0 static 192.168.0.10 255.255.255.0 192.168.0.1 0" 0 "" 'echo "$(addresses eth0)|$(default_route)"' \
    "192.168.0.10/24|192.168.0.1 eth0"
expect "dhcp brings the lease back" "$set_eth0 dhcp" 0 "" 'echo "$(addresses eth0)|$(default_route)"' \
    "10.20.30.40/24|10.20.30.1 eth0"
expect "a name with a blank is one connection" \
    'netsh interface ip set address name="以太网 2" static 192.168.1.111 255.255.255.0' 0 "" \
    'echo "$(addresses eth1)|$(addresses eth0)"' "192.168.1.111/24|10.20.30.40/24"
expect "dhcp without a gateway in the lease" 'netsh interface ip set address name="以太网 2" dhcp' 0 "" \
    'echo "$(addresses eth1)|$(default_route)"' "172.16.8.20/24|10.20.30.1 eth0"
expect "an unknown connection changes nothing" \
    'netsh interface ip set address name="以太网 9" static 192.168.1.111 255.255.255.0' 1 "no connection named" \
    'addresses eth0' "10.20.30.40/24"
expect "the empty connection name changes nothing" \
    'netsh interface ip set address name="" static 192.168.1.111 255.255.255.0' 1 "no connection named" \
    'addresses eth0' "10.20.30.40/24"
expect "a mask with a hole is refused" "$set_eth0 static 192.168.1.111 255.0.255.0" 1 "parameter is incorrect" \
    'addresses eth0' "10.20.30.40/24"
expect "an address beyond 255 is refused" "$set_eth0 static 192.168.1.256 255.255.255.0" 1 "parameter is incorrect" \
    'addresses eth0' "10.20.30.40/24"
expect "the dump lists the connections" "netsh interface ip dump " 0 \
    'set address name="本地连接" source=static addr=10.20.30.40 mask=255.255.255.0' 'addresses eth0' "10.20.30.40/24"
expect "an unknown command fails" "netsh wlan show profiles" 1 "was not found" rules 0
expect "every command line is recorded as received" "netsh advfirewall firewall delete rule name=\"x\"" 1 "" \
    'sed -n 1p "$work/state/commands"' "$rule"

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
