#!/bin/sh
# softskf-tool end to end: one command line provisions an SM2 token and one
# an RSA token; signatures the token makes over a file verify with OpenSSL
# against the certificates the tool issued; imported PEM keys sign too; the
# exit statuses tell scripts what went wrong.
#   tool-provisions.sh TOOL MODULE
set -u
tool=$1 module=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
ok() { echo "ok: $1"; }
bad() { echo "FAILED: $1"; fail=1; }
expect_status() {  # status description command...
  want=$1 what=$2
  shift 2
  "$@" >"$work/out" 2>&1
  got=$?
  if [ "$got" = "$want" ]; then ok "$what"; else bad "$what (status $got, wanted $want)"; cat "$work/out"; fi
}

cp "$module" "$work/libsoftskf.so"
m="$work/libsoftskf.so"
printf 'a document to sign\n' >"$work/doc.txt"
printf 'a document to sign!\n' >"$work/changed.txt"

expect_status 0 "provision an SM2 token in one command" \
  "$tool" provision --module "$m" --device "SM2 Token" --app SIGN --container sm2 --key sm2 \
  --subject "/CN=Test User SM2/O=softskf" --user-pin 11223344 --serial SN-SM2 --user-data "key data" \
  --cert-out "$work/sm2.pem"
expect_status 0 "provision an RSA token in one command" \
  "$tool" provision --module "$m" --device "RSA Token" --app SIGN --container rsa --key rsa --bits 2048 \
  --subject "/CN=Test User RSA/O=softskf" --cert-out "$work/rsa.pem"

expect_status 0 "SM2 certificate verifies against the test CA" \
  openssl verify -vfyopt distid:1234567812345678 -CAfile "$m.ca/sm2-ca.crt" "$work/sm2.pem"
expect_status 0 "RSA certificate verifies against the test CA" \
  openssl verify -CAfile "$m.ca/rsa-ca.crt" "$work/rsa.pem"
if openssl x509 -in "$work/sm2.pem" -noout -text | grep -q "Signature Algorithm: SM2-with-SM3"; then
  ok "SM2 certificate is signed with SM2-with-SM3"
else bad "SM2 certificate signature algorithm"; fi

expect_status 0 "sign with the SM2 token" \
  "$tool" sign --module "$m" --device "SM2 Token" --app SIGN --container sm2 --user-pin 11223344 \
  --in "$work/doc.txt" --out "$work/doc.sm2"
sm2_verify() {
  openssl pkeyutl -verify -certin -inkey "$work/sm2.pem" -rawin -digest sm3 \
    -pkeyopt distid:1234567812345678 -in "$1" -sigfile "$2"
}
expect_status 0 "OpenSSL accepts the token's SM2 signature" sm2_verify "$work/doc.txt" "$work/doc.sm2"
expect_status 1 "OpenSSL refuses it for a changed document" sm2_verify "$work/changed.txt" "$work/doc.sm2"

expect_status 0 "sign with the RSA token" \
  "$tool" sign --module "$m" --device "RSA Token" --app SIGN --container rsa \
  --in "$work/doc.txt" --out "$work/doc.rsa"
openssl x509 -in "$work/rsa.pem" -pubkey -noout >"$work/rsa.pub"
expect_status 0 "OpenSSL accepts the token's RSA SHA-1 signature" \
  openssl dgst -sha1 -verify "$work/rsa.pub" -signature "$work/doc.rsa" "$work/doc.txt"

# Existing PEM key and certificate, imported.
openssl genpkey -algorithm SM2 -out "$work/imported.key" 2>/dev/null
openssl req -new -x509 -key "$work/imported.key" -sm3 -sigopt distid:1234567812345678 \
  -subj "/CN=Imported SM2" -days 30 -out "$work/imported.pem" 2>/dev/null
expect_status 0 "import a PEM key and certificate" \
  "$tool" import --module "$m" --device "SM2 Token" --app SIGN --container imported \
  --key "$work/imported.key" --cert "$work/imported.pem"
expect_status 0 "sign with the imported key" \
  "$tool" sign --module "$m" --device "SM2 Token" --app SIGN --container imported --user-pin 11223344 \
  --in "$work/doc.txt" --out "$work/doc.imported"
expect_status 0 "OpenSSL accepts the imported key's signature" \
  openssl pkeyutl -verify -certin -inkey "$work/imported.pem" -rawin -digest sm3 \
  -pkeyopt distid:1234567812345678 -in "$work/doc.txt" -sigfile "$work/doc.imported"
expect_status 0 "export the imported certificate" \
  "$tool" export-cert --module "$m" --device "SM2 Token" --app SIGN --container imported --out "$work/out.pem"
if cmp -s "$work/out.pem" "$work/imported.pem"; then ok "exported certificate is the imported one"
else bad "exported certificate differs"; fi

"$tool" list --module "$m" >"$work/list"
for text in 'device "SM2 Token"' 'serial "SN-SM2"' 'user data "key data"' 'container "sm2": SM2' \
  'container "rsa": RSA' 'CN = Test User SM2' 'CN = Imported SM2'; do
  if grep -qF "$text" "$work/list"; then ok "list shows $text"; else bad "list lacks $text"; cat "$work/list"; fi
done

# What scripts get back when things go wrong.
expect_status 2 "unknown command" "$tool" frobnicate
expect_status 2 "missing required option" "$tool" add-app --module "$m" --device "SM2 Token"
expect_status 2 "unknown option" "$tool" list --module "$m" --colour
expect_status 0 "help for a command" "$tool" provision --help
expect_status 1 "wrong user PIN" \
  "$tool" sign --module "$m" --device "SM2 Token" --app SIGN --container sm2 --user-pin 99999999 \
  --in "$work/doc.txt" --out "$work/x"
grep -q "tries left" "$work/out" && ok "wrong PIN message tells the tries left" || bad "wrong PIN message"
expect_status 1 "a container that exists already" \
  "$tool" add-container --module "$m" --device "SM2 Token" --app SIGN --container sm2 --user-pin 11223344
expect_status 0 "inject a fault" "$tool" fault-add --module "$m" --call SKF_ECCSignData --code 0x0A00000E \
  --container sm2
expect_status 1 "the injected fault reaches the signature" \
  "$tool" sign --module "$m" --device "SM2 Token" --app SIGN --container sm2 --user-pin 11223344 \
  --in "$work/doc.txt" --out "$work/x"
grep -q "0x0A00000E" "$work/out" && ok "the fault's code is reported" || bad "fault code not reported"
exit $fail
