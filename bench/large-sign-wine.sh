#!/usr/bin/env bash
# Attached signing of a large file (default 600 MiB) by the 32-bit DLL under
# Wine. dsc-sign.exe, large-address-aware (4 GiB of address space, as on
# 64-bit Windows), signs the file on a soft token with this build's DLL and,
# when given, with another build's DLL for comparison. Then the encoding
# alone, both ways in one program: the whole DER and its text, or the text
# made from pieces around the data.
#   bench/large-sign-wine.sh WIN32_BUILD LINUX_BUILD [MIB] [OTHER_DLL]
set -euo pipefail
win=$(cd "$1" && pwd)
linux=$(cd "$2" && pwd)
mib=${3:-600}
other=${4:-}
. "$(dirname "$0")/support/wine_token.sh"
wine_work dsc-large-wine

# One token with an SM2 key; the state file belongs beside the module that
# reads it.
provision_token "$linux" "$work/linux-token" BENCHLARGE01
place_token "$win" "$work/linux-token" "$work/token"

head -c $((mib << 20)) /dev/urandom >"$work/data.bin"

new_prefix
register_token "$work/token/softskf.dll" 32
wineserver -w

# sign NAME DLL: prints the outcome and the peak resident set of the run.
sign() {
  local name=$1 dll=$2 dir=$work/$1 rc=0
  mkdir -p "$dir"
  cp "$win/dsc_jna/dsc-sign.exe" "$dir/"
  cp "$dll" "$dir/dsc_jna_v3.dll"
  BENCH_PIN=12345678 /usr/bin/time -v -o "$dir/time.txt" wine "$dir/dsc-sign.exe" sign "$(winpath "$work/data.bin")" \
    --key-sn BENCHLARGE01 --pin-env BENCH_PIN --out "$(winpath "$dir/data.p7")" >"$dir/out.txt" 2>&1 || rc=$?
  local peak
  peak=$(awk '/Maximum resident set size/ { print $NF / 1024 }' "$dir/time.txt")
  if [ "$rc" -eq 0 ]; then
    printf '  %-6s DLL: signed, SignedData %d bytes, peak RSS %.0f MiB\n' "$name" "$(stat -c %s "$dir/data.p7")" \
      "${peak:-0}"
  else
    printf '  %-6s DLL: failed with exit status %d%s, peak RSS %.0f MiB\n' "$name" "$rc" \
      "$([ "$rc" -eq 111 ] && echo " (out of memory)")" "${peak:-0}"
    grep -v '^NOTE' "$dir/out.txt" | sed 's/^/    /' >&2
  fi
  return "$rc"
}

echo "attached signing of $mib MiB by the 32-bit DLL under Wine (SM2 on a soft token):"
status=0
sign this "$win/dsc_jna/dsc_jna_v3.dll" || status=1
if [ -n "$other" ]; then sign other "$other" || true; fi

echo "the encoding alone, $mib MiB of content, in one large-address-aware process:"
for how in whole pieces; do
  rc=0
  wine "$win/bench/large_encode.exe" "$how" "$mib" >"$work/encode.txt" 2>&1 || rc=$?
  case "$how:$rc" in
    whole:111) echo "  whole DER, then its text: out of memory (exit status 111)" ;;
    whole:0) echo "  whole DER, then its text: $(grep -v '^NOTE' "$work/encode.txt")" ;;
    pieces:0) echo "  pieces around the data: $(grep -v '^NOTE' "$work/encode.txt")" ;;
    *) echo "  $how: unexpected exit status $rc"; cat "$work/encode.txt"; status=1 ;;
  esac
done
exit $status
