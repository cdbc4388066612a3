#pragma once

#include <string_view>

namespace vrnskdm::platform {

// The system's own log. The event log is emptied when it grows too long; a copy
// of every event here keeps the history.
class journal {
 public:
  virtual ~journal() = default;

  // Records one event; quietly does nothing where there is no journal.
  virtual void record(std::string_view message) = 0;
};

// systemd's journal, with the identifier "vrnskdm".
class systemd_journal final : public journal {
 public:
  void record(std::string_view message) override;
};

}  // namespace vrnskdm::platform
