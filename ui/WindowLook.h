#pragma once

// What every window of the program shares in its look: the font the layouts were made for, and
// the place on the screen where the windows open.

class QWidget;

namespace vantero {

// MS Sans Serif at an 11-pixel character height; where the font is missing, Qt's substitute keeps
// that height, so the fixed layouts still fit.
void applyWindowFont(QWidget* window);

// Moves the window to the middle of the available area of its screen (the primary one when it has
// none yet).
void centreOnScreen(QWidget* window);

} // namespace vantero
