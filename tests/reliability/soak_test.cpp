#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "eventlog/log_event.h"
#include "platform/text.h"
#include "soak_world.h"
#include "support/process_resources.h"
#include "support/scratch_dir.h"

#ifndef VRNSKDM_SOAK_DAYS
#define VRNSKDM_SOAK_DAYS 60
#endif

namespace vrnskdm::testing {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;

constexpr std::string_view lock_shutdown = "Shutdown for no TELVANORE response";
constexpr std::string_view unable = "VARNISKELDAM Unable to REBOOT!";
constexpr std::string_view scheduled_shutdown = "Shutdown. DELETE.ME found not deleted.";
constexpr std::string_view renewed = "Timeout check performed. DELETE.ME created.";

// The longest line an entry of the shipped program takes: timestamp, blank,
// message, CR LF.
constexpr std::size_t longest_entry = 20 + renewed.size() + 2;

// Checks at every tick what must hold whatever happens: the countdown's range,
// the countdown timer running only for a silent companion, the log's cap and
// content, lock restarts exactly when the countdown has run its whole course,
// and the schedule exactly as the hour count and the marker decide.
class soak_checker final : public soak_observer {
 public:
  explicit soak_checker(std::string old_log) : expected_log_{std::move(old_log)} {}

  void started(soak_world& world, const lines& logged) override {
    const milliseconds now = world.clock().monotonic();
    lines restarted = messages(world, logged, now);
    std::erase(restarted, eventlog::cleared_notice);
    check(restarted == lines{"VARNISKELDAM Restarted"}, now, "the start-up logs its restart");
    check(world.files().file_exists(soak_world::marker_file), now, "a period begins with a marker");
    cycle_start_ = world.clock().now();
    shown_end_.clear();
    reboot_on_since_ = now;
    silence_since_.reset();
    armed_at_.reset();
    last_lock_restart_.reset();
    series_logged_at_.reset();
    last_watched_silent_ = false;
    follow_log(world, logged, now);
  }

  void ticked(soak_world& world, const tick_report& r) override {
    const supervision::supervisor& program = *world.supervisor();
    const double countdown = program.state.countdown;
    check(countdown >= 0 && countdown <= 180 && std::floor(countdown * 2) == countdown * 2,
          r.moment, "the countdown stays within 0 to 180, in half seconds");
    check(program.window.timer1.enabled(), r.moment, "the watch never stops");

    const lines logged = messages(world, r.log_lines, r.moment);
    const std::size_t locks = count_of(logged, lock_shutdown);
    const std::size_t schedules = count_of(logged, scheduled_shutdown);
    const std::size_t renewals = count_of(logged, renewed);
    check(count_of(logged, unable) == (locks > 0 && !r.accepted ? 1u : 0u), r.moment,
          "a refused lock restart is logged, an accepted one is not");
    check(logged.size() == count_of(logged, eventlog::cleared_notice) + locks + schedules + renewals +
                               count_of(logged, unable),
          r.moment, "the ticks log nothing else");
    if (r.watch_ticked) {
      watch_tick(world, r, locks, schedules, renewals);
    } else {
      check(r.log_lines.empty() && r.requests == 0, r.moment, "the countdown only counts");
    }
    check(!program.window.timer2.enabled() || last_watched_silent_, r.moment,
          "the countdown timer runs only while the companion is silent");
    follow_log(world, r.log_lines, r.moment);
  }

  void reboot_switched_on(milliseconds moment) override {
    reboot_on_since_ = moment;
    armed_at_.reset();
  }

  void finish(soak_world& world) {
    check(world.files().read(soak_world::log_file) == expected_log_, 0ms,
          "the log holds every line written since it was last emptied");
  }

  // Bytes of memory the copy of the log takes.
  std::size_t bytes_held() const { return expected_log_.capacity(); }

  int failures = 0;
  int lock_restarts = 0;
  int scheduled_restarts = 0;
  int renewals = 0;
  int log_emptied = 0;

