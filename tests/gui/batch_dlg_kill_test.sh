#!/usr/bin/env bash
# The batch dialog killed (SIGKILL) while it upgrades five simulated cameras
# on a private two-host LAN (scripts/sim-lan.sh): the report under
# job_reports/ is whole, names every camera, says the job did not end, and
# shows the cameras flashed before the kill as done. Skips (77) outside the
# private namespace of scripts/in-netns.sh.
# Usage: batch_dlg_kill_test.sh <bin dir>
set -euo pipefail
bin=$1
# shellcheck source=../batch/system_test_setup.sh
. "$(dirname "$0")/../batch/system_test_setup.sh"
cat >"$work/kill.sh" <<INNER
env QT_QPA_PLATFORM=offscreen TERVANE_DLG_KILL_DIR="$work" "$bin/batch_dlg_test" \
  --gtest_filter='BatchDialogLanTest.UpgradeThatIsKilledMidway' >"$work/dlg.out" 2>&1 &
dlg=\$!
for _ in \$(seq 1 2400); do
  report=\$(ls "$work"/job_reports/*.json 2>/dev/null | head -1)
  if [ -n "\$report" ]; then
    flashed=\$(jq '[.devices[] | select(.marks.upgrade == "done")] | length' "\$report" 2>/dev/null || echo 0)
    [ "\$flashed" -ge 2 ] && break
  fi
  kill -0 \$dlg 2>/dev/null || break
  sleep 0.05
done
kill -9 \$dlg
wait \$dlg 2>/dev/null || true
INNER
# Two cameras never come back from their flash, so the job is still running at the kill.
SIM_LAN_BIN=$bin SIM_LAN_ADDRESSES=5 "$root/scripts/sim-lan.sh" -n 5 --base-ip 10.77.0.11 --reboot-ms 500 \
  --fault 02:00:00:00:00:04@never_come_back --fault 02:00:00:00:00:05@never_come_back -- bash "$work/kill.sh"

fail() { echo "FAIL: $*"; cat "$work/dlg.out"; ls -l "$work/job_reports" || true; exit 1; }
reports=("$work"/job_reports/*.json)
[ -e "${reports[0]}" ] || fail "the dialog left no job report"
[ "${#reports[@]}" = 1 ] || fail "${#reports[@]} job reports for one job"
report=${reports[0]}
jq -e . "$report" >/dev/null || fail "the report left by the kill does not parse"
[ "$(jq '.devices | length' "$report")" = 5 ] || fail "the report does not name the 5 cameras"
[ "$(jq '.ended' "$report")" = null ] || fail "the report does not say the job did not end"
flashed=$(jq '[.devices[] | select(.marks.upgrade == "done")] | length' "$report")
[ "$flashed" -ge 2 ] || fail "only $flashed cameras shown flashed"
[ "$(wc -l <"${report%.json}.csv")" = 6 ] || fail "the CSV beside it has not a line per camera"
echo "PASS: the dialog's report after the kill names all 5 cameras, $flashed of them flashed"
