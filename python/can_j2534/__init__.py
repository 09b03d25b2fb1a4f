"""python-can interface for J2534 pass-thru devices: ``can.Bus(interface="j2534", channel=...)``."""
from .bus import J2534Bus

__all__ = ["J2534Bus"]
