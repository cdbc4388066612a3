#!/usr/bin/python3
"""Measures the release program as it runs headless beside a simulated
companion, and prints the figures with their targets. bench/run builds what it
needs and starts it; see bench/RESULTS.md for what each figure means."""

import argparse
import datetime
import os
import platform
import subprocess
import sys
import tempfile
import time

from benchkit import procfs
from benchkit.children import Children, wait_for
from benchkit.countdown import SCHEDULE_S, measure_countdown
from benchkit.idle import measure_idle
from benchkit.logic import measure_logic
from benchkit.logind_bus import PrivateLogind
from benchkit.startup import follow_startup
from benchkit.table import Table
from benchkit.watchdog_run import WatchdogRun, start_companion
from benchkit.whole_tick import measure_whole_tick
from benchkit.xvfb import start_xvfb

PARTS = ("startup", "idle", "countdown", "logic", "tick")

FLOOR_WAKEUPS_PER_MINUTE = 60  # one tick a second
WAKEUP_TOLERANCE = 0.10
CORE_PERCENT_LIMIT = 0.05
SETTLE_WAIT_CPU_LIMIT_S = 0.05
COUNTDOWN_TOLERANCE_S = 0.050
FLOOR_RATIO_LIMIT = 2.5
TICK_INSTRUCTIONS_LIMIT = 70_000
MEMORY_ALLOWANCE_KIB = 6 * 1024
FLAT_ALLOWANCE_KIB = 64
# The status line of a live companion, for the bare window that shows a text.
BARE_WINDOW_TEXT = "TELVANORE alive at: 2026/03/02 10:30:00"
# Let a freshly shown window finish what it started before its idle is measured.
SETTLING_S = 5
# Let every core be busy before the countdown starts.
STRESS_WARM_UP_S = 5


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", default="build/release", help="the CMake build folder")
    parser.add_argument("--minutes", type=float, default=3,
                        help="how long the idle cost and the memory are watched (at least 1)")
    parser.add_argument("--only", default=",".join(PARTS),
                        help="the parts to measure, of " + ", ".join(PARTS))
    arguments = parser.parse_args()
    arguments.only = arguments.only.split(",")
    if arguments.minutes < 1 or not set(arguments.only) <= set(PARTS):
        parser.error("--minutes must be at least 1 and --only name known parts")
    arguments.build = os.path.abspath(arguments.build)
    return arguments


def machine():
    with open("/proc/cpuinfo", encoding="ascii") as cpuinfo:
        model = next(line.split(":", 1)[1].strip() for line in cpuinfo
                     if line.startswith("model name"))
    with open("/proc/meminfo", encoding="ascii") as meminfo:
        memory_kib = int(meminfo.readline().split()[1])
    qt = subprocess.run(["dpkg-query", "-W", "-f=${Version}", "libqt6core6"],
                        capture_output=True, text=True, check=False).stdout
    return (f"{model}, {os.cpu_count()} cores, {memory_kib / 1024 / 1024:.0f} GiB; "
            f"Linux {platform.release()}; Qt {qt or 'unknown'}; load average "
            f"{os.getloadavg()[0]:.2f} at the start")


def mib(kib):
    return f"{kib / 1024:.1f} MiB"


def report_startup(table, startup):
    table.add("3 CPU of the settle wait", f"{startup.wait_cpu_s:.4f} s over {startup.wait_s:.1f} s",
              f"< {SETTLE_WAIT_CPU_LIMIT_S} s", startup.wait_cpu_s < SETTLE_WAIT_CPU_LIMIT_S)
    table.add("3 End of the wait to window shown",
              f"{startup.wait_end_to_shown_s * 1000:.0f} ms "
              f"({startup.wait_end_to_shown_cpu_s * 1000:.0f} ms CPU)")
    table.add("3 CPU from exec to the wait", f"{startup.before_wait_cpu_s:.3f} s")


