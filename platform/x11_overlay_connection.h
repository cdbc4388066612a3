#pragma once

// The band's X server as the overlay holds it: opened with a bound on every
// answer, with what the bands need to know of its screen, and asked afresh for
// its monitors whenever RandR tells of a change. Safe from any thread, as xcb
// is.

#include <xcb/xcb.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "overlay.h"

namespace vrnskdm::platform {

class x11_connection {
 public:
  // The X server that DISPLAY names, once it has told within a couple of
  // seconds what the bands need; nothing where there is none, it takes longer,
  // or its screen's pixels are not the pictures' own (32 bits, 0x00RRGGBB, in
  // this machine's byte order).
  static std::unique_ptr<x11_connection> open();

  ~x11_connection();
  x11_connection(const x11_connection&) = delete;
  x11_connection& operator=(const x11_connection&) = delete;

  xcb_connection_t* raw() const { return connection_; }
  const xcb_screen_t& screen() const { return *screen_; }
  // Whether windows may be given an empty input region.
  bool has_shape() const { return has_shape_; }

  // The monitors as the opening found them: at least one, the whole screen
  // where RandR tells of none.
  const std::vector<monitor_area>& first_monitors() const { return first_monitors_; }

  // Whether the connection has failed, for good.
  bool broken() const { return xcb_connection_has_error(connection_) != 0; }
  int descriptor() const { return xcb_get_file_descriptor(connection_); }

  // Makes a write that the server does not take in fail, and every one after.
  void cut() const;

  // Asks for the monitors; the question, for monitors_answer.
  unsigned ask_monitors() const;

  // The answer to the question: nothing while it is on its way; empty where
  // the server refused or told of none. Reads what the socket holds, without
  // waiting, where xcb holds no answer yet.
  std::optional<std::vector<monitor_area>> monitors_answer(unsigned question) const;

  // Takes the events that xcb holds, and with from_socket also what the socket
  // holds, without waiting; whether RandR told of a change of the monitors
  // among them.
  bool monitors_changed(bool from_socket) const;

 private:
  explicit x11_connection(xcb_connection_t* connection) : connection_{connection} {}
  bool ask_the_server(int screen_number);

  xcb_connection_t* connection_;
  const xcb_screen_t* screen_ = nullptr;
  bool has_shape_ = false;
  std::uint8_t randr_events_ = 0;  // 0 where RandR tells of no change
  std::vector<monitor_area> first_monitors_;
};

}  // namespace vrnskdm::platform
