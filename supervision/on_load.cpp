#include "on_load.h"

#include <string>

#include "marker_file.h"
#include "period_table.h"
#include "platform/text.h"
#include "restart_request.h"
#include "settings_file.h"

namespace vrnskdm::supervision {

namespace {

// Ticks of the clock's seconds to see before trusting it: just after the machine
// starts, the clock may still be set.
constexpr int settle_count = 10;

void wait_for_clock_to_settle(platform::services& platform) {
  std::string last_seen;
  for (int count = 0; count < settle_count;) {
    const std::string seen = platform::time_of_day_text(platform.time.now());
    if (seen != last_seen) {
      last_seen = seen;
      ++count;
    }
    platform.events.pump_events();
  }
}

void take_default_settings(supervisor_state& state) {
  state.companion_dir = "/telvnor";
  state.reboot_on_lock = 1;
  state.reboot_each = 1;
}

}  // namespace

void on_load(supervisor& s, std::int16_t build_debug_mode) {
  supervisor_state& state = s.state;
  window_model& window = s.window;

  state.debug_mode = build_debug_mode;
  if (state.debug_mode == 0) wait_for_clock_to_settle(s.platform);

  for (std::size_t row = 0; row < period_table.size(); ++row) {
    window.reboot_time.add_item(std::string{period_table[row].label});
    state.period_hours[row] = period_table[row].hours;
  }

  window.timer1.set_enabled(true);
  window.timer1.set_interval(watch_interval_ms);
  window.timer2.set_interval(watch_interval_ms);
  window.timer2.set_enabled(false);

  state.countdown = countdown_start;
  window.warning.enabled = false;
  window.sfondo.enabled = false;
  window.sfondo.visible = false;

  state.base_dir = s.platform.fs.current_dir();

  if (s.platform.fs.file_exists(settings_path(state.base_dir))) {
    read_settings(state, s.platform.fs);
  } else {
    take_default_settings(state);
  }

  // Values a control refuses leave it in its design state.
  window.path.text = state.companion_dir;
  window.reboot.set_value(state.reboot_on_lock);
  window.reboot24.set_value(state.reboot_each);
  window.reboot_time.set_list_index(state.period_index);

  state.cycle_start = s.platform.time.now();
  mark_new_period(s, start_wording);
  record_event(s, "VARNISKELDAM Restarted");
}

}  // namespace vrnskdm::supervision
