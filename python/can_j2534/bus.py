"""The python-can bus on a J2534 CAN channel."""
import collections
import ctypes
import logging
import math
import time
from typing import List, Optional, Tuple

import can

from . import device as devices
from .discovery import available_configs, resolve
from .passthru import (CAN, CAN_29BIT_ID, CAN_ID_BOTH, ERR_BUFFER_EMPTY, ERR_TIMEOUT, LOOPBACK, PASS_FILTER,
                       SET_CONFIG, STATUS_NOERROR, TX_MSG_TYPE)
from .periodic import J2534PeriodicTask, library_interval
from .timestamps import DeviceClock

log = logging.getLogger("can.j2534")

# The library serialises calls on a device, so a read that waits holds up a send from another
# thread: reads wait at most this long at a time, which bounds that delay.
READ_SLICE_MS = 10
BATCH = 64  # messages taken at once when more have arrived
ID_MASK = 0x1FFFFFFF
PASS_ALL = {"can_id": 0, "can_mask": 0}


class J2534Bus(can.BusABC):
    """A CAN channel of a J2534 (04.04) pass-thru device.

    :param channel: the J2534 library: a path, or a device name as the platform lists it (the
        PassThruSupport.04.04 registry keys on Windows, ``~/.passthru/*.json`` on Linux); by
        default this project's library.
    :param bitrate: bits per second, 500000 unless given.
    :param receive_own_messages: frames this channel sends come back (J2534's LOOPBACK), with
        ``is_rx`` False.
    :param abi: "platform" (the standard's unsigned long) or "fixed32" (32-bit fields); by
        default "fixed32" for a library found through ``~/.passthru`` or named ``*_fixed32*``,
        else "platform". On Windows the two are the same layout.
    :param protocol: the channel's J2534 protocol ID: CAN (5) unless given; a device with several
        CAN channels takes the others' IDs. Buses of one process share the device, one per channel.
    """

    def __init__(self, channel=None, can_filters=None, bitrate: int = 500000, receive_own_messages: bool = False,
                 abi: Optional[str] = None, protocol: int = CAN, **kwargs) -> None:
        self._device = None
        self._channel_id = None
        self._failure = can.CanInitializationError
        super().__init__(channel, can_filters=None, **kwargs)
        try:
            if kwargs.get("fd"):
                raise can.CanInitializationError("J2534 04.04 CAN channels carry no CAN FD frames")
            self._found = resolve(channel, abi)
            self._protocol = int(protocol)
            self._bitrate = int(bitrate)
            self._own = bool(receive_own_messages)
            self._queue = collections.deque()
            self._filter_ids: List[int] = []
            self._hardware_filtered = True
            self._library_tasks: List[J2534PeriodicTask] = []
            self._device = devices.acquire(self._found, self._protocol)
            self._lib = self._device.library
            self._buffer = (self._lib.abi.Msg * BATCH)()
            self._connect()
            self.set_filters(can_filters)
        except BaseException:
            self.shutdown()
            raise
        self._failure = can.CanOperationError
        firmware, _, api = self._lib.versions(self._device.id)
        self.channel_info = (f"J2534 {self._found.name} ({self._found.library}, {self._lib.abi.name} ABI): "
                             f"protocol {self._protocol} at {self._bitrate} bit/s; firmware {firmware or '?'}, "
                             f"API {api or '?'}")

    # -- the channel ------------------------------------------------------------------------
    def _connect(self) -> None:
        channel_id = self._lib.abi.ulong()
        self._lib.check("PassThruConnect", self._device.id, self._protocol, CAN_ID_BOTH, self._bitrate,
                        ctypes.byref(channel_id), kind=self._failure)
        self._channel_id = channel_id.value
        self._clock = DeviceClock()
        if self._own:
            config = self._lib.abi.Config(LOOPBACK, 1)
            configs = self._lib.abi.ConfigList(1, ctypes.pointer(config))
            self._lib.check("PassThruIoctl", self._channel_id, SET_CONFIG, ctypes.byref(configs), None,
                            kind=self._failure)

    def _reconnect(self) -> None:
        """The channel afresh, with no filter: the way to drop filters where StopMsgFilter fails."""
        self._lib.call("PassThruDisconnect", self._channel_id)
        self._channel_id = None
        self._connect()
        for task in self._library_tasks:
            task.restart_after_reconnect()

    # -- filters ------------------------------------------------------------------------------
    def _apply_filters(self, filters) -> None:
        if self._channel_id is None:  # BusABC.__init__, before the channel exists
            return
        # What came through the old filters gets checked against the new ones.
        self._take(BATCH, 0)
        self._queue = collections.deque((message, False) for message, _ in self._queue)
        self._drop_device_filters()
        wanted = list(filters or [PASS_ALL])
        refused = self._install(wanted)
        if refused is not None:
            log.info("the device did not take the filters (%s): python-can filters in software", refused)
            self._drop_device_filters()
            failed = self._install([PASS_ALL])
            if failed is not None:
                raise failed
        # The device compares IDs only: whether a frame is extended is checked in software.
        self._hardware_filtered = refused is None and not any("extended" in f for f in wanted)

    def _install(self, filters) -> Optional[can.CanError]:
        """None once every filter is on the device, else why one is not."""
        for f in filters:
            mask, pattern = f["can_mask"], f["can_id"] & f["can_mask"]
            if (mask | pattern) & ~ID_MASK:
                return self._failure(f"a mask of {mask:#x} is not a CAN ID's")
            tx_flags = CAN_29BIT_ID if f.get("extended") else 0
            mask_msg = self._lib.message(mask.to_bytes(4, "big"), tx_flags=tx_flags)
            pattern_msg = self._lib.message(pattern.to_bytes(4, "big"), tx_flags=tx_flags)
            filter_id = self._lib.abi.ulong()
            status = self._lib.call("PassThruStartMsgFilter", self._channel_id, PASS_FILTER, ctypes.byref(mask_msg),
                                    ctypes.byref(pattern_msg), None, ctypes.byref(filter_id))
            if status != STATUS_NOERROR:
                return self._lib.error("PassThruStartMsgFilter", status, self._failure)
            self._filter_ids.append(filter_id.value)
        return None

    def _drop_device_filters(self) -> None:
        ids, self._filter_ids = self._filter_ids, []
        for filter_id in ids:
            if self._lib.call("PassThruStopMsgFilter", self._channel_id, filter_id) != STATUS_NOERROR:
                self._reconnect()
                return

    # -- frames -------------------------------------------------------------------------------
    def send(self, msg: can.Message, timeout: Optional[float] = None) -> None:
        """Hands the frame to the device; a timeout waits that long for the device to take it
        (J2534's write time-out), None and 0 do not wait."""
        if msg.is_remote_frame or msg.is_error_frame or msg.is_fd or len(msg.data) > 8:
            raise can.CanOperationError("a J2534 CAN channel sends data frames of at most 8 bytes, nothing else")
        channel_id, device = self._channel_id, self._device
        if channel_id is None or device is None:
            raise can.CanOperationError("the bus is shut down")
        record = self._record(msg)
        count = self._lib.abi.ulong(1)
        timeout_ms = 0 if not timeout else min(max(1, math.ceil(timeout * 1000)), 0xFFFFFFFF)
        with device.sending():
            status = self._lib.call("PassThruWriteMsgs", channel_id, ctypes.byref(record),
                                    ctypes.byref(count), timeout_ms)
        if status != STATUS_NOERROR:
            raise self._lib.error("PassThruWriteMsgs", status)

    def _record(self, msg: can.Message):
        return self._lib.message((msg.arbitration_id & ID_MASK).to_bytes(4, "big") + bytes(msg.data),
                                 tx_flags=CAN_29BIT_ID if msg.is_extended_id else 0)

    def _recv_internal(self, timeout: Optional[float]) -> Tuple[Optional[can.Message], bool]:
        if not self._queue:
            self._read(timeout)
        return self._queue.popleft() if self._queue else (None, False)

    def _read(self, timeout: Optional[float]) -> None:
        deadline = None if timeout is None else time.monotonic() + timeout
        while True:
            left_ms = READ_SLICE_MS if deadline is None else math.ceil((deadline - time.monotonic()) * 1000)
            wait_ms = min(READ_SLICE_MS, max(0, left_ms))
            started = time.monotonic()
            if self._take(1, wait_ms):
                self._take(BATCH, 0)  # whatever arrived meanwhile, without waiting
                return
            if deadline is not None and time.monotonic() >= deadline:
                return
            # A library that returns at once although asked to wait must not make this spin.
            time.sleep(max(0.0, wait_ms / 1000 - (time.monotonic() - started)))

    def _take(self, count: int, wait_ms: int) -> int:
        channel_id, device = self._channel_id, self._device
        if channel_id is None or device is None:
            raise can.CanOperationError("the bus is shut down")
        device.let_senders_go()
        records = self._buffer
        for i in range(count):
            records[i].DataSize = 0
        number = self._lib.abi.ulong(count)
        status = self._lib.call("PassThruReadMsgs", channel_id, records, ctypes.byref(number), wait_ms)
        arrival = time.monotonic()
        if status not in (STATUS_NOERROR, ERR_TIMEOUT, ERR_BUFFER_EMPTY):
            raise self._lib.error("PassThruReadMsgs", status)
        read = records[:min(number.value, count)]
        if status != STATUS_NOERROR:  # some libraries then leave the count as it was: trust written records only
            read = [record for record in read if record.DataSize]
        for record in read:
            message = self._message(record, arrival)
            if message is not None:
                self._queue.append((message, self._hardware_filtered))
        return len(read)

    def _message(self, record, arrival: float) -> Optional[can.Message]:
        size, rx_status = record.DataSize, record.RxStatus
        if not 4 <= size <= 12 or (rx_status & TX_MSG_TYPE and not self._own):
            return None
        data = ctypes.string_at(ctypes.addressof(record.Data), size)
        can_id = int.from_bytes(data[:4], "big") & ID_MASK
        return can.Message(timestamp=self._clock.host_time(record.Timestamp, arrival), arbitration_id=can_id,
                           is_extended_id=bool(rx_status & CAN_29BIT_ID) or can_id > 0x7FF,
                           is_rx=not rx_status & TX_MSG_TYPE, dlc=size - 4, data=data[4:])

    # -- periodic messages --------------------------------------------------------------------
    def _send_periodic_internal(self, msgs, period: float, duration: Optional[float] = None, autostart: bool = True,
                                modifier_callback=None):
        """The library's periodic message where it takes one (a single message, no duration, a
        whole number of milliseconds from 5 to 65535); python-can's thread otherwise."""
        msgs = [msgs] if isinstance(msgs, can.Message) else list(msgs)
        if len(msgs) == 1 and duration is None and library_interval(period) and autostart and not modifier_callback:
            try:
                task = J2534PeriodicTask(self, msgs[0], period)
                self._library_tasks.append(task)
                return task
            except can.CanError as error:
                log.info("the library sends no periodic message (%s): python-can's thread does", error)
        # python-can 4.3 added the last two; older ones take only what they know.
        newer = () if autostart and modifier_callback is None else (autostart, modifier_callback)
        return super()._send_periodic_internal(msgs, period, duration, *newer)

    def _start_periodic(self, msg: can.Message, interval_ms: int) -> int:
        record, message_id = self._record(msg), self._lib.abi.ulong()
        self._lib.check("PassThruStartPeriodicMsg", self._channel_id, ctypes.byref(record), ctypes.byref(message_id),
                        interval_ms)
        return message_id.value

    def _stop_periodic(self, message_id: int) -> None:
        if self._channel_id is not None:
            self._lib.call("PassThruStopPeriodicMsg", self._channel_id, message_id)

    # -- the rest of python-can's interface ---------------------------------------------------
    def shutdown(self) -> None:
        """Disconnects and lets the device go, also after an unplug (the library's answers then
        do not matter)."""
        super().shutdown()
        if self._channel_id is not None:
            self._lib.call("PassThruDisconnect", self._channel_id)
            self._channel_id = None
        if self._device is not None:
            devices.release(self._device, self._protocol)
            self._device = None

    @staticmethod
    def _detect_available_configs() -> List[dict]:
        return available_configs()
