#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/event_pump.h"
#include "platform/journal.h"
#include "platform/process.h"
#include "platform/restart.h"
#include "simulated_clock.h"

namespace vrnskdm::testing {

// Pending events take a little simulated time to handle.
class simulated_events final : public platform::event_pump {
 public:
  explicit simulated_events(simulated_clock& clock) : clock_{clock} {}
  void pump_events() override {
    ++pumps;
    clock_.advance(std::chrono::milliseconds{50});
  }
  int pumps = 0;

 private:
  simulated_clock& clock_;
};

// Records each restart request, on the monotonic clock, and gives a set answer.
class recording_restarter final : public platform::restarter {
 public:
  explicit recording_restarter(simulated_clock& clock) : clock_{clock} {}
  std::int32_t request_reboot() override {
    requests.push_back(clock_.monotonic());
    if (on_request) on_request();
    return answer;
  }
  std::int32_t answer = 1;
  std::function<void()> on_request;
  std::vector<std::chrono::milliseconds> requests;

 private:
  simulated_clock& clock_;
};

class recording_journal final : public platform::journal {
 public:
  void record(std::string_view message) override { messages.emplace_back(message); }
  void warn(std::string_view message) override { warnings.emplace_back(message); }
  std::vector<std::string> messages;
  std::vector<std::string> warnings;
};

struct program_ended {};

// Ending the program unwinds out of the handler, so that no further step runs.
class recording_process final : public platform::process {
 public:
  [[noreturn]] void end_program() override { throw program_ended{}; }
};

}  // namespace vrnskdm::testing