def report_idle(table, idle, minutes):
    ours, floor, bare = idle["vrnskdm"], idle["floor"], idle["bare"]
    low = FLOOR_WAKEUPS_PER_MINUTE * (1 - WAKEUP_TOLERANCE)
    high = FLOOR_WAKEUPS_PER_MINUTE * (1 + WAKEUP_TOLERANCE)
    table.add("1 Idle CPU, companion alive",
              f"{ours.cpu_s_per_hour:.2f} s/h = {ours.core_percent:.4f} % of a core "
              f"({ours.cpu_s_per_hour / 3.6:.2f} ms a tick)",
              f"< {CORE_PERCENT_LIMIT} % ({CORE_PERCENT_LIMIT * 36:.2f} s/h)",
              ours.core_percent < CORE_PERCENT_LIMIT)
    table.add("1 Idle CPU, from utime+stime", f"{ours.ticks_cpu_s_per_hour:.2f} s/h")
    table.add("1 Idle wake-ups", f"{ours.wakeups_per_minute:.1f} /min "
              f"({ours.preemptions_per_minute:.1f} of them preemptions)",
              f"{low:.0f} to {high:.0f} /min", low <= ours.wakeups_per_minute <= high)
    table.add("2 Floor loop CPU",
              f"{floor.cpu_s_per_hour:.3f} s/h = {floor.core_percent:.5f} % of a core")
    table.add("2 Floor loop wake-ups", f"{floor.wakeups_per_minute:.1f} /min "
              f"({floor.preemptions_per_minute:.1f} of them preemptions)")
    table.add("2 Our CPU against the floor's",
              f"{ours.cpu_s_per_hour / floor.cpu_s_per_hour:.1f} x",
              f"<= {FLOOR_RATIO_LIMIT} x",
              ours.cpu_s_per_hour <= FLOOR_RATIO_LIMIT * floor.cpu_s_per_hour)
    on_x, server = idle["vrnskdm on X"], idle["X server"]
    table.add("1 Idle CPU under Xvfb, companion alive",
              f"{on_x.cpu_s_per_hour:.2f} s/h = {on_x.core_percent:.4f} % of a core; "
              f"{on_x.wakeups_per_minute:.1f} wake-ups /min")
    table.add("1 Xvfb's CPU meanwhile", f"{server.cpu_s_per_hour:.2f} s/h = "
              f"{server.core_percent:.4f} % of a core")
    table.add("2 Our CPU under Xvfb against the floor's",
              f"{on_x.cpu_s_per_hour / floor.cpu_s_per_hour:.1f} x; with Xvfb's "
              f"{(on_x.cpu_s_per_hour + server.cpu_s_per_hour) / floor.cpu_s_per_hour:.1f} x",
              f"<= {FLOOR_RATIO_LIMIT} x",
              on_x.cpu_s_per_hour <= FLOOR_RATIO_LIMIT * floor.cpu_s_per_hour)
    for label, field in (("Peak RSS (VmHWM)", "hwm_kib"), ("Steady RSS (VmRSS)", "rss_kib")):
        over = getattr(ours, field) - getattr(bare, field)
        table.add(f"5 {label}", f"{mib(getattr(ours, field))}, bare Qt window "
                  f"{mib(getattr(bare, field))}: {over / 1024:+.1f} MiB",
                  f"<= +{MEMORY_ALLOWANCE_KIB // 1024} MiB", over <= MEMORY_ALLOWANCE_KIB)
    text = idle["bare with text"]
    table.add("5 Bare window with one line of text",
              f"peak {mib(text.hwm_kib)}, steady {mib(text.rss_kib)}: text alone "
              f"{(text.rss_kib - bare.rss_kib) / 1024:+.1f} MiB over the bare window")
    table.add(f"5 RSS change over {minutes:g} min",
              f"{ours.rss_growth_kib:+d} KiB (lowest {mib(ours.rss_lowest_kib)}, highest "
              f"{mib(ours.rss_highest_kib)}); bare {bare.rss_growth_kib:+d} KiB",
              f"flat: <= +{FLAT_ALLOWANCE_KIB} KiB", ours.rss_growth_kib <= FLAT_ALLOWANCE_KIB)


def report_countdown(table, label, countdown):
    table.add(f"4 First silent tick to Reboot, {label}",
              f"{countdown.to_request_s:.3f} s ({countdown.deviation_s * 1000:+.0f} ms; "
              f"logged at {countdown.to_log_s:.3f} s)",
              f"{SCHEDULE_S:.0f} s +- {COUNTDOWN_TOLERANCE_S * 1000:.0f} ms",
              abs(countdown.deviation_s) <= COUNTDOWN_TOLERANCE_S)


def report_logic(table, logic):
    table.add("6 watch_tick, Google Benchmark",
              f"{logic.tick_us:.1f} us "
              f"(stat, stat, unlink alone {logic.file_operations_us:.1f} us)")
    table.add("6 watch_tick, callgrind", f"{logic.tick_instructions:,.0f} instructions")


