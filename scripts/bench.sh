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
# Colour conversion once more at each CPU level our video kernels have (libswscale stays at its best).
for level in c sse2 ssse3 avx2; do
  echo "== bench_colour at VISTREL_CPU=$level"
  VISTREL_CPU=$level "$build"/bin/bench_colour --benchmark_min_time=0.2 "$@" | sed -n '/^640x480/,$p'
done
# H.263 decoding beside ffmpeg once more with our kernels and the library's at plain C.
echo "== bench_h263 side by side at VISTREL_CPU=c"
VISTREL_CPU=c "$build"/bin/bench_h263 --benchmark_filter='^$' | sed -n '/^CIF/,$p'
# MPEG-4 decoding beside ffmpeg -threads 1 (CPU time, start-up subtracted) at the C level, the SSE2
# baseline and the best level this machine has.
echo "== MPEG-4 decoding: vistrel-cli decode vs ffmpeg -threads 1"
scripts/install-deps.sh python3 >/dev/null   # the timing reads getrusage through python3
bench/mpeg4/side_by_side.sh "$build" 5 c sse2 ""
