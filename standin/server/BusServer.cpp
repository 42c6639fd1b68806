#include "standin/server/BusServer.h"

#include <QDBusMessage>
#include <QFile>

#include <exception>

namespace vantero::standin {

namespace {
const QString kInterface = QString::fromLatin1(kServiceName);
} // namespace

BusServer::BusServer(QDBusConnection connection) : connection_(std::move(connection)) {
    callers_.setConnection(connection_);
    callers_.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(&callers_, &QDBusServiceWatcher::serviceUnregistered, this, &BusServer::CallerLeft);
    // The bus itself going away leaves no one to serve.
    connect(&busCheck_, &QTimer::timeout, this, [this] {
        if (!connection_.isConnected())
            emit Finished();
    });
    busCheck_.start(1000);
}

bool BusServer::Start(QString& reason) {
    if (!connection_.isConnected()) {
        reason =
            QStringLiteral("cannot reach the session bus: ") + connection_.lastError().message();
        return false;
    }
    if (!connection_.registerVirtualObject(QStringLiteral("/"), this)) {
        reason = QStringLiteral("cannot register the object /");
        return false;
    }
    if (!connection_.registerService(kInterface)) {
        reason = kInterface + QStringLiteral(" is already owned on this bus");
        return false;
    }
    return true;
}

QString BusServer::introspect(const QString&) const {
    return QStringLiteral("<interface name=\"%1\"><method name=\"do\">"
                          "<arg name=\"statement\" type=\"s\" direction=\"in\"/>"
                          "</method></interface>")
        .arg(kInterface);
}

bool BusServer::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    if (message.type() != QDBusMessage::MethodCallMessage ||
        (!message.interface().isEmpty() && message.interface() != kInterface))
        return false;
    if (message.member() != QLatin1String("do") || message.signature() != QLatin1String("s")) {
        connection.send(message.createErrorReply(
            QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
            QStringLiteral("No method %1 with signature \"%2\" on interface %3")
                .arg(message.member(), message.signature(), kInterface)));
        return true;
    }
    const QString caller = message.service();
    if (!caller.isEmpty() && !callers_.watchedServices().contains(caller))
        callers_.addWatchedService(caller);

    // Paths travel as UTF-8 on the bus; the files are named in the locale's encoding.
    const QByteArray statement = QFile::encodeName(message.arguments().value(0).toString());
    QString failure;
    try {
        session_.Run(std::string_view(statement.constData(), statement.size()));
    } catch (const std::exception& e) {
        failure = QFile::decodeName(e.what());
        if (failure.isEmpty())
            failure = QStringLiteral("The statement failed: ") + QFile::decodeName(statement);
    }
    connection.send(failure.isNull()
                        ? message.createReply()
                        : message.createErrorReply(QString::fromLatin1(kErrorName), failure));
    return true;
}

void BusServer::CallerLeft(const QString& name) {
    callers_.removeWatchedService(name);
    if (callers_.watchedServices().isEmpty())
        emit Finished();
}

} // namespace vantero::standin
