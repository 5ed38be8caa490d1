#!/usr/bin/env bash
# Runs a command inside a fresh private network namespace whose only
# interface is loopback (brought up), so nothing it sends can reach a real
# network. Inside, TERVANE_IN_NETNS=1 tells the tests that need such a
# namespace that they run in one, and TERVANE_NETNS_GUARD names the namespace
# this script was started in: the programs refuse to send anywhere but
# loopback should they ever find themselves back there. Exits 97 when no
# namespace can be made here.
set -euo pipefail
if [ "${1:-}" = "--check" ]; then
  if [ "$(id -u)" -eq 0 ]; then unshare -n true 2>/dev/null; else unshare -rn true 2>/dev/null; fi
  exit $?
fi
TERVANE_NETNS_GUARD="$(readlink /proc/self/ns/net) ${TERVANE_NETNS_GUARD:-}"
export TERVANE_NETNS_GUARD
inner='ip link set lo up && export TERVANE_IN_NETNS=1 && exec "$@"'
if [ "$(id -u)" -eq 0 ]; then
  unshare -n -- bash -c "$inner" netns "$@" && exit 0 || rc=$?
else
  unshare -rn -- bash -c "$inner" netns "$@" && exit 0 || rc=$?
fi
exit "$rc"
