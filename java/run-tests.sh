#!/usr/bin/env bash
# Builds the JNA binding and its jar, compiles the JUnit tests with javac
# (Debian's libjna-java and junit5, no network) and runs them, through the
# jar, against four soft-token vendors provisioned for this run, under the
# C, a UTF-8, a GBK and a KOI8-R locale. javadoc checks the binding's
# documentation first (every public element described, no broken link).
#   java/run-tests.sh BUILD_DIR    (the Linux build, for example build/linux)
# The jar lands in BUILD_DIR/../java/dsc-jna.jar with every library it finds:
# BUILD_DIR's, and the Windows DLLs of ../win32 and ../win64 when built.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
jars=/usr/share/java
out=$(dirname "$build")/java
classes=$out/classes
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Vendor DIR KEY LABEL SERIAL CN PIN [USER DATA]: one copy of the soft token library.
vendor() {
  mkdir -p "$work/$1"
  cp "$build/softskf/libsoftskf.so" "$work/$1/libsoftskf.so"
  "$build/softskf/tool/softskf-tool" provision --module "$work/$1/libsoftskf.so" --device "$4 device" \
    --label "$3" --serial "$4" ${7:+--user-data "$7"} --user-pin "$6" --app APP --container signer --key "$2" \
    --subject "/CN=$5/O=dsc java tests" --cert-out "$work/$1/signer.pem" >/dev/null
  printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\TARNO_II\\Cryptography\\SKF\\Provider\\java %s]\r\n"SKFImagePath"="%s"\r\n\r\n' \
    "$1" "$work/$1/libsoftskf.so" >>"$work/test.reg"
}
printf 'Windows Registry Editor Version 5.00\r\n\r\n' >"$work/test.reg"
vendor sm2 sm2 JAVA-SM2 JSM2001 "java road SM2" 12345678 "java user data"
vendor rsa rsa JAVA-RSA JRSA002 "java road RSA" 24681357 "java user data"
vendor zh sm2 签名钥匙 JZH003 "签名测试" 12345678
printf '#!/bin/sh\ncat >/dev/null\nexit 1\n' >"$work/cancel-chooser"
chmod +x "$work/cancel-chooser"
mkdir -p "$work/stores"

rm -rf "$classes"
mkdir -p "$classes/main" "$classes/test" "$classes/gen/dscjna" "$work/jar"
# ResultCode.java, Limits.java and Exports.java: written by the build from
# the library's headers (java/CMakeLists.txt).
cp "$build"/java/gen/dscjna/*.java "$classes/gen/dscjna/"
javac -Xlint:all -Werror -encoding UTF-8 -d "$classes/main" -cp "$jars/jna.jar" \
  "$here"/src/dscjna/*.java "$classes/gen/dscjna"/*.java
# The server-side verifier (dscjna.verify) needs BouncyCastle; the binding does not.
bc="$jars/bcprov.jar:$jars/bcpkix.jar:$jars/bcutil.jar"
javac -Xlint:all,-path -Werror -encoding UTF-8 -d "$classes/main" -cp "$classes/main:$bc" "$here"/src/dscjna/verify/*.java
javadoc -quiet -Xdoclint:all -Werror -encoding UTF-8 -d "$work/javadoc" -cp "$jars/jna.jar:$bc" \
  "$here"/src/dscjna/*.java "$here"/src/dscjna/verify/*.java "$classes/gen/dscjna"/*.java >"$work/javadoc.log" 2>&1 ||
  { cat "$work/javadoc.log" >&2; echo "javadoc of the binding failed" >&2; exit 1; }
javac -encoding UTF-8 -d "$classes/test" -cp "$classes/main:$jars/jna.jar:$bc:$jars/junit-jupiter-api.jar:$jars/apiguardian-api.jar:$jars/opentest4j.jar" \
  "$here"/test/dscjna/*.java "$here"/test/dscjna/verify/*.java
"$here/../tests/verify-table/make-table" "$work/verify-table" "$build/dsc_jna/dsc-sign" "$build/softskf/tool/softskf-tool" \
  "$build/softskf/libsoftskf.so"

# The jar: the classes, and the libraries under JNA's platform folders. The
# Linux chooser goes beside its library: the binding unpacks both together.
cp -r "$classes/main/." "$work/jar/"
mkdir -p "$work/jar/linux-x86-64"
cp "$build/dsc_jna/libdsc_jna_v3.so" "$build/dsc_jna/dsc_chooser" "$work/jar/linux-x86-64/"
for pair in win32:win32-x86 win64:win32-x86-64; do
  dll=$(dirname "$build")/${pair%%:*}/dsc_jna/dsc_jna_v3.dll
  [ -f "$dll" ] || continue
  mkdir -p "$work/jar/${pair#*:}"
  cp "$dll" "$work/jar/${pair#*:}/"
done
rm -f "$out/dsc-jna.jar"
jar --create --file "$out/dsc-jna.jar" -C "$work/jar" .
echo "built $out/dsc-jna.jar:" $(cd "$work/jar" && ls -d *-x86* */*.dll 2>/dev/null | grep / || true) linux-x86-64/libdsc_jna_v3.so