def report_whole_tick(table, label, tick):
    measured = f"{tick.program_per_tick:,.0f} over {tick.ticks} ticks"
    if tick.server_per_tick is not None:
        measured += f"; Xvfb {tick.server_per_tick:,.0f} a tick"
    table.add(f"7 Instructions per alive tick, {label}", measured,
              f"<= {TICK_INSTRUCTIONS_LIMIT:,}", tick.program_per_tick <= TICK_INSTRUCTIONS_LIMIT)


def program(build, *parts):
    return os.path.join(build, *parts)


def first_run(children, arguments, folder, table):
    """The start-up, the idle cost beside the floor loop and the bare window, and
    the countdown on an idle machine, all from one start of the program."""
    logind = PrivateLogind(children, os.path.join(folder, "bus-idle"))
    others = {}
    if "idle" in arguments.only:
        floor_companion = os.path.join(folder, "floor-companion")
        start_companion(children, arguments.build, floor_companion)
        others["floor"] = children.start([program(arguments.build, "bench", "tick-floor"),
                                          floor_companion],
                                         output=os.path.join(folder, "floor.log"))
        for name, text in (("bare", []), ("bare with text", [BARE_WINDOW_TEXT])):
            others[name] = children.start(
                [program(arguments.build, "bench", "bare-window"), *text],
                env={"QT_QPA_PLATFORM": "offscreen"}, output=os.path.join(folder, "bare.log"))
            wait_for(lambda child=others[name]: procfs.sleeping_in_event_loop(child.pid), 30,
                     "the bare window", every_s=0.01)
    run = WatchdogRun(children, arguments.build, os.path.join(folder, "idle"), logind)
    if "startup" in arguments.only:
        print("start-up ...", file=sys.stderr)
        report_startup(table, follow_startup(run))
    run.wait_until_shown()
    if "idle" in arguments.only:
        # The same program on an X server, over the same stretch.
        server, display = start_xvfb(children, os.path.join(folder, "xvfb.log"))
        on_x = WatchdogRun(children, arguments.build, os.path.join(folder, "idle-on-x"), logind,
                           display)
        on_x.wait_until_shown()
        others.update({"vrnskdm on X": on_x.program, "X server": server})
        print(f"idle cost and memory, {arguments.minutes:g} min ...", file=sys.stderr)
        time.sleep(SETTLING_S)
        pids = {"vrnskdm": run.pid, **{name: child.pid for name, child in others.items()}}
        report_idle(table, measure_idle(pids, arguments.minutes * 60), arguments.minutes)
        for child in others.values():
            children.stop(child)
    if "countdown" in arguments.only:
        print(f"countdown, idle machine, {SCHEDULE_S:.0f} s ...", file=sys.stderr)
        report_countdown(table, "idle", measure_countdown(run, logind))


def busy_run(children, arguments, folder, table):
    logind = PrivateLogind(children, os.path.join(folder, "bus-busy"))
    run = WatchdogRun(children, arguments.build, os.path.join(folder, "busy"), logind)
    run.wait_until_shown()
    cores = os.cpu_count()
    stress = children.start(["stress-ng", "--cpu", str(cores), "--timeout", "600s", "--quiet"],
                            output=os.path.join(folder, "stress.log"))
    time.sleep(STRESS_WARM_UP_S)
    print(f"countdown, {cores} cores busy, {SCHEDULE_S:.0f} s ...", file=sys.stderr)
    report_countdown(table, f"all {cores} cores busy", measure_countdown(run, logind))
    children.stop(stress)


def main():
    arguments = parse_arguments()
    print(f"Machine: {machine()}")
    print(f"Date: {datetime.datetime.now().astimezone():%Y-%m-%d %H:%M %Z}", flush=True)
    table = Table()
    with Children() as children, tempfile.TemporaryDirectory(prefix="vrnskdm-bench-") as folder:
        if {"startup", "idle", "countdown"} & set(arguments.only):
            first_run(children, arguments, folder, table)
        if "countdown" in arguments.only:
            busy_run(children, arguments, folder, table)
        if "tick" in arguments.only:
            for label, on_x_server in (("offscreen", False), ("under Xvfb", True)):
                print(f"the whole tick under callgrind, {label}, 1 min ...", file=sys.stderr)
                logind = PrivateLogind(children, os.path.join(folder, f"bus-tick-{on_x_server}"))
                report_whole_tick(table, label, measure_whole_tick(
                    children, arguments.build, os.path.join(folder, f"tick-{on_x_server}"),
                    logind, on_x_server))
        if "logic" in arguments.only:
            print("watch_tick alone ...", file=sys.stderr)
            report_logic(table, measure_logic(arguments.build, os.path.join(folder, "logic")))
    print()
    print(table.text())


if __name__ == "__main__":
    main()
