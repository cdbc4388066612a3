#include "on_period_validate.h"

#include "period_table.h"

namespace vrnskdm::supervision {

void on_period_validate(supervisor& s) {
  combo_box_control& selector = s.window.reboot_time;
  // An index of -1 would name no period, and every later tick would fail to look
  // its hours up.
  if (is_period_row(selector.list_index())) {
    s.state.period_index = static_cast<std::int16_t>(selector.list_index());
  } else {
    selector.set_list_index(s.state.period_index);
  }
}

}  // namespace vrnskdm::supervision
