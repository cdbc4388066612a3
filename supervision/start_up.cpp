#include "start_up.h"

#include <string>

#include "platform/text.h"
#include "restart_request.h"

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

// Reads the next line into the buffer, keeps only its value part there, and sets
// the number from it when it fits.
void read_number(platform::files& fs, platform::file_handle handle, std::string& buffer,
                 std::int16_t& setting) {
  fs.read_line(handle, buffer);
  buffer = std::string{value_part(buffer)};
  if (const auto number = platform::to_int16(platform::parse_number(buffer))) {
    setting = *number;
  }
}

}  // namespace

void on_load(supervisor& s, build kind) {
  supervisor_state& state = s.state;
  window_model& window = s.window;

  state.debug_mode = kind == build::debug;
  if (!state.debug_mode) wait_for_clock_to_settle(s.platform);

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
  // A save cut short by a crash or a power cut left its draft behind.
  if (const auto settings = s.platform.fs.file_behind(settings_path(state.base_dir))) {
    s.platform.fs.remove_drafts(*settings);
  }
  name_folders_in_journal(s.platform, state);

  // Values a control refuses leave it in its design state.
  window.path.text = state.companion_dir;
  window.reboot.set_value(state.reboot_on_lock);
  window.reboot24.set_value(state.reboot_each);
  window.reboot_time.set_list_index(state.period_index);

  state.cycle_start = s.platform.time.now();
  mark_new_period(s, start_wording);
  record_event(s, platform::event::started, "VARNISKELDAM Restarted");
}

std::string settings_path(const std::string& base_dir) { return base_dir + "/vrnskdm.ini"; }

std::string_view value_part(std::string_view line) {
  const std::size_t equals = line.find('=');
  return equals == std::string_view::npos ? line : line.substr(equals + 1);
}

void read_settings(supervisor_state& state, platform::files& fs) {
  const platform::file_handle handle = fs.free_handle();
  fs.open_text(handle, settings_path(state.base_dir), platform::open_mode::input);
  std::string buffer;
  fs.read_line(handle, buffer);
  state.companion_dir = std::string{value_part(buffer)};
  read_number(fs, handle, buffer, state.reboot_on_lock);
  read_number(fs, handle, buffer, state.reboot_each);
  read_number(fs, handle, buffer, state.period_index);
  fs.close_file(handle);
  // Slots 8 to 10 hold no real period (0 hours would restart the machine right
  // after every start) and any other index names none at all.
  if (!is_period_row(state.period_index)) state.period_index = 0;
}

std::string marker_path(const std::string& base_dir) { return base_dir + "/delete.me"; }

bool write_marker(const supervisor_state& state, platform::files& fs, std::string_view wording) {
  const platform::file_handle handle = fs.free_handle();
  bool written = fs.open_text(handle, marker_path(state.base_dir), platform::open_mode::output);
  const auto hours = period_of(state);
  written = hours && written &&
            fs.write_line(handle, "Delete this file to don't make reboot the system in " +
                                      platform::number_text(*hours) + std::string{wording});
  written = fs.write_line(handle, platform::timestamp_text(state.cycle_start)) && written;
  return fs.close_file(handle) && written;
}

void mark_new_period(supervisor& s, std::string_view wording) {
  const bool written = write_marker(s.state, s.platform.fs, wording);
  s.restart.written_since_flush = true;
  if (!s.problems.marker_unwritable.begins(!written)) return;
  const std::string marker = marker_path(s.state.base_dir);
  // A marker that stays, old or cut short, makes each period end as if nobody
  // deleted it.
  const std::string outcome =
      s.platform.fs.file_exists(marker)
          ? "the one there stays as it is, and every service period ends in restart requests "
            "instead of renewing"
          : "every service period renews instead of ending in a restart";
  warn_administrator(s.platform, platform::event::marker_unwritable, "the marker " + marker + " cannot be written: " + outcome +
                                     " for as long as that lasts; let this user write in " +
                                     s.state.base_dir);
}

}  // namespace vrnskdm::supervision
