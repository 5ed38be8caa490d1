#!/usr/bin/env bash
# The test command: installs what is missing, configures, builds and runs the
# whole suite with ctest inside a private network namespace.
# Environment: BUILD_DIR (default build), CMAKE_ARGS (extra configure arguments),
# CTEST_ARGS (extra ctest arguments, e.g. "-L core").
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/setup.sh"
# shellcheck disable=SC2086
cmake -S "$root" -B "$build" -G Ninja ${CMAKE_ARGS:-}
cmake --build "$build" -j "$(nproc)"
# shellcheck disable=SC2086
if "$root/scripts/in-netns.sh" --check; then
  exec "$root/scripts/in-netns.sh" ctest --test-dir "$build" --output-on-failure -j "$(nproc)" ${CTEST_ARGS:-}
else
  echo "test: no private network namespace can be made here (unshare -n refused);"
  echo "test: the tests that need one (label netns) are skipped, the rest run on loopback only."
  exec ctest --test-dir "$build" --output-on-failure -j "$(nproc)" -LE netns ${CTEST_ARGS:-}
fi