 private:
  // The messages of the entries written, each checked for its timestamp: the
  // wall-clock time of its writing.
  lines messages(soak_world& world, const lines& written, milliseconds moment) {
    if (written.empty()) return {};
    const std::string stamp = platform::timestamp_text(world.clock().now()) + " ";
    lines found;
    for (const std::string& line : written) {
      if (line == eventlog::cleared_notice) {
        found.push_back(line);
        continue;
      }
      check(line.starts_with(stamp), moment, "every entry is stamped with the time of writing");
      found.push_back(line.substr(std::min(line.size(), stamp.size())));
    }
    return found;
  }

  void check(bool holds, milliseconds moment, const char* what) {
    if (holds) return;
    // A broken rule breaks at many ticks; the first few say enough.
    if (++failures <= 10) ADD_FAILURE() << what << ", at " << moment.count() << " ms";
  }

  void watch_tick(soak_world& world, const tick_report& r, std::size_t locks, std::size_t schedules,
                  std::size_t renewals_logged) {
    const supervision::supervisor& program = *world.supervisor();
    const bool alive = r.executable_present && r.heartbeat_present;
    const bool silent = r.executable_present && !r.heartbeat_present;
    if (alive) {
      silence_since_.reset();
      armed_at_.reset();
      check(program.state.countdown == 180 && !program.window.timer2.enabled(), r.moment,
            "a sign of life calls the countdown off");
    } else if (!silence_since_) {
      silence_since_ = r.moment;
    }
    if (r.executable_present) last_watched_silent_ = silent;
    if (silent && r.reboot == 1 && !armed_at_) armed_at_ = r.moment;

    if (locks > 0) {
      ++lock_restarts;
      check(locks == 1 && silent && r.reboot == 1, r.moment,
            "a lock restart only for a silent companion with the switch on");
      check(r.moment - *silence_since_ >= 181s, r.moment, "181 seconds of silence come first");
      check(r.moment - reboot_on_since_ >= 179500ms, r.moment,
            "the switch was on for the whole countdown");
      check(!last_lock_restart_ || r.moment - *last_lock_restart_ >= 181s, r.moment,
            "a whole countdown between lock restarts");
      last_lock_restart_ = r.moment;
      armed_at_.reset();
    } else if (silent && r.reboot == 1) {
      check(r.moment - *armed_at_ < 181s, r.moment,
            "the lock restart comes when the countdown has run out");
    }

    const platform::date_time now = world.clock().now();
    const bool due = r.reboot24 == 1 && platform::hours_between(cycle_start_, now) >= 24;
    const bool restart_due = due && r.marker_present;
    const bool series_line =
        restart_due && (!series_logged_at_ || r.moment - *series_logged_at_ >= 1h);
    check(r.requests == locks + (restart_due ? 1u : 0u), r.moment,
          "a request at each lock restart, and at every tick of a period that ran out with its "
          "marker still there");
    check(schedules == (series_line ? 1u : 0u), r.moment,
          "a series of scheduled requests is logged at its first and then hourly");
    check(renewals_logged == (due && !r.marker_present ? 1u : 0u), r.moment,
          "a new period when the marker was deleted, and only then");
    if (series_line) series_logged_at_ = r.moment;
    // An accepted request is the restart under way: the series goes on, logged hourly.
    if (!restart_due) series_logged_at_.reset();
    scheduled_restarts += restart_due ? 1 : 0;
    if (renewals_logged > 0) {
      ++renewals;
      cycle_start_ = now;
      check(world.files().file_exists(soak_world::marker_file), r.moment,
            "a new period writes a new marker");
    }
    if (renewals_logged > 0 || shown_end_.empty()) {
      shown_end_ = "System will reboot at: " +
                   platform::timestamp_text(platform::add_hours(cycle_start_, 24));
    }
    check(program.window.deleteme.caption ==
              (r.reboot24 == 1 ? shown_end_ : std::string_view{"Timeout Reboot disabled."}),
          r.moment, "the schedule line is up to date");
  }

