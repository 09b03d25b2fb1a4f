#!/usr/bin/env bash
# The i386 probe both ways, and test-all.sh around it: a host that cannot execute i386 code skips
# the 32-bit Wine stage with one loud line (stage and summary) and goes on; real errors still fail.
# Needs no Wine and no cross build: loaders are stand-ins, the host kind is forced.
set -uo pipefail
# Each case says what it forces: a whole run made with VEXO_FORCE_NO_I386=1 must not force them all.
unset VEXO_FORCE_NO_I386 VEXO_STAGES VEXO_WINE32
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
passes=0
check() {  # description, then the condition's exit status in $?
    local rc=$?
    if [ $rc -eq 0 ]; then passes=$((passes + 1)); echo "ok: $1"; else failures=$((failures + 1)); echo "FAILED: $1"; fi
}
probe() { bash "$ROOT/scripts/host-runs-i386.sh" >"$work/probe.out" 2>&1; echo $?; }

printf '#!/bin/sh\necho "wine-8.0 (stand-in)"\n' >"$work/runs" && chmod +x "$work/runs"
# An i386 ELF header the kernel is not asked to understand: an unknown machine type.
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\377\377' >"$work/foreign" && chmod +x "$work/foreign"
printf '#!/bin/sh\nsleep 30\n' >"$work/hangs" && chmod +x "$work/hangs"
printf '#!/bin/sh\necho "broken install" >&2\nexit 3\n' >"$work/fails" && chmod +x "$work/fails"

[ "$(VEXO_WINE32="$work/runs" probe)" = 0 ] && grep -q "runs (wine-8.0 (stand-in))" "$work/probe.out"
check "a loader that runs: the host executes i386 code"
[ "$(VEXO_WINE32="$work/foreign" probe)" = 1 ] && grep -q "Exec format error" "$work/probe.out"
check "a loader the kernel will not execute: the host cannot (exit 1)"
[ "$(VEXO_FORCE_NO_I386=1 VEXO_WINE32="$work/runs" probe)" = 1 ]
check "VEXO_FORCE_NO_I386=1 says cannot, whatever the loader"
[ "$(VEXO_WINE32="$work/missing" probe)" = 2 ] && grep -q "is missing" "$work/probe.out"
check "a missing loader is an error, not a host kind (exit 2)"
start=$SECONDS
[ "$(VEXO_I386_PROBE_TIMEOUT=1 VEXO_WINE32="$work/hangs" probe)" = 2 ] && [ $((SECONDS - start)) -lt 10 ]
check "a loader that hangs is cut off and is an error"
[ "$(VEXO_WINE32="$work/fails" probe)" = 2 ] && grep -q "exit 3" "$work/probe.out"
check "a loader that fails otherwise is an error"

skip_line="32-bit Windows tests skipped: this host cannot execute i386 code; the 32-bit DLL was checked statically"
# test-all.sh from a checkout of its own, without build trees: the stages that need one fail.
mkdir -p "$work/checkout/scripts" && cp "$ROOT/scripts/test-all.sh" "$ROOT/scripts/host-runs-i386.sh" "$work/checkout/scripts/"
run_all() { SKIP_APT=1 bash "$work/checkout/scripts/test-all.sh" >"$work/all.out" 2>&1; echo $?; }

[ "$(VEXO_FORCE_NO_I386=1 VEXO_STAGES=wine32 run_all)" = 0 ] &&
    [ "$(grep -cF "$skip_line" "$work/all.out")" = 2 ] &&
    grep -qF "not run (VEXO_STAGES): packages linux asan tsan fuzz win32 win64 wine64" "$work/all.out"
check "forced: the 32-bit Wine stage is skipped with the loud line, in the stage and in the summary"
cat "$work/all.out" | sed 's/^/    /'

[ "$(VEXO_FORCE_NO_I386=1 VEXO_STAGES=wine32,wine64 run_all)" != 0 ] &&
    grep -qF 'FAILED in stage "Windows win64 tests under Wine"' "$work/all.out" &&
    grep -qF "$skip_line" "$work/all.out"
check "forced: a failing 64-bit stage still fails the run"

[ "$(VEXO_WINE32="$work/fails" VEXO_STAGES=wine32 run_all)" != 0 ] &&
    grep -qF "the i386 probe failed" "$work/all.out" && ! grep -qF "$skip_line" "$work/all.out"
check "a probe error fails the run instead of skipping"

echo "$passes passed, $failures failed"
[ $failures -eq 0 ]
