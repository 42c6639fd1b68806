#include "app/ProcessState.h"

#include "mapinfo/AutomationError.h"

#include <QCoreApplication>

namespace vantero {

AutomationVariant MapInfoApp;
bool StopRequested = false;

namespace {
AutomationServerFactory* servers = nullptr;
bool terminating = false;
} // namespace

AutomationServerFactory& AutomationServers() {
    if (servers == nullptr)
        throw AutomationError("No automation servers are available");
    return *servers;
}

void SetAutomationServers(AutomationServerFactory* factory) {
    servers = factory;
}

void RequestTermination() {
    terminating = true;
    // exit() ends every event loop of the thread, so a modal dialog's exec() returns as well and
    // the main loop does not wait for it.
    QCoreApplication::exit(0);
}

bool TerminationRequested() {
    return terminating;
}

void ResetProcessState() {
    terminating = false;
    StopRequested = false;
}

} // namespace vantero
