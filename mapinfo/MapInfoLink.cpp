#include "mapinfo/MapInfoLink.h"

#include "base/Failure.h"
#include "mapinfo/Statements.h"

#include <exception>

namespace vantero {

void sendCommand(const AutomationVariant& mapInfo, const std::string& statement) {
    mapInfo.object().callMethod(kDoMethod, statement);
}

ConnectResult connectMapInfo(AutomationVariant& mapInfo, AutomationServerFactory& factory,
                             std::uint64_t mainWindow) {
    // Any failure at all, not only automation errors, means there is no usable connection.
    try {
        mapInfo.assign(factory.createObject(kMapInfoProgId));
        sendCommand(mapInfo, setNextDocumentParentStatement(mainWindow));
        sendCommand(mapInfo, setApplicationWindowStatement(mainWindow));
        sendCommand(mapInfo, progressBarsOffStatement());
        return {true, {}};
    } catch (const Failure& failure) {
        return {false, failure.reason().empty()
                           ? std::string(failure.what())
                           : std::string(failure.what()) + " (" + failure.reason() + ")"};
    } catch (const std::exception& error) {
        return {false, error.what()};
    }
}

bool openMapInfoTable(const AutomationVariant& mapInfo, const std::string& path,
                      const std::string& alias) {
    try {
        sendCommand(mapInfo, openTableStatement(path, alias));
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace vantero
