#pragma once

#include <string>

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

}  // namespace vrnskdm::platform
