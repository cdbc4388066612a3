#pragma once

// The window's controls as plain values, with the rules the real controls
// keep: the handlers read and write these, and the window shows them.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vrnskdm::supervision {

struct label_control {
  std::string caption;
  bool enabled = true;
};

struct panel_control {
  bool visible = true;
  bool enabled = true;
  // 0x00BBGGRR; nothing means the system's window background.
  std::optional<std::uint32_t> back_color;
};

struct text_box_control {
  std::string text;
};

struct button_control {
  std::string caption;
};

// 0 unchecked, 1 checked, 2 grayed.
class check_box_control {
 public:
  explicit check_box_control(std::int16_t design_value) : value_{design_value} {}

  std::int16_t value() const { return value_; }

  // Takes 0, 1 or 2; refuses any other value and keeps the old one.
  bool set_value(int value);

  // The operator's click toggles between checked and unchecked; a grayed box
  // becomes checked. Grayed only ever comes from the settings file.
  void click();

 private:
  std::int16_t value_;
};

// A drop-down list with an editable text field.
class combo_box_control {
 public:
  void add_item(std::string label);
  const std::vector<std::string>& items() const { return items_; }

  // -1 when nothing is selected.
  int list_index() const { return list_index_; }

  // Takes -1 up to the last entry and shows that entry's text; refuses any other
  // value and keeps the old one.
  bool set_list_index(int index);

  const std::string& text() const { return text_; }

  // The operator's typing: the entry with exactly that label becomes selected,
  // and none when no label matches.
  void type_text(std::string text);

 private:
  std::vector<std::string> items_;
  int list_index_ = -1;
  std::string text_;
};

// A timer ticks every interval milliseconds while it is enabled and the interval
// is above 0; its first tick comes one whole interval after it is switched on.
// Switching it on while it is on leaves its schedule alone; setting the interval
// while it is on starts the next period from that moment. schedule_epoch changes
// exactly when the schedule starts afresh, so that whoever runs the timer can
// tell.
class timer_control {
 public:
  bool enabled() const { return enabled_; }
  int interval() const { return interval_; }
  std::uint64_t schedule_epoch() const { return epoch_; }

  void set_enabled(bool on);
  void set_interval(int milliseconds);

 private:
  bool enabled_ = false;
  int interval_ = 0;
  std::uint64_t epoch_ = 0;
};

// The window itself, as far as the handlers touch it.
class form_control {
 public:
  // Asks for the window to be restored when minimized, shown and raised.
  void restore_and_show() { ++raise_requests_; }
  std::uint64_t raise_requests() const { return raise_requests_; }

  // Whether the window stays over the other windows, as far as the platform
  // lets a program ask for it, or takes its ordinary place among them.
  void keep_on_top(bool on) { kept_on_top_ = on; }
  bool kept_on_top() const { return kept_on_top_; }

 private:
  std::uint64_t raise_requests_ = 0;
  bool kept_on_top_ = false;
};

// Colours of the flashing warning panel, 0x00BBGGRR.
inline constexpr std::uint32_t warning_red = 0x000101FF;
inline constexpr std::uint32_t warning_green = 0x0001FF00;

// The controls' texts and states as the window was designed, before the
// start-up sets them; the window draws its controls with them.
inline constexpr std::string_view checking_design_text = "Checking";
inline constexpr std::string_view warning_design_text = "Label2";
inline constexpr std::string_view path_design_text = "Text1";
inline constexpr std::int16_t reboot_design_value = 1;
inline constexpr std::int16_t reboot24_design_value = 0;

// Captions of the save button: its design text, and what it says while the last
// save did not reach the disk.
inline constexpr std::string_view save_caption = "SAVE";
inline constexpr std::string_view not_saved_caption = "UNSAVED";

// The controls of the window Form1 that the logic reads and writes, in their
// design state until the start-up sets them.
struct window_model {
  label_control checking{std::string{checking_design_text}};
  label_control deleteme{""};
  panel_control sfondo;
  label_control warning{std::string{warning_design_text}};
  text_box_control path{std::string{path_design_text}};
  check_box_control reboot{reboot_design_value};
  check_box_control reboot24{reboot24_design_value};
  combo_box_control reboot_time;
  button_control save{std::string{save_caption}};
  timer_control timer1;
  timer_control timer2;
  form_control form;
};

}  // namespace vrnskdm::supervision
