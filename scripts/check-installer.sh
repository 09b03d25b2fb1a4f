#!/usr/bin/env bash
# The installer's round trip under 64-bit Wine: a silent install (/S), its files, the discovery key
# in both registry views (each naming its own DLL) and the Add/Remove Programs entry, whose name says
# "test build" exactly when the installer's does; the installed x64 vexo.exe, against the simulated
# car when the test build ships the simulated cable as its libusb-1.0.dll; then a silent uninstall
# that must leave none of it behind.
# usage: check-installer.sh SETUP_EXE VERSION
# Uses WINEPREFIX if set (a 64-bit prefix), else makes a fresh one and removes it afterwards.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SETUP=$(cd "$(dirname "${1:?usage: check-installer.sh SETUP_EXE VERSION}")" && pwd)/$(basename "$1")
VERSION=${2:?usage: check-installer.sh SETUP_EXE VERSION}
WINE=/usr/lib/wine/wine64
export WINEARCH=win64 WINELOADER=$WINE WINESERVER=/usr/lib/wine/wineserver64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" LANG=C.UTF-8 LC_ALL=C.UTF-8
export HOME=${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}
unset DISPLAY WAYLAND_DISPLAY
OWN_PREFIX=""
if [ -z "${WINEPREFIX:-}" ]; then
    OWN_PREFIX=$(mktemp -d)
    export WINEPREFIX=$OWN_PREFIX
fi
cleanup() {
    "$WINESERVER" -k 2>/dev/null || true
    [ -z "$OWN_PREFIX" ] || rm -rf "$OWN_PREFIX"
}
trap cleanup EXIT
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    timeout 600 "$WINE" wineboot -i </dev/null >/dev/null 2>&1 || { echo "wineboot failed" >&2; exit 1; }
fi

FAILURES=0
fail() { printf '  FAIL: %s\n' "$*" >&2; FAILURES=$((FAILURES + 1)); }
ok() { printf '  ok: %s\n' "$*"; }
wine_run() { timeout 300 "$WINE" "$@" </dev/null 2>&1 | tr -d '\r'; }
settle() { timeout 300 "$WINESERVER" -w; }

KEY='HKLM\SOFTWARE\PassThruSupport.04.04\vexo - Tactrix Openport 2.0'
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\vexo-j2534'
WIN_DIR='C:\Program Files\vexo-j2534'
DIR=$WINEPREFIX/drive_c/Program\ Files/vexo-j2534
FILES="INSTALL.txt LICENSE-libusb.txt LICENSE.txt uninstall.exe win32/libusb-1.0.dll win32/vexo.exe
win32/vexo_j2534_0404.dll x64/libusb-1.0.dll x64/vexo.exe x64/vexo_j2534_0404.dll"

values() {  # key view: "name|type|data" lines, sorted; fails if the key is absent
    local out
    out=$(wine_run reg query "$1" /reg:"$2") || return 1
    grep -q 'REG_' <<<"$out" || return 1
    sed -n 's/^    \([^ ].*\)    \(REG_[A-Z_]*\)    \(.*\)$/\1|\2|\3/p; s/^    \([^ ].*\)    \(REG_[A-Z_]*\)$/\1|\2|/p' <<<"$out" |
        LC_ALL=C sort
}
expected_key() {  # arch: the values DllRegisterServer writes for that DLL
    printf '%s\n' "Name|REG_SZ|Tactrix Openport 2.0 (vexo)" "Vendor|REG_SZ|vexo" \
        "FunctionLibrary|REG_SZ|$WIN_DIR\\$1\\vexo_j2534_0404.dll" "ConfigApplication|REG_SZ|" \
        "CAN|REG_DWORD|0x1" "ISO15765|REG_DWORD|0x1" "ISO9141|REG_DWORD|0x1" "ISO14230|REG_DWORD|0x1" \
        "J1850VPW|REG_DWORD|0x0" "J1850PWM|REG_DWORD|0x0" "SCI_A_ENGINE|REG_DWORD|0x0" "SCI_A_TRANS|REG_DWORD|0x0" \
        "SCI_B_ENGINE|REG_DWORD|0x0" "SCI_B_TRANS|REG_DWORD|0x0" | LC_ALL=C sort
}

