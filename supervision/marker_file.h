#pragma once

#include <string>
#include <string_view>

#include "platform/files.h"
#include "supervisor.h"
#include "supervisor_state.h"

namespace vrnskdm::supervision {

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
// period renew instead of ending in a restart, so the administrator is told,
// once until it can be written again.
void mark_new_period(supervisor& s, std::string_view wording);

}  // namespace vrnskdm::supervision
