#pragma once

// The overlay's connection to a Wayland compositor, which it never waits on
// longer than a bound: what the compositor sends is read only when asked for,
// and what is sent to it leaves as the socket takes it.

#include <wayland-client.h>

#include <chrono>
#include <exception>

namespace vrnskdm::platform {

class layer_shell_connection {
 public:
  using steady = std::chrono::steady_clock;

  // Takes the display over; disconnects it at the end.
  explicit layer_shell_connection(wl_display* display) : display_{display} {}
  ~layer_shell_connection();
  layer_shell_connection(const layer_shell_connection&) = delete;
  layer_shell_connection& operator=(const layer_shell_connection&) = delete;

  wl_display* display() const { return display_; }
  int descriptor() const { return ended_ ? -1 : wl_display_get_fd(display_); }
  bool ended() const { return ended_; }

  // For good; false, for the caller to hand on.
  bool end() {
    ended_ = true;
    return false;
  }

  // Sends what is waiting. A full socket keeps the rest, in libwayland's own
  // buffer, for later: a compositor held still for a moment is not one that
  // has gone. False once the connection has failed, seen here too when there
  // was nothing to send.
  bool flush();

  // Whether everything asked for so far has left, so that more may be asked
  // for: libwayland's buffer holds a few kilobytes, and a request that does not
  // fit beside what a full socket left in it ends the connection. Waits up to
  // patience for the compositor to take in what is left.
  bool drained(std::chrono::milliseconds patience);

  // Reads what the compositor sent, waiting at most timeout_ms for it, and
  // runs the listeners. False once the connection has failed. An exception a
  // listener kept (see keep) is thrown from here, after libwayland is left.
  bool read_and_dispatch(int timeout_ms);

  // A roundtrip with a deadline: whether everything sent so far was answered
  // by then.
  bool sync(steady::time_point deadline);

  // Runs a listener's body. Nothing may be thrown through libwayland, which is
  // C and would be left midway; what the body throws is kept and thrown again
  // by read_and_dispatch.
  template <typename Body>
  void keep(Body&& body) noexcept {
    try {
      body();
    } catch (...) {
      if (!kept_) kept_ = std::current_exception();
    }
  }

 private:
  wl_display* display_;
  bool ended_ = false;
  bool unsent_ = false;  // the last flush left requests behind
  std::exception_ptr kept_;
};

}  // namespace vrnskdm::platform
