#!/usr/bin/env bash
# System test: the shipped tervane-cli on a LAN shaped like the ones users
# have (scripts/real-lan.sh): no default route, a dozen interfaces that are
# down listed before two cards on two subnets, 20 cameras behind each card, a
# host that sends an empty datagram and answers late with terminal escapes in
# its version, a camera in a foreign subnet. The CLI runs with no variable of
# the test harness but its network guard.
#  1. one search lists every camera of both cards, the late one and the
#     foreign one, with device texts escaped;
#  2. change-ip moves a camera and the foreign one by MAC (a new search finds
#     them at their new addresses) and exits 0;
#  3. change-ip through a card that went down after the search exits non-zero
#     with the reason, and the camera stays where it was;
#  4. a search that hears nothing says which cards it used and names the
#     reply port for the firewall;
#  5. a search through a card that is down fails (exit 1) and says so,
#     without sending the user to the firewall.
# Usage: real_lan_test.sh <bin dir>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
bin=$1
if [ "${2:-}" != "--inside" ]; then
  if [ "${TERVANE_IN_NETNS:-0}" != 1 ]; then
    echo "SKIP: needs the private network namespace of scripts/in-netns.sh"
    exit 77
  fi
  rc=0
  REAL_LAN_BIN=$bin "$root/scripts/real-lan.sh" -- "$0" "$bin" --inside || rc=$?
  [ "$rc" = 97 ] && exit 77
  exit "$rc"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; for f in "$REAL_LAN_LOGS"/*.err "$work"/*.err; do echo "== $f"; tail -n 20 "$f"; done; exit 1; }
[ -z "$(ip -4 route show default)" ] || fail "the tool's host has a default route"

# The CLI as a user runs it: only the harness's network guard is left.
cli() { (cd "$work" && env -u TERVANE_IN_NETNS -u REAL_LAN_LOGS "$bin/tervane-cli" "$@"); }
ip_of() { awk -v mac="$2" '$2 == mac { print $3 }' <<<"$1"; }

# 1. One search from no particular card.
list=$(cli discover --listen 3000 2>"$work/discover.err") || fail "discover exited with $?"
count=$(tail -n +2 <<<"$list" | wc -l)
[ "$count" = 42 ] || fail "$count devices listed, expected 42: $list"
[ "$(tail -n +2 <<<"$list" | awk '{print $2}' | sort -u | wc -l)" = 42 ] || fail "a device was listed twice"
[ "$(ip_of "$list" 02:77:00:00:00:14)" = 10.77.0.30 ] || fail "a camera of card A is missing"
[ "$(ip_of "$list" 02:88:00:00:00:14)" = 10.88.0.30 ] || fail "a camera of card B is missing"
[ "$(ip_of "$list" 02:77:00:00:02:50)" = 10.77.0.250 ] || fail "the late answer is missing"
[ "$(ip_of "$list" 02:19:21:68:00:64)" = 192.168.1.64 ] || fail "the camera in the foreign subnet is missing"
if grep -q $'\x1b' <<<"$list"; then fail "an escape sequence reached the terminal"; fi
grep -qF 'V1\x1b]0;owned\x07\x1b[2J\xff' <<<"$list" || fail "the hostile version is not shown escaped"
[ ! -s "$work/discover.err" ] || fail "discover printed on stderr: $(cat "$work/discover.err")"
echo "ok: 42 devices of both cards listed once each (late and foreign ones too), texts escaped"

# 2. Change-IP without a default route, by MAC, also out of a foreign subnet.
cli change-ip --mac 02:77:00:00:00:05 --ip 10.77.0.201 --listen 1500 >"$work/change.out" 2>"$work/change.err" ||
  fail "change-ip exited with $?"
grep -q "02:77:00:00:00:05: change to 10.77.0.201 sent" "$work/change.out" || fail "change-ip said: $(cat "$work/change.out")"
cli change-ip --mac 02:19:21:68:00:64 --ip 10.88.0.64 --mask 255.255.255.0 --gateway 10.88.0.1 --listen 1500 \
  >/dev/null 2>"$work/change_foreign.err" || fail "change-ip of the foreign camera exited with $?"
list=$(cli discover --listen 2000 2>/dev/null)
[ "$(ip_of "$list" 02:77:00:00:00:05)" = 10.77.0.201 ] || fail "the camera did not move to 10.77.0.201"
[ "$(ip_of "$list" 02:19:21:68:00:64)" = 10.88.0.64 ] || fail "the foreign camera did not move to 10.88.0.64"
echo "ok: change-ip moved a camera and the foreign one (seen by a new search), exit 0"

# 3. Change-IP through a card that goes down once the camera is listed.
cli change-ip --card 10.77.0.1 --mac 02:77:00:00:00:06 --ip 10.77.0.201 --listen 4000 --logs \
  >"$work/down.out" 2>"$work/down.err" &
change=$!
for _ in $(seq 1 100); do grep -q 02:77:00:00:00:06 "$work/recv.txt" 2>/dev/null && break; sleep 0.05; done
grep -q 02:77:00:00:00:06 "$work/recv.txt" || fail "the camera to move was not heard"
ip link set cardA down
rc=0
wait "$change" || rc=$?
ip link set cardA up
[ "$rc" != 0 ] || fail "change-ip through a card that is down exited 0: $(cat "$work/down.out")"
grep -q "could not be sent" "$work/down.err" || fail "change-ip gave no reason: $(cat "$work/down.err")"
# The cameras' end of the link passes traffic again only once the kernel has
# settled its state too, up to a second after this end shows "UP": search
# until the camera answers, then look where it is.
moved_to=""
for _ in $(seq 1 10); do
  list=$(cli discover --listen 1000 2>/dev/null)
  moved_to=$(ip_of "$list" 02:77:00:00:00:06)
  [ -z "$moved_to" ] || break
done
[ "$moved_to" = 10.77.0.16 ] || fail "the camera moved although the card was down: '$moved_to' in $list"
echo "ok: change-ip through a card that is down exits $rc: $(cat "$work/down.err")"

# 4. Nothing answers (no device listens on that port): the hints.
cli discover --listen 1000 --device-port 13999 >/dev/null 2>"$work/silent.err" || fail "discover exited with $?"
grep -q "searched through the cards 10.77.0.1, 10.88.0.1" "$work/silent.err" || fail "no card hint: $(cat "$work/silent.err")"
grep -q "UDP port 12000" "$work/silent.err" || fail "no firewall hint: $(cat "$work/silent.err")"
echo "ok: a search that hears nothing names the cards and the reply port"

# 5. A search through a card that is down.
ip link set cardB down
rc=0
cli discover --listen 500 --card 10.88.0.1 >/dev/null 2>"$work/cardown.err" || rc=$?
ip link set cardB up
[ "$rc" = 1 ] || fail "a search through a card that is down exited $rc"
grep -q "could not be sent: no card with the address 10.88.0.1 is up" "$work/cardown.err" ||
  fail "no reason: $(cat "$work/cardown.err")"
! grep -q firewall "$work/cardown.err" || fail "the firewall hint for a card that is down"
echo "ok: a search through a card that is down exits 1 with the reason"
echo "PASS"
