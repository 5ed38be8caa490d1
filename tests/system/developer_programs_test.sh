#!/usr/bin/env bash
# The developer programs that can send broadcasts read their options before
# anything else: --help prints the usage and sends nothing, an unknown option
# is refused and sends nothing. Checked on a card of a namespace made here,
# where a listener hears the local copy of every broadcast sent out of it;
# a real sweep shows that the listener would have heard one.
# Usage: developer_programs_test.sh <bin dir>
set -euo pipefail
bin=$(cd "$1" && pwd)

if [ "${2:-}" != "--inside" ]; then
  if [ "${TERVANE_IN_NETNS:-0}" != 1 ] || ! unshare -n true 2>/dev/null; then
    echo "SKIP: needs the private network namespace of scripts/in-netns.sh"
    exit 77
  fi
  # A namespace of its own, so its card touches no other test's.
  exec unshare -n -- "$0" "$bin" --inside
fi

fail() { echo "FAIL: $*"; exit 1; }
work=$(mktemp -d)
listener=""
cleanup() {
  if [ -n "$listener" ]; then kill "$listener" 2>/dev/null || true; wait "$listener" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

ip link set lo up
ip link add d0 type veth peer name d1
ip link set d1 up
ip addr add 10.99.0.1/24 dev d0
ip link set d0 up
ip route add default dev d0

# Counts the datagrams that reach the device port into $work/heard.
python3 -u -c '
import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("0.0.0.0", 13000))
print("ready", flush=True)
n = 0
while True:
    s.recv(4096)
    n += 1
    open(sys.argv[1], "w").write(str(n))
' "$work/heard" >"$work/listener.out" &
listener=$!
for _ in $(seq 1 100); do grep -q ready "$work/listener.out" 2>/dev/null && break; sleep 0.05; done
grep -q ready "$work/listener.out" || fail "the listener did not start"
heard() { cat "$work/heard" 2>/dev/null || echo 0; }

sweep="$bin/discovery_sweep_bench"
# Each sweep sends at once; the pause lets its local copy arrive.
sends_nothing() {
  sleep 0.3
  [ "$(heard)" = 0 ] || fail "$(heard) datagrams went out for '$*'"
}
out=$("$sweep" --help) || fail "--help exited $?"
sends_nothing --help
grep -q -- "--cameras" <<<"$out" || fail "--help printed no usage: $out"
for wrong in --bogus "--cameras x" "--sweeps 0" extra; do
  # shellcheck disable=SC2086
  if "$sweep" $wrong >/dev/null 2>&1; then fail "'$wrong' was taken"; fi
  sends_nothing "$wrong"
done
echo "ok: --help and wrong options send nothing"

# One camera that never answers: the bench listens a second after its sweep.
"$sweep" --cameras 1 --sweeps 1 >/dev/null || fail "a sweep exited $?"
sleep 0.3
[ "$(heard)" -ge 1 ] || fail "the listener heard no sweep"
echo "ok: a sweep is heard ($(heard) requests)"

if [ -x "$bin/impostor_camera" ]; then
  "$bin/impostor_camera" --help | grep -q -- "--answer" || fail "impostor_camera --help printed no usage"
  if "$bin/impostor_camera" --bogus >/dev/null 2>&1; then fail "impostor_camera took --bogus"; fi
  echo "ok: impostor_camera reads its options first"
fi
