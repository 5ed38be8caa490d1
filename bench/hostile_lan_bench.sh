#!/usr/bin/env bash
# Measures tervane-cli on a hostile LAN (two-host LAN of scripts/sim-lan.sh,
# inside a private network namespace of its own):
#
#   events  a camera that knows the password floods events, each one
#           different, while a batch upgrade waits for it to reboot (the
#           library's event callback is set and traces every event, to a
#           reader that takes 400 KB/s): the CLI's RSS (baseline, peak,
#           growth), its CPU share and the events per second the device got
#           through, over SECONDS (default 60) of flood.
#
#   library the same flood straight into the client library, with an event
#           callback that takes 1 ms per event (event_flood_bench, on loopback).
#
#   replies a host answers discovery for 50,000 invented MACs, over and over,
#           as fast as it can, while `tervane-cli discover` listens for
#           SECONDS beside 5 real cameras (ipcsim): the CLI's RSS peak and
#           growth, its CPU share, the replies per second sent at it, how
#           many devices it listed and whether the 5 cameras are among them.
#
# Usage: scripts/in-netns.sh bench/hostile_lan_bench.sh events|library|replies [SECONDS] [BIN_DIR]
# BIN_DIR defaults to build/bin; it needs tervane-cli, ipcsim, impostor_camera
# and event_flood_bench.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# --help prints the comment above; any other option is refused.
case ${1:-} in
  -h | --help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
  --inside | inside) ;;
  -*) echo "$(basename "$0"): unknown option $1 (--help tells the usage)" >&2; exit 2 ;;
esac
self=$root/bench/$(basename "$0")
if [ "${1:-}" != inside ]; then
  mode=${1:-events}
  export HOSTILE_SECONDS=${2:-60}
  HOSTILE_BIN=$(cd "${3:-$root/build/bin}" && pwd)
  export HOSTILE_BIN
fi
seconds=$HOSTILE_SECONDS
bin=$HOSTILE_BIN

rss_kib() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status" 2>/dev/null || echo 0; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }

# Samples the RSS of `pid` once a second for `seconds`; prints "peak_kib".
sample_rss() {
  local pid=$1 peak=0 now
  for _ in $(seq 1 "$seconds"); do
    sleep 1
    now=$(rss_kib "$pid")
    [ "$now" -gt "$peak" ] && peak=$now
  done
  echo "$peak"
}

inside_events() {
  local work=$1
  "$bin/ipcsim" mkfw --out "$work/fw.update" --version 1.0.1 --size 262144 >/dev/null
  nsenter -t "$SIM_LAN_CAMERA_PID" -n env TERVANE_IN_NETNS=1 "$bin/impostor_camera" -n 1 --base-ip 10.77.0.11 --device-type 5 \
    --answer flood --password tovik >"$work/flood.out" 2>"$work/flood.err" &
  local flooder=$!
  for _ in $(seq 1 50); do grep -q ready "$work/flood.out" && break; sleep 0.1; done
  # The trace goes to a pipe that is read slowly, as a terminal scrolled back
  # or a slow remote session would: the event callback is slower than the device.
  mkfifo "$work/trace"
  (while sleep 0.01; do head -c 4096 >/dev/null || break; done) <"$work/trace" &
  local reader=$!
  "$bin/tervane-cli" batch --device 10.77.0.11 --expect 1 --listen 20 --password tovik \
    --upgrade "$work/fw.update" --json --trace >"$work/cli.out" 2>"$work/trace" &
  local cli=$!
  for _ in $(seq 1 200); do grep -q '"code":6,' "$work/cli.out" && break; sleep 0.1; done
  grep -q '"code":6,' "$work/cli.out" || { echo "the upgrade did not start"; exit 1; }
  local hz base ticks0 peak ticks1
  hz=$(getconf CLK_TCK)
  base=$(rss_kib "$cli")
  ticks0=$(cpu_ticks "$cli")
  peak=$(sample_rss "$cli")
  ticks1=$(cpu_ticks "$cli")
  kill -0 "$cli" 2>/dev/null || { echo "the job ended before the flood did"; exit 1; }
  kill -INT "$cli"
  wait "$cli" || true
  kill "$reader" 2>/dev/null || true
  kill -TERM "$flooder"
  wait "$flooder" || true
  local events
  events=$(awk '/^events/ {print $2}' "$work/flood.out")
  echo "event flood, ${seconds} s, every event different; the batch engine's callback traces to a slow reader"
  echo "  RSS at the start of the flood : $((base / 1024)) MiB"
  echo "  RSS peak                      : $((peak / 1024)) MiB"
  echo "  growth                        : $(((peak - base) / 1024)) MiB"
  echo "  CPU of tervane-cli            : $(((ticks1 - ticks0) * 100 / hz / seconds)) % of one core"
  echo "  events taken from the device  : $((events / seconds)) per second"
}

