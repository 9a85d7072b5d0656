# Shared by the benchmarks under Wine (sourced, not run): one soft token with
# an SM2 key, provisioned through the Linux tool, and a 64-bit Wine prefix.

# wine_work NAME: a scratch folder $work with the prefix's place in it
# (WINEPREFIX), both thrown away when the script exits.
wine_work() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
  export WINEPREFIX=$work/pfx WINEDEBUG=-all
  trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
}

# The host path as a Wine program sees it: drive Z: is the host's root.
winpath() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }

# provision_token LINUX_BUILD DIR SERIAL: a token state in DIR/libsoftskf.so.json
# whose SM2 certificate the key serial SERIAL selects (user PIN 12345678).
provision_token() {
  local linux=$1 dir=$2 serial=$3
  mkdir -p "$dir"
  cp "$linux/softskf/libsoftskf.so" "$dir/"
  "$linux/softskf/tool/softskf-tool" provision --module "$dir/libsoftskf.so" --device "Bench Key" \
    --label BENCH-TOKEN --serial "$serial" --app BENCHAPP --container signer --key sm2 \
    --subject "/CN=dsc bench signer/O=dsc_jna_v3 bench" --user-pin 12345678 >/dev/null
}

# place_token WIN_BUILD TOKEN_DIR DIR: that build's softskf.dll in DIR, with the
# token's state beside it (the module reads the file named after itself).
place_token() {
  mkdir -p "$3"
  cp "$1/softskf/softskf.dll" "$3/"
  cp "$2/libsoftskf.so.json" "$3/softskf.dll.json"
}

# register_token DLL BITS: the token library under the SKF provider key of
# the 32- or 64-bit registry view.
register_token() {
  /usr/lib/wine/wine64 reg add 'HKLM\SOFTWARE\TARNO_II\Cryptography\SKF\Provider\bench' /v SKFImagePath \
    /d "$(winpath "$1")" "/reg:$2" /f >/dev/null 2>&1
}

new_prefix() { WINEARCH=win64 /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1; }
