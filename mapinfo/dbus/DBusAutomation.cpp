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

std::string Bytes(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

[[noreturn]] void ThrowBusError(const QString& name, const QString& message) {
    throw AutomationError(Bytes(name) + ": " + Bytes(message));
}

[[noreturn]] void ThrowBusError(const QDBusError& error) {
    ThrowBusError(error.name(), error.message());
}

} // namespace

DBusAutomationObject::DBusAutomationObject(QDBusConnection connection, QString ownerName,
                                           QString interfaceName)
    : connection_(std::move(connection)), owner_(std::move(ownerName)),
      interface_(std::move(interfaceName)) {}

void DBusAutomationObject::CallMethod(const std::string& method, const std::string& argument) {
    QDBusMessage call = QDBusMessage::createMethodCall(owner_, QString::fromLatin1(kDBusObjectPath),
                                                       interface_, QString::fromStdString(method));
    call.setAutoStartService(false);
    // Bytes that are not in the locale's encoding become U+FFFD, so such a path fails to open in
    // the server with an error rather than naming some other file.
    call << QString::fromLocal8Bit(argument.data(), static_cast<qsizetype>(argument.size()));
    const QDBusMessage reply = connection_.call(call, QDBus::Block, kNoTimeout);
    switch (reply.type()) {
    case QDBusMessage::ReplyMessage:
        return;
    case QDBusMessage::ErrorMessage:
        if (reply.errorName() == QLatin1String(kDBusErrorName))
            throw ServerError(ServerErrorText(Bytes(reply.errorMessage()), kDispatchException, {}),
                              kDispatchException);
        if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod"))
            throw AutomationError(MethodNotSupportedText(method), kUnknownName);
        ThrowBusError(reply.errorName(), reply.errorMessage());
    default:
        ThrowBusError(QStringLiteral("org.freedesktop.DBus.Error.Failed"),
                      QStringLiteral("no reply to the call"));
    }
}

DBusAutomationFactory::DBusAutomationFactory(QDBusConnection connection)
    : connection_(std::move(connection)) {}

std::unique_ptr<AutomationObject> DBusAutomationFactory::CreateObject(const std::string& progId) {
    if (!connection_.isConnected())
        ThrowBusError(connection_.lastError());
    QDBusConnectionInterface* bus = connection_.interface();
    const QString name = QString::fromStdString(progId);

    const QDBusReply<bool> registered = bus->isServiceRegistered(name);
    if (!registered.isValid())
        ThrowBusError(registered.error());
    if (!registered.value()) {
        const QDBusReply<void> started = bus->startService(name);
        if (!started.isValid())
            ThrowBusError(started.error());
    }
    const QDBusReply<QString> owner = bus->serviceOwner(name);
    if (!owner.isValid())
        ThrowBusError(owner.error());
    return std::make_unique<DBusAutomationObject>(connection_, owner.value(), name);
}

} // namespace vantero
