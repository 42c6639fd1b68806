#pragma once

// The one application object: it owns MapInfo's automation object, knows the servers it is created
// from, makes the windows and ends the program.

#include "mapinfo/AutomationObject.h"
#include "mapinfo/AutomationVariant.h"

namespace vantero {

class Application {
public:
    explicit Application(AutomationServerFactory& servers) : m_servers(servers) {}

    // Needs a QApplication. Makes the windows, runs the event loop until termination is
    // requested, then releases MapInfo and destroys the windows. Returns the loop's exit code.
    int run();

private:
    AutomationServerFactory& m_servers;
    AutomationVariant m_mapInfo;
};

} // namespace vantero
