#include "x11_overlay_connection.h"

#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <xcb/randr.h>
#include <xcb/shape.h>
#include <xcb/xcbext.h>

#include <bit>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>

namespace vrnskdm::platform {

namespace {

// xcb writes to its socket without MSG_NOSIGNAL: a write to an X server that
// has gone would end the whole program by SIGPIPE. While the connection is
// opened the signal is held off, and taken back if it came, so
// that the write only fails; the sending thread holds it off for good.
class sigpipe_held {
 public:
  sigpipe_held() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    was_pending_ = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe_, &before_);
  }
  ~sigpipe_held() {
    sigset_t pending;
    sigpending(&pending);
    if (!was_pending_ && sigismember(&pending, SIGPIPE) == 1) {
      const timespec now{};
      sigtimedwait(&pipe_, nullptr, &now);
    }
    pthread_sigmask(SIG_SETMASK, &before_, nullptr);
  }
  sigpipe_held(const sigpipe_held&) = delete;
  sigpipe_held& operator=(const sigpipe_held&) = delete;

 private:
  sigset_t pipe_{};
  sigset_t before_{};
  bool was_pending_ = false;
};

template <typename T>
struct freed {
  void operator()(T* p) const { std::free(p); }
};
template <typename T>
using xcb_owned = std::unique_ptr<T, freed<T>>;

using steady = std::chrono::steady_clock;

// How long the opening waits for the X server's answers, all together. The
// opening happens once, at the first warning; a server that takes longer is
// as good as none.
constexpr auto open_patience = std::chrono::seconds{2};

// The one place that waits for an answer, and only while opening: up to the
// deadline, then nothing.
template <typename Reply>
xcb_owned<Reply> reply_by(xcb_connection_t* connection, unsigned sequence,
                          steady::time_point deadline) {
  xcb_flush(connection);
  for (;;) {
    void* reply = nullptr;
    xcb_generic_error_t* error = nullptr;
    if (xcb_poll_for_reply(connection, sequence, &reply, &error) != 0) {
      std::free(error);
      return xcb_owned<Reply>{static_cast<Reply*>(reply)};
    }
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - steady::now()).count();
    if (xcb_connection_has_error(connection) != 0 || left <= 0) return nullptr;
    pollfd readable{xcb_get_file_descriptor(connection), POLLIN, 0};
    if (::poll(&readable, 1, static_cast<int>(left)) < 0 && errno != EINTR) return nullptr;
  }
}

// Whether the screen's pixels are the pictures' own: 32 bits, 0x00RRGGBB, in
// this machine's byte order, so that a picture goes to the server as it is.
bool takes_pictures_as_they_are(const xcb_setup_t* setup, const xcb_screen_t* screen) {
  const auto own_order = std::endian::native == std::endian::little ? XCB_IMAGE_ORDER_LSB_FIRST
                                                                    : XCB_IMAGE_ORDER_MSB_FIRST;
  if (setup->image_byte_order != own_order) return false;
  bool thirty_two_bits = false;
  for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem != 0;
       xcb_format_next(&formats)) {
    if (formats.data->depth == screen->root_depth)
      thirty_two_bits = formats.data->bits_per_pixel == 32;
  }
  if (!thirty_two_bits) return false;
  for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem != 0;
       xcb_depth_next(&depths)) {
    for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem != 0;
         xcb_visualtype_next(&visuals)) {
      const xcb_visualtype_t& visual = *visuals.data;
      if (visual.visual_id == screen->root_visual) {
        return visual.red_mask == 0xff0000 && visual.green_mask == 0xff00 &&
               visual.blue_mask == 0xff;
      }
    }
  }
  return false;
}

std::vector<monitor_area> monitors_of(const xcb_randr_get_monitors_reply_t* reply) {
  std::vector<monitor_area> areas;
  if (reply == nullptr) return areas;
  for (auto monitors = xcb_randr_get_monitors_monitors_iterator(reply); monitors.rem != 0;
       xcb_randr_monitor_info_next(&monitors)) {
    const xcb_randr_monitor_info_t& m = *monitors.data;
    if (m.width > 0 && m.height > 0) areas.push_back({m.x, m.y, m.width, m.height});
  }
  return areas;
}

}  // namespace

