#pragma once

namespace vrnskdm::platform {

class process {
 public:
  virtual ~process() = default;

  // Ends the program at once; no further handler runs.
  [[noreturn]] virtual void end_program() = 0;
};

class real_process final : public process {
 public:
  [[noreturn]] void end_program() override;
};

}  // namespace vrnskdm::platform
