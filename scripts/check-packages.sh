#!/usr/bin/env bash
# Checks the Windows zips: cpack's one per architecture, or the release zip that holds both
# (scripts/combine-windows-zips.sh). Unpacks each into a temporary
# directory and verifies its members, each binary's machine type, exports and imports, its version
# resource, and the install text. A test build ships the simulated cable as libusb-1.0.dll: its zip
# must say "test" in its name and texts, and a zip that does not must ship a libusb. Where Wine is
# installed, each vexo.exe also runs from the unpacked zip: through the shipped libusb-1.0.dll it
# must get as far as finding no cable (in a test build, 'vexo.exe --sim' must find the simulated car
# beside it). x64 under 64-bit Wine, win32 where the host can execute i386 code (NO_WINE=1 skips
# both). The Linux packages are checked by check-linux-packages.sh.
# usage: check-packages.sh ZIP...   (vexo-j2534-<version>[-test]-windows.zip, -windows-win32.zip, -windows-x64.zip)
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
[ $# -gt 0 ] || { echo "usage: check-packages.sh ZIP..." >&2; exit 2; }

# The exports, from their one list, and the two regsvr32 calls; the DLL exports nothing else.
EXPORTS=$(bash "$ROOT/scripts/export-names.sh")
REGISTRATION=$(echo $(bash "$ROOT/scripts/export-names.sh" registration))
# Imports a shipped Windows binary may have: Windows' own system libraries only.
SYSTEM_DLLS="kernel32.dll msvcrt.dll ntdll.dll advapi32.dll user32.dll setupapi.dll cfgmgr32.dll
ole32.dll shell32.dll winusb.dll ws2_32.dll"
# The core of libusb the library cannot do without, whatever else it binds.
LIBUSB_FUNCTIONS="libusb_init libusb_exit libusb_get_device_list libusb_free_device_list
libusb_open_device_with_vid_pid libusb_close libusb_claim_interface libusb_release_interface
libusb_bulk_transfer libusb_error_name"

FAILURES=0
fail() {
    printf '  FAIL: %s\n' "$*" >&2
    FAILURES=$((FAILURES + 1))
}
ok() { printf '  ok: %s\n' "$*"; }
sorted_words() { tr -s ' \n\t' '\n\n\n' | sed '/^$/d' | sort -u; }
missing_from() {  # wanted-words have-words: prints the wanted words not in have, the first ten of them
    local words
    words=$(comm -23 <(echo "$1" | sorted_words) <(echo "$2" | sorted_words))
    [ -n "$words" ] || return 0
    echo "$words" | head -n 10 | tr '\n' ' '
    [ "$(echo "$words" | wc -l)" -le 10 ] || printf '(and %d more)' $(($(echo "$words" | wc -l) - 10))
}

WORK=$(mktemp -d)
WINE_STARTED=0
cleanup() {
    if [ "$WINE_STARTED" = 1 ]; then WINEPREFIX=$WORK/wineprefix /usr/lib/wine/wineserver64 -k 2>/dev/null || true; fi
    rm -rf "$WORK"
}
trap cleanup EXIT

# Every file member of an unpacked package, relative to its top folder, must be expected; every
# expected one must be there.
check_members() {  # dir expected-members...
    local dir=$1
    shift
    local have expected missing extra
    have=$(cd "$dir" && find . -type f | sed 's|^\./||' | sort)
    expected=$(printf '%s\n' "$@" | sort)
    missing=$(comm -23 <(echo "$expected") <(echo "$have") | tr '\n' ' ')
    extra=$(comm -13 <(echo "$expected") <(echo "$have") | tr '\n' ' ')
    [ -z "$missing" ] && ok "all $# members present" || fail "missing members: $missing"
    [ -z "$extra" ] || fail "unexpected members: $extra"
}

only_top_folder() {  # dir expected-top-folder
    local tops
    tops=$(ls -A "$1")
    [ "$tops" = "$2" ] && ok "one top folder, $2/" || fail "top level holds '$(echo $tops)', wanted only $2/"
}

contains() {  # file text what
    grep -qF -- "$2" "$1" && ok "$3" || fail "$3: '$2' not in $(basename "$1")"
}

# ---------------------------------------------------------------------------------------------
pe_exports() {  # objdump-p-output
    echo "$1" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p'
}
pe_imports() {
    echo "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '[:upper:]' '[:lower:]' | sort -u
}
check_pe() {  # file kind(dll|exe) arch(win32|x64): a PE image of that machine and kind, importing system DLLs only
    local file=$1 kind=$2 arch=$3 name dump flags imports bad="" d format
    name="$arch/$(basename "$file")"
    format=pei-i386
    [ "$arch" = win32 ] || format=pei-x86-64
    dump=$(x86_64-w64-mingw32-objdump -p "$file" 2>&1) || { fail "$name: not a PE image"; return 1; }
    PE_DUMP=$dump
    if grep -q "file format $format" <<<"$dump"; then ok "$name: $format image"; else fail "$name: not $format"; fi
    flags=$(echo "$dump" | sed -n '/^Characteristics/,/^$/p')
    if [ "$kind" = dll ]; then
        grep -qw DLL <<<"$flags" && ok "$name: a DLL" || fail "$name: not a DLL"
    else
        grep -qw DLL <<<"$flags" && fail "$name: a DLL, wanted an executable" || ok "$name: an executable"
    fi
    imports=$(pe_imports "$dump")
    for d in $imports; do
        [[ " $(echo $SYSTEM_DLLS) " == *" $d "* ]] || bad="$bad $d"
    done
    [ -z "$bad" ] && ok "$name: imports only system DLLs:" $imports || fail "$name imports non-system DLLs:$bad"
}

check_windows_arch() {  # arch unpacked-folder
    local arch=$1 dir=$2
    local got missing extra libusb_dump needed=""
    if [ -f "$dir/vexo_j2534_0404.dll" ] && check_pe "$dir/vexo_j2534_0404.dll" dll "$arch"; then
        got=$(pe_exports "$PE_DUMP")
        missing=$(missing_from "$EXPORTS" "$got")
        extra=$(missing_from "$got" "$EXPORTS $REGISTRATION")
        [ -z "$missing" ] && ok "$arch/vexo_j2534_0404.dll exports the 14 undecorated PassThru functions" ||
            fail "$arch/vexo_j2534_0404.dll lacks exports: $missing"
        [ -z "$extra" ] || fail "$arch/vexo_j2534_0404.dll exports more: $extra"
        missing=$(missing_from "$REGISTRATION" "$got")
        [ -z "$missing" ] && ok "$arch/vexo_j2534_0404.dll exports $REGISTRATION for regsvr32" ||
            fail "$arch/vexo_j2534_0404.dll does not export ${missing% }; regsvr32 cannot register it"
        # The names the DLL hands GetProcAddress: every one must be in the shipped libusb.
        needed=$(strings -n 6 "$dir/vexo_j2534_0404.dll" | grep -xE 'libusb_[a-z0-9_]+' | sort -u || true)
        [ -n "$needed" ] || fail "$arch/vexo_j2534_0404.dll names no libusb function"
    fi
    if [ -f "$dir/libusb-1.0.dll" ] && check_pe "$dir/libusb-1.0.dll" dll "$arch"; then
        libusb_dump=$PE_DUMP
        got=$(pe_exports "$libusb_dump")
        missing=$(missing_from "$LIBUSB_FUNCTIONS" "$got")
        [ -z "$missing" ] && ok "$arch/libusb-1.0.dll exports $(echo "$got" | grep -c '^libusb_') libusb_* functions," \
            "among them $(echo $LIBUSB_FUNCTIONS | tr ' ' ',')" || fail "$arch/libusb-1.0.dll lacks exports: $missing"
        if [ -n "$needed" ]; then
            missing=$(missing_from "$needed" "$got")
            [ -z "$missing" ] && ok "$arch/libusb-1.0.dll exports all $(echo "$needed" | wc -l) functions the DLL binds" ||
                fail "$arch/libusb-1.0.dll lacks functions the DLL binds: $missing"
        fi
    fi
    [ ! -f "$dir/vexo.exe" ] || check_pe "$dir/vexo.exe" exe "$arch" || true
}

version_resource() {  # file: "ProductName ProductVersion OriginalFilename" from its VERSIONINFO
    local strings
    strings=$(strings -el "$1")
    printf '%s %s %s' "$(grep -A1 -x ProductName <<<"$strings" | tail -n1)" \
        "$(grep -A1 -x ProductVersion <<<"$strings" | tail -n1)" "$(grep -A1 -x OriginalFilename <<<"$strings" | tail -n1)"
}

UNPACKED=()
check_windows() {  # zip: one architecture's, or the release zip holding both
    local zip=$1 name arch version
    name=$(basename "$zip" .zip)
    printf '\n== %s\n' "$name.zip"
    [ -f "$zip" ] || { fail "$zip missing"; return; }
    version=${name#vexo-j2534-}
    version=${version%-windows*}
    TEST_BUILD=no
    case $version in *-test) version=${version%-test} TEST_BUILD=yes ;; esac
    mkdir -p "$WORK/$name"
    unzip -q "$zip" -d "$WORK/$name" || { fail "unzip failed"; return; }
    only_top_folder "$WORK/$name" "$name"
    case $name in
        *-windows-win32) check_windows_folder win32 "$WORK/$name/$name" "$version" ;;
        *-windows-x64) check_windows_folder x64 "$WORK/$name/$name" "$version" ;;
        *-windows)
            local dir=$WORK/$name/$name
            [ "$(cd "$dir" && ls -A | tr '\n' ' ')" = "README.txt win32 x64 " ] && ok "README.txt, win32/ and x64/" ||
                fail "the release zip holds '$(cd "$dir" && ls -A | tr '\n' ' ')', wanted README.txt win32 x64"
            if [ -f "$dir/README.txt" ]; then
                [ "$TEST_BUILD" = no ] || contains "$dir/README.txt" 'TEST BUILD' "README.txt: a test build says so"
                contains "$dir/README.txt" '32-bit applications' "README.txt: the win32 DLL serves 32-bit applications"
                contains "$dir/README.txt" '64-bit applications' "README.txt: the x64 DLL serves 64-bit applications"
                contains "$dir/README.txt" 'or
