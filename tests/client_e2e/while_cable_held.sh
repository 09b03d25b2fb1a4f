#!/bin/sh
# while_cable_held.sh VEXO ARGS...: runs `VEXO ARGS...` while another vexo holds the cable
# (vexo monitor, started first and stopped with Ctrl-C afterwards); exits as `VEXO ARGS...` did.
vexo=$1
shift
held="${TEMP:-/tmp}/holder.out"
"$vexo" monitor >"$held" 2>&1 &
holder=$!
# The holder has claimed the cable once it prints its banner.
tries=0
until grep -q '^monitoring' "$held" 2>/dev/null; do
    tries=$((tries + 1))
    if [ $tries -gt 100 ]; then
        echo "while_cable_held.sh: the holder never started:" >&2
        cat "$held" >&2
        kill $holder 2>/dev/null
        exit 99
    fi
    sleep 0.1
done
"$vexo" "$@"
rc=$?
kill -INT $holder
wait $holder
exit $rc
