#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/journal.h"
#include "platform/notifications.h"
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

// How the stand-in for logind answers a restart request.
enum class logind_answer { accepts, refuses, under_way, stays_silent };

// Records each restart request, on the monotonic clock, and answers as told:
// at once, or, staying silent, when the answer's time runs out. The files
// handed with a request are flushed with the files given, at once.
class recording_restarter final : public platform::restarter {
 public:
  static constexpr const char* refusal = "org.freedesktop.DBus.Error.AccessDenied: refused";
  static constexpr const char* under_way = "org.freedesktop.login1.OperationInProgress: busy";

  explicit recording_restarter(simulated_clock& clock, platform::files* flusher = nullptr)
      : clock_{clock}, flusher_{flusher} {}
  void send_request(std::vector<std::string> to_flush) override {
    flushed_ = true;
    for (const std::string& path : to_flush) {
      flushed_ = flusher_ != nullptr && flusher_->flush_to_disk(path) && flushed_;
    }
    requests.push_back(clock_.monotonic());
    if (on_request) on_request();
    request_pending_ = true;
  }
  std::optional<platform::restart_answer> take_answer() override {
    if (!request_pending_ || !answer_there(requests.back())) return std::nullopt;
    request_pending_ = false;
    const auto answered = [this](bool accepted, const char* failure, bool going_on = false) {
      return platform::restart_answer{accepted, failure, flushed_, going_on, flush_trouble};
    };
    switch (answer) {
      case logind_answer::accepts: return answered(true, "");
      case logind_answer::refuses: return answered(false, refusal);
      case logind_answer::under_way: return answered(false, under_way, true);
      case logind_answer::stays_silent: break;
    }
    return answered(false, "no answer within 2 s");
  }
  // Waits on the simulated clock, for as long as a silent logind takes.
  std::optional<platform::restart_answer> wait_for_answer(std::chrono::milliseconds longest) override {
    if (!request_pending_) return std::nullopt;
    clock_.advance_to(std::min(clock_.monotonic() + longest,
                               std::max(clock_.monotonic(), requests.back() + platform::answer_timeout)));
    return take_answer();
  }
  void ask_permission() override { permission_asked.push_back(clock_.monotonic()); }
  std::optional<platform::restart_permission> take_permission() override {
    if (permission_asked.empty() || permission_taken_ || !answer_there(permission_asked.back())) {
      return std::nullopt;
    }
    permission_taken_ = true;
    if (answer == logind_answer::stays_silent) return platform::restart_permission{"", "no answer within 2 s"};
    return platform::restart_permission{permission, ""};
  }

  logind_answer answer = logind_answer::accepts;
  std::string flush_trouble;       // what the answers say kept the files from the disk
  std::string permission = "yes";  // what CanReboot answers
  std::function<void()> on_request;
  std::vector<std::chrono::milliseconds> requests;
  std::vector<std::chrono::milliseconds> permission_asked;

 private:
  bool answer_there(std::chrono::milliseconds asked) const {
    return answer != logind_answer::stays_silent ||
           clock_.monotonic() >= asked + platform::answer_timeout;
  }

  simulated_clock& clock_;
  platform::files* flusher_;
  bool flushed_ = true;
  bool request_pending_ = false;
  bool permission_taken_ = false;
};

class recording_journal final : public platform::journal {
 public:
  void record(platform::event kind, std::string_view message) override {
    kinds.push_back(kind);
    messages.emplace_back(message);
  }
  void warn(platform::event kind, std::string_view message) override {
    kinds.push_back(kind);
    warnings.emplace_back(message);
  }
  void set_folders(std::string folder, std::string companion_folder) override {
    folders = folder + " " + companion_folder;
  }
  std::vector<std::string> messages;
  std::vector<std::string> warnings;
  std::vector<platform::event> kinds;  // of every entry, events and warnings
  std::string folders;                 // as last named, with a blank between
};

// Records what the desktop was asked to show: "show: " and the summary, or
// "close".
class recording_notifier final : public platform::notifier {
 public:
  void show(const platform::notification& shown) override { asked.push_back("show: " + shown.summary); }
  void close() override { asked.emplace_back("close"); }
  void take_replies() override {}
  std::vector<std::string> asked;
};

struct program_ended {};

// Ending the program unwinds out of the handler, so that no further step runs.
class recording_process final : public platform::process {
 public:
  [[noreturn]] void end_program() override { throw program_ended{}; }
};

// While one lives, fsync stalls in the core tests' program, as on a failing
// card, and returns once it is gone; made there with the C library's fsync.
class stalled_disk {
 public:
  stalled_disk();
  ~stalled_disk();
  stalled_disk(const stalled_disk&) = delete;
  stalled_disk& operator=(const stalled_disk&) = delete;
  // How many fsyncs began since it came.
  int fsyncs_begun() const;
};

}  // namespace vrnskdm::testing
