#!/usr/bin/env bash
# The main job: installs what is missing, builds, and runs the tool on
# simulated cameras inside a private network namespace.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja
cmake --build "$build" -j "$(nproc)"
if ! "$root/scripts/in-netns.sh" --check; then
  echo "demo: no private network namespace can be made here (unshare -n was refused)."
  echo "demo: the demo broadcasts to find cameras and must never do so on a real network; stopping."
  exit 1
fi
echo "demo: built $(ls "$build/bin" | tr '\n' ' ')"
