#!/usr/bin/env bash
# Wall time of upgrading many simulated cameras from the command line: one
# "tervane-cli batch --all --parallel N" command against the jobs of at most
# N cameras run one after the other by hand (each its own command, listening
# until every camera is heard, then taking the next N by MAC). Each way gets
# a fresh LAN of scripts/sim-lan.sh; time sped up. Run inside a private
# network namespace:
#
#   scripts/in-netns.sh bench/fleet_waves_bench.sh [build/bin] [cameras 300] [parallel 100] [runs 1]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# --help prints the comment above; any other option is refused.
case ${1:-} in
  -h | --help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
  --inside | inside) ;;
  -*) echo "$(basename "$0"): unknown option $1 (--help tells the usage)" >&2; exit 2 ;;
esac
# On the tool side of the LAN the script runs itself: --inside WAY.
inside=""
if [ "${1:-}" = --inside ]; then inside=$2; shift 2; fi
bin=$(cd "${1:-$root/build/bin}" && pwd)
cameras=${2:-300}
parallel=${3:-100}
runs=${4:-1}
[ "${TERVANE_IN_NETNS:-0}" = 1 ] || { echo "run me through scripts/in-netns.sh" >&2; exit 2; }
work=${FLEET_BENCH_WORK:-$(mktemp -d)}
export FLEET_BENCH_WORK=$work
[ -n "$inside" ] || trap 'rm -rf "$work"' EXIT
[ -f "$work/fw.update" ] || "$bin/ipcsim" mkfw --out "$work/fw.update" --version 1.0.1 --size 262144 >/dev/null
if [ "$cameras" -le 189 ]; then base=10.77.0.11; else base=10.77.1.0; fi
common=(--expect "$cameras" --listen 60 --sweep 2 --password tovik --upgrade "$work/fw.update" --time-speed 20)

# The MACs of the simulator's cameras, in its numbering.
macs() { for i in $(seq 1 "$cameras"); do printf '02:00:00:%02X:%02X:%02X\n' $((i >> 16)) $(((i >> 8) & 255)) $((i & 255)); done; }

one_command() { "$bin/tervane-cli" batch --all --parallel "$parallel" "${common[@]}" >/dev/null; }

by_hand() {
  local first args
  for ((first = 0; first < cameras; first += parallel)); do
    args=()
    while read -r mac; do args+=(--device "$mac"); done < <(macs | tail -n +$((first + 1)) | head -n "$parallel")
    "$bin/tervane-cli" batch "${args[@]}" "${common[@]}" >/dev/null || return 1
  done
}

# Seconds one way takes on a fresh LAN.
timed() {
  local start end
  start=$(date +%s.%N)
  SIM_LAN_BIN=$bin SIM_LAN_ADDRESSES=$cameras SIM_LAN_BASE_IP=$base "$root/scripts/sim-lan.sh" -n "$cameras" \
    --base-ip "$base" --device-type 5 --fw-version 1.0.0 --reboot-ms 500 -- \
    "$0" --inside "$1" "$bin" "$cameras" "$parallel" || { echo "$1 failed" >&2; exit 1; }
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN {print b - a}'
}

if [ -n "$inside" ]; then
  "$inside"
  exit
fi

median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

for _ in $(seq 1 "$runs"); do timed one_command; done >"$work/one"
for _ in $(seq 1 "$runs"); do timed by_hand; done >"$work/hand"
one=$(median <"$work/one")
hand=$(median <"$work/hand")
printf '%d cameras, time x20, median of %d: one command with --parallel %d %.1f s; %d commands by hand %.1f s; ratio %.2f\n' \
  "$cameras" "$runs" "$parallel" "$one" $(((cameras + parallel - 1) / parallel)) "$hand" "$(awk -v a="$one" -v b="$hand" 'BEGIN {print a / b}')"
