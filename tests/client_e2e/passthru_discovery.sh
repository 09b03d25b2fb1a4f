#!/bin/sh
# Discovery as Linux J2534 applications do it, under a scratch HOME: 'vexo register' writes
# ~/.passthru/vexo-j2534.json, and a client that reads the folder loads FUNCTION_LIB with 32-bit
# types and reads the VIN from the simulated car; 'vexo unregister' removes the file. Neither
# touches a file it did not write.
# usage: passthru_discovery.sh VEXO PYTHON CLIENT_SCRIPT FIXED32_LIBRARY WORK_DIR
set -eu
vexo=$1 python=$2 client=$3 library=$4 dir=$5
rm -rf "$dir"
mkdir -p "$dir/.passthru"
export HOME="$dir"
file=$dir/.passthru/vexo-j2534.json
fail() { echo "FAIL: $*"; exit 1; }

# Another program's files: the one of the same name blocks both commands, the other is never touched.
printf '{"NAME": "someone else"}\n' >"$file"
printf '{"NAME": "other", "ISO15765": false}\n' >"$dir/.passthru/other.json"
"$vexo" register 2>"$dir/err" && fail "register overwrote a foreign file"
grep -qx "vexo: $file was not written by vexo: it is left as it is" "$dir/err" || fail "register: $(cat "$dir/err")"
"$vexo" unregister 2>/dev/null && fail "unregister removed a foreign file"
[ "$(cat "$file")" = '{"NAME": "someone else"}' ] || fail "the foreign file changed"
rm "$file"

"$vexo" register >/dev/null
grep -qx "  \"FUNCTION_LIB\": \"$(realpath "$library")\"," "$file" || fail "FUNCTION_LIB: $(cat "$file")"
vin=$(VEXO_SIM_CABLES=1 "$python" "$client" --passthru) || fail "the client found no library: $vin"
[ "$vin" = 1VXDM5SM8N0004217 ] || fail "the client read '$vin'"
"$vexo" register >/dev/null || fail "register did not rewrite its own file"
"$vexo" unregister >/dev/null
[ ! -e "$file" ] || fail "unregister left $file"
[ -e "$dir/.passthru/other.json" ] || fail "another program's file went"
echo "ok"
