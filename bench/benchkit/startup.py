"""The start-up, watched from outside: the program's main thread sleeps in its
event loop for the first time when the wait for the clock begins, wakes and
sleeps there while the wait lasts, and after the wait (which writes the marker
file on its way out) sleeps there again only once the window is shown and
painted."""

import os
import time
from typing import NamedTuple

from . import procfs

_TIMEOUT_S = 60
# How often the main thread's state is looked at: the resolution of the times.
_EVERY_S = 0.0005
# The wait lasts until the clock's seconds have changed nine times: between eight
# and nine seconds, and a little more on a busy machine. A length outside these
# bounds means the sleeps seen were not the wait's.
_WAIT_BOUNDS_S = (7.9, 9.5)


class Startup(NamedTuple):
    before_wait_cpu_s: float  # from exec to the first sleep of the wait
    wait_cpu_s: float
    wait_s: float  # from the first sleep of the wait to its last
    wait_end_to_shown_s: float
    wait_end_to_shown_cpu_s: float


def follow_startup(run):
    """Follows the run's program from its start until its window is shown."""
    first_sleep = last_sleep = None
    deadline = time.monotonic() + _TIMEOUT_S
    while time.monotonic() < deadline:
        run.check_running()
        # The marker first: seen absent, a sleep seen after it is still the wait's.
        waited = os.path.exists(run.marker)
        if procfs.sleeping_in_event_loop(run.pid):
            seen = (time.monotonic(), procfs.cpu_ns(run.pid))
            if not waited:
                first_sleep = first_sleep or seen
                last_sleep = seen
            elif last_sleep is not None:
                wait_s = last_sleep[0] - first_sleep[0]
                if not _WAIT_BOUNDS_S[0] <= wait_s <= _WAIT_BOUNDS_S[1]:
                    raise RuntimeError(f"the wait for the clock seemed to last {wait_s:.2f} s")
                return Startup(
                    before_wait_cpu_s=first_sleep[1] / 1e9,
                    wait_cpu_s=(last_sleep[1] - first_sleep[1]) / 1e9,
                    wait_s=wait_s,
                    wait_end_to_shown_s=seen[0] - last_sleep[0],
                    wait_end_to_shown_cpu_s=(seen[1] - last_sleep[1]) / 1e9,
                )
            else:
                raise RuntimeError("the start-up ended before its wait was seen")
        time.sleep(_EVERY_S)
    raise RuntimeError(f"the window was not shown within {_TIMEOUT_S} s")
