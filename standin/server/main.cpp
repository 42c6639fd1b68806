// mapinfo-standin: MapInfo Professional's automation server as far as Vantero needs it, for the
// systems that have no MapInfo. The session bus starts it on the first call to
// MapInfo.Application; it shows no window.

#include "standin/server/BusServer.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {

// Under bus activation the bus that started the program is the one to serve; run by hand, it is
// the session bus.
QDBusConnection servedBus() {
    const QByteArray starter = qgetenv("DBUS_STARTER_ADDRESS");
    if (!starter.isEmpty())
        return QDBusConnection::connectToBus(QString::fromUtf8(starter),
                                             QStringLiteral("mapinfo-standin-starter"));
    return QDBusConnection::sessionBus();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("mapinfo-standin"));
    // The grace time after the last caller has left; tests that watch the server end shorten it.
    bool given = false;
    const int lingerMs = qEnvironmentVariableIntValue("VANTERO_STANDIN_LINGER_MS", &given);
    vantero::standin::BusServer server(servedBus(),
                                       given ? lingerMs : vantero::standin::BusServer::kLingerMs);
    QString reason;
    if (!server.start(reason)) {
        QTextStream(stderr) << "mapinfo-standin: " << reason << '\n';
        return 1;
    }
    QObject::connect(&server, &vantero::standin::BusServer::finished, &app,
                     &QCoreApplication::quit);
    return app.exec();
}
