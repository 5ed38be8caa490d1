#!/usr/bin/env bash
# The real tervane's batch dialog on a real X server (Xvfb, xcb), driven over
# the accessibility bus (drive_batch_onvif.py), on a private LAN of network
# namespaces where ipcsim plays native and ONVIF cameras: both kinds listed,
# Add by address, one job that upgrades them all and sets UTC+08:00, checked
# in the simulator's state dump. Skips (77) outside the private namespace of
# scripts/in-netns.sh.
# Usage: onvif_display_test.sh <bin dir> <locale> [<width>x<height>]
# Environment: DISPLAY_TEST_SHOTS, a folder for the finished job's screenshot.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
bin=$(cd "$1" && pwd)
locale=$2
screen=${3:-1366x768}
# shellcheck source=display_lib.sh
. "$here/display_lib.sh"
display_need_private_netns
display_need_tools xvfb-run dbus-run-session xdotool import jq
display_work_dir
"$bin/ipcsim" mkfw --out "$work/sample.update" --version 2.0.0 --size 1048576 >/dev/null
mkdir -m 0700 "$work/xdg"
[ -z "${DISPLAY_TEST_SHOTS:-}" ] || mkdir -p "$DISPLAY_TEST_SHOTS"

unset LC_ALL LC_MESSAGES
# Native cameras at 10.77.0.11-.13, ONVIF ones at .14-.16.
SIM_LAN_BIN=$bin SIM_LAN_ADDRESSES=6 "$root/scripts/sim-lan.sh" \
  -n 3 --onvif 3 --base-ip 10.77.0.11 --fw-version 1.0.0 --device-type 5 --reboot-ms 3000 \
  --state-dump "$work/cameras-state.json" -- \
  env LANG="$locale" XDG_RUNTIME_DIR="$work/xdg" \
  xvfb-run -a -e "$work/xvfb.log" -s "-screen 0 ${screen}x24 -nolisten tcp -noreset" \
  dbus-run-session -- /usr/bin/python3 "$here/drive_batch_onvif.py" \
    --tervane "$bin/tervane" --lang-dir "$bin" --work "$work" --firmware "$work/sample.update" \
    --version 2.0.0 --native 3 --onvif 3 --ask 10.77.0.16 --screen "$screen" \
    ${DISPLAY_TEST_SHOTS:+--shots "$DISPLAY_TEST_SHOTS"}

state=$work/cameras-state.json
native=$(jq '[.cameras[] | select(.protocol == "native" and .version == "2.0.0" and .settings.time_zone == 28800)] | length' "$state")
onvif=$(jq '[.cameras[] | select(.protocol == "onvif" and .version == "2.0.0" and .onvif.time_zone == "UTC-8")] | length' "$state")
echo "display test: the simulator reports $native of 3 native and $onvif of 3 ONVIF cameras on 2.0.0 at UTC+08:00"
[ "$native" = 3 ] && [ "$onvif" = 3 ]
