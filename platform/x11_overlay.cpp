// The band as an override-redirect window on each monitor of an X server: the
// window manager never sees such a window, so it is neither framed nor focused,
// and it stays over every managed window, fullscreen ones included, until
// something is raised over it; it is raised again at every show. Wayland
// desktops draw their Xwayland's override-redirect windows over fullscreen
// programs too.

#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <xcb/randr.h>
#include <xcb/shape.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "overlay.h"

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

// One monitor's band: its window, and the window's background, which holds the
// picture, so that the server repaints it by itself whenever it is uncovered.
struct band {
  xcb_window_t window = 0;
  xcb_pixmap_t pixmap = 0;
  monitor_area place;
  bool mapped = false;
};

// What the bands show next: a picture for each place, its rows packed; no
// places takes the bands off the screen.
struct frame {
  std::vector<monitor_area> places;
  std::vector<std::vector<std::uint8_t>> pixels;
};

// How long the server may take to take in one frame before it counts as
// refusing: the band then ends.
constexpr auto frame_patience = std::chrono::seconds{5};

// The window's thread only hands each frame over; a thread of the overlay's own
// writes it to the server, and waits when the server is slow to read. A server
// that hangs holds that thread alone, never the watchdog; a newer frame takes
// the place of one not yet sent.
class x11_overlay final : public overlay_display {
 public:
  explicit x11_overlay(xcb_connection_t* connection) : connection_{connection} {}
  ~x11_overlay() override;
  x11_overlay(const x11_overlay&) = delete;
  x11_overlay& operator=(const x11_overlay&) = delete;

  bool open(int screen_number);

  std::string_view route() const override { return "X11 override-redirect window"; }
  std::vector<monitor_area> monitors() override {
    return there() ? monitors_ : std::vector<monitor_area>{};
  }
  bool show(const std::vector<overlay_picture>& pictures) override;
  void hide() override;
  int descriptor() const override { return gone_ ? -1 : xcb_get_file_descriptor(connection_); }
  bool handle_events() override;

 private:
  bool there() const {
    if (!gone_ && xcb_connection_has_error(connection_) != 0) gone_ = true;
    return !gone_;
  }
  void hand_over(frame next);
  void take_monitors();

  // The sending thread's own.
  void send();
  void put_on_screen(const frame& next);
  band& band_on(std::size_t monitor);
  void fit(band& b, const monitor_area& place);
  void put(const band& b, const std::vector<std::uint8_t>& pixels);

  xcb_connection_t* connection_;
  mutable std::atomic<bool> gone_ = false;
  // Set while opening, before the sending thread starts; read-only after.
  const xcb_screen_t* screen_ = nullptr;
  xcb_gcontext_t gc_ = 0;
  bool has_shape_ = false;
  std::uint8_t randr_events_ = 0;  // 0 where RandR tells of no change
  // The window's thread's own.
  std::vector<monitor_area> monitors_;
  // The sending thread's own.
  std::vector<band> bands_;

  // Between the two threads.
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::optional<frame> next_;
  bool monitors_wanted_ = false;
  // The question for the monitors, answered in a later handle_events.
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
    ::shutdown(xcb_get_file_descriptor(connection_), SHUT_RDWR);
    sender_.join();
  }
  xcb_disconnect(connection_);
}

bool x11_overlay::open(int screen_number) {
  if (xcb_connection_has_error(connection_) != 0) return false;
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
      const auto reply = reply_by<xcb_randr_get_monitors_reply_t>(
          connection_, xcb_randr_get_monitors(connection_, screen_->root, 1).sequence, deadline);
      monitors_ = monitors_of(reply.get());
    }
  }
  if (monitors_.empty()) {
    monitors_.push_back({0, 0, screen_->width_in_pixels, screen_->height_in_pixels});
  }

  gc_ = xcb_generate_id(connection_);
  xcb_create_gc(connection_, gc_, screen_->root, 0, nullptr);
  xcb_flush(connection_);
  if (!there()) return false;
  try {
    sender_ = std::thread{[this] { send(); }};
  } catch (const std::system_error&) {
    return false;  // no thread left to be had: no band
  }
  return true;
}

