#include <gtest/gtest.h>

#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "platform/text.h"
#include "support/memory_files.h"
#include "support/simulated_watchdog.h"
#include "support/time_zone.h"

namespace vrnskdm::supervision {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;
using testing::simulated_clock;
using testing::simulated_watchdog;

using enum supervision::build;
const std::string log_file = "/work/report.log";

// The shipped program with the default settings (24 hours, both switches on)
// and no companion, so that only the schedule acts; on files in memory, so that
// days of ticks take a moment.
class ScheduleAcrossClockChanges : public ::testing::Test {
 protected:
  void start(simulated_clock clock) {
    run = std::make_unique<simulated_watchdog>(shipped, clock, &files);
    run->load();
  }

  // The wall-clock time at which the log got its first entry for the end of a
  // period, or "" when it has none.
  std::string first_due_entry() const {
    for (const std::string& line : testing::crlf_lines(files.read(log_file))) {
      if (line.ends_with(" Shutdown. DELETE.ME found not deleted.")) return line.substr(0, 19);
    }
    return "";
  }

  std::size_t entries() const { return testing::crlf_lines(files.read(log_file)).size(); }

  // Runs until the moment given, on the monotonic clock.
  void advance_to(milliseconds moment) { run->advance(moment - run->clock.monotonic()); }

  // Expects the period's first restart request in the second from the moment
  // given, none before it, and its log entry stamped with the wall time given.
  void expect_first_request_at(milliseconds moment, const std::string& wall) {
    advance_to(moment - 1ms);
    EXPECT_TRUE(run->restart.requests.empty());
    EXPECT_EQ(entries(), 1u) << "nothing but the start is logged before";
    advance_to(moment + 999ms);
    ASSERT_EQ(run->restart.requests.size(), 1u);
    EXPECT_GE(run->restart.requests[0], moment);
    EXPECT_EQ(first_due_entry(), wall);
  }