printf '\n== %s under wine64\n' "$(basename "$SETUP")"
if values "$KEY" 64 >/dev/null || values "$KEY" 32 >/dev/null || [ -e "$DIR" ]; then
    fail "the prefix holds vexo-j2534 already"; exit 1
fi
wine_run "$SETUP" /S >/dev/null || true
settle
have=$(cd "$DIR" 2>/dev/null && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[ "$have" = "$(tr ' ' '\n' <<<"$FILES" | sed '/^$/d' | LC_ALL=C sort)" ] && ok "installed exactly: $(echo $FILES)" ||
    fail "installed files: $(echo $have)"
for pair in x64:64 win32:32; do
    arch=${pair%:*} view=${pair#*:}
    got=$(values "$KEY" "$view" || true)
    [ "$got" = "$(expected_key "$arch")" ] && ok "$view-bit view: the key DllRegisterServer writes, naming $arch\\vexo_j2534_0404.dll" ||
        { fail "$view-bit view holds:"; echo "$got" >&2; }
done
got=$(values "$UNINSTALL_KEY" 64 || true)
grep -qxF "UninstallString|REG_SZ|\"$WIN_DIR\\uninstall.exe\"" <<<"$got" && grep -qxF "DisplayVersion|REG_SZ|$VERSION" <<<"$got" &&
    ok "Add/Remove Programs entry, version $VERSION" || fail "uninstall entry: $got"
display=$(sed -n 's/^DisplayName|REG_SZ|//p' <<<"$got")
case $(basename "$SETUP") in
    *-test-setup.exe) [ "$display" = "vexo-j2534 $VERSION (test build: simulated cable)" ] ;;
    *) [ "$display" = "vexo-j2534 $VERSION" ] ;;
esac && ok "listed as '$display'" || fail "listed as '$display' by $(basename "$SETUP")"

if strings -n 6 "$DIR/x64/libusb-1.0.dll" 2>/dev/null | grep -x vexo_sim_attach_cables >/dev/null; then
    out=$(cd "$DIR/x64" && wine_run vexo.exe --sim info || true)
    grep -qx "dll:      $VERSION" <<<"$out" && grep -qx 'firmware: Openport 2.0 sim 1.17.4877' <<<"$out" &&
        ok "installed x64\\vexo.exe --sim info (test build): dll $VERSION" || fail "installed vexo.exe --sim info: $out"
else
    out=$(cd "$DIR/x64" && wine_run vexo.exe --json info || true)
    grep -q ERR_DEVICE_NOT_CONNECTED <<<"$out" && ok "installed x64\\vexo.exe reaches USB through its libusb-1.0.dll" ||
        fail "installed vexo.exe info: $out"
fi

# The uninstaller copies itself to %TEMP% and runs from there; wineserver -w waits for it.
wine_run "$DIR/uninstall.exe" /S >/dev/null || true
settle
[ ! -e "$DIR" ] && ok "uninstalled: $WIN_DIR is gone" || fail "left behind: $(cd "$DIR" && find . | tr '\n' ' ')"
for view in 64 32; do
    values "$KEY" "$view" >/dev/null && fail "the key is left in the $view-bit view" || ok "the key is gone from the $view-bit view"
done
values "$UNINSTALL_KEY" 64 >/dev/null && fail "the Add/Remove Programs entry is left" || ok "the Add/Remove Programs entry is gone"

if [ "$FAILURES" -ne 0 ]; then
    printf '\ncheck-installer.sh: %d check(s) FAILED\n' "$FAILURES" >&2
    exit 1
fi
printf '\ncheck-installer.sh: installs, registers in both views, runs and uninstalls cleanly\n'
