#!/usr/bin/env bash
# The main job on simulated cameras, from a fresh machine:
#   installs what is missing, builds, makes a private network namespace in
#   which ipcsim plays a LAN of 12 cameras of mixed types and two ONVIF
#   cameras, and then
#   - with a display ($DISPLAY or $WAYLAND_DISPLAY): prints the steps to
#     follow and starts tervane there, with a sample firmware file and a logo
#     ready to pick and the cameras' login in a settings file of its own;
#   - without one (or with --headless): runs the same job through
#     tervane-cli (discovery of both kinds, a parallel upgrade of all 14
#     with the sample firmware plus a time-zone setting, the live result
#     table), then renders screenshots of the launcher and the dialogs and
#     says where.
# Nothing is ever sent outside the namespace: where none can be made, the
# script explains why and stops.
#
# Usage: scripts/demo.sh [--headless | --factory-test] [--no-setup]
#   --factory-test: with a display, open the test bench instead of the
#   launcher; one ONVIF camera (RTSP video, pan/tilt, zoom, IR-cut) is listed
#   beside the 12 native ones.
# Environment: BUILD_DIR (default build), DEMO_DIR (default <build>/demo),
#   DEMO_TIME_SPEED (how many times faster the tool's waits run; default 10,
#   1 for real time: the upgrade then waits 40 s for each camera's reboot).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
demo=${DEMO_DIR:-$build/demo}
cameras=12
onvif=0  # ONVIF cameras after the native ones (the bench's demo has one, the command line's two)
say() { echo "demo: $*"; }

# ---------------------------------------------------------------- outside
prepare() {
  local setup=1
  for arg in "$@"; do [ "$arg" = --no-setup ] && setup=0; done
  [ "$setup" = 1 ] && "$root/scripts/setup.sh"
  cmake -S "$root" -B "$build" -G Ninja >/dev/null
  cmake --build "$build" -j "$(nproc)" --target tervane tervane-cli ipcsim tervane_lang
  if ! "$root/scripts/in-netns.sh" --check; then
    say "no private network namespace can be made here: 'unshare -n' (as root) or 'unshare -rn'"
    say "(as a user) was refused. Unprivileged namespaces may be switched off"
    say "(sysctl kernel.unprivileged_userns_clone or user.max_user_namespaces), or a container"
    say "forbids them. The demo broadcasts to find cameras and must never do so on a real"
    say "network, so it stops here. Run it as root, or where namespaces are allowed."
    exit 1
  fi
}

enter_namespace() {
  local flags=-n
  [ "$(id -u)" -eq 0 ] || flags=-rn
  mkdir -p "$demo"
  exec unshare "$flags" -- env DEMO_INSIDE=1 BUILD_DIR="$build" DEMO_DIR="$demo" \
    TERVANE_NETNS_GUARD="$(readlink /proc/self/ns/net) ${TERVANE_NETNS_GUARD:-}" "$0" "$@"
}

# ----------------------------------------------------------------- inside
devices_ns=""
sim=""
cleanup() {
  if [ -n "$sim" ]; then kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; fi
  if [ -n "$devices_ns" ]; then kill "$devices_ns" 2>/dev/null || true; fi
}

# This namespace must be a fresh one: only loopback, nothing that leads out.
check_isolated() {
  local links
  links=$(ip -o link show | awk -F': ' '{print $2}' | tr '\n' ' ')
  if [ "$links" != "lo " ]; then
    say "refusing to run: this namespace has interfaces other than loopback ($links)"
    exit 1
  fi
}

# The cameras live in a namespace of their own, joined to this one by a veth
# pair: the tool is 10.77.0.1, camera i is 10.77.0.(10 + i).
make_lan() {
  unshare -n sleep infinity &
  devices_ns=$!
  # Wait until the child really is in a namespace of its own.
  local own; own=$(readlink /proc/self/ns/net)
  for _ in $(seq 1 100); do
    [ "$(readlink "/proc/$devices_ns/ns/net" 2>/dev/null)" != "$own" ] && break
    sleep 0.05
  done
  [ "$(readlink "/proc/$devices_ns/ns/net")" != "$own" ] || { say "the cameras' namespace did not come up"; exit 1; }
  in_devices() { nsenter -t "$devices_ns" -n "$@"; }
  ip link add dv0 type veth peer name dv1
  ip link set dv1 netns "$devices_ns"
  ip addr add 10.77.0.1/24 dev dv0
  ip link set dv0 up
  ip route add default dev dv0
  in_devices ip link set lo up
  in_devices ip link set dv1 up
  for i in $(seq 1 $((cameras + onvif))); do in_devices ip addr add "10.77.0.$((10 + i))/24" dev dv1; done
  in_devices ip route add default dev dv1
}

