#pragma once

// A session bus of the test's own: a dbus-daemon with a configuration that lists only the services
// the test names, so no test ever reaches the user's bus or a server installed on the machine. The
// daemon and everything it started are gone when the object is.

#include "tests/support/TempFolder.h"

#include <QDBusConnection>

#include <string>
#include <sys/types.h>
#include <vector>

namespace vantero::test {

struct BusService {
    std::string name;       // well-known bus name
    std::string executable; // started by bus activation on the first call to the name
};

class PrivateBus {
public:
    explicit PrivateBus(const std::vector<BusService>& services = {});
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const std::string& address() const { return m_address; }
    // A connection of the caller's own to this bus, named after its purpose and made unique, so
    // that tests and benchmarks never share one by accident (Qt keeps connections by name).
    QDBusConnection connect(const char* purpose) const;
    // The folder handed to activated services as VANTERO_FAKE_DIR, where the fake server reads its
    // script and writes what it received.
    const std::string& serverFolder() const { return m_serverFolder; }

private:
    TempFolder m_folder;
    std::string m_serverFolder;
    std::string m_address;
    pid_t m_daemon = -1;
};

// The fake automation server's side of the folder: what to answer and what it was sent.
// Script lines: "action<TAB>substring[<TAB>message]"; the first line whose substring occurs in the
// statement (an empty one matches every statement) decides. Actions: "error" answers with a server
// error carrying the message, "exit" ends the server without an answer, "nodo" answers as a server
// without the method, "sleep" answers after the number of seconds in the message. No matching line:
// the statement succeeds.
class FakeServerFolder {
public:
    explicit FakeServerFolder(std::string folder) : m_folder(std::move(folder)) {}
    void setScript(const std::string& script) const;
    std::vector<std::string> statements() const; // in the order received
    int starts() const;                          // how many times the server was started

private:
    std::string m_folder;
};

} // namespace vantero::test
