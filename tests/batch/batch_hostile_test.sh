#!/usr/bin/env bash
# System test: tervane-cli batch on a hostile or broken LAN, each scenario on
# a two-host LAN of scripts/sim-lan.sh with ipcsim playing the cameras and,
# where named, an impostor host (impostor_camera, this directory):
#   json     --json --trace: standard output carries JSON lines only
#   fifo     --upgrade naming a FIFO is refused at once (exit 2), no hang
#   moved    the firmware file is moved away while the cameras flash: the
#            verdict stands (both "√", exit 0)
#   spoof    a flashed camera never comes back and a host answers for it (its
#            MAC, the new version, any login accepted): "×" and exit 1
#   ctrl-c   a camera never answers a request: Ctrl-C ends the job well before
#            the request's own 10 s limit, and the row says "not done"
#   twice    a second Ctrl-C quits at once, with the table
# Usage: batch_hostile_test.sh <bin dir> [scenario...]
set -euo pipefail
bin=$1
shift
if [ "${TERVANE_IN_NETNS:-0}" != 1 ]; then
  echo "SKIP: needs the private network namespace of scripts/in-netns.sh"
  exit 77
fi
root=$(cd "$(dirname "$0")/../.." && pwd)
self=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")
cli=$bin/tervane-cli

# --- run on the tool's side of a LAN (sim-lan.sh calls us back) -------------

