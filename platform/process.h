#pragma once

// The program's own process.

#include <cstdlib>

namespace vrnskdm::platform {

class process {
 public:
  virtual ~process() = default;

  // Ends the program at once; no further handler runs.
  [[noreturn]] virtual void end_program() = 0;
};

// Files are never held open between events, so nothing is lost by leaving
// without unwinding.
class real_process final : public process {
 public:
  [[noreturn]] void end_program() override { std::_Exit(EXIT_FAILURE); }
};

}  // namespace vrnskdm::platform
