#include "restart_request.h"

#include <string>
#include <utility>
#include <vector>

#include "eventlog/log_event.h"
#include "start_up.h"

namespace vrnskdm::supervision {

namespace {

using std::chrono::milliseconds;

constexpr std::string_view see_readme = "; see the README's Allowing the restart";

// What logind's answer to CanReboot means for the watchdog, when it means trouble.
std::optional<std::string> permission_warning(const platform::restart_permission& answer) {
  if (answer.verdict == "yes") return std::nullopt;
  if (answer.verdict.empty()) {
    const std::string why = answer.failure.empty() ? "an empty answer" : answer.failure;
    return "logind did not say whether a restart is allowed (" + why +
           "): a restart will probably fail" + std::string{see_readme};
  }
  const std::string said = "logind answers \"" + answer.verdict + "\" to CanReboot: ";
  if (answer.verdict == "challenge") {
    return said +
           "a restart will be refused: this user may not restart the machine without a password" +
           std::string{see_readme};
  }
  if (answer.verdict == "no") {
    return said + "a restart will be refused: this user may not restart the machine" +
           std::string{see_readme};
  }
  if (answer.verdict == "na") {
    return said + "a restart will be refused: logind cannot restart this machine";
  }
  return said + "a restart may be refused" + std::string{see_readme};
}

// A request goes without the log and the marker when the disk holds them up:
// their last lines may be lost with the restart, and the administrator hears
// of it once, until a flush ends again.
void disk_trouble(supervisor& s, const std::string& trouble) {
  if (s.problems.disk_stalled.begins(!trouble.empty())) {
    warn_administrator(s.platform, platform::event::log_not_on_disk,
                       "the restart was asked for without waiting for report.log and delete.me to "
                       "reach the disk (" + trouble + "): their last lines may be lost; the disk "
                       "of " + s.state.base_dir + " may be failing");
  }
}

void restart_answered(supervisor& s, const platform::restart_answer& answer) {
  restart_progress& progress = s.restart;
  progress.request_pending = false;
  // Lines that did not reach the disk go with the next request.
  if (!answer.flushed) progress.written_since_flush = true;
  disk_trouble(s, answer.flush_trouble);
  // An accepted restart is under way, and the series it ends goes on, unlogged,
  // until the machine goes down: logind answers the next requests with
  // OperationInProgress, which then counts as accepted too. Before that, it
  // means a shutdown or a sleep of someone else's, and no restart.
  const bool accepted = answer.accepted || (answer.under_way && progress.restart_accepted);
  progress.restart_accepted = progress.restart_accepted || answer.accepted;
  if (!accepted) {
    if (progress.lock_restart_waiting) report_unable_to_reboot(s);
    if (progress.lock_restart_waiting || progress.refusal_to_report) {
      warn_administrator(s.platform, platform::event::restart_not_made,
                         "the restart was not made: " + answer.failure);
    }
  }
  progress.lock_restart_waiting = false;
  progress.refusal_to_report = false;
}

}  // namespace

void record_event(supervisor& s, platform::event kind, std::string_view message) {
  eventlog::log_event(s.platform, s.state.base_dir, kind, message);
  s.restart.written_since_flush = true;
}

void report_unable_to_reboot(supervisor& s) {
  constexpr std::string_view unable = "VARNISKELDAM Unable to REBOOT!";
  record_event(s, platform::event::restart_refused, unable);
  s.window.checking.caption = unable;
}

void ask_for_restart(supervisor& s, restart_asker asker) {
  restart_progress& progress = s.restart;
  progress.lock_restart_waiting = progress.lock_restart_waiting || asker == restart_asker::lock;
  progress.refusal_to_report = progress.refusal_to_report || asker != restart_asker::scheduled;
  // Lines written while a request is on its way go with the next one.
  if (progress.request_pending) return;
  std::vector<std::string> to_flush;
  if (progress.written_since_flush) {
    to_flush = {eventlog::log_path(s.state.base_dir), marker_path(s.state.base_dir)};
    progress.written_since_flush = false;
  }
  s.platform.restart.send_request(std::move(to_flush));
  progress.request_pending = true;
  progress.request_answer_due = s.platform.time.monotonic() + platform::request_timeout;
  take_answers(s);
}

void check_restart_permission(supervisor& s) {
  // A debug build never asks for a restart.
  if (s.state.debug_mode) return;
  s.platform.restart.ask_permission();
  s.restart.permission_pending = true;
  s.restart.permission_answer_due = s.platform.time.monotonic() + platform::answer_timeout;
  take_answers(s);
}

void take_answers(supervisor& s) {
  if (s.restart.request_pending) {
    if (const auto answer = s.platform.restart.take_answer()) restart_answered(s, *answer);
  }
  if (s.restart.permission_pending) {
    if (const auto answer = s.platform.restart.take_permission()) {
      s.restart.permission_pending = false;
      if (const auto warning = permission_warning(*answer)) {
        warn_administrator(s.platform, platform::event::restart_not_allowed, *warning);
      }
    }
  }
}

void await_lock_restart_answer(supervisor& s) {
  if (!s.restart.request_pending || !s.restart.lock_restart_waiting) return;
  constexpr auto longest = platform::request_timeout + platform::answer_margin;
  if (const auto answer = s.platform.restart.wait_for_answer(longest)) {
    restart_answered(s, *answer);
  }
}

std::optional<milliseconds> next_answer_due(const supervisor& s) {
  const milliseconds now = s.platform.time.monotonic();
  std::optional<milliseconds> due;
  // An answer that is late by the clock comes through the platform's bell;
  // looking again and again for it would only spin.
  const auto consider = [&](bool pending, milliseconds at) {
    if (pending && at > now && (!due || at < *due)) due = at;
  };
  consider(s.restart.request_pending, s.restart.request_answer_due);
  consider(s.restart.permission_pending, s.restart.permission_answer_due);
  return due;
}

}  // namespace vrnskdm::supervision
