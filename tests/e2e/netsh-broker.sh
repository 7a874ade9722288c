#!/bin/bash
# The Linux side of the netsh stand-in (netsh_standin.cpp): takes the
# command lines it drops into a spool folder and carries them out the way
# netsh would, on the PC's network namespace, then answers with an exit
# code and netsh's text. Runs until it is stopped.
#
# usage: netsh-broker.sh PC_NAMESPACE SPOOL_DIR STATE_DIR
#
# STATE_DIR holds, prepared by the caller:
#   connections  "connection name<TAB>interface" lines (the names Windows
#                shows; set-address commands find their interface here)
#   leases       "interface<TAB>address/length<TAB>gateway or -" lines: what
#                the DHCP server hands out when an interface goes back to DHCP
# and, written here:
#   commands     every command line, in arrival order
#   journal      "seconds-since-boot exit-code command line" per command
#   rules        the firewall rules in force, "name<TAB>rest of the command"
# and, when the caller wants commands to fail:
#   refuse       "regex<TAB>exit code<TAB>text" lines: a command line that
#                matches a regex (extended) is answered with that code and
#                text and changes nothing; read for every command
#   slow         "regex<TAB>seconds" lines: a command line that matches
#                waits that long before it is carried out
# Only the namespace given is ever changed.
set -u

ns=$1
spool=$2
state=$3
if [ -z "$ns" ] || [ ! -e "/run/netns/$ns" ]; then
    echo "netsh-broker: no namespace '$ns'" >&2
    exit 1
fi
touch "$state/commands" "$state/journal" "$state/rules" "$state/connections" "$state/leases" "$state/refuse" \
    "$state/slow"

re_add_rule='^netsh advfirewall firewall add rule name="([^"]*)" (.+)$'
re_delete_rule='^netsh advfirewall firewall delete rule name="([^"]*)"$'
# static ADDRESS MASK [GATEWAY [METRIC] | gateway=none]; the gateway's words
# are checked by set_static, as netsh reads them.
re_static='^netsh interface ip set address name="([^"]*)" static ([0-9.]+) ([0-9.]+)( (.*))?$'
re_dhcp='^netsh interface ip set address name="([^"]*)" dhcp$'
re_dump='^netsh +interface +ip +dump *$'

# Dotted quad -> 32-bit number; fails for anything else.
ipv4_number() {
    [[ $1 =~ ^([0-9]{1,3})\.([0-9]{1,3})\.([0-9]{1,3})\.([0-9]{1,3})$ ]] || return 1
    local i value=0 octet
    for i in 1 2 3 4; do
        octet=$((10#${BASH_REMATCH[i]}))
        ((octet <= 255)) || return 1
        value=$(((value << 8) | octet))
    done
    echo "$value"
}

# Dotted mask -> prefix length; fails for a mask with holes.
mask_length() {
    local value inverse bits=0
    value=$(ipv4_number "$1") || return 1
    inverse=$((~value & 0xFFFFFFFF))
    (((inverse & (inverse + 1)) == 0)) || return 1
    while ((value & 0xFFFFFFFF)); do
        bits=$((bits + 1))
        value=$(((value << 1) & 0xFFFFFFFF))
    done
    echo "$bits"
}

length_mask() {
    local value=$(((0xFFFFFFFF << (32 - $1)) & 0xFFFFFFFF))
    echo "$((value >> 24 & 255)).$((value >> 16 & 255)).$((value >> 8 & 255)).$((value & 255))"
}

interface_of() {  # interface_of CONNECTION_NAME
    awk -F '\t' -v name="$1" '$1 == name { print $2; found = 1; exit } END { exit !found }' "$state/connections"
}

# The address replaces every address of the interface, and with it its
# default route; a gateway (not 0.0.0.0) becomes the default route. The
# rest of the line is split into words as netsh does: two blanks in a row
# make no empty word, so "MASK  0" names the gateway "0", which is refused.
set_static() {  # set_static NAME ADDRESS MASK [REST]
    local dev length gateway="" metric=0 rest
    dev=$(interface_of "$1") || { echo "There is no connection named \"$1\"."; return 1; }
    read -r -a rest <<<"${4:-}"
    case ${#rest[@]}:${rest[0]:-} in
        0:) ;;
        1:gateway=none) ;;
        1:* | 2:*) gateway=${rest[0]} metric=${rest[1]:-0} ;;
        *) echo "The syntax supplied for this command is not valid."; return 1 ;;
    esac
    if ! ipv4_number "$2" >/dev/null || ! length=$(mask_length "$3") ||
        { [ -n "$gateway" ] && ! ipv4_number "$gateway" >/dev/null; } || [[ ! $metric =~ ^[0-9]+$ ]]; then
        echo "The parameter is incorrect."
        return 1
    fi
    ip -n "$ns" -4 addr flush dev "$dev"
    while ip -n "$ns" -4 route del default dev "$dev" 2>/dev/null; do :; done
    ip -n "$ns" addr add "$2/$length" dev "$dev" || return 1
    if [ -n "$gateway" ] && [ "$gateway" != 0.0.0.0 ]; then
        ip -n "$ns" route replace default via "$gateway" dev "$dev" metric "$metric" || return 1
    fi
}

