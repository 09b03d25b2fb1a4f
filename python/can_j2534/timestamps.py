"""Host time for a J2534 timestamp: the device's own clock in microseconds, 32 bits wide, so it
wraps every 71.6 minutes and starts wherever the device started.

No J2534 call reads the device's clock, so the offset to the host's is taken from the first
message after the channel opens (device time, host time when the read returned) and lowered
whenever a later message came quicker: a message cannot arrive before it happened, so the
smallest difference seen is the closest to the truth. The wrap count comes from the host's
clock too (the multiple of 2**32 that puts the message nearest to its arrival), so a silence
longer than a wrap is no trouble. The result is never later than the message's arrival, and
differences between messages keep the device's microsecond resolution.
"""
import time

WRAP_US = 1 << 32


class DeviceClock:
    def __init__(self) -> None:
        # Differences come from the monotonic clock; the wall clock places them once.
        self._epoch = time.time() - time.monotonic()
        self._offset_us = None

    def host_time(self, timestamp_us: int, arrival: float) -> float:
        """Seconds since the epoch for `timestamp_us`, read at time.monotonic() `arrival`."""
        arrival_us = arrival * 1e6
        if timestamp_us == 0:  # a library that gives no timestamps
            return self._epoch + arrival
        if self._offset_us is None:
            self._offset_us = arrival_us - timestamp_us
        expected_us = arrival_us - self._offset_us
        device_us = timestamp_us + round((expected_us - timestamp_us) / WRAP_US) * WRAP_US
        self._offset_us = min(self._offset_us, arrival_us - device_us)
        return self._epoch + (device_us + self._offset_us) / 1e6
