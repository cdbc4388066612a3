"""The countdown, timed from outside against its schedule: from the first watch
tick that finds no heartbeat to the restart request reaching logind.

The companion is made to fall silent right after a tick has consumed its
heartbeat, so the first silent tick is the next one, one tick period later.
That consuming tick is dated by the kernel: deleting the heartbeat stamps the
companion's folder, which nothing touches afterwards. The kernel's file clock
moves in steps of one timer tick (4 ms here), so that date is up to one step
early."""

import os
from typing import NamedTuple

from .children import wait_for

TICK_PERIOD_S = 1.0
# From the first silent tick: 180 seconds of countdown, then the watch tick
# that finds it at 0.
SCHEDULE_S = 181.0
_TIMEOUT_S = SCHEDULE_S + 30


class Countdown(NamedTuple):
    to_request_s: float  # from the first silent tick to Reboot reaching logind
    to_log_s: float  # from the first silent tick to the shutdown line in the event log

    @property
    def deviation_s(self):
        return self.to_request_s - SCHEDULE_S


def _mtime_s(path):
    return os.stat(path).st_mtime_ns / 1e9


def measure_countdown(run, logind):
    def present():
        return os.path.exists(run.heartbeat)

    wait_for(present, 5, "a heartbeat")
    wait_for(lambda: not present(), 5, "a tick to consume the heartbeat")
    run.silence_companion()
    # A beat that slipped in before the silence is consumed by the next tick.
    wait_for(lambda: not present(), 5, "a tick to consume the last heartbeat")
    first_silent_tick = _mtime_s(run.companion) + TICK_PERIOD_S

    requests_before = len(logind.reboot_times())
    requested = wait_for(lambda: logind.reboot_times()[requests_before:], _TIMEOUT_S,
                         "the restart request", every_s=0.01)[0]
    return Countdown(
        to_request_s=requested - first_silent_tick,
        to_log_s=_mtime_s(run.event_log) - first_silent_tick,
    )
