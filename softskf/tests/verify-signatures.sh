#!/bin/sh
# Checks the token's signatures written by the suite (softskf-oracle/) with
# the OpenSSL command line, and that a changed message is refused.
#   verify-signatures.sh DIR
set -u
dir=$1
fail=0
check() {  # expect(ok|bad) description command...
  expect=$1 what=$2
  shift 2
  if "$@" >/dev/null 2>&1; then got=ok; else got=bad; fi
  if [ "$got" = "$expect" ]; then echo "ok: $what"; else echo "FAILED: $what (expected $expect)"; fail=1; fi
}
sm2() {
  openssl pkeyutl -verify -pubin -keyform DER -inkey "$dir/sm2.pub.der" -rawin -digest sm3 \
    -pkeyopt distid:1234567812345678 -in "$1" -sigfile "$dir/sm2.sig.der"
}
rsa() {
  openssl dgst -sha1 -keyform DER -verify "$dir/rsa.pub.der" -signature "$dir/rsa.sig" "$1"
}
for f in message.bin sm2.pub.der sm2.sig.der rsa.pub.der rsa.sig; do
  [ -s "$dir/$f" ] || { echo "FAILED: $dir/$f missing"; exit 1; }
done
changed=$(mktemp)
trap 'rm -f "$changed"' EXIT
{ cat "$dir/message.bin"; printf x; } >"$changed"
check ok "SM2 signature (SM3 with Z, default identity)" sm2 "$dir/message.bin"
check bad "SM2 signature over a changed message" sm2 "$changed"
check ok "RSA PKCS#1 v1.5 SHA-1 signature" rsa "$dir/message.bin"
check bad "RSA signature over a changed message" rsa "$changed"
exit $fail
