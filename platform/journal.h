#pragma once

// The system's log: a copy of every event, and warnings for the administrator.

#include <string>
#include <string_view>

namespace vrnskdm::platform {

// The system's own log. The event log is emptied when it grows too long; a copy
// of every event here keeps the history.
class journal {
 public:
  virtual ~journal() = default;

  // Records one event; quietly does nothing where there is no journal.
  virtual void record(std::string_view message) = 0;

  // Tells the administrator of something that stops the watchdog from doing
  // its work (a restart that will be refused, a folder it cannot use): to the
  // journal at priority warning, and to standard error, where a terminal or
  // the session's log shows it. report.log never gets these.
  virtual void warn(std::string_view message) = 0;
};

// systemd's journal, with the identifier "vrnskdm". Each event goes to the
// journal's socket as one datagram without waiting: a journal that is busy or
// stuck loses the copy rather than holding up the watchdog.
class systemd_journal final : public journal {
 public:
  explicit systemd_journal(std::string socket_path = "/run/systemd/journal/socket");
  void record(std::string_view message) override;
  void warn(std::string_view message) override;

 private:
  void send(std::string_view message, char priority);

  std::string socket_path_;
};

}  // namespace vrnskdm::platform
