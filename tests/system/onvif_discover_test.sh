#!/usr/bin/env bash
# System test of the combined search: tervane-cli discover on a LAN of
# private network namespaces where the tool's host has no default route (nor
# a route for multicast), two cards:
#   lanA 10.77.0.1/24: three native cameras (.11-.13), three ONVIF ones
#         (.14-.16; the second takes only HTTP digest, the third's clock runs
#         two hours ahead) and one camera that speaks both (.30);
#   toR  10.66.0.1/24: a router (10.66.0.2) to 10.99.0.0/24, where a native
#         camera (.11) and two ONVIF ones (.12, .13) sit: no broadcast or
#         multicast of ours crosses it (a host route leads there).
#  1. --user/--password --json lists every camera of lanA once, the ONVIF
#     ones with their MAC, firmware version and "protocol": "onvif", the dual
#     one as native; nothing from behind the router;
#  2. --address START-END asks the routed cameras directly: they are listed
#     too, the ONVIF ones with their identity;
#  3. a wrong password lists the ONVIF cameras by endpoint, login refused;
#  4. --protocol native / onvif list only that kind.
# Usage: onvif_discover_test.sh <bin dir>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
bin=$1
fail() { echo "FAIL: $*"; exit 1; }
if [ "${TERVANE_IN_NETNS:-0}" != 1 ]; then
  echo "SKIP: needs the private network namespace of scripts/in-netns.sh"
  exit 77
fi
command -v jq >/dev/null || { echo "SKIP: needs jq"; exit 77; }
# shellcheck source=../../scripts/netns-lib.sh
. "$root/scripts/netns-lib.sh"
netns_possible || { echo "SKIP: cannot make a network namespace here"; exit 77; }

work=$(mktemp -d)
cleanup() {
  netns_cleanup
  rm -rf "$work"
}
trap cleanup EXIT INT TERM
netns_new tool || exit 77
netns_new lan || exit 77
netns_new router || exit 77
netns_new far || exit 77

{
  echo "link set lo up"
  echo "link add lanA type veth peer name lanA1"
  echo "link add toR type veth peer name toR1"
  echo "addr add 10.77.0.1/24 dev lanA"
  echo "addr add 10.66.0.1/24 dev toR"
  echo "link set lanA up"
  echo "link set toR up"
} | netns_in "$tool" ip -batch -
netns_in "$tool" ip link set lanA1 netns "$lan"
netns_in "$tool" ip link set toR1 netns "$router"
netns_in "$tool" ip route add 10.99.0.0/24 via 10.66.0.2
cameras_at() {  # namespace link subnet last-bytes...: the cameras' end of a link
  local ns=$1 link=$2 subnet=$3
  shift 3
  {
    echo "link set lo up"
    echo "link set $link up"
    for a in "$@"; do echo "addr add $subnet.$a/24 dev $link"; done
  } | netns_in "$ns" ip -batch -
}
cameras_at "$lan" lanA1 10.77.0 11 12 13 14 15 16 30
{
  echo "link set lo up"
  echo "link add farR type veth peer name farR1"
  echo "addr add 10.66.0.2/24 dev toR1"
  echo "addr add 10.99.0.1/24 dev farR"
  echo "link set toR1 up"
  echo "link set farR up"
} | netns_in "$router" ip -batch -
netns_in "$router" ip link set farR1 netns "$far"
netns_in "$router" sysctl -qw net.ipv4.ip_forward=1
cameras_at "$far" farR1 10.99.0 11 12 13
netns_in "$far" ip route add default via 10.99.0.1

cat >"$work/lan.json" <<JSON
{"count": 3, "base_ip": "10.77.0.11", "onvif": 3,
 "onvif_faults": {"02:0F:00:00:00:02": "login=digest", "02:0F:00:00:00:03": "clock_offset=7200"},
 "devices": [{"mac": "02:88:00:00:00:01", "ip": "10.77.0.30", "protocol": "both", "model": "DUAL-1"}]}
