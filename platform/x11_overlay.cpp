// The band as an override-redirect window on each monitor of an X server: the
// window manager never sees such a window, so it is neither framed nor focused,
// and it stays over every managed window, fullscreen ones included, until
// something is raised over it; it is raised again at every show. Wayland
// desktops draw their Xwayland's override-redirect windows over fullscreen
// programs too.

#include "x11_overlay.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "x11_overlay_bands.h"
#include "x11_overlay_connection.h"

namespace vrnskdm::platform {

namespace {

using steady = std::chrono::steady_clock;

// How long the server may take to take in one frame before it counts as
// refusing: the band then ends.
constexpr std::chrono::milliseconds frame_patience = std::chrono::seconds{5};

// The window's thread only hands each frame over; a thread of the overlay's own
// writes it to the server, and waits when the server is slow to read. A server
// that hangs holds that thread alone, never the watchdog; a newer frame takes
// the place of one not yet sent.
class x11_overlay final : public overlay_display {
 public:
  x11_overlay(std::unique_ptr<x11_connection> connection, std::chrono::milliseconds patience)
      : connection_{std::move(connection)},
        patience_{patience},
        bands_{*connection_},
        monitors_{connection_->first_monitors()} {}
  ~x11_overlay() override;
  x11_overlay(const x11_overlay&) = delete;
  x11_overlay& operator=(const x11_overlay&) = delete;

  // Starts the sending thread; false where no thread is to be had.
  bool start();

  std::string_view route() const override { return "X11 override-redirect window"; }
  std::vector<monitor_area> monitors() override;
  bool show(const std::vector<overlay_picture>& pictures) override;
  void hide() override;
  int descriptor() const override { return gone_ ? -1 : connection_->descriptor(); }
  bool handle_events() override;

 private:
  bool there() const {
    if (!gone_ && connection_->broken()) gone_ = true;
    return !gone_;
  }
  void hand_over(x11_frame next);
  void take_what_came(bool from_socket);

  // The sending thread's own.
  void send();
  void send_frames();

  const std::unique_ptr<x11_connection> connection_;
  const std::chrono::milliseconds patience_;
  mutable std::atomic<bool> gone_ = false;
  // The sending thread's own.
  x11_bands bands_;

  // Between the two threads.
  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<monitor_area> monitors_;
  bool stop_ = false;
  std::optional<x11_frame> next_;
  bool monitors_wanted_ = false;
  // The question for the monitors, answered later to either thread.
  std::optional<unsigned> monitors_asked_;
  std::optional<steady::time_point> sending_since_;
  std::thread sender_;
};

x11_overlay::~x11_overlay() {
  if (sender_.joinable()) {
    {
      const std::lock_guard lock{mutex_};
      stop_ = true;
    }
    wake_.notify_one();
    // Ends a write the server does not take in.
    connection_->cut();
    sender_.join();
  }
}

bool x11_overlay::start() {
  if (!there()) return false;
  try {
    sender_ = std::thread{[this] { send(); }};
  } catch (const std::system_error&) {
    return false;  // no thread left to be had: no band
  }
  return true;
}

std::vector<monitor_area> x11_overlay::monitors() {
  const std::lock_guard lock{mutex_};
  return there() ? monitors_ : std::vector<monitor_area>{};
}

bool x11_overlay::show(const std::vector<overlay_picture>& pictures) {
  const std::vector<monitor_area> places = monitors();
  if (places.empty()) return false;
  x11_frame next;
  for (std::size_t i = 0; i < std::min(pictures.size(), places.size()); ++i) {
    const overlay_picture& picture = pictures[i];
    if (picture.width <= 0 || picture.height <= 0 || picture.pixels == nullptr) continue;
    const std::size_t row_bytes = static_cast<std::size_t>(picture.width) * 4;
    std::vector<std::uint8_t>& packed = next.pixels.emplace_back(row_bytes * picture.height);
    for (int row = 0; row < picture.height; ++row) {
      std::memcpy(packed.data() + row_bytes * static_cast<std::size_t>(row),
                  picture.pixels + static_cast<std::ptrdiff_t>(row) * picture.stride_bytes,
                  row_bytes);
    }
    next.places.push_back({places[i].x, places[i].y, picture.width, picture.height});
  }
  {
    const std::lock_guard lock{mutex_};
    if (sending_since_ && steady::now() - *sending_since_ > patience_) gone_ = true;
  }
  if (!there()) return false;
  hand_over(std::move(next));
  return true;
}

void x11_overlay::hide() {
  if (there()) hand_over({});
}

void x11_overlay::hand_over(x11_frame next) {
  {
    const std::lock_guard lock{mutex_};
    next_ = std::move(next);
  }
  wake_.notify_one();
}

bool x11_overlay::handle_events() {
  if (!there()) return false;
  take_what_came(true);
  return there();
}

// Whichever thread xcb read it on: while the sending thread writes, xcb also
// reads what the server sends, and what it read then leaves the socket quiet
// for the window's thread. The monitors are asked for afresh, by the sending
// thread, after every change RandR tells of.
void x11_overlay::take_what_came(bool from_socket) {
  bool changed = connection_->monitors_changed(from_socket);
  bool answered = false;
  {
    const std::lock_guard lock{mutex_};
    if (monitors_asked_) {
      if (auto answer = connection_->monitors_answer(*monitors_asked_)) {
        if (!answer->empty()) monitors_ = std::move(*answer);
        monitors_asked_.reset();
        answered = true;  // to ask again for a change since
      }
    }
  }
  // Events read with the answer.
  changed = connection_->monitors_changed(false) || changed;
  if (changed) {
    const std::lock_guard lock{mutex_};
    monitors_wanted_ = true;
  }
  if (changed || answered) wake_.notify_one();
}

void x11_overlay::send() {
  // A server that has gone makes the write fail, rather than end the program.
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
  try {
    send_frames();
  } catch (...) {
    // No memory for a band, or a lock refused: the band ends, and the window
    // tells so at its next show; the watchdog goes on.
    gone_ = true;
  }
}

void x11_overlay::send_frames() {
  std::unique_lock lock{mutex_};
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || next_ || (monitors_wanted_ && !monitors_asked_); });
    if (stop_) return;
    const bool ask = monitors_wanted_ && !monitors_asked_;
    if (ask) monitors_wanted_ = false;
    const std::optional<x11_frame> next = std::exchange(next_, std::nullopt);
    sending_since_ = steady::now();
    lock.unlock();
    std::optional<unsigned> asked;
    if (ask) asked = connection_->ask_monitors();
    if (next) bands_.show(*next);
    xcb_flush(connection_->raw());
    lock.lock();
    if (asked) monitors_asked_ = asked;
    sending_since_.reset();
    lock.unlock();
    take_what_came(false);
    lock.lock();
  }
}

}  // namespace

std::unique_ptr<overlay_display> open_x11_overlay(std::chrono::milliseconds patience) {
  std::unique_ptr<x11_connection> connection = x11_connection::open();
  if (!connection) return nullptr;
  auto overlay = std::make_unique<x11_overlay>(std::move(connection), patience);
  if (!overlay->start()) return nullptr;
  return overlay;
}

std::unique_ptr<overlay_display> open_x11_overlay() { return open_x11_overlay(frame_patience); }

}  // namespace vrnskdm::platform
