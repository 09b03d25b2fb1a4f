"""The package as users meet it: pip-installed, found through python-can's entry point by
can.logger, finding libraries through ~/.passthru, declared as the library's header says."""
import json
import os
import pathlib
import re
import shutil
import signal
import subprocess
import sys
import time

import can_j2534
from can_j2534 import J2534Bus
from can_j2534.passthru import SIGNATURES
from conftest import FIXED32_LIBRARY, LIBRARY, received


def test_pip_installed_interface_found_by_can_logger(tmp_path):
    """pip installs it into a scratch venv that sees Debian's packages, without the network
    (setuptools and wheel are Debian's); can.logger finds it there and logs the car's frames."""
    source = shutil.copytree(pathlib.Path(can_j2534.__file__).parent.parent, tmp_path / "source",
                             ignore=shutil.ignore_patterns("__pycache__", "build", "*.egg-info"))
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", tmp_path / "venv"], check=True)
    python, log = tmp_path / "venv" / "bin" / "python3", tmp_path / "car.log"
    subprocess.run([python, "-m", "pip", "install", "-q", "--no-index", "--no-build-isolation", "--no-deps",
                    "--disable-pip-version-check", source], check=True)
    env = {**{k: v for k, v in os.environ.items() if k != "PYTHONPATH"}, "VEXO_SIM_CABLES": "1"}
    logger = subprocess.Popen([python, "-m", "can.logger", "-i", "j2534", "-c", LIBRARY, "-f", log],
                              env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    time.sleep(2)
    logger.send_signal(signal.SIGINT)
    output, lines = logger.communicate(timeout=30)[0], log.read_text().splitlines()
    frame = r"\(\d{10}\.\d{6}\) vcan0 20[0-3]#[0-9A-F]{16} R"
    assert len(lines) >= 5 and all(re.fullmatch(frame, line) for line in lines), output + log.read_text()
    asc = subprocess.run([os.environ["VEXO_LOG2ASC"], "-I", log, "vcan0"], capture_output=True, text=True,
                         check=True).stdout
    assert len(re.findall(r"^ +\d+\.\d{6} 1  20[0-3] +Rx +d 8( [0-9A-F]{2}){8}$", asc, re.M)) == len(lines), asc


def test_a_device_listed_in_the_passthru_folder(car):
    folder = pathlib.Path.home() / ".passthru"
    folder.mkdir(exist_ok=True)
    for name, entry in [("vexo-sim", {"NAME": "vexo sim", "FUNCTION_LIB": FIXED32_LIBRARY, "CAN": True}),
                        ("kline", {"NAME": "K", "FUNCTION_LIB": "/k.so", "CAN": False})]:
        (folder / f"{name}.json").write_text(json.dumps(entry))
    assert J2534Bus._detect_available_configs()[0] == {"interface": "j2534", "channel": "vexo sim"}
    bus = car(channel="VEXO SIM")  # the folder's libraries have 32-bit fields
    assert received(bus, 0.2)
    assert bus.channel_info == (f"J2534 vexo sim ({FIXED32_LIBRARY}, fixed32 ABI): protocol 5 at 500000 bit/s; "
                                "firmware Openport 2.0 sim 1.17.4877, API 04.04")


def test_declarations_match_the_headers_list():
    kinds = {"J2534_ULONG": "ulong", "J2534_ULONG*": "ulong*", "PASSTHRU_MSG*": "msg*"}
    header = pathlib.Path(os.environ["VEXO_J2534_HEADER"]).read_text()
    listed = {name: tuple(kinds.get(t, t) for t in (re.sub(r"\w+$", "", p).replace(" ", "") for p in params.split(",")))
              for name, params in re.findall(r"^\s*X\((PassThru\w+), \((.*)\)\)\s*\\?$", header, re.M)}
    assert listed == SIGNATURES
