#!/usr/bin/env bash
# Builds every libFuzzer target (fuzz/*_fuzz.cpp) with clang into build-fuzz
# and runs each for N seconds (default 30) from its seed corpus
# fuzz/corpus/<target>/. New inputs go to a scratch copy, never into the tree.
# Usage: scripts/fuzz.sh [seconds] [target...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
shift || true
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
if [ $# -gt 0 ]; then
  targets=("$@")
else
  mapfile -t targets < <(cd "$root/fuzz" && ls ./*_fuzz.cpp | sed 's|^\./||; s|\.cpp$||')
fi
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DTERVANE_FUZZ=ON -DTERVANE_GUI=OFF \
  -DTERVANE_BENCH=OFF >/dev/null
cmake --build "$build" -j 2 --target "${targets[@]}"
for target in "${targets[@]}"; do
  corpus=$(mktemp -d)
  trap 'rm -rf "$corpus"' EXIT
  if [ -d "$root/fuzz/corpus/$target" ]; then cp -r "$root/fuzz/corpus/$target/." "$corpus/"; fi
  echo "fuzz: $target for ${seconds}s"
  "$build/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "$corpus"
  rm -rf "$corpus"
done
