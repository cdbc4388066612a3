#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/text.h"
#include "support/faulty_watchdog.h"
#include "support/simulated_watchdog.h"

namespace vrnskdm::supervision {
namespace {

using namespace std::chrono_literals;
using platform::make_date_time;
using testing::simulated_watchdog;
using testing::lines;

using enum supervision::build;

// Runs ticks until the wall clock shows the moment given.
void run_until(simulated_watchdog& run, platform::date_time moment) {
  while (run.clock.now() < moment) run.advance(1s);
}

// The period counts hour boundaries, so a 24-hour period that began at 10:30
// falls due at 10:00 the next day, while the window shows 10:30.
TEST(ScheduledReboot, FallsDueAtTheHourBoundaryThatCompletesThePeriod) {
  simulated_watchdog run{shipped};
  run.write_settings(1, 1, 0);
  run.load();
  const auto started = run.state().cycle_start;
  ASSERT_EQ(platform::timestamp_text(started).substr(0, 16), "2026/03/02 10:30");

  run.advance(1s);
  EXPECT_EQ(run.window().deleteme.caption,
            "System will reboot at: " + platform::timestamp_text(started + 24h));
  run_until(run, make_date_time(2026, 3, 3, 9, 59, 59));
  EXPECT_TRUE(run.restart.requests.empty());
  run.advance(1s);
  EXPECT_EQ(run.restart.requests.size(), 1u);
  EXPECT_EQ(run.log_messages().back(), "Shutdown. DELETE.ME found not deleted.");
}

// A refused restart is asked for every second while the marker stays, a restart
// may be allowed at any moment; but its line is logged at the first request
// and then hourly, and the log and the marker go to the disk only after a
// write, or after a flush that failed: a day of refusals keeps the log's
// history and spares the disk.
TEST(ScheduledReboot, ARefusedSeriesAsksEverySecondButLogsHourly) {
  int flushes = 0;
  testing::faulty_watchdog faulty{shipped, [&](testing::file_operation op, const std::string&) {
                                    flushes += op == testing::file_operation::flush_to_disk ? 1 : 0;
                                    return flushes == 1;  // the first fails
                                  }};
  simulated_watchdog& run = faulty.run;
  run.write_settings(1, 1, 0);
  run.restart.answer = testing::logind_answer::refuses;
  run.restart.flush_trouble = "still going on after 1 s";
  run.load();
  const std::string restarted = run.log_lines().front();
  run_until(run, make_date_time(2026, 3, 3, 10, 0, 0));
  ASSERT_EQ(run.restart.requests.size(), 1u);
  run.advance(24h);

  EXPECT_EQ(run.restart.requests.size(), 24u * 3600 + 1);
  EXPECT_EQ(run.log_lines().front(), restarted);
  EXPECT_EQ(testing::count_of(run.log_messages(), "Shutdown. DELETE.ME found not deleted."), 25u);
  EXPECT_EQ(run.log_lines().back(), "2026/03/04 10:00:00 Shutdown. DELETE.ME found not deleted.");
  EXPECT_EQ(flushes, 2 * 25 + 2);  // the log and the marker, after each line and the failure
  // The administrator learns why, with each line.
  EXPECT_EQ(testing::count_of(run.journal.warnings, std::string{"the restart was not made: "} +
                                            testing::recording_restarter::refusal),
            25u);
  // A disk that held the flushes up all day is told of once, and again only
  // after a flush that ended.
  const auto disk_warnings = [&] {
    return std::count_if(run.journal.warnings.begin(), run.journal.warnings.end(),
                         [](const std::string& warning) {
                           return warning.starts_with("the restart was asked for without waiting");
                         });
  };
  EXPECT_EQ(disk_warnings(), 1);
  run.restart.flush_trouble.clear();
  run.advance(1s);
  run.restart.flush_trouble = "out of memory";
  run.advance(1s);
  EXPECT_EQ(disk_warnings(), 2);

  // Deleting the marker renews the period and ends the series; the next one
  // is logged from its first request again.
  std::filesystem::remove(run.dir.file("delete.me"));
  run.advance(1s);
  EXPECT_EQ(run.log_messages().back(), "Timeout check performed. DELETE.ME created.");
  const std::size_t requests_before = run.restart.requests.size();
  run_until(run, make_date_time(2026, 3, 5, 10, 0, 0));
  EXPECT_EQ(run.restart.requests.size(), requests_before + 1);
  EXPECT_EQ(run.log_messages().back(), "Shutdown. DELETE.ME found not deleted.");
  EXPECT_EQ(testing::count_of(run.log_messages(), "Shutdown. DELETE.ME found not deleted."), 26u);
}

// A logind that never answers holds nothing up: while a request waits for its
// answer no second one is sent, and the ticks go on.
TEST(ScheduledReboot, ASilentLogindIsAskedAgainOnlyOnceItsTimeRanOut) {
  simulated_watchdog run{shipped};
  run.write_settings(1, 1, 0);
  run.restart.answer = testing::logind_answer::stays_silent;
  run.load();
  run_until(run, make_date_time(2026, 3, 3, 10, 0, 0));
  const auto first = run.restart.requests.front();
  run.advance(6s);
  EXPECT_EQ(run.restart.requests, (std::vector<std::chrono::milliseconds>{first, first + 2s,
                                                                          first + 4s, first + 6s}));
  EXPECT_EQ(run.window().deleteme.caption,
            "System will reboot at: " + platform::timestamp_text(run.state().cycle_start + 24h));
  EXPECT_EQ(testing::count_of(run.journal.warnings, "the restart was not made: no answer within 2 s"), 1u);
}

// The debug build logs instead of restarting, as a refused series does: at
// its first tick and then hourly. Switching the schedule off ends a series;
// switched on again, the next one is logged from its start.
TEST(ScheduledReboot, TheDebugBuildLogsInsteadOfRestarting) {
  simulated_watchdog run{debug};
  run.write_settings(1, 1, 0);
  run.load();
  run_until(run, make_date_time(2026, 3, 3, 10, 0, 1));
  EXPECT_TRUE(run.restart.requests.empty());
  EXPECT_TRUE(run.restart.permission_asked.empty());
  const lines series{"Shutdown. DELETE.ME found not deleted.",
                     "Reboot not executed. Debug mode is active."};
  EXPECT_EQ(run.log_messages(), (lines{"VARNISKELDAM Restarted", series[0], series[1]}));
  run.advance(1h);
  EXPECT_EQ(run.log_messages(),
            (lines{"VARNISKELDAM Restarted", series[0], series[1], series[0], series[1]}));
  run.window().reboot24.click();
  run.advance(1s);
  run.window().reboot24.click();
  run.advance(1s);
  EXPECT_EQ(run.log_messages(), (lines{"VARNISKELDAM Restarted", series[0], series[1], series[0],
                                       series[1], series[0], series[1]}));
}

TEST(ScheduledReboot, ADeletedMarkerSkipsTheRestartAndBeginsANewPeriod) {
  simulated_watchdog run{debug};
  run.write_settings(1, 1, 1);  // 2 days
  run.load();
  run.advance(3600s);
  std::filesystem::remove(run.dir.file("delete.me"));
  run_until(run, make_date_time(2026, 3, 4, 10, 0, 0));

  const auto renewed = make_date_time(2026, 3, 4, 10, 0, 0);
  EXPECT_EQ(run.state().cycle_start, renewed);
  EXPECT_EQ(run.dir.read("delete.me"),
            testing::crlf_text({"Delete this file to don't make reboot the system in 48 hour from:",
                                "2026/03/04 10:00:00"}));
  EXPECT_EQ(run.log_messages(),
            (lines{"VARNISKELDAM Restarted", "Timeout check performed. DELETE.ME created."}));
  run.advance(1s);
  EXPECT_EQ(run.window().deleteme.caption, "System will reboot at: 2026/03/06 10:00:00");
  EXPECT_TRUE(run.restart.requests.empty());
}

// The renewal does not hang on the marker: the period renews and is logged
// even when the new marker cannot be written. The administrator learns what
// follows: renewals, or, when a marker cut short stays, restart requests.
TEST(ScheduledReboot, RenewsThePeriodWhenTheMarkerCannotBeWritten) {
  bool marker_unwritable = false;
  testing::file_operation marker_fault = testing::file_operation::open_output;
  testing::faulty_watchdog faulty{shipped, [&](testing::file_operation op, const std::string& path) {
                                    return marker_unwritable && op == marker_fault &&
                                           path.ends_with("/delete.me");
                                  }};
  simulated_watchdog& run = faulty.run;
  run.write_settings(1, 1, 0);
  run.load();
  std::filesystem::remove(run.dir.file("delete.me"));
  marker_unwritable = true;
  run_until(run, make_date_time(2026, 3, 3, 10, 0, 1));
  EXPECT_EQ(run.state().cycle_start, make_date_time(2026, 3, 3, 10, 0, 0));
  EXPECT_EQ(run.log_messages().back(), "Timeout check performed. DELETE.ME created.");
  EXPECT_EQ(testing::count_of(run.log_messages(), "Timeout check performed. DELETE.ME created."), 1u);
  EXPECT_FALSE(run.dir.exists("delete.me"));
  EXPECT_TRUE(run.restart.requests.empty());
  // Every renewal fails alike; the administrator hears of it once, and again
  // only once it was fine in between.
  run_until(run, make_date_time(2026, 3, 5, 10, 0, 1));
  EXPECT_EQ(testing::count_of(run.log_messages(), "Timeout check performed. DELETE.ME created."), 3u);
  EXPECT_EQ(run.journal.warnings.size(), 1u);
  EXPECT_NE(run.journal.warnings[0].find(run.dir.file("delete.me") +
                                         " cannot be written: every service period renews"),
            std::string::npos);
  marker_unwritable = false;
  std::filesystem::remove(run.dir.file("delete.me"));
  run_until(run, make_date_time(2026, 3, 6, 10, 0, 1));
  marker_unwritable = true;
  std::filesystem::remove(run.dir.file("delete.me"));
  run_until(run, make_date_time(2026, 3, 7, 10, 0, 1));
  EXPECT_EQ(run.journal.warnings.size(), 2u);

  marker_unwritable = false;
  run_until(run, make_date_time(2026, 3, 8, 10, 0, 1));
  marker_unwritable = true;
  marker_fault = testing::file_operation::write_line;
  std::filesystem::remove(run.dir.file("delete.me"));
  run_until(run, make_date_time(2026, 3, 9, 10, 0, 1));
  ASSERT_EQ(run.journal.warnings.size(), 3u);
  EXPECT_NE(run.journal.warnings[2].find(" cannot be written: the one there stays as it is, and every "
                                         "service period ends in restart requests"),
            std::string::npos)
      << run.journal.warnings[2];
  run_until(run, make_date_time(2026, 3, 10, 10, 0, 1));
  EXPECT_FALSE(run.restart.requests.empty());
  EXPECT_EQ(run.log_messages().back(), "Shutdown. DELETE.ME found not deleted.");
}

TEST(ScheduledReboot, SwitchedOffItWaitsAndSwitchedOnAfterThePeriodItIsDueAtOnce) {
  simulated_watchdog run{debug};
  run.write_settings(1, 0, 0);
  run.load();
  run.advance(1s);
  EXPECT_EQ(run.window().deleteme.caption, "Timeout Reboot disabled.");
  run_until(run, make_date_time(2026, 3, 5, 0, 0, 0));
  EXPECT_EQ(run.log_messages(), (lines{"VARNISKELDAM Restarted"}));

  run.window().reboot24.click();
  run.advance(1s);
  EXPECT_EQ(run.log_messages().back(), "Reboot not executed. Debug mode is active.");
  EXPECT_EQ(run.window().deleteme.caption, "System will reboot at: 2026/03/03 10:30:00");
}

TEST(ScheduledReboot, AGrayedSwitchCountsAsOff) {
  simulated_watchdog run{debug};
  run.write_settings(1, 2, 0);
  run.load();
  run_until(run, make_date_time(2026, 3, 4, 0, 0, 0));
  EXPECT_EQ(run.window().deleteme.caption, "Timeout Reboot disabled.");
  EXPECT_EQ(run.log_messages(), (lines{"VARNISKELDAM Restarted"}));
}

// A whole 30-day period, tick by tick: due at the 720th hour boundary, and
// renewed at the next tick when the operator, warned, deletes the marker.
TEST(ScheduledReboot, AThirtyDayPeriodRunsThroughTickByTick) {
  simulated_watchdog run{shipped};
  run.write_settings(1, 1, 7);
  run.load();
  const auto started = run.state().cycle_start;
  run.restart.answer = testing::logind_answer::refuses;
  run.restart.on_request = [&] { std::filesystem::remove(run.dir.file("delete.me")); };
  run.advance(24h * 30);

  ASSERT_EQ(run.restart.requests.size(), 1u);
  const auto requested =
      testing::default_start() + std::chrono::floor<std::chrono::seconds>(run.restart.requests[0]);
  EXPECT_EQ(requested, std::chrono::floor<std::chrono::hours>(started) + 720h);
  EXPECT_EQ(run.state().cycle_start, requested + 1s);
  EXPECT_EQ(run.log_messages(),
            (lines{"VARNISKELDAM Restarted", "Shutdown. DELETE.ME found not deleted.",
                   "Timeout check performed. DELETE.ME created."}));
  EXPECT_EQ(run.window().deleteme.caption,
            "System will reboot at: " + platform::timestamp_text(requested + 1s + 720h));
}

}  // namespace
}  // namespace vrnskdm::supervision
