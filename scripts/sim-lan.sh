#!/usr/bin/env bash
# Builds a two-host LAN out of private network namespaces, starts ipcsim on
# the camera side and runs a command on the tool side; everything is removed
# when the command ends. Nothing here can reach a real network: both
# namespaces are new and joined only to each other.
#
# Usage: scripts/sim-lan.sh [ipcsim arguments...] -- command [arguments...]
#
#   tool side    : interface lv0, 10.77.0.1/16, default route over lv0
#   camera side  : interface lv1, SIM_LAN_ADDRESSES addresses counting up from
#                  SIM_LAN_BASE_IP, and SIM_LAN_SPARE spare ones from
#                  10.77.0.201 up (for address changes and extra cameras)
#
# Without ipcsim arguments ipcsim runs "-n SIM_LAN_ADDRESSES --base-ip SIM_LAN_BASE_IP".
# Environment: SIM_LAN_BIN (directory of ipcsim, default build/bin),
# SIM_LAN_ADDRESSES (default 100, at most 4000), SIM_LAN_SPARE (default 10,
# at most 50), SIM_LAN_BASE_IP (default 10.77.0.11 for up to 189 addresses,
# else 10.77.1.0, so the cameras never take the spare addresses).
# The command sees SIM_LAN_TOOL_IP, SIM_LAN_BASE_IP, SIM_LAN_SPARE_IP,
# SIM_LAN_CAMERA_PID (nsenter -t it -n ... runs on the camera side),
# SIM_LAN_SIM_PID (ipcsim itself: SIGUSR1 writes its --state-dump),
# SIM_LAN_SIM_LOG (ipcsim's stderr) and TERVANE_IN_NETNS=1. Both sides run
# under the network guard (scripts/netns-lib.sh).
# Exit status: the command's; 97 when no namespace can be made; 98 when
# ipcsim did not start.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=netns-lib.sh
. "$root/scripts/netns-lib.sh"
bin=${SIM_LAN_BIN:-$root/build/bin}
addresses=${SIM_LAN_ADDRESSES:-100}
spare=${SIM_LAN_SPARE:-10}
if [ "$addresses" -le 189 ]; then base=${SIM_LAN_BASE_IP:-10.77.0.11}; else base=${SIM_LAN_BASE_IP:-10.77.1.0}; fi

sim_args=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do sim_args+=("$1"); shift; done
[ "${1:-}" = "--" ] || { echo "usage: $0 [ipcsim arguments...] -- command [arguments...]" >&2; exit 2; }
shift
[ $# -gt 0 ] || { echo "sim-lan: no command given" >&2; exit 2; }
[ ${#sim_args[@]} -gt 0 ] || sim_args=(-n "$addresses" --base-ip "$base")

netns_possible || { echo "sim-lan: cannot make a network namespace here" >&2; exit 97; }

work=$(mktemp -d)
sim=""
cleanup() {
  if [ -n "$sim" ]; then kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; fi
  netns_cleanup
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

netns_new tool_ns || exit 97
netns_new camera_ns || exit 97
in_tool() { netns_in "$tool_ns" "$@"; }
in_cameras() { netns_in "$camera_ns" "$@"; }

in_tool ip link add lv0 type veth peer name lv1
in_tool ip link set lv1 netns "$camera_ns"
in_tool ip link set lo up
in_tool ip addr add 10.77.0.1/16 dev lv0
in_tool ip link set lv0 up
in_tool ip route add default dev lv0
{
  echo "link set lo up"
  echo "link set lv1 up"
  for i in $(seq 0 $((addresses - 1))); do echo "addr add $(ip_add "$base" "$i")/16 dev lv1"; done
  for i in $(seq 1 "$spare"); do echo "addr add 10.77.0.$((200 + i))/16 dev lv1"; done
  echo "route add default dev lv1"
} | in_cameras ip -batch -

# nsenter directly, not through in_cameras: a backgrounded shell function is a
# subshell, and $! would then name it instead of ipcsim, which would outlive
# the cleanup (and never write its state dump).
nsenter -t "$camera_ns" -n "$bin/ipcsim" "${sim_args[@]}" >"$work/sim.out" 2>"$work/sim.err" &
sim=$!
for _ in $(seq 1 100); do grep -q ready "$work/sim.out" 2>/dev/null && break; kill -0 "$sim" 2>/dev/null || break; sleep 0.1; done
if ! grep -q ready "$work/sim.out"; then
  echo "sim-lan: ipcsim did not start:" >&2
  cat "$work/sim.err" >&2
  exit 98
fi

rc=0
in_tool env TERVANE_IN_NETNS=1 SIM_LAN_TOOL_IP=10.77.0.1 SIM_LAN_BASE_IP="$base" SIM_LAN_SPARE_IP=10.77.0.201 \
  SIM_LAN_CAMERA_PID="$camera_ns" SIM_LAN_SIM_PID="$sim" SIM_LAN_SIM_LOG="$work/sim.err" "$@" || rc=$?
exit "$rc"
