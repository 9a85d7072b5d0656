#!/usr/bin/env bash
# Peak memory of attached signing: dsc-sign signs a file of MIB mebibytes
# (default 256) and a 1 KiB file with a software SM2 key from the "MY" store,
# under /usr/bin/time -v. The extra memory is the peak of the large run less
# the data itself and less the peak of the small run; the goal is at most
# 1.34 x N + 1 MiB, the base64 text being 4/3 of the data.
#   bench/large-sign.sh BUILD_DIR [MIB]
set -euo pipefail
build=$(cd "$1" && pwd)
mib=${2:-256}
work=$(mktemp -d "${TMPDIR:-/tmp}/dsc-large.XXXXXX")
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/stores/MY"
openssl genpkey -algorithm SM2 -out "$work/stores/MY/signer.key" 2>/dev/null
openssl req -new -x509 -key "$work/stores/MY/signer.key" -sm3 -sigopt distid:1234567812345678 \
  -subj "/CN=dsc bench large signer/O=dsc_jna_v3 bench" -days 30 \
  -addext "keyUsage=critical,digitalSignature,nonRepudiation" -out "$work/stores/MY/signer.cer" 2>/dev/null
printf 'Windows Registry Editor Version 5.00\r\n\r\n' >"$work/empty.reg"
export DSC_JNA_REGISTRY=$work/empty.reg DSC_JNA_STORES=$work/stores

head -c 1024 /dev/urandom >"$work/small.bin"
head -c $((mib << 20)) /dev/urandom >"$work/large.bin"

# Peak resident set in KiB of one signature of FILE.
peak_kib() {
  /usr/bin/time -v "$build/dsc_jna/dsc-sign" sign "$1" --field CN --value "dsc bench large signer" \
    --out "$1.p7" 2>"$work/time.txt" >/dev/null || { cat "$work/time.txt" >&2; return 1; }
  sed -n 's/^\s*Maximum resident set size (kbytes): //p' "$work/time.txt"
}

small=$(peak_kib "$work/small.bin")
large=$(peak_kib "$work/large.bin")
p7=$(stat -c %s "$work/large.bin.p7")
awk -v small="$small" -v large="$large" -v mib="$mib" -v p7="$p7" 'BEGIN {
  n = mib * 1024; extra = large - small - n; limit = 1.34 * n + 1024
  printf "attached signing of %d MiB with dsc-sign (SM2, software key, Linux):\n", mib
  printf "  peak RSS: %.1f MiB for 1 KiB, %.1f MiB for %d MiB; SignedData %d bytes\n", small / 1024, large / 1024, mib, p7
  printf "  extra beyond the data: %.1f MiB = %.3f x N (goal: at most 1.34 x N + 1 MiB = %.1f MiB): %s\n",
    extra / 1024, extra / n, limit / 1024, extra <= limit ? "met" : "NOT MET"
  exit extra <= limit ? 0 : 1
}'
