#pragma once

#include <string>
#include <string_view>

#include "platform/files.h"
#include "supervisor_state.h"

namespace vrnskdm::supervision {

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

}  // namespace vrnskdm::supervision
