#pragma once

// What the operator's actions do: SAVE writes the settings file, and the period
// chosen in the selector counts once the focus moves on. The check boxes act
// through the window model alone: the ticks read them.

#include <string>

#include "platform/files.h"
#include "supervisor.h"

namespace vrnskdm::supervision {

// The save button: takes the companion folder as typed and the two check boxes
// into the state and writes the settings file. Starts no new period and touches
// neither the marker nor the log. A file that cannot be written leaves the old
// one on disk and the button saying so until a save succeeds; the program goes
// on either way. A file in place that may not be on the disk yet is saved, and
// the administrator is told.
void on_save(supervisor& s);

// The period selector giving up the focus to another control of the window: its
// entry becomes the period from the next tick on, counted from the start of the
// current one. Typed text that names no entry changes nothing, and the selector
// shows the period in use again.
void on_period_validate(supervisor& s);

enum class saved {
  no,           // the old file is untouched, and the fresh one removed as far as possible
  not_on_disk,  // the new file is in place, but a crash may yet bring back the old one
  on_disk,
};

// Writes the four settings lines from state (the format is in start_up.h). The
// lines go to a fresh file beside the settings file, under a name of its own,
// which is brought onto the disk and then put in its place in one step, so that
// a crash or a full disk leaves either the old file or the whole new one, never
// part of one; a restart may follow at any moment. A settings file that is a
// symbolic link stays one: the file it points to is replaced, keeping its
// permissions. A folder with a line break in it is never written. Drafts that
// an earlier save cut short left there are removed first.
saved write_settings(const supervisor_state& state, platform::files& fs);

}  // namespace vrnskdm::supervision
