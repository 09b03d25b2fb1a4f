#!/usr/bin/env bash
# Builds the release packages into dist/:
#   vexo-j2534-<version>-windows.zip        win32\ and x64\: each the DLL, vexo.exe and a libusb-1.0.dll
#                                           built here from Debian's libusb-1.0 source package
#   vexo-j2534-<version>-linux-x86_64.tar.gz the .so, its header, vexo and a udev rule
# then checks both with scripts/check-packages.sh. <version> is the project's CMake version.
# SKIP_APT=1 skips package installation and the apt source setup. JOBS sets build parallelism (2).
# Build trees live in build-package/ (VEXO_RELEASE_BUILD moves them).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${VEXO_RELEASE_BUILD:-$ROOT/build-package}
DIST=$ROOT/dist
JOBS=${JOBS:-2}
STARTED=$SECONDS

die() {
    printf '\n*** package.sh: %s\n' "$*" >&2
    exit 1
}
step() {
    STEP_START=$SECONDS
    printf '\n======== %s ========\n' "$*"
}
step_done() { printf -- '-------- done in %d s\n' $((SECONDS - STEP_START)); }

VERSION=$(sed -n 's/^project([^)]*VERSION \([0-9][0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
[ -n "$VERSION" ] || die "no VERSION in the project() line of CMakeLists.txt"
NAME=vexo-j2534-$VERSION
# One time for every stamp in the archives (file times, PE headers): the commit's, so repackaging
# the same builds gives the same bytes.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$ROOT" log -1 --format=%ct 2>/dev/null || echo 315532800)}
export SOURCE_DATE_EPOCH

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo

# ---------------------------------------------------------------------------------------------
# apt-get source needs deb-src entries; Debian 12 images often carry binary ones only. Add the
# source twins of the enabled Debian entries, in files of our own.
add_deb_src() {
    local files=(/etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources)
    if grep -sqE '^(deb-src[[:space:]]|Types:.*deb-src)' "${files[@]}"; then
        echo "deb-src entries already configured"
        return
    fi
    local stanzas="" lines="" file found
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        # deb822 stanzas naming a Debian archive, their Types turned into deb-src.
        found=$(awk 'BEGIN { RS = ""; ORS = "\n\n" }
            /URIs:[^\n]*debian/ && !/Enabled:[ \t]*[Nn]o/ { sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$file")
        [ -z "$found" ] || stanzas+=$found$'\n\n'
    done
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$file" ] || continue
        # One-line entries: deb [options] URI suite components.
        lines+=$(sed -n 's/^deb\([[:space:]].*debian.*\)$/deb-src\1/p' "$file")$'\n'
    done
    lines=$(printf '%s' "$lines" | sed '/^$/d')
    [ -n "$stanzas$lines" ] || die "no Debian apt source to add deb-src entries for ('apt-get source libusb-1.0' needs one)"
    [ -z "$stanzas" ] || printf '%s' "$stanzas" | $sudo tee /etc/apt/sources.list.d/vexo-deb-src.sources
    [ -z "$lines" ] || printf '%s\n' "$lines" | $sudo tee /etc/apt/sources.list.d/vexo-deb-src.list
}

install_packages() {
    step "packages"
    if [ "${SKIP_APT:-0}" = 1 ]; then
        echo "SKIP_APT=1: using the packages and apt sources already there"
    else
        export DEBIAN_FRONTEND=noninteractive
        add_deb_src
        $sudo apt-get update -q
        $sudo apt-get install -y -q \
            cmake ninja-build g++ pkg-config binutils file make dpkg-dev zip unzip \
            libusb-1.0-0-dev gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix binutils-mingw-w64-i686 \
            gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    fi
    local tool
    for tool in cmake ninja g++ make nm strip file zip unzip tar dpkg-source dpkg-parsechangelog \
        i686-w64-mingw32-gcc-posix i686-w64-mingw32-g++-posix i686-w64-mingw32-objdump i686-w64-mingw32-strip \
        x86_64-w64-mingw32-gcc-posix x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-objdump \
        x86_64-w64-mingw32-strip; do
        command -v "$tool" >/dev/null || die "missing tool: $tool"
    done
    step_done
}

# ---------------------------------------------------------------------------------------------
release_build() {  # directory extra-cmake-arguments...
    local dir=$1
    shift
    cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF "$@"
    cmake --build "$dir" -j"$JOBS" --target vexo_j2534_0404 vexo
}

build_linux() {
    step "Linux Release build"
    release_build "$BUILD/linux"
    step_done
}

build_windows() {  # win32|x64
    step "Windows $1 Release cross-build"
    release_build "$BUILD/$1" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-$(mingw_arch "$1").cmake"
    step_done
}
mingw_arch() { if [ "$1" = win32 ]; then echo i686; else echo x86_64; fi; }

# ---------------------------------------------------------------------------------------------
# libusb-1.0.dll from Debian's own source package, unmodified, cross-built for each Windows.
LIBUSB_VERSION=""
LIBUSB_SRC=""
fetch_libusb() {
    step "Debian's libusb-1.0 source package"
    local fetch=$BUILD/libusb-source
    LIBUSB_SRC=$(find "$fetch" -mindepth 1 -maxdepth 1 -type d -name 'libusb-1.0-*' 2>/dev/null | head -n1 || true)
    if [ -z "$LIBUSB_SRC" ]; then
        rm -rf "$fetch"
        mkdir -p "$fetch"
        (cd "$fetch" && apt-get source -q libusb-1.0) || die "apt-get source libusb-1.0 failed (deb-src entries missing?)"
        LIBUSB_SRC=$(find "$fetch" -mindepth 1 -maxdepth 1 -type d -name 'libusb-1.0-*' | head -n1)
        [ -n "$LIBUSB_SRC" ] || die "apt-get source left no libusb-1.0-* directory in $fetch"
    else
        echo "reusing the source in $LIBUSB_SRC"
    fi
    LIBUSB_VERSION=$(dpkg-parsechangelog -l "$LIBUSB_SRC/debian/changelog" -S Version)
    echo "Debian libusb-1.0 source package version $LIBUSB_VERSION"
    step_done
}

build_libusb() {  # win32|x64
    step "libusb-1.0.dll for $1 from that source"
    local host out
    host=$(mingw_arch "$1")-w64-mingw32
    out=$BUILD/libusb-$1
    if [ ! -f "$out/libusb/.libs/libusb-1.0.dll" ]; then
        rm -rf "$out"
        mkdir -p "$out"
        # The shipped configure, out of tree; libgcc linked in so the DLL needs Windows' DLLs only.
        (cd "$out" && "$LIBUSB_SRC/configure" --host="$host" --disable-static --disable-examples-build \
            --disable-tests-build CC="$host-gcc-posix" LDFLAGS=-static-libgcc >configure.log 2>&1) ||
            { tail -n 40 "$out/configure.log"; die "libusb configure failed (log: $out/configure.log)"; }
        make -C "$out" -j"$JOBS" >"$out/make.log" 2>&1 ||
            { tail -n 40 "$out/make.log"; die "libusb build failed (log: $out/make.log)"; }
    else
        echo "reusing $out/libusb/.libs/libusb-1.0.dll"
    fi
    [ -f "$out/libusb/.libs/libusb-1.0.dll" ] || die "the libusb build made no libusb-1.0.dll"
    step_done
}

# ---------------------------------------------------------------------------------------------
underlined() { printf '%s\n%s\n' "$1" "$(printf '%s' "$1" | tr -c '' '=')"; }

write_windows_install() {  # file
    cat >"$1" <<EOF
$(underlined "vexo-j2534 $VERSION for Windows")

Two builds of the same library, one for each kind of application:

win32\\   for 32-bit applications (most J2534 diagnostic and reprogramming tools)
x64\\     for 64-bit applications (64-bit Python with ctypes, .NET "Any CPU" programs, ...)

Each folder holds
vexo_j2534_0404.dll  the J2534 04.04 pass-thru library for the Tactrix Openport 2.0 cable
libusb-1.0.dll       libusb for that architecture, which the library uses to reach the cable
vexo.exe             a command-line J2534 client: 'vexo.exe --help', 'vexo.exe info'

Install
-------
1. Copy the folder(s) somewhere they can stay, e.g. win32\\ to
   C:\\Program Files (x86)\\vexo-j2534 and x64\\ to C:\\Program Files\\vexo-j2534.
   Keep each libusb-1.0.dll beside its vexo_j2534_0404.dll: the library loads it from
   its own folder first.
2. Register the library, from an elevated command prompt (Run as administrator) in
   the folder:
       regsvr32 vexo_j2534_0404.dll
   This writes the registry key
       HKLM\\SOFTWARE\\PassThruSupport.04.04\\vexo - Tactrix Openport 2.0
   where applications look for pass-thru devices. The win32 DLL writes it in the
   32-bit registry view (SOFTWARE\\WOW6432Node on 64-bit Windows), which 32-bit
   applications read; the x64 DLL writes the 64-bit view, which 64-bit applications
   read. Register both if you use both kinds of application: each keeps its own key.
3. Windows must bind a libusb-compatible driver to the cable (USB 0403:cc4d), for
   example WinUSB installed with Zadig: plug the cable in, pick it in Zadig's list,
   choose WinUSB and click "Install Driver" (or "Replace Driver").

Uninstall
---------
From an elevated command prompt in each folder you registered:
    regsvr32 /u vexo_j2534_0404.dll
then delete the folder.

Log
---
Every J2534 call and every byte exchanged with the cable is written to
%TEMP%\\j2534-0404.log.

libusb
------
Each libusb-1.0.dll is libusb $LIBUSB_UPSTREAM, built unmodified from Debian's libusb-1.0
source package, version $LIBUSB_VERSION ('apt-get source libusb-1.0' on Debian 12), with
MinGW-w64 for i686 (win32) and x86-64 (x64). libusb is licensed under the GNU Lesser
General Public License 2.1, in LICENSE-libusb.txt. Its complete source is that Debian
source package; the same package, or libusb's own release $LIBUSB_UPSTREAM, rebuilds it with
    ./configure --host=i686-w64-mingw32 --disable-static LDFLAGS=-static-libgcc && make
(--host=x86_64-w64-mingw32 for x64), and you may replace libusb-1.0.dll with your own build.
EOF
}

write_linux_install() {  # file
    cat >"$1" <<EOF
$(underlined "vexo-j2534 $VERSION for Linux x86-64")

lib/libvexo_j2534_0404.so  the J2534 04.04 pass-thru library for the Tactrix Openport 2.0 cable
include/vexo/j2534.h       its header
bin/vexo                   a command-line J2534 client
60-vexo-openport.rules     a udev rule: members of the group plugdev may use the cable

The library needs libusb-1.0 (Debian/Ubuntu: apt-get install libusb-1.0-0).

Install
-------
    sudo cp lib/libvexo_j2534_0404.so /usr/local/lib/ && sudo ldconfig
    sudo cp -r include/vexo /usr/local/include/
    sudo cp bin/vexo /usr/local/bin/
    sudo cp 60-vexo-openport.rules /etc/udev/rules.d/
    sudo udevadm control --reload-rules && sudo udevadm trigger
    sudo usermod -aG plugdev "\$USER"    # then log in again

Then plug the cable (USB 0403:cc4d) in and try
    vexo info
vexo finds the library beside itself, in the folder above it, or in ../lib/ (so
/usr/local/bin/vexo finds /usr/local/lib/); from this folder, unpacked, 'bin/vexo info'
works as it is. '--lib PATH' names another library.

Log
---
Every J2534 call and every byte exchanged with the cable is written to
j2534-0404.log in \$TEMP, \$TMPDIR or /tmp.
EOF
}

package() {
    step "packages in dist/"
    local stage=$BUILD/stage win lin
    rm -rf "$stage"
    mkdir -p "$stage" "$DIST"
    LIBUSB_UPSTREAM=${LIBUSB_VERSION#*:}
    LIBUSB_UPSTREAM=${LIBUSB_UPSTREAM%-*}

    win=$stage/$NAME-windows
    local arch
    for arch in win32 x64; do
        mkdir -p "$win/$arch"
        cp "$BUILD/$arch/vexo_j2534_0404.dll" "$BUILD/$arch/tools/vexo.exe" \
            "$BUILD/libusb-$arch/libusb/.libs/libusb-1.0.dll" "$win/$arch/"
        # strip stamps the PE headers with SOURCE_DATE_EPOCH.
        "$(mingw_arch "$arch")-w64-mingw32-strip" --strip-unneeded "$win/$arch"/*.dll "$win/$arch"/*.exe
    done
    cp "$LIBUSB_SRC/COPYING" "$win/LICENSE-libusb.txt"
    write_windows_install "$win/INSTALL.txt"
    # Windows editors want CRLF in the texts.
    sed -i 's/$/\r/' "$win/INSTALL.txt" "$win/LICENSE-libusb.txt"
    cp "$ROOT/README.md" "$win/README.md"

    lin=$stage/$NAME-linux-x86_64
    mkdir -p "$lin/lib" "$lin/include/vexo" "$lin/bin"
    cp "$BUILD/linux/libvexo_j2534_0404.so" "$lin/lib/"
    cp "$BUILD/linux/tools/vexo" "$lin/bin/"
    strip --strip-unneeded "$lin/lib/libvexo_j2534_0404.so" "$lin/bin/vexo"
    cp "$ROOT/include/vexo/j2534.h" "$lin/include/vexo/"
    cp "$ROOT/tools/60-vexo-openport.rules" "$lin/"
    write_linux_install "$lin/INSTALL.txt"
    cp "$ROOT/README.md" "$lin/README.md"
    local license
    for license in LICENSE LICENSE.txt LICENSE.md COPYING; do
        if [ -f "$ROOT/$license" ]; then cp "$ROOT/$license" "$win/" && cp "$ROOT/$license" "$lin/"; fi
    done

    local zip=$DIST/$NAME-windows.zip tgz=$DIST/$NAME-linux-x86_64.tar.gz
    rm -f "$zip" "$tgz"
    (cd "$stage" && find "$NAME-windows" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} + &&
        find "$NAME-windows" -print | LC_ALL=C sort | TZ=UTC zip -q -X "$zip" -@)
    tar -C "$stage" --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$SOURCE_DATE_EPOCH" \
        -cf - "$NAME-linux-x86_64" |
        gzip -n -9 >"$tgz"
    step_done
}

install_packages
build_linux
build_windows win32
build_windows x64
fetch_libusb
build_libusb win32
build_libusb x64
package

step "package contents"
unzip -l "$DIST/$NAME-windows.zip"
tar -tvzf "$DIST/$NAME-linux-x86_64.tar.gz"
bash "$ROOT/scripts/check-packages.sh" "$DIST/$NAME-windows.zip" "$DIST/$NAME-linux-x86_64.tar.gz"
step_done

printf '\npackage.sh: built and checked in %d s:\n  %s\n  %s\n' $((SECONDS - STARTED)) \
    "dist/$NAME-windows.zip" "dist/$NAME-linux-x86_64.tar.gz"
