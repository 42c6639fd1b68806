// The one scripted fake automation server of the tests: owns MapInfo.Application on a private bus,
// writes down every statement it is sent, and answers as its script says (see PrivateBus.h). Built
// as a raw message handler so that it can also behave as a server without the method "do".

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QFile>
#include <QThread>
#include <QTimer>

#include <unistd.h>

namespace {

const QString kName = QStringLiteral("MapInfo.Application");

QString folder() {
    return qEnvironmentVariable("VANTERO_FAKE_DIR");
}

void appendLine(const QString& file, const QByteArray& line) {
    QFile out(folder() + QLatin1Char('/') + file);
    if (out.open(QIODevice::Append))
        out.write(line + '\n');
}

struct Rule {
    QByteArray action, match, message;
};

Rule ruleFor(const QByteArray& statement) {
    QFile script(folder() + QStringLiteral("/script"));
    if (script.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : script.readAll().split('\n')) {
            const QList<QByteArray> parts = line.split('\t');
            if (parts.size() < 2 || !statement.contains(parts[1]))
                continue;
            return {parts[0], parts[1], parts.size() > 2 ? parts[2] : QByteArray()};
        }
    }
    return {};
}

class FakeMapInfo : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override {
        return QStringLiteral(
            "<interface name=\"MapInfo.Application\"><method name=\"do\">"
            "<arg name=\"statement\" type=\"s\" direction=\"in\"/></method></interface>");
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.type() != QDBusMessage::MethodCallMessage || message.interface() != kName)
            return false;
        const QByteArray statement = message.arguments()
                                         .value(0)
                                         .toString()
                                         .toUtf8()
                                         .replace('\\', "\\\\")
                                         .replace('\n', "\\n");
        const Rule rule = ruleFor(statement);
        if (message.member() != QLatin1String("do") || rule.action == "nodo") {
            connection.send(message.createErrorReply(
                QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                QStringLiteral("No such method '%1'").arg(message.member())));
            return true;
        }
        appendLine(QStringLiteral("statements"), statement);
        if (rule.action == "exit")
            _exit(3);
        if (rule.action == "sleep")
            QThread::sleep(static_cast<unsigned long>(rule.message.toULong()));
        if (rule.action == "error")
            connection.send(message.createErrorReply(QStringLiteral("MapInfo.Application.Error"),
                                                     QString::fromUtf8(rule.message)));
        else
            connection.send(message.createReply());
        return true;
    }
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    appendLine(QStringLiteral("starts"), QByteArray::number(getpid()));
    QDBusConnection bus = QDBusConnection::sessionBus();
    FakeMapInfo object;
    if (!bus.registerVirtualObject(QStringLiteral("/"), &object) || !bus.registerService(kName))
        return 1;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&bus] {
        if (!bus.isConnected())
            QCoreApplication::quit();
    });
    watch.start(200);
    return app.exec();
}
