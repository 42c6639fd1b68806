#pragma once

// The automation link on Linux: the session bus in place of COM. The server is found under the
// well-known name and then addressed by the unique name of its owner, so that a server that went
// away is never started again behind the program's back: every later call fails instead.

#include "mapinfo/AutomationObject.h"

#include <QDBusConnection>
#include <QString>

namespace vantero {

inline constexpr const char* kDBusObjectPath = "/";
inline constexpr const char* kDBusErrorName = "MapInfo.Application.Error";

class DBusAutomationObject : public AutomationObject {
public:
    DBusAutomationObject(QDBusConnection connection, QString ownerName, QString interfaceName);
    void callMethod(const std::string& method, const std::string& argument) override;
    const QString& ownerName() const { return m_owner; }

private:
    QDBusConnection m_connection;
    QString m_owner;
    QString m_interface;
};

class DBusAutomationFactory : public AutomationServerFactory {
public:
    explicit DBusAutomationFactory(QDBusConnection connection);
    // The progId is the bus name and the interface: started by bus activation unless it is owned.
    std::unique_ptr<AutomationObject> createObject(const std::string& progId) override;

private:
    QDBusConnection m_connection;
};

} // namespace vantero
