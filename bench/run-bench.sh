#!/usr/bin/env bash
# Runs every benchmark binary of a build with repetitions and prints each
# one's table of medians and ratios.
#   bench/run-bench.sh BUILD_DIR [REPETITIONS]
set -euo pipefail
build=$(cd "$1" && pwd)
reps=${2:-5}
here=$(cd "$(dirname "$0")" && pwd)

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
for bin in "$build"/bench/bench_*; do
  [ -x "$bin" ] || continue
  echo "=== $(basename "$bin") ==="
  "$bin" --benchmark_repetitions="$reps" --benchmark_report_aggregates_only=true
done
