#!/usr/bin/env bash
# Builds vexo-j2534-<version>-setup.exe with NSIS (makensis) from the two Windows Release trees,
# each configured with the libusb-1.0.dll it ships (VEXO_LIBUSB_DLL), and a Linux tree, whose
# vexo_discovery_key_nsh writes the registry macros from the library's own discovery_key().
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
OUTFILE=$(cd "$OUT" && pwd)/vexo-j2534-$VERSION-setup.exe
makensis -V2 -DVERSION="$VERSION" -DVERSION4="$VERSION.0" -DX64="$STAGE/x64" -DWIN32="$STAGE/win32" \
    -DDOCS="$STAGE/x64" -DNSH="$STAGE/discovery_key.nsh" -DOUTFILE="$OUTFILE" "$ROOT/packaging/windows/installer.nsi" >&2
echo "$OUTFILE"
