#pragma once

#include <QFont>

namespace vrnskdm::window {

// Sizes in points of the window's font and of the warning text.
inline constexpr double design_points = 8;
inline constexpr double warning_points = 9.75;

// The font the window was designed with, "MS Sans Serif", at the size given.
// Where that font is not installed a sans serif of the same proportions stands
// in, so that the texts fill their controls as designed.
QFont design_font(double points);

}  // namespace vrnskdm::window
