#!/usr/bin/env bash
# Sets up a Debian machine and runs every check of the project:
#   Linux build with -Werror, its tests (the end-to-end ones also through the system's libusb and
#   the usbfs model of the cable) and one short run of every benchmark; the tests again under
#   ASan+UBSan and under TSan; the fuzz targets for a minute each under ASan+UBSan; both .so's
#   export lists; the Debian package and tarball built by cpack from the Release tree, linted,
#   installed, run and removed; the 32- and 64-bit Windows cross-builds with their DLLs' exports
#   and imports;
#   every Windows test executable under 64-bit Wine, and under 32-bit Wine where the host can
#   execute i386 code (some hosts cannot: that stage is then skipped, loudly); the Windows zip and the
#   NSIS installer, installed, run and uninstalled under 64-bit Wine.
# SKIP_APT=1 skips package installation (quick local reruns). JOBS sets build parallelism (2).
# VEXO_BUILD_ROOT moves the build trees (default: build-ci/ in the source tree).
# VEXO_STAGES runs only the named stages (packages linux asan tsan fuzz win32 win64 wine32 wine64);
# the summary lists the others as not run. VEXO_FORCE_NO_I386=1 acts as a host without i386.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
OUT=${VEXO_BUILD_ROOT:-$ROOT/build-ci}
JOBS=${JOBS:-2}
# CI may start with a bare environment; Wine wants a home.
export HOME=${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}
# The exports, from their one list; the Windows DLL also has the two regsvr32 calls.
EXPORTS=$(bash "$ROOT/scripts/export-names.sh")
DLL_EXPORTS="$EXPORTS $(bash "$ROOT/scripts/export-names.sh" registration)"
# Imports a shipped DLL may have: Windows' own system libraries only.
SYSTEM_DLLS="kernel32.dll msvcrt.dll ntdll.dll advapi32.dll user32.dll setupapi.dll cfgmgr32.dll
ole32.dll shell32.dll winusb.dll ws2_32.dll"

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
    if [ -n "$WINESERVER" ]; then "$WINESERVER" -k 2>/dev/null || true; fi
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

