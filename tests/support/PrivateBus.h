#pragma once

// A session bus of the test's own: a dbus-daemon with a configuration that lists only the services
// the test names, so no test ever reaches the user's bus or a server installed on the machine. The
// daemon and everything it started are gone when the object is.

#include "tests/support/TempFolder.h"

#include <QDBusConnection>

#include <memory>
#include <string>
#include <vector>

class QProcess;

namespace vantero::test {

struct BusService {
    std::string name;       // well-known bus name
    std::string executable; // started by bus activation on the first call to the name
};

class PrivateBus {
public:
    explicit PrivateBus(const std::vector<BusService>& services = {});
    ~PrivateBus(); // not copyable: it owns the folder and the daemon
    const std::string& address() const { return m_address; }
    // A connection of the caller's own, named after its purpose and made unique: Qt keeps
    // connections by name, and tests and benchmarks must never share one by accident.
    QDBusConnection connect(const char* purpose) const;
    // Handed to activated services as VANTERO_FAKE_DIR: the fake server's script and records.
    const std::string& serverFolder() const { return m_serverFolder; }

private:
    TempFolder m_folder;
    std::string m_serverFolder;
    std::string m_address;
    std::unique_ptr<QProcess> m_daemon;
};

// The fake automation server's side of the folder. Script lines: "action<TAB>substring[<TAB>
// message]"; the first line whose substring occurs in the statement (an empty one matches every
// statement) decides. Actions: "error" answers with a server error carrying the message, "exit"
// ends the server without an answer, "nodo" answers as a server without the method, "sleep"
// answers after the number of seconds in the message. No matching line: the statement succeeds.
class FakeServerFolder {
public:
    explicit FakeServerFolder(std::string folder) : m_folder(std::move(folder)) {}
    void setScript(const std::string& script) const { writeBytes(m_folder + "/script", script); }
    std::vector<std::string> statements() const { return lines("statements"); } // in order
    int starts() const { return static_cast<int>(lines("starts").size()); }     // servers started

private:
    std::vector<std::string> lines(const char* name) const;
    std::string m_folder;
};

} // namespace vantero::test
