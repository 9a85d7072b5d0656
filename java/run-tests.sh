#!/usr/bin/env bash
# Builds the JNA binding and its JUnit tests with javac (Debian's libjna-java
# and junit5, no network) and runs them against the Linux library of
# BUILD_DIR and three soft-token vendors provisioned for this run.
#   java/run-tests.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
jars=/usr/share/java
classes=$build/java
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Vendor DIR KEY LABEL SERIAL CN: one copy of the soft token library.
vendor() {
  mkdir -p "$work/$1"
  cp "$build/softskf/libsoftskf.so" "$work/$1/libsoftskf.so"
  "$build/softskf/tool/softskf-tool" provision --module "$work/$1/libsoftskf.so" --device "$3 device" \
    --label "$3" --serial "$4" --user-data "java user data" --app APP --container signer --key "$2" \
    --subject "/CN=$5/O=dsc java tests" --cert-out "$work/$1/signer.pem" >/dev/null
  printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\TARNO_II\\Cryptography\\SKF\\Provider\\java %s]\r\n"SKFImagePath"="%s"\r\n\r\n' \
    "$1" "$work/$1/libsoftskf.so" >>"$work/test.reg"
}
printf 'Windows Registry Editor Version 5.00\r\n\r\n' >"$work/test.reg"
vendor sm2 sm2 JAVA-SM2 JSM2001 "java road SM2"
vendor rsa rsa JAVA-RSA JRSA002 "java road RSA"
vendor zh sm2 JAVA-ZH JZH003 "签名测试"
printf '#!/bin/sh\ncat >/dev/null\nexit 1\n' >"$work/cancel-chooser"
chmod +x "$work/cancel-chooser"
mkdir -p "$work/stores"

rm -rf "$classes"
mkdir -p "$classes/main" "$classes/test" "$classes/gen/dscjna"
# ResultCode.java: the template filled with the library's one list of result
# codes, read through the C preprocessor, so Java names what C returns. A
# meaning too long for one line is written as adjacent C literals ("a " "b"),
# which Java does not join: they are joined here.
printf '#include "tcore_result_codes.h"\nDSC_RESULT_CODES(JAVA_ENTRY)\n' |
  cpp -P -I "$here/../tgsp/src/tcore" -D'JAVA_ENTRY(code,name,meaning)=name(code, meaning),' |
  sed -e '/^[[:space:]]*$/d' -e 's/\([^\\]\)" \{1,\}"/\1/g' -e 's/"), /"),\n/g' >"$work/result-codes"
awk -v list="$work/result-codes" '/@RESULT_CODES@/ { while ((getline line < list) > 0) print "    " line; next } { print }' \
  "$here/src/dscjna/ResultCode.java.in" >"$classes/gen/dscjna/ResultCode.java"
javac -encoding UTF-8 -d "$classes/main" -cp "$jars/jna.jar" "$here"/src/dscjna/*.java "$classes/gen/dscjna/ResultCode.java"
javac -encoding UTF-8 -d "$classes/test" -cp "$classes/main:$jars/jna.jar:$jars/junit-jupiter-api.jar:$jars/apiguardian-api.jar:$jars/opentest4j.jar" \
  "$here"/test/dscjna/*.java

# The library reads the locale's codeset and the JVM its native encoding from
# the same LANG, so both sides agree on UTF-8 here.
env -u LC_ALL LANG=C.UTF-8 LC_CTYPE=C.UTF-8 \
  DSC_JNA_REGISTRY="$work/test.reg" DSC_JNA_STORES="$work/stores" DSC_JNA_CHOOSER="$work/cancel-chooser" \
  java -Djna.library.path="$build/dsc_jna" -Ddsc.test.tokens="$work" -Ddsc.test.verifiers="$here/../tools/demo" \
  -jar "$jars/junit-platform-console-standalone.jar" --disable-banner --disable-ansi-colors --details=tree \
  --class-path "$classes/main:$classes/test:$jars/jna.jar" --select-package dscjna
