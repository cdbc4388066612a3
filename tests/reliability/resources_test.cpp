#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "support/process_resources.h"
#include "support/simulated_watchdog.h"

namespace vrnskdm {
namespace {

using namespace std::chrono_literals;
using testing::simulated_watchdog;

using enum supervision::build;

// Hours of the program on the machine's files, with outages, ends of periods
// and renewals, and a log that keeps reaching its cap: no file stays open
// between events, and neither descriptors nor memory pile up.
TEST(Resources, NoFileStaysOpenAndNothingPilesUpOverThousandsOfTicks) {
  simulated_watchdog run{shipped};
  run.write_settings(1, 1, 0);
  run.install_companion();
  run.dir.write("report.log", std::string(63900, 'x') + "\r\n");
  long long ticks = 0;
  std::size_t most_open = 0;
  run.before_each_tick = [&] {
    const auto second = run.clock.monotonic() / 1s;
    // Twenty minutes of beats, then four of silence: one lock restart each time.
    if (second % 1440 < 1200) run.beat();
    most_open = std::max(most_open, run.real_files.open_count());
    ++ticks;
    run.restart.requests.clear();
  };
  run.load();
  run.advance(1h);
  const std::size_t descriptors = testing::open_descriptors();
  const std::size_t memory = testing::allocated_bytes();

  for (int hour = 0; hour < 4; ++hour) {
    // An end of period each hour: with the marker there, restart requests for a
    // minute; then the marker deleted, and a new period.
    run.clock.step_wall(24h);
    run.advance(1min);
    std::filesystem::remove(run.dir.file("delete.me"));
    run.advance(59min);
  }

  EXPECT_GT(ticks, 14000);
  EXPECT_EQ(most_open, 0u);
  EXPECT_EQ(run.real_files.open_count(), 0u);
  EXPECT_EQ(testing::open_descriptors(), descriptors);
  EXPECT_LT(static_cast<long long>(testing::allocated_bytes()) - static_cast<long long>(memory),
            64 * 1024);
  const auto messages = run.log_messages();
  EXPECT_GE(testing::count_of(messages, "Timeout check performed. DELETE.ME created."), 1u);
}

}  // namespace
}  // namespace vrnskdm
