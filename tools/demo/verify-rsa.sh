#!/usr/bin/env bash
# Checks an RSA PKCS#7 SignedData with the OpenSSL CMS verifier (signature
# only; the demo's test CA is not a trust anchor).
#   verify-rsa.sh P7.der DATA [CERT.pem]
# A detached SignedData (its content an empty OCTET STRING) is checked
# against DATA; an attached one must carry
# exactly DATA. With CERT the signer certificate must be that one.
set -euo pipefail
p7=$1 data=$2 expected=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

listing=$(openssl asn1parse -inform DER -in "$p7")
if grep -A2 ':pkcs7-data' <<<"$listing" | grep -v ' l= *0 prim' | grep 'prim: OCTET STRING' >/dev/null; then
  openssl cms -verify -inform DER -noverify -binary -in "$p7" -out "$work/content" 2>"$work/err" ||
    { cat "$work/err" >&2; exit 1; }
  cmp -s "$work/content" "$data" || { echo "verify-rsa: the attached content differs from $data" >&2; exit 1; }
else
  openssl cms -verify -inform DER -noverify -binary -in "$p7" -content "$data" -out /dev/null 2>"$work/err" ||
    { cat "$work/err" >&2; exit 1; }
fi
if [ -n "$expected" ]; then
  openssl pkcs7 -inform DER -in "$p7" -print_certs -out "$work/cert.pem"
  [ "$(openssl x509 -in "$work/cert.pem" -outform DER | od -An -tx1)" = \
    "$(openssl x509 -in "$expected" -outform DER | od -An -tx1)" ] ||
    { echo "verify-rsa: the signer certificate is not $expected" >&2; exit 1; }
fi
