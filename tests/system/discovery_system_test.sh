#!/usr/bin/env bash
# System test of discovery over the real broadcast path: tervane-cli on one
# side of a veth LAN, ipcsim with 100 cameras on the other (scripts/sim-lan.sh).
#  1. one sweep lists all 100 cameras, none twice;
#  2. a camera that names another address than the one it sends from is
#     listed with the address it sends from;
#  3. after a change-IP request a camera answers from its new address.
# Usage: discovery_system_test.sh <bin dir>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
bin=$1

if [ "${2:-}" != "--inside" ]; then
  if [ "${TERVANE_IN_NETNS:-0}" != 1 ]; then
    echo "SKIP: needs the private network namespace of scripts/in-netns.sh"
    exit 77
  fi
  config=$(mktemp)
  trap 'rm -f "$config"' EXIT
  # 99 generated cameras and one that claims 10.77.0.201 while it sends from 10.77.0.202.
  cat >"$config" <<JSON
{"count": 99, "base_ip": "10.77.0.11",
 "devices": [{"mac": "02:99:00:00:00:01", "ip": "10.77.0.202", "claimed_ip": "10.77.0.201"}]}
JSON
  SIM_LAN_BIN=$bin SIM_LAN_ADDRESSES=100 exec "$root/scripts/sim-lan.sh" --config "$config" -- "$0" "$bin" --inside
fi

cli="$bin/tervane-cli"
fail() { echo "FAIL: $*"; exit 1; }
ip_of() { awk -v mac="$2" '$2 == mac { print $3 }' <<<"$1"; }

# 1. One sweep (the engine's first, from no particular card).
list=$("$cli" discover --listen 2000)
count=$(tail -n +2 <<<"$list" | wc -l)
unique=$(tail -n +2 <<<"$list" | awk '{print $2}' | sort -u | wc -l)
[ "$count" = 100 ] || fail "$count devices listed, expected 100"
[ "$unique" = 100 ] || fail "a device was listed twice ($unique distinct of $count)"
echo "ok: 100 devices listed once each"

# 2. Source-address correction.
[ "$(ip_of "$list" 02:99:00:00:00:01)" = 10.77.0.202 ] || fail "claimed address listed instead of the source"
echo "ok: reply naming .201 sent from .202 listed as .202"

# 3. Change-IP, then a sweep from the chosen card.
"$cli" change-ip --mac 02:00:00:00:00:05 --ip 10.77.0.205 --listen 1000 >/dev/null || fail "change-ip failed"
list=$("$cli" discover --card 10.77.0.1 --listen 1500)
[ "$(ip_of "$list" 02:00:00:00:00:05)" = 10.77.0.205 ] || fail "changed device not listed at 10.77.0.205"
echo "ok: changed device answers from 10.77.0.205"

# The JSON form carries every field.
json=$("$cli" discover --json --listen 1000)
grep -q '"software_ver": "V1.0.0"' <<<"$json" || fail "JSON output lacks software_ver"
echo "PASS"
