#include "tests/support/PrivateBus.h"

#include <QProcess>

#include <atomic>
#include <csignal>
#include <fstream>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/stat.h>

namespace vantero::test {

QDBusConnection PrivateBus::connect(const char* purpose) const {
    static std::atomic<int> serial{0};
    return QDBusConnection::connectToBus(
        QString::fromStdString(m_address),
        QStringLiteral("%1-%2").arg(QString::fromLatin1(purpose)).arg(++serial));
}

PrivateBus::PrivateBus(const std::vector<BusService>& services)
    : m_daemon(std::make_unique<QProcess>()) {
    const std::string serviceFolder = m_folder.file("services");
    m_serverFolder = m_folder.file("server");
    mkdir(serviceFolder.c_str(), 0700);
    mkdir(m_serverFolder.c_str(), 0700);
    for (const BusService& service : services)
        writeBytes(serviceFolder + "/" + service.name + ".service",
                   "[D-BUS Service]\nName=" + service.name + "\nExec=" + service.executable + "\n");
    const std::string config = m_folder.file("bus.conf");
    m_address = "unix:path=" + m_folder.file("bus");
    writeBytes(config, "<busconfig><type>session</type><listen>" + m_address +
                           "</listen><servicedir>" + serviceFolder +
                           "</servicedir><policy context=\"default\">"
                           "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                           "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
    // The servers the daemon starts find it through the session address in their environment, as
    // they do on a desktop.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VANTERO_FAKE_DIR"), QString::fromStdString(m_serverFolder));
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       QString::fromStdString(m_address));
    m_daemon->setProcessEnvironment(environment);
    m_daemon->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The daemon goes when the test process does, also when a test crashes.
    m_daemon->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_daemon->start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--config-file=") + QString::fromStdString(config),
                     QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                     QStringLiteral("--print-address=1")});
    // It prints its address once it listens.
    while (!m_daemon->canReadLine())
        if (!m_daemon->waitForReadyRead(10000))
            throw std::runtime_error("dbus-daemon could not start");
}

PrivateBus::~PrivateBus() {
    m_daemon->terminate();
    m_daemon->waitForFinished();
}

std::vector<std::string> FakeServerFolder::lines(const char* name) const {
    std::vector<std::string> lines;
    std::ifstream in(m_folder + "/" + name, std::ios::binary);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace vantero::test
