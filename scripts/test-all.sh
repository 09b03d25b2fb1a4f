#!/usr/bin/env bash
# Sets up a Debian machine and runs every check of the project. Each stage that CMake's presets can
# describe is one `cmake --workflow --preset NAME` (CMakePresets.json), as a developer runs it:
#   linux       Release build with -Werror and every test: the end-to-end ones also through the
#               system's libusb and the usbfs model of the cable, clients nobody here wrote, both
#               .so's export lists and one short run of every benchmark
#   asan tsan   the tests under ASan+UBSan, under TSan
#   fuzz        the fuzz targets for a minute each (FUZZ_SECONDS) under ASan+UBSan
#   win32 win64 the Windows cross-builds and the checks of their zips that need no Wine (members,
#               machine types, exports, system imports only)
# This script adds what presets cannot say: the package installation; the host probes (can it
# execute i386 code, does TSan need setarch); the Linux packages built by cpack from the linux tree,
# linted, installed, run and removed; the Wine stages, each in a fresh prefix: every Windows test
# under 64-bit Wine, and under 32-bit Wine where the host can execute i386 code (some hosts cannot:
# that stage is then skipped, loudly), then the Windows zip and the NSIS installer, installed, run
# and uninstalled under 64-bit Wine; and the summary with each stage's time.
# Build trees are the presets' build-<preset>/; Wine prefixes and release packages go to build-ci/.
# SKIP_APT=1 skips package installation (quick local reruns).
# VEXO_STAGES runs only the named stages (packages linux asan tsan fuzz win32 win64 wine32 wine64);
# the summary lists the others as not run. VEXO_FORCE_NO_I386=1 acts as a host without i386.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
OUT=$ROOT/build-ci
# CI may start with a bare environment; Wine wants a home.
export HOME=${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}

STAGE="setup"
STARTED=$SECONDS
PASSED=()
SKIPPED=()
WINESERVER=""
ALL_STAGES="packages linux asan tsan fuzz win32 win64 wine32 wine64"
STAGES=$(echo "${VEXO_STAGES:-$ALL_STAGES}" | tr ',' ' ')
for s in $STAGES; do
    echo " $ALL_STAGES " | grep -q " $s " || { echo "unknown stage '$s' in VEXO_STAGES (known: $ALL_STAGES)" >&2; exit 2; }
done
wanted() { echo " $STAGES " | grep -q " $1 "; }

# A rerun on the same machine reuses the compilations whose inputs did not change. Paths below the
# checkout are hashed relative to it, so another clone of the same commit hits the same entries.
CCACHE=no
ccache_counts() {  # "hits misses" so far
    [ $CCACHE = yes ] || { echo 0 0; return; }
    ccache --print-stats 2>/dev/null | awk -F'\t' '$1 == "direct_cache_hit" || $1 == "preprocessed_cache_hit" { hit += $2 }
        $1 == "cache_miss" { miss = $2 } END { print hit + 0, miss + 0 }'
}
stage() {
    STAGE=$1
    STAGE_START=$SECONDS
    read -r STAGE_HITS STAGE_MISSES < <(ccache_counts)
    printf '\n======== %s ========\n' "$STAGE"
}
stage_done() {
    local hits misses took=$((SECONDS - STAGE_START)) cache=""
    read -r hits misses < <(ccache_counts)
    [ $CCACHE = no ] || cache=", compiler cache $((hits - STAGE_HITS)) hits $((misses - STAGE_MISSES)) misses"
    PASSED+=("$(printf '%5d s  %s%s' $took "$STAGE" "$cache")")
    printf -- '-------- %s: passed in %d s%s\n' "$STAGE" $took "$cache"
}
die() {
    printf '\n*** %s\n' "$*" >&2
    exit 1
}
on_exit() {
    local rc=$?
    if [ -n "$WINESERVER" ]; then "$WINESERVER" -k 2>/dev/null || true; fi
    if [ $rc -ne 0 ]; then
        printf '\n*** test-all.sh FAILED in stage "%s" (exit %d) after %d s\n' "$STAGE" $rc $((SECONDS - STARTED)) >&2
    fi
}
trap on_exit EXIT

