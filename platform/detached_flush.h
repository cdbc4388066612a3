#pragma once

// A flush of files on a thread of its own: on a failing card or a stalled disk
// fsync never returns, and whoever waits for it must not wait for good.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace vrnskdm::platform {

// How long a flush is waited for before what waits goes on without it.
inline constexpr std::chrono::milliseconds flush_timeout{1000};

// One flush, shared by the detached thread that makes it, which a hung fsync
// may hold for good, and those waiting for it.
class detached_flush {
 public:
  struct outcome {
    bool over = false;     // false: still going on when the wait ended
    bool flushed = false;  // what the flush gave, once over
    std::string trouble;   // what broke it off ("out of memory"), once over
  };

  // Starts the flush, which brings with it everything it uses, as the thread
  // may outlive whoever started it; an exception from it ends it unflushed,
  // with its reason as trouble. Nothing when no thread could be started, and
  // why in not_started.
  static std::shared_ptr<detached_flush> start(std::function<bool()> flush,
                                               std::string& not_started);

  bool going_on();

  // What the flush gave, waiting for it as long as given at most.
  outcome wait(std::chrono::milliseconds longest);

 private:
  void end(bool flushed, std::string trouble);

  std::mutex lock_;
  std::condition_variable ended_;
  outcome outcome_;
};

// Runs flush on a thread of its own and waits for it flush_timeout at most; a
// flush still going on then, or broken off, or not started, counts as not
// flushed. While the last one started from `last` hangs, none is started and
// the answer is false at once, so that a stalled disk holds one thread, not
// one for each call.
bool flushed_in_time(std::shared_ptr<detached_flush>& last, std::function<bool()> flush);

// The descriptor, closed once the last holder lets it go: a flush that hangs
// holds its own, and the one who started it may close theirs.
std::shared_ptr<const int> shared_descriptor(int descriptor);

}  // namespace vrnskdm::platform