# ---------------------------------------------------------------------------------------------
linux_build() {
    stage "Linux build (-Werror) and tests"
    # Release, as the packages ship it; without debug info the build takes a third less time.
    cmake -S "$ROOT" --preset release -B "$OUT/linux"
    cmake --build "$OUT/linux" -j"$JOBS"
    # Without umockdev the build leaves the usbfs path out silently; CI must not.
    local usbfs_tests
    usbfs_tests=$(ctest --test-dir "$OUT/linux" -N -R '^e2e_usbfs\.')
    grep -q '^Total Tests: [1-9]' <<<"$usbfs_tests" ||
        die "no e2e_usbfs tests: is umockdev (libumockdev-dev) installed?"
    # Nor the clients nobody here wrote, when their packages are missing.
    [ "$(ctest --test-dir "$OUT/linux" -N -R '^vexo_e2e\.(canbusutil|qt_passthrucan)' | grep -c '^ *Test *#')" = 2 ] ||
        die "Qt's passthrucan clients are not registered: are libqt6serialbus6-bin and qt6-serialbus-dev installed?"
    grep -q '^Total Tests: [1-9]' <<<"$(ctest --test-dir "$OUT/linux" -N -R '^python\.')" ||
        die "no python-can interface tests: are python3-can and python3-pytest installed?"
    ctest --test-dir "$OUT/linux" -j"$JOBS" --output-on-failure --no-tests=error
    # Every benchmark once, briefly: a smoke run that must not fail; its figures are not judged.
    local bench
    for bench in vexo_bench vexo_receive_frame_bench; do
        [ -x "$OUT/linux/bench/$bench" ] || die "benchmark $bench not built (libbenchmark-dev missing?)"
        "$OUT/linux/bench/$bench" --benchmark_min_time=0.01
    done
    LD_LIBRARY_PATH="$OUT/linux/sim/simusb" "$OUT/linux/bench/vexo_receive_bench" --benchmark_min_time=0.01
    stage_done

    stage "Linux export lists (nm -D)"
    local so got
    for so in libvexo_j2534_0404.so libvexo_j2534_0404_fixed32.so; do
        [ -f "$OUT/linux/$so" ] || die "$OUT/linux/$so not built"
        got=$(nm -D --defined-only "$OUT/linux/$so" | awk '{print $NF}' | sorted_words)
        if [ "$got" != "$(echo "$EXPORTS" | sorted_words)" ]; then
            diff <(echo "$EXPORTS" | sorted_words) <(echo "$got") || true
            die "$so must export exactly the fourteen PassThru functions"
        fi
        echo "$so exports exactly the $(echo "$got" | wc -l) PassThru functions"
    done
    stage_done

    stage "Linux packages (cpack: .deb and tarball; lintian; install, run, remove)"
    bash "$ROOT/scripts/check-linux-packages.sh" "$OUT/linux"
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

sanitizer_build() {  # preset: asan|tsan
    local name=$1
    stage "$name build and tests"
    cmake -S "$ROOT" --preset "$name" -B "$OUT/$name"
    cmake --build "$OUT/$name" -j"$JOBS" --target vexo_tests
    if [ "$name" = tsan ]; then
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
# Coverage-guided fuzzing under ASan+UBSan, each target for FUZZ_SECONDS (60), both at once
# (one per core). Any finding fails the stage; its input is kept beside the log.
FUZZ_TARGETS="receive marshalling"
fuzz_targets() {
    stage "fuzz"
    cmake -S "$ROOT" -B "$OUT/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVEXO_SANITIZE=address -DVEXO_FUZZ=ON \
        -DBUILD_TESTING=OFF -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCMAKE_C_FLAGS_DEBUG=-g1 -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
    local name targets=() pids=() failed=""
    for name in $FUZZ_TARGETS; do targets+=("vexo_${name}_fuzz"); done
    cmake --build "$OUT/fuzz" -j"$JOBS" --target "${targets[@]}"
    for name in $FUZZ_TARGETS; do
        local dir="$OUT/fuzz/run-$name"
        rm -rf "$dir" && mkdir -p "$dir/corpus"
        # New inputs go to the run's own corpus; the repository's seeds are only read.
        ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
            "$OUT/fuzz/fuzz/vexo_${name}_fuzz" -max_total_time="${FUZZ_SECONDS:-60}" -timeout=10 -rss_limit_mb=2048 \
            -print_final_stats=1 -artifact_prefix="$dir/" "$dir/corpus" "$ROOT/fuzz/corpus/$name" >"$dir/log" 2>&1 &
        pids+=($!)
    done
    local i=0
    for name in $FUZZ_TARGETS; do
        if ! wait "${pids[$i]}"; then
            tail -n 60 "$OUT/fuzz/run-$name/log" >&2
            failed="$failed $name"
        fi
        i=$((i + 1))
        echo "$name: $(grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' \
            "$OUT/fuzz/run-$name/log" | tr '\n' ' ')"
    done
    [ -z "$failed" ] || die "fuzzing found faults in:$failed (inputs in $OUT/fuzz/run-*/)"
    stage_done
}

# ---------------------------------------------------------------------------------------------
windows_build() {  # win32|win64
    local tree=$1 arch format extra=()
    case $tree in
        win32) arch=i686 format=pei-i386 ;;
        win64) arch=x86_64 format=pei-x86-64
            # Where the host runs 32-bit code, the 64-bit prefix registers both DLLs side by side.
            [ "$I386" != yes ] || extra=(-DVEXO_WIN32_DLL="$OUT/win32/vexo_j2534_0404.dll") ;;
    esac
    stage "Windows $tree cross-build and DLL checks"
    # A test build: the zip and the installer ship the simulated cable as libusb-1.0.dll (the real
    # one is cross-built from Debian's source by scripts/package.sh only), with the LGPL-2.1 text
    # from Debian's common-licenses standing in for its COPYING, and say "test" in their names.
    cmake -S "$ROOT" --preset "$tree" -B "$OUT/$tree" -DVEXO_WIN32_DLL= "${extra[@]}" -DVEXO_TEST_PACKAGE=ON \
        -DVEXO_LIBUSB_DLL="$OUT/$tree/sim/simusb/libusb-1.0.dll" -DVEXO_LIBUSB_LICENSE=/usr/share/common-licenses/LGPL-2.1 \
        -DVEXO_LIBUSB_VERSION="(test build: the simulated cable's stand-in)"
    cmake --build "$OUT/$tree" -j"$JOBS"

    local dll="$OUT/$tree/vexo_j2534_0404.dll" dump got imports bad=""
    [ -f "$dll" ] || die "$dll not built"
    dump=$("$arch-w64-mingw32-objdump" -p "$dll")
    grep -q "file format $format" <<<"$dump" || die "$dll is not a $format image"
    got=$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' |
        sorted_words)
    if [ "$got" != "$(echo "$DLL_EXPORTS" | sorted_words)" ]; then
        diff <(echo "$DLL_EXPORTS" | sorted_words) <(echo "$got") || true
        die "$tree vexo_j2534_0404.dll must export exactly the fourteen undecorated PassThru names," \
            "DllRegisterServer and DllUnregisterServer"
    fi
    echo "$tree vexo_j2534_0404.dll ($format) exports exactly the $(echo "$got" | wc -l) undecorated names:" \
        "the PassThru functions, DllRegisterServer and DllUnregisterServer"
    imports=$(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '[:upper:]' '[:lower:]' | sort -u)
    for d in $imports; do
        echo " $SYSTEM_DLLS " | tr '\n' ' ' | grep -q " $d " || bad="$bad $d"
    done
    [ -z "$bad" ] || die "$tree vexo_j2534_0404.dll imports non-system DLLs:$bad"
    echo "$tree vexo_j2534_0404.dll imports only system DLLs:" $imports
    stage_done
}

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
    local tree=$1
    if [ "$tree" = win32 ] && [ "$I386" = no ]; then
        printf '\n!!!!!!!! %s\n' "$I386_SKIP"
        SKIPPED+=("$I386_SKIP")
        return
    fi
    stage "Windows $tree tests under Wine"
    [ -f "$OUT/$tree/CTestTestfile.cmake" ] || die "no $tree build in $OUT/$tree (stage $tree)"
    export WINEPREFIX="$OUT/wineprefix-$tree" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    local wine
    if [ "$tree" = win64 ]; then
        # 64-bit Wine directly: Debian's wrapper picks wine32 wherever it is installed.
        export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
        wine=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
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
    echo "creating a fresh $WINEARCH Wine prefix in $WINEPREFIX"
    timeout 900 "$wine" wineboot -i </dev/null >"$OUT/wineboot-$tree.log" 2>&1 ||
        { cat "$OUT/wineboot-$tree.log"; die "wineboot failed"; }
    timeout 300 "$WINESERVER" -w || die "wineserver did not settle after wineboot"
    # No persistent server (wineserver -p): Wine's own service processes would then outlive a
    # test and hold ctest's output pipe open until the test times out.

    # Every test executable in the cross build must run in one of ctest's tests: whole, or case by
    # case (a runner with a process per test), so look for it in the tests' commands.
    local exe missing="" commands
    commands=$(ctest --test-dir "$OUT/$tree" --show-only=json-v1)
    while IFS= read -r exe; do
        grep -qF "/$(basename "$exe")\"" <<<"$commands" || missing="$missing $(basename "$exe" .exe)"
    done < <(find "$OUT/$tree" -name '*_tests.exe' -not -path '*/googletest/*')
    [ -z "$missing" ] || die "test executables not registered with ctest:$missing"
    echo "every Windows test executable is registered with ctest"

    ctest --test-dir "$OUT/$tree" --output-on-failure --no-tests=error
    "$WINESERVER" -k 2>/dev/null || true
    WINESERVER=""
    stage_done
    [ "$tree" = win64 ] || return 0

    stage "Windows packages (release zip with win32 and x64, NSIS installer round trip under wine64)"
    [ -f "$OUT/win32/CMakeCache.txt" ] && [ -f "$OUT/linux/CMakeCache.txt" ] ||
        die "the installer needs the win32 and linux trees (stages win32 and linux)"
    local tree zip
    for tree in win32 win64; do (cd "$OUT/$tree" && rm -rf packages && cpack -G ZIP >/dev/null); done
    zip=$(bash "$ROOT/scripts/combine-windows-zips.sh" "$OUT"/win32/packages/vexo-j2534-*-windows-win32.zip \
        "$OUT"/win64/packages/vexo-j2534-*-windows-x64.zip "$OUT/release")
    NO_WINE=0 bash "$ROOT/scripts/check-packages.sh" "$zip"
    local setup version
    setup=$(bash "$ROOT/scripts/build-installer.sh" "$OUT/win32" "$OUT/win64" "$OUT/linux" "$OUT/installer")
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$OUT/win64/CMakeCache.txt")
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
# A rerun on the same machine reuses the compilations whose inputs did not change. Paths below the
# checkout are hashed relative to it, so another clone of the same commit hits the same entries.
ccache_counts() {  # "hits misses" so far
    ccache --print-stats 2>/dev/null | awk -F'\t' '$1 == "direct_cache_hit" || $1 == "preprocessed_cache_hit" { hit += $2 }
        $1 == "cache_miss" { miss = $2 } END { print hit + 0, miss + 0 }'
}
if command -v ccache >/dev/null; then
    export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR=$ROOT
    read -r CCACHE_HITS CCACHE_MISSES < <(ccache_counts)
fi
if wanted wine32 || wanted win64; then probe_i386; fi
run linux linux_build
if wanted tsan; then find_tsan_runner; fi
run asan sanitizer_build asan
run tsan sanitizer_build tsan
run fuzz fuzz_targets
run win32 windows_build win32
run win64 windows_build win64
run wine32 wine_tests win32
run wine64 wine_tests win64

printf '\n======== summary ========\n'
[ ${#PASSED[@]} -eq 0 ] || printf '  passed: %s\n' "${PASSED[@]}"
[ ${#SKIPPED[@]} -eq 0 ] || printf '  !!!!!!: %s\n' "${SKIPPED[@]}"
[ ${#NOT_RUN[@]} -eq 0 ] || printf '  not run (VEXO_STAGES): %s\n' "${NOT_RUN[*]}"
if [ -n "${CCACHE_HITS:-}" ]; then
    read -r hits misses < <(ccache_counts)
    printf '  compiler cache: %d hits, %d misses\n' $((hits - CCACHE_HITS)) $((misses - CCACHE_MISSES))
fi
printf 'test-all.sh: all %d stages passed in %d s\n' "${#PASSED[@]}" $((SECONDS - STARTED))
