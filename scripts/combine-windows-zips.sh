#!/usr/bin/env bash
# One release zip for Windows from cpack's two: vexo-j2534-<version>-windows.zip holds win32\ and
# x64\, each the whole of its architecture's zip, and a README.txt that says which DLL serves which
# applications. A test build's zips (vexo-j2534-<version>-test-windows-*.zip) make a test build's
# zip, whose README.txt says so first. Prints the zip's path.
# usage: combine-windows-zips.sh WIN32_ZIP X64_ZIP OUT_DIR
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 WIN32_ZIP X64_ZIP OUT_DIR" >&2; exit 2; }
win32=$(realpath "$1") x64=$(realpath "$2")
mkdir -p "$3"
out=$(realpath "$3")
name=$(basename "$win32" .zip)
name=${name%-win32}
[ "$(basename "$x64" .zip)" = "$name-x64" ] || { echo "$0: $x64 is not $name-x64.zip" >&2; exit 2; }
version=${name#vexo-j2534-}
version=${version%-windows}
test_note=""
case $version in
    *-test) version=${version%-test}
        test_note="TEST BUILD: each libusb-1.0.dll here is the simulated cable, not libusb; it reaches no real cable."$'\n\n' ;;
esac

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for arch in win32 x64; do
    zip=$win32
    [ "$arch" = win32 ] || zip=$x64
    unzip -q "$zip" -d "$work/$arch"
    mkdir -p "$work/$name"
    mv "$work/$arch/$name-$arch" "$work/$name/$arch"
done
sed 's/$/\r/' >"$work/$name/README.txt" <<TEXT
vexo-j2534 $version for Windows
$(printf '%s' "vexo-j2534 $version for Windows" | tr -c '' '=')

${test_note}The same J2534 04.04 library for the Tactrix Openport 2.0 cable, built twice:

win32\\   for 32-bit applications (most J2534 diagnostic and reprogramming tools)
x64\\     for 64-bit applications (64-bit Python with ctypes, .NET "Any CPU" programs, ...)

An application can only load a DLL of its own width, and finds it through the registry view of
its own width. Register the win32 DLL for 32-bit applications, the x64 DLL for 64-bit ones, or
both: each writes its own key in its own view. Each folder's INSTALL.txt tells how.
TEXT
rm -f "$out/$name.zip"
(cd "$work" && find "$name" -exec touch -h -d "@${SOURCE_DATE_EPOCH:-315532800}" {} + &&
    find "$name" -print | LC_ALL=C sort | TZ=UTC zip -q -X "$out/$name.zip" -@)
echo "$out/$name.zip"
