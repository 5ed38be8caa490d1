#!/usr/bin/env bash
# System test: one tervane-cli batch command on a mixed LAN shaped like a
# real one (the tool's host has no default route, nor a route for
# multicast): three native cameras and four ONVIF ones — the second takes
# only HTTP digest, the third's clock runs two hours ahead, the fourth
# refuses the firmware upload.
#  1. --upgrade FILE --time-zone 20 flashes both kinds (the ONVIF cameras
#     receive the file's exact bytes) and sets UTC+08:00; the camera that
#     refuses the upload fails its row and the exit code;
#  2. a wrong password changes nothing on any camera (exit 1);
#  3. --time-sync puts the clock that ran two hours ahead on the host's;
#  4. the job report names each device's protocol, and the password never
#     went in clear to any camera.
# Usage: batch_mixed_test.sh <bin dir>
set -euo pipefail
bin=$1
# shellcheck source=system_test_setup.sh
. "$(dirname "$0")/system_test_setup.sh"
fail() { echo "FAIL: $*"; [ -f "$work/cli.err" ] && tail -20 "$work/cli.err"; exit 1; }
command -v jq >/dev/null || { echo "SKIP: needs jq"; exit 77; }
# shellcheck source=../../scripts/netns-lib.sh
. "$root/scripts/netns-lib.sh"
netns_possible || { echo "SKIP: cannot make a network namespace here"; exit 77; }
cleanup() {
  netns_cleanup
  [ -n "${KEEP_WORK:-}" ] || rm -rf "$work"
}
trap cleanup EXIT INT TERM
netns_new tool || exit 77
netns_new lan || exit 77
{
  echo "link set lo up"
  echo "link add lanA type veth peer name lanA1"
  echo "addr add 10.77.0.1/24 dev lanA"
  echo "link set lanA up"
} | netns_in "$tool" ip -batch -
netns_in "$tool" ip link set lanA1 netns "$lan"
{
  echo "link set lo up"
  echo "link set lanA1 up"
  for a in 11 12 13 14 15 16 17; do echo "addr add 10.77.0.$a/24 dev lanA1"; done
} | netns_in "$lan" ip -batch -

native_macs='"02:00:00:00:00:01","02:00:00:00:00:02","02:00:00:00:00:03"'
onvif_macs='"02:0F:00:00:00:01","02:0F:00:00:00:02","02:0F:00:00:00:03","02:0F:00:00:00:04"'
cat >"$work/lan.json" <<JSON
{"count": 3, "base_ip": "10.77.0.11", "onvif": 4, "fw_version": "1.0.0", "device_type": 5,
 "reboot_ms": 500, "state_dump": "$work/state.json",
 "onvif_faults": {"02:0F:00:00:00:02": "login=digest", "02:0F:00:00:00:03": "clock_offset=7200",
                  "02:0F:00:00:00:04": "refuse_upload=post"}}
JSON
"$bin/ipcsim" mkfw --out "$work/fw.update" --version 1.0.1 --size 262144 >/dev/null
sha=$(sha256sum "$work/fw.update" | cut -d' ' -f1)

start_cameras() {
  rm -f "$work/state.json"
  netns_start "$lan" cams "$work" "$bin/ipcsim" --config "$work/lan.json" && return 0
  cat "$work/cams.err" >&2
  fail "the cameras did not start"
}
stop_cameras() {  # the simulator writes its state dump as it ends
  local pid=${netns_programs[-1]}
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  unset 'netns_programs[-1]'
  [ -s "$work/state.json" ] || fail "no state dump"
}
cli() {
  netns_in "$tool" env TERVANE_IN_NETNS=1 "$bin/tervane-cli" batch --all --expect 7 --listen 100 --sweep 2 \
    --user Admin --time-speed 20 --json "$@" >"$work/out.jsonl" 2>"$work/cli.err"
}
camera() { jq -c --arg mac "$1" '.cameras[] | select(.mac == $mac)' "$work/state.json"; }

