#!/usr/bin/env bash
# The demo behind `./run demo`: two soft-token vendors (one SM2, one RSA
# certificate) registered in a .reg file, a sample file signed attached and
# detached with dsc-sign, every signature checked by `dsc-sign verify` and
# again by OpenSSL on its own (and npm sm-crypto for SM2).
#   demo.sh BUILD_DIR DEMO_DIR
# DEMO_DIR keeps the tokens and is reused on the next run; delete it to start
# over with fresh keys and certificates.
set -euo pipefail
build=$(cd "$1" && pwd)
mkdir -p "$2"
demo=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)

sign_tool=$build/dsc_jna/dsc-sign
token_tool=$build/softskf/tool/softskf-tool
module=$build/softskf/libsoftskf.so
pin=12345678

# Vendor NAME KEY SERIAL: a copy of the soft token library is one vendor; its
# token lives in the .json beside the copy, so the copy is refreshed from the
# build every run while the token stays.
vendor() {
  local name=$1 key=$2 serial=$3 dir=$demo/tokens/$1
  mkdir -p "$dir"
  cp "$module" "$dir/libsoftskf.so"
  if [ ! -f "$dir/libsoftskf.so.json" ] || [ ! -f "$dir/signer.pem" ]; then
    rm -rf "$dir/libsoftskf.so.json" "$dir/libsoftskf.so.ca"
    "$token_tool" provision --module "$dir/libsoftskf.so" --device "Demo ${key^^} Key" \
      --label "DEMO-${key^^}" --serial "$serial" --app DEMOAPP --container signer --key "$key" \
      --subject "/CN=dsc demo ${key^^} signer/O=dsc_jna_v3 demo" --user-pin "$pin" \
      --cert-out "$dir/signer.pem" >/dev/null
    echo "created token DEMO-${key^^} (serial $serial) with a fresh ${key^^} key and certificate in $dir"
  else
    echo "reusing token DEMO-${key^^} (serial $serial) in $dir"
  fi
}

# .reg string values escape backslashes and quotes.
reg_string() { local s=${1//\\/\\\\}; printf '"%s"' "${s//\"/\\\"}"; }

vendor sm2 sm2 DEMOSM2001
vendor rsa rsa DEMORSA002
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n'
  for v in sm2 rsa; do
    printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\TARNO_II\\Cryptography\\SKF\\Provider\\dsc demo %s]\r\n' "${v^^}"
    printf '"SKFImagePath"=%s\r\n\r\n' "$(reg_string "$demo/tokens/$v/libsoftskf.so")"
  done
} >"$demo/demo.reg"

# Only the demo's registry and an empty store directory: certificates the
# user has installed must not join the selection.
export DSC_JNA_REGISTRY=$demo/demo.reg
export DSC_JNA_STORES=$demo/stores
mkdir -p "$demo/stores" "$demo/out"
sample=$demo/sample.txt
[ -f "$sample" ] || printf 'dsc_jna_v3 demo: a sample document to sign.\n' >"$sample"

echo "registry: $DSC_JNA_REGISTRY; tokens present: $("$sign_tool" devices --sep ', ')"

# npm sm-crypto is the second SM2 verifier, kept in the build tree; without
# npm the SM2 signatures are judged by OpenSSL alone.
sm2_judges=OpenSSL
if command -v npm >/dev/null && [ ! -d "$build/npm/node_modules/sm-crypto" ]; then
  npm install --prefix "$build/npm" --no-audit --no-fund --silent sm-crypto >/dev/null 2>&1 || true
fi
if command -v node >/dev/null && [ -d "$build/npm/node_modules/sm-crypto" ]; then
  export SM_CRYPTO=$build/npm/node_modules
  sm2_judges="OpenSSL and npm sm-crypto"
else
  echo "note: npm sm-crypto is not available; SM2 signatures are checked by OpenSSL only"
fi

# The PIN reaches dsc-sign through the environment, never its command line.
export DEMO_PIN=$pin

# sign KEY MODE SELECTION...: sign the sample, verify with dsc-sign verify,
# then again with the independent verifiers.
sign() {
  local key=$1 mode=$2
  shift 2
  local out=$demo/out/sample.$key-$mode.p7 flag=() content=()
  [ "$mode" = detached ] && flag=(--detached) && content=(--content "$sample")
  "$sign_tool" --log "$demo/out/dsc-sign.log" sign "$sample" "${flag[@]}" --pin-env DEMO_PIN --out "$out" "$@" 2>&1 |
    sed -n 's/^signed .* with /  signer: /p'
  "$sign_tool" verify "$out" "${content[@]}" | sed -n 's/^algorithm: /  algorithm: /p'
  "$here/verify-$key.sh" "$out" "$sample" "$demo/tokens/$key/signer.pem"
  local judges=OpenSSL
  [ "$key" = sm2 ] && judges=$sm2_judges
  echo "  $mode signature on token DEMO-${key^^}: $out, verified by dsc-sign verify, then by $judges"
}

echo "SM2 (selected by subject CN, SM3 with signer identity 1234567812345678):"
sign sm2 attached --field CN --value "dsc demo SM2 signer"
sign sm2 detached --field CN --value "dsc demo SM2 signer"
echo "RSA (selected by token serial number DEMORSA002, SHA-1):"
sign rsa attached --key-sn DEMORSA002
sign rsa detached --key-sn DEMORSA002
echo "demo done: 4 signatures made by dsc-sign through libdsc_jna_v3.so and verified; log in $demo/out/dsc-sign.log"
