#!/usr/bin/env bash
# Sets up a Debian machine and runs every check of the project:
#   Linux build with -Werror and its tests (the end-to-end ones also through the system's libusb
#   and the usbfs model of the cable); the tests again under ASan+UBSan and under TSan;
#   the .so's export list; the 32-bit Windows cross-build, its DLL's exports and imports, and
#   every Windows test executable under Wine.
# SKIP_APT=1 skips package installation (quick local reruns). JOBS sets build parallelism (2).
# VEXO_BUILD_ROOT moves the build trees (default: build-ci/ in the source tree).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
OUT=${VEXO_BUILD_ROOT:-$ROOT/build-ci}
JOBS=${JOBS:-2}
# CI may start with a bare environment; Wine wants a home.
export HOME=${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}
# The exports, from their one list; the Windows DLL also has the names marked "windows" there.
EXPORTS=$(sed -n '/^[A-Za-z]/{/ windows$/!p}' "$ROOT/src/api/exports.txt")
DLL_EXPORTS="$EXPORTS $(sed -n 's/ windows$//p' "$ROOT/src/api/exports.txt")"
# Imports a shipped DLL may have: Windows' own system libraries only.
SYSTEM_DLLS="kernel32.dll msvcrt.dll ntdll.dll advapi32.dll user32.dll setupapi.dll cfgmgr32.dll
ole32.dll shell32.dll winusb.dll ws2_32.dll"

STAGE="setup"
STARTED=$SECONDS
PASSED=()
WINESERVER_STARTED=0

stage() {
    STAGE=$1
    STAGE_START=$SECONDS
    printf '\n======== %s ========\n' "$STAGE"
}
stage_done() {
    PASSED+=("$STAGE ($((SECONDS - STAGE_START)) s)")
    printf -- '-------- %s: passed in %d s\n' "$STAGE" $((SECONDS - STAGE_START))
}
die() {
    printf '\n*** %s\n' "$*" >&2
    exit 1
}
on_exit() {
    local rc=$?
    if [ "$WINESERVER_STARTED" = 1 ]; then wineserver -k 2>/dev/null || true; fi
    if [ $rc -ne 0 ]; then
        printf '\n*** test-all.sh FAILED in stage "%s" (exit %d) after %d s\n' "$STAGE" $rc $((SECONDS - STARTED)) >&2
    fi
}
trap on_exit EXIT

sorted_words() { tr -s ' \n\t' '\n\n\n' | sed '/^$/d' | sort; }

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
            cmake ninja-build g++ pkg-config binutils file \
            libusb-1.0-0-dev libgtest-dev libgmock-dev googletest libbenchmark-dev umockdev libumockdev-dev \
            gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix binutils-mingw-w64-i686 \
            wine wine32:i386
    fi
    local tool
    for tool in cmake ninja g++ pkg-config nm i686-w64-mingw32-g++-posix i686-w64-mingw32-objdump wine wineboot \
        wineserver winepath setarch timeout; do
        command -v "$tool" >/dev/null || die "missing tool: $tool"
    done
    [ -f /usr/src/googletest/CMakeLists.txt ] || die "missing /usr/src/googletest (package googletest)"
    stage_done
}

# ---------------------------------------------------------------------------------------------
linux_build() {
    stage "Linux build (-Werror) and tests"
    # Release, as the packages ship it; without debug info the build takes a third less time.
    cmake -S "$ROOT" -B "$OUT/linux" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
    cmake --build "$OUT/linux" -j"$JOBS"
    # Without umockdev the build leaves the usbfs path out silently; CI must not.
    local usbfs_tests
    usbfs_tests=$(ctest --test-dir "$OUT/linux" -N -R '^e2e_usbfs\.')
    grep -q '^Total Tests: [1-9]' <<<"$usbfs_tests" ||
        die "no e2e_usbfs tests: is umockdev (libumockdev-dev) installed?"
    ctest --test-dir "$OUT/linux" -j"$JOBS" --output-on-failure --no-tests=error
    stage_done

    stage "Linux export list (nm -D)"
    local so="$OUT/linux/libvexo_j2534_0404.so"
    [ -f "$so" ] || die "$so not built"
    local got
    got=$(nm -D --defined-only "$so" | awk '{print $NF}' | sorted_words)
    if [ "$got" != "$(echo "$EXPORTS" | sorted_words)" ]; then
        diff <(echo "$EXPORTS" | sorted_words) <(echo "$got") || true
        die "libvexo_j2534_0404.so must export exactly the fourteen PassThru functions"
    fi
    echo "libvexo_j2534_0404.so exports exactly the $(echo "$got" | wc -l) PassThru functions"
    stage_done
}

