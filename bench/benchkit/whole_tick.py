"""The whole program's tick with the companion alive, counted under callgrind:
the watch, bringing the window up to date, its repaint and the event loop around
them, all that the process does between two sleeps. Counting starts once the
window has been shown and has settled, and lasts a minute of ticks; on an X
server the server is counted over the same stretch. Unlike CPU time, the counts
do not depend on what else the machine is doing."""

import glob
import os
import subprocess
import time
from typing import NamedTuple, Optional

from .children import wait_for
from .watchdog_run import WatchdogRun
from .xvfb import start_xvfb

_SETTLING_S = 5
_COUNTED_S = 60
# From a tick to a moment when the program sleeps, between two ticks.
_AFTER_TICK_S = 0.4
# The slot the tick timer runs, once for each batch of ticks.
_TICK = "vrnskdm::window::tick_timer::run_due("


class WholeTick(NamedTuple):
    ticks: int
    program_per_tick: float
    server_per_tick: Optional[float]  # on an X server only


def _callgrind(output):
    return ("valgrind", "--tool=callgrind", "--instr-atstart=no",
            "--callgrind-out-file=" + output)


def _control(option, pid):
    subprocess.run(["callgrind_control", option, str(pid)], check=True, capture_output=True)


def _last_dump(output):
    dumps = glob.glob(glob.escape(output) + ".*")
    if not dumps:
        raise RuntimeError(f"callgrind wrote no dump {output}.N")
    return max(dumps, key=lambda path: int(path.rsplit(".", 1)[1]))


def _read_dump(path):
    """The instructions counted in a callgrind dump, and how often the tick ran
    in it."""
    names = {}
    callee = None
    ticks = 0
    total = None
    with open(path, encoding="utf-8", errors="replace") as file:
        for line in file:
            if line.startswith(("fn=", "cfn=")):
                key, _, name = line.split("=", 1)[1].rstrip("\n").partition(" ")
                if name:
                    names[key] = name
                callee = names.get(key) if line.startswith("cfn=") else None
            elif line.startswith("calls=") and callee and callee.startswith(_TICK):
                ticks += int(line[len("calls="):].split()[0])
            elif line.startswith("totals:"):
                total = int(line.split()[1])
    if total is None:
        raise RuntimeError(f"no totals in {path}")
    return total, ticks


def _between_ticks(run):
    """Returns while the program sleeps half-way between two ticks. Callgrind
    takes a command when the process next runs, so counting starts and stops at
    the beginning of a tick, and takes in whole ticks."""
    wait_for(lambda: os.path.exists(run.heartbeat), 5, "a heartbeat")
    wait_for(lambda: not os.path.exists(run.heartbeat), 5, "a tick to consume the heartbeat")
    time.sleep(_AFTER_TICK_S)


def measure_whole_tick(children, build, folder, logind, on_x_server):
    os.makedirs(folder)
    program_out = os.path.join(folder, "program.callgrind")
    server_out = os.path.join(folder, "xvfb.callgrind")
    server = display = None
    if on_x_server:
        server, display = start_xvfb(children, os.path.join(folder, "xvfb.log"),
                                     _callgrind(server_out))
    run = WatchdogRun(children, build, folder, logind, display, _callgrind(program_out))
    run.wait_until_shown()
    time.sleep(_SETTLING_S)
    counted = [run.pid] + ([server.pid] if server else [])
    _between_ticks(run)
    for pid in counted:
        _control("--instr=on", pid)
    time.sleep(_COUNTED_S - 1)
    _between_ticks(run)
    for pid in counted:
        _control("--instr=off", pid)
    for pid in counted:
        _control("--dump", pid)
    run.check_running()
    program, ticks = _read_dump(_last_dump(program_out))
    if ticks < _COUNTED_S / 2:
        raise RuntimeError(f"only {ticks} ticks in {_COUNTED_S} s")
    server_total = _read_dump(_last_dump(server_out))[0] if server else None
    children.stop(run.program)
    if server:
        children.stop(server)
    return WholeTick(ticks, program / ticks,
                     None if server_total is None else server_total / ticks)
