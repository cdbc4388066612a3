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

// The fresh file a save writes beside the file it then takes the place of.
std::string draft_path(const std::string& settings_file);

// The text after a line's first "=", or the whole line when it has none.
std::string_view value_part(std::string_view line);

// Reads the settings file into state. A step that fails is skipped: a line that
// cannot be read leaves the previous line's text in the buffer, and a number that
// does not fit keeps the setting as it was. A period index that names no period
// of the table is taken as 0.
void read_settings(supervisor_state& state, platform::files& fs);

// Writes the four settings lines from state. The lines go to a fresh file beside
// the settings file, which is brought onto the disk and then put in its place in
// one step, so that a crash or a full disk leaves either the old file or the
// whole new one, never part of one; a restart may follow at any moment. A
// settings file that is a symbolic link stays one: the file it points to is
// replaced, keeping its permissions. True when the new file is in place on the
// disk; otherwise the old file is untouched and the fresh one is removed as far
// as that is possible. A folder with a line break in it is never written.
bool write_settings(const supervisor_state& state, platform::files& fs);

}  // namespace vrnskdm::supervision
