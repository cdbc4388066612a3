#include "warning_overlay.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QSocketNotifier>
#include <algorithm>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "form1.h"

namespace vrnskdm::window {

namespace {

// How long the window waits for the way over every window before it comes up
// as where there is none: a healthy display answers within milliseconds.
constexpr std::chrono::seconds route_patience{2};

}  // namespace

struct warning_overlay::opening {
  // Beside the window's thread. What the search throws (no memory, no thread
  // to be had) ends it as where no way is found, never the watchdog.
  void look() {
    std::unique_ptr<platform::overlay_display> found;
    std::string failed;
    try {
      found = open_warning_overlay();
    } catch (const std::exception& error) {
      failed = error.what();
    }
    const std::lock_guard lock{mutex};
    display = std::move(found);
    failure = std::move(failed);
    done = true;
  }

  std::mutex mutex;
  bool done = false;
  std::unique_ptr<platform::overlay_display> display;
  std::string failure;  // what the search threw, where it threw
};

QImage warning_band(const platform::monitor_area& monitor, const QColor& colour,
                    const QString& text) {
  QImage band{monitor.width, std::max(1, monitor.height / 8), QImage::Format_RGB32};
  band.fill(colour);
  QFont font = design_font(warning_points);
  font.setBold(true);
  // Measured on the picture itself: a screen's measure follows Qt's scale and
  // the screen's DPI, which the picture's pixels do not. A text's width does
  // not shrink exactly with its size (hinting, rounding): smaller sizes are
  // tried until it fits.
  const qreal room = band.width() * 19.0 / 20;
  for (int pixels = std::max(1, band.height() * 11 / 20);;) {
    font.setPixelSize(pixels);
    const qreal width = QFontMetricsF{font, &band}.boundingRect(text).width();
    if (width <= room || pixels == 1) break;
    pixels = std::clamp(static_cast<int>(pixels * room / width), 1, pixels - 1);
  }
  QPainter painter{&band};
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.setFont(font);
  painter.setPen(Qt::black);
  painter.drawText(band.rect(), Qt::AlignCenter, text);
  return band;
}

std::unique_ptr<platform::overlay_display> open_warning_overlay() {
  if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    if (auto layer = platform::open_layer_shell_overlay()) return layer;
  }
  return platform::open_x11_overlay();
}

warning_overlay::warning_overlay(platform::journal* journal) : journal_{journal} {}

warning_overlay::~warning_overlay() = default;

std::optional<bool> warning_overlay::covers(const supervision::window_model& model) {
  if (!model.form.kept_on_top()) return false;
  // At the first warning of the run, not before: a desktop that starts its X
  // server on demand starts none for a machine that never warns.
  if (!opened_) open();
  if (opening_) take_opened();
  if (opening_ && std::chrono::steady_clock::now() - opening_since_ < route_patience) {
    return std::nullopt;
  }
  return display_ != nullptr;
}

void warning_overlay::show_model(const supervision::window_model& model) {
  if (!model.form.kept_on_top()) {
    if (shown_ && display_) display_->hide();
    shown_.reset();
    return;
  }
  if (covers(model) != true) return;
  const std::pair<QColor, std::string> now{
      design_colour(model.sfondo.back_color.value_or(supervision::warning_red)),
      model.warning.caption};
  if (shown_ == now) return;

  const QString text = QString::fromStdString(now.second);
  std::vector<QImage> bands;
  std::vector<platform::overlay_picture> pictures;
  for (const platform::monitor_area& monitor : display_->monitors()) {
    const QImage& band = bands.emplace_back(warning_band(monitor, now.first, text));
    pictures.push_back(
        {band.width(), band.height(), static_cast<int>(band.bytesPerLine()), band.constBits()});
  }
  if (pictures.empty() && display_->descriptor() >= 0) {
    // No monitor for a moment (turned off, unplugged, being set anew): the
    // band comes back with the next step that finds one.
    display_->hide();
    shown_.reset();
    return;
  }
  if (pictures.empty() || !display_->show(pictures)) {
    end();
    return;
  }
  shown_ = now;
}

void warning_overlay::open() {
  opened_ = true;
  auto looking = std::make_shared<opening>();
  try {
    std::thread{[looking] {
      try {
        looking->look();
      } catch (...) {
        // Not even that could be told: the window waits no longer than for
        // a way that never answers.
      }
    }}.detach();
  } catch (const std::system_error& error) {
    take_route(nullptr, error.what());
    return;
  }
  opening_ = std::move(looking);
  opening_since_ = std::chrono::steady_clock::now();
}

void warning_overlay::take_opened() {
  std::unique_ptr<platform::overlay_display> display;
  std::string failure;
  {
    const std::lock_guard lock{opening_->mutex};
    if (!opening_->done) return;
    display = std::move(opening_->display);
    failure = std::move(opening_->failure);
  }
  opening_.reset();
  take_route(std::move(display), failure);
}

void warning_overlay::take_route(std::unique_ptr<platform::overlay_display> display,
                                 const std::string& failure) {
  display_ = std::move(display);
  if (!display_) {
    if (journal_ == nullptr) return;
    if (failure.empty()) {
      journal_->record(platform::event::overlay_unavailable,
                       "no overlay route: the warning shows in the window only");
    } else {
      journal_->warn(platform::event::overlay_unavailable,
                     "the overlay route could not be looked for (" + failure +
                         "): the warning shows in the window only");
    }
    return;
  }
  if (journal_ != nullptr) {
    journal_->record(platform::event::overlay_shown,
                     "the warning is shown over every window through the " +
                     std::string{display_->route()});
  }
  events_ = std::make_unique<QSocketNotifier>(display_->descriptor(), QSocketNotifier::Read);
  QObject::connect(events_.get(), &QSocketNotifier::activated, events_.get(), [this] {
    if (!display_->handle_events()) end();
  });
}

// For good: a display that went away once is not trusted again in this run.
void warning_overlay::end() {
  if (journal_ != nullptr) {
    journal_->warn(
        platform::event::overlay_ended,
        "the warning's band over every window has ended, its display went away or "
        "refused: the warning shows in the window only");
  }
  // Called from the notifier's own signal too, where it may not be deleted yet.
  events_->setEnabled(false);
  events_.release()->deleteLater();
  display_.reset();
  shown_.reset();
}

}  // namespace vrnskdm::window
