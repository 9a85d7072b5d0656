#!/bin/sh
# The token module shows exactly the functions of its .def file (the SKF
# functions and the call-statistics pair), undecorated; the DLL imports
# nothing but Windows system DLLs.
#   check-exports.sh linux|win32|win64 MODULE DEF
set -u
kind=$1 module=$2 def=$3
expected=$(sed -n '/^EXPORTS/,$s/^[[:space:]]\{1,\}\([A-Za-z_][A-Za-z0-9_]*\).*/\1/p' "$def" | sort)
fail=0
case $kind in
linux) actual=$(nm -D --defined-only "$module" | awk '{print $3}' | sort) ;;
win32|win64)
  if [ "$kind" = win64 ]; then arch=x86_64 format=pei-x86-64; else arch=i686 format=pei-i386; fi
  dump=$(${arch}-w64-mingw32-objdump -p "$module")
  printf '%s\n' "$dump" | grep -q "file format $format\$" || { echo "not a $format module"; fail=1; }
  actual=$(printf '%s\n' "$dump" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*\([^[:space:]]*\).*/\1/p' | sort)
  for dll in $(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'a-z' 'A-Z' | sort -u); do
    case $dll in
      KERNEL32.DLL|ADVAPI32.DLL|USER32.DLL|MSVCRT.DLL|WS2_32.DLL) ;;
      *) echo "not a system DLL: $dll"; fail=1 ;;
    esac
  done
  ;;
*) echo "usage: check-exports.sh linux|win32|win64 MODULE DEF" >&2; exit 2 ;;
esac
if [ "$actual" != "$expected" ]; then
  echo "exports: $(echo $actual)"
  echo "expected: $(echo $expected)"
  fail=1
fi
[ $fail = 0 ] && echo "exports: $(echo "$actual" | wc -l) functions"
exit $fail
