#include "simulated_watchdog.h"

#include <algorithm>
#include <filesystem>

namespace vrnskdm::testing {

platform::date_time default_start() { return platform::make_date_time(2026, 3, 2, 10, 30, 0); }

simulated_watchdog::simulated_watchdog(supervision::build kind, platform::date_time wall_start,
                                       platform::files* files)
    : simulated_watchdog{kind, simulated_clock{wall_start}, files} {}

simulated_watchdog::simulated_watchdog(supervision::build kind, simulated_clock start_clock,
                                       platform::files* files)
    : clock{start_clock},
      events{clock},
      restart{clock, files != nullptr ? files : &real_files},
      watchdog{platform::services{files != nullptr ? *files : real_files, clock, events, restart,
                                 proc, &journal, &notifications},
              kind} {}

void simulated_watchdog::advance(std::chrono::milliseconds by) {
  const auto until = clock.monotonic() + by;
  // A handler that took time (on a slow disk, say) leaves the clock past what
  // it made due: it runs late then, never back in time.
  for (auto due = watchdog.next_due(); due && *due <= until; due = watchdog.next_due()) {
    clock.advance_to(std::max(*due, clock.monotonic()));
    if (before_each_tick) before_each_tick();
    watchdog.run_due();
  }
  clock.advance_to(std::max(until, clock.monotonic()));
}

void simulated_watchdog::write_settings(int reboot, int reboot24, int period_index) {
  dir.write("vrnskdm.ini", crlf_text({"telvnor_path=" + companion_dir(),
                                      "Reboot=" + std::to_string(reboot),
                                      "Reboot24=" + std::to_string(reboot24),
                                      "Reboot24_v=" + std::to_string(period_index)}));
}

void simulated_watchdog::install_companion() const {
  dir.make_folder("telvnor");
  dir.write("telvnor/telvnor.exe", "");
}

void simulated_watchdog::remove_companion_executable() const {
  std::filesystem::remove(dir.file("telvnor/telvnor.exe"));
}

void simulated_watchdog::beat() const { dir.write("telvnor/telvnor.vkd", ""); }

bool simulated_watchdog::heartbeat_waiting() const { return dir.exists("telvnor/telvnor.vkd"); }

}  // namespace vrnskdm::testing
