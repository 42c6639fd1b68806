#include "mapinfo/dbus/DBusAutomation.h"

#include "mapinfo/AutomationError.h"
#include "mapinfo/ErrorText.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusReply>

#include <limits>

namespace vantero {
namespace {

// libdbus reads INT_MAX as "no timeout": a pack of a large table may take many minutes, and a
// server that dies is answered for by the bus, so the call never waits forever.
constexpr int kNoTimeout = std::numeric_limits<int>::max();

constexpr std::uint32_t kUnknownName = 0x80020006u; // DISP_E_UNKNOWNNAME

std::string bytes(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

[[noreturn]] void throwBusError(const QString& name, const QString& message) {
    throw AutomationError(bytes(name) + ": " + bytes(message));
}

[[noreturn]] void throwBusError(const QDBusError& error) {
    throwBusError(error.name(), error.message());
}

} // namespace

DBusAutomationObject::DBusAutomationObject(QDBusConnection connection, QString ownerName,
                                           QString interfaceName)
    : m_connection(std::move(connection)), m_owner(std::move(ownerName)),
      m_interface(std::move(interfaceName)) {}

void DBusAutomationObject::callMethod(const std::string& method, const std::string& argument) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        m_owner, QString::fromLatin1(kDBusObjectPath), m_interface, QString::fromStdString(method));
    call.setAutoStartService(false);
    // Bytes that are not in the locale's encoding become U+FFFD, so such a path fails to open in
    // the server with an error rather than naming some other file.
    call << QString::fromLocal8Bit(argument.data(), static_cast<qsizetype>(argument.size()));
    const QDBusMessage reply = m_connection.call(call, QDBus::Block, kNoTimeout);
    switch (reply.type()) {
    case QDBusMessage::ReplyMessage:
        return;
    case QDBusMessage::ErrorMessage:
        if (reply.errorName() == QLatin1String(kDBusErrorName))
            throw ServerError(serverErrorText(bytes(reply.errorMessage()), kDispatchException, {}),
                              kDispatchException);
        if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod"))
            throw AutomationError(methodNotSupportedText(method), kUnknownName);
        throwBusError(reply.errorName(), reply.errorMessage());
    default:
        throwBusError(QStringLiteral("org.freedesktop.DBus.Error.Failed"),
                      QStringLiteral("no reply to the call"));
    }
}

DBusAutomationFactory::DBusAutomationFactory(QDBusConnection connection)
    : m_connection(std::move(connection)) {}

std::unique_ptr<AutomationObject> DBusAutomationFactory::createObject(const std::string& progId) {
    if (!m_connection.isConnected())
        throwBusError(m_connection.lastError());
    QDBusConnectionInterface* bus = m_connection.interface();
    const QString name = QString::fromStdString(progId);

    const QDBusReply<bool> registered = bus->isServiceRegistered(name);
    if (!registered.isValid())
        throwBusError(registered.error());
    if (!registered.value()) {
        const QDBusReply<void> started = bus->startService(name);
        if (!started.isValid())
            throwBusError(started.error());
    }
    const QDBusReply<QString> owner = bus->serviceOwner(name);
    if (!owner.isValid())
        throwBusError(owner.error());
    return std::make_unique<DBusAutomationObject>(m_connection, owner.value(), name);
}

} // namespace vantero