set_dhcp() {  # set_dhcp NAME: the lease the DHCP server gives this interface
    local dev address gateway
    dev=$(interface_of "$1") || { echo "There is no connection named \"$1\"."; return 1; }
    ip -n "$ns" -4 addr flush dev "$dev"
    read -r address gateway < <(awk -F '\t' -v dev="$dev" '$1 == dev { print $2, $3; exit }' "$state/leases")
    [ -n "${address:-}" ] || return 0  # no DHCP server answers on this link
    ip -n "$ns" addr add "$address" dev "$dev" || return 1
    if [ "$gateway" != - ]; then
        ip -n "$ns" route replace default via "$gateway" dev "$dev" || return 1
    fi
}

add_rule() {
    printf '%s\t%s\n' "$1" "$2" >>"$state/rules"
    echo "Ok."
}

delete_rule() {
    local count
    count=$(awk -F '\t' -v name="$1" '$1 == name' "$state/rules" | wc -l)
    if [ "$count" = 0 ]; then
        echo "No rules match the specified criteria."
        return 1
    fi
    awk -F '\t' -v name="$1" '$1 != name' "$state/rules" >"$state/rules.new"
    mv "$state/rules.new" "$state/rules"
    printf '\nDeleted %s rule(s).\nOk.\n' "$count"
}

# netsh's dump: per connection its address, mask and gateway as they are.
dump() {
    local name dev address gateway
    printf '#========================\n# Interface IP Configuration\n#========================\npushd interface ip\n\n'
    while IFS=$'\t' read -r name dev; do
        address=$(ip -n "$ns" -4 -o addr show dev "$dev" | awk '{ print $4; exit }')
        gateway=$(ip -n "$ns" -4 route show default dev "$dev" | awk '{ print "gateway=" $3 " gwmetric=0"; exit }')
        if [ -n "$address" ]; then
            printf 'set address name="%s" source=static addr=%s mask=%s %s\n' "$name" "${address%/*}" \
                "$(length_mask "${address#*/}")" "${gateway:-gateway=none}"
        else
            printf 'set address name="%s" source=dhcp\n' "$name"
        fi
    done <"$state/connections"
    printf '\npopd\n# End of interface IP configuration\n'
}

# The refusal that matches LINE: prints its text, returns its code; 255
# when none does.
refusal() {  # refusal COMMAND_LINE
    local regex code text
    while IFS=$'\t' read -r regex code text; do
        [[ -n $regex && $1 =~ $regex ]] || continue
        printf '%s\n' "$text"
        return "$code"
    done <"$state/refuse"
    return 255
}

# Waits as long as the first "slow" line matching LINE says.
slowness() {  # slowness COMMAND_LINE
    local regex seconds
    while IFS=$'\t' read -r regex seconds; do
        [[ -n $regex && $1 =~ $regex ]] || continue
        sleep "$seconds"
        return
    done <"$state/slow"
}

handle() {  # handle COMMAND_LINE: prints netsh's text, returns its exit code
    local line=$1 code
    slowness "$line"
    refusal "$line"
    code=$?
    if [ "$code" != 255 ]; then
        return "$code"
    elif [[ $line =~ $re_add_rule ]]; then
        add_rule "${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}"
    elif [[ $line =~ $re_delete_rule ]]; then
        delete_rule "${BASH_REMATCH[1]}"
    elif [[ $line =~ $re_static ]]; then
        set_static "${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}" "${BASH_REMATCH[3]}" "${BASH_REMATCH[5]}"
    elif [[ $line =~ $re_dhcp ]]; then
        set_dhcp "${BASH_REMATCH[1]}"
    elif [[ $line =~ $re_dump ]]; then
        dump
    else
        echo "The following command was not found: ${line#netsh }."
        return 1
    fi
}

shopt -s nullglob
while :; do
    for request in "$spool"/*.req; do
        line=$(tr -d '\r' <"$request")
        printf '%s\n' "$line" >>"$state/commands"
        answer=$(handle "$line" 2>&1)
        code=$?
        printf '%s %s %s\n' "$(cut -d" " -f1 /proc/uptime)" "$code" "$line" >>"$state/journal"
        printf '%s\n%s\n' "$code" "$answer" >"${request%.req}.done.tmp"
        mv "${request%.req}.done.tmp" "${request%.req}.done"
        rm -f "$request"
    done
    sleep 0.05
done