# ---------------------------------------------------------------------------------------------
install_packages() {
    stage "packages"
    if [ "${SKIP_APT:-0}" = 1 ]; then
        echo "SKIP_APT=1: using the packages already installed"
    else
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo=sudo
        export DEBIAN_FRONTEND=noninteractive
        # wine32 is an i386 package: the 32-bit DLL and its tests run on it.
        if ! dpkg --print-foreign-architectures | grep -qx i386; then $sudo dpkg --add-architecture i386; fi
        $sudo apt-get update -q
        $sudo apt-get install -y -q \
            cmake ninja-build g++ pkg-config binutils file ccache \
            libusb-1.0-0-dev libcli11-dev nlohmann-json3-dev \
            libgtest-dev libgmock-dev googletest libbenchmark-dev libclang-rt-14-dev \
            umockdev libumockdev-dev can-utils python3 libqt6serialbus6-bin qt6-base-dev qt6-serialbus-dev \
            python3-can python3-pytest python3-setuptools python3-wheel python3-venv \
            gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix binutils-mingw-w64-i686 \
            gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
            wine wine64 wine32:i386 dpkg-dev lintian nsis
    fi
    local tool
    for tool in cmake ninja ccache g++ pkg-config nm i686-w64-mingw32-g++-posix i686-w64-mingw32-objdump \
        x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-objdump wine wineboot wineserver setarch timeout log2asc \
        cpack dpkg-deb dpkg-shlibdeps lintian makensis /usr/lib/qt6/bin/canbusutil /usr/bin/python3 \
        /usr/lib/wine/wine64 /usr/lib/wine/wineserver64; do
        command -v "$tool" >/dev/null || die "missing tool: $tool"
    done
    [ -f /usr/src/googletest/CMakeLists.txt ] || die "missing /usr/src/googletest (package googletest)"
    stage_done
}

# One CI stage as CMakePresets.json describes it. A runner, if given, wraps the whole workflow.
workflow() {  # preset [runner words...]
    local preset=$1
    shift
    stage "$preset: cmake --workflow --preset $preset${*:+ under $*}"
    (cd "$ROOT" && "$@" cmake --workflow --preset "$preset")
    stage_done
}

linux_packages() {
    stage "Linux packages (cpack: .deb and tarball; lintian; install, run, remove)"
    bash "$ROOT/scripts/check-linux-packages.sh" "$ROOT/build-linux"
    stage_done
}

# ---------------------------------------------------------------------------------------------
# GCC 12's TSan cannot map its shadow under the high mmap randomisation of newer kernels.
# Find what works here: nothing, no randomisation for the workflow's processes, or less entropy.
TSAN_RUNNER=()
find_tsan_runner() {
    local dir="$OUT/tsan-probe"
    mkdir -p "$dir"
    printf '#include <thread>\nint v;\nint main() { std::thread t([] { v = 1; }); t.join(); return v - 1; }\n' \
        >"$dir/probe.cpp"
    g++ -std=c++20 -fsanitize=thread -O1 "$dir/probe.cpp" -o "$dir/probe"
    if "$dir/probe" >/dev/null 2>&1; then
        TSAN_RUNNER=()
    elif setarch "$(uname -m)" -R "$dir/probe" >/dev/null 2>&1; then
        TSAN_RUNNER=(setarch "$(uname -m)" -R)
    elif { echo 28 >/proc/sys/vm/mmap_rnd_bits; } 2>/dev/null && "$dir/probe" >/dev/null 2>&1; then
        TSAN_RUNNER=()
    else
        "$dir/probe" || true
        die "ThreadSanitizer cannot run on this machine (tried setarch -R and vm.mmap_rnd_bits=28)"
    fi
    echo "TSan runner: ${TSAN_RUNNER[*]:-(none)}"
}

# ---------------------------------------------------------------------------------------------
# Can 32-bit Windows programs run here? yes, or no (skip their stage, loudly); anything else fails.
I386=unknown
I386_SKIP="32-bit Windows tests skipped: this host cannot execute i386 code; the 32-bit DLL was checked statically"
probe_i386() {
    local rc=0
    bash "$ROOT/scripts/host-runs-i386.sh" || rc=$?
    case $rc in
        0) I386=yes ;;
        1) I386=no ;;
        *) die "the i386 probe failed (see above): fix the Wine installation" ;;
    esac
}

