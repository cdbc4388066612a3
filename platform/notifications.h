#pragma once

// Notifications on the desktop: what the logic asks for, and the desktop's
// notification service on the session bus.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bus_call.h"

namespace vrnskdm::platform {

struct notification {
  std::string summary;
  std::string body;
};

// A notification on the desktop, for whoever is at the screen: a second
// channel beside the window, which the desktop shows over other programs, also
// over one that fills the screen. One notification at a time. Nothing here
// waits and nothing fails: a desktop without notifications shows nothing.
class notifier {
 public:
  virtual ~notifier() = default;

  // Shows the notification, in place of the one shown before, if any.
  virtual void show(const notification& shown) = 0;

  // Takes the notification off the screen, also one whose showing is still on
  // its way.
  virtual void close() = 0;

  // Takes the replies that have come, and sends what waited for them.
  virtual void take_replies() = 0;
};

// The desktop's notification service (org.freedesktop.Notifications) on the
// session bus, as the program "vrnskdm" with its icon, at urgency critical:
// GNOME Shell, Plasma and dunst show such a notification over a program that
// fills the screen, and keep it until it is closed. The calls go one after
// another, so that a close never overtakes the showing it closes; a new
// notification replaces the last one shown, so that they never pile up. A
// showing not answered within answer_timeout is given up (by the first
// take_replies after it, which each tick calls), and the calls after it go on;
// should its notification come all the same, it stays if it is still the one
// wanted, and is otherwise closed as soon as its number is known. Without a
// session bus or a notification service the calls fail quietly.
class desktop_notifier final : public notifier {
 public:
  // The bell rings when a reply has come; it may be null.
  explicit desktop_notifier(answer_bell* bell = nullptr);
  ~desktop_notifier() override;
  desktop_notifier(const desktop_notifier&) = delete;
  desktop_notifier& operator=(const desktop_notifier&) = delete;

  void show(const notification& shown) override;
  void close() override;
  void take_replies() override;

 private:
  // Sends the next call that brings the desktop to what is wanted, unless a
  // call is still on its way.
  void send_next();

  // Takes the reply to the call on its way, when there is one; says whether.
  bool took(const std::optional<bus_reply>& reply);

  // Takes the numbers of the showings given up that have come since: the one
  // still wanted stays on the screen, the others are closed.
  void take_late_showings();

  // A showing given up, still listened for, with the notification it shows.
  struct late_showing {
    std::unique_ptr<bus_call> call;
    std::uint64_t serial;
  };

  answer_bell* bell_;
  std::unique_ptr<bus_call> call_;  // the call on its way
  bool call_shows_ = false;         // that call is a Notify
  std::chrono::steady_clock::time_point call_sent_;
  std::vector<late_showing> late_showings_;
  std::vector<std::uint32_t> left_behind_;  // notifications of showings given up, to close
  std::optional<notification> wanted_;
  std::uint64_t wanted_serial_ = 0;  // counts the notifications asked for
  std::uint64_t sent_serial_ = 0;    // the last of them sent
  std::uint32_t id_ = 0;             // the service's number for the last one shown
  bool on_screen_ = false;           // shown, and not closed since
};

}  // namespace vrnskdm::platform
