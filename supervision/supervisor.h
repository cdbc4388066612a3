#pragma once

// What every handler works on: the state the watchdog shares between its
// handlers, the table of service periods, the window's controls and the
// platform.

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/services.h"
#include "window_model.h"

namespace vrnskdm::supervision {

// The program as shipped restarts the machine; the debug build only logs that
// it would have, starts without waiting for the clock, and ends when it cannot
// delete a heartbeat, so that the fault shows.
enum class build { shipped, debug };

// Seconds the warning countdown starts from.
inline constexpr double countdown_start = 180;

// The one record of program-wide state the handlers share. It lives as long as
// the window and is never saved as a whole.
struct supervisor_state {
  std::string base_dir;       // home of the settings file, the marker and the log
  std::string companion_dir;  // where the companion's executable and heartbeat are
  std::int16_t reboot_on_lock = 0;  // saved from the "reboot" check box
  std::int16_t reboot_each = 0;     // saved from the "reboot24" check box
  std::int16_t period_index = 0;    // row of period_hours in use
  std::array<double, 11> period_hours{};
  platform::date_time cycle_start{};  // start of the current scheduled-reboot period
  double countdown = 0;               // seconds left in the warning countdown
  bool blink = false;                 // flash phase of the warning panel: red when on
  bool raised = false;                // the window was brought up in this outage
  bool debug_mode = false;            // restarts only logged, from the debug build
};

struct period_row {
  std::string_view label;
  double hours;
};

// The periods the operator can choose, in the selector's order.
inline constexpr std::array<period_row, 8> period_table{{
    {"24 Hours", 24},
    {"2 Days", 48},
    {"4 Days", 96},
    {"7 Days", 168},
    {"10 Days", 240},
    {"14 Days", 336},
    {"15 Days", 360},
    {"30 Days", 720},
}};

// True for an index that names one of the table's rows.
constexpr bool is_period_row(int index) {
  return index >= 0 && index < static_cast<int>(period_table.size());
}

// The hours in slot period_index of period_hours, or nothing when the index lies
// outside the eleven slots.
inline std::optional<double> period_of(const supervisor_state& state) {
  const auto slot = static_cast<std::uint16_t>(state.period_index);
  if (slot >= state.period_hours.size()) return std::nullopt;
  return state.period_hours[slot];
}

// What the watchdog asked of logind and has yet to hear, and the scheduled
// restart's series of requests.
struct restart_progress {
  bool request_pending = false;
  std::chrono::milliseconds request_answer_due{};
  bool lock_restart_waiting = false;  // for the answer, to log a refusal
  bool refusal_to_report = false;     // to the administrator, with logind's reason
  bool permission_pending = false;
  std::chrono::milliseconds permission_answer_due{};
  // The log or the marker has lines that may not be on the disk yet.
  bool written_since_flush = true;
  // A period ran out with its marker still there: requests follow every second
  // until the marker is deleted or the schedule switched off, after an accepted
  // one too, until the machine is down.
  bool series_running = false;
  std::chrono::milliseconds series_logged_at{};
  // logind accepted a restart of this run: the machine is going down.
  bool restart_accepted = false;
};

// Tells the administrator, through the system's log, of something that keeps
// the watchdog from its work. report.log never gets these.
inline void warn_administrator(platform::services& platform, platform::event kind,
                               std::string_view message) {
  if (platform.system_log != nullptr) platform.system_log->warn(kind, message);
}

// An event that the system's log keeps and report.log does not.
inline void note_in_journal(platform::services& platform, platform::event kind,
                            std::string_view message) {
  if (platform.system_log != nullptr) platform.system_log->record(kind, message);
}

// Has the system's log name the folders as they are now with every entry that
// follows; after each change of either.
inline void name_folders_in_journal(platform::services& platform, const supervisor_state& state) {
  if (platform.system_log != nullptr) {
    platform.system_log->set_folders(state.base_dir, state.companion_dir);
  }
}

// A problem that lasts until somebody mends it, seen again at every look: the
// administrator hears of it once when it begins, and again only when it comes
// back after it was gone.
class lasting_problem {
 public:
  // Whether the problem, there or not at this look, has only now begun.
  bool begins(bool there) {
    const bool begun = there && !there_;
    there_ = there;
    return begun;
  }

 private:
  bool there_ = false;
};

struct lasting_problems {
  lasting_problem heartbeat_undeletable;
  lasting_problem marker_unwritable;
  lasting_problem disk_stalled;
};

struct supervisor {
  explicit supervisor(platform::services services) : platform{services} {}

  supervisor_state state;
  window_model window;
  platform::services platform;
  restart_progress restart;
  lasting_problems problems;
  // The countdown's notification was sent and not withdrawn since.
  bool warning_notified = false;
};

}  // namespace vrnskdm::supervision
