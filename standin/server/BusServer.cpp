#include "standin/server/BusServer.h"

#include <QDBusMessage>
#include <QFile>

#include <exception>

namespace vantero::standin {

namespace {
const QString kInterface = QString::fromLatin1(kServiceName);
} // namespace

BusServer::BusServer(QDBusConnection connection, int lingerMs)
    : m_connection(std::move(connection)) {
    m_linger.setSingleShot(true);
    m_linger.setInterval(lingerMs);
    connect(&m_linger, &QTimer::timeout, this, &BusServer::finished);
    m_callers.setConnection(m_connection);
    m_callers.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(&m_callers, &QDBusServiceWatcher::serviceUnregistered, this, &BusServer::callerLeft);
    // The bus itself going away leaves no one to serve.
    connect(&m_busCheck, &QTimer::timeout, this, [this] {
        if (!m_connection.isConnected())
            emit finished();
    });
    m_busCheck.start(1000);
}

bool BusServer::start(QString& reason) {
    if (!m_connection.isConnected()) {
        reason =
            QStringLiteral("cannot reach the session bus: ") + m_connection.lastError().message();
        return false;
    }
    if (!m_connection.registerVirtualObject(QStringLiteral("/"), this)) {
        reason = QStringLiteral("cannot register the object /");
        return false;
    }
    if (!m_connection.registerService(kInterface)) {
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
    if (!caller.isEmpty() && !m_callers.watchedServices().contains(caller))
        m_callers.addWatchedService(caller);
    m_linger.stop();

    // Paths travel as UTF-8 on the bus; the files are named in the locale's encoding.
    const QByteArray statement = QFile::encodeName(message.arguments().value(0).toString());
    QString failure;
    try {
        m_session.run(std::string_view(statement.constData(), statement.size()));
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

void BusServer::callerLeft(const QString& name) {
    m_callers.removeWatchedService(name);
    if (m_callers.watchedServices().isEmpty())
        m_linger.start();
}

} // namespace vantero::standin
