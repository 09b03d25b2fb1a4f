#!/bin/sh
# A capture of the simulated bus, written by `monitor --log`, read back by can-utils' log2asc.
# usage: capture_to_log2asc.sh VEXO LOG2ASC WORK_DIR
set -eu
vexo=$1 log2asc=$2 dir=$3
rm -rf "$dir"
mkdir -p "$dir"
fail() { echo "$1"; for f in "$dir"/*; do echo "--- $f"; cat "$f"; done; exit 1; }

TEMP=$dir "$vexo" --sim --sim-vehicle busload:2000 monitor --count 6 --filter 100 --filter 102 \
    --log "$dir/capture.log" >"$dir/screen.txt" 2>"$dir/stderr.txt" || fail "vexo monitor failed"
# The screen keeps its table; the file has candump's lines, and only the IDs asked for.
[ "$(grep -cE '^\([0-9]{4}\.[0-9]{6}\)  10[02]   \[8\]  ' "$dir/screen.txt")" = 6 ] || fail "screen is not the table"
[ "$(grep -cE '^\([0-9]{10}\.[0-9]{6}\) vexo0 10[02]#[0-9A-F]{16}$' "$dir/capture.log")" = 6 ] ||
    fail "capture.log is not 6 candump lines of IDs 100 and 102"
"$log2asc" -I "$dir/capture.log" vexo0 >"$dir/capture.asc" || fail "log2asc refused the capture"
[ "$(grep -cE '^ +[0-9]+\.[0-9]{6} 1  10[02] +Rx +d 8( [0-9A-F]{2}){8}' "$dir/capture.asc")" = 6 ] ||
    fail "log2asc did not find the 6 frames"
