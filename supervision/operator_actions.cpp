#include "operator_actions.h"

#include <optional>

#include "platform/text.h"
#include "start_up.h"

namespace vrnskdm::supervision {

void on_save(supervisor& s) {
  supervisor_state& state = s.state;
  window_model& window = s.window;

  state.companion_dir = window.path.text;
  name_folders_in_journal(s.platform, state);
  state.reboot_on_lock = window.reboot.value();
  state.reboot_each = window.reboot24.value();

  const saved result = write_settings(state, s.platform.fs);
  window.save.caption = result == saved::no ? not_saved_caption : save_caption;
  if (result == saved::not_on_disk) {
    warn_administrator(s.platform, platform::event::settings_not_on_disk,
                       "the settings were saved in " + settings_path(state.base_dir) +
                           ", but may not be on the disk yet: a power cut now may "
                           "bring back the old settings");
  }
}

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

saved write_settings(const supervisor_state& state, platform::files& fs) {
  // A line break in the folder (pasted along with it, say) would split its line
  // and shift every setting after it one line down.
  if (state.companion_dir.find_first_of("\r\n") != std::string::npos) return saved::no;
  const std::optional<std::string> settings = fs.file_behind(settings_path(state.base_dir));
  if (!settings) return saved::no;
  fs.remove_drafts(*settings);
  const platform::file_handle handle = fs.free_handle();
  // Only a draft this save made is ever deleted: a file at any other name may
  // be somebody else's.
  const std::optional<std::string> draft = fs.open_draft(handle, *settings);
  if (!draft) return saved::no;
  bool written = fs.write_line(handle, "telvnor_path=" + state.companion_dir) &&
                 fs.write_line(handle, "Reboot=" + platform::number_text(state.reboot_on_lock)) &&
                 fs.write_line(handle, "Reboot24=" + platform::number_text(state.reboot_each)) &&
                 fs.write_line(handle, "Reboot24_v=" + platform::number_text(state.period_index)) &&
                 fs.sync_file(handle);
  written = fs.close_file(handle) && written;
  if (!written || !fs.replace_file(*draft, *settings)) {
    fs.delete_file(*draft);
    return saved::no;
  }
  return fs.flush_to_disk(*settings) ? saved::on_disk : saved::not_on_disk;
}

}  // namespace vrnskdm::supervision
