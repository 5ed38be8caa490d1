#!/usr/bin/env bash
# tervane's command line: Qt's standard options go to Qt, the program's own
# are checked with a reason, and --help needs no display.
# Usage: program_options_test.sh path/to/tervane   (inside scripts/in-netns.sh)
set -euo pipefail
tervane=$1
# --screenshot opens the dialogs, which search every card for cameras.
if [ "${TERVANE_IN_NETNS:-0}" != 1 ]; then
  echo "SKIP: needs the private network namespace of scripts/in-netns.sh"
  exit 77
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

env -u DISPLAY -u QT_QPA_PLATFORM "$tervane" --help >"$out/help"
grep -q -- "--factory-test" "$out/help"
grep -q -- "-style" "$out/help"

# Qt's options beside the program's own, in any order.
"$tervane" -platform offscreen --screenshot "$out/shots" -style fusion --settle-ms 0 >"$out/files"
test "$(wc -l <"$out/files")" -eq 3

status=0
"$tervane" -platform offscreen --no-such-option 2>"$out/error" || status=$?
test "$status" -eq 2
grep -q "no-such-option" "$out/error"
echo "program options: ok"
