#pragma once

// The restart of the machine: what the logic asks of it, and logind's, which
// decides by polkit whether the watchdog may.

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bus_call.h"
#include "detached_flush.h"
#include "files.h"

namespace vrnskdm::platform {

// How long after a restart request its answer comes at the latest: the wait
// for the files handed with it, flush_timeout at most, then logind's.
inline constexpr std::chrono::milliseconds request_timeout = flush_timeout + answer_timeout;

// An answer made at its deadline on a thread of its own may reach a waiter a
// moment later: a program that ends waits this much longer than the deadline.
inline constexpr std::chrono::milliseconds answer_margin{500};

// logind's answer to a restart request.
struct restart_answer {
  bool accepted = false;
  // Why the restart is not coming, for the administrator: logind's error name
  // and message, "no answer within 2 s" or "no system bus". Empty when accepted.
  std::string failure;
  // Whether the files handed with the request reached the disk before it went.
  bool flushed = false;
  // logind is already shutting the machine down, restarting it or putting it
  // to sleep (OperationInProgress): after a restart of ours was accepted, that
  // is the restart going on; else it refuses.
  bool under_way = false;
  // Why the disk kept the files from it in a way the administrator must hear
  // of: "still going on after 1 s" while a flush hangs, this request's or an
  // earlier one's, or what broke it off ("out of memory"). Empty otherwise, a
  // file that could not be flushed included: the next request tries again.
  std::string flush_trouble;
};

// logind's answer to whether a restart would be allowed now.
struct restart_permission {
  // What logind said: "yes", "challenge" (only with a password), "no" or "na"
  // (not possible here); empty when it said nothing.
  std::string verdict;
  // Why it said nothing, as in restart_answer.
  std::string failure;
};

// Restarts the machine. Nothing here waits for an answer: a question is sent,
// and its answer taken later, when it has come; each answer comes within
// answer_timeout of its question, a restart request's within request_timeout.
// One question of each kind is on its way at a time: asking again before the
// answer was taken forgets the first.
class restarter {
 public:
  virtual ~restarter() = default;

  // Asks for a forced restart: running programs are closed without being asked.
  // The files named go onto the disk first, with their folders' entries, on
  // the request's own way: the restart loses none of their lines, and a slow
  // disk holds up nothing but the request, for flush_timeout at most.
  virtual void send_request(std::vector<std::string> to_flush) = 0;

  // The answer to the request, once it has come; nothing before, and nothing
  // again once taken.
  virtual std::optional<restart_answer> take_answer() = 0;

  // The answer, waiting for it as long as given at most: only for a program
  // that is ending.
  virtual std::optional<restart_answer> wait_for_answer(std::chrono::milliseconds longest) = 0;

  // Asks whether a restart would be allowed, without asking for one.
  virtual void ask_permission() = 0;
  virtual std::optional<restart_permission> take_permission() = 0;
};

// Asks systemd-logind on the system bus to restart the machine, without asking
// the user anything: logind decides by polkit whether the caller may. logind
// answers OperationInProgress while a restart it accepted is under way: that
// is the restart coming, and counts as accepted. The files handed with a
// request are flushed on a thread of their own, which a hung fsync may hold
// for good: the request waits for it flush_timeout at most, and while it
// hangs, the requests after it go without flushing, so that a stalled disk
// holds one thread, not one for each request.
class logind_restarter final : public restarter {
 public:
  // The bell rings when an answer has come; it may be null. The flushes go
  // through flusher, the machine's files when null, from one thread at a time,
  // which may outlive the restarter.
  explicit logind_restarter(answer_bell* bell = nullptr, std::shared_ptr<files> flusher = nullptr);
  ~logind_restarter() override;
  logind_restarter(const logind_restarter&) = delete;
  logind_restarter& operator=(const logind_restarter&) = delete;

  void send_request(std::vector<std::string> to_flush) override;
  std::optional<restart_answer> take_answer() override;
  std::optional<restart_answer> wait_for_answer(std::chrono::milliseconds longest) override;
  void ask_permission() override;
  std::optional<restart_permission> take_permission() override;

 private:
  struct flush_outcome;

  std::optional<restart_answer> answer_from(std::optional<bus_reply> reply);

  answer_bell* bell_;
  std::shared_ptr<files> flusher_;
  // The last flush started, which may still be going on.
  std::shared_ptr<detached_flush> flush_;
  std::unique_ptr<bus_call> request_;
  // Set on the request's thread, read once its reply is there.
  std::shared_ptr<flush_outcome> flushed_;
  std::unique_ptr<bus_call> permission_;
};

}  // namespace vrnskdm::platform
