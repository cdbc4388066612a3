#pragma once

#include <optional>
#include <string>

namespace vrnskdm::testing {

// Sets the process's time zone (TZ) for as long as it lives, then puts the old
// one back.
class time_zone {
 public:
  explicit time_zone(const char* zone);
  ~time_zone();
  time_zone(const time_zone&) = delete;
  time_zone& operator=(const time_zone&) = delete;

 private:
  std::optional<std::string> saved_;
};

}  // namespace vrnskdm::testing
