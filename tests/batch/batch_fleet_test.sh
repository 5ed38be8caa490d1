#!/usr/bin/env bash
# System test: one "tervane-cli batch --all --parallel" command upgrades more
# simulated cameras than one job takes, in waves, over the LAN of
# scripts/sim-lan.sh; its job report lists every camera once, with the
# version the simulator's state dump gives it.
# Usage: batch_fleet_test.sh <bin dir> [cameras] [parallel]
set -euo pipefail
bin=$1
cameras=${2:-300}
parallel=${3:-100}
# shellcheck source=system_test_setup.sh
. "$(dirname "$0")/system_test_setup.sh"
# As scripts/sim-lan.sh places them: past 189 cameras the /24 of the tool is full.
if [ "$cameras" -le 189 ]; then base=10.77.0.11; else base=10.77.1.0; fi
rc=0
SIM_LAN_BIN=$bin SIM_LAN_ADDRESSES=$cameras SIM_LAN_BASE_IP=$base "$root/scripts/sim-lan.sh" -n "$cameras" \
  --base-ip "$base" --device-type 5 --fw-version 1.0.0 --reboot-ms 500 --state-dump "$work/state.json" -- \
  "$bin/tervane-cli" batch --all --expect "$cameras" --listen 60 --sweep 2 --parallel "$parallel" \
  --password tovik --upgrade "$work/fw.update" --time-speed 20 --report "$work/report" \
  >"$work/out.txt" 2>"$work/cli.err" || rc=$?

fail() { echo "FAIL: $*"; cat "$work/cli.err"; tail -20 "$work/out.txt"; exit 1; }
[ "$rc" = 0 ] || fail "tervane-cli exited with $rc"
waves=$(( (cameras + parallel - 1) / parallel ))
grep -q "wave $waves/$waves" "$work/out.txt" || fail "no wave $waves/$waves in the output"
listed=$(jq '.devices | length' "$work/report.json")
[ "$listed" = "$cameras" ] || fail "the report lists $listed of $cameras cameras"
distinct=$(jq '[.devices[].mac] | unique | length' "$work/report.json")
[ "$distinct" = "$cameras" ] || fail "the report lists $distinct distinct cameras"
# Each camera's version after the job, as the report gives it, against the
# version it runs in the simulator.
mismatches=$(jq -n --slurpfile report "$work/report.json" --slurpfile state "$work/state.json" '
  ($state[0].cameras | map({(.mac): .version}) | add) as $running
  | [$report[0].devices[] | select(.version_after != "1.0.1" or .version_after != $running[.mac])] | length')
[ "$mismatches" = 0 ] || fail "$mismatches cameras whose reported version is not the one they run"
# The simulator's side: every camera runs the new version, flashed once, with
# no transfer refused and no session left open.
jq -e --argjson n "$cameras" '.cameras | length == $n and all(.version == "1.0.1" and .upgrades == 1
  and (.upgrade_refusals | length) == 0 and .sessions == 0)' "$work/state.json" >/dev/null ||
  fail "the simulator's state dump does not show every camera flashed once to 1.0.1 with no session open"
lines=$(wc -l <"$work/report.csv")
[ "$lines" = $((cameras + 1)) ] || fail "the CSV report has $lines lines"
echo "PASS: $cameras cameras upgraded in $waves waves of at most $parallel; the report agrees with the cameras"
