#include "on_save.h"

#include "settings_file.h"

namespace vrnskdm::supervision {

void on_save(supervisor& s) {
  supervisor_state& state = s.state;
  window_model& window = s.window;

  state.companion_dir = window.path.text;
  state.reboot_on_lock = window.reboot.value();
  state.reboot_each = window.reboot24.value();

  const bool saved = write_settings(state, s.platform.fs);
  window.save.caption = saved ? save_caption : not_saved_caption;
}

}  // namespace vrnskdm::supervision