both' "README.txt: both may be registered"
            fi
            for arch in win32 x64; do check_windows_folder "$arch" "$dir/$arch" "$version"; done ;;
        *) fail "$name.zip: not a vexo-j2534-<version>-windows[-win32|-x64].zip" ;;
    esac
}

check_windows_folder() {  # arch folder version
    local arch=$1 dir=$2 version=$3 f
    UNPACKED+=("$arch:$dir")
    check_members "$dir" INSTALL.txt LICENSE.txt LICENSE-libusb.txt vexo_j2534_0404.dll libusb-1.0.dll vexo.exe \
        $(cd "$ROOT" && ls python/pyproject.toml python/can_j2534/*.py)
    check_windows_arch "$arch" "$dir"
    for f in vexo_j2534_0404.dll vexo.exe; do
        [ ! -f "$dir/$f" ] || { [ "$(version_resource "$dir/$f")" = "vexo-j2534 $version $f" ] &&
            ok "$arch/$f: version resource names vexo-j2534 $version" ||
            fail "$arch/$f: version resource '$(version_resource "$dir/$f")', wanted 'vexo-j2534 $version $f'"; }
    done

    # The simulated cable, and only it, answers to its controls.
    if [ -f "$dir/libusb-1.0.dll" ]; then
        if strings -n 6 "$dir/libusb-1.0.dll" | grep -x vexo_sim_attach_cables >/dev/null; then
            [ "$TEST_BUILD" = yes ] && ok "$arch/libusb-1.0.dll is the simulated cable, in a zip named a test build's" ||
                fail "$arch/libusb-1.0.dll is the simulated cable, but the zip is not named a test build's"
        else
            [ "$TEST_BUILD" = no ] && ok "$arch/libusb-1.0.dll is a libusb, in a zip not named a test build's" ||
                fail "the zip is named a test build's, but $arch/libusb-1.0.dll is no simulated cable"
        fi
    fi
    if [ -f "$dir/INSTALL.txt" ]; then
        [ "$TEST_BUILD" = no ] || contains "$dir/INSTALL.txt" 'TEST BUILD' "INSTALL.txt: a test build says so"
        contains "$dir/INSTALL.txt" 'regsvr32 vexo_j2534_0404.dll' "INSTALL.txt: registration"
        contains "$dir/INSTALL.txt" 'regsvr32 /u vexo_j2534_0404.dll' "INSTALL.txt: unregistration"
        contains "$dir/INSTALL.txt" 'HKLM\SOFTWARE\PassThruSupport.04.04\vexo - Tactrix Openport 2.0' "INSTALL.txt: registry key"
        contains "$dir/INSTALL.txt" "vexo-j2534 $version for Windows" "INSTALL.txt: the version"
        contains "$dir/INSTALL.txt" '0403:cc4d' "INSTALL.txt: the cable's USB id"
        contains "$dir/INSTALL.txt" 'WinUSB' "INSTALL.txt: the driver"
        contains "$dir/INSTALL.txt" '%TEMP%\j2534-0404.log' "INSTALL.txt: the log"
        contains "$dir/INSTALL.txt" "Debian's libusb-1.0" "INSTALL.txt: libusb's source"
        contains "$dir/INSTALL.txt" 'py -m pip install .\python' "INSTALL.txt: pip installs the python-can interface"
        grep -q $'\r$' "$dir/INSTALL.txt" && ok "INSTALL.txt: CRLF line ends" || fail "INSTALL.txt: not CRLF"
    fi
    if [ -f "$dir/LICENSE-libusb.txt" ]; then
        contains "$dir/LICENSE-libusb.txt" 'GNU LESSER GENERAL PUBLIC LICENSE' "LICENSE-libusb.txt: the LGPL"
        contains "$dir/LICENSE-libusb.txt" 'Version 2.1' "LICENSE-libusb.txt: version 2.1"
    fi
    [ ! -f "$dir/LICENSE.txt" ] || contains "$dir/LICENSE.txt" 'MIT License' "LICENSE.txt: the MIT licence"
}

# Wine has no cable: through a working libusb-1.0.dll the library enumerates the USB devices and
# reports ERR_DEVICE_NOT_CONNECTED; without one the status is the same, but the text says
# "libusb-1.0.dll not found". One 64-bit prefix runs both, the 32-bit one where the host can.
check_under_wine() {
    local entry out arch dir
    [ ${#UNPACKED[@]} -gt 0 ] || return 0
    if [ "${NO_WINE:-0}" = 1 ] || [ ! -x /usr/lib/wine/wine64 ]; then
        echo "  skipped: vexo.exe under Wine (NO_WINE=1 or no wine64)"
        return 0
    fi
    export WINEPREFIX=$WORK/wineprefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    export WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
    export HOME=${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}
    WINE_STARTED=1
    if ! (unset DISPLAY WAYLAND_DISPLAY && timeout 600 /usr/lib/wine/wine64 wineboot -i) </dev/null >"$WORK/wineboot.log" 2>&1; then
        fail "wineboot failed: $(tail -n 3 "$WORK/wineboot.log" | tr '\n' ' ')"
        return 0
    fi
    for entry in "${UNPACKED[@]}"; do
        arch=${entry%%:*} dir=${entry#*:}
        [ -f "$dir/vexo.exe" ] || continue
        if [ "$arch" = win32 ] && ! bash "$ROOT/scripts/host-runs-i386.sh" >/dev/null 2>&1; then
            echo "  skipped: win32/vexo.exe under Wine: this host cannot execute i386 code"
            continue
        fi
        out=$(cd "$dir" && unset DISPLAY WAYLAND_DISPLAY &&
            timeout 120 /usr/lib/wine/wine64 vexo.exe --json info </dev/null 2>&1 || true)
        if grep -q 'libusb-1.0.dll not found' <<<"$out"; then
            fail "$arch/vexo.exe under Wine: the shipped libusb-1.0.dll was not found: $out"
        elif grep -qE '"ok":true|ERR_DEVICE_NOT_CONNECTED' <<<"$out"; then
            ok "$arch/vexo.exe under Wine reaches USB through libusb-1.0.dll: $(grep -o '"status_name":"[A-Z_]*"' <<<"$out" || echo ok)"
        else
            fail "$arch/vexo.exe under Wine: $out"
        fi
        # A test build ships the simulated cable as its libusb-1.0.dll, which --sim finds beside vexo.exe.
        if strings -n 6 "$dir/libusb-1.0.dll" | grep -x vexo_sim_attach_cables >/dev/null; then
            out=$(cd "$dir" && unset DISPLAY WAYLAND_DISPLAY &&
                timeout 120 /usr/lib/wine/wine64 vexo.exe --sim vin </dev/null 2>&1 | tr -d '\r' || true)
            [ "$out" = 1VXDM5SM8N0004217 ] && ok "$arch/vexo.exe --sim vin under Wine (test build): the simulated car's VIN" ||
                fail "$arch/vexo.exe --sim vin under Wine: $out"
        fi
    done
}

for zip in "$@"; do check_windows "$zip"; done
check_under_wine
if [ "$FAILURES" -ne 0 ]; then
    printf '\ncheck-packages.sh: %d check(s) FAILED\n' "$FAILURES" >&2
    exit 1
fi
printf '\ncheck-packages.sh: the Windows zips hold what they should\n'
