#pragma once

#include <string_view>

#include "controls.h"

namespace vrnskdm::supervision {

// Colours of the flashing warning panel, 0x00BBGGRR.
inline constexpr std::uint32_t warning_red = 0x000101FF;
inline constexpr std::uint32_t warning_green = 0x0001FF00;

// Captions of the save button: its design text, and what it says while the last
// save did not reach the disk.
inline constexpr std::string_view save_caption = "SAVE";
inline constexpr std::string_view not_saved_caption = "UNSAVED";

// The controls of the window Form1 that the logic reads and writes, in their
// design state until the start-up sets them.
struct window_model {
  label_control checking{"Checking"};
  label_control deleteme{""};
  panel_control sfondo;
  label_control warning{"Label2"};
  text_box_control path{"Text1"};
  check_box_control reboot{1};
  check_box_control reboot24{0};
  combo_box_control reboot_time;
  button_control save{std::string{save_caption}};
  timer_control timer1;
  timer_control timer2;
  form_control form;
};

}  // namespace vrnskdm::supervision
