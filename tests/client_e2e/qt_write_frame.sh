#!/bin/sh
# Qt's passthrucan plugin sends 7DF#02010C (OBD: engine speed) through the library to the simulated
# car: the request must leave on the wire as the application gave it and the engine's answer on 7E8
# must come back through the plugin.
# usage: qt_write_frame.sh QT_WRITE_FRAME LIBRARY WORK_DIR
set -eu
program=$1 library=$2 dir=$3
rm -rf "$dir"
mkdir -p "$dir"
answer=$(QT_QPA_PLATFORM=offscreen VEXO_SIM_CABLES=1 TEMP=$dir "$program" "$library" 7DF#02010C 7E8)
echo "$answer" | grep -Eq '^7E8 04 41 0C [0-9A-F]{2} [0-9A-F]{2}' || { echo "not the engine speed answer: '$answer'"; exit 1; }
log=$dir/j2534-0404.log
grep -qF '[j2534] PassThruWriteMsgs OK ch=5 sent=1 first=[tx_flags=0x0 data=[00 00 07 DF 02 01 0C]]' "$log" &&
    grep -qF '[tactrix] tactrix TX wire: 18 bytes [61 74 74 35 20 37 20 36 34 0D 0A 00 00 07 DF 02 01 0C]' "$log" ||
    { echo "the request is not in the trace as sent:"; grep -E 'WriteMsgs|TX wire' "$log"; exit 1; }
echo "sent 7DF 02 01 0C; the engine answered $answer"
