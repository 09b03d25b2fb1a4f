#!/bin/sh
# Ctrl-C to an endless command against the simulated cable: once it has printed, SIGINT must make it
# disconnect and close the cable and exit with 130. The library's log, when it writes one, must end
# with the disconnect and close of that run. With INPUT set, standard input is a pipe that gives that
# line and stays open, as a terminal does.
#   interrupt_client.sh VEXO LOG_DIR CHANNEL_ID ARGS...
vexo=$1 log_dir=$2 channel=$3
shift 3
rm -rf "$log_dir"
mkdir -p "$log_dir"
out=$log_dir/stdout.txt
input=/dev/null
if [ -n "${INPUT:-}" ]; then
  input=$log_dir/stdin
  mkfifo "$input"
fi
TEMP=$log_dir "$vexo" "$@" >"$out" 2>"$log_dir/stderr.txt" <"$input" &
pid=$!
if [ -n "${INPUT:-}" ]; then
  exec 3>"$input"
  echo "$INPUT" >&3
fi
i=0
until [ -s "$out" ]; do
  i=$((i + 1))
  if [ $i -gt 100 ] || ! kill -0 $pid 2>/dev/null; then
    echo "vexo $* printed nothing:"; cat "$log_dir/stderr.txt"; kill -9 $pid 2>/dev/null; exit 1
  fi
  sleep 0.1
done
sleep 0.3
kill -INT $pid
wait $pid
code=$?
[ $code -eq 130 ] || { echo "vexo $*: exit code $code, expected 130"; cat "$log_dir/stderr.txt"; exit 1; }

log=$log_dir/j2534-0404.log
if [ ! -f "$log" ]; then
  echo "the library wrote no log file in TEMP; exit code checked only"
  exit 77
fi
ending=$(grep '^\[j2534\] ' "$log" | tail -n 2 | tr '\n' '|')
expected="[j2534] PassThruDisconnect OK ch=$channel|[j2534] PassThruClose OK id=1|"
[ "$ending" = "$expected" ] || { echo "log ends with '$ending', expected '$expected'"; tail -n 20 "$log"; exit 1; }
tail -n 1 "$log" | grep -qx '\[j2534\] PassThruClose OK id=1' || {
  echo "the log goes on after PassThruClose:"; tail -n 5 "$log"; exit 1; }
echo "vexo $*: stopped by SIGINT, cable closed"
