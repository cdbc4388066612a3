// The watch tick alone, with the companion alive, beside the bare file
// operations it cannot do without: the difference is what the logic adds.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

#include "ticking_watchdog.h"

namespace {

using vrnskdm::bench::ticking_watchdog;
using std::chrono::duration;
using std::chrono::steady_clock;

// Each iteration times one tick; the heartbeat it consumes is created again
// outside the timing.
template <typename Tick>
void time_ticks(benchmark::State& state, ticking_watchdog& program, Tick tick) {
  for (auto _ : state) {
    program.beat();
    const auto started = steady_clock::now();
    tick();
    state.SetIterationTime(duration<double>(steady_clock::now() - started).count());
  }
}

void BM_WatchTick(benchmark::State& state) {
  vrnskdm::platform::real_clock clock;
  ticking_watchdog program{clock};
  time_ticks(state, program, [&] { program.tick(); });
}
BENCHMARK(BM_WatchTick)->UseManualTime()->Unit(benchmark::kMicrosecond);

// stat, stat, unlink: the file operations of a tick that finds its companion alive.
void BM_FileOperationsOnly(benchmark::State& state) {
  vrnskdm::platform::real_clock clock;
  ticking_watchdog program{clock};
  time_ticks(state, program, [&] {
    struct stat info {};
    if (::stat(program.executable().c_str(), &info) == 0 &&
        ::stat(program.heartbeat().c_str(), &info) == 0) {
      benchmark::DoNotOptimize(::unlink(program.heartbeat().c_str()));
    }
  });
}
BENCHMARK(BM_FileOperationsOnly)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
