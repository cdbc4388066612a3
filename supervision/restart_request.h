#pragma once

// Asking logind for the restart, and whether it would be allowed, without
// waiting for its answers, which are acted on when they come; and the events
// the log keeps on the disk for the restart.

#include <chrono>
#include <optional>
#include <string_view>

#include "supervisor.h"

namespace vrnskdm::supervision {

// Logs an event, and remembers that the log has something to bring onto the
// disk before the next restart request.
void record_event(supervisor& s, platform::event kind, std::string_view message);

// The lock restart did not happen: says so in the log and the status line.
void report_unable_to_reboot(supervisor& s);

// Who asks for the restart decides what a refusal brings.
enum class restart_asker {
  lock,                 // logged as "VARNISKELDAM Unable to REBOOT!", with logind's reason
  scheduled,            // nothing: the request comes again at the next tick
  scheduled_and_logged  // logind's reason, as the log line went with it
};

// Asks for the forced restart without waiting for the answer, which is acted
// on when it comes. A request still on its way is not asked again: the asker
// joins it. With the request, the log and the marker go onto the disk, so that
// the restart loses no line, when anything was written since they last did.
void ask_for_restart(supervisor& s, restart_asker asker);

// For a program that is ending: a lock restart's answer still on its way is
// waited for, within its bound, so that a refusal is logged all the same.
void await_lock_restart_answer(supervisor& s);

// Asks logind once, at the start, whether a restart would be allowed, and
// warns the administrator when it would not: better now than at the moment of
// need.
void check_restart_permission(supervisor& s);

// Acts on the answers that have come.
void take_answers(supervisor& s);

// When, on the monotonic clock, the next answer on its way is there at the
// latest; nothing when none is awaited any more.
std::optional<std::chrono::milliseconds> next_answer_due(const supervisor& s);

}  // namespace vrnskdm::supervision