# 1. Both kinds flashed and set to UTC+08:00 by one command.
start_cameras
rc=0
cli --password tovik --upgrade "$work/fw.update" --time-zone 20 --report "$work/r1" || rc=$?
stop_cameras
[ "$rc" = 1 ] || fail "the job with a refused upload exited with $rc, not 1"
for mac in 02:00:00:00:00:01 02:00:00:00:00:02 02:00:00:00:00:03; do
  [ "$(camera "$mac" | jq -r '.version')" = 1.0.1 ] || fail "native $mac does not run 1.0.1: $(camera "$mac")"
done
for mac in 02:0F:00:00:00:01 02:0F:00:00:00:02 02:0F:00:00:00:03; do
  c=$(camera "$mac")
  [ "$(jq -r '.version' <<<"$c")" = 1.0.1 ] || fail "ONVIF $mac does not run 1.0.1: $c"
  [ "$(jq -r '.onvif.image_sha256' <<<"$c")" = "$sha" ] || fail "ONVIF $mac did not get the file's bytes: $c"
  [ "$(jq -r '.onvif.time_zone' <<<"$c")" = UTC-8 ] || fail "ONVIF $mac is not on UTC+08:00: $c"
done
[ "$(camera 02:0F:00:00:00:04 | jq -r '.version')" = 1.0.0 ] || fail "the refusing camera changed its version"
r1=$work/r1.json
[ "$(jq '[.devices[] | select(.protocol == "onvif")] | length' "$r1")" = 4 ] || fail "the report lacks the protocol"
[ "$(jq -r '.devices[] | select(.mac == "02:0F:00:00:00:04") | .marks.upgrade' "$r1")" = failed ] ||
  fail "the refused upload is not a failed upgrade in the report"
[ "$(jq '[.devices[] | select(.marks.upgrade == "done")] | length' "$r1")" = 6 ] ||
  fail "not six devices upgraded in the report: $(jq -c '.devices[] | [.mac, .marks.upgrade, .status]' "$r1")"
echo "ok: one command flashed three native and three ONVIF cameras and set UTC+08:00; the refused upload failed its row (exit 1)"

# 2. A wrong password changes nothing.
start_cameras
rc=0
cli --password wrong --time-zone 20 || rc=$?
stop_cameras
[ "$rc" = 1 ] || fail "a wrong password exited with $rc, not 1"
changed=$(jq '[.cameras[] | select(.time_zone == 28800 or .onvif.time_zone == "UTC-8" or
                                    ((.onvif.operations // {}) | keys | any(startswith("Set"))))] | length' "$work/state.json")
[ "$changed" = 0 ] || fail "a wrong password changed $changed cameras"
refused=$(jq -r 'select((.type == "status" and .code == 0) or (.type == "left_out" and (.message | test("login refused")))) | .row' \
  "$work/out.jsonl" | sort -u | wc -l)
[ "$refused" = 7 ] || fail "$refused of 7 cameras said their login was refused"
echo "ok: a wrong password changed nothing (exit 1)"

# 3. Time sync of the camera two hours ahead.
start_cameras
rc=0
netns_in "$tool" env TERVANE_IN_NETNS=1 "$bin/tervane-cli" batch --device 02:0F:00:00:00:03 --listen 5 --sweep 2 \
  --user Admin --password tovik --time-sync --json >"$work/out.jsonl" 2>"$work/cli.err" || rc=$?
stop_cameras
[ "$rc" = 0 ] || fail "the time sync exited with $rc"
offset=$(camera 02:0F:00:00:00:03 | jq -r '.onvif.clock_offset_s')
[ "${offset#-}" -le 5 ] || fail "the camera's clock is still $offset s off"
echo "ok: --time-sync put a clock two hours ahead on the host's ($offset s off)"

# 4. Never the password in clear.
clear=$(jq '[.cameras[] | select(.onvif) | .onvif.clear_text_logins] | add' "$work/state.json")
[ "$clear" = 0 ] || fail "$clear logins sent the password in clear"
echo "PASS: mixed LAN"
