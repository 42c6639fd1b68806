#pragma once

// The stand-in on the bus: the object "/" with the method "do" of interface MapInfo.Application,
// answering each statement with an empty reply or a MapInfo.Application.Error carrying the
// message. It ends the program once every caller it has served has left the bus, as an automation
// server ends when its last reference is released, but only after a grace time: a person calling
// it by hand with gdbus is a new caller for each statement, and the tables opened by one call must
// still be open for the next. A statement that is running always finishes first, since the bus is
// read only between statements.

#include "standin/server/StandinSession.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QDBusVirtualObject>
#include <QTimer>

namespace vantero::standin {

inline constexpr char kServiceName[] = "MapInfo.Application";
inline constexpr char kErrorName[] = "MapInfo.Application.Error";

class BusServer : public QDBusVirtualObject {
    Q_OBJECT
public:
    // lingerMs: how long the server waits after its last caller has left before it ends.
    explicit BusServer(QDBusConnection connection, int lingerMs = kLingerMs);
    static constexpr int kLingerMs = 10000;

    // Registers "/" and takes the name; false, with the reason, when either is refused.
    bool start(QString& reason);

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

signals:
    void finished(); // no caller is left, or the bus has gone

private:
    void callerLeft(const QString& name);

    QDBusConnection m_connection;
    QDBusServiceWatcher m_callers;
    QTimer m_busCheck;
    QTimer m_linger;
    StandinSession m_session;
};

} // namespace vantero::standin
