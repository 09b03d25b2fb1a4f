#!/usr/bin/env bash
# The first thing to run on a fresh Debian machine: installs the build tools, builds the library, the
# simulated cable and the vexo client (Release, in build-demo/), then talks to the simulated car:
# vexo --sim info, vin and obd. No cable needed.
# SKIP_APT=1 skips the package installation. JOBS sets build parallelism (2).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=$ROOT/build-demo
JOBS=${JOBS:-2}

if [ "${SKIP_APT:-0}" != 1 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    export DEBIAN_FRONTEND=noninteractive
    echo "== installing the build tools (SKIP_APT=1 skips this)"
    $sudo apt-get update -q
    $sudo apt-get install -y -q cmake ninja-build g++ pkg-config libusb-1.0-0-dev \
        libcli11-dev nlohmann-json3-dev libgtest-dev libgmock-dev libbenchmark-dev
fi

echo "== building in $BUILD"
mkdir -p "$BUILD"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release >"$BUILD/configure.log" 2>&1 ||
    { cat "$BUILD/configure.log"; exit 1; }
# The client, the library and the simulated cable; 'cmake --build build-demo' builds the tests too.
cmake --build "$BUILD" -j"$JOBS" --target vexo vexo_j2534_0404 vexo_sim_usb

# The library appends a trace of every call to j2534-0404.log in $TEMP.
export TEMP=${TEMP:-${TMPDIR:-/tmp}}
vexo=$BUILD/tools/vexo
for command in info vin obd; do
    printf '\n$ build-demo/tools/vexo --sim %s\n' "$command"
    "$vexo" --sim "$command"
done

printf '\nMore: build-demo/tools/vexo --help, and with --sim: dtc, uds 22 F1 90, monitor, kline.\n'
if [ -f "$TEMP/j2534-0404.log" ]; then
    printf 'Every J2534 call and cable byte of these runs is in %s\n' "$TEMP/j2534-0404.log"
fi