bool x11_overlay::show(const std::vector<overlay_picture>& pictures) {
  if (!there()) return false;
  frame next;
  for (std::size_t i = 0; i < std::min(pictures.size(), monitors_.size()); ++i) {
    const overlay_picture& picture = pictures[i];
    if (picture.width <= 0 || picture.height <= 0 || picture.pixels == nullptr) continue;
    const std::size_t row_bytes = static_cast<std::size_t>(picture.width) * 4;
    std::vector<std::uint8_t>& packed = next.pixels.emplace_back(row_bytes * picture.height);
    for (int row = 0; row < picture.height; ++row) {
      std::memcpy(packed.data() + row_bytes * static_cast<std::size_t>(row),
                  picture.pixels + static_cast<std::ptrdiff_t>(row) * picture.stride_bytes,
                  row_bytes);
    }
    next.places.push_back({monitors_[i].x, monitors_[i].y, picture.width, picture.height});
  }
  {
    const std::lock_guard lock{mutex_};
    if (sending_since_ && steady::now() - *sending_since_ > frame_patience) gone_ = true;
  }
  if (!there()) return false;
  hand_over(std::move(next));
  return true;
}

void x11_overlay::hide() {
  if (there()) hand_over({});
}

void x11_overlay::hand_over(frame next) {
  {
    const std::lock_guard lock{mutex_};
    next_ = std::move(next);
  }
  wake_.notify_one();
}

bool x11_overlay::handle_events() {
  if (!there()) return false;
  bool monitors_changed = false;
  while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
    const int type = event->response_type & 0x7f;
    monitors_changed =
        monitors_changed ||
        (randr_events_ != 0 && (type == randr_events_ + XCB_RANDR_SCREEN_CHANGE_NOTIFY ||
                                type == randr_events_ + XCB_RANDR_NOTIFY));
    std::free(event);
  }
  if (monitors_changed) {
    {
      const std::lock_guard lock{mutex_};
      monitors_wanted_ = true;
    }
    wake_.notify_one();
  }
  take_monitors();
  return there();
}

// Asked afresh, by the sending thread, after every change RandR tells of.
void x11_overlay::take_monitors() {
  std::optional<unsigned> asked;
  {
    const std::lock_guard lock{mutex_};
    asked = monitors_asked_;
  }
  void* reply = nullptr;
  xcb_generic_error_t* error = nullptr;
  if (!asked || xcb_poll_for_reply(connection_, *asked, &reply, &error) == 0) return;
  const xcb_owned<xcb_randr_get_monitors_reply_t> answer{
      static_cast<xcb_randr_get_monitors_reply_t*>(reply)};
  std::free(error);
  std::vector<monitor_area> areas = monitors_of(answer.get());
  if (!areas.empty()) monitors_ = std::move(areas);
  {
    const std::lock_guard lock{mutex_};
    monitors_asked_.reset();
  }
  wake_.notify_one();  // to ask again for a change since
}

void x11_overlay::send() {
  // A server that has gone makes the write fail, rather than end the program.
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

  std::unique_lock lock{mutex_};
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || next_ || (monitors_wanted_ && !monitors_asked_); });
    if (stop_) return;
    const bool ask = monitors_wanted_ && !monitors_asked_;
    if (ask) monitors_wanted_ = false;
    const std::optional<frame> next = std::exchange(next_, std::nullopt);
    sending_since_ = steady::now();
    lock.unlock();
    std::optional<unsigned> asked;
    if (ask) asked = xcb_randr_get_monitors(connection_, screen_->root, 1).sequence;
    if (next) put_on_screen(*next);
    xcb_flush(connection_);
    lock.lock();
    if (asked) monitors_asked_ = asked;
    sending_since_.reset();
  }
}

