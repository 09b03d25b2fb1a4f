#!/usr/bin/env bash
# Can this host execute 32-bit x86 code? Some of our machines run 64-bit user code only: there every
# i386 program, wine32 included, fails with "Exec format error".
#   exit 0  yes: wine32 starts
#   exit 1  no: the kernel refuses i386 programs (or VEXO_FORCE_NO_I386=1 says to act as if)
#   exit 2  neither: the loader is missing, hangs or fails otherwise (a broken setup, not a host kind)
# VEXO_WINE32 names the loader to try (/usr/lib/wine/wine); VEXO_I386_PROBE_TIMEOUT bounds it (20 s).
set -uo pipefail
loader=${VEXO_WINE32:-/usr/lib/wine/wine}
limit=${VEXO_I386_PROBE_TIMEOUT:-20}

if [ "${VEXO_FORCE_NO_I386:-0}" = 1 ]; then
    echo "i386 probe: VEXO_FORCE_NO_I386=1, acting as a host that cannot execute i386 code"
    exit 1
fi
if [ ! -e "$loader" ]; then
    echo "i386 probe: $loader is missing (package wine32:i386)" >&2
    exit 2
fi
# Started through bash, which reports a file the kernel will not execute as exit 126 ("Exec format
# error") instead of handing it to /bin/sh as execvp would; timeout exits 124 when time ran out.
out=$(timeout --kill-after=5 "$limit" bash -c 'exec "$0" --version' "$loader" </dev/null 2>&1)
rc=$?
case $rc in
    0) echo "i386 probe: $loader runs ($out)"; exit 0 ;;
    126) echo "i386 probe: $loader cannot be executed here: ${out:-Exec format error}"; exit 1 ;;
    124|137) echo "i386 probe: $loader --version did not finish within ${limit} s" >&2; exit 2 ;;
    *) echo "i386 probe: $loader --version failed (exit $rc): $out" >&2; exit 2 ;;
esac
