#pragma once

// The window showing the window model, and the operator's edits carried into
// the model: the folder text, check-box clicks and the period selector. The
// window is also brought up, and kept over the others, as each kind of display
// lets a program do, and while it is kept there the warning also shows over
// every window.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/journal.h"
#include "supervision/window_model.h"
#include "warning_overlay.h"

namespace vrnskdm::window {

class form1;

class model_binding {
 public:
  // The journal, which may be null, is told how the warning is shown over
  // every window.
  model_binding(form1& form, supervision::window_model& model, platform::journal* journal);

  // Brings every control in line with the model, setting only what differs, so
  // that a caret, a selection or an open drop-down is left alone.
  void show_model();

  // From now on the operator's edits reach the model.
  void take_edits();

 private:
  void show_panel();
  void show_selector();
  void bring_up_when_asked();

  form1& form_;
  supervision::window_model& model_;
  std::optional<std::uint32_t> back_color_shown_;
  std::vector<std::string> entries_shown_;
  std::uint64_t raise_requests_shown_;
  bool kept_on_top_shown_;
  warning_overlay overlay_;
};

}  // namespace vrnskdm::window
