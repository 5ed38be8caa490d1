#!/usr/bin/env bash
# System test: tervane-cli upgrades simulated cameras and sets their time
# zone over a two-host LAN made of a veth pair inside private network
# namespaces; every camera must end with the new version (heard through
# discovery, which the job's verdict checks) and the new setting (read from
# the simulator's state dump).
# Usage: batch_system_test.sh <bin dir> [cameras]
set -euo pipefail
bin=$1
cameras=${2:-20}
if [ "${TERVANE_IN_NETNS:-0}" != 1 ]; then
  echo "SKIP: needs the private network namespace of scripts/in-netns.sh"
  exit 77
fi
work=$(mktemp -d)
tool=""
devices=""
sim=""
cleanup() {
  if [ -n "$sim" ]; then kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true; fi
  for pid in $tool $devices; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# Two namespaces of our own, so tests running beside this one share nothing
# with it: the tool's (bv0 10.77.0.1/24) and the cameras' (bv1, one address
# per camera), joined by a veth pair.
unshare -n sleep 600 &
tool=$!
unshare -n sleep 600 &
devices=$!
sleep 0.2
in_tool() { nsenter -t "$tool" -n "$@"; }
in_devices() { nsenter -t "$devices" -n "$@"; }
in_tool ip link add bv0 type veth peer name bv1
in_tool ip link set bv1 netns "$devices"
in_tool ip link set lo up
in_tool ip addr add 10.77.0.1/24 dev bv0
in_tool ip link set bv0 up
in_tool ip route add default dev bv0
in_devices ip link set lo up
in_devices ip link set bv1 up
for i in $(seq 1 "$cameras"); do in_devices ip addr add "10.77.0.$((10 + i))/24" dev bv1; done
in_devices ip route add default dev bv1

"$bin/ipcsim" mkfw --out "$work/fw.update" --version 1.0.1 --size 262144 >/dev/null
nsenter -t "$devices" -n "$bin/ipcsim" -n "$cameras" --base-ip 10.77.0.11 --device-type 5 --fw-version 1.0.0 \
  --reboot-ms 500 --state-dump "$work/state.json" >"$work/sim.out" 2>"$work/sim.err" &
sim=$!
for _ in $(seq 1 100); do grep -q ready "$work/sim.out" 2>/dev/null && break; sleep 0.1; done
grep -q ready "$work/sim.out"

rc=0
in_tool "$bin/${TERVANE_CLI:-tervane-cli}" batch --all --expect "$cameras" --listen 20 --sweep 2 \
  --password tovik --upgrade "$work/fw.update" --time-zone 20 --time-speed 20 --json \
  >"$work/reports.jsonl" 2>"$work/cli.err" || rc=$?
kill "$sim"
wait "$sim" || true
sim=""

fail() { echo "FAIL: $*"; cat "$work/cli.err"; grep -E "\"mark\":\"\xc3\x97\"|\"code\":(0|1|7|29),|message" "$work/reports.jsonl" | grep -v "successful" | head -20; exit 1; }
[ "$rc" = 0 ] || fail "tervane-cli exited with $rc"
upgraded=$(grep -c '"code":8,' "$work/reports.jsonl" || true)
[ "$upgraded" = "$cameras" ] || fail "$upgraded of $cameras cameras reported the upgrade"
grep -q '"code":9,' "$work/reports.jsonl" && fail "a camera did not show the new version"
versions=$(grep -Eo '"version": ?"1\.0\.1"' "$work/state.json" | wc -l)
zones=$(grep -Eo '"time_zone": ?28800' "$work/state.json" | wc -l)
[ "$versions" = "$cameras" ] || fail "$versions of $cameras cameras run 1.0.1"
[ "$zones" = "$cameras" ] || fail "$zones of $cameras cameras have time zone 28800"
echo "PASS: $cameras cameras upgraded to 1.0.1 with time zone UTC+08:00"