start_cameras() {
  local extra=()
  [ "$onvif" = 0 ] || extra=(--onvif "$onvif" --onvif-base-ip "10.77.0.$((11 + cameras))")
  nsenter -t "$devices_ns" -n "$bin/ipcsim" --config "$work/cameras.json" "${extra[@]}" \
    --state-dump "$work/cameras-state.json" >"$work/ipcsim.out" 2>"$work/ipcsim.err" &
  sim=$!
  for _ in $(seq 1 100); do grep -q ready "$work/ipcsim.out" 2>/dev/null && break; sleep 0.1; done
  if ! grep -q ready "$work/ipcsim.out"; then
    say "ipcsim did not start:"; cat "$work/ipcsim.err"; exit 1
  fi
  say "ipcsim plays $cameras cameras at 10.77.0.11-10.77.0.$((10 + cameras)) (firmware 1.0.0)"
  [ "$onvif" = 0 ] ||
    say "and $onvif ONVIF camera(s) from 10.77.0.$((11 + cameras)) (model SIMCAM-O1, RTSP video, firmware 1.0.0)"
}

stop_cameras() {
  kill "$sim" 2>/dev/null || true
  wait "$sim" 2>/dev/null || true
  sim=""
}

# The caption of a language-file key, as the dialogs show it.
caption() { sed -n "s/^$1=//p" "$2" | head -n 1 | tr -d '\r'; }

# The batch dialog logs in with the user name and password of its settings
# file (the fields are not shown). The demo gives tervane a settings folder of
# its own holding the demo cameras' login, so the user's own settings stay
# untouched.
seed_settings() {
  export XDG_CONFIG_HOME=$demo/config
  rm -rf "$XDG_CONFIG_HOME"
  mkdir -p -m 0700 "$XDG_CONFIG_HOME/vesmira"
  printf '[General]\nuser=Admin\npass=tovik\n' >"$XDG_CONFIG_HOME/vesmira/velquist.conf"
  chmod 0600 "$XDG_CONFIG_HOME/vesmira/velquist.conf"
}

print_batch_steps() {
  local en=$bin/vesmira_en.ini
  say "starting tervane on your display. Follow these steps:"
  say " 1. In the launcher press \"$(caption IDS_TERVANE "$en")\"."
  say " 2. The batch dialog lists the $cameras cameras and the $onvif ONVIF ones (BID \"ONVIF SIMCAM-O1\") within"
  say "    a few seconds. Press \"$(caption IDS_SELECT_ALL "$en")\"."
  say " 3. Press \"$(caption IDS_BROWSE "$en")\" beside the \"$(caption IDS_UPGRADE_VERSON "$en")\" box, choose"
  say "    sample.update (the file dialog opens in $work) and press Open."
  say " 4. Press \"$(caption IDS_START_UPGRADE "$en")\". Every row's \"$(caption IDS_PROMPT "$en")\" column follows its camera;"
  say "    after about a minute (the tool waits 40 s for each camera's reboot) every row"
  say "    shows \"$(caption IDS_UPGRADE_OK "$en")\" with a check mark, and a message says \"$(caption IDS_ALL_FINISH "$en")\". Press OK."
  say " 5. Close the batch dialog, then the launcher, to end the demo."
  say "The tool's trace goes to $work/tervane.log."
  say "The job logs in as Admin with the password tovik, the demo cameras' login (the ONVIF"
  say "cameras' identity is read with it too), which"
  say "this demo put in its own settings file $XDG_CONFIG_HOME/vesmira/velquist.conf."
}

# The test bench follows the user's locale: it shows the Chinese file's texts
# in a Chinese locale.
bench_lang_file() {
  case "${LC_ALL:-${LC_MESSAGES:-${LANG:-}}}" in
    zh_CN* | zh_SG* | zh | zh.*) echo "$bin/vesmira_cn.ini" ;;
    *) echo "$bin/vesmira_en.ini" ;;
  esac
}

print_bench_steps() {
  local texts; texts=$(bench_lang_file)
  say "starting the test bench on your display. Follow these steps:"
  say " 1. Untick \"$(caption IDS_AUTO_SHOW "$texts")\" (otherwise the bench waits for its automatic test)."
  say " 2. Type the cameras' firmware version 1.0.0 into the box beside \"$(caption IDS_VERSION_CHECK "$texts")\""
  say "    (at least 5 characters), or untick \"$(caption IDS_VERSION_CHECK "$texts")\"."
  say " 3. Double-click a camera in the list. The bench logs in (Admin, port 6001), shows"
  say "    its live video, its results, its UID and the UID as a QR code."
  say " 4. Try the test buttons, then press PASS (or NG): the record is written to"
  say "    $work/test_record/<MAC>.txt."
  say "    The row whose BID reads \"ONVIF SIMCAM-O1\" is an ONVIF camera: its video comes over"
  say "    RTSP, the arrows, zoom and IR-cut buttons drive it, its serial number is its UID."
  say " 5. Close the window to end the demo. The tool's trace goes to $work/tervane.log."
}

