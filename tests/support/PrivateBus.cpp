#include "tests/support/PrivateBus.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vantero::test {

QDBusConnection PrivateBus::connect(const char* purpose) const {
    static std::atomic<int> serial{0};
    return QDBusConnection::connectToBus(
        QString::fromStdString(m_address),
        QStringLiteral("%1-%2").arg(QString::fromLatin1(purpose)).arg(++serial));
}

namespace {

std::string busConfig(const std::string& socketPath, const std::string& serviceFolder) {
    return "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig>\n"
           "  <type>session</type>\n"
           "  <listen>unix:path=" +
           socketPath +
           "</listen>\n"
           "  <servicedir>" +
           serviceFolder +
           "</servicedir>\n"
           "  <policy context=\"default\">\n"
           "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
           "    <allow eavesdrop=\"true\"/>\n"
           "    <allow own=\"*\"/>\n"
           "  </policy>\n"
           "</busconfig>\n";
}

std::vector<std::string> Lines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace

PrivateBus::PrivateBus(const std::vector<BusService>& services) {
    const std::string serviceFolder = m_folder.file("services");
    m_serverFolder = m_folder.file("server");
    mkdir(serviceFolder.c_str(), 0700);
    mkdir(m_serverFolder.c_str(), 0700);
    for (const BusService& service : services)
        writeBytes(serviceFolder + "/" + service.name + ".service",
                   "[D-BUS Service]\nName=" + service.name + "\nExec=" + service.executable + "\n");
    const std::string config = m_folder.file("bus.conf");
    const std::string socket = m_folder.file("bus");
    m_address = "unix:path=" + socket;
    writeBytes(config, busConfig(socket, serviceFolder));

    // The servers the daemon starts find it through the session address in their environment, as
    // they do on a desktop.
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "VANTERO_FAKE_DIR=", 17) != 0 &&
            std::strncmp(*e, "DBUS_SESSION_BUS_ADDRESS=", 25) != 0)
            env.emplace_back(*e);
    env.push_back("VANTERO_FAKE_DIR=" + m_serverFolder);
    env.push_back("DBUS_SESSION_BUS_ADDRESS=" + m_address);
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string configArg = "--config-file=" + config;
    const char* argv[] = {"dbus-daemon", configArg.c_str(),   "--nofork",
                          "--nopidfile", "--print-address=3", nullptr};

    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    m_daemon = fork();
    if (m_daemon < 0)
        throw std::runtime_error("fork failed");
    if (m_daemon == 0) {
        // Only async-signal-safe calls from here on. The daemon goes when the test process does,
        // also when a test crashes, and takes no pipe of the test's with it.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        const int devNull = open("/dev/null", O_RDWR);
        dup2(devNull, STDIN_FILENO);
        dup2(devNull, STDOUT_FILENO);
        dup2(ready[1], 3);
        close_range(4, ~0u, 0);
        execvpe(argv[0], const_cast<char**>(argv), envp.data());
        _exit(127);
    }
    close(ready[1]);
    // The daemon prints its address once it listens; end of file without it means it failed.
    char buffer[512];
    std::string printed;
    while (printed.find('\n') == std::string::npos) {
        const ssize_t n = read(ready[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        printed.append(buffer, static_cast<std::size_t>(n));
    }
    close(ready[0]);
    if (printed.empty())
        throw std::runtime_error("dbus-daemon could not start");
}

PrivateBus::~PrivateBus() {
    if (m_daemon > 0) {
        kill(m_daemon, SIGTERM);
        int status = 0;
        while (waitpid(m_daemon, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

void FakeServerFolder::setScript(const std::string& script) const {
    writeBytes(m_folder + "/script", script);
}

std::vector<std::string> FakeServerFolder::statements() const {
    return Lines(m_folder + "/statements");
}

int FakeServerFolder::starts() const {
    return static_cast<int>(Lines(m_folder + "/starts").size());
}

} // namespace vantero::test
