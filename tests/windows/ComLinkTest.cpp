// The link over real COM: the program's own factory and core against the test automation server,
// registered as "MapInfo.Application" in a Wine prefix of its own.

#include "mapinfo/AutomationError.h"
#include "mapinfo/MapInfoLink.h"
#include "mapinfo/Statements.h"
#include "mapinfo/com/ComAutomation.h"
#include "tests/windows/ServerRecord.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vantero {
namespace {

using test::ServerRecord;

using Strings = std::vector<std::string>;

// What a failed call raised: "server" for a ServerError, "general" for any other AutomationError.
struct Failure {
    std::string kind, message;
    std::uint32_t code = 0;
};

Failure failureOf(const AutomationVariant& mapInfo, const std::string& statement) {
    try {
        sendCommand(mapInfo, statement);
    } catch (const ServerError& e) {
        return {"server", e.what(), e.code()};
    } catch (const AutomationError& e) {
        return {"general", e.what(), e.code()};
    }
    return {"none", "", 0};
}

// The message must be the system's own text for the code with only its end trimmed.
void expectSystemTextOf(std::uint32_t code, const std::string& message) {
    const std::string raw = test::rawSystemText(code);
    ASSERT_FALSE(raw.empty()) << "the system has no text for " << std::hex << code;
    EXPECT_FALSE(message.empty());
    EXPECT_EQ(raw.compare(0, message.size(), message), 0) << raw << " / " << message;
    EXPECT_EQ(raw.substr(message.size()).find_first_not_of(" .\r\n\t"), std::string::npos) << raw;
    EXPECT_NE(message.back(), '.');
}

// Hands ConnectMapInfo a server of another name, as if that were what "MapInfo.Application" is.
class RenamingFactory : public AutomationServerFactory {
public:
    explicit RenamingFactory(std::string progId) : m_progId(std::move(progId)) {}
    std::unique_ptr<AutomationObject> createObject(const std::string& asked) override {
        m_asked.push_back(asked);
        return ComAutomationFactory().createObject(m_progId);
    }
    Strings m_asked;

private:
    std::string m_progId;
};

class ComLink : public testing::Test {
protected:
    ServerRecord record;
    ComAutomationFactory factory;
    AutomationVariant mapInfo;
};

TEST_F(ComLink, ConnectSendsTheSetUpStatementsToALocalServerAndReleasingEndsIt) {
    ASSERT_TRUE(connectMapInfo(mapInfo, factory, 0x80001234u).connected);
    EXPECT_EQ(record.statements(),
              (Strings{"Set Next Document Parent 2147488308 Style 1",
                       "Set Application Window 2147488308", "set progressbars off"}));
    // Late binding: the name is looked up for every call, nothing is cached.
    EXPECT_EQ(record.Of("lookup"), (Strings{"do", "do", "do"}));
    EXPECT_EQ(record.where(), "local");
    const DWORD server = record.serverProcess();
    EXPECT_NE(server, GetCurrentProcessId());

    mapInfo.clear();
    EXPECT_TRUE(record.waitForLine("released"));
    EXPECT_TRUE(test::processEnds(server)) << "the server stays after its last reference went";
}

TEST_F(ComLink, StatementsArriveUnchangedOneCallEach) {
    mapInfo.assign(factory.createObject(kMapInfoProgId));
    sendCommand(mapInfo, closeAllStatement());
    EXPECT_TRUE(openMapInfoTable(mapInfo, "C:\\Data\\Roads.TAB", "roads"));
    sendCommand(mapInfo, packTableStatement("roads", {true, true}));
    sendCommand(mapInfo, closeAllStatement());
    // A table named ".tab": an empty alias, the statements still go.
    EXPECT_TRUE(openMapInfoTable(mapInfo, "C:\\Data\\.tab", ""));
    sendCommand(mapInfo, packTableStatement("", {false, false}));
    sendCommand(mapInfo, "");
    EXPECT_EQ(record.statements(),
              (Strings{"close all", "open table \"C:\\Data\\Roads.TAB\" as roads",
                       "Pack Table roads Graphic Data", "close all",
                       "open table \"C:\\Data\\.tab\" as ", "Pack Table ", ""}));
}

TEST_F(ComLink, StatementTravelsAsTheWideFormOfTheAnsiCodePage) {
    if (GetACP() != 1252)
        GTEST_SKIP() << "the system code page is " << GetACP() << ", not 1252";
    mapInfo.assign(factory.createObject(kMapInfoProgId));
    // "é" and "€" in Windows-1252; the server writes what it received as UTF-8.
    sendCommand(mapInfo, "open table \"C:\\Donn\xE9"
                         "es\\\x80.tab\" as _");
    EXPECT_EQ(record.statements(), Strings{"open table \"C:\\Donn\xC3\xA9"
                                           "es\\\xE2\x82\xAC.tab\" as _"});
}

// The error rules, from a server in its own process and from one in ours.
class ComServerErrors : public ComLink, public testing::WithParamInterface<const char*> {};

TEST_P(ComServerErrors, BecomeServerErrorsWithTheTrimmedTextAndTheServerGoesOn) {
    mapInfo.assign(factory.createObject(GetParam()));

    Failure f = failureOf(mapInfo, "Pack Table failwithtext Data");
    EXPECT_EQ(f.kind, "server");
    EXPECT_EQ(f.message, "Cannot pack table: it is not open");
    EXPECT_EQ(f.code, 0x80040301u);

    for (const char* cue : {"failwithcode", "failblank"}) {
        f = failureOf(mapInfo, std::string("Pack Table ") + cue);
        EXPECT_EQ(f.kind, "server") << cue;
        EXPECT_EQ(f.code, static_cast<std::uint32_t>(E_ACCESSDENIED)) << cue;
        expectSystemTextOf(f.code, f.message);
    }

    f = failureOf(mapInfo, "open table \"x\" as failunknowncode");
    EXPECT_EQ(f.kind, "server");
    EXPECT_EQ(f.message, "OLE error 80041234");

    // A server that gives only its own wCode: the error carries DISP_E_EXCEPTION.
    f = failureOf(mapInfo, "failwcode");
    EXPECT_EQ(f.kind, "server");
    EXPECT_EQ(f.code, kDispatchException);
    if (test::rawSystemText(kDispatchException).empty())
        EXPECT_EQ(f.message, "OLE error 80020009");
    else
        expectSystemTextOf(kDispatchException, f.message);

    f = failureOf(mapInfo, "Pack Table faildeferred Graphic");
    EXPECT_EQ(f.kind, "server");
    EXPECT_EQ(f.message, "Deferred: the table is read-only");
    EXPECT_EQ(f.code, 0x80040302u);

    sendCommand(mapInfo, "close all");
    EXPECT_EQ(record.statements().size(), 7u);
    EXPECT_EQ(record.statements().back(), "close all");
}

INSTANTIATE_TEST_SUITE_P(LocalAndInProcess, ComServerErrors,
                         testing::Values(test::kServerProgId, test::kInProcProgId));

// Wine 8's marshaller hands the caller the server's fill-in function as a bare address from the
// other process, and the client calls it: a crash. Enable once the client calls only a function
// that lies in a module of its own process.
TEST_F(ComLink, FillInFunctionFromAnotherProcessIsNotCalled) {
    mapInfo.assign(factory.createObject(kMapInfoProgId));
    const Failure f = failureOf(mapInfo, "faildeferredraw");
    EXPECT_EQ(f.kind, "server");
    EXPECT_EQ(f.code, kDispatchException);
    sendCommand(mapInfo, "close all");
    EXPECT_EQ(record.statements(), (Strings{"faildeferredraw", "close all"}));
}

TEST_F(ComLink, InProcessServerRunsInOurProcess) {
    mapInfo.assign(factory.createObject(test::kInProcProgId));
    sendCommand(mapInfo, "close all");
    EXPECT_EQ(record.where(), "inproc");
    EXPECT_EQ(record.serverProcess(), GetCurrentProcessId());
    mapInfo.clear();
    EXPECT_EQ(record.Of("released").size(), 1u);
}

TEST_F(ComLink, ObjectWithoutDoIsAGeneralErrorNamingTheMethod) {
    mapInfo.assign(factory.createObject(test::kNoDoProgId));
    const Failure f = failureOf(mapInfo, "close all");
    EXPECT_EQ(f.kind, "general");
    EXPECT_EQ(f.message, "Method 'do' not supported by automation object");
    EXPECT_EQ(f.code, static_cast<std::uint32_t>(DISP_E_UNKNOWNNAME));
    EXPECT_EQ(record.Of("lookup"), Strings{"do"});
    EXPECT_TRUE(record.statements().empty());
    EXPECT_FALSE(openMapInfoTable(mapInfo, "C:\\a.tab", "a"));
}

TEST_F(ComLink, CreationFailsForAnUnknownProgIdAndForAServerThatCannotStart) {
    for (const char* progId : {"Vantero.NoSuchServer", test::kMissingProgId}) {
        try {
            factory.createObject(progId);
            ADD_FAILURE() << progId << " was created";
        } catch (const ServerError&) {
            ADD_FAILURE() << progId << ": creation is not a server's error";
        } catch (const AutomationError& e) {
            EXPECT_NE(std::string(e.what()), "") << progId;
            EXPECT_TRUE(FAILED(static_cast<HRESULT>(e.code()))) << progId;
        }
    }

    RenamingFactory unregistered("Vantero.NoSuchServer");
    EXPECT_FALSE(connectMapInfo(mapInfo, unregistered, 1).connected);
    EXPECT_EQ(unregistered.m_asked, Strings{"MapInfo.Application"});
    EXPECT_TRUE(mapInfo.isEmpty());
}

TEST_F(ComLink, ConnectStopsAtAStatementTheServerRefusesAndKeepsTheObject) {
    // The object without "do" refuses the first set-up statement.
    RenamingFactory noDo(test::kNoDoProgId);
    EXPECT_FALSE(connectMapInfo(mapInfo, noDo, 7).connected);
    EXPECT_FALSE(mapInfo.isEmpty());
    EXPECT_EQ(record.Of("lookup"), Strings{"do"});
}

// Every way the server can go away: later calls fail as the link's own failure, without a hang, a
// crash or a silent restart, and letting go of the dead object is safe.
class ComServerGone : public ComLink {
protected:
    void expectEveryLaterCallFails() {
        for (int i = 0; i < 2; ++i) {
            const Failure f = failureOf(mapInfo, "close all");
            EXPECT_EQ(f.kind, "general") << f.message;
            EXPECT_FALSE(f.message.empty());
            EXPECT_FALSE(openMapInfoTable(mapInfo, "C:\\a.tab", "a"));
        }
        EXPECT_EQ(record.Of("created").size(), 1u) << "a new server was started";
        mapInfo.clear();
    }
};

TEST_F(ComServerGone, KilledBetweenTwoCalls) {
    mapInfo.assign(factory.createObject(kMapInfoProgId));
    sendCommand(mapInfo, "set progressbars off");
    ASSERT_TRUE(test::killProcess(record.serverProcess()));
    expectEveryLaterCallFails();
    EXPECT_EQ(record.statements(), Strings{"set progressbars off"});
}

TEST_F(ComServerGone, EndedByItselfAfterACall) {
    mapInfo.assign(factory.createObject(kMapInfoProgId));
    sendCommand(mapInfo, "exitafter");
    ASSERT_TRUE(test::processEnds(record.serverProcess()));
    expectEveryLaterCallFails();
}

TEST_F(ComServerGone, EndedInTheMiddleOfACall) {
    mapInfo.assign(factory.createObject(kMapInfoProgId));
    const Failure f = failureOf(mapInfo, "Pack Table exitnow");
    EXPECT_EQ(f.kind, "general") << f.message;
    EXPECT_TRUE(test::processEnds(record.serverProcess()));
    expectEveryLaterCallFails();
}

} // namespace
} // namespace vantero
