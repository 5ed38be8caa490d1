#!/usr/bin/env bash
# Runs the batch dialog's LAN test on the tool side of a private two-host LAN
# with five simulated cameras (scripts/sim-lan.sh). Skips (77) outside the
# private namespace of scripts/in-netns.sh.
# Usage: batch_dlg_lan_test.sh <bin dir>
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bin=$1
if [ "${TERVANE_IN_NETNS:-0}" != 1 ]; then
  echo "SKIP: needs the private network namespace of scripts/in-netns.sh"
  exit 77
fi
SIM_LAN_BIN=$bin SIM_LAN_ADDRESSES=5 exec "$root/scripts/sim-lan.sh" -n 5 --base-ip 10.77.0.11 --reboot-ms 500 -- \
  env QT_QPA_PLATFORM=offscreen "$bin/batch_dlg_test" --gtest_filter='BatchDialogLanTest.*'
