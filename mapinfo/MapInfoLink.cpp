#include "mapinfo/MapInfoLink.h"

#include "mapinfo/Statements.h"

#include <exception>

namespace vantero {

void SendCommand(const AutomationVariant& mapInfo, const std::string& statement) {
    mapInfo.Object().CallMethod(kDoMethod, statement);
}

bool ConnectMapInfo(AutomationVariant& mapInfo, AutomationServerFactory& factory,
                    std::uint64_t mainWindow) {
    // Any failure at all, not only automation errors, means there is no usable connection.
    try {
        mapInfo.Assign(factory.CreateObject(kMapInfoProgId));
        SendCommand(mapInfo, SetNextDocumentParentStatement(mainWindow));
        SendCommand(mapInfo, SetApplicationWindowStatement(mainWindow));
        SendCommand(mapInfo, ProgressBarsOffStatement());
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool OpenMapInfoTable(const AutomationVariant& mapInfo, const std::string& path,
                      const std::string& alias) {
    try {
        SendCommand(mapInfo, OpenTableStatement(path, alias));
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace vantero
