#include "detached_flush.h"

#include <unistd.h>

#include <system_error>
#include <thread>
#include <utility>

#include "bus_call.h"

namespace vrnskdm::platform {

std::shared_ptr<detached_flush> detached_flush::start(std::function<bool()> flush,
                                                      std::string& not_started) {
  auto started = std::make_shared<detached_flush>();
  try {
    std::thread{[flush = std::move(flush), self = started] {
      try {
        self->end(flush(), {});
      } catch (...) {
        self->end(false, broken_off_reason());
      }
    }}.detach();
  } catch (const std::system_error& error) {
    not_started = std::string{"not started: "} + error.what();
    return nullptr;
  }
  return started;
}

void detached_flush::end(bool flushed, std::string trouble) {
  const std::lock_guard hold{lock_};
  outcome_ = {true, flushed, std::move(trouble)};
  ended_.notify_all();
}

bool detached_flush::going_on() {
  const std::lock_guard hold{lock_};
  return !outcome_.over;
}

detached_flush::outcome detached_flush::wait(std::chrono::milliseconds longest) {
  std::unique_lock hold{lock_};
  ended_.wait_for(hold, longest, [this] { return outcome_.over; });
  return outcome_;
}

bool flushed_in_time(std::shared_ptr<detached_flush>& last, std::function<bool()> flush) {
  if (last && last->going_on()) return false;
  std::string not_started;
  last = detached_flush::start(std::move(flush), not_started);
  return last && last->wait(flush_timeout).flushed;
}

std::shared_ptr<const int> shared_descriptor(int descriptor) {
  return {new int{descriptor}, [](const int* held) {
            ::close(*held);
            delete held;
          }};
}

}  // namespace vrnskdm::platform
