#include "window_model.h"

#include <algorithm>

namespace vrnskdm::supervision {

bool check_box_control::set_value(int value) {
  if (value < 0 || value > 2) return false;
  value_ = static_cast<std::int16_t>(value);
  return true;
}

void check_box_control::click() { value_ = value_ == 1 ? 0 : 1; }

void combo_box_control::add_item(std::string label) { items_.push_back(std::move(label)); }

bool combo_box_control::set_list_index(int index) {
  if (index < -1 || index >= static_cast<int>(items_.size())) return false;
  list_index_ = index;
  text_ = index < 0 ? std::string{} : items_[static_cast<std::size_t>(index)];
  return true;
}

void combo_box_control::type_text(std::string text) {
  text_ = std::move(text);
  const auto match = std::find(items_.begin(), items_.end(), text_);
  list_index_ = match == items_.end() ? -1 : static_cast<int>(match - items_.begin());
}

void timer_control::set_enabled(bool on) {
  if (on && !enabled_) ++epoch_;
  enabled_ = on;
}

void timer_control::set_interval(int milliseconds) {
  interval_ = milliseconds;
  if (enabled_) ++epoch_;
}

}  // namespace vrnskdm::supervision