wine_tests() {  # win32|win64
    local tree=$1 build=$ROOT/build-$1
    if [ "$tree" = win32 ] && [ "$I386" = no ]; then
        printf '\n!!!!!!!! %s\n' "$I386_SKIP"
        SKIPPED+=("$I386_SKIP")
        return
    fi
    stage "Windows $tree tests under Wine"
    [ -f "$build/CTestTestfile.cmake" ] || die "no $tree build in $build (stage $tree)"
    export WINEPREFIX="$OUT/wineprefix-$tree" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    local wine
    if [ "$tree" = win64 ]; then
        # 64-bit Wine directly: Debian's wrapper picks wine32 wherever it is installed.
        export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
        wine=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
        # Where the host runs 32-bit code, the 64-bit prefix registers both DLLs side by side.
        unset VEXO_WIN32_DLL
        if [ "$I386" = yes ]; then
            [ -f "$ROOT/build-win32/vexo_j2534_0404.dll" ] || die "no 32-bit DLL to register beside the 64-bit one (stage win32)"
            export VEXO_WIN32_DLL=$ROOT/build-win32/vexo_j2534_0404.dll
        fi
    else
        export WINEARCH=win32
        unset WINELOADER
        wine=wine WINESERVER=wineserver
    fi
    export WINESERVER
    unset DISPLAY WAYLAND_DISPLAY
    # Wine maps Windows file names to Unix ones through the locale's charset: without UTF-8,
    # non-ASCII paths cannot exist.
    export LANG=C.UTF-8 LC_ALL=C.UTF-8
    rm -rf "$WINEPREFIX"
    # The first start builds the prefix; it can be slow, but must never hang the run.
    mkdir -p "$OUT"
    echo "creating a fresh $WINEARCH Wine prefix in $WINEPREFIX"
    timeout 900 "$wine" wineboot -i </dev/null >"$OUT/wineboot-$tree.log" 2>&1 ||
        { cat "$OUT/wineboot-$tree.log"; die "wineboot failed"; }
    timeout 300 "$WINESERVER" -w || die "wineserver did not settle after wineboot"
    # No persistent server (wineserver -p): Wine's own service processes would then outlive a
    # test and hold ctest's output pipe open until the test times out.

    (cd "$ROOT" && ctest --preset "$tree")
    "$WINESERVER" -k 2>/dev/null || true
    WINESERVER=""
    stage_done
    [ "$tree" = win64 ] || return 0

    stage "Windows packages (release zip with win32 and x64, NSIS installer round trip under wine64)"
    [ -f "$ROOT/build-win32/CMakeCache.txt" ] && [ -f "$ROOT/build-linux/CMakeCache.txt" ] ||
        die "the installer needs the win32 and linux trees (stages win32 and linux)"
    local tree zip
    for tree in win32 win64; do (cd "$ROOT/build-$tree" && rm -rf packages && cpack -G ZIP >/dev/null); done
    zip=$(bash "$ROOT/scripts/combine-windows-zips.sh" "$ROOT"/build-win32/packages/vexo-j2534-*-windows-win32.zip \
        "$ROOT"/build-win64/packages/vexo-j2534-*-windows-x64.zip "$OUT/release")
    NO_WINE=0 bash "$ROOT/scripts/check-packages.sh" "$zip"
    local setup version
    setup=$(bash "$ROOT/scripts/build-installer.sh" "$ROOT/build-win32" "$ROOT/build-win64" "$ROOT/build-linux" \
        "$OUT/installer")
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$ROOT/build-win64/CMakeCache.txt")
    [ "$(basename "$setup")" = "vexo-j2534-$version-test-setup.exe" ] || die "installer named $(basename "$setup")"
    bash "$ROOT/scripts/check-installer.sh" "$setup" "$version"
    stage_done
}

# ---------------------------------------------------------------------------------------------
NOT_RUN=()
run() {  # stage-name command...
    if wanted "$1"; then "${@:2}"; else NOT_RUN+=("$1"); fi
}
run packages install_packages
if command -v ccache >/dev/null; then
    # With debug information ccache also hashes the working directory, so the sanitizer builds
    # would miss in another clone; a hit's debug information may name the clone that compiled it.
    export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR=$ROOT CCACHE_NOHASHDIR=1
    CCACHE=yes
fi
if wanted wine32 || wanted wine64; then probe_i386; fi
if wanted linux; then
    workflow linux
    linux_packages
else
    NOT_RUN+=(linux)
fi
run asan workflow asan
if wanted tsan; then find_tsan_runner; fi
run tsan workflow tsan "${TSAN_RUNNER[@]}"
run fuzz workflow fuzz
run win32 workflow win32
run win64 workflow win64
run wine32 wine_tests win32
run wine64 wine_tests win64

printf '\n======== summary ========\n'
[ ${#PASSED[@]} -eq 0 ] || printf '  passed: %s\n' "${PASSED[@]}"
[ ${#SKIPPED[@]} -eq 0 ] || printf '  !!!!!!: %s\n' "${SKIPPED[@]}"
[ ${#NOT_RUN[@]} -eq 0 ] || printf '  not run (VEXO_STAGES): %s\n' "${NOT_RUN[*]}"
printf 'test-all.sh: all %d stages passed in %d s\n' "${#PASSED[@]}" $((SECONDS - STARTED))
