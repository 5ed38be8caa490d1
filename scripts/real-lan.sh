#!/usr/bin/env bash
# Builds a LAN shaped like the ones users have, out of private network
# namespaces, runs a command on the tool's host and removes everything when
# the command ends. Nothing here can reach a real network: every namespace is
# new and joined only to the others.
#
# Usage: scripts/real-lan.sh [--cameras N] -- command [arguments...]
#
#   tool's host : no default route; a dozen interfaces with addresses that are
#                 down (down1..down12, 172.20.N.1/24), created before the two
#                 cards cardA 10.77.0.1/24 and cardB 10.88.0.1/24
#   behind cardA: N cameras (default 20) from 10.77.0.11, MACs 02:77:00:...,
#                 spare address 10.77.0.201, and at 10.77.0.250 a host that
#                 sends an empty datagram to the reply port before it answers
#                 one second late, as MAC 02:77:00:00:02:50 with terminal
#                 escapes and a byte that is not UTF-8 in its version
#   behind cardB: N cameras from 10.88.0.11, MACs 02:88:00:..., spare address
#                 10.88.0.64, and a camera in a foreign subnet, 192.168.1.64
#                 (MAC 02:19:21:68:00:64)
#
# Environment: REAL_LAN_BIN (directory of ipcsim and stray_host, default
# build/bin). The command runs on the tool's host under the network guard
# (scripts/netns-lib.sh) and sees TERVANE_IN_NETNS=1 and REAL_LAN_LOGS (the
# directory of the simulators' output). Exit status: the command's; 97 when
# no namespace can be made; 98 when a simulator did not start.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=netns-lib.sh
. "$root/scripts/netns-lib.sh"
bin=${REAL_LAN_BIN:-$root/build/bin}
cameras=20
if [ "${1:-}" = "--cameras" ]; then cameras=$2; shift 2; fi
[ "${1:-}" = "--" ] && [ $# -gt 1 ] || { echo "usage: $0 [--cameras N] -- command [arguments...]" >&2; exit 2; }
shift
netns_possible || { echo "real-lan: cannot make a network namespace here" >&2; exit 97; }

work=$(mktemp -d)
cleanup() {
  netns_cleanup
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

netns_new tool || exit 97
netns_new lan_a || exit 97
netns_new lan_b || exit 97

{
  echo "link set lo up"
  for i in $(seq 1 12); do
    echo "link add down$i type veth peer name downp$i"
    echo "addr add 172.20.$i.1/24 dev down$i"
  done
  echo "link add cardA type veth peer name lanA"
  echo "link add cardB type veth peer name lanB"
  echo "addr add 10.77.0.1/24 dev cardA"
  echo "addr add 10.88.0.1/24 dev cardB"
  echo "link set cardA up"
  echo "link set cardB up"
} | netns_in "$tool" ip -batch -
netns_in "$tool" ip link set lanA netns "$lan_a"
netns_in "$tool" ip link set lanB netns "$lan_b"

camera_lan() {  # pid link subnet extra-address...: the cameras' end of a card
  local pid=$1 link=$2 subnet=$3
  shift 3
  {
    echo "link set lo up"
    echo "link set $link up"
    for i in $(seq 0 $((cameras - 1))); do echo "addr add $(ip_add "$subnet.11" "$i")/24 dev $link"; done
    for extra in "$@"; do echo "addr add $extra/24 dev $link"; done
  } | netns_in "$pid" ip -batch -
}
camera_lan "$lan_a" lanA 10.77.0 10.77.0.201 10.77.0.250
camera_lan "$lan_b" lanB 10.88.0 10.88.0.64 192.168.1.64

echo "{\"count\": $cameras, \"base_ip\": \"10.77.0.11\", \"mac_prefix\": \"02:77:00\"}" >"$work/lan_a.json"
cat >"$work/lan_b.json" <<JSON
{"count": $cameras, "base_ip": "10.88.0.11", "mac_prefix": "02:88:00",
 "devices": [{"mac": "02:19:21:68:00:64", "ip": "192.168.1.64", "gateway": "192.168.1.1"}]}
JSON
start() {  # namespace name program arguments...: runs until the cleanup
  local ns=$1 name=$2
  shift 2
  netns_start "$ns" "$name" "$work" "$@" && return 0
  echo "real-lan: $name did not start:" >&2
  cat "$work/$name.err" >&2
  exit 98
}
start "$lan_a" cameras_a "$bin/ipcsim" --config "$work/lan_a.json"
start "$lan_b" cameras_b "$bin/ipcsim" --config "$work/lan_b.json"
start "$lan_a" stray "$bin/stray_host" --ip 10.77.0.250 --mac 02:77:00:00:02:50 --delay-ms 1000 \
  --version $'V1\e]0;owned\a\e[2J\xff'

rc=0
netns_in "$tool" env TERVANE_IN_NETNS=1 REAL_LAN_LOGS="$work" "$@" || rc=$?
exit "$rc"