# The README's Java example must be the tested one, line for line.
sed -n '/README example begins/,/README example ends/p' "$here/test/dscjna/ReadmeExample.java" | sed '1d;$d' |
  sed 's/^        //' >"$work/example.tested"
awk '/^```java$/ { inside = 1; next } /^```$/ { if (inside) exit } inside' \
  <(sed -n '/^## Using it from Java/,/^## /p' "$here/../README.md") >"$work/example.readme"
diff -u "$work/example.readme" "$work/example.tested" ||
  { echo "README's Java example differs from java/test/dscjna/ReadmeExample.java" >&2; exit 1; }

# And the server-side example, the README's second Java block.
sed -n '/README verify example begins/,/README verify example ends/p' "$here/test/dscjna/verify/ReadmeVerifyExample.java" |
  sed '1d;$d' | sed 's/^        //' >"$work/verify-example.tested"
awk '/^```java$/ { if (++n == 2) { inside = 1; next } } /^```$/ { if (inside) exit } inside' \
  <(sed -n '/^## Using it from Java/,/^## /p' "$here/../README.md") >"$work/verify-example.readme"
diff -u "$work/verify-example.readme" "$work/verify-example.tested" ||
  { echo "README's Java verify example differs from java/test/dscjna/verify/ReadmeVerifyExample.java" >&2; exit 1; }

# Through the jar alone (no jna.library.path), under each locale: the library
# reads the locale's codeset from the same variables the JVM does.
run_classpath="$out/dsc-jna.jar:$classes/test:$jars/jna.jar:$bc"
# ru_RU.koi8r is spelled as `locale -a` lists it: the binding must read that
# spelling as the library does.
for locale in C.UTF-8 zh_CN.GBK ru_RU.koi8r C; do
  echo "=== java under LANG=$locale ==="
  env -u LC_ALL -u LC_CTYPE LANG="$locale" \
    DSC_JNA_REGISTRY="$work/test.reg" DSC_JNA_STORES="$work/stores" DSC_JNA_CHOOSER="$work/cancel-chooser" \
    java -Ddsc.test.tokens="$work" -Ddsc.test.verifiers="$here/../tools/demo" -Ddsc.test.verify-table="$work/verify-table" \
      -Ddsc.test.library="$build/dsc_jna/libdsc_jna_v3.so" \
    -Ddsc.test.classpath="$run_classpath" -Ddsc.test.classes-without-natives="$classes/main:$classes/test:$jars/jna.jar" \
    -jar "$jars/junit-platform-console-standalone.jar" --disable-banner --disable-ansi-colors --details=tree \
    --class-path "$run_classpath" --select-package dscjna
done
