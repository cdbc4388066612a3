#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/restart.h"
#include "support/scratch_dir.h"
#include "supervision/watchdog.h"

namespace vrnskdm::bench {

// The watchdog without its window, loaded in a scratch working folder on the
// machine's own files and the clock given, with its companion installed there:
// what the program does once a second while all is well, and nothing else. Only
// the debug build's start-up is fast enough to repeat: with the companion's
// files present a tick takes the same path in either build.
class ticking_watchdog {
 public:
  explicit ticking_watchdog(platform::clock& clock);

  // Creates the heartbeat file, as the companion does between two ticks.
  void beat() const;

  // One watch tick.
  void tick();

  // Whether a heartbeat waits to be consumed.
  bool heartbeat_waiting() const;

  const std::string& executable() const { return executable_; }
  const std::string& heartbeat() const { return heartbeat_; }

 private:
  // The debug build never waits for the clock, so nothing pumps events.
  class no_events final : public platform::event_pump {
   public:
    void pump_events() override {}
  };

  // A tick that finds its companion alive asks for no restart; should one ever
  // be asked for, nobody answers.
  class silent_restarter final : public platform::restarter {
   public:
    void send_request(std::vector<std::string> /*to_flush*/) override {}
    std::optional<platform::restart_answer> take_answer() override { return std::nullopt; }
    std::optional<platform::restart_answer> wait_for_answer(std::chrono::milliseconds /*longest*/) override {
      return std::nullopt;
    }
    void ask_permission() override {}
    std::optional<platform::restart_permission> take_permission() override { return std::nullopt; }
  };

  testing::scratch_dir folder_;
  std::string executable_;
  std::string heartbeat_;
  platform::posix_files files_;
  no_events events_;
  silent_restarter restart_;
  platform::real_process process_;
  supervision::watchdog watchdog_;
};

}  // namespace vrnskdm::bench