JSON
cat >"$work/far.json" <<JSON
{"count": 1, "base_ip": "10.99.0.11", "mac_prefix": "02:99:00", "gateway": "10.99.0.1",
 "onvif": 2, "onvif_mac_prefix": "02:9F:00"}
JSON
start() {  # namespace name config: an ipcsim, until the cleanup
  netns_start "$1" "$2" "$work" "$bin/ipcsim" --config "$3" && return 0
  cat "$work/$2.err" >&2
  fail "the cameras of $2 did not start"
}
start "$lan" lan "$work/lan.json"
start "$far" far "$work/far.json"

cli() { netns_in "$tool" env TERVANE_IN_NETNS=1 "$bin/tervane-cli" discover --listen 1500 "$@"; }
count() { jq "[.[] | select($1)] | length" <<<"$json"; }

# 1. Both kinds, the ONVIF ones with their identity.
json=$(cli --user Admin --password tovik --json) || fail "discover exited with $?"
[ "$(count 'true')" = 7 ] || fail "$(count 'true') cameras listed, expected 7: $json"
[ "$(count '.protocol == "native"')" = 4 ] || fail "not 4 native cameras: $json"
[ "$(count '.protocol == "onvif" and (.mac_address | test("^02:0F:00:00:00:0[123]$")) and .software_ver != ""')" = 3 ] ||
  fail "the ONVIF cameras lack MAC or version: $json"
[ "$(jq -r '[.[].mac_address] | unique | length' <<<"$json")" = 7 ] || fail "a camera was listed twice: $json"
[ "$(jq -r '.[] | select(.mac_address == "02:88:00:00:00:01") | .protocol' <<<"$json")" = native ] ||
  fail "the camera speaking both is not listed as native"
[ "$(jq -r '.[] | select(.mac_address == "02:0F:00:00:00:03") | .xaddr' <<<"$json")" = \
  http://10.77.0.16:80/onvif/device_service ] || fail "the XAddr of the camera two hours ahead: $json"
[ "$(count '(.ip_address | startswith("10.99."))')" = 0 ] || fail "a camera behind the router answered a broadcast"
echo "ok: native and ONVIF cameras listed once each, the ONVIF ones with MAC and version, the dual one as native"

# 2. The routed cameras, asked directly.
json=$(cli --user Admin --password tovik --json --address 10.99.0.11-10.99.0.13) || fail "discover exited with $?"
[ "$(count 'true')" = 10 ] || fail "$(count 'true') cameras listed with --address, expected 10: $json"
[ "$(jq -r '.[] | select(.ip_address == "10.99.0.11") | .mac_address' <<<"$json")" = 02:99:00:00:00:01 ] ||
  fail "the routed native camera is missing"
[ "$(count '.protocol == "onvif" and (.mac_address | startswith("02:9F:00:")) and .software_ver != ""')" = 2 ] ||
  fail "the routed ONVIF cameras are missing or lack their identity: $json"
echo "ok: --address START-END lists the cameras behind the router"

# 3. A wrong password.
json=$(cli --user Admin --password wrong --json --protocol onvif) || fail "discover exited with $?"
[ "$(count '.identity == "refused" and .mac_address == "" and (.endpoint | startswith("urn:uuid:"))')" = 4 ] ||
  fail "not every ONVIF camera listed by endpoint with its login refused: $json"
echo "ok: a wrong password lists the ONVIF cameras by endpoint, login refused"

# 4. One kind alone.
json=$(cli --json --protocol native) || fail "discover exited with $?"
[ "$(count 'true')" = 4 ] && [ "$(count '.protocol == "native"')" = 4 ] || fail "--protocol native listed: $json"
table=$(cli --protocol onvif) || fail "discover exited with $?"
[ "$(tail -n +2 <<<"$table" | grep -c '  onvif  ')" = 4 ] && [ "$(tail -n +2 <<<"$table" | wc -l)" = 4 ] || fail "--protocol onvif listed: $table"
echo "ok: --protocol native and onvif list one kind each"
echo "PASS"
