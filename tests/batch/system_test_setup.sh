# Sourced by the batch system tests after they set $bin: skips (exit 77)
# outside the private network namespace of scripts/in-netns.sh, sets $root
# (the source tree) and $work (a scratch folder removed at exit unless
# KEEP_WORK is set) and writes $work/fw.update, version 1.0.1 of 64 KiB.
if [ "${TERVANE_IN_NETNS:-0}" != 1 ]; then
  echo "SKIP: needs the private network namespace of scripts/in-netns.sh"
  exit 77
fi
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap '[ -n "${KEEP_WORK:-}" ] || rm -rf "$work"' EXIT
"$bin/ipcsim" mkfw --out "$work/fw.update" --version 1.0.1 --size 65536 >/dev/null
