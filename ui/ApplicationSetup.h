#pragma once

// Who the program is to the desktop, set once at start-up: its name and version, its menu entry
// and its icon. No display name is set, so the window system shows each caption exactly as the
// window gives it ("Messages", not "Messages — Vantero"). And it keeps no settings: Qt's file
// dialog would otherwise write its history to the user's configuration.

namespace vantero {

// Needs the QApplication.
void setUpApplication();

} // namespace vantero