# Arguments: those of tervane (--factory-test opens the test bench instead).
run_with_display() {
  seed_settings
  export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$work/xdg}
  mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
  if [ "${1:-}" = --factory-test ]; then
    print_bench_steps
    "$bin/tervane" --factory-test >"$work/tervane.log" 2>&1 || true
    return
  fi
  print_batch_steps
  "$bin/tervane" >"$work/tervane.log" 2>&1 || true
  stop_cameras
  local upgraded
  upgraded=$(grep -Eo '"version": ?"2\.0\.0"' "$work/cameras-state.json" | wc -l || true)
  say "the simulator reports $upgraded of $((cameras + onvif)) cameras on 2.0.0"
}

run_headless() {
  local speed=${DEMO_TIME_SPEED:-10} rc=0
  say "no display: running the same job through tervane-cli"
  say "1. discovery"
  "$bin/tervane-cli" discover --listen 2000 --user Admin --password tovik
  local all=$((cameras + onvif))
  say "2. upgrade of all $all cameras ($cameras native, $onvif ONVIF) to 2.0.0 with time zone UTC+08:00"
  say "   (waits $speed times faster)"
  "$bin/tervane-cli" batch --all --expect "$all" --listen 20 --sweep 2 --password tovik \
    --upgrade "$work/sample.update" --time-zone 20 --time-speed "$speed" || rc=$?
  say "3. screenshots of the launcher and the dialogs, rendered offscreen after the job"
  export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$work/xdg}
  mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
  # The offscreen platform warns once per window that it cannot pass size
  # hints to a window manager it does not have: noise, not a fault.
  QT_QPA_PLATFORM=offscreen "$bin/tervane" --screenshot "$demo/screenshots" --settle-ms 3000 >"$work/shots.txt" \
    2> >(grep -v 'does not support propagateSizeHints' >&2)
  stop_cameras
  local upgraded zoned
  upgraded=$(grep -Eo '"version": ?"2\.0\.0"' "$work/cameras-state.json" | wc -l || true)
  # A native camera keeps its zone in seconds east, an ONVIF one as POSIX text.
  zoned=$(grep -Eo '"time_zone": ?(28800|"UTC-8")' "$work/cameras-state.json" | wc -l || true)
  say "the simulator reports $upgraded of $all cameras on 2.0.0 and $zoned with time zone UTC+08:00"
  say "screenshots:"
  sed 's/^/  /' "$work/shots.txt"
  say "job files (firmware, logo, camera list, discovery logs): $work"
  [ "$rc" = 0 ] && [ "$upgraded" = "$all" ] && [ "$zoned" = "$all" ]
}

inside() {
  local headless=0 bench=()
  for arg in "$@"; do
    [ "$arg" = --headless ] && headless=1
    [ "$arg" = --factory-test ] && bench=(--factory-test) && onvif=1
  done
  [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || headless=1
  # The batch job runs on a mixed LAN: two ONVIF cameras beside the native
  # ones, one job for all.
  [ ${#bench[@]} -gt 0 ] || onvif=2
  bin=$build/bin
  work=$demo/run
  ip link set lo up
  check_isolated
  trap cleanup EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  rm -rf "$work"
  mkdir -p "$work"
  cp "$root/app/logo.bmp" "$work/logo.bmp"
  "$bin/ipcsim" mkfw --out "$work/sample.update" --version 2.0.0 --size 1048576 >/dev/null
  # Twelve cameras of mixed types at 10.77.0.11-22, all on the sample
  # firmware's board (0x20), serving the test bench's port 6001 beside their
  # command port. Types 2, 19 and 200 and up form group 1, which the batch job
  # treats differently (fixed video standard, no wait for the reboot after an
  # upgrade) and which alone the test bench lists.
  cp "$root/scripts/demo-cameras.json" "$work/cameras.json"
  make_lan
  start_cameras
  cd "$work"  # the tool's working directory: logo.bmp, send.txt, recv.txt
  if [ "$headless" = 1 ]; then run_headless; else run_with_display "${bench[@]}"; fi
}

if [ "${DEMO_INSIDE:-0}" = 1 ]; then
  inside "$@"
else
  prepare "$@"
  enter_namespace "$@"
fi
