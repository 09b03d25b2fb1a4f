#!/usr/bin/env bash
# Builds the release packages into dist/. CMake's install rules and cpack make them; this script
# does what CMake cannot: cross-build libusb-1.0.dll for each Windows from Debian's unmodified
# libusb-1.0 source package, and hand it to the Windows trees.
#   vexo-j2534_<version>_amd64.deb, vexo-j2534-<version>-linux-x86_64.tar.gz   (cpack, Linux tree)
#   vexo-j2534-<version>-windows.zip   win32\ and x64\ (cpack in each Windows tree, then combined)
#   vexo-j2534-<version>-setup.exe   both DLLs, libusb-1.0.dll, vexo.exe (NSIS: scripts/build-installer.sh)
# The Linux packages alone need no MinGW: cmake --preset release && cmake --build --preset release
# && (cd build-release && cpack). <version> is the project's CMake version.
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
            cmake ninja-build g++ pkg-config binutils file make dpkg-dev zip unzip lintian nsis \
            libusb-1.0-0-dev libcli11-dev nlohmann-json3-dev python3-setuptools python3-wheel \
            gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix binutils-mingw-w64-i686 \
            gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    fi
    local tool
    for tool in cmake cpack ninja g++ make nm strip file zip unzip tar dpkg-source dpkg-parsechangelog makensis \
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
    cmake --build "$dir" -j"$JOBS"
}

build_linux() {
    step "Linux Release build"
    release_build "$BUILD/linux"
    step_done
}

build_windows() {  # win32|x64: the Release tree, told which libusb-1.0.dll to ship
    step "Windows $1 Release cross-build"
    local upstream=${LIBUSB_VERSION#*:}
    release_build "$BUILD/$1" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-$(mingw_arch "$1").cmake" \
        -DVEXO_LIBUSB_DLL="$BUILD/libusb-$1/libusb/.libs/libusb-1.0.dll" -DVEXO_LIBUSB_LICENSE="$LIBUSB_SRC/COPYING" \
        -DVEXO_LIBUSB_VERSION="${upstream%-*} (Debian source package $LIBUSB_VERSION)"
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

package() {  # tree generator
    (cd "$1" && rm -rf packages && cpack -G "$2") || die "cpack -G $2 in $1 failed"
    cp "$1"/packages/*."$(tr '[:upper:]' '[:lower:]' <<<"${2/TGZ/tar.gz}")" "$DIST/"
}

install_packages
mkdir -p "$DIST"
build_linux
step "Linux packages"
bash "$ROOT/scripts/check-linux-packages.sh" "$BUILD/linux"
cp "$BUILD/linux/packages/"*.deb "$BUILD/linux/packages/"*.tar.gz "$DIST/"
step_done
fetch_libusb
for arch in win32 x64; do
    build_libusb "$arch"
    build_windows "$arch"
    step "Windows $arch zip"
    package "$BUILD/$arch" ZIP
    step_done
done
step "Windows installer"
bash "$ROOT/scripts/build-installer.sh" "$BUILD/win32" "$BUILD/x64" "$BUILD/linux" "$DIST"
step_done
step "Windows release zip"
# The release holds both architectures in one zip; cpack's two are its parts.
bash "$ROOT/scripts/combine-windows-zips.sh" "$DIST"/vexo-j2534-*-windows-win32.zip "$DIST"/vexo-j2534-*-windows-x64.zip "$DIST"
rm -f "$DIST"/vexo-j2534-*-windows-win32.zip "$DIST"/vexo-j2534-*-windows-x64.zip
step_done
step "package contents"
bash "$ROOT/scripts/check-packages.sh" "$DIST"/vexo-j2534-*-windows.zip
step_done

printf '\npackage.sh: built and checked in %d s:\n' $((SECONDS - STARTED))
ls -l "$DIST"
