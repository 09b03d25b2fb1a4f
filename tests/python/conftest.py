"""The simulated car behind this build's library, for the python-can interface's tests."""
import ctypes
import os
import time

import pytest

from can_j2534 import J2534Bus

LIBRARY, FIXED32_LIBRARY = os.environ["VEXO_J2534_LIBRARY"], os.environ["VEXO_J2534_FIXED32_LIBRARY"]
SIM = ctypes.CDLL("libusb-1.0.so.0")  # the simulated cable, first on LD_LIBRARY_PATH


def commands():
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
    """The demo car (or the vehicle a test names) behind a cable; car(...) opens a bus on it."""
    SIM.vexo_sim_reset()
    SIM.vexo_sim_set_vehicle(getattr(request, "param", "demo").encode())
    SIM.vexo_sim_attach_cables(1)
    buses = []
    yield lambda **options: buses.append(J2534Bus(**{"channel": LIBRARY, **options})) or buses[-1]
    for bus in buses:
        bus.shutdown()
