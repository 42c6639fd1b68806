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
void SendCommand(const AutomationVariant& mapInfo, const std::string& statement);

// Creates the automation object into mapInfo and sends the three set-up statements with the main
// window's handle. False at the first failure, which is not reported here; an object that was
// created stays in mapInfo even when a statement failed.
bool ConnectMapInfo(AutomationVariant& mapInfo, AutomationServerFactory& factory,
                    std::uint64_t mainWindow);

// Sends the open statement; false, never an exception, when it fails.
bool OpenMapInfoTable(const AutomationVariant& mapInfo, const std::string& path,
                      const std::string& alias);

} // namespace vantero
