"""The python-can bus through the simulated car: frames in and out with exact bytes, filters on
the device and in software, the library's texts in errors, timestamps, sharing, periodic sends."""
import ctypes
import random
import threading
import time

import can
import pytest
from can.broadcastmanager import ThreadBasedCyclicSendTask

from can_j2534.bus import READ_SLICE_MS
from can_j2534.periodic import J2534PeriodicTask
from conftest import LIBRARY, SIM, commands, received

NONE_OF_THE_CARS = [{"can_id": 0x7FF, "can_mask": 0x7FF}]


def test_the_demo_cars_background_frames(car):
    opened = time.time()
    frames = received(car(), 0.3)
    assert len(frames) >= 3
    for m in frames:  # frame n of the car's stream: ID 200 + n % 4, then n, its ID's low byte, n*3, n*7, A5^n
        n = int.from_bytes(m.data[:4], "big")
        assert (m.arbitration_id, m.is_extended_id, m.is_rx, m.dlc) == (0x200 + n % 4, False, True, 8)
        assert m.data[4:] == bytes([n % 4, n * 3 & 0xFF, n * 7 & 0xFF, (0xA5 ^ n) & 0xFF])
    assert opened < frames[0].timestamp < frames[-1].timestamp <= time.time()


@pytest.mark.parametrize("car, request_id, extended, answer_id", [
    ("demo", 0x7DF, False, 0x7E8), ("demo-29bit", 0x18DB33F1, True, 0x18DAF110),
    ("demo", 0x7DF, True, None), ("demo-29bit", 0x7DF, False, None)], indirect=["car"])
def test_obd_request_and_answer(car, request_id, extended, answer_id):
    bus = car(can_filters=[{"can_id": 0x7E8, "can_mask": 0x7F8}, {"can_id": 0x18DAF100, "can_mask": 0x1FFFFF00}])
    bus.send(can.Message(arbitration_id=request_id, is_extended_id=extended, data=b"\x02\x01\x0c\0\0\0\0\0"))
    answers = [(m.arbitration_id, m.is_extended_id, m.dlc, m.data[:3]) for m in received(bus, 0.3)]
    assert answers == ([(answer_id, extended, 8, b"\x04\x41\x0c")] if answer_id else [])


@pytest.mark.parametrize("filters, refused, wanted", [
    (None, "", {0x200, 0x201, 0x202, 0x203}),
    ([{"can_id": 0x201, "can_mask": 0x7FF}], "", {0x201}),
    ([{"can_id": 0x200, "can_mask": 0x7FE}, {"can_id": 0x203, "can_mask": 0xFFF}], "", {0x200, 0x201, 0x203}),
    ([{"can_id": 0x201, "can_mask": 0x7FF, "extended": True}], "", set()),
    ([{"can_id": 0x202, "can_mask": 0x7FF}], "f", {0x202}),  # the device refuses it: software filters
    ([{"can_id": 0x201, "can_mask": 0x7FF}], "c", {0x201})])  # StopMsgFilter fails: the channel is opened afresh
def test_filters(car, filters, refused, wanted):
    if refused:
        SIM.vexo_sim_cable_reject(ord(refused), b"refused", 1)
    bus = car(can_filters=filters)
    assert {m.arbitration_id for m in received(bus, 0.45)} == wanted
    assert commands().count("atf5 1 64 4") == len(filters or [None]) + (refused == "f")
    bus.set_filters([{"can_id": 0x203, "can_mask": 0x7FF}])
    assert {m.arbitration_id for m in received(bus, 0.45)} == {0x203}
    assert commands().count("atc5") == len(filters or [None]) + (refused == "c")  # a reopening per StopMsgFilter


@pytest.mark.parametrize("before, options, error, text", [
    (lambda car: SIM.vexo_sim_reset(), {}, can.CanInitializationError, r"PassThruOpen failed: ERR_DEVICE_NOT_CONNECTED "
     r"\(0x08\): transport error: I/O error: Tactrix not found \(VID=0x0403 PID=0xcc4d\) \[Error Code 8\]"),
    (lambda car: car(), {}, can.CanInitializationError,
     f"protocol 5 of {LIBRARY} is in use by another bus in this process: one bus per channel$"),
    (None, {"channel": "/nonexistent/libj2534.so"}, can.CanInterfaceNotImplementedError,
     r"cannot use /nonexistent/libj2534.so as a J2534 library: /nonexistent/libj2534.so: cannot open shared object"),
    (None, {"channel": "no such device"}, can.CanInitializationError,
     r"no J2534 device named 'no such device' \(known: none\); a library's path works too$")])
