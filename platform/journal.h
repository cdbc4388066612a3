#pragma once

// The system's log: a copy of every event, and warnings for the administrator.

#include <array>
#include <mutex>
#include <string>
#include <string_view>

namespace vrnskdm::platform {

// Each kind of entry the watchdog writes. Its MESSAGE_ID is what a fleet's
// administrator searches by, whatever the message's wording, and what
// "journalctl -x" looks the explanation up by in packaging/journal/vrnskdm.catalog:
// an id, once shipped, stays that kind's for good.
enum class event {
  started,                  // "VARNISKELDAM Restarted"
  outage_begun,             // the companion fell silent: the warning began
  outage_over,              // its heartbeat came back during the warning
  lock_restart,             // "Shutdown for no TELVANORE response"
  scheduled_restart,        // "Shutdown. DELETE.ME found not deleted."
  renewal,                  // "Timeout check performed. DELETE.ME created."
  restart_refused,          // "VARNISKELDAM Unable to REBOOT!"
  debug_lock_restart,       // "Reboot not performed because debug mode is active."
  debug_scheduled_restart,  // "Reboot not executed. Debug mode is active."
  overlay_shown,            // the warning's band shows over every window, and by which route
  overlay_unavailable,      // no route for the band: the warning shows in the window only
  // Warnings for the administrator.
  folder_taken,  // another watchdog runs in the folder
  link_refused,  // a symbolic link that is not followed
  heartbeat_undeletable,
  marker_unwritable,
  settings_not_on_disk,
  restart_not_made,     // logind refused or did not answer a request
  restart_not_allowed,  // logind says at the start that a restart would fail
  log_not_on_disk,      // a restart went without the log's flush, which the disk held up
  overlay_ended,        // the band's display went away or refused
};

struct event_identity {
  event kind;
  std::string_view message_id;  // 128 bits, as 32 lower-case hexadecimal digits
};

inline constexpr std::array<event_identity, 20> event_identities{{
    {event::started, "477aad350e5f40b39f93dfd8234e7caf"},
    {event::outage_begun, "074f3f944efc4509a9f4f2f618ff36ce"},
    {event::outage_over, "7fdeac10b87d4a4ca930100e3a0ab5b7"},
    {event::lock_restart, "9af759a5b3664f3089d8d6c2be2355df"},
    {event::scheduled_restart, "012cc8802e2a43248f8fb35c1531abb6"},
    {event::renewal, "ad0bcd0edcba49bcb099a0ce71888e58"},
    {event::restart_refused, "52946717df614f8d897f7221f9a8b5f2"},
    {event::debug_lock_restart, "3a0b69a436ea482797dba0061f9a0533"},
    {event::debug_scheduled_restart, "313946ed8dde4ca38e6cb3d42ceb9fb4"},
    {event::overlay_shown, "18fb90c6494a4efaa695fd445eab3843"},
    {event::overlay_unavailable, "8019f21a12e8476e8a4630a1ef056069"},
    {event::folder_taken, "b8b55aa708c54b89b70b7e1bd59bd8fd"},
    {event::link_refused, "8738a4f160394cb4a9ad9a056a013412"},
    {event::heartbeat_undeletable, "f192a43172b048758bdf3812cfa2717a"},
    {event::marker_unwritable, "a00a53c94a834f82a2c316025d3f5d63"},
    {event::settings_not_on_disk, "8cf35753f8b64d148591078c51bde8a0"},
    {event::restart_not_made, "4983cbafc6ae49a1b8cfc9317ba75041"},
    {event::restart_not_allowed, "85fd52546bc3453eb562f116dcc9f3e4"},
    {event::log_not_on_disk, "2a89349078024fabacdea2c7466a8b77"},
    {event::overlay_ended, "836c6dd5b1264187a5bba5d419abc778"},
}};

constexpr std::string_view message_id(event kind) {
  for (const event_identity& identity : event_identities) {
    if (identity.kind == kind) return identity.message_id;
  }
  return {};
}

// The system's own log. The event log is emptied when it grows too long; a copy
// of every event here keeps the history.
class journal {
 public:
  virtual ~journal() = default;

  // Records one event; quietly does nothing where there is no journal.
  virtual void record(event kind, std::string_view message) = 0;

  // Tells the administrator of something that stops the watchdog from doing
  // its work (a restart that will be refused, a folder it cannot use): to the
  // journal at priority warning, and to standard error, where a terminal or
  // the session's log shows it. report.log never gets these.
  virtual void warn(event kind, std::string_view message) = 0;

  // The folders that the entries from now on name, so that a fleet can tell
  // the watchdogs of one machine apart: the working folder, and the
  // companion's (empty while unknown).
  virtual void set_folders(std::string folder, std::string companion_folder) = 0;
};

// systemd's journal, with the identifier "vrnskdm", the kind's MESSAGE_ID and
// the folders as VRNSKDM_FOLDER and VRNSKDM_COMPANION_FOLDER. Each event goes to the
// journal's socket as one datagram without waiting: a journal that is busy or
// stuck loses the copy rather than holding up the watchdog.
class systemd_journal final : public journal {
 public:
  explicit systemd_journal(std::string socket_path = "/run/systemd/journal/socket");
  void record(event kind, std::string_view message) override;
  void warn(event kind, std::string_view message) override;
  void set_folders(std::string folder, std::string companion_folder) override;

 private:
  void send(event kind, std::string_view message, char priority);

  std::string socket_path_;
  // Warnings may come from another thread than the one the ticks run on.
  std::mutex standard_error_guard_;
  std::string unsent_;  // the rest of a line standard error took only in part
  std::string folder_;
  std::string companion_folder_;
};

}  // namespace vrnskdm::platform
