// The COM client's own rules against the test automation server, registered as
// "MapInfo.Application" in a Wine prefix of its own: what reaches the server, each kind of error,
// and a server that goes away. What the program sends, and in what order, is the core's, tested
// without COM.

#include "mapinfo/AutomationError.h"
#include "mapinfo/ErrorText.h"
#include "mapinfo/MapInfoLink.h"
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

// The system's own text for the code with only its end trimmed, or the code when it has none.
std::string systemTextOf(std::uint32_t code) {
    std::string text = test::rawSystemText(code);
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
    EXPECT_EQ(record.statements(),
              (Strings{"Set Next Document Parent 2147488308 Style 1",
                       "Set Application Window 2147488308", "set progressbars off", ""}));
    // Late binding: the name is looked up for every call, nothing is cached.
    EXPECT_EQ(record.of("lookup"), (Strings{"do", "do", "do", "do"}));
    const DWORD server = record.serverProcess();
    EXPECT_NE(server, GetCurrentProcessId());
    mapInfo.clear();
    EXPECT_TRUE(record.waitForLine("released"));
    EXPECT_TRUE(test::processEnds(server)) << "the server stays after its last reference went";
}

TEST_F(ComLink, AStatementTravelsAsTheWideFormOfTheAnsiCodePage) {
    if (GetACP() != 1252)
        GTEST_SKIP() << "the system code page is " << GetACP() << ", not 1252";
    mapInfo.assign(factory.createObject(kMapInfoProgId));
    // "é" and "€" in Windows-1252; the server writes what it received as UTF-8.
    sendCommand(mapInfo, "open table \"C:\\Donn\xE9"
                         "es\\\x80.tab\" as _");
    EXPECT_EQ(record.statements(), Strings{"open table \"C:\\Donn\xC3\xA9"
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
        {"Pack Table failblank", systemTextOf(E_ACCESSDENIED), 0x80070005u},
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
    EXPECT_EQ(record.statements().size(), std::size(cases) + 1);
}

TEST_F(ComLink, AnObjectWithoutDoIsAGeneralErrorNamingTheMethod) {
    mapInfo.assign(factory.createObject(test::kNoDoProgId));
    const Failure f = failureOf(mapInfo, "close all");
    EXPECT_EQ(f.kind, "general");
    EXPECT_EQ(f.message, "Method 'do' not supported by automation object");
    EXPECT_EQ(f.code, static_cast<std::uint32_t>(DISP_E_UNKNOWNNAME));
    EXPECT_TRUE(record.statements().empty());
}

TEST_F(ComLink, CreationFailsForAnUnknownNameAndForAServerThatCannotStart) {
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
}

// Killed between two calls, ended by itself after a call, ended in the middle of one: later calls
// fail as the link's own failure, without a hang, a crash or a silent restart.
TEST(ComServerGone, EveryLaterCallFailsAndNoServerIsStartedAgain) {
    for (const std::string way : {"kill", "exitafter", "Pack Table exitnow"}) {
        SCOPED_TRACE(way);
        ServerRecord record;
        AutomationVariant mapInfo;
        mapInfo.assign(ComAutomationFactory().createObject(kMapInfoProgId));
        if (way == "kill") {
            sendCommand(mapInfo, "set progressbars off");
            ASSERT_TRUE(test::killProcess(record.serverProcess()));
        } else {
            const Failure f = failureOf(mapInfo, way);
            EXPECT_EQ(f.kind, way == "exitafter" ? "none" : "general") << f.message;
            ASSERT_TRUE(test::processEnds(record.serverProcess()));
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
