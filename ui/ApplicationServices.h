#pragma once

// What the windows need from the application object that owns them: MapInfo's automation object
// (empty until the splash window connects), the servers it is created from, and the way to end
// the program.

#include "mapinfo/AutomationObject.h"
#include "mapinfo/AutomationVariant.h"

#include <functional>

namespace vantero {

struct ApplicationServices {
    AutomationVariant& mapInfo;
    AutomationServerFactory& servers;
    // Ends the main event loop and every modal loop nested in it.
    std::function<void()> requestTermination;
};

} // namespace vantero
