#!/usr/bin/env bash
# What one "tervane-cli batch --all --upgrade FILE --time-zone 20" command
# costs on a LAN of simulated cameras of one kind: the command's wall time
# and peak RSS, for native cameras and for ONVIF cameras (their identity read
# with the job's login before the job starts). Each run gets a fresh LAN of
# scripts/sim-lan.sh; time sped up. Run inside a private network namespace:
#
#   scripts/in-netns.sh bench/batch_cli_bench.sh [build/bin] [cameras 100] [firmware MiB 8] [runs 3]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# --help prints the comment above; any other option is refused.
case ${1:-} in
  -h | --help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
  --inside) ;;
  -*) echo "$(basename "$0"): unknown option $1 (--help tells the usage)" >&2; exit 2 ;;
esac
# On the tool side of the LAN the script runs itself: --inside PROTOCOL.
inside=""
if [ "${1:-}" = --inside ]; then inside=$2; shift 2; fi
bin=$(cd "${1:-$root/build/bin}" && pwd)
cameras=${2:-100}
mib=${3:-8}
runs=${4:-3}
[ "${TERVANE_IN_NETNS:-0}" = 1 ] || { echo "run me through scripts/in-netns.sh" >&2; exit 2; }
work=${BATCH_CLI_BENCH_WORK:-$(mktemp -d)}
export BATCH_CLI_BENCH_WORK=$work
[ -n "$inside" ] || trap 'rm -rf "$work"' EXIT
[ -f "$work/fw.update" ] ||
  "$bin/ipcsim" mkfw --out "$work/fw.update" --version 1.0.1 --size $((mib << 20)) >/dev/null

if [ -n "$inside" ]; then
  # "wall seconds" "peak KiB" of the command; it fails the bench if the job did.
  /usr/bin/time -f '%e %M' -o "$work/time" "$bin/tervane-cli" batch --all --expect "$cameras" --listen 60 \
    --protocol "$inside" --password tovik --upgrade "$work/fw.update" --time-zone 20 --time-speed 20 >/dev/null
  cat "$work/time"
  exit
fi

one_run() {
  local kind=()
  if [ "$1" = onvif ]; then kind=(-n 0 --onvif "$cameras" --onvif-base-ip 10.77.0.11); else kind=(-n "$cameras"); fi
  SIM_LAN_BIN=$bin SIM_LAN_ADDRESSES=$cameras "$root/scripts/sim-lan.sh" "${kind[@]}" --base-ip 10.77.0.11 \
    --device-type 5 --fw-version 1.0.0 --reboot-ms 500 --wsd-max-delay-ms 100 -- \
    "$0" --inside "$1" "$bin" "$cameras" || { echo "the $1 job failed" >&2; exit 1; }
}

median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

for protocol in native onvif; do
  for _ in $(seq 1 "$runs"); do one_run "$protocol"; done >"$work/$protocol"
  printf '%d %s cameras, %d MiB firmware, time x20, median of %d: wall %.1f s, peak RSS %.1f MiB\n' \
    "$cameras" "$protocol" "$mib" "$runs" "$(cut -d' ' -f1 <"$work/$protocol" | median)" \
    "$(cut -d' ' -f2 <"$work/$protocol" | median | awk '{print $1 / 1024}')"
done
