#pragma once

// The state the whole process shares, valid from start-up to exit.

#include "mapinfo/AutomationObject.h"
#include "mapinfo/AutomationVariant.h"

namespace vantero {

// Captions the main window, every plain message box and the error box.
inline constexpr const char* kApplicationTitle = "Vantero";

// The automation object of MapInfo Professional: empty until the connection, cleared at exit.
extern AutomationVariant MapInfoApp;

// Set by the message window's Stop button; the pack run reads it between tables.
extern bool StopRequested;

// Where the connection creates MapInfoApp from: COM on Windows, the session bus on Linux. Set by
// the program's entry before any window exists.
AutomationServerFactory& AutomationServers();
void SetAutomationServers(AutomationServerFactory* factory);

// Ends the main message loop and every modal loop nested in it. Safe to call more than once.
void RequestTermination();
bool TerminationRequested();

// Back to the state of a fresh process: nothing requested, no stop. For the start of a run.
void ResetProcessState();

} // namespace vantero
