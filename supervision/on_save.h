#pragma once

#include "supervisor.h"

namespace vrnskdm::supervision {

// The save button: takes the companion folder as typed and the two check boxes
// into the state and writes the settings file. Starts no new period and touches
// neither the marker nor the log. A file that cannot be written leaves the old
// one on disk and the button saying so until a save succeeds; the program goes
// on either way. When it returns after a success, the file is on the disk.
void on_save(supervisor& s);

}  // namespace vrnskdm::supervision
