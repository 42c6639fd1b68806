#include "mapinfo/MapInfoLink.h"

#include "base/Failure.h"
#include "mapinfo/Statements.h"

#include <exception>
#include <optional>

namespace vantero {

void sendCommand(const AutomationVariant& mapInfo, const std::string& statement) {
    mapInfo.object().callMethod(kDoMethod, statement);
}

namespace {

// Any failure at all, not only automation errors, means there is no usable connection.
ConnectResult connect(AutomationVariant& mapInfo, AutomationServerFactory& factory,
                      std::optional<std::uint64_t> mainWindow) {
    try {
        mapInfo.assign(factory.createObject(kMapInfoProgId));
        if (mainWindow) {
            sendCommand(mapInfo, setNextDocumentParentStatement(*mainWindow));
            sendCommand(mapInfo, setApplicationWindowStatement(*mainWindow));
        }
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

} // namespace

ConnectResult connectMapInfo(AutomationVariant& mapInfo, AutomationServerFactory& factory,
                             std::uint64_t mainWindow) {
    return connect(mapInfo, factory, mainWindow);
}

ConnectResult connectMapInfoWithoutWindow(AutomationVariant& mapInfo,
                                          AutomationServerFactory& factory) {
    return connect(mapInfo, factory, std::nullopt);
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