# ---------------------------------------------------------------------------------------------
# GCC 12's TSan cannot map its shadow under the high mmap randomisation of newer kernels.
# Find what works here: nothing, no randomisation for the test processes, or less entropy.
TSAN_PREFIX=()
find_tsan_runner() {
    local dir="$OUT/tsan-probe"
    mkdir -p "$dir"
    printf '#include <thread>\nint v;\nint main() { std::thread t([] { v = 1; }); t.join(); return v - 1; }\n' \
        >"$dir/probe.cpp"
    g++ -std=c++20 -fsanitize=thread -O1 "$dir/probe.cpp" -o "$dir/probe"
    if "$dir/probe" >/dev/null 2>&1; then
        TSAN_PREFIX=()
    elif setarch "$(uname -m)" -R "$dir/probe" >/dev/null 2>&1; then
        TSAN_PREFIX=(setarch "$(uname -m)" -R)
    elif { echo 28 >/proc/sys/vm/mmap_rnd_bits; } 2>/dev/null && "$dir/probe" >/dev/null 2>&1; then
        TSAN_PREFIX=()
    else
        "$dir/probe" || true
        die "ThreadSanitizer cannot run on this machine (tried setarch -R and vm.mmap_rnd_bits=28)"
    fi
    echo "TSan runner prefix: ${TSAN_PREFIX[*]:-(none)}"
}

sanitizer_build() {  # name VEXO_SANITIZE-value
    local name=$1 kind=$2
    stage "$name build and tests"
    # Discovery at test time, so the test binaries only ever run under the chosen runner.
    # Line tables (-g1) are all a sanitizer report needs for file:line, at less build time.
    cmake -S "$ROOT" -B "$OUT/$name" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVEXO_SANITIZE="$kind" \
        -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCMAKE_C_FLAGS_DEBUG=-g1 \
        -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST
    cmake --build "$OUT/$name" -j"$JOBS" --target vexo_tests
    if [ "$kind" = thread ]; then
        TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
            "${TSAN_PREFIX[@]}" ctest --test-dir "$OUT/$name" -j"$JOBS" --output-on-failure --no-tests=error
    else
        ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1" \
            UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
            ctest --test-dir "$OUT/$name" -j"$JOBS" --output-on-failure --no-tests=error
    fi
    stage_done
}

# ---------------------------------------------------------------------------------------------
windows_build() {
    stage "Windows cross-build and DLL checks"
    cmake -S "$ROOT" -B "$OUT/win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake"
    cmake --build "$OUT/win" -j"$JOBS"

    local dll="$OUT/win/vexo_j2534_0404.dll" dump got imports bad=""
    [ -f "$dll" ] || die "$dll not built"
    dump=$(i686-w64-mingw32-objdump -p "$dll")
    grep -q 'file format pei-i386' <<<"$dump" || die "$dll is not a 32-bit PE image"
    got=$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' |
        sorted_words)
    if [ "$got" != "$(echo "$DLL_EXPORTS" | sorted_words)" ]; then
        diff <(echo "$DLL_EXPORTS" | sorted_words) <(echo "$got") || true
        die "vexo_j2534_0404.dll must export exactly the fourteen undecorated PassThru names," \
            "DllRegisterServer and DllUnregisterServer"
    fi
    echo "vexo_j2534_0404.dll exports exactly the $(echo "$got" | wc -l) undecorated names:" \
        "the PassThru functions, DllRegisterServer and DllUnregisterServer"
    imports=$(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '[:upper:]' '[:lower:]' | sort -u)
    for d in $imports; do
        echo " $SYSTEM_DLLS " | tr '\n' ' ' | grep -q " $d " || bad="$bad $d"
    done
    [ -z "$bad" ] || die "vexo_j2534_0404.dll imports non-system DLLs:$bad"
    echo "vexo_j2534_0404.dll imports only system DLLs:" $imports
    stage_done
}

wine_tests() {
    stage "Windows tests under Wine"
    export WINEPREFIX="$OUT/wineprefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    unset DISPLAY WAYLAND_DISPLAY
    # Wine maps Windows file names to Unix ones through the locale's charset: without UTF-8,
    # non-ASCII paths cannot exist.
    export LANG=C.UTF-8 LC_ALL=C.UTF-8
    rm -rf "$WINEPREFIX"
    # The first start builds the prefix; it can be slow, but must never hang the run.
    echo "creating a fresh Wine prefix in $WINEPREFIX"
    timeout 900 wineboot -i </dev/null >"$OUT/wineboot.log" 2>&1 || { cat "$OUT/wineboot.log"; die "wineboot failed"; }
    WINESERVER_STARTED=1
    timeout 300 wineserver -w || die "wineserver did not settle after wineboot"
    # No persistent server (wineserver -p): Wine's own service processes would then outlive a
    # test and hold ctest's output pipe open until the test times out.

    # Every test executable in the cross build must run in one of ctest's tests: whole, or case by
    # case (a runner with a process per test), so look for it in the tests' commands.
    local exe missing="" commands
    commands=$(ctest --test-dir "$OUT/win" --show-only=json-v1)
    while IFS= read -r exe; do
        echo "$commands" | grep -qF "/$(basename "$exe")\"" || missing="$missing $(basename "$exe" .exe)"
    done < <(find "$OUT/win" -name '*_tests.exe' -not -path '*/googletest/*')
    [ -z "$missing" ] || die "test executables not registered with ctest:$missing"
    echo "every Windows test executable is registered with ctest"

    ctest --test-dir "$OUT/win" --output-on-failure --no-tests=error
    stage_done
}

# ---------------------------------------------------------------------------------------------
install_packages
linux_build
find_tsan_runner
sanitizer_build asan address
sanitizer_build tsan thread
windows_build
wine_tests

printf '\n======== summary ========\n'
printf '  passed: %s\n' "${PASSED[@]}"
printf 'test-all.sh: all %d stages passed in %d s\n' "${#PASSED[@]}" $((SECONDS - STARTED))
