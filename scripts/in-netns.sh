#!/usr/bin/env bash
# Runs a command inside a fresh private network namespace whose only
# interface is loopback (brought up), so nothing it sends can reach a real
# network. Exports TERVANE_IN_NETNS=1 inside; tests that broadcast refuse to
# run without it. Exits 97 when no namespace can be made here.
set -euo pipefail
if [ "${1:-}" = "--check" ]; then
  if [ "$(id -u)" -eq 0 ]; then unshare -n true 2>/dev/null; else unshare -rn true 2>/dev/null; fi
  exit $?
fi
inner='ip link set lo up && export TERVANE_IN_NETNS=1 && exec "$@"'
if [ "$(id -u)" -eq 0 ]; then
  unshare -n -- bash -c "$inner" netns "$@" && exit 0 || rc=$?
else
  unshare -rn -- bash -c "$inner" netns "$@" && exit 0 || rc=$?
fi
exit "$rc"
