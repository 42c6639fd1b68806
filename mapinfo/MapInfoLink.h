#pragma once

// The program's whole boundary with MapInfo Professional: the one way a statement is sent, the
// connection made at start-up, and the opening of a table.

#include "mapinfo/AutomationObject.h"
#include "mapinfo/AutomationVariant.h"

#include <cstdint>
#include <string>

namespace vantero {

inline constexpr const char* kMapInfoProgId = "MapInfo.Application";
inline constexpr const char* kDoMethod = "do";

// Runs one statement: the method "do" with the statement as its one argument. Returns when MapInfo
// has finished it; throws ServerError when MapInfo refused it, AutomationError for anything else.
void sendCommand(const AutomationVariant& mapInfo, const std::string& statement);

// How a connection went: connected, or the first failure's text, for the log; the user is told
// the program's own message, whatever failed.
struct ConnectResult {
    bool connected = false;
    std::string failure;
};

// Creates the automation object into mapInfo and sends the three set-up statements with the main
// window's handle, stopping at the first failure; an object that was created stays in mapInfo
// even when a statement failed.
ConnectResult connectMapInfo(AutomationVariant& mapInfo, AutomationServerFactory& factory,
                             std::uint64_t mainWindow);

// The same for a program without a window: the object and "set progressbars off" only.
ConnectResult connectMapInfoWithoutWindow(AutomationVariant& mapInfo,
                                          AutomationServerFactory& factory);

// Sends the open statement; false, never an exception, when it fails.
bool openMapInfoTable(const AutomationVariant& mapInfo, const std::string& path,
                      const std::string& alias);

} // namespace vantero
