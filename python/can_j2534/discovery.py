"""Which J2534 library a channel names: a path, or a device the platform lists as J2534
applications find them (the PassThruSupport.04.04 registry keys on Windows, ~/.passthru/*.json
on Linux), or by default this project's library."""
import ctypes.util
import glob
import itertools
import json
import logging
import os
import sys
from typing import List, NamedTuple, Optional

import can

log = logging.getLogger("can.j2534")

WINDOWS = sys.platform == "win32"
DEFAULT_LIBRARY = "vexo_j2534_0404.dll" if WINDOWS else "libvexo_j2534_0404.so"


class Found(NamedTuple):
    name: str  # what the platform calls the device
    library: str  # the library's path, or a name the system's loader finds
    abi: str  # the layout its listing implies
    key: str = ""  # the registry key's or the JSON file's own name


def _passthru_files() -> List[Found]:
    found = []
    for path in sorted(glob.glob(os.path.join(os.path.expanduser("~"), ".passthru", "*.json"))):
        try:
            with open(path, encoding="utf-8") as file:
                entry = json.load(file)
            if entry.get("CAN") is True and entry.get("FUNCTION_LIB"):
                key = os.path.splitext(os.path.basename(path))[0]
                # The clients that read this folder declare 32-bit fields: so do its libraries.
                found.append(Found(str(entry.get("NAME") or key), str(entry["FUNCTION_LIB"]), "fixed32", key))
        except (OSError, ValueError, AttributeError) as error:
            log.warning("ignoring %s: %s", path, error)
    return found


def _registry_devices() -> List[Found]:
    import winreg  # pylint: disable=import-outside-toplevel,import-error

    def value(key, name):
        try:
            return winreg.QueryValueEx(key, name)[0]
        except OSError:
            return None

    found = []
    # Without a view flag the process reads its own view: a 32-bit Python sees the 32-bit DLLs'
    # keys, a 64-bit one the 64-bit DLLs'; a DLL of the other width could not be loaded anyway.
    try:
        root = winreg.OpenKey(winreg.HKEY_LOCAL_MACHINE, r"SOFTWARE\PassThruSupport.04.04")
    except OSError:
        return found
    with root:
        for index in itertools.count():
            try:
                key_name = winreg.EnumKey(root, index)
            except OSError:
                break
            with winreg.OpenKey(root, key_name) as key:
                library = value(key, "FunctionLibrary")
                if library and value(key, "CAN") == 1:
                    found.append(Found(str(value(key, "Name") or key_name), str(library), "fixed32", key_name))
    return found


def registered() -> List[Found]:
    """The devices with a CAN channel that the platform lists."""
    return _registry_devices() if WINDOWS else _passthru_files()


def default() -> Found:
    if not WINDOWS:
        return Found("vexo-j2534", DEFAULT_LIBRARY, "platform")
    devices = registered()
    ours = [d for d in devices if os.path.basename(d.library).lower() == DEFAULT_LIBRARY]
    if not ours and not devices:
        raise can.CanInitializationError("no J2534 device with CAN is registered under PassThruSupport.04.04")
    return (ours or devices)[0]


def _is_path(channel: str) -> bool:
    return "/" in channel or "\\" in channel or channel.lower().endswith((".so", ".dll")) or ".so." in channel


def resolve(channel: Optional[str], abi: Optional[str] = None) -> Found:
    """The library `channel` names, with `abi` when given, else the one its listing implies (a
    path: "fixed32" when its name says so, else the platform's)."""
    if channel is None:
        found = default()
    elif _is_path(str(channel)):
        name = os.path.basename(str(channel))
        found = Found(name, str(channel), "fixed32" if "_fixed32" in name else "platform")
    else:
        wanted = str(channel).casefold()
        devices = registered()
        matches = [d for d in devices if wanted in (d.name.casefold(), d.key.casefold())]
        if not matches:
            known = ", ".join(repr(d.name) for d in devices) or "none"
            raise can.CanInitializationError(
                f"no J2534 device named {channel!r} (known: {known}); a library's path works too")
        found = matches[0]
    return found._replace(abi=abi) if abi else found


def available_configs() -> List[dict]:
    """python-can's configurations for the devices listed, and for this project's installed library."""
    channels = [d.name for d in registered()]
    if not WINDOWS and ctypes.util.find_library("vexo_j2534_0404"):
        channels.append(DEFAULT_LIBRARY)
    return [{"interface": "j2534", "channel": channel} for channel in channels]
