#!/usr/bin/env bash
# Checks an SM2 PKCS#7 SignedData with OpenSSL alone, never with our code:
# the signature (SM3 with Z over the identity "1234567812345678") against
# DATA and the signer certificate carried in the SignedData. `openssl cms
# -verify` is no judge here: it leaves Z out and accepts wrong signatures.
#   verify-sm2.sh P7.der DATA [CERT.pem]
# With CERT the carried certificate must be that one. An attached SignedData
# must carry exactly DATA. When SM_CRYPTO names a node_modules folder holding
# npm sm-crypto, that verifier must accept the signature too. Exit 0 when all
# holds.
set -euo pipefail
p7=$1 data=$2 expected=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The DER value of the element parsed on line $1 of the asn1parse listing.
element_value() {
  local off hl len
  read -r off hl len < <(sed -E 's/^ *([0-9]+):d=[0-9]+ +hl= *([0-9]+) +l= *([0-9]+).*/\1 \2 \3/' <<<"$1")
  head -c $((off + hl + len)) "$p7" | tail -c "$len"
}

listing=$(openssl asn1parse -inform DER -in "$p7")
# The signer's encryptedDigest is the last element of the SignedData (no
# unsigned attributes); the attached content is the OCTET STRING right under
# the pkcs7-data content info, empty in a detached SignedData.
element_value "$(grep 'OCTET STRING' <<<"$listing" | tail -n 1)" >"$work/sig"
content_line=$(grep -A2 ':pkcs7-data' <<<"$listing" | grep -v ' l= *0 prim' | grep 'prim: OCTET STRING' || true)
if [ -n "$content_line" ]; then
  element_value "$content_line" >"$work/content"
  cmp -s "$work/content" "$data" || { echo "verify-sm2: the attached content differs from $data" >&2; exit 1; }
fi

openssl pkcs7 -inform DER -in "$p7" -print_certs -out "$work/cert.pem"
if [ -n "$expected" ]; then
  [ "$(openssl x509 -in "$work/cert.pem" -outform DER | od -An -tx1)" = \
    "$(openssl x509 -in "$expected" -outform DER | od -An -tx1)" ] ||
    { echo "verify-sm2: the signer certificate is not $expected" >&2; exit 1; }
fi
openssl x509 -in "$work/cert.pem" -pubkey -noout >"$work/pub.pem"
openssl pkeyutl -verify -rawin -digest sm3 -pkeyopt distid:1234567812345678 \
  -pubin -inkey "$work/pub.pem" -in "$data" -sigfile "$work/sig" >/dev/null ||
  { echo "verify-sm2: the signature does not verify" >&2; exit 1; }
if [ -n "${SM_CRYPTO:-}" ]; then
  openssl pkey -pubin -in "$work/pub.pem" -outform DER -out "$work/pub.der"
  NODE_PATH=$SM_CRYPTO node "$(dirname "$0")/verify-sm2-smcrypto.js" "$work/sig" "$work/pub.der" "$data"
fi
