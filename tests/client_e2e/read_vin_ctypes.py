"""A J2534 application that knows nothing of vexo's simulation: it loads the library named on the
command line and reads the VIN (09 02) over ISO 15765. Run with VEXO_SIM_CABLES set and the libusb
stand-in on LD_LIBRARY_PATH, it talks to the simulated car."""
import ctypes
import sys
import time

ISO15765, FLOW_CONTROL_FILTER, ISO15765_FRAME_PAD = 6, 3, 0x40


class PassThruMsg(ctypes.Structure):
    _fields_ = [("ProtocolID", ctypes.c_uint32), ("RxStatus", ctypes.c_uint32), ("TxFlags", ctypes.c_uint32),
                ("Timestamp", ctypes.c_uint32), ("DataSize", ctypes.c_uint32), ("ExtraDataIndex", ctypes.c_uint32),
                ("Data", ctypes.c_uint8 * 4128)]


def message(data, flags=0):
    msg = PassThruMsg(ProtocolID=ISO15765, TxFlags=flags, DataSize=len(data))
    msg.Data[:len(data)] = list(data)
    return msg


def check(status, call):
    if status != 0:
        sys.exit(f"{call} failed with status {status}")


j2534 = ctypes.CDLL(sys.argv[1])
device, channel, filter_id = ctypes.c_uint32(), ctypes.c_uint32(), ctypes.c_uint32()
check(j2534.PassThruOpen(None, ctypes.byref(device)), "PassThruOpen")
check(j2534.PassThruConnect(device, ISO15765, 0, 500000, ctypes.byref(channel)), "PassThruConnect")
mask, pattern, flow = message(b"\xff\xff\xff\xff"), message(b"\x00\x00\x07\xe8"), message(b"\x00\x00\x07\xe0")
check(j2534.PassThruStartMsgFilter(channel, FLOW_CONTROL_FILTER, ctypes.byref(mask), ctypes.byref(pattern),
                                   ctypes.byref(flow), ctypes.byref(filter_id)), "PassThruStartMsgFilter")
request, count = message(b"\x00\x00\x07\xe0\x09\x02", ISO15765_FRAME_PAD), ctypes.c_uint32(1)
check(j2534.PassThruWriteMsgs(channel, ctypes.byref(request), ctypes.byref(count), 1000), "PassThruWriteMsgs")
deadline = time.monotonic() + 3
while time.monotonic() < deadline:
    answer, count = PassThruMsg(), ctypes.c_uint32(1)
    j2534.PassThruReadMsgs(channel, ctypes.byref(answer), ctypes.byref(count), 200)
    data = bytes(answer.Data[:answer.DataSize]) if count.value == 1 else b""
    if data[4:6] == b"\x49\x02":
        print(data[7:].decode("ascii"))
        j2534.PassThruDisconnect(channel)
        j2534.PassThruClose(device)
        sys.exit(0)
sys.exit("no answer to 09 02")
