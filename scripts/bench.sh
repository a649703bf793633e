#!/usr/bin/env bash
# Builds an optimised tree with the benchmarks and runs each of them (side by side with libswscale
# and ffmpeg, ratios printed). Not part of ./test: speed is measured here, never asserted.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh libswscale-dev libavutil-dev

build=build/bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVISTREL_BENCH=ON -DVISTREL_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"
for bench in "$build"/bin/bench_*; do
  echo "== $(basename "$bench")"
  "$bench" "$@"
done
