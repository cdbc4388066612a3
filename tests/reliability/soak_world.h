#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "supervision/watchdog.h"
#include "support/memory_files.h"
#include "support/simulated_clock.h"
#include "support/stand_ins.h"

namespace vrnskdm::testing {

// What one moment of ticks met and did, for the checks.
struct tick_report {
  std::chrono::milliseconds moment;
  bool watch_ticked;  // the countdown may have ticked as well
  // As the ticks found them.
  bool executable_present;
  bool heartbeat_present;
  bool marker_present;
  std::int16_t reboot;
  std::int16_t reboot24;
  bool accepted;  // what restart requests were answered
  // What the ticks did.
  std::size_t requests;
  std::vector<std::string> log_lines;
};

class soak_world;

// Watches the world tick by tick.
class soak_observer {
 public:
  virtual ~soak_observer() = default;
  // The program has just started; log_lines are what its start-up logged.
  virtual void started(soak_world& world, const std::vector<std::string>& log_lines) = 0;
  virtual void ticked(soak_world& world, const tick_report& report) = 0;
  // The operator switched the lock restart on.
  virtual void reboot_switched_on(std::chrono::milliseconds moment) = 0;
};

struct soak_counts {
  long long watch_ticks = 0;
  int starts = 0;
  int clock_steps = 0;
  int operator_actions = 0;
  int outages = 0;   // silences long enough for a lock restart
  int absences = 0;  // spells with the companion's executable gone
  int refusals = 0;  // spells of restart requests refused
  long long log_lines = 0;
};

// A machine's life in simulated time: a companion that beats with gaps and
// now and then vanishes, an operator who flips the switches and deletes the
// marker, a wall clock that gets stepped, and restarts that take the shipped
// program down and start it again. Files live in memory, so that weeks take
// seconds; the same seed gives the same life.
class soak_world {
 public:
  static constexpr const char* log_file = "/work/report.log";
  static constexpr const char* marker_file = "/work/delete.me";
  static constexpr const char* executable = "/telvnor/telvnor.exe";
  static constexpr const char* heartbeat = "/telvnor/telvnor.vkd";

  // The log starts as old_log, as left by earlier runs.
  soak_world(std::uint64_t seed, const std::string& old_log, soak_observer& observer);

  // Lives until the monotonic moment given.
  void run_until(std::chrono::milliseconds end);

  // What the program's handlers work on now; nothing while the machine is down.
  supervision::supervisor* supervisor();
  memory_files& files() { return files_; }
  const memory_files& files() const { return files_; }
  simulated_clock& clock() { return clock_; }
  const soak_counts& counts() const { return counts_; }

 private:
  using milliseconds = std::chrono::milliseconds;

  milliseconds random_between(milliseconds low, milliseconds high);
  milliseconds random_interval(milliseconds mean);
  bool chance(double probability);

  void start_program();
  void run_ticks(milliseconds now);
  void companion_changes(milliseconds now);
  void operator_acts(milliseconds now);
  void clock_steps();

  std::mt19937_64 random_;
  soak_observer& observer_;
  memory_files files_{"/work"};
  simulated_clock clock_;
  simulated_events events_{clock_};
  recording_restarter restart_{clock_, &files_};
  recording_process process_;
  std::optional<supervision::watchdog> watchdog_;
  milliseconds started_at_{};
  soak_counts counts_;

  enum class companion { beating, silent, absent };
  companion companion_ = companion::beating;
  milliseconds companion_change_at_{};
  milliseconds next_beat_{};
  milliseconds next_operator_action_{};
  milliseconds next_clock_step_{};
  std::optional<milliseconds> going_down_at_;
  milliseconds up_again_at_{};
  milliseconds next_refusal_{};
  milliseconds refusing_until_{};
};

}  // namespace vrnskdm::testing
