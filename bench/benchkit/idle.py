"""What processes cost while nothing happens: time on a CPU, wake-ups and
memory, over the same stretch of time for all of them."""

import sys
import time
from typing import NamedTuple

from . import procfs

# How often the resident memory is looked at.
_MEMORY_EVERY_S = 10


class Idle(NamedTuple):
    seconds: float
    cpu_s_per_hour: float  # from schedstat, to the nanosecond
    ticks_cpu_s_per_hour: float  # from utime + stime, to the clock tick
    wakeups_per_minute: float
    preemptions_per_minute: float  # of the wake-ups, those that were preemptions
    threads: int
    hwm_kib: int  # peak resident memory, start-up included
    rss_kib: int  # at the end
    rss_first_kib: int  # at the beginning
    rss_lowest_kib: int
    rss_highest_kib: int

    @property
    def core_percent(self):
        return self.cpu_s_per_hour / 3600 * 100

    @property
    def rss_growth_kib(self):
        return self.rss_kib - self.rss_first_kib


def _idle(first, samples):
    last = samples[-1]
    seconds = last.at - first.at
    if last.threads != first.threads:
        print(f"warning: {first.threads} threads became {last.threads}; the wake-ups of "
              "threads that ended are not counted", file=sys.stderr)
    rss = [sample.rss_kib for sample in samples]
    return Idle(
        seconds=seconds,
        cpu_s_per_hour=(last.cpu_ns - first.cpu_ns) / 1e9 / seconds * 3600,
        ticks_cpu_s_per_hour=(last.cpu_ticks_s - first.cpu_ticks_s) / seconds * 3600,
        wakeups_per_minute=(last.wakeups - first.wakeups) / seconds * 60,
        preemptions_per_minute=(last.preemptions - first.preemptions) / seconds * 60,
        threads=last.threads,
        hwm_kib=last.hwm_kib,
        rss_kib=last.rss_kib,
        rss_first_kib=first.rss_kib,
        rss_lowest_kib=min(rss),
        rss_highest_kib=max(rss),
    )


def measure_idle(pids, seconds):
    """Samples every process of pids (name to process id) at the start, every
    few seconds and after the seconds given; gives each one's Idle by name."""
    first = {name: procfs.sample(pid) for name, pid in pids.items()}
    samples = {name: [sample] for name, sample in first.items()}
    started = time.monotonic()
    next_report = started + 60
    while (left := started + seconds - time.monotonic()) > 0:
        time.sleep(min(left, _MEMORY_EVERY_S))
        for name, pid in pids.items():
            samples[name].append(procfs.sample(pid))
        if time.monotonic() >= next_report:
            print(f"  idle: {(time.monotonic() - started) / 60:.0f} of {seconds / 60:.0f} min",
                  file=sys.stderr)
            next_report += 60
    return {name: _idle(first[name], samples[name]) for name in pids}
