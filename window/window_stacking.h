#pragma once

class QWidget;

namespace vrnskdm::window {

// Where the window comes among the others on the screen. Each kind of display
// decides that for itself, and lets a program ask for different things.

// Restores the window when minimized, shows it and brings it over the others.
// On X11 the window is raised and given the keyboard. A Wayland client can do
// neither (raising does nothing, and activating needs a token from a program
// the user is using), but a window hidden and shown again is a new window to
// the compositor, which puts it on top: GNOME's mutter, KWin, weston and most
// others do, sway does not over a window that fills the screen.
void bring_up(QWidget& window);

// Keeps the window over the other windows (the "above" state of X11's window
// managers, also over a window that fills the screen in most of them), or gives
// it back its ordinary place. Wayland has no such request: there it changes
// nothing.
void keep_on_top(QWidget& window, bool on);

}  // namespace vrnskdm::window
