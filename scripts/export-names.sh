#!/usr/bin/env bash
# The names the shipped libraries export, one a line, read where each is written once: the
# fourteen functions of VEXO_J2534_FUNCTIONS in include/vexo/j2534.h; with "registration", the two
# functions regsvr32 calls, which only the Windows DLL has (src/api/self_registration_exports.cpp).
# usage: export-names.sh [registration]
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
case "${1:-}" in
    "") sed -n 's/^[[:space:]]*X(\(PassThru[A-Za-z]*\), .*/\1/p' "$ROOT/include/vexo/j2534.h" ;;
    registration) sed -n 's/.*__stdcall \(Dll[A-Za-z]*\)(.*/\1/p' "$ROOT/src/api/self_registration_exports.cpp" ;;
    *) echo "usage: export-names.sh [registration]" >&2; exit 2 ;;
esac
