"""A J2534 04.04 library loaded through ctypes: its records, its fourteen functions and its
statuses, declared for the ABI the library was built with."""
import ctypes
import sys
from typing import Dict, Tuple

import can

# The values of the standard this package uses.
STATUS_NAMES = (
    "STATUS_NOERROR ERR_NOT_SUPPORTED ERR_INVALID_CHANNEL_ID ERR_INVALID_PROTOCOL_ID ERR_NULL_PARAMETER "
    "ERR_INVALID_IOCTL_VALUE ERR_INVALID_FLAGS ERR_FAILED ERR_DEVICE_NOT_CONNECTED ERR_TIMEOUT ERR_INVALID_MSG "
    "ERR_INVALID_TIME_INTERVAL ERR_EXCEEDED_LIMIT ERR_INVALID_MSG_ID ERR_DEVICE_IN_USE ERR_INVALID_IOCTL_ID "
    "ERR_BUFFER_EMPTY ERR_BUFFER_FULL ERR_BUFFER_OVERFLOW ERR_PIN_INVALID ERR_CHANNEL_IN_USE ERR_MSG_PROTOCOL_ID "
    "ERR_INVALID_FILTER_ID ERR_NO_FLOW_CONTROL ERR_NOT_UNIQUE ERR_INVALID_BAUDRATE ERR_INVALID_DEVICE_ID"
).split()  # indexed by status
STATUS_NOERROR, ERR_TIMEOUT, ERR_BUFFER_EMPTY = 0x00, 0x09, 0x10
CAN = 5
PASS_FILTER = 1
SET_CONFIG, LOOPBACK = 0x02, 0x03
CAN_29BIT_ID, CAN_ID_BOTH = 0x0100, 0x0800
TX_MSG_TYPE = 0x01
DATA_SIZE = 4128
TEXT_SIZE = 80

# The fourteen functions as the standard declares them; "ulong" is its unsigned long.
SIGNATURES: Dict[str, Tuple[str, ...]] = {
    "PassThruOpen": ("void*", "ulong*"),
    "PassThruClose": ("ulong",),
    "PassThruConnect": ("ulong", "ulong", "ulong", "ulong", "ulong*"),
    "PassThruDisconnect": ("ulong",),
    "PassThruReadMsgs": ("ulong", "msg*", "ulong*", "ulong"),
    "PassThruWriteMsgs": ("ulong", "msg*", "ulong*", "ulong"),
    "PassThruStartPeriodicMsg": ("ulong", "msg*", "ulong*", "ulong"),
    "PassThruStopPeriodicMsg": ("ulong", "ulong"),
    "PassThruStartMsgFilter": ("ulong", "ulong", "msg*", "msg*", "msg*", "ulong*"),
    "PassThruStopMsgFilter": ("ulong", "ulong"),
    "PassThruSetProgrammingVoltage": ("ulong", "ulong", "ulong"),
    "PassThruReadVersion": ("ulong", "char*", "char*", "char*"),
    "PassThruGetLastError": ("char*",),
    "PassThruIoctl": ("ulong", "ulong", "void*", "void*"),
}

# A library file cannot tell its layout: "platform" declares every field and argument as the
# standard's unsigned long (8 bytes on 64-bit Linux), "fixed32" as 32 bits (the Rust clients'
# layout, and every library found through ~/.passthru). On Windows both are 32 bits.
ABIS = ("platform", "fixed32")


class Abi:
    """The ctypes records of one ABI."""

    def __init__(self, name: str) -> None:
        if name not in ABIS:
            raise ValueError(f"abi must be one of {', '.join(ABIS)}, not {name!r}")
        self.name = name
        ulong = ctypes.c_ulong if name == "platform" else ctypes.c_uint32
        self.ulong = ulong
        self.status = ctypes.c_long if name == "platform" else ctypes.c_uint32
        self.Msg = type("PASSTHRU_MSG", (ctypes.Structure,), {"_fields_": [
            (field, ulong) for field in
            ("ProtocolID", "RxStatus", "TxFlags", "Timestamp", "DataSize", "ExtraDataIndex")
        ] + [("Data", ctypes.c_ubyte * DATA_SIZE)]})
        self.Config = type("SCONFIG", (ctypes.Structure,), {"_fields_": [("Parameter", ulong), ("Value", ulong)]})
        self.ConfigList = type("SCONFIG_LIST", (ctypes.Structure,), {
            "_fields_": [("NumOfParams", ulong), ("ConfigPtr", ctypes.POINTER(self.Config))]})

    def ctype(self, kind: str):
        return {"ulong": self.ulong, "ulong*": ctypes.POINTER(self.ulong), "msg*": ctypes.POINTER(self.Msg),
                "char*": ctypes.c_char_p, "void*": ctypes.c_void_p}[kind]


def status_name(status: int) -> str:
    return STATUS_NAMES[status] if status < len(STATUS_NAMES) else "unknown status"


class Library:
    """One loaded J2534 library, its functions declared for `abi`."""

    def __init__(self, path: str, abi: str) -> None:
        self.path = path
        self.abi = Abi(abi)
        loader = ctypes.WinDLL if sys.platform == "win32" else ctypes.CDLL  # stdcall on Windows
        try:
            self._dll = loader(path)
            for name, kinds in SIGNATURES.items():
                function = getattr(self._dll, name)
                function.argtypes = [self.abi.ctype(kind) for kind in kinds]
                function.restype = self.abi.status
        except (OSError, AttributeError) as error:
            raise can.CanInterfaceNotImplementedError(f"cannot use {path} as a J2534 library: {error}") from None

    def call(self, name: str, *args) -> int:
        """The function's status, as an unsigned number."""
        return getattr(self._dll, name)(*args) & 0xFFFFFFFF

    def last_error(self) -> str:
        text = ctypes.create_string_buffer(TEXT_SIZE)
        if self.call("PassThruGetLastError", text) != STATUS_NOERROR:
            return "(PassThruGetLastError failed)"
        return text.value.decode("utf-8", "replace")

    def error(self, name: str, status: int, kind=can.CanOperationError) -> can.CanError:
        """The exception for a failed call: the status's name and the library's own text."""
        error_class = can.CanTimeoutError if status == ERR_TIMEOUT and kind is can.CanOperationError else kind
        return error_class(f"{name} failed: {status_name(status)} (0x{status:02X}): {self.last_error()}",
                           error_code=status)

    def check(self, name: str, *args, kind=can.CanOperationError) -> None:
        status = self.call(name, *args)
        if status != STATUS_NOERROR:
            raise self.error(name, status, kind)

    def message(self, data: bytes = b"", protocol: int = CAN, tx_flags: int = 0):
        msg = self.abi.Msg(ProtocolID=protocol, TxFlags=tx_flags, DataSize=len(data), ExtraDataIndex=len(data))
        ctypes.memmove(msg.Data, data, len(data))
        return msg

    def versions(self, device_id: int) -> Tuple[str, str, str]:
        """Firmware, library and API versions, or empty texts where the library has none."""
        texts = [ctypes.create_string_buffer(TEXT_SIZE) for _ in range(3)]
        if self.call("PassThruReadVersion", device_id, *texts) != STATUS_NOERROR:
            return ("", "", "")
        return tuple(text.value.decode("utf-8", "replace") for text in texts)
