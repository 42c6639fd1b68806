#include "mapinfo/MapInfoLink.h"
#include "mapinfo/AutomationError.h"
#include "mapinfo/ErrorText.h"
#include "mapinfo/Statements.h"
#include "tests/support/RecordingAutomation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <tuple>

namespace vantero {
namespace {

using test::RecordedCall;
using test::RecordingFactory;
using Calls = std::vector<RecordedCall>;

// The statements' edge cases; the run's tests and the set-up's see the common ones as sent.
TEST(MapInfoLink, StatementsAreExactlyWhatMapInfoIsSent) {
    const std::pair<std::string, std::string> cases[] = {
        {setApplicationWindowStatement(0xFFFFFFFFu), "Set Application Window 4294967295"},
        {setApplicationWindowStatement(0x100000005ull), "Set Application Window 4294967301"},
        // A double quote in a path is doubled, so the statement still parses.
        {openTableStatement("/d/a\"b.tab", "a_b"), "open table \"/d/a\"\"b.tab\" as a_b"},
        {openTableStatement("/d/.tab", ""), "open table \"/d/.tab\" as "},
        {packTableStatement("roads", {true, true}), "Pack Table roads Graphic Data"},
        {packTableStatement("", {false, false}), "Pack Table "},
    };
    for (const auto& [statement, text] : cases)
        EXPECT_EQ(statement, text);
}

// The lower-cased name up to the first dot, made a valid MapBasic name.
TEST(MapInfoLink, TheAliasIsAValidNameFromTheTableName) {
    const std::pair<const char*, const char*> cases[] = {
        {"Roads.TAB", "roads"},
        {"my.roads.tab", "my"},
        {"Parcels_2.tab", "parcels_2"},
        {"my roads.tab", "my_roads"},
        {"2019-roads.tab", "_2019_roads"},
        {".tab", "_"},
        {"_x.tab", "_x"},
        {"\xC3\x84rger.tab", "__rger"},
        {"a$b#c.tab", "a_b_c"},
    };
    for (const auto& [name, alias] : cases) {
        EXPECT_EQ(tableAlias(name), alias) << name;
        EXPECT_TRUE(isMapBasicName(alias)) << alias;
    }
}

// The server's text without trailing blanks, controls and periods; when nothing is left, the
// system's text for the code; when still nothing, the code.
TEST(MapInfoLink, ServerErrorTextIsTrimmedElseTheSystemsElseTheCode) {
    const auto system = [](std::uint32_t code) {
        return code == 0x80004005u ? "Unspecified error.\r\n" : "";
    };
    const std::tuple<std::string, std::uint32_t, const char*> cases[] = {
        {"Table roads not found.  \r\n", 0x80004005u, "Table roads not found"},
        {"v. 4.0 ...\t. .", 0x80004005u, "v. 4.0"},
        {std::string("stop\0", 5), 0x80004005u, "stop"},
        // Bytes above 127 are letters of the code page, not controls, even where char is signed.
        {"Datei gel\xF6scht\xA0", 0x80004005u, "Datei gel\xF6scht\xA0"},
        {" . ", 0x80004005u, "Unspecified error"},
        {" ... ", kDispatchException, "OLE error 80020009"},
    };
    for (const auto& [description, code, text] : cases)
        EXPECT_EQ(serverErrorText(description, code, system), text) << description;
    EXPECT_EQ(serverErrorText("", 0xabcdef, {}), "OLE error 00ABCDEF");
}

TEST(MapInfoLink, SendCommandWithoutAnObjectIsNotAServerError) {
    AutomationVariant mapInfo;
    try {
        sendCommand(mapInfo, "close all");
        FAIL() << "no exception";
    } catch (const ServerError&) {
        FAIL() << "an empty reference is not a server error";
    } catch (const AutomationError& e) {
        EXPECT_STREQ(e.what(), "Variant does not reference an automation object");
    }
}

// The first failure ends the set-up, of any kind; an object that was created stays.
TEST(MapInfoLink, ConnectingSendsTheSetUpStatementsInOrderAndStopsAtTheFirstFailure) {
    const Calls setUp = {{"do", "Set Next Document Parent 4242 Style 1"},
                         {"do", "Set Application Window 4242"},
                         {"do", "set progressbars off"}};
    for (std::size_t failing = 0; failing <= setUp.size(); ++failing) {
        RecordingFactory factory;
        factory.log->onCall = [&](const RecordedCall&) {
            if (factory.log->calls.size() != failing + 1)
                return;
            if (failing == 2)
                throw std::runtime_error("out of memory");
            throw ServerError("Invalid window handle");
        };
        AutomationVariant mapInfo;
        EXPECT_EQ(connectMapInfo(mapInfo, factory, 4242).connected, failing == setUp.size());
        EXPECT_EQ(factory.progIds, std::vector<std::string>{"MapInfo.Application"});
        const std::size_t sent = std::min(failing + 1, setUp.size());
        EXPECT_EQ(factory.log->calls, Calls(setUp.begin(), setUp.begin() + sent)) << failing;
        EXPECT_FALSE(mapInfo.isEmpty());
        mapInfo.clear();
        EXPECT_EQ(factory.log->released, 1);
    }
    RecordingFactory noServer;
    noServer.failCreation = [] { throw AutomationError("Invalid class string"); };
    AutomationVariant mapInfo;
    const ConnectResult result = connectMapInfo(mapInfo, noServer, 7);
    EXPECT_FALSE(result.connected);
    EXPECT_EQ(result.failure, "Invalid class string"); // what failed, for the log
    EXPECT_TRUE(mapInfo.isEmpty());
}

TEST(MapInfoLink, OpeningATableIsTrueOnSuccessAndFalseForEveryFailureWithoutThrowing) {
    RecordingFactory factory;
    AutomationVariant mapInfo;
    EXPECT_FALSE(openMapInfoTable(mapInfo, "/d/roads.tab", "roads")); // no object yet
    mapInfo.assign(factory.createObject(kMapInfoProgId));
    EXPECT_TRUE(openMapInfoTable(mapInfo, "/d/roads.tab", "roads"));
    EXPECT_EQ(factory.log->arguments(),
              std::vector<std::string>{"open table \"/d/roads.tab\" as roads"});
    factory.log->onCall = [](const RecordedCall&) { throw ServerError("File not found"); };
    EXPECT_FALSE(openMapInfoTable(mapInfo, "/d/x.tab", "x"));
    factory.log->onCall = [](const RecordedCall&) { throw AutomationError("Disconnected"); };
    EXPECT_FALSE(openMapInfoTable(mapInfo, "/d/x.tab", "x"));
}

} // namespace
} // namespace vantero
