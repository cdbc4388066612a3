#pragma once

#include <optional>

#include "scoped_variable.h"

namespace vrnskdm::testing {

// Sets the process's time zone (TZ) for as long as it lives, then puts the old
// one back.
class time_zone {
 public:
  explicit time_zone(const char* zone);
  ~time_zone();

 private:
  std::optional<scoped_variable> tz_;
};

}  // namespace vrnskdm::testing
