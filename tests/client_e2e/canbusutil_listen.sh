#!/bin/sh
# Qt 6 SerialBus' canbusutil, through its passthrucan plugin, listens to the simulated demo car
# for a few seconds: every line it prints, stderr included, must be one of the car's background
# frames (IDs 200..203, frame n carrying n big-endian, the ID's low byte, n*3, n*7 and A5^n), and
# each of the four IDs must show.
# usage: canbusutil_listen.sh CANBUSUTIL LIBRARY WORK_DIR
set -eu
canbusutil=$1 library=$2 dir=$3
rm -rf "$dir"
mkdir -p "$dir"
out=$dir/canbusutil.out
QT_QPA_PLATFORM=offscreen VEXO_SIM_CABLES=1 TEMP=$dir timeout 4 "$canbusutil" -l passthrucan "$library" \
    >"$out" 2>&1 || [ $? = 124 ]
frames=0 ids=""
while read -r line; do
    set -- $(echo "$line" | sed -n 's/^\(20[0-3]\)   \[8\]  \(.. .. .. .. .. .. .. ..\)$/\1 \2/p')
    [ $# = 9 ] || { echo "not a frame of the demo car: '$line'"; exit 1; }
    id=$((0x$1)) n=$(((0x$2 << 24) | (0x$3 << 16) | (0x$4 << 8) | 0x$5))
    [ $id = $((0x200 + n % 4)) ] && [ $((0x$6)) = $((id & 255)) ] && [ $((0x$7)) = $((n * 3 & 255)) ] &&
        [ $((0x$8)) = $((n * 7 & 255)) ] && [ $((0x$9)) = $(((0xA5 ^ n) & 255)) ] ||
        { echo "wrong payload for frame $n: '$line'"; exit 1; }
    frames=$((frames + 1))
    case " $ids " in *" $1 "*) ;; *) ids="$ids $1" ;; esac
done <"$out"
[ "$frames" -ge 20 ] || { echo "only $frames frames in 4 s (the car sends 20 a second)"; exit 1; }
[ "$(echo $ids | tr ' ' '\n' | sort | tr '\n' ' ')" = "200 201 202 203 " ] || { echo "IDs seen:$ids"; exit 1; }
echo "$frames frames of IDs$ids, each with its payload"
