#pragma once

// The one application object: it owns MapInfo's automation object, knows the servers it is created
// from, makes the windows and ends the program.

#include "mapinfo/AutomationObject.h"
#include "mapinfo/AutomationVariant.h"

#include <string>

namespace vantero {

class Application {
public:
    // startFolder, when not empty, is the folder the main window opens on.
    Application(AutomationServerFactory& servers, std::string startFolder)
        : m_servers(servers), m_startFolder(std::move(startFolder)) {}

    // Needs a QApplication. Makes the windows, runs the event loop until termination is
    // requested, then releases MapInfo and destroys the windows. Returns the loop's exit code.
    int run();

private:
    AutomationServerFactory& m_servers;
    std::string m_startFolder;
    AutomationVariant m_mapInfo;
};

} // namespace vantero
