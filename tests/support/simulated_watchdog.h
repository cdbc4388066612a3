#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "scratch_dir.h"
#include "simulated_clock.h"
#include "stand_ins.h"
#include "supervision/watchdog.h"

namespace vrnskdm::testing {

// 2026/03/02 10:30:00, well away from any daylight-saving change.
platform::date_time default_start();

// The whole program without its window, in a scratch working folder, on
// simulated time: a three-minute outage or a thirty-day period runs in
// milliseconds. The companion lives in the folder "telvnor" of the scratch
// folder once settings point there.
class simulated_watchdog {
 public:
  explicit simulated_watchdog(supervision::build kind = supervision::build::shipped,
                              platform::date_time wall_start = default_start(),
                              platform::files* files = nullptr);
  simulated_watchdog(supervision::build kind, simulated_clock start_clock,
                     platform::files* files = nullptr);

  supervision::supervisor& supervisor() { return watchdog.supervisor(); }
  supervision::supervisor_state& state() { return watchdog.supervisor().state; }
  supervision::window_model& window() { return watchdog.supervisor().window; }

  void load() { watchdog.load(); }

  // Runs every tick due within the time given, each at its own due time, or
  // later when a handler before it took the time; calls before_each_tick
  // before every moment at which ticks fall due.
  void advance(std::chrono::milliseconds by);

  // The settings file pointing at the scratch companion folder.
  void write_settings(int reboot, int reboot24, int period_index);
  std::string companion_dir() const { return dir.file("telvnor"); }
  void install_companion() const;
  void remove_companion_executable() const;
  void beat() const;
  bool heartbeat_waiting() const;

  std::vector<std::string> log_lines() const { return crlf_lines(dir.read("report.log")); }
  // The log's messages, timestamps cut off.
  std::vector<std::string> log_messages() const { return testing::log_messages(dir.read("report.log")); }

  scratch_dir dir;
  recording_journal journal;  // the events, and the warnings for the administrator
  platform::posix_files real_files{&journal};
  simulated_clock clock;
  simulated_events events;
  recording_restarter restart;
  recording_process proc;
  recording_notifier notifications;
  supervision::watchdog watchdog;
  std::function<void()> before_each_tick;
};

}  // namespace vrnskdm::testing
