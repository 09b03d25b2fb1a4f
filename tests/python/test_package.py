"""The package as users meet it: installed by pip, found through python-can's entry point, run by
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

import pytest

import can_j2534
from can_j2534 import J2534Bus
from can_j2534.passthru import SIGNATURES
from conftest import ABI, LIBRARY, received

# A subprocess sees the package a venv installed, not the sources, and a cable with the demo car.
ENV = {**{k: v for k, v in os.environ.items() if k != "PYTHONPATH"}, "VEXO_SIM_CABLES": "1"}
FRAME_LINE = r"\(\d{10}\.\d{6}\) vcan0 20[0-3]#[0-9A-F]{16} R"


@pytest.fixture(scope="module")
def venv_python(tmp_path_factory):
    """python3 of a scratch venv that sees Debian's packages, the package pip-installed into it
    without the network (setuptools and wheel are Debian's)."""
    work = tmp_path_factory.mktemp("venv")
    source = shutil.copytree(pathlib.Path(can_j2534.__file__).parent.parent, work / "source",
                             ignore=shutil.ignore_patterns("__pycache__", "build", "*.egg-info"))
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", work / "venv"], check=True)
    python = work / "venv" / "bin" / "python3"
    subprocess.run([python, "-m", "pip", "install", "-q", "--no-index", "--no-build-isolation", "--no-deps",
                    "--disable-pip-version-check", source], check=True)
    return python


def test_entry_point_after_pip_install(venv_python):
    script = ("import can, can_j2534; print(can.interfaces.BACKENDS['j2534'], can_j2534.__file__); "
              f"bus = can.Bus(interface='j2534', channel={LIBRARY!r}, abi={ABI!r}); "
              "print(hex(bus.recv(1).arbitration_id)); bus.shutdown()")
    out = subprocess.run([venv_python, "-c", script], env=ENV, capture_output=True, text=True, check=True).stdout
    site = re.escape(str(venv_python.parent.parent / "lib"))
    assert re.fullmatch(rf"\('can_j2534', 'J2534Bus'\) {site}/python3\.\d+/site-packages/can_j2534/__init__\.py\n"
                        r"0x20[0-3]\n", out), out


def test_can_logger_writes_a_log_that_log2asc_reads(venv_python, tmp_path):
    log = tmp_path / "car.log"
    logger = subprocess.Popen([venv_python, "-m", "can.logger", "-i", "j2534", "-c", LIBRARY, f"--abi={ABI}", "-f",
                               log], env=ENV, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    time.sleep(2)
    logger.send_signal(signal.SIGINT)
    output = logger.communicate(timeout=30)[0]
    lines = log.read_text().splitlines()
    assert len(lines) >= 5 and all(re.fullmatch(FRAME_LINE, line) for line in lines), output + log.read_text()
    asc = subprocess.run([os.environ["VEXO_LOG2ASC"], "-I", log, "vcan0"], capture_output=True, text=True,
                         check=True).stdout
    assert len(re.findall(r"^ +\d+\.\d{6} 1  20[0-3] +Rx +d 8( [0-9A-F]{2}){8}", asc, re.M)) == len(lines), asc


def test_a_device_listed_in_passthru_folder(car):
    folder = pathlib.Path.home() / ".passthru"
    folder.mkdir(exist_ok=True)
    (folder / "vexo-sim.json").write_text(json.dumps({
        "NAME": "vexo sim", "VENDOR": "vexo", "FUNCTION_LIB": LIBRARY, "CAN": True, "ISO15765": True}))
    (folder / "kline-only.json").write_text(json.dumps({"NAME": "K", "FUNCTION_LIB": "/k.so", "CAN": False}))
    assert J2534Bus._detect_available_configs()[0] == {"interface": "j2534", "channel": "vexo sim"}
    bus = car(channel="VEXO SIM", abi=None)
    assert received(bus, 0.2)
    assert bus.channel_info.startswith(f"J2534 vexo sim ({LIBRARY}, fixed32 ABI): protocol 5 at 500000 bit/s; "
                                       "firmware Openport 2.0 sim 1.17.4877, API 04.04")


def parameter_kind(parameter: str) -> str:
    written = re.sub(r"\w+$", "", parameter).replace(" ", "")  # the type, without the parameter's name
    return {"J2534_ULONG": "ulong", "J2534_ULONG*": "ulong*", "PASSTHRU_MSG*": "msg*"}.get(written, written)


def test_declarations_match_the_headers_list():
    header = pathlib.Path(os.environ["VEXO_J2534_HEADER"]).read_text()
    listed = {name: tuple(parameter_kind(p) for p in parameters.split(",")) for name, parameters in
              re.findall(r"^\s*X\((PassThru\w+), \((.*)\)\)\s*\\?$", header, re.M)}
    if not listed:
        pytest.xfail("the header has no list of the signatures yet")
    assert listed == SIGNATURES
