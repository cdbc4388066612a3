#pragma once

// The restart's warning over every window: while the window is kept over the
// others, the panel's colour and text also show as a band across the top of
// every monitor, above fullscreen programs too, through the first way of doing
// so that the desktop offers.

#include <QColor>
#include <QImage>
#include <QString>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/journal.h"
#include "platform/overlay.h"
#include "supervision/window_model.h"

class QSocketNotifier;

namespace vrnskdm::window {

// One monitor's band: the panel's colour across the monitor's width, an eighth
// of its height, with the panel's text as large as it fits, to be read from a
// few metres away.
QImage warning_band(const platform::monitor_area& monitor, const QColor& colour,
                    const QString& text);

// On Wayland the compositor's overlay layer; elsewhere, or where the compositor
// offers none, an override-redirect window on the X server that DISPLAY names
// (an X11 desktop's own, or a Wayland desktop's Xwayland); nothing where
// neither answers.
std::unique_ptr<platform::overlay_display> open_warning_overlay();

class warning_overlay {
 public:
  explicit warning_overlay(platform::journal* journal);
  ~warning_overlay();
  warning_overlay(const warning_overlay&) = delete;
  warning_overlay& operator=(const warning_overlay&) = delete;

  // Whether the band is there to show the model's warning: the model keeps the
  // window on top and a way over every window was found (looked for at the
  // first warning of the run, beside the window's thread: a display that hangs
  // must not hold the countdown). Nothing while that is still being looked
  // for, up to a couple of seconds; false after that until it is found.
  std::optional<bool> covers(const supervision::window_model& model);

  // Shows the band while the model keeps the window on top, drawn again when
  // the panel's colour or text changed, and takes it away after.
  void show_model(const supervision::window_model& model);

 private:
  struct opening;

  void open();
  void take_opened();
  // The way found, if any; failure says what kept it from being looked for.
  void take_route(std::unique_ptr<platform::overlay_display> display,
                  const std::string& failure = {});
  void end();

  platform::journal* journal_;
  bool opened_ = false;
  // The way over every window while it is being looked for; shared with the
  // thread that looks, which may never come back.
  std::shared_ptr<opening> opening_;
  std::chrono::steady_clock::time_point opening_since_;
  std::unique_ptr<platform::overlay_display> display_;
  std::unique_ptr<QSocketNotifier> events_;
  // The colour and text on the screen now; nothing while the band is away.
  std::optional<std::pair<QColor, std::string>> shown_;
};

}  // namespace vrnskdm::window
