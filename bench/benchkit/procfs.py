"""What the kernel tells about a running process, read from /proc."""

import os
import time
from typing import NamedTuple

CLOCK_TICKS_PER_SECOND = os.sysconf("SC_CLK_TCK")

# System call numbers on x86-64 of the two calls an event loop sleeps in.
POLL = 7
PPOLL = 271


class Sample(NamedTuple):
    at: float  # time.monotonic() when taken
    cpu_ns: int  # time on a CPU, all threads, from schedstat
    cpu_ticks_s: float  # utime + stime of the whole process, in seconds
    wakeups: int  # voluntary + non-voluntary context switches, all threads
    preemptions: int  # the non-voluntary ones alone
    threads: int
    rss_kib: int
    hwm_kib: int


def _read(path: str) -> str:
    with open(path, encoding="ascii") as file:
        return file.read()


def _threads(pid: int) -> list:
    return os.listdir(f"/proc/{pid}/task")


def _thread_sum(pid: int, read_one) -> int:
    total = 0
    for tid in _threads(pid):
        try:
            total += read_one(f"/proc/{pid}/task/{tid}")
        except FileNotFoundError:  # the thread ended meanwhile
            pass
    return total


def cpu_ns(pid: int) -> int:
    """Time the process has spent on a CPU, its threads summed, to the
    nanosecond. The kernel brings a thread's figure up to date whenever it stops
    running, so it is exact for a process that sleeps when read."""
    return _thread_sum(pid, lambda task: int(_read(task + "/schedstat").split()[0]))


def _context_switches(task: str, kinds) -> int:
    switches = 0
    for line in _read(task + "/status").splitlines():
        if line.startswith(kinds):
            switches += int(line.split()[1])
    return switches


def _status_kib(pid: int, field: str) -> int:
    for line in _read(f"/proc/{pid}/status").splitlines():
        if line.startswith(field + ":"):
            return int(line.split()[1])
    raise RuntimeError(f"no {field} for process {pid}")


def _cpu_ticks_s(pid: int) -> float:
    stat = _read(f"/proc/{pid}/stat")
    fields = stat[stat.rindex(")") + 2:].split()
    utime, stime = int(fields[11]), int(fields[12])
    return (utime + stime) / CLOCK_TICKS_PER_SECOND


def sample(pid: int) -> Sample:
    return Sample(
        at=time.monotonic(),
        cpu_ns=cpu_ns(pid),
        cpu_ticks_s=_cpu_ticks_s(pid),
        wakeups=_thread_sum(pid, lambda task: _context_switches(
            task, ("voluntary_ctxt_switches:", "nonvoluntary_ctxt_switches:"))),
        preemptions=_thread_sum(pid, lambda task: _context_switches(
            task, ("nonvoluntary_ctxt_switches:",))),
        threads=len(_threads(pid)),
        rss_kib=_status_kib(pid, "VmRSS"),
        hwm_kib=_status_kib(pid, "VmHWM"),
    )


def sleeping_in_event_loop(pid: int) -> bool:
    """Whether the main thread is blocked in poll or ppoll with a timeout other
    than zero, as an event loop waiting for its next event is."""
    try:
        call = _read(f"/proc/{pid}/task/{pid}/syscall").split()
    except (FileNotFoundError, ProcessLookupError):
        return False
    if not call or call[0] in ("running", "-1"):
        return False
    number = int(call[0])
    if number == POLL:
        return int(call[3], 16) != 0
    return number == PPOLL

