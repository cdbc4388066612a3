"""The watch tick without the window: its time with Google Benchmark, and its
instructions under callgrind, which counts the same on a busy machine as on an
idle one (the kernel's share of the file operations is not counted)."""

import json
import os
import subprocess
from typing import NamedTuple

_REPETITIONS = 5
# Ticks are counted twice, for the difference: what runs once (the first tick's
# look-ups of the time zone, say) cancels out.
_FEW_TICKS = 100
_MANY_TICKS = 1100


class Logic(NamedTuple):
    tick_us: float  # the watch tick, median of the repetitions
    file_operations_us: float  # stat, stat, unlink alone
    tick_instructions: float


def _benchmark_medians(build):
    output = subprocess.run(
        [os.path.join(build, "bench", "watch-tick-benchmark"), "--benchmark_format=json",
         f"--benchmark_repetitions={_REPETITIONS}", "--benchmark_report_aggregates_only=true"],
        check=True, capture_output=True, text=True).stdout
    medians = {}
    for result in json.loads(output)["benchmarks"]:
        if result.get("aggregate_name") == "median":
            if result["time_unit"] != "us":
                raise RuntimeError(f"unexpected time unit {result['time_unit']}")
            medians[result["run_name"].split("/")[0]] = result["real_time"]
    return medians


def _instructions(build, folder, ticks):
    output = os.path.join(folder, f"callgrind.{ticks}")
    subprocess.run(
        ["valgrind", "--tool=callgrind", "--callgrind-out-file=" + output,
         "--toggle-collect=vrnskdm::supervision::watch_tick*",
         os.path.join(build, "bench", "watch-tick-runs"), str(ticks)],
        check=True, capture_output=True)
    with open(output, encoding="utf-8") as file:
        for line in file:
            if line.startswith("totals:"):
                return int(line.split()[1])
    raise RuntimeError(f"no totals in {output}")


def measure_logic(build, folder):
    os.makedirs(folder)
    medians = _benchmark_medians(build)
    many = _instructions(build, folder, _MANY_TICKS)
    few = _instructions(build, folder, _FEW_TICKS)
    return Logic(
        tick_us=medians["BM_WatchTick"],
        file_operations_us=medians["BM_FileOperationsOnly"],
        tick_instructions=(many - few) / (_MANY_TICKS - _FEW_TICKS),
    )
