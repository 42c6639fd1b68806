#pragma once

// The program from start to end, with the automation servers it is to reach MapInfo through.

#include "mapinfo/AutomationObject.h"

namespace vantero {

// Needs a QApplication. Creates the windows, runs the message loop until termination is requested,
// then releases MapInfo and destroys the windows. Returns the loop's exit code.
int RunVantero(AutomationServerFactory& servers);

} // namespace vantero
