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

// A server that has gone, or a bus that cannot be reached, reads as the same event of COM reads on
// Windows: the system's sentence, trimmed as the COM client trims it. The bus's own words stay as
// the failure's reason.
struct LostServer {
    const char* busError;
    std::uint32_t code; // the HRESULT COM gives for the same event
    const char* text;
};
constexpr LostServer kLostServer[] = {
    {"org.freedesktop.DBus.Error.ServiceUnknown", 0x80010108u,
     "The object invoked has disconnected from its clients"},
    {"org.freedesktop.DBus.Error.NameHasNoOwner", 0x80010108u,
     "The object invoked has disconnected from its clients"},
    {"org.freedesktop.DBus.Error.NoReply", 0x800706BEu, "The remote procedure call failed"},
    {"org.freedesktop.DBus.Error.Disconnected", 0x800706BAu, "The RPC server is unavailable"},
    {"org.freedesktop.DBus.Error.NoServer", 0x800706BAu, "The RPC server is unavailable"},
};

[[noreturn]] void throwCallError(const QString& name, const QString& message) {
    for (const LostServer& lost : kLostServer)
        if (name == QLatin1String(lost.busError))
            throw AutomationError(lost.text, lost.code, bytes(name) + ": " + bytes(message));
    throwBusError(name, message);
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
        throwCallError(reply.errorName(), reply.errorMessage());
    default:
        throwCallError(QStringLiteral("org.freedesktop.DBus.Error.NoReply"),
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
