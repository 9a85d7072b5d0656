#!/usr/bin/env bash
# Peak memory and time of one library call whose registry file holds a value
# far over the 1 MiB limit: `dsc-sign devices` under /usr/bin/time -v (the
# peak is the child's ru_maxrss), against the same call over a file without
# it. The value is refused while the file is read, so the peak must not grow
# with the value's size (goal: under 64 MiB for a 200 MB value); the refusal
# must be in the call's log.
#   bench/regfile-peak.sh BUILD_DIR [MB...]   (default 10 200)
set -euo pipefail
build=$(cd "$1" && pwd)
shift
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10 200)
work=$(mktemp -d "${TMPDIR:-/tmp}/dsc-regfile.XXXXXX")
trap 'rm -rf "$work"' EXIT

# registry FILE MB: a provider key with a small value, a value of MB
# megabytes (10^6 characters) on one line, and a value behind it.
registry() {
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\TARNO_II\\Bench]\r\n"Small"="ok"\r\n"Big"="'
    head -c $(($2 * 1000000)) /dev/zero | tr '\0' x
    printf '"\r\n"After"="ok"\r\n'
  } >"$1"
}

# measure FILE: "PEAK_KIB SECONDS LOGGED" of one call over FILE.
measure() {
  rm -f "$work/call.log"
  DSC_JNA_REGISTRY=$1 /usr/bin/time -v "$build/dsc_jna/dsc-sign" --log "$work/call.log" devices \
    >/dev/null 2>"$work/time.txt" || true
  local peak wall logged=no
  peak=$(sed -n 's/^\s*Maximum resident set size (kbytes): //p' "$work/time.txt")
  wall=$(sed -n 's/^\s*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time.txt")
  grep -q 'too long, refused' "$work/call.log" 2>/dev/null && logged=yes
  echo "$peak $wall $logged"
}

registry "$work/none.reg" 0
read -r base base_wall _ < <(measure "$work/none.reg")
echo "| value | file | peak RSS | over the call without it | time | refusal in the log |"
echo "|---|---|---|---|---|---|"
echo "| none | $(($(stat -c %s "$work/none.reg") / 1024)) KiB | $((base / 1024)) MiB | - | $base_wall | - |"
for mb in "${sizes[@]}"; do
  registry "$work/big.reg" "$mb"
  read -r peak wall logged < <(measure "$work/big.reg")
  echo "| $mb MB | $(($(stat -c %s "$work/big.reg") / 1048576)) MiB | $((peak / 1024)) MiB | $(((peak - base) / 1024)) MiB | $wall | $logged |"
  rm -f "$work/big.reg"
done