std::unique_ptr<x11_connection> x11_connection::open() {
  const sigpipe_held held;
  int screen_number = 0;
  std::unique_ptr<x11_connection> connection{
      new x11_connection{xcb_connect(nullptr, &screen_number)}};
  if (!connection->ask_the_server(screen_number)) return nullptr;
  return connection;
}

x11_connection::~x11_connection() { xcb_disconnect(connection_); }

bool x11_connection::ask_the_server(int screen_number) {
  if (broken()) return false;
  const xcb_setup_t* setup = xcb_get_setup(connection_);
  auto screens = xcb_setup_roots_iterator(setup);
  for (int i = 0; i < screen_number && screens.rem != 0; ++i) xcb_screen_next(&screens);
  if (screens.rem == 0) return false;
  screen_ = screens.data;
  if (!takes_pictures_as_they_are(setup, screen_)) return false;

  // xcb asks for each extension once, and waits for the answer where it is first
  // needed: asked now, and answered before the round trip that follows, they
  // are there when needed and nobody waits for them unbounded.
  xcb_prefetch_extension_data(connection_, &xcb_shape_id);
  xcb_prefetch_extension_data(connection_, &xcb_randr_id);
  const steady::time_point deadline = steady::now() + open_patience;
  if (!reply_by<xcb_get_input_focus_reply_t>(connection_, xcb_get_input_focus(connection_).sequence,
                                             deadline)) {
    return false;
  }
  const xcb_query_extension_reply_t* shape = xcb_get_extension_data(connection_, &xcb_shape_id);
  has_shape_ = shape != nullptr && shape->present != 0;

  const xcb_query_extension_reply_t* randr = xcb_get_extension_data(connection_, &xcb_randr_id);
  if (randr != nullptr && randr->present != 0) {
    const auto version = reply_by<xcb_randr_query_version_reply_t>(
        connection_, xcb_randr_query_version(connection_, 1, 5).sequence, deadline);
    if (version && (version->major_version > 1 || version->minor_version >= 5)) {
      randr_events_ = randr->first_event;
      xcb_randr_select_input(connection_, screen_->root,
                             XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE |
                                 XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE |
                                 XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE);
      // Monitors set by hand (xrandr --setmonitor) are told of only by a
      // ConfigureNotify of the root window.
      const std::uint32_t structure = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
      xcb_change_window_attributes(connection_, screen_->root, XCB_CW_EVENT_MASK, &structure);
      const auto reply =
          reply_by<xcb_randr_get_monitors_reply_t>(connection_, ask_monitors(), deadline);
      first_monitors_ = monitors_of(reply.get());
    }
  }
  if (first_monitors_.empty()) {
    first_monitors_.push_back({0, 0, screen_->width_in_pixels, screen_->height_in_pixels});
  }
  return !broken();
}

void x11_connection::cut() const { ::shutdown(descriptor(), SHUT_RDWR); }

unsigned x11_connection::ask_monitors() const {
  return xcb_randr_get_monitors(connection_, screen_->root, 1).sequence;
}

std::optional<std::vector<monitor_area>> x11_connection::monitors_answer(unsigned question) const {
  void* reply = nullptr;
  xcb_generic_error_t* error = nullptr;
  if (xcb_poll_for_reply(connection_, question, &reply, &error) == 0) return std::nullopt;
  const xcb_owned<xcb_randr_get_monitors_reply_t> answer{
      static_cast<xcb_randr_get_monitors_reply_t*>(reply)};
  std::free(error);
  return monitors_of(answer.get());
}

bool x11_connection::monitors_changed(bool from_socket) const {
  bool changed = false;
  while (xcb_generic_event_t* event = from_socket ? xcb_poll_for_event(connection_)
                                                  : xcb_poll_for_queued_event(connection_)) {
    const int type = event->response_type & 0x7f;
    changed = changed ||
              (randr_events_ != 0 && (type == randr_events_ + XCB_RANDR_SCREEN_CHANGE_NOTIFY ||
                                      type == randr_events_ + XCB_RANDR_NOTIFY ||
                                      type == XCB_CONFIGURE_NOTIFY));
    std::free(event);
  }
  return changed;
}

}  // namespace vrnskdm::platform
