"""One open device per J2534 library and process, shared by the buses on its channels: a J2534
library refuses a second PassThruOpen (ERR_DEVICE_IN_USE)."""
import contextlib
import ctypes
import threading
from typing import Dict

import can

from .discovery import Found
from .passthru import Library

_lock = threading.Lock()
_devices: Dict[str, "Device"] = {}  # by the library's path


class Device:
    def __init__(self, library: Library, device_id: int) -> None:
        self.library = library
        self.id = device_id
        self.protocols = set()  # the channels buses hold
        self._senders = 0
        self._no_senders = threading.Condition()

    # The library's lock on the device is not fair: a reader that comes back for its next read
    # at once can take it again ahead of a send that waited. Reads let waiting sends go first.
    @contextlib.contextmanager
    def sending(self):
        with self._no_senders:
            self._senders += 1
        try:
            yield
        finally:
            with self._no_senders:
                self._senders -= 1
                self._no_senders.notify_all()

    def let_senders_go(self) -> None:
        with self._no_senders:
            self._no_senders.wait_for(lambda: not self._senders, timeout=1.0)


def acquire(found: Found, protocol: int) -> Device:
    """The device of `found`'s library, opened unless a bus holds it already, with `protocol`
    reserved for the caller."""
    with _lock:
        device = _devices.get(found.library)
        if device is None:
            library = Library(found.library, found.abi)
            device_id = library.abi.ulong()
            library.check("PassThruOpen", None, ctypes.byref(device_id), kind=can.CanInitializationError)
            device = _devices[found.library] = Device(library, device_id.value)
        elif device.library.abi.name != found.abi:
            raise can.CanInitializationError(
                f"{found.library} is open in this process with the {device.library.abi.name} ABI, not {found.abi}")
        if protocol in device.protocols:
            raise can.CanInitializationError(
                f"protocol {protocol} of {found.library} is in use by another bus in this process: "
                "one bus per channel")
        device.protocols.add(protocol)
        return device


def release(device: Device, protocol: int) -> None:
    """Gives the channel back; the last one out closes the device, whatever the library answers
    (after an unplug it may fail, and the device must still be let go)."""
    with _lock:
        device.protocols.discard(protocol)
        if device.protocols or _devices.get(device.library.path) is not device:
            return
        del _devices[device.library.path]
        device.library.call("PassThruClose", device.id)
