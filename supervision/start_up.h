#pragma once

// What happens at the start: the wait for the clock, the controls and timers
// made ready, the settings read from their file (or the defaults), a new
// service period opened with its marker, and the start logged. Also the two
// files it begins with: how the settings file is read (SAVE writes it, in
// operator_actions.h), and the marker, written again at every renewal.

#include <chrono>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "supervisor.h"

namespace vrnskdm::supervision {

// Milliseconds between watch ticks.
inline constexpr int watch_interval_ms = 1000;

// The start-up, run once when the window loads and before it is shown: waits for
// the clock to settle (unless in a debug build), prepares the controls and
// timers, reads the settings or takes the defaults, removes the drafts a save
// cut short left beside the settings file, opens a scheduled-reboot
// period by writing the marker, and logs the restart. A failing file operation
// is skipped and the next one runs; the start-up always completes.
void on_load(supervisor& s, build kind);

// The settings file holds four lines, taken by position:
//   telvnor_path=<companion folder>
//   Reboot=<reboot_on_lock>
//   Reboot24=<reboot_each>
//   Reboot24_v=<period_index>
std::string settings_path(const std::string& base_dir);

// The text after a line's first "=", or the whole line when it has none.
std::string_view value_part(std::string_view line);

// Reads the settings file into state. A step that fails is skipped: a line that
// cannot be read leaves the previous line's text in the buffer, and a number that
// does not fit keeps the setting as it was. A period index that names no period
// of the table is taken as 0.
void read_settings(supervisor_state& state, platform::files& fs);

// Wording of the marker's first line when the start-up writes it, and when a
// renewed period does.
inline constexpr std::string_view start_wording = " hours from:";
inline constexpr std::string_view renewal_wording = " hour from:";

std::string marker_path(const std::string& base_dir);

// Writes the marker for the current period, two lines: what deleting it does
// with the period's hours and the wording, then the period's start. Steps that
// fail are skipped; a period index outside the table leaves out the first line.
// True when the whole marker was written.
bool write_marker(const supervisor_state& state, platform::files& fs, std::string_view wording);

// Opens a period with its marker. A marker that cannot be written makes every
// period renew instead of ending in a restart, or, when an old one stays,
// end in restart requests; the administrator is told which, once until it can
// be written again.
void mark_new_period(supervisor& s, std::string_view wording);

}  // namespace vrnskdm::supervision
