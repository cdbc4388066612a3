"""The real program, headless or on a private X server, in a fresh working
folder, beside a companion simulator that beats every half second and a
private logind."""

import os
import signal

from . import procfs
from .children import read_line, wait_for

# The companion simulator's rate: twice per tick, so that no tick misses a beat.
_BEAT_EVERY_MS = 500
_STARTED_TIMEOUT_S = 60


def write_settings(work, companion):
    with open(os.path.join(work, "vrnskdm.ini"), "w", encoding="ascii", newline="") as file:
        file.write(f"telvnor_path={companion}\r\nReboot=1\r\nReboot24=1\r\nReboot24_v=0\r\n")


def start_companion(children, build, folder):
    """A companion simulator beating in folder; returns once its executable is
    there."""
    simulator = children.start(
        [os.path.join(build, "tools", "companion-sim"), folder, "--every", str(_BEAT_EVERY_MS)],
        output=folder + ".log", pipe_stdout=True)
    read_line(simulator, 10)
    return simulator


class WatchdogRun:
    """display, when given, is the X server to show the window on; wrapper runs
    the program (valgrind, say)."""

    def __init__(self, children, build, folder, logind, display=None, wrapper=()):
        self.work = os.path.join(folder, "work")
        self.companion = os.path.join(folder, "companion")
        runtime = os.path.join(folder, "runtime")
        for made in (self.work, runtime):
            os.makedirs(made, mode=0o700)
        write_settings(self.work, self.companion)
        self.simulator = start_companion(children, build, self.companion)
        # The system bus is the private one, always: a countdown that runs out
        # asks the stand-in logind, never the machine's.
        environment = {
            "QT_QPA_PLATFORM": "xcb" if display else "offscreen",
            "DISPLAY": display or "",
            "DBUS_SYSTEM_BUS_ADDRESS": logind.address,
            "XDG_RUNTIME_DIR": runtime,
        }
        if not logind.address.startswith("unix:path=" + logind.folder):
            raise RuntimeError(f"{logind.address} is not the private bus")
        self._output = os.path.join(folder, "program.log")
        self.program = children.start(
            [*wrapper, os.path.join(build, "window", "vrnskdm")], env=environment, cwd=self.work,
            output=self._output)
        self.pid = self.program.pid

    @property
    def marker(self):
        return os.path.join(self.work, "delete.me")

    @property
    def event_log(self):
        return os.path.join(self.work, "report.log")

    @property
    def heartbeat(self):
        return os.path.join(self.companion, "telvnor.vkd")

    def check_running(self):
        """Raises, with what the program said, when it has ended."""
        if self.program.poll() is not None:
            with open(self._output, encoding="utf-8", errors="replace") as output:
                said = output.read()
            raise RuntimeError(f"vrnskdm ended with {self.program.returncode}:\n{said}")

    def wait_until_shown(self):
        """Returns once the start-up has ended and the window waits for events."""
        def shown():
            self.check_running()
            return os.path.exists(self.marker) and procfs.sleeping_in_event_loop(self.pid)

        wait_for(shown, _STARTED_TIMEOUT_S, "the window", every_s=0.01)

    def silence_companion(self):
        self.simulator.send_signal(signal.SIGUSR1)
        while read_line(self.simulator, 5) != "silent":
            pass
