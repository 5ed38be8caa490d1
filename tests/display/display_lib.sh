# What the display tests share (sourced): the check that they run in a
# private namespace of scripts/in-netns.sh (else they skip with 77), the
# tools they need, and a work folder kept when the test fails.

# Skips unless in a namespace of its own: the harness names the namespaces
# it was started from in TERVANE_NETNS_GUARD, and this one must be none.
display_need_private_netns() {
  local here_ns
  here_ns=$(readlink /proc/self/ns/net)
  if [ "${TERVANE_IN_NETNS:-0}" != 1 ] || [[ " ${TERVANE_NETNS_GUARD:-} " == *" $here_ns "* ]]; then
    echo "SKIP: needs the private network namespace of scripts/in-netns.sh"
    exit 77
  fi
}

# A missing tool is a failure, not a skip (scripts/setup.sh installs them all).
display_need_tools() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/setup.sh installs it)"; exit 1; }
  done
  /usr/bin/python3 -c 'import pyatspi' || { echo "FAIL: python3-pyatspi is missing"; exit 1; }
}

# Sets `work` to a new folder, removed at exit unless the test failed.
display_work_dir() {
  work=$(mktemp -d)
  trap display_cleanup EXIT
}

display_cleanup() {
  local rc=$?
  if [ "$rc" = 0 ]; then rm -rf "$work"; else echo "display test: its files stay in $work"; fi
}