def test_failures_to_open(car, before, options, error, text):
    if before:
        before(car)
    with pytest.raises(error, match=f"^{text}"):
        car(**options)


def test_unplug_during_recv(car):
    bus = car()
    threading.Timer(0.2, SIM.vexo_sim_unplug, [0]).start()
    with pytest.raises(can.CanOperationError, match=r"^PassThruReadMsgs failed: ERR_DEVICE_NOT_CONNECTED \(0x08\): "
                       r"transport error: I/O error: No such device \(it may have been disconnected\) \[Error Code 8\]$"):
        while True:
            bus.recv(1)
    bus.shutdown()
    SIM.vexo_sim_attach_cables(1)
    assert received(car(), 0.2)  # the device was let go: it opens again


@pytest.mark.parametrize("car", ["none"], indirect=True)
def test_timestamps_across_the_device_clock_wrap(car):
    bus, before = car(), time.time()
    SIM.vexo_sim_cable_deliver_can(5, 0x123, b"\x01", 1, ctypes.c_uint32(0xFFFFFF00))
    first = bus.recv(1)
    time.sleep(0.06)  # longer than the device says: a true clock's message cannot come sooner
    SIM.vexo_sim_cable_deliver_can(5, 0x123, b"\x02", 1, ctypes.c_uint32(0x100 + 50_000))
    second = bus.recv(1)
    assert before < first.timestamp < second.timestamp <= time.time()
    assert round((second.timestamp - first.timestamp) * 1e6) == 50_512


def test_buses_share_the_device_one_channel_each(car):
    can_bus, other = car(), car(protocol=6)
    other.shutdown()
    assert received(can_bus, 0.2)
    can_bus.shutdown()
    assert [c for c in commands() if c in ("ata", "atz", "atc5", "atc6")] == ["ata", "atc6", "atc5", "atz"]


def test_send_delay_while_another_thread_receives(car):
    bus, stop, pauses = car(can_filters=NONE_OF_THE_CARS), threading.Event(), random.Random(1)

    def send_ms():
        time.sleep(pauses.uniform(0.001, 0.012))  # at random moments of the reads
        started = time.perf_counter()
        bus.send(can.Message(arbitration_id=0x7E0, is_extended_id=False, data=b"\x01\x3e"))
        return (time.perf_counter() - started) * 1e3

    reader = threading.Thread(target=lambda: [bus.recv(0.1) for _ in iter(stop.is_set, True)])
    reader.start()
    delays = sorted(send_ms() for _ in range(100))
    stop.set()
    reader.join()
    print(f"\nsend while another thread receives (reads wait {READ_SLICE_MS} ms at a time): "
          f"median {delays[50]:.2f} ms, worst {delays[-1]:.2f} ms")


def written(payloads):
    """How often each payload went out to 7E0."""
    buffer = ctypes.create_string_buffer(1 << 20)
    size = SIM.vexo_sim_written_bytes(buffer, len(buffer))
    return [buffer.raw[:size].count(b"\0\0\x07\xe0" + payload) for payload in payloads]


@pytest.mark.parametrize("count, period, duration", [(1, 0.05, None), (1, 0.0025, None), (1, 0.05, 5), (2, 0.05, None)])
def test_send_periodic(car, count, period, duration):
    bus, payloads = car(can_filters=NONE_OF_THE_CARS), [b"\x02\x3e\x80\0\0\0\0\0", b"\x02\x3e\0"]
    messages = [[can.Message(arbitration_id=0x7E0, is_extended_id=False, data=p)] * count for p in payloads]
    task = bus.send_periodic(messages[0], period, duration)
    # The library's own where it has them (one message, no duration, whole milliseconds), else a thread.
    library_case = (count, period, duration) == (1, 0.05, None)
    assert isinstance(task, ThreadBasedCyclicSendTask) or library_case and isinstance(task, J2534PeriodicTask)
    for step in (lambda: task.modify_data(messages[1]), task.stop, lambda: None):
        time.sleep(0.2)
        step()
    sent = written(payloads)
    time.sleep(0.15)
    assert min(sent) >= 2 and written(payloads) == sent


@pytest.mark.parametrize("own", [False, True])
def test_receive_own_messages(car, own):
    bus = car(receive_own_messages=own, can_filters=[{"can_id": 0x123, "can_mask": 0x7FF}])
    bus.send(can.Message(arbitration_id=0x123, is_extended_id=False, data=b"\x11\x22"))
    assert [(m.arbitration_id, m.is_rx, m.data) for m in received(bus, 0.2)] == ([(0x123, False, b"\x11\x22")] * own)
    assert ("ats5 3 1" in commands()) == own
