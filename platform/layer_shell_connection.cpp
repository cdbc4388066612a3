#include "layer_shell_connection.h"

#include <poll.h>

#include <cerrno>
#include <memory>
#include <utility>

namespace vrnskdm::platform {

layer_shell_connection::~layer_shell_connection() {
  wl_display_flush(display_);
  wl_display_disconnect(display_);
}

bool layer_shell_connection::flush() {
  if (ended_) return false;
  // libwayland reports a connection it has given up on with the error that
  // ended it, which may be EAGAIN too.
  const bool sent = wl_display_flush(display_) >= 0;
  if (wl_display_get_error(display_) != 0 || (!sent && errno != EAGAIN)) return end();
  unsent_ = !sent;
  pollfd watched{wl_display_get_fd(display_), 0, 0};
  if (poll(&watched, 1, 0) > 0 && (watched.revents & (POLLHUP | POLLERR))) return end();
  return true;
}

bool layer_shell_connection::drained(std::chrono::milliseconds patience) {
  if (!unsent_) return !ended_;
  pollfd watched{wl_display_get_fd(display_), POLLOUT, 0};
  if (poll(&watched, 1, static_cast<int>(patience.count())) > 0) flush();
  return !ended_ && !unsent_;
}

bool layer_shell_connection::read_and_dispatch(int timeout_ms) {
  if (ended_) return false;
  while (wl_display_prepare_read(display_) != 0) {
    if (wl_display_dispatch_pending(display_) < 0) return end();
  }
  pollfd watched{wl_display_get_fd(display_), POLLIN, 0};
  if (poll(&watched, 1, timeout_ms) > 0) {
    if (wl_display_read_events(display_) < 0) return end();
  } else {
    wl_display_cancel_read(display_);
  }
  const bool dispatched = wl_display_dispatch_pending(display_) >= 0;
  if (kept_) std::rethrow_exception(std::exchange(kept_, nullptr));
  return (dispatched && wl_display_get_error(display_) == 0) || end();
}

bool layer_shell_connection::sync(steady::time_point deadline) {
  bool answered = false;
  static const wl_callback_listener done{
      .done = [](void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; }};
  // Destroyed however this ends: its listener writes to this frame.
  const std::unique_ptr<wl_callback, void (*)(wl_callback*)> callback{wl_display_sync(display_),
                                                                      wl_callback_destroy};
  wl_callback_add_listener(callback.get(), &done, &answered);
  while (!answered && flush()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - steady::now());
    if (left.count() <= 0 || !read_and_dispatch(static_cast<int>(left.count()))) break;
  }
  return answered;
}

}  // namespace vrnskdm::platform
