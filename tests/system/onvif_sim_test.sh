#!/usr/bin/env bash
# System test of the simulator's ONVIF cameras on the LAN of
# scripts/sim-lan.sh, with no default route on either side (the tool's side
# keeps only a route for multicast, as ONVIF asks of a host): two native
# cameras, three ONVIF ones (the second takes only HTTP digest, the third's
# clock runs two hours ahead) and one camera that speaks both.
#  1. a multicast Probe is answered by every ONVIF camera and the dual one,
#     each from its own address with its own endpoint, never by a native one;
#     the native search finds the native cameras and the dual one only;
#  2. a unicast Probe to one camera's address is answered by that camera alone;
#  3. curl, an independent HTTP digest client, reads the device information
#     of the digest-only camera, which answers 401 without a digest;
#  4. onvif-util (Debian's onvif-tools, skipped where it is missing) lists the
#     ONVIF cameras and logs in to the one two hours ahead with a token;
#  5. the state dump shows the logins each camera saw, and no password sent
#     in clear.
# Usage: onvif_sim_test.sh <bin dir>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
bin=$1
fail() { echo "FAIL: $*"; exit 1; }

if [ "${2:-}" != "--inside" ]; then
  if [ "${TERVANE_IN_NETNS:-0}" != 1 ]; then
    echo "SKIP: needs the private network namespace of scripts/in-netns.sh"
    exit 77
  fi
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  # onvif-util sends one nonce for a whole session, and the same one for
  # sessions started within a second (see docs/simulator.md): the camera it
  # logs in to lets a nonce come again under a new Created.
  cat >"$work/cameras.json" <<JSON
{"count": 2, "base_ip": "10.77.0.11", "onvif": 3,
 "onvif_faults": {"02:0F:00:00:00:02": "login=digest",
                  "02:0F:00:00:00:03": "clock_offset=7200,reused_nonces=allow"},
 "devices": [{"mac": "02:88:00:00:00:01", "ip": "10.77.0.30", "protocol": "both", "model": "DUAL-1"}]}
JSON
  rc=0
  SIM_LAN_BIN=$bin SIM_LAN_ADDRESSES=20 "$root/scripts/sim-lan.sh" --config "$work/cameras.json" \
    --state-dump "$work/state.json" -- "$0" "$bin" --inside || rc=$?
  [ "$rc" = 97 ] && exit 77
  [ "$rc" = 0 ] || exit "$rc"
  # 5. Read after ipcsim stopped, which writes the dump.
  onvif_of() { jq -c --arg mac "$1" '.cameras[] | select(.mac == $mac) | .onvif' "$work/state.json"; }
  [ "$(jq '[.cameras[].onvif.clear_text_logins // 0] | add' "$work/state.json")" = 0 ] ||
    fail "a camera received a password in clear"
  [ "$(onvif_of 02:0F:00:00:00:02 | jq -c .login_kinds)" = '["digest"]' ] || fail "digest login not recorded"
  [ "$(jq '[.cameras[] | select(.protocol == "native")] | length' "$work/state.json")" = 2 ] ||
    fail "the dump lacks the native cameras"
  [ "$(jq -r '.cameras[] | select(.mac == "02:88:00:00:00:01") | .protocol' "$work/state.json")" = both ] ||
    fail "the dual camera is not marked as speaking both"
  if command -v onvif-util >/dev/null; then
    [ "$(onvif_of 02:0F:00:00:00:03 | jq '.logins.token')" -ge 1 ] || fail "onvif-util's token login not recorded"
  fi
  echo "ok: state dump"
  echo "PASS"
  exit 0
fi

ip route del default
ip route add 224.0.0.0/4 dev lv0
nsenter -t "$SIM_LAN_CAMERA_PID" -n ip route del default

# 1. Multicast.
matches=$("$bin/wsd_probe" --bind 10.77.0.1)
echo "$matches"
sources=$(awk '{print $1}' <<<"$matches" | sort | tr '\n' ' ')
[ "$sources" = "10.77.0.13 10.77.0.14 10.77.0.15 10.77.0.30 " ] || fail "multicast Probe answered by: $sources"
[ "$(awk '{print $2}' <<<"$matches" | sort -u | wc -l)" = 4 ] || fail "endpoints not distinct"
grep -q '^10.77.0.14 urn:uuid:[0-9a-f-]* http://10.77.0.14:80/onvif/device_service yes$' <<<"$matches" ||
  fail "ProbeMatches of 10.77.0.14 not as expected"
native=$("$bin/tervane-cli" discover --protocol native --card 10.77.0.1 --listen 1500 | tail -n +2 | awk '{print $3}' | sort | tr '\n' ' ')
[ "$native" = "10.77.0.11 10.77.0.12 10.77.0.30 " ] || fail "native search found: $native"
echo "ok: every ONVIF camera answers the multicast Probe from its own address"

# 2. Unicast.
one=$("$bin/wsd_probe" --bind 10.77.0.1 --to 10.77.0.15 --types "")
[ "$(awk '{print $1}' <<<"$one")" = 10.77.0.15 ] || fail "unicast Probe answered by: $one"
echo "ok: a unicast Probe is answered by its camera alone"

# 3. HTTP digest.
info='<s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope"><s:Body><GetDeviceInformation xmlns="http://www.onvif.org/ver10/device/wsdl"/></s:Body></s:Envelope>'
post() { curl -s -o "$1" -w '%{http_code}' -H 'Content-Type: application/soap+xml' --data "$info" "${@:2}"; }
[ "$(post /dev/null http://10.77.0.14/onvif/device_service)" = 401 ] || fail "digest-only camera answered without a login"
[ "$(post /tmp/onvif_sim_info.$$ --digest -u Admin:tovik http://10.77.0.14/onvif/device_service)" = 200 ] ||
  fail "digest login refused"
grep -q '<tds:SerialNumber>SIM020F00000002</tds:SerialNumber>' /tmp/onvif_sim_info.$$ || fail "wrong device information"
rm -f /tmp/onvif_sim_info.$$
echo "ok: curl reads the digest-only camera with HTTP digest"

# 4. The independent ONVIF client.
if ! command -v onvif-util >/dev/null; then
  echo "skip: onvif-util is not installed"
  exit 0
fi
listed=$(timeout 30 onvif-util -a)
echo "$listed"
for camera in 10.77.0.13 10.77.0.14 10.77.0.15 10.77.0.30; do
  grep -q "^$camera " <<<"$listed" || fail "onvif-util did not list $camera"
done
# The host name comes from GetHostname, which needs no login (but a digest
# of the digest-only camera); the rest from the name and hardware scopes.
grep -q '^10.77.0.30 SIMCAM-000001(SIMCAM-000001 DUAL-1)$' <<<"$listed" || fail "onvif-util did not read the dual camera"
grep -q '^10.77.0.14 (SIMCAM-000002 SIMCAM-O1)$' <<<"$listed" || fail "onvif-util did not read the digest-only camera's scopes"
session=$(printf 'get time\nquit\n' | timeout 30 onvif-util -u Admin -p tovik 10.77.0.15 2>&1 || true)
echo "$session"
grep -q "successfully connected to host" <<<"$session" || fail "onvif-util could not log in"
grep -q "serial: SIM020F00000003" <<<"$session" || fail "onvif-util did not read the device information"
grep -q "Time Offset: 7200 seconds" <<<"$session" || fail "onvif-util did not read the camera's clock"
echo "ok: onvif-util lists the cameras, logs in to the one two hours ahead and reads its clock"