library() {
  local work=$1
  ip link set lo up 2>/dev/null || true
  "$bin/impostor_camera" -n 1 --base-ip 127.0.0.77 --discovery-address 127.0.0.77 --discovery-port 23999 \
    --answer flood --password tovik >"$work/flood.out" 2>"$work/flood.err" &
  local flooder=$!
  for _ in $(seq 1 50); do grep -q ready "$work/flood.out" && break; sleep 0.1; done
  "$bin/event_flood_bench" --ip 127.0.0.77 --seconds "$seconds" --callback-ms 1
  kill -TERM "$flooder"
  wait "$flooder" || true
  echo "  events the device got out : $(($(awk '/^events/ {print $2}' "$work/flood.out") / seconds)) per second"
}

inside_replies() {
  local work=$1 macs=50000
  nsenter -t "$SIM_LAN_CAMERA_PID" -n python3 "$root/bench/reply_flood.py" "$SIM_LAN_TOOL_IP" "$macs" \
    >"$work/flood.out" 2>"$work/flood.err" &
  local flooder=$!
  for _ in $(seq 1 100); do grep -q ready "$work/flood.out" && break; sleep 0.1; done
  # It listens a little longer than the sampling, so it is still there at its end.
  "$bin/tervane-cli" discover --listen $(((seconds + 3) * 1000)) --json >"$work/cli.out" 2>"$work/cli.err" &
  local cli=$!
  local hz base ticks0 peak ticks1
  hz=$(getconf CLK_TCK)
  sleep 0.2
  base=$(rss_kib "$cli")
  ticks0=$(cpu_ticks "$cli")
  peak=$(sample_rss "$cli")
  ticks1=$(cpu_ticks "$cli")
  wait "$cli" || true
  kill -TERM "$flooder"
  wait "$flooder" || true
  local sent listed real
  sent=$(awk '/^sent/ {print $2}' "$work/flood.out")
  listed=$(jq length "$work/cli.out")
  real=$(jq '[.[] | select(.software_ver != "V6.6.6")] | length' "$work/cli.out")
  echo "reply flood, ${seconds} s, $macs invented MACs round and round, 5 real cameras"
  echo "  RSS 0.2 s after the start     : $((base / 1024)) MiB"
  echo "  RSS peak                      : $((peak / 1024)) MiB"
  echo "  growth                        : $(((peak - base) / 1024)) MiB"
  echo "  CPU of tervane-cli            : $(((ticks1 - ticks0) * 100 / hz / seconds)) % of one core"
  echo "  replies sent at the tool      : $((sent / seconds)) per second"
  echo "  devices listed                : $listed"
  echo "  real cameras listed           : $real of 5"
}

if [ "${1:-}" = inside ]; then
  "inside_$2" "$3"
  exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
case $mode in
  events)
    SIM_LAN_BIN=$bin SIM_LAN_ADDRESSES=1 "$root/scripts/sim-lan.sh" -n 0 -- "$self" inside events "$work" ;;
  replies)
    SIM_LAN_BIN=$bin SIM_LAN_ADDRESSES=5 "$root/scripts/sim-lan.sh" -- "$self" inside replies "$work" ;;
  library)
    [ "${TERVANE_IN_NETNS:-0}" = 1 ] || { echo "run it through scripts/in-netns.sh" >&2; exit 2; }
    library "$work" ;;
  *) echo "unknown measurement $mode" >&2; exit 2 ;;
esac
