#!/usr/bin/env bash
# Builds vexo-j2534-<version>-setup.exe with NSIS (makensis) from the two Windows Release trees,
# each configured with the libusb-1.0.dll it ships (VEXO_LIBUSB_DLL), and a Linux tree, whose
# vexo_discovery_key_nsh writes the registry macros from the library's own discovery_key(). Trees
# configured as test builds (VEXO_TEST_PACKAGE, the simulated cable as libusb-1.0.dll) make
# vexo-j2534-<version>-test-setup.exe, whose name in Windows' list of programs says "test build".
# usage: build-installer.sh WIN32_TREE X64_TREE LINUX_TREE OUT_DIR   (prints the installer's path)
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
[ $# -eq 4 ] || { echo "usage: build-installer.sh WIN32_TREE X64_TREE LINUX_TREE OUT_DIR" >&2; exit 2; }
WIN32_TREE=$1 X64_TREE=$2 LINUX_TREE=$3 OUT=$4
die() { echo "build-installer.sh: $*" >&2; exit 1; }
cache() { sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt"; }

VERSION=$(cache "$X64_TREE" CMAKE_PROJECT_VERSION)
[ -n "$VERSION" ] || die "no CMAKE_PROJECT_VERSION in $X64_TREE"
[ "$(cache "$WIN32_TREE" CMAKE_PROJECT_VERSION)" = "$VERSION" ] || die "$WIN32_TREE is not version $VERSION"
TEST=$(cache "$X64_TREE" VEXO_TEST_PACKAGE)
[ "$(cache "$WIN32_TREE" VEXO_TEST_PACKAGE)" = "$TEST" ] || die "one tree is a test build (VEXO_TEST_PACKAGE), the other not"
NAME=vexo-j2534-$VERSION
TEST_DEFINE=()
case $TEST in
    ON | on | TRUE | true | 1) NAME=$NAME-test TEST_DEFINE=(-DTEST_BUILD) ;;
esac
STAGE=$(mktemp -d)
trap 'rm -rf "$STAGE"' EXIT

for arch in win32 x64; do
    tree=$WIN32_TREE
    [ $arch = win32 ] || tree=$X64_TREE
    [ -n "$(cache "$tree" VEXO_LIBUSB_DLL)" ] || die "$tree names no libusb-1.0.dll to ship (VEXO_LIBUSB_DLL)"
    cmake --install "$tree" --prefix "$STAGE/$arch" --strip >/dev/null
done
cmake --build "$LINUX_TREE" --target vexo_discovery_key_nsh >/dev/null
"$LINUX_TREE/vexo_discovery_key_nsh" >"$STAGE/discovery_key.nsh"

mkdir -p "$OUT"
OUTFILE=$(cd "$OUT" && pwd)/$NAME-setup.exe
makensis -V2 -DVERSION="$VERSION" -DVERSION4="$VERSION.0" -DX64="$STAGE/x64" -DWIN32="$STAGE/win32" \
    -DDOCS="$STAGE/x64" -DNSH="$STAGE/discovery_key.nsh" -DOUTFILE="$OUTFILE" "${TEST_DEFINE[@]}" \
    "$ROOT/packaging/windows/installer.nsi" >&2
echo "$OUTFILE"
