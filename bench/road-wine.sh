#!/usr/bin/env bash
# The whole select-and-sign road through the 32-bit and the x64 DLL under
# Wine, in one run and one 64-bit prefix: each build's road_wine.exe loads
# its own dsc_jna_v3.dll by name, selects by key serial on its own copy of
# the same soft token (the 32-bit softskf.dll registered in the 32-bit view,
# the x64 one in the 64-bit view) and signs attached, repeated; the table
# gives each median, the page faults per signature, the ratio to SM3 alone
# over the same data on the same token in the same run, and the ratio
# x64 / x86.
#   bench/road-wine.sh WIN32_BUILD WIN64_BUILD LINUX_BUILD [REPETITIONS]
set -euo pipefail
win32=$(cd "$1" && pwd)
win64=$(cd "$2" && pwd)
linux=$(cd "$3" && pwd)
reps=${4:-5}
. "$(dirname "$0")/support/wine_token.sh"
wine_work dsc-road-wine
provision_token "$linux" "$work/linux-token" BENCHROAD01
new_prefix
for bits in 32 64; do
  build=$win32 && [ $bits = 64 ] && build=$win64
  place_token "$build" "$work/linux-token" "$work/token$bits"
  register_token "$work/token$bits/softskf.dll" $bits
  mkdir -p "$work/host$bits"
  cp "$build/bench/road_wine.exe" "$build/dsc_jna/dsc_jna_v3.dll" "$work/host$bits/"
done
wineserver -w

# libgcrypt's Windows entropy gatherer prints NOTE lines: shown only on failure.
for bits in 32 64; do
  loader=wine name=x86 && [ $bits = 64 ] && loader=wine64 name=x64
  /usr/lib/wine/$loader "$work/host$bits/road_wine.exe" BENCHROAD01 12345678 \
    "$(winpath "$work/token$bits/softskf.dll")" "$reps" >"$work/$name.txt" \
    2>"$work/$name.err" || { echo "road_wine.exe ($name) failed:" >&2; cat "$work/$name.err" >&2; exit 1; }
done

echo "select + sign (attached, SM2 on a soft token) under Wine, median of $reps:"
echo "| data | x86 DLL | faults | / SM3 alone | x64 DLL | faults | / SM3 alone | ratio x64 / x86 |"
echo "|---|---|---|---|---|---|---|---|"
join "$work/x86.txt" "$work/x64.txt" | awk '{
  size = $1 >= 1048576 ? $1 / 1048576 " MiB" : $1 / 1024 " KiB"
  printf "| %s | %.2f ms | %s | %.2f | %.2f ms | %s | %.2f | %.2f |\n", size, $2, $3, $2 / $4, $5, $6, $5 / $7, $5 / $2 }'
