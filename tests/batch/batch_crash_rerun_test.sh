#!/usr/bin/env bash
# System test: "tervane-cli batch --report" killed (SIGKILL, as a crash or a
# power cut would) in the middle of upgrading 20 simulated cameras leaves a
# whole report that names every camera with its state at the kill; the files
# are never found half written while the job runs; running the same command
# again finishes the job: exit 0, every camera "√", no camera refused more
# than once (the simulator's state dump).
# Usage: batch_crash_rerun_test.sh <bin dir> [cameras]
set -euo pipefail
bin=$1
cameras=${2:-20}
# shellcheck source=system_test_setup.sh
. "$(dirname "$0")/system_test_setup.sh"

# Reads the report in a loop while the command runs; every read must parse
# and name every camera, the CSV beside it must have its line per camera.
cat >"$work/reader.sh" <<'READER'
report=$1 cameras=$2 pid=$3 out=$4
reads=0 broken=0
while kill -0 "$pid" 2>/dev/null; do
  if [ -e "$report.json" ]; then
    reads=$((reads + 1))
    n=$(jq '.devices | length' "$report.json" 2>/dev/null || echo bad)
    lines=$(wc -l <"$report.csv" 2>/dev/null || echo bad)
    if [ "$n" != "$cameras" ] || [ "$lines" != $((cameras + 1)) ]; then broken=$((broken + 1)); fi
  fi
done
echo "$reads $broken" >"$out"
READER

cat >"$work/crash.sh" <<INNER
set -u
# exec: a function run in the background is a subshell, and \$! must be the command itself.
run() {
  exec "$bin/tervane-cli" batch --all --expect $cameras --listen 20 --sweep 2 --password tovik \
    --upgrade "$work/fw.update" --time-zone 20 --time-speed 20 --report "$work/r1.json" "\$@"
}
run --json >"$work/run1.jsonl" 2>"$work/run1.err" &
cli=\$!
bash "$work/reader.sh" "$work/r1" $cameras \$cli "$work/reads1" &
reader=\$!
# Killed once the report on disk shows 8 cameras flashed.
for _ in \$(seq 1 2400); do
  done_now=\$(jq '[.devices[] | select(.marks.upgrade == "done")] | length' "$work/r1.json" 2>/dev/null || echo 0)
  [ "\$done_now" -ge 8 ] && break
  sleep 0.05
done
kill -9 \$cli
wait \$cli 2>/dev/null
wait \$reader
cp "$work/r1.json" "$work/killed.json"
cp "$work/r1.csv" "$work/killed.csv"
rc=0
run >"$work/run2.txt" 2>"$work/run2.err" &
cli=\$!
bash "$work/reader.sh" "$work/r1" $cameras \$cli "$work/reads2" &
reader=\$!
wait \$cli || rc=\$?
wait \$reader
exit \$rc
INNER

rc=0
SIM_LAN_BIN=$bin SIM_LAN_ADDRESSES=$cameras "$root/scripts/sim-lan.sh" -n "$cameras" --base-ip 10.77.0.11 \
  --device-type 5 --fw-version 1.0.0 --reboot-ms 500 --state-dump "$work/state.json" -- \
  bash "$work/crash.sh" || rc=$?

fail() { echo "FAIL: $*"; cat "$work/run1.err" "$work/run2.err"; tail -5 "$work/run2.txt"; exit 1; }
# The report the kill left.
jq -e . "$work/killed.json" >/dev/null || fail "the report left by the kill does not parse"
[ "$(jq '.devices | length' "$work/killed.json")" = "$cameras" ] || fail "the killed report does not name all $cameras cameras"
[ "$(jq '.ended' "$work/killed.json")" = null ] || fail "the killed report does not say the job did not end"
flashed=$(jq '[.devices[] | select(.marks.upgrade == "done")] | length' "$work/killed.json")
[ "$flashed" -ge 8 ] || fail "the killed report shows $flashed cameras flashed"
jq -e 'all(.devices[]; .state == "ended" or .state == "in progress" or .state == "waiting")' "$work/killed.json" \
  >/dev/null || fail "a camera of the killed report has no state of a running job"
jq -e 'any(.devices[]; .state == "in progress")' "$work/killed.json" >/dev/null ||
  fail "no camera in progress at the kill"
[ "$(wc -l <"$work/killed.csv")" = $((cameras + 1)) ] || fail "the killed CSV has not a line per camera"
# Cameras the report called flashed run the new firmware.
wrong=$(jq -n --slurpfile report "$work/killed.json" --slurpfile state "$work/state.json" '
  ($state[0].cameras | map({(.mac): .version}) | add) as $running
  | [$report[0].devices[] | select(.marks.upgrade == "done" and $running[.mac] != "1.0.1")] | length')
[ "$wrong" = 0 ] || fail "$wrong cameras reported flashed do not run 1.0.1"
# Never half a file.
for run in 1 2; do
  read -r reads broken <"$work/reads$run"
  [ "$reads" -gt 0 ] || fail "run $run: the report was never read while the job ran"
  [ "$broken" = 0 ] || fail "run $run: $broken of $reads reads found a report that was not whole"
done
# The second run finished the job.
[ "$rc" = 0 ] || fail "the second run exited with $rc"
grep -q "$cameras devices: $cameras finished without failure" "$work/run2.txt" || fail "the summary does not count every camera finished"
jq -e 'all(.devices[]; .marks.upgrade == "done" and .state == "ended") and .ended != null' "$work/r1.json" \
  >/dev/null || fail "the second report does not show every camera upgraded"
current=$(jq '[.devices[] | select(.already_current)] | length' "$work/r1.json")
jq -e --argjson n "$cameras" '.cameras | length == $n and all(.version == "1.0.1" and (.upgrade_refusals | length) <= 1
  and .sessions == 0)' "$work/state.json" >/dev/null ||
  fail "the simulator does not show every camera on 1.0.1, refused at most once, no session open"
echo "PASS: killed with $flashed of $cameras cameras flashed, the report named them all; the second run finished ($current already current)"
