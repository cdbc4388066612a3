#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/text.h"
#include "supervision/window_model.h"
#include "support/faulty_watchdog.h"
#include "support/simulated_watchdog.h"

namespace vrnskdm::supervision {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;
using testing::simulated_watchdog;
using testing::lines;

using enum supervision::build;

const std::string warning_shown = "show: The machine restarts in 180 seconds";

// A watchdog whose companion beats at every tick until told to fall silent.
class Outage : public ::testing::Test {
 protected:
  explicit Outage(supervision::build kind = shipped) : run{kind} {}

  void SetUp() override {
    run.write_settings(1, 1, 0);
    run.install_companion();
    run.before_each_tick = [this] {
      if (beating) run.beat();
    };
    run.load();
    run.advance(10s);
  }

  // Falls silent right after a tick; returns when the first silent tick is due.
  milliseconds fall_silent() {
    beating = false;
    return *run.watchdog.next_due();
  }

  void advance_to(milliseconds moment) { run.advance(moment - run.clock.monotonic()); }

  std::string stamp() { return platform::timestamp_text(run.clock.now()); }

  simulated_watchdog run;
  bool beating = true;
};

class DebugOutage : public Outage {
 protected:
  DebugOutage() : Outage{debug} {}
};

TEST_F(Outage, AnAliveCompanionIsReportedAndItsHeartbeatConsumedEveryTick) {
  for (int tick = 0; tick < 5; ++tick) {
    run.advance(1s);
    EXPECT_EQ(run.window().checking.caption, "TELVANORE alive at: " + stamp());
    EXPECT_FALSE(run.heartbeat_waiting());
  }
  EXPECT_FALSE(run.window().timer2.enabled());
  EXPECT_EQ(run.log_messages(), (lines{"VARNISKELDAM Restarted"}));
}

// The whole outage, from the first silent tick to the restart request.
TEST_F(Outage, RunsFromTheFirstSilentTickToOneRestartRequest) {
  const milliseconds first_silent = fall_silent();
  advance_to(first_silent);
  EXPECT_EQ(run.window().checking.caption, " TELVANORE seems to be died at: " + stamp());
  EXPECT_TRUE(run.window().timer2.enabled());
  EXPECT_EQ(run.state().countdown, 180);
  EXPECT_FALSE(run.window().sfondo.visible);
  EXPECT_EQ(run.window().form.raise_requests(), 0u);
  EXPECT_FALSE(run.window().form.kept_on_top());
  EXPECT_EQ(run.notifications.asked, lines{});

  advance_to(first_silent + 1s);
  EXPECT_EQ(run.window().form.raise_requests(), 1u);
  EXPECT_TRUE(run.window().form.kept_on_top());
  EXPECT_EQ(run.notifications.asked, lines{warning_shown});
  EXPECT_EQ(run.state().countdown, 179);
  EXPECT_EQ(run.window().warning.caption, "WARNING! SYSTEM REBOOT IN 179 SECONDS!");
  EXPECT_TRUE(run.window().sfondo.visible);
  EXPECT_TRUE(run.window().sfondo.enabled);
  EXPECT_TRUE(run.window().warning.enabled);
  EXPECT_EQ(run.window().sfondo.back_color, warning_red);

  advance_to(first_silent + 2s);
  EXPECT_EQ(run.window().sfondo.back_color, warning_green);
  EXPECT_EQ(run.window().warning.caption, "WARNING! SYSTEM REBOOT IN 178 SECONDS!");
  EXPECT_EQ(run.notifications.asked, lines{warning_shown});  // once per countdown

  advance_to(first_silent + 152s);
  EXPECT_EQ(run.state().countdown, 28.5);
  EXPECT_EQ(run.window().warning.caption, "WARNING! SYSTEM REBOOT IN 28 SECONDS!");
  EXPECT_EQ(run.window().timer2.interval(), 500);

  advance_to(first_silent + 180s + 500ms);
  EXPECT_EQ(run.state().countdown, 0);
  EXPECT_EQ(run.window().warning.caption, "WARNING! SYSTEM REBOOT IN 0 SECONDS!");
  EXPECT_TRUE(run.restart.requests.empty());

  advance_to(first_silent + 181s);
  EXPECT_EQ(run.restart.requests, (std::vector<milliseconds>{first_silent + 181s}));
  EXPECT_EQ(run.log_lines().back(), stamp() + " Shutdown for no TELVANORE response");
  EXPECT_EQ(run.log_messages(),
            (lines{"VARNISKELDAM Restarted", "Shutdown for no TELVANORE response"}));
  EXPECT_EQ(run.state().countdown, 180);
  EXPECT_FALSE(run.window().timer2.enabled());
  EXPECT_EQ(run.window().form.raise_requests(), 1u);  // once per outage
  EXPECT_FALSE(run.window().form.kept_on_top());       // the warning has done its work
  EXPECT_EQ(run.notifications.asked, (lines{warning_shown, "close"}));
}

// Seconds left after each countdown tick: whole seconds down to 29, then half
// seconds, twice as often, down to 0.
TEST_F(Outage, CountsDownInSecondsThenInHalfSecondsToZero) {
  const milliseconds first_silent = fall_silent();
  std::vector<std::pair<milliseconds, double>> seen;
  run.before_each_tick = [&] {
    if (seen.empty() || seen.back().second != run.state().countdown) {
      seen.emplace_back(run.clock.monotonic() - first_silent, run.state().countdown);
    }
  };
  advance_to(first_silent + 181s);

  std::vector<std::pair<milliseconds, double>> expected{{0ms, 180}};
  // Each value is seen at the tick after the one that made it.
  for (int k = 1; k <= 151; ++k) expected.emplace_back(milliseconds{(k + 1) * 1000}, 180 - k);
  for (int j = 0; j < 58; ++j) {
    expected.emplace_back(152s + milliseconds{500 * j + 500}, 28.5 - 0.5 * j);
  }
  expected.back().first = 181s;  // 0 is seen first by the watch tick
  EXPECT_EQ(seen.size(), expected.size());
  for (std::size_t i = 0; i < std::min(seen.size(), expected.size()); ++i) {
    EXPECT_EQ(seen[i], expected[i]) << i;
  }
  EXPECT_EQ(run.restart.requests.size(), 1u);
}

TEST_F(Outage, AHeartbeatBeforeTheEndCallsTheOutageOff) {
  for (const milliseconds ends_after : {milliseconds{1s}, milliseconds{30s}, milliseconds{151s},
                                        milliseconds{170s}, 180s + 500ms}) {
    SCOPED_TRACE(ends_after.count());
    run.notifications.asked.clear();
    run.journal.kinds.clear();
    const std::size_t logged_before = run.log_messages().size();
    const milliseconds first_silent = fall_silent();
    advance_to(first_silent + ends_after);
    beating = true;
    run.advance(1s);
    // The journal alone has the outage's beginning and end: report.log keeps
    // its own lines.
    EXPECT_EQ(run.journal.kinds, (std::vector<platform::event>{platform::event::outage_begun,
                                                               platform::event::outage_over}));
    EXPECT_EQ(run.log_messages().size(), logged_before);
    EXPECT_EQ(run.window().checking.caption, "TELVANORE alive at: " + stamp());
    EXPECT_EQ(run.state().countdown, 180);
    EXPECT_FALSE(run.window().timer2.enabled());
    EXPECT_FALSE(run.window().sfondo.visible);
    EXPECT_EQ(run.window().warning.caption, "");
    EXPECT_FALSE(run.state().raised);
    EXPECT_FALSE(run.window().form.kept_on_top());
    EXPECT_EQ(run.notifications.asked, (lines{warning_shown, "close"}));
    run.advance(200s);
    EXPECT_TRUE(run.restart.requests.empty());
  }
}

// One silent tick between alive ones: the countdown is armed and disarmed
// before it ever ticks.
TEST_F(Outage, OneMissedHeartbeatDoesNotReachTheCountdown) {
  const milliseconds first_silent = fall_silent();
  advance_to(first_silent);
  EXPECT_TRUE(run.window().timer2.enabled());
  beating = true;
  run.advance(1s);
  EXPECT_FALSE(run.window().timer2.enabled());
  EXPECT_EQ(run.window().form.raise_requests(), 0u);
  EXPECT_EQ(run.state().countdown, 180);
}

// An outage that ended in its last half minute leaves the countdown timer at
// half a second: the next outage's first countdown tick comes that soon, and
// puts the interval back to a second.
TEST_F(Outage, AHalfSecondIntervalLeftOverComesBackToASecond) {
  milliseconds first_silent = fall_silent();
  advance_to(first_silent + 170s);
  beating = true;
  run.advance(1s);
  ASSERT_EQ(run.window().timer2.interval(), 500);

  first_silent = fall_silent();
  advance_to(first_silent + 500ms);
  EXPECT_EQ(run.state().countdown, 179);
  EXPECT_EQ(run.window().timer2.interval(), 1000);
  advance_to(first_silent + 1s);
  EXPECT_EQ(run.state().countdown, 179);
  advance_to(first_silent + 1s + 500ms);
  EXPECT_EQ(run.state().countdown, 178);
}

// A refusal is logged when it comes: at once, or when a silent logind's time
// runs out, the watch going on meanwhile. The administrator learns why.
TEST_F(Outage, ARefusedRestartIsReportedAndTheCountdownStartsAgain) {
  const struct {
    testing::logind_answer answer;
    milliseconds answered_after;
    std::string why;
  } refusals[] = {
      {testing::logind_answer::refuses, 0ms, testing::recording_restarter::refusal},
      // Someone else's shutdown or sleep, with no restart of ours accepted.
      {testing::logind_answer::under_way, 0ms, testing::recording_restarter::under_way},
      {testing::logind_answer::stays_silent, 2s, "no answer within 2 s"},
  };
  for (const auto& refusal : refusals) {
    SCOPED_TRACE(refusal.why);
    run.restart.answer = refusal.answer;
    run.restart.requests.clear();
    run.notifications.asked.clear();
    run.journal.kinds.clear();
    const milliseconds first_silent = fall_silent();
    const std::size_t logged_before = run.log_messages().size();
    advance_to(first_silent + 181s);
    const lines restart_lines{"Shutdown for no TELVANORE response", "VARNISKELDAM Unable to REBOOT!"};
    const auto logged_since = [&] {
      const lines logged = run.log_messages();
      return lines(logged.begin() + static_cast<std::ptrdiff_t>(logged_before), logged.end());
    };
    EXPECT_EQ(logged_since(), (refusal.answered_after > 0ms ? lines{restart_lines[0]} : restart_lines));
    if (refusal.answered_after == 0ms) {
      EXPECT_EQ(run.window().checking.caption, "VARNISKELDAM Unable to REBOOT!");
    }
    EXPECT_FALSE(run.window().timer2.enabled());

    run.advance(1s);  // the next silent tick overwrites the line and arms again, answer or not
    EXPECT_EQ(run.window().checking.caption, " TELVANORE seems to be died at: " + stamp());
    EXPECT_TRUE(run.window().timer2.enabled());
    advance_to(std::max(run.clock.monotonic(), first_silent + 181s + refusal.answered_after));
    EXPECT_EQ(logged_since(), restart_lines);
    EXPECT_EQ(run.journal.warnings.back(), "the restart was not made: " + refusal.why);
    // In the journal, each entry with its kind: the restart asked for, refused,
    // and why, and the warning that begins again.
    for (const platform::event kind :
         {platform::event::outage_begun, platform::event::lock_restart,
          platform::event::restart_refused, platform::event::restart_not_made}) {
      EXPECT_NE(std::find(run.journal.kinds.begin(), run.journal.kinds.end(), kind),
                run.journal.kinds.end());
    }
    EXPECT_EQ(std::count(run.journal.kinds.begin(), run.journal.kinds.end(),
                         platform::event::outage_begun),
              2);
    advance_to(first_silent + 363s);
    EXPECT_EQ(run.restart.requests,
              (std::vector<milliseconds>{first_silent + 181s, first_silent + 363s}));
    // Each countdown has its notification, gone when its restart is asked for.
    EXPECT_EQ(run.notifications.asked, (lines{warning_shown, "close", warning_shown, "close"}));
    beating = true;
    run.advance(3s);
  }
}

// The lock restart's lines keep their order: its refusal, when it comes,
// follows its own line before anything the scheduled half writes, here a
// period that ran out at the same tick.
TEST_F(Outage, ALockRestartsRefusalComesBeforeTheScheduledLines) {
  run.restart.answer = testing::logind_answer::stays_silent;
  const milliseconds first_silent = fall_silent();
  advance_to(first_silent + 180s + 500ms);
  run.state().cycle_start = platform::add_hours(run.state().cycle_start, -24);
  advance_to(first_silent + 184s);
  EXPECT_EQ(run.log_messages(),
            (lines{"VARNISKELDAM Restarted", "Shutdown for no TELVANORE response",
                   "VARNISKELDAM Unable to REBOOT!", "Shutdown. DELETE.ME found not deleted."}));
}

// A program that ends while the lock restart's answer is on its way waits for
// it, within its bound, and logs the refusal.
TEST_F(Outage, AProgramThatEndsLogsTheLockRestartsRefusalStillOnItsWay) {
  run.restart.answer = testing::logind_answer::stays_silent;
  const milliseconds first_silent = fall_silent();
  advance_to(first_silent + 181s);
  run.watchdog.end();
  EXPECT_EQ(run.log_messages(), (lines{"VARNISKELDAM Restarted", "Shutdown for no TELVANORE response",
                                       "VARNISKELDAM Unable to REBOOT!"}));
  EXPECT_EQ(run.journal.warnings, lines{"the restart was not made: no answer within 2 s"});
  EXPECT_LE(run.clock.monotonic(), first_silent + 181s + platform::answer_timeout);
}

TEST_F(DebugOutage, LogsThatTheRestartWasNotMade) {
  const milliseconds first_silent = fall_silent();
  advance_to(first_silent + 181s);
  EXPECT_TRUE(run.restart.requests.empty());
  EXPECT_EQ(run.log_messages(),
            (lines{"VARNISKELDAM Restarted", "Shutdown for no TELVANORE response",
                   "Reboot not performed because debug mode is active.",
                   "VARNISKELDAM Unable to REBOOT!"}));
  EXPECT_EQ(run.window().checking.caption, "VARNISKELDAM Unable to REBOOT!");
  EXPECT_EQ(run.notifications.asked, (lines{warning_shown, "close"}));
}

TEST_F(Outage, AnUncheckedSwitchWatchesButNeverArms) {
  run.window().reboot.set_value(0);
  fall_silent();
  run.advance(400s);
  EXPECT_EQ(run.window().checking.caption, " TELVANORE seems to be died at: " + stamp());
  EXPECT_FALSE(run.window().timer2.enabled());
  EXPECT_EQ(run.window().form.raise_requests(), 0u);
  EXPECT_FALSE(run.window().form.kept_on_top());
  EXPECT_TRUE(run.restart.requests.empty());
  EXPECT_EQ(run.notifications.asked, lines{});
}

// Grayed arms the countdown timer, but the countdown treats it as off: the
// window comes up once, but is not kept over the others, as no warning shows;
// the panel stays hidden, the countdown is held, and the desktop is told
// nothing.
TEST_F(Outage, AGrayedSwitchBringsTheWindowUpButNeverRestarts) {
  run.window().reboot.set_value(2);
  fall_silent();
  run.advance(400s);
  EXPECT_TRUE(run.window().timer2.enabled());
  EXPECT_EQ(run.window().form.raise_requests(), 1u);
  EXPECT_FALSE(run.window().form.kept_on_top());
  EXPECT_FALSE(run.window().sfondo.visible);
  EXPECT_EQ(run.state().countdown, 180);
  EXPECT_TRUE(run.restart.requests.empty());
  EXPECT_EQ(run.notifications.asked, lines{});
}

TEST_F(Outage, SwitchedOffAndOnAgainTheCountdownStartsOver) {
  const milliseconds first_silent = fall_silent();
  advance_to(first_silent + 100s);
  run.window().reboot.click();  // off
  run.advance(1s);
  EXPECT_EQ(run.state().countdown, 180);
  EXPECT_FALSE(run.window().sfondo.visible);
  EXPECT_FALSE(run.window().form.kept_on_top());
  EXPECT_EQ(run.notifications.asked, (lines{warning_shown, "close"}));
  run.window().reboot.click();  // on again
  run.advance(1s);
  EXPECT_EQ(run.state().countdown, 179);
  EXPECT_TRUE(run.window().form.kept_on_top());
  EXPECT_EQ(run.window().warning.caption, "WARNING! SYSTEM REBOOT IN 179 SECONDS!");
  EXPECT_TRUE(run.window().sfondo.visible);
  EXPECT_EQ(run.notifications.asked, (lines{warning_shown, "close", warning_shown}));
}

// The executable gone mid-countdown: nothing arms or disarms, the countdown
// runs on to 0, and the first silent tick after the executable is back
// restarts at once, with no new warning.
TEST_F(Outage, AnExecutableRemovedMidCountdownLetsItRunOut) {
  const milliseconds first_silent = fall_silent();
  advance_to(first_silent + 10s);
  run.remove_companion_executable();
  advance_to(first_silent + 300s);
  EXPECT_EQ(run.window().checking.caption, "TELVANORE seems to be not installed.");
  EXPECT_EQ(run.state().countdown, 0);
  EXPECT_TRUE(run.window().timer2.enabled());
  EXPECT_TRUE(run.restart.requests.empty());

  run.install_companion();
  run.advance(1s);
  EXPECT_EQ(run.restart.requests.size(), 1u);
}

// A heartbeat file without the executable is no sign of life and is left alone.
TEST_F(Outage, AHeartbeatWithoutTheExecutableCountsAsNotInstalled) {
  run.remove_companion_executable();
  run.advance(3s);
  EXPECT_EQ(run.window().checking.caption, "TELVANORE seems to be not installed.");
  EXPECT_TRUE(run.heartbeat_waiting());
  EXPECT_FALSE(run.window().timer2.enabled());
}

// Starts the program with one heartbeat waiting that cannot be deleted, as when
// the companion holds it open.
void start_with_stuck_heartbeat(simulated_watchdog& run) {
  run.write_settings(1, 1, 0);
  run.install_companion();
  run.load();
  run.beat();
}

// A stuck heartbeat is seen again at the next tick: alive, and the watch goes on.
// The administrator is told once that the watch watches nothing, and again
// only when it comes back after a deletion worked: when the folder's
// permissions say so in advance, too. A heartbeat the companion removed itself
// before it could be deleted is no fault.
TEST(HeartbeatWatch, AHeartbeatThatCannotBeDeletedCountsAsAliveAgain) {
  std::optional<testing::file_operation> failing = testing::file_operation::delete_file;
  bool removed_by_companion = false;
  testing::faulty_watchdog faulty{
      shipped, [&](testing::file_operation op, const std::string& path) {
        if (removed_by_companion && op == testing::file_operation::delete_file) {
          std::filesystem::remove(path);
          return true;
        }
        return op == failing;
      }};
  simulated_watchdog& run = faulty.run;
  start_with_stuck_heartbeat(run);
  run.advance(600s);
  EXPECT_EQ(run.window().checking.caption.rfind("TELVANORE alive at: ", 0), 0u);
  EXPECT_TRUE(run.restart.requests.empty());
  ASSERT_EQ(run.journal.warnings.size(), 1u);
  EXPECT_NE(run.journal.warnings[0].find(run.dir.file("telvnor/telvnor.vkd") + " cannot be deleted"),
            std::string::npos);

  failing = testing::file_operation::may_delete_in;
  run.advance(2s);  // deleted, then a silent tick in a folder that looks closed
  EXPECT_FALSE(run.heartbeat_waiting());
  EXPECT_EQ(run.journal.warnings.size(), 2u);

  failing = testing::file_operation::delete_file;
  run.advance(1s);  // a silent tick in a folder that looks open ends nothing
  run.beat();
  run.advance(1s);
  EXPECT_EQ(run.journal.warnings.size(), 2u);

  failing.reset();
  run.advance(1s);
  removed_by_companion = true;
  run.beat();
  run.advance(1s);
  EXPECT_EQ(run.window().checking.caption.rfind("TELVANORE alive at: ", 0), 0u);
  EXPECT_EQ(run.journal.warnings.size(), 2u);
}

TEST(HeartbeatWatch, TheDebugBuildEndsWhenTheHeartbeatCannotBeDeleted) {
  testing::faulty_watchdog faulty{debug, testing::failing(testing::file_operation::delete_file)};
  simulated_watchdog& run = faulty.run;
  start_with_stuck_heartbeat(run);
  EXPECT_THROW(run.advance(1s), testing::program_ended);
  EXPECT_EQ(run.log_messages(), (lines{"VARNISKELDAM Restarted"}));
}

// A companion folder that cannot be looked into is no reason to stop watching.
TEST(HeartbeatWatch, ACompanionFolderThatCannotBeUsedCountsAsNotInstalled) {
  for (const std::string& folder :
       {std::string{"/not-a-folder"}, std::string{"/missing"}, "/" + std::string(5000, 'x')}) {
    SCOPED_TRACE(folder.substr(0, 20));
    simulated_watchdog run{shipped};
    run.dir.write("not-a-folder", "");
    run.dir.write("vrnskdm.ini", testing::crlf_text({"telvnor_path=" + run.dir.path() + folder,
                                                     "Reboot=1", "Reboot24=1", "Reboot24_v=0"}));
    run.load();
    run.advance(5s);
    EXPECT_EQ(run.window().checking.caption, "TELVANORE seems to be not installed.");
  }
}

// A disk that answers each look at a file slowly, as under heavy writing,
// holds the ticks up, but the countdown keeps to the clock: the restart is
// asked for 181 s after the companion's last tick, late only by the looks of
// the ticks around it.
TEST(HeartbeatWatch, ASlowDiskDoesNotStretchTheCountdown) {
  for (const milliseconds each_look : {0ms, 300ms, 700ms}) {
    SCOPED_TRACE(each_look.count());
    testing::faulty_watchdog faulty{shipped, nullptr};
    simulated_watchdog& run = faulty.run;
    faulty.files.fails = [&](testing::file_operation op, const std::string&) {
      if (op == testing::file_operation::file_exists) run.clock.advance(each_look);
      return false;
    };
    bool beating = true;
    run.before_each_tick = [&] {
      if (beating) run.beat();
    };
    run.write_settings(1, 1, 0);
    run.install_companion();
    run.load();
    run.advance(10s);
    beating = false;
    const milliseconds silent_from = run.clock.monotonic();
    run.advance(200s);
    ASSERT_EQ(run.restart.requests.size(), 1u);
    const milliseconds asked_after = run.restart.requests[0] - silent_from;
    std::printf("[ measured ] each look at a file taking %lld ms: restart asked %.1f s after the "
                "companion's last tick\n",
                static_cast<long long>(each_look.count()),
                static_cast<double>(asked_after.count()) / 1000);
    EXPECT_LE(asked_after, 182s + 4 * each_look);
  }
}

// What was logged must survive the restart that follows the request at once.
TEST(HeartbeatWatch, TheLogAndTheMarkerReachTheDiskBeforeTheRestartIsRequested) {
  std::vector<std::string> flushed;
  testing::faulty_watchdog faulty{shipped, [&](testing::file_operation op, const std::string& path) {
                                    if (op == testing::file_operation::flush_to_disk) {
                                      flushed.push_back(path);
                                    }
                                    return false;
                                  }};
  simulated_watchdog& run = faulty.run;
  std::vector<std::string> flushed_at_request;
  run.restart.on_request = [&] { flushed_at_request = flushed; };
  run.write_settings(1, 1, 0);
  run.install_companion();
  run.load();
  run.advance(183s);
  ASSERT_EQ(run.restart.requests.size(), 1u);
  EXPECT_EQ(flushed_at_request, (lines{run.dir.file("report.log"), run.dir.file("delete.me")}));
}

}  // namespace
}  // namespace vrnskdm::supervision
