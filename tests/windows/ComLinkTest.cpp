// The COM client's own rules against the test automation server (server/TestServer.cpp),
// registered as "MapInfo.Application" in a Wine prefix of its own: what reaches the server, each
// kind of error, and a server that goes away. What the program sends, and in what order, is the
// core's, tested without COM.

#include "mapinfo/AutomationError.h"
#include "mapinfo/ErrorText.h"
#include "mapinfo/MapInfoLink.h"
#include "mapinfo/com/ComAutomation.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vantero {
namespace {

using Strings = std::vector<std::string>;

// The server's record: a fresh file, named in the environment so that every server started from
// then on writes into it.
class ServerRecord {
public:
    ServerRecord() {
        char folder[MAX_PATH];
        char file[MAX_PATH];
        if (GetTempPathA(MAX_PATH, folder) == 0 || GetTempFileNameA(folder, "vsr", 0, file) == 0)
            throw std::runtime_error("cannot make the server's record file");
        m_path = file;
        SetEnvironmentVariableA("VANTERO_TEST_SERVER_RECORD", m_path.c_str());
    }
    ~ServerRecord() {
        SetEnvironmentVariableA("VANTERO_TEST_SERVER_RECORD", nullptr);
        DeleteFileA(m_path.c_str());
    }
    ServerRecord(const ServerRecord&) = delete;
    ServerRecord& operator=(const ServerRecord&) = delete;

    // The text after "kind<tab>" of every line of that kind.
    Strings of(const std::string& kind) const {
        std::ifstream in(m_path, std::ios::binary);
        Strings found;
        for (std::string line; std::getline(in, line);)
            if (line.rfind(kind + "\t", 0) == 0)
                found.push_back(line.substr(kind.size() + 1));
        return found;
    }

    // The process that made the first object.
    DWORD serverProcess() const {
        const Strings created = of("created");
        return created.empty() ? 0 : static_cast<DWORD>(std::stoul(created.front()));
    }

private:
    std::string m_path;
};

// Whether the process has ended, waiting up to 10 s; killed first when asked.
bool processEnds(DWORD processId, bool kill = false) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
    if (process == nullptr)
        return !kill; // gone already
    if (kill)
        TerminateProcess(process, 9);
    const bool ended = WaitForSingleObject(process, 10000) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

// What a failed call raised: "server" for a ServerError, "general" for any other AutomationError.
struct Failure {
    std::string kind, message;
    std::uint32_t code = 0;
};

Failure failureOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const ServerError& e) {
        return {"server", e.what(), e.code()};
    } catch (const AutomationError& e) {
        return {"general", e.what(), e.code()};
    }
    return {"none", "", 0};
}

Failure failureOf(const AutomationVariant& mapInfo, const std::string& statement) {
    return failureOf([&] { sendCommand(mapInfo, statement); });
}

// The system's own text for the code with only its end trimmed, or the code when it has none.
std::string systemTextOf(std::uint32_t code) {
    char buffer[1024];
    std::string text(buffer,
                     FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                    nullptr, code, 0, buffer, sizeof buffer, nullptr));
    text.erase(text.find_last_not_of(" .\r\n\t") + 1);
    return text.empty() ? oleErrorText(code) : text;
}

class ComLink : public testing::Test {
protected:
    ServerRecord record;
    ComAutomationFactory factory;
    AutomationVariant mapInfo;
};

TEST_F(ComLink, ALocalServerGetsEveryStatementUnchangedAndEndsWithTheLastReference) {
    ASSERT_TRUE(connectMapInfo(mapInfo, factory, 0x80001234u).connected);
    sendCommand(mapInfo, ""); // an empty statement goes as well
    EXPECT_EQ(record.of("do"),
              (Strings{"Set Next Document Parent 2147488308 Style 1",
                       "Set Application Window 2147488308", "set progressbars off", ""}));
    // Late binding: the name is looked up for every call, nothing is cached.
    EXPECT_EQ(record.of("lookup"), (Strings{"do", "do", "do", "do"}));
    const DWORD server = record.serverProcess();
    EXPECT_NE(server, GetCurrentProcessId());
    mapInfo.clear();
    EXPECT_TRUE(processEnds(server)) << "the server stays after its last reference went";
}

