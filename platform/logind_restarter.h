#pragma once

#include <memory>
#include <optional>

#include "answer_bell.h"
#include "restart.h"

namespace vrnskdm::platform {

class bus_call;

// Asks systemd-logind on the system bus to restart the machine, without asking
// the user anything: logind decides by polkit whether the caller may.
class logind_restarter final : public restarter {
 public:
  // The bell rings when an answer has come; it may be null.
  explicit logind_restarter(answer_bell* bell = nullptr);
  ~logind_restarter() override;
  logind_restarter(const logind_restarter&) = delete;
  logind_restarter& operator=(const logind_restarter&) = delete;

  void send_request() override;
  std::optional<restart_answer> take_answer() override;
  void ask_permission() override;
  std::optional<restart_permission> take_permission() override;

 private:
  answer_bell* bell_;
  std::unique_ptr<bus_call> request_;
  std::unique_ptr<bus_call> permission_;
};

}  // namespace vrnskdm::platform
