#!/bin/sh
# --trace-dir moves the library's trace for one run, --no-trace stops it: both through TEMP, the
# directory the library itself reads.
# usage: trace_steering.sh VEXO WORK_DIR
set -eu
vexo=$1 dir=$2
rm -rf "$dir"
mkdir -p "$dir"
log=$dir/j2534-0404.log
TEMP=/nonexistent "$vexo" --sim --trace-dir "$dir" info >/dev/null
[ "$(grep -c 'PassThruOpen' "$log")" -ge 1 ] || { echo "--trace-dir: no trace in $dir"; exit 1; }
before=$(wc -c <"$log")
TEMP=$dir "$vexo" --sim --no-trace info >/dev/null
[ "$(wc -c <"$log")" = "$before" ] || { echo "--no-trace: the trace grew"; exit 1; }
