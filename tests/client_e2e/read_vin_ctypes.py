"""A J2534 application that knows nothing of vexo's simulation: it loads a library and reads the
VIN (09 02) over ISO 15765. It declares the records and arguments as the standard's header reads
(c_ulong: the platform library) or with 32-bit fields (c_uint32: the fixed32 one). With
--passthru it finds the library as Linux J2534 applications do, through ~/.passthru/*.json, and
declares 32-bit fields. Run with VEXO_SIM_CABLES set and the libusb stand-in on LD_LIBRARY_PATH,
it talks to the simulated car.
usage: read_vin_ctypes.py LIBRARY c_ulong|c_uint32
       read_vin_ctypes.py --passthru"""
import ctypes
import glob
import json
import os
import sys
import time

ISO15765, FLOW_CONTROL_FILTER, ISO15765_FRAME_PAD = 6, 3, 0x40


def from_passthru_folder():
    for path in sorted(glob.glob(os.path.expanduser("~/.passthru/*.json"))):
        with open(path) as file:
            device = json.load(file)
        if device.get("ISO15765") is True and os.path.isfile(device.get("FUNCTION_LIB", "")):
            return device["FUNCTION_LIB"], ctypes.c_uint32
    sys.exit("no device in ~/.passthru carries ISO15765")


path, field = from_passthru_folder() if sys.argv[1] == "--passthru" else (sys.argv[1], getattr(ctypes, sys.argv[2]))


class PassThruMsg(ctypes.Structure):
    _fields_ = [(name, field) for name in ("ProtocolID", "RxStatus", "TxFlags", "Timestamp", "DataSize",
                                           "ExtraDataIndex")] + [("Data", ctypes.c_uint8 * 4128)]


j2534 = ctypes.CDLL(path)
msg_p, out = ctypes.POINTER(PassThruMsg), ctypes.POINTER(field)
for name, args in {"PassThruOpen": [ctypes.c_void_p, out], "PassThruConnect": [field] * 4 + [out],
                   "PassThruStartMsgFilter": [field, field, msg_p, msg_p, msg_p, out],
                   "PassThruWriteMsgs": [field, msg_p, out, field], "PassThruReadMsgs": [field, msg_p, out, field],
                   "PassThruDisconnect": [field], "PassThruClose": [field]}.items():
    getattr(j2534, name).argtypes = args
    getattr(j2534, name).restype = ctypes.c_long if field is ctypes.c_ulong else ctypes.c_uint32


def message(data, flags=0):
    msg = PassThruMsg(ProtocolID=ISO15765, TxFlags=flags, DataSize=len(data))
    msg.Data[:len(data)] = list(data)
    return msg


def check(status, call):
    if status != 0:
        sys.exit(f"{call} failed with status {status}")


device, channel, filter_id = field(), field(), field()
check(j2534.PassThruOpen(None, ctypes.byref(device)), "PassThruOpen")
check(j2534.PassThruConnect(device, ISO15765, 0, 500000, ctypes.byref(channel)), "PassThruConnect")
mask, pattern, flow = message(b"\xff\xff\xff\xff"), message(b"\x00\x00\x07\xe8"), message(b"\x00\x00\x07\xe0")
check(j2534.PassThruStartMsgFilter(channel, FLOW_CONTROL_FILTER, ctypes.byref(mask), ctypes.byref(pattern),
                                   ctypes.byref(flow), ctypes.byref(filter_id)), "PassThruStartMsgFilter")
request, count = message(b"\x00\x00\x07\xe0\x09\x02", ISO15765_FRAME_PAD), field(1)
check(j2534.PassThruWriteMsgs(channel, ctypes.byref(request), ctypes.byref(count), 1000), "PassThruWriteMsgs")
deadline = time.monotonic() + 3
while time.monotonic() < deadline:
    answer, count = PassThruMsg(), field(1)
    j2534.PassThruReadMsgs(channel, ctypes.byref(answer), ctypes.byref(count), 200)
    data = bytes(answer.Data[:answer.DataSize]) if count.value == 1 else b""
    if data[4:6] == b"\x49\x02":
        print(data[7:].decode("ascii"))
        j2534.PassThruDisconnect(channel)
        j2534.PassThruClose(device)
        sys.exit(0)
sys.exit("no answer to 09 02")
