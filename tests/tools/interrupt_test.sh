#!/bin/sh
# SIGINT to a running `vexo monitor`: it must stop, disconnect, close and exit 130.
vexo=$1 lib=$2 trace=$3
rm -f "$trace"
VEXO_FAKE_TRACE=$trace "$vexo" monitor --lib "$lib" >/dev/null 2>&1 &
pid=$!
i=0
until grep -q PassThruStartMsgFilter "$trace" 2>/dev/null; do
  i=$((i + 1))
  [ $i -gt 100 ] && { echo "monitor never started"; kill -9 $pid; exit 1; }
  sleep 0.1
done
sleep 0.3
kill -INT $pid
wait $pid
code=$?
[ $code -eq 130 ] || { echo "exit code $code, expected 130"; cat "$trace"; exit 1; }
tail -n 2 "$trace" | tr '\n' '|' | grep -qx 'PassThruDisconnect ch=5|PassThruClose|' || {
  echo "device not closed cleanly:"; cat "$trace"; exit 1; }
echo "monitor stopped cleanly"
