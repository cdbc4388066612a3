#include <optional>
#include <string>
#include <vector>

#include "fuzz_targets.h"
#include "platform/files.h"
#include "platform/text.h"
#include "reference_lines.h"
#include "supervision/start_up.h"
#include "supervision/watch_tick.h"
#include "support/scratch_dir.h"
#include "support/simulated_clock.h"
#include "support/stand_ins.h"

namespace vrnskdm::fuzzing {

namespace {

using enum supervision::build;

struct expected_settings {
  std::string companion_dir;
  std::int16_t reboot_on_lock = 0, reboot_each = 0, period_index = 0;
};

std::string_view after_first_equals(std::string_view line) {
  const std::size_t equals = line.find('=');
  return equals == std::string_view::npos ? line : line.substr(equals + 1);
}

// The settings as the file's lines give them by position: a line that is not
// there leaves the previous one's text in the buffer, which after the first
// line holds that whole line and after the others only their values.
expected_settings expected_from(std::string_view bytes) {
  const std::vector<std::string> lines = reference_lines(bytes);
  expected_settings expected;
  std::string buffer;
  if (!lines.empty()) buffer = lines[0];
  expected.companion_dir = after_first_equals(buffer);
  std::int16_t* numbers[] = {&expected.reboot_on_lock, &expected.reboot_each,
                             &expected.period_index};
  for (std::size_t i = 1; i <= 3; ++i) {
    if (i < lines.size()) buffer = lines[i];
    buffer = std::string{after_first_equals(buffer)};
    if (const auto number = platform::to_int16(platform::parse_number(buffer))) {
      *numbers[i - 1] = *number;
    }
  }
  if (expected.period_index < 0 || expected.period_index > 7) expected.period_index = 0;
  return expected;
}

const testing::scratch_dir& scratch() {
  static const testing::scratch_dir dir;
  return dir;
}

}  // namespace

void settings_file(input data) {
  const std::string_view bytes{reinterpret_cast<const char*>(data.data()), data.size()};
  scratch().write("vrnskdm.ini", bytes);
  platform::posix_files files;
  testing::simulated_clock clock{platform::make_date_time(2026, 3, 2, 10, 30, 0)};
  testing::simulated_events events{clock};
  testing::recording_restarter restart{clock};
  testing::recording_process process;
  supervision::supervisor s{platform::services{files, clock, events, restart, process}};

  supervision::on_load(s, debug);
  const expected_settings expected = expected_from(bytes);
  require(s.state.companion_dir == expected.companion_dir, "the folder is line 1's value");
  require(s.state.reboot_on_lock == expected.reboot_on_lock &&
              s.state.reboot_each == expected.reboot_each &&
              s.state.period_index == expected.period_index,
          "the numbers are lines 2 to 4's leading numbers");
  const int reboot = s.window.reboot.value();
  const int reboot24 = s.window.reboot24.value();
  require(reboot >= 0 && reboot <= 2 && reboot24 >= 0 && reboot24 <= 2,
          "the check boxes take only 0, 1 or 2");
  require(s.window.reboot_time.list_index() == s.state.period_index,
          "the selector shows the period");
  require(files.open_count() == 0, "the start-up leaves no file open");
  require(scratch().read("vrnskdm.ini") == bytes, "the start-up never writes the settings");

  clock.advance(std::chrono::seconds{1});
  supervision::watch_tick(s);
  require(files.open_count() == 0, "the watch leaves no file open");
  require(restart.requests.empty(), "no restart a second after the start");
}

}  // namespace vrnskdm::fuzzing
