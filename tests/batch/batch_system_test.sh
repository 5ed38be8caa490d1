#!/usr/bin/env bash
# System test: tervane-cli upgrades simulated cameras and sets their time
# zone over the two-host LAN of scripts/sim-lan.sh; every camera must end with the new version (heard through
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
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$bin/ipcsim" mkfw --out "$work/fw.update" --version 1.0.1 --size 262144 >/dev/null
# The LAN script stops the simulator when the job ends, which writes its state dump.
rc=0
SIM_LAN_BIN=$bin SIM_LAN_ADDRESSES=$cameras "$root/scripts/sim-lan.sh" -n "$cameras" --base-ip 10.77.0.11 \
  --device-type 5 --fw-version 1.0.0 --reboot-ms 500 --state-dump "$work/state.json" -- \
  "$bin/${TERVANE_CLI:-tervane-cli}" batch --all --expect "$cameras" --listen 20 --sweep 2 \
  --password tovik --upgrade "$work/fw.update" --time-zone 20 --time-speed 20 --json \
  >"$work/reports.jsonl" 2>"$work/cli.err" || rc=$?

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
