#!/usr/bin/env bash
# The real tervane on a real X server (Xvfb, the xcb platform), driven over
# the accessibility bus of a D-Bus session of its own (drive_tervane.py), on a
# private LAN of network namespaces where ipcsim plays the demo's 12 cameras
# and an ONVIF camera beside them: an upgrade, then a plan loaded and the list
# exported through the real file dialogs and the plan run (each camera its own
# UID, two their own addresses, checked in the simulator's state dump), then
# the test bench on a native and on the ONVIF camera.
# Skips (77) outside the private namespace of scripts/in-netns.sh; a missing
# tool is a failure, not a skip (scripts/setup.sh installs them all).
# Usage: real_display_test.sh <bin dir> <locale> [<width>x<height>]
# Environment: DISPLAY_TEST_SHOTS, a folder for screenshots of the finished
# job and the logged-in bench (the user guide's come from here).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
bin=$(cd "$1" && pwd)
locale=$2
screen=${3:-1366x768}
# shellcheck source=display_lib.sh
. "$here/display_lib.sh"
display_need_private_netns
display_need_tools xvfb-run dbus-run-session xdotool import zbarimg jq
display_work_dir
cp "$root/app/logo.bmp" "$work/logo.bmp"
"$bin/ipcsim" mkfw --out "$work/sample.update" --version 2.0.0 --size 1048576 >/dev/null
mkdir -m 0700 "$work/xdg"
[ -z "${DISPLAY_TEST_SHOTS:-}" ] || mkdir -p "$DISPLAY_TEST_SHOTS"

unset LC_ALL LC_MESSAGES
# -noreset: an X server that resets when its last client leaves refuses the
# connections that arrive meanwhile (the program's, the accessibility bus's).
SIM_LAN_BIN=$bin SIM_LAN_ADDRESSES=13 "$root/scripts/sim-lan.sh" \
  --config "$root/scripts/demo-cameras.json" --onvif 1 --onvif-base-ip 10.77.0.23 \
  --state-dump "$work/cameras-state.json" -- \
  env LANG="$locale" XDG_RUNTIME_DIR="$work/xdg" \
  xvfb-run -a -e "$work/xvfb.log" -s "-screen 0 ${screen}x24 -nolisten tcp -noreset" \
  dbus-run-session -- /usr/bin/python3 "$here/drive_tervane.py" \
    --tervane "$bin/tervane" --lang-dir "$bin" --work "$work" --firmware "$work/sample.update" \
    --version 2.0.0 --cameras 12 --onvif 1 --screen "$screen" ${DISPLAY_TEST_SHOTS:+--shots "$DISPLAY_TEST_SHOTS"} \
    --state-dump "$work/cameras-state.json"

# What the cameras themselves say, once the simulator has written its state.
upgraded=$(jq '[.cameras[] | select(.protocol == "native" and .version == "2.0.0")] | length' \
  "$work/cameras-state.json")
onvif_upgraded=$(jq '[.cameras[] | select(.protocol == "onvif" and .version == "2.0.0")] | length' \
  "$work/cameras-state.json")
echo "display test: the simulator reports $upgraded of 12 native cameras and $onvif_upgraded of 1 ONVIF camera on 2.0.0"
[ "$upgraded" = 12 ] && [ "$onvif_upgraded" = 1 ]
# The plan's job: each camera's own UID (site-<mac>), two at their planned addresses.
own_uids=$(jq '[.cameras[] | select(.files["/config/tuya.cfg"] == ("site-" + (.mac | gsub(":"; "") | ascii_downcase) + "\n"))] | length' \
  "$work/cameras-state.json")
moved=$(jq '[.cameras[] | select(.ip == "10.77.0.201" or .ip == "10.77.0.202")] | length' "$work/cameras-state.json")
echo "display test: the simulator holds $own_uids cameras with their own UID, $moved at planned addresses"
[ "$own_uids" = 12 ] && [ "$moved" = 2 ]
