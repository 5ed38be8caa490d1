#!/usr/bin/env bash
# System test: "tervane-cli batch --plan" over the two-host LAN of
# scripts/sim-lan.sh.
#  1. A plan gives each of 20 simulated cameras its own address (half with a
#     mask and gateway, half alone) and its own UID, written as a spreadsheet
#     would (BOM, CR LF, quoted notes, MACs in every style). One command does
#     it; a new search lists each camera at its planned address, and the
#     simulator's state dump holds each camera's own UID and network.
#  2. A plan that names a camera that is not on the LAN exits 1, its row
#     "not found" in the output and the report.
#  3. A plan with a duplicate UID exits 2, the bad line named, and the state
#     dump is the same as that of cameras nobody talked to.
# Usage: batch_site_plan_test.sh <bin dir> [cameras]
set -euo pipefail
bin=$1
cameras=${2:-20}
# shellcheck source=system_test_setup.sh
. "$(dirname "$0")/system_test_setup.sh"

mac_of() { printf '02:00:00:00:00:%02X' "$1"; }
# Each camera k moves to a spare address 10.77.0.(200+k) of the LAN script.
planned_ip() { echo "10.77.0.$((200 + $1))"; }

{
  printf '\xEF\xBB\xBFmac,ip,mask,gateway,uid,notes\r\n'
  for k in $(seq 1 "$cameras"); do
    mac=$(mac_of "$k")
    case $((k % 3)) in
      0) mac=${mac//:/-} ;;                                        # 02-00-00-00-00-03
      1) mac=$(echo "${mac//:/}" | tr 'A-F' 'a-f') ;;              # 020000000001
      2) m=${mac//:/}; mac="${m:0:4}.${m:4:4}.${m:8:4}" ;;         # 0200.0000.0002
    esac
    if [ $((k % 2)) = 1 ]; then network="255.255.0.0,10.77.0.1"; else network=","; fi
    printf '%s,%s,%s,site-uid-%02d,"pole %d, ""north"" side"\r\n' "$mac" "$(planned_ip "$k")" "$network" "$k" "$k"
  done
} >"$work/site.csv"

lan() {  # lan <state dump> <script>: runs the script on the tool side of a fresh LAN
  SIM_LAN_BIN=$bin SIM_LAN_ADDRESSES=$cameras SIM_LAN_SPARE=$cameras "$root/scripts/sim-lan.sh" -n "$cameras" \
    --base-ip 10.77.0.11 --device-type 5 --state-dump "$1" -- bash "$2"
}
fail() { echo "FAIL: $*"; for f in "$work"/*.err; do echo "== $f"; cat "$f"; done; exit 1; }
cli="$bin/tervane-cli"

# 1 and 2 on one LAN: the plan, a new search, then a plan naming a missing camera.
cat >"$work/run.sh" <<INNER
set -u
"$cli" batch --plan "$work/site.csv" --password tovik --listen 20 --sweep 1 --time-speed 20 \
  --report "$work/r1" >"$work/r1.out" 2>"$work/r1.err"
echo \$? >"$work/r1.rc"
"$cli" discover --json --listen 2000 >"$work/after.json" 2>"$work/discover.err"
printf 'mac,ip,uid\n%s,%s,site-uid-01\n02:00:00:00:0a:77,10.77.0.250,nobody\n' "$(mac_of 1)" "$(planned_ip 1)" \
  >"$work/missing.csv"
"$cli" batch --plan "$work/missing.csv" --password tovik --listen 20 --sweep 1 --time-speed 20 \
  --report "$work/r2" >"$work/r2.out" 2>"$work/r2.err"
echo \$? >"$work/r2.rc"
INNER
lan "$work/state.json" "$work/run.sh"

[ "$(cat "$work/r1.rc")" = 0 ] || fail "the plan's command exited with $(cat "$work/r1.rc")"
grep -q "$cameras devices: $cameras finished without failure" "$work/r1.out" || fail "not every camera finished"
mismatched=0
for k in $(seq 1 "$cameras"); do
  mac=$(mac_of "$k") ip=$(planned_ip "$k") uid=$(printf 'site-uid-%02d' "$k")
  listed=$(jq -r --arg mac "$mac" '.[] | select(.mac_address == $mac) | .ip_address' "$work/after.json")
  [ "$listed" = "$ip" ] || { echo "camera $mac listed at '$listed', planned $ip"; mismatched=$((mismatched + 1)); }
  jq -e --arg mac "$mac" --arg ip "$ip" --arg uid "$uid" '
      .cameras[] | select(.mac == $mac) | .ip == $ip and .files["/config/tuya.cfg"] == ($uid + "\n")' \
      "$work/state.json" >/dev/null || { echo "camera $mac: state dump lacks $ip / $uid"; mismatched=$((mismatched + 1)); }
  mask=$(jq -r --arg mac "$mac" '.[] | select(.mac_address == $mac) | .subnet_mask' "$work/after.json")
  # An address planned alone kept the camera's own mask.
  if [ $((k % 2)) = 1 ]; then want=255.255.0.0; else want=255.255.255.0; fi
  [ "$mask" = "$want" ] || { echo "camera $mac mask $mask, expected $want"; mismatched=$((mismatched + 1)); }
done
[ "$mismatched" = 0 ] || fail "$mismatched cameras not as planned"
jq -e --argjson n "$cameras" '.plan != null and (.devices | length == $n) and
    all(.devices[]; .planned_took.ip == true and .planned_took.uid == true and .planned.uid != "")' \
    "$work/r1.json" >/dev/null || fail "the report does not say that every planned value took"
echo "ok: $cameras cameras at their planned addresses with their own UIDs"

[ "$(cat "$work/r2.rc")" = 1 ] || fail "a plan with a missing camera exited with $(cat "$work/r2.rc")"
grep -Eq '^02 02:00:00:00:0A:77 .*not found$' "$work/r2.out" || fail "no \"not found\" row for the missing camera"
grep -q 'missing.csv:3: 02:00:00:00:0A:77 not found' "$work/r2.err" || fail "the missing camera's line is not named"
jq -e '.devices | map(select(.not_worked_on == "not found")) | length == 1' "$work/r2.json" >/dev/null ||
  fail "the report does not list the missing camera as not found"
echo "ok: a planned camera that is not there is a row \"not found\", exit 1"

# 3: a duplicate UID on a fresh LAN, beside a LAN nobody talked to.
sed 's/site-uid-07/site-uid-03/' "$work/site.csv" >"$work/duplicate.csv"
cat >"$work/duplicate.sh" <<INNER
"$cli" batch --plan "$work/duplicate.csv" --password tovik --listen 5 --time-speed 20 \
  >"$work/r3.out" 2>"$work/r3.err"
echo \$? >"$work/r3.rc"
INNER
echo true >"$work/untouched.sh"
lan "$work/state-duplicate.json" "$work/duplicate.sh"
lan "$work/state-untouched.json" "$work/untouched.sh"
[ "$(cat "$work/r3.rc")" = 2 ] || fail "a plan with a duplicate UID exited with $(cat "$work/r3.rc")"
grep -q '^duplicate.csv:8: .*"site-uid-03" (also on line 4)' "$work/r3.err" || fail "the duplicate's line is not named"
cmp <(jq -S . "$work/state-duplicate.json") <(jq -S . "$work/state-untouched.json") >/dev/null ||
  fail "the refused plan changed the cameras' state"
echo "PASS: plans give $cameras cameras their own addresses and UIDs; a missing camera exits 1, a duplicate UID 2 with nothing sent"
