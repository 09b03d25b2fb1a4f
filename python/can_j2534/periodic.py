"""send_periodic through the library's own periodic messages (PassThruStartPeriodicMsg), which
keep going whatever the application's threads do. J2534 has no call that changes a periodic
message, so modify_data stops the task and starts it again with the new data: the first frame
of the new data goes out at once and the period runs from there."""
import can
from can.broadcastmanager import ModifiableCyclicTaskABC, RestartableCyclicTaskABC

# The interval the standard lets a library take, in milliseconds.
INTERVALS_MS = range(5, 65536)


def library_interval(period: float):
    """The interval in whole milliseconds, or None when the library cannot send at `period`."""
    interval = round(period * 1000)
    return interval if interval in INTERVALS_MS and abs(period * 1000 - interval) < 1e-6 else None


class J2534PeriodicTask(ModifiableCyclicTaskABC, RestartableCyclicTaskABC):
    """One message the library sends every period; raises python-can's error when the library
    refuses it (the bus then falls back to python-can's thread)."""

    def __init__(self, bus, message: can.Message, period: float) -> None:
        super().__init__(message, period)
        self._bus = bus
        self._message_id = None
        self.start()

    def start(self) -> None:
        if self._message_id is None:
            self._message_id = self._bus._start_periodic(self.messages[0], library_interval(self.period))

    def stop(self) -> None:
        message_id, self._message_id = self._message_id, None
        if message_id is not None:
            self._bus._stop_periodic(message_id)

    def modify_data(self, messages) -> None:
        super().modify_data(messages)
        if self._message_id is not None:
            self.stop()
            self.start()

    def restart_after_reconnect(self) -> None:
        """The channel was opened again, which ended the library's message."""
        if self._message_id is not None:
            self._message_id = None
            self.start()