  testing::memory_files files{"/work"};
  std::unique_ptr<simulated_watchdog> run;
};

milliseconds at_second(long long seconds) { return milliseconds{seconds * 1000}; }

// A clock set back postpones the end of the period by as much, with no restart
// meanwhile; set back past the period's start, the hour count goes negative
// and the period still ends when the wall clock comes round to it.
TEST_F(ScheduleAcrossClockChanges, SteppedBackTheEndComesThatMuchLater) {
  for (const auto back : {1h, 5h, 30h}) {
    SCOPED_TRACE(back.count());
    files = testing::memory_files{"/work"};
    // Started 2026/03/02 10:30:00 and due at the hour boundary 10:00:00 the next day.
    start(simulated_clock{testing::default_start()});
    run->advance(20h);
    run->clock.step_wall(-std::chrono::duration_cast<std::chrono::seconds>(back));
    expect_first_request_at(milliseconds{23h + 30min + back}, "2026/03/03 10:00:00");
  }
}

// Past the end of the period, a clock set back stops the requests until the
// wall clock comes round to the end again.
TEST_F(ScheduleAcrossClockChanges, SteppedBackAfterTheEndTheRequestsPause) {
  start(simulated_clock{testing::default_start()});
  const milliseconds end = 23h + 30min;
  advance_to(end + 10s);
  const std::size_t asked = run->restart.requests.size();
  EXPECT_EQ(asked, 10u);
  run->clock.step_wall(-2h);
  advance_to(end + 2h - 1ms);
  EXPECT_EQ(run->restart.requests.size(), asked);
  advance_to(end + 2h + 999ms);
  EXPECT_EQ(run->restart.requests.size(), asked + 1);
}

// A clock set forward by days ends the period at the next tick: with the marker
// there, a restart; with it deleted, a new period from the new time.
TEST_F(ScheduleAcrossClockChanges, SteppedForwardByDaysTheEndComesAtTheNextTick) {
  for (const auto days : {1, 3, 40}) {
    for (const bool marker_deleted : {false, true}) {
      SCOPED_TRACE(::testing::Message() << days << " days, marker deleted " << marker_deleted);
      files = testing::memory_files{"/work"};
      start(simulated_clock{testing::default_start()});
      run->advance(1h);
      if (marker_deleted) files.delete_file("/work/delete.me");
      run->clock.step_wall(std::chrono::days{days});
      const platform::date_time stepped = run->clock.now();
      run->advance(1s);
      if (!marker_deleted) {
        EXPECT_EQ(run->restart.requests.size(), 1u);
        continue;
      }
      EXPECT_TRUE(run->restart.requests.empty());
      EXPECT_EQ(run->state().cycle_start, stepped + 1s);
      EXPECT_TRUE(files.file_exists("/work/delete.me"));
      // The new period is a whole one, on the new clock.
      run->advance(23h);
      EXPECT_TRUE(run->restart.requests.empty());
      EXPECT_EQ(entries(), 2u);
    }
  }
}

struct daylight_saving_case {
  const char* name;
  std::time_t start;  // UTC
  std::time_t end;    // UTC of the hour boundary that completes 24 on the wall
  const char* end_on_wall;
  const char* shown_end;  // what the schedule line shows: the start plus 24 wall hours
};

// The period counts hour boundaries on the wall clock, daylight saving
// included: across the spring change 24 of them pass in 22.5 real hours, across
// the autumn change in 24.5, and from inside the repeated hour in 23.5.
TEST_F(ScheduleAcrossClockChanges, DaylightSavingChangesShiftTheEndAsTheWallClockDoes) {
  const testing::time_zone rome{"Europe/Rome"};
  const daylight_saving_case cases[] = {
      {"spring, the day before", 1774690200, 1774771200, "2026/03/29 10:00:00",
       "2026/03/29 10:30:09"},
      {"spring, the night of", 1774744200, 1774825200, "2026/03/30 01:00:00",
       "2026/03/30 01:30:09"},
      {"autumn, the day before", 1792830600, 1792918800, "2026/10/25 10:00:00",
       "2026/10/25 10:30:09"},
      {"autumn, first pass of the repeated hour", 1792888200, 1792976400, "2026/10/26 02:00:00",
       "2026/10/26 02:30:09"},
      {"autumn, second pass of the repeated hour", 1792891800, 1792976400, "2026/10/26 02:00:00",
       "2026/10/26 02:30:09"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    files = testing::memory_files{"/work"};
    start(simulated_clock::in_time_zone(c.start));
    run->advance(1s);
    // The start-up waited nine seconds for the clock to settle.
    EXPECT_EQ(run->window().deleteme.caption, std::string{"System will reboot at: "} + c.shown_end);
    expect_first_request_at(at_second(c.end - c.start), c.end_on_wall);
  }
}

// The warning countdown runs on the monotonic clock: wall-clock steps in the
// middle of it change neither its pace nor the moment of the restart request.
TEST(CountdownAcrossClockChanges, WallClockStepsLeaveTheCountdownAlone) {
  using std::chrono::seconds;
  std::vector<double> reference_countdown;
  std::vector<milliseconds> reference_requests;
  for (const seconds step :
       {seconds{0}, seconds{-3h}, seconds{3h}, seconds{-48h}, seconds{std::chrono::days{10}}}) {
    SCOPED_TRACE(step.count());
    simulated_watchdog run{shipped};
    run.write_settings(1, 0, 0);  // no schedule, only the heartbeat watch
    run.install_companion();
    bool beating = true;
    run.before_each_tick = [&] {
      if (beating) run.beat();
    };
    run.load();
    run.advance(10s);
    beating = false;
    std::vector<double> countdown;
    for (int half_second = 0; half_second < 800; ++half_second) {
      if (half_second == 180) run.clock.step_wall(step);
      run.advance(500ms);
      countdown.push_back(run.state().countdown);
    }
    std::vector<milliseconds> requests = run.restart.requests;
    for (auto& request : requests) request -= run.clock.monotonic();
    if (step == seconds{0}) {
      reference_countdown = countdown;
      reference_requests = requests;
      ASSERT_EQ(reference_requests.size(), 2u) << "two whole outages in 400 seconds";
    }
    EXPECT_EQ(countdown, reference_countdown);
    EXPECT_EQ(requests, reference_requests);
  }
}

}  // namespace
}  // namespace vrnskdm::supervision