  void follow_log(soak_world& world, const lines& logged, milliseconds moment) {
    for (const std::string& line : logged) {
      if (line == eventlog::cleared_notice) {
        ++log_emptied;
        expected_log_.clear();
      }
      expected_log_.append(line).append("\r\n");
    }
    const std::string_view log = world.files().read(soak_world::log_file);
    check(log.size() <= eventlog::size_cap + longest_entry, moment,
          "the log never grows past its cap and one entry");
    check(log.size() == expected_log_.size(), moment, "no line written is lost or torn");
    if (logged.empty() || log.size() != expected_log_.size()) return;
    const std::size_t tail = std::min<std::size_t>(expected_log_.size(), 200);
    check(log.substr(log.size() - tail) ==
              std::string_view{expected_log_}.substr(expected_log_.size() - tail),
          moment, "the log ends with the lines just written");
  }

  platform::date_time cycle_start_{};
  std::string shown_end_;  // the schedule line for the current period
  milliseconds reboot_on_since_{};
  std::optional<milliseconds> silence_since_;
  std::optional<milliseconds> armed_at_;  // the first silent tick of this countdown
  std::optional<milliseconds> last_lock_restart_;
  std::optional<milliseconds> series_logged_at_;
  bool last_watched_silent_ = false;
  std::string expected_log_;
};

// Memory the program and the world hold, less the log, which lives in memory
// here, twice: as a file and as the check's copy.
long long memory_in_use(const soak_world& world, const soak_checker& checker) {
  return static_cast<long long>(allocated_bytes()) -
         static_cast<long long>(world.files().bytes_held() + checker.bytes_held());
}

// Weeks of random heartbeat gaps, operator actions, clock steps, refused
// restarts and restarts, checked at every tick; memory stays flat from the
// first day to the last.
TEST(Soak, WeeksOfRandomLifeBreakNoRule) {
  constexpr int days = VRNSKDM_SOAK_DAYS;
  // A log left nearly full by earlier runs.
  std::string old_log;
  while (old_log.size() < eventlog::size_cap - 500) {
    old_log += "2026/02/01 08:00:00 VARNISKELDAM Restarted\r\n";
  }
  soak_checker checker{old_log};
  soak_world world{20260302, old_log, checker};
  world.run_until(24h);
  const long long memory_after_first_day = memory_in_use(world, checker);
  for (int day = 2; day <= days && checker.failures == 0; ++day) {
    world.run_until(std::chrono::days{day});
  }
  const long long memory_growth = memory_in_use(world, checker) - memory_after_first_day;
  checker.finish(world);

  EXPECT_EQ(checker.failures, 0);
  EXPECT_LT(memory_growth, 16 * 1024) << "bytes more than after the first day";
  // The life was eventful enough to have tried every rule.
  const soak_counts& counts = world.counts();
  EXPECT_GE(checker.lock_restarts, days);
  EXPECT_GE(checker.scheduled_restarts, days / 10);
  EXPECT_GE(checker.renewals, days / 20);
  EXPECT_GE(checker.log_emptied, 1);
  EXPECT_GE(counts.clock_steps, days * 3);
  std::printf(
      "[ soak     ] %d simulated days: %lld watch ticks, %d starts, %d outages, %d absences, "
      "%d refusal spells, %d lock restarts, %d scheduled restarts, %d renewals, %d operator "
      "actions, %d clock steps, %lld log lines, log emptied %d times, memory %+lld bytes\n",
      days, counts.watch_ticks, counts.starts, counts.outages, counts.absences, counts.refusals,
      checker.lock_restarts, checker.scheduled_restarts, checker.renewals, counts.operator_actions,
      counts.clock_steps, counts.log_lines, checker.log_emptied, memory_growth);
}

}  // namespace
}  // namespace vrnskdm::testing
