"""The simulated car behind this build's library, for the python-can interface's tests."""
import ctypes
import os
import time

import pytest

from can_j2534 import J2534Bus

LIBRARY = os.environ["VEXO_J2534_LIBRARY"]
ABI = "fixed32"  # the plain library's layout until it takes the platform's
SIM = ctypes.CDLL("libusb-1.0.so.0")  # the simulated cable, first on LD_LIBRARY_PATH


def commands():
    """The command lines the cable received."""
    text = ctypes.create_string_buffer(1 << 16)
    SIM.vexo_sim_cable_commands(text, len(text))
    return text.value.decode().splitlines()


def received(bus, seconds):
    frames, end = [], time.monotonic() + seconds
    while (left := end - time.monotonic()) > 0:
        frames += filter(None, [bus.recv(left)])
    return frames


@pytest.fixture
def car(request):
    """A cable with the demo car (or the vehicle a test names) behind it; `car(...)` opens a bus
    on it, shut down after the test."""
    SIM.vexo_sim_reset()
    SIM.vexo_sim_set_vehicle(getattr(request, "param", "demo").encode())
    SIM.vexo_sim_attach_cables(1)
    buses = []

    def open_bus(**kwargs):
        buses.append(J2534Bus(**{"channel": LIBRARY, "abi": ABI, **kwargs}))
        return buses[-1]

    yield open_bus
    for bus in buses:
        bus.shutdown()
