#pragma once

// The event log, report.log: one timestamped line for each event, kept under
// its size cap.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/services.h"

namespace vrnskdm::eventlog {

// The log is emptied when an entry finds it longer than this.
inline constexpr std::int64_t size_cap = 64000;

inline constexpr std::string_view cleared_notice = "Event list exceeded 64k cleared.";

std::string log_path(const std::string& base_dir);

// Appends "timestamp message" to the log in base_dir, first emptying a log that
// has grown past size_cap. Never fails towards the caller: a step that fails is
// skipped and the next one runs, so at worst the entry is lost. A log whose
// length cannot be read is never emptied. The message also goes to the
// system's log, when there is one, as an entry of the given kind, whatever
// became of the file.
void log_event(platform::services& platform, const std::string& base_dir, platform::event kind,
               std::string_view message);

}  // namespace vrnskdm::eventlog