fail() { echo "FAIL: $*"; for f in "$work"/*.out "$work"/*.err; do [ -f "$f" ] && { echo "--- $f"; tail -n 30 "$f"; }; done; exit 1; }

# Waits (at most 60 s) until `file` holds `count` lines matching `pattern`.
wait_lines() {
  local file=$1 pattern=$2 count=$3
  for _ in $(seq 1 600); do
    [ "$(grep -c -- "$pattern" "$file" 2>/dev/null || true)" -ge "$count" ] && return 0
    sleep 0.1
  done
  fail "no $count lines of $pattern in $file"
}

# The command itself, not a function: a job started with & must be the
# program, so that signals reach it.
batch=("$cli" batch --all --listen 20 --sweep 1 --password tovik)

inside_json() {
  "${batch[@]}" --expect 2 --time-sync --json --trace --time-speed 20 >"$work/json.out" 2>"$work/json.err" || true
  [ -s "$work/json.out" ] || fail "no output"
  grep -q entered "$work/json.err" || fail "no trace on standard error"
  jq -R -n -e '[inputs | (fromjson? // "bad")] | all(type == "object")' <"$work/json.out" >/dev/null || fail "a line of standard output is not JSON"
}

inside_fifo() {
  mkfifo "$work/fifo.update"
  local rc=0
  timeout 30 "$cli" batch --all --expect 2 --listen 5 --password tovik --upgrade "$work/fifo.update" \
    >"$work/fifo.out" 2>"$work/fifo.err" || rc=$?
  [ "$rc" = 2 ] || fail "exit $rc, not 2 (124: it hung)"
  grep -q "not a regular file" "$work/fifo.err" || fail "no message"
}

inside_moved() {
  "$bin/ipcsim" mkfw --out "$work/fw.update" --version 1.0.1 --size 262144 >/dev/null
  "${batch[@]}" --expect 2 --upgrade "$work/fw.update" --json --time-speed 20 >"$work/moved.out" 2>"$work/moved.err" &
  local job=$! rc=0
  wait_lines "$work/moved.out" '"code":6,' 2
  mv "$work/fw.update" "$work/elsewhere.update"
  wait "$job" || rc=$?
  [ "$rc" = 0 ] || fail "exit $rc"
  [ "$(grep -c '"code":8,' "$work/moved.out")" = 2 ] || fail "not both cameras upgraded"
  ! grep -q '"code":9,' "$work/moved.out" || fail "a flashed camera marked failed"
}

inside_spoof() {
  "$bin/ipcsim" mkfw --out "$work/fw.update" --version 1.0.1 --size 262144 >/dev/null
  "${batch[@]}" --expect 1 --upgrade "$work/fw.update" --json --time-speed 20 >"$work/spoof.out" 2>"$work/spoof.err" &
  local job=$! rc=0
  wait_lines "$work/spoof.out" '"code":11,' 1  # flashed; the camera reboots and stays away
  # The impostor: camera 1's MAC, from another address, with the new version.
  nsenter -t "$SIM_LAN_CAMERA_PID" -n env TERVANE_IN_NETNS=1 "$bin/impostor_camera" -n 1 --base-ip 10.77.0.12 \
    --fw-version 1.0.1 --answer accept-any >"$work/impostor.out" 2>"$work/impostor.err" &
  local impostor=$!
  wait "$job" || rc=$?
  kill "$impostor" 2>/dev/null || true
  wait "$impostor" 2>/dev/null || true
  [ "$rc" = 1 ] || fail "exit $rc, not 1"
  grep -q '"code":9,.*"mark":"×"' "$work/spoof.out" || fail "the upgrade is not marked failed"
  ! grep -q '"code":8,' "$work/spoof.out" || fail "the impostor was taken for the upgraded camera"
  grep -q '"ip":"10.77.0.12"' "$work/spoof.out" || fail "the impostor was never listed"
}

inside_ctrl_c() {
  "${batch[@]}" --expect 1 --time-sync --json >"$work/ctrl.out" 2>"$work/ctrl.err" &
  local job=$! rc=0
  wait_lines "$work/ctrl.out" '"code":15,' 1
  sleep 1  # logged in; the clock write is waiting for its answer
  kill -INT "$job"
  local start=$SECONDS
  wait "$job" || rc=$?
  [ "$rc" = 1 ] || fail "exit $rc, not 1"
  [ $((SECONDS - start)) -le 5 ] || fail "the stop took $((SECONDS - start)) s"
  grep '"code":' "$work/ctrl.out" | tail -n 1 | grep -q '"code":30,' || fail "the row does not say it was not done"
  ! grep -q '"code":16,' "$work/ctrl.out" || fail "the given-up clock write was marked failed"
}

inside_twice() {
  "${batch[@]}" --expect 1 --time-sync --json >"$work/twice.out" 2>"$work/twice.err" &
  local job=$! rc=0
  wait_lines "$work/twice.out" '"code":15,' 1
  sleep 1
  kill -INT "$job"
  sleep 0.02
  kill -INT "$job" 2>/dev/null || true
  wait "$job" || rc=$?
  [ "$rc" = 1 ] || fail "exit $rc, not 1"
  grep -q "quit before the job ended" "$work/twice.err" || fail "the second Ctrl-C did not quit at once"
  grep -q '"mac":"02:00:00:00:00:01".*"type":"left_out"' "$work/twice.out" || fail "the unfinished row is not shown"
}

if [ "${1:-}" = inside ]; then
  work=$3
  "inside_${2//-/_}"
  exit 0
fi

# --- the LAN for each scenario -----------------------------------------------

scenarios=("$@")
[ ${#scenarios[@]} -gt 0 ] || scenarios=(json fifo moved spoof ctrl-c twice)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sim_args() {
  case $1 in
    json|fifo|moved) echo "-n 2 --base-ip 10.77.0.11 --fw-version 1.0.0 --reboot-ms 500" ;;
    spoof) echo "-n 1 --base-ip 10.77.0.11 --fw-version 1.0.0 --reboot-ms 500 --fault *@never_come_back" ;;
    ctrl-c|twice) echo "-n 1 --base-ip 10.77.0.11 --fault *@ignore_command=1001" ;;
  esac
}
set -f  # the fault "*@..." is no file pattern
for scenario in "${scenarios[@]}"; do
  # shellcheck disable=SC2046
  SIM_LAN_BIN=$bin SIM_LAN_ADDRESSES=2 "$root/scripts/sim-lan.sh" $(sim_args "$scenario") -- \
    "$self" "$bin" inside "$scenario" "$work"
  echo "PASS: $scenario"
done
