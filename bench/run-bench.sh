#!/usr/bin/env bash
# Runs every benchmark binary of the Linux build with repetitions and prints
# each one's table of medians and ratios, then the memory of large attached
# signatures: on Linux, and in the 32-bit DLL under Wine; last the whole road
# through the x64 DLL against the 32-bit one under Wine.
#   bench/run-bench.sh LINUX_BUILD WIN32_BUILD WIN64_BUILD [REPETITIONS]
set -euo pipefail
linux=$(cd "$1" && pwd)
win=$(cd "$2" && pwd)
win64=$(cd "$3" && pwd)
reps=${4:-5}
here=$(cd "$(dirname "$0")" && pwd)

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(free -g | awk '/^Mem:/ { print $2 }') GiB"
if [ "${DSC_I386_EMULATED:-}" = 1 ]; then
  echo "32-bit Windows programs run under a user-mode emulator here: their figures are emulated; compare only ratios within this run"
fi
for name in bench_base64 bench_pkcs7 bench_road bench_select; do
  echo "=== $name (median of $reps runs) ==="
  "$linux/bench/$name" --benchmark_repetitions="$reps" --benchmark_report_aggregates_only=true
done
echo "=== memory of a large attached signature ==="
"$here/large-sign.sh" "$linux" 256
"$here/large-sign-wine.sh" "$win" "$linux" 600
echo "=== the whole road under Wine: x64 DLL against the 32-bit DLL ==="
"$here/road-wine.sh" "$win" "$win64" "$linux" "$reps"