void x11_overlay::put_on_screen(const frame& next) {
  for (std::size_t i = 0; i < next.places.size(); ++i) {
    band& b = band_on(i);
    fit(b, next.places[i]);
    put(b, next.pixels[i]);
    xcb_clear_area(connection_, 0, b.window, 0, 0, 0, 0);
    if (!b.mapped) xcb_map_window(connection_, b.window);
    b.mapped = true;
  }
  for (std::size_t i = next.places.size(); i < bands_.size(); ++i) {
    if (bands_[i].mapped) xcb_unmap_window(connection_, bands_[i].window);
    bands_[i].mapped = false;
  }
}

band& x11_overlay::band_on(std::size_t monitor) {
  while (bands_.size() <= monitor) {
    band b;
    b.window = xcb_generate_id(connection_);
    const std::uint32_t override_redirect = 1;
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, b.window, screen_->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT,
                      &override_redirect);
    constexpr std::string_view wm_class{"vrnskdm-warning\0vrnskdm\0", 24};
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, b.window, XCB_ATOM_WM_CLASS,
                        XCB_ATOM_STRING, 8, wm_class.size(), wm_class.data());
    // No input region: touches and clicks reach the program underneath.
    if (has_shape_) {
      xcb_shape_rectangles(connection_, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT,
                           XCB_CLIP_ORDERING_UNSORTED, b.window, 0, 0, 0, nullptr);
    }
    bands_.push_back(b);
  }
  return bands_[monitor];
}

// Moves the window to its place and size, with a background of that size, and
// over every other window.
void x11_overlay::fit(band& b, const monitor_area& place) {
  const bool resized =
      b.pixmap == 0 || place.width != b.place.width || place.height != b.place.height;
  if (resized) {
    if (b.pixmap != 0) xcb_free_pixmap(connection_, b.pixmap);
    b.pixmap = xcb_generate_id(connection_);
    xcb_create_pixmap(connection_, screen_->root_depth, b.pixmap, screen_->root,
                      static_cast<std::uint16_t>(place.width),
                      static_cast<std::uint16_t>(place.height));
    xcb_change_window_attributes(connection_, b.window, XCB_CW_BACK_PIXMAP, &b.pixmap);
  }
  const std::uint32_t geometry[] = {static_cast<std::uint32_t>(place.x),
                                    static_cast<std::uint32_t>(place.y),
                                    static_cast<std::uint32_t>(place.width),
                                    static_cast<std::uint32_t>(place.height), XCB_STACK_MODE_ABOVE};
  xcb_configure_window(connection_, b.window,
                       XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                           XCB_CONFIG_WINDOW_HEIGHT | XCB_CONFIG_WINDOW_STACK_MODE,
                       geometry);
  b.place = place;
}

// In strips of rows, each within the server's largest request: a band is
// larger than one request may be without the BIG-REQUESTS extension, and xcb
// would wait for the server's answer to turn that extension on.
void x11_overlay::put(const band& b, const std::vector<std::uint8_t>& pixels) {
  const std::size_t row_bytes = static_cast<std::size_t>(b.place.width) * 4;
  const std::size_t request_bytes =
      std::size_t{xcb_get_setup(connection_)->maximum_request_length} * 4;
  const int rows_per_strip =
      std::max(1, static_cast<int>((request_bytes - sizeof(xcb_put_image_request_t)) / row_bytes));
  for (int top = 0; top < b.place.height; top += rows_per_strip) {
    const int rows = std::min(rows_per_strip, b.place.height - top);
    xcb_put_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, b.pixmap, gc_,
                  static_cast<std::uint16_t>(b.place.width), static_cast<std::uint16_t>(rows), 0,
                  static_cast<std::int16_t>(top), 0, screen_->root_depth,
                  static_cast<std::uint32_t>(row_bytes) * static_cast<std::uint32_t>(rows),
                  pixels.data() + row_bytes * static_cast<std::size_t>(top));
  }
}

}  // namespace

std::unique_ptr<overlay_display> open_x11_overlay() {
  const sigpipe_held held;
  int screen_number = 0;
  auto overlay = std::make_unique<x11_overlay>(xcb_connect(nullptr, &screen_number));
  if (!overlay->open(screen_number)) return nullptr;
  return overlay;
}

}  // namespace vrnskdm::platform