TEST_F(ComLink, AStatementTravelsAsTheWideFormOfTheAnsiCodePage) {
    if (GetACP() != 1252)
        GTEST_SKIP() << "the system code page is " << GetACP() << ", not 1252";
    mapInfo.assign(factory.createObject(kMapInfoProgId));
    // "é" and "€" in Windows-1252; the server writes what it received as UTF-8.
    sendCommand(mapInfo, "open table \"C:\\Donn\xE9"
                         "es\\\x80.tab\" as _");
    EXPECT_EQ(record.of("do"), Strings{"open table \"C:\\Donn\xC3\xA9"
                                       "es\\\xE2\x82\xAC.tab\" as _"});
}

// The server's exception information becomes a ServerError with the trimmed description, else the
// system's text for its code, else the code; the server goes on.
TEST_F(ComLink, ServerErrorsCarryTheTrimmedTextAndTheServerGoesOn) {
    mapInfo.assign(factory.createObject(kMapInfoProgId));
    struct Case {
        const char* statement;
        std::string message;
        std::uint32_t code;
    };
    const Case cases[] = {
        {"Pack Table failwithtext Data", "Cannot pack table: it is not open", 0x80040301u},
        {"Pack Table failwithcode", systemTextOf(E_ACCESSDENIED), 0x80070005u},
        {"open table \"x\" as failunknowncode", "OLE error 80041234", 0x80041234u},
        // Only the server's own wCode: the error carries DISP_E_EXCEPTION.
        {"failwcode", systemTextOf(kDispatchException), kDispatchException},
        // Wine's marshaller hands over the server's fill-in function as a bare address from the
        // other process: it is not called, which would crash.
        {"faildeferredraw", systemTextOf(kDispatchException), kDispatchException},
    };
    for (const Case& c : cases) {
        const Failure f = failureOf(mapInfo, c.statement);
        EXPECT_EQ(f.kind, "server") << c.statement;
        EXPECT_EQ(f.message, c.message) << c.statement;
        EXPECT_EQ(f.code, c.code) << c.statement;
    }
    sendCommand(mapInfo, "close all");
    EXPECT_EQ(record.of("do").size(), std::size(cases) + 1);
}

TEST_F(ComLink, AnObjectWithoutDoIsAGeneralErrorNamingTheMethod) {
    mapInfo.assign(factory.createObject("Vantero.TestServer.NoDo"));
    const Failure f = failureOf(mapInfo, "close all");
    EXPECT_EQ(f.kind, "general");
    EXPECT_EQ(f.message, "Method 'do' not supported by automation object");
    EXPECT_EQ(f.code, static_cast<std::uint32_t>(DISP_E_UNKNOWNNAME));
    EXPECT_TRUE(record.of("do").empty());
}

TEST_F(ComLink, CreationFailsForAnUnknownNameAndForAServerThatCannotStart) {
    // The second is registered, but its executable is not there.
    for (const char* progId : {"Vantero.NoSuchServer", "Vantero.TestServer.Missing"}) {
        const Failure f = failureOf([&] { factory.createObject(progId); });
        EXPECT_EQ(f.kind, "general") << progId;
        EXPECT_NE(f.message, "") << progId;
        EXPECT_TRUE(FAILED(static_cast<HRESULT>(f.code))) << progId;
    }
}

// Killed between two calls or ended in the middle of one: that call and later ones fail as the
// link's own failure, without a hang, a crash or a silent restart.
TEST(ComServerGone, EveryLaterCallFailsAndNoServerIsStartedAgain) {
    for (const std::string way : {"kill", "Pack Table exitnow"}) {
        SCOPED_TRACE(way);
        ServerRecord record;
        AutomationVariant mapInfo;
        mapInfo.assign(ComAutomationFactory().createObject(kMapInfoProgId));
        if (way == "kill") {
            sendCommand(mapInfo, "set progressbars off");
            ASSERT_TRUE(processEnds(record.serverProcess(), true));
        } else {
            const Failure f = failureOf(mapInfo, way);
            EXPECT_EQ(f.kind, "general") << f.message;
            ASSERT_TRUE(processEnds(record.serverProcess()));
        }
        for (int i = 0; i < 2; ++i) {
            const Failure f = failureOf(mapInfo, "close all");
            EXPECT_EQ(f.kind, "general") << f.message;
            EXPECT_FALSE(f.message.empty());
        }
        EXPECT_EQ(record.of("created").size(), 1u) << "a new server was started";
    }
}

} // namespace
} // namespace vantero
