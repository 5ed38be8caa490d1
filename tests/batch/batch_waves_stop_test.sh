#!/usr/bin/env bash
# System test: Ctrl-C during the first wave of a "tervane-cli batch
# --parallel" command stops that wave and starts no other; the report still
# lists every camera, those of the later waves as not worked on.
# Usage: batch_waves_stop_test.sh <bin dir>
set -euo pipefail
bin=$1
# shellcheck source=system_test_setup.sh
. "$(dirname "$0")/system_test_setup.sh"

# On the tool side: start the command, press Ctrl-C once the first wave runs.
cat >"$work/interrupt.sh" <<INNER
"$bin/tervane-cli" batch --all --expect 6 --listen 20 --parallel 2 --password tovik \
  --upgrade "$work/fw.update" --time-speed 20 --json --report "$work/report" >"$work/out.jsonl" 2>"$work/cli.err" &
cli=\$!
for _ in \$(seq 1 600); do grep -q '"type":"progress"' "$work/out.jsonl" 2>/dev/null && break; sleep 0.05; done
kill -INT \$cli
rc=0
wait \$cli || rc=\$?
exit \$rc
INNER
rc=0
# The cameras stay silent long after the flash, so the wave is still running.
SIM_LAN_BIN=$bin SIM_LAN_ADDRESSES=6 "$root/scripts/sim-lan.sh" -n 6 --base-ip 10.77.0.11 --device-type 5 \
  --fw-version 1.0.0 --reboot-ms 600000 -- bash "$work/interrupt.sh" || rc=$?

fail() { echo "FAIL: $*"; cat "$work/cli.err"; tail -5 "$work/out.jsonl"; exit 1; }
[ "$rc" = 1 ] || fail "tervane-cli exited with $rc, not 1"
grep '"wave":2' "$work/out.jsonl" | grep -q '"kind"' && fail "a second wave ran"
[ "$(jq '.stopped' "$work/report.json")" = true ] || fail "the report does not say the job was stopped"
[ "$(jq '.devices | length' "$work/report.json")" = 6 ] || fail "the report does not list all 6 cameras"
untouched=$(jq '[.devices[] | select(.not_worked_on == "the job was stopped before its turn")] | length' "$work/report.json")
[ "$untouched" -ge 4 ] || fail "only $untouched cameras listed as stopped before their turn"
echo "PASS: Ctrl-C stopped the first wave; the other $untouched cameras were left alone and reported"
