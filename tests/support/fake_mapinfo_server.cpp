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
const QString kFolder = qEnvironmentVariable("VANTERO_FAKE_DIR") + QLatin1Char('/');

void appendLine(const char* file, const QByteArray& line) {
    QFile out(kFolder + QLatin1String(file));
    if (out.open(QIODevice::Append))
        out.write(line + '\n');
}

// The action and message of the first script line whose substring occurs in the statement.
std::pair<QByteArray, QByteArray> ruleFor(const QByteArray& statement) {
    QFile script(kFolder + QLatin1String("script"));
    if (script.open(QIODevice::ReadOnly))
        for (const QByteArray& line : script.readAll().split('\n')) {
            const QList<QByteArray> parts = line.split('\t');
            if (parts.size() >= 2 && statement.contains(parts[1]))
                return {parts[0], parts.value(2)};
        }
    return {};
}

class FakeMapInfo : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; } // callers never ask
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.type() != QDBusMessage::MethodCallMessage || message.interface() != kName)
            return false;
        QByteArray statement = message.arguments().value(0).toString().toUtf8();
        statement.replace('\\', "\\\\").replace('\n', "\\n"); // one statement a line
        const auto [action, text] = ruleFor(statement);
        if (message.member() != QLatin1String("do") || action == "nodo") {
            connection.send(message.createErrorReply(
                QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                QStringLiteral("No such method '%1'").arg(message.member())));
            return true;
        }
        appendLine("statements", statement);
        if (action == "exit")
            _exit(3);
        if (action == "sleep")
            QThread::sleep(text.toULong());
        connection.send(action == "error"
                            ? message.createErrorReply(QStringLiteral("MapInfo.Application.Error"),
                                                       QString::fromUtf8(text))
                            : message.createReply());
        return true;
    }
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    appendLine("starts", QByteArray::number(getpid()));
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
