#include "mapinfo/MapInfoLink.h"
#include "mapinfo/AutomationError.h"
#include "mapinfo/ErrorText.h"
#include "mapinfo/Statements.h"
#include "tests/support/RecordingAutomation.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace vantero {
namespace {

using test::RecordedCall;
using test::RecordingFactory;

TEST(Statements, TextIsExactlyWhatMapInfoIsSent) {
    EXPECT_EQ(setNextDocumentParentStatement(123456), "Set Next Document Parent 123456 Style 1");
    EXPECT_EQ(setApplicationWindowStatement(123456), "Set Application Window 123456");
    EXPECT_EQ(progressBarsOffStatement(), "set progressbars off");
    EXPECT_EQ(closeAllStatement(), "close all");
    EXPECT_EQ(openTableStatement("/data/Roads.TAB", "roads"),
              "open table \"/data/Roads.TAB\" as roads");
    EXPECT_EQ(packTableStatement("roads", {true, true}), "Pack Table roads Graphic Data");
    EXPECT_EQ(packTableStatement("roads", {true, false}), "Pack Table roads Graphic");
    EXPECT_EQ(packTableStatement("roads", {false, true}), "Pack Table roads Data");
    EXPECT_EQ(packTableStatement("roads", {false, false}), "Pack Table roads");
}

TEST(Statements, WindowHandleIsUnsignedDecimalWhateverItsWidth) {
    EXPECT_EQ(formatWindowHandle(0), "0");
    EXPECT_EQ(formatWindowHandle(0xFFFFFFFFu), "4294967295");    // not -1
    EXPECT_EQ(formatWindowHandle(0x100000005ull), "4294967301"); // a 64-bit X11/Wayland id
    EXPECT_EQ(setApplicationWindowStatement(0x80000000u), "Set Application Window 2147483648");
}

TEST(Statements, DoubleQuoteInPathIsDoubledSoTheStatementStillParses) {
    EXPECT_EQ(openTableStatement("/d/a\"b.tab", "a_b"), "open table \"/d/a\"\"b.tab\" as a_b");
    EXPECT_EQ(openTableStatement("/d/\"\".tab", "_"), "open table \"/d/\"\"\"\".tab\" as _");
    EXPECT_EQ(quoteMapBasicText("plain \\ path"), "plain \\ path");
}

TEST(Statements, EmptyAliasStillSendsBothStatements) {
    EXPECT_EQ(openTableStatement("/d/.tab", ""), "open table \"/d/.tab\" as ");
    EXPECT_EQ(packTableStatement("", {true, false}), "Pack Table  Graphic");
}

TEST(TableAlias, IsTheLowerCasedNameUpToTheFirstDot) {
    EXPECT_EQ(tableAlias("Roads.TAB"), "roads");
    EXPECT_EQ(tableAlias("my.roads.tab"), "my");
    EXPECT_EQ(tableAlias("Parcels_2.tab"), "parcels_2");
}

TEST(TableAlias, IsAlwaysAValidMapBasicName) {
    EXPECT_EQ(tableAlias("my roads.tab"), "my_roads");
    EXPECT_EQ(tableAlias("2019-roads.tab"), "_2019_roads");
    EXPECT_EQ(tableAlias(".tab"), "_");
    EXPECT_EQ(tableAlias(".x.tab"), "_");
    EXPECT_EQ(tableAlias("_x.tab"), "_x");
    EXPECT_EQ(tableAlias("\xC3\x84rger.tab"), "__rger"); // every byte of a non-ASCII letter
    EXPECT_EQ(tableAlias("a$b#c.tab"), "a_b_c");
}

TEST(ErrorText, TrimsTrailingBlanksControlsAndPeriodsOnly) {
    EXPECT_EQ(trimErrorText("Table roads not found.  \r\n"), "Table roads not found");
    EXPECT_EQ(trimErrorText("v. 4.0 ...\t. ."), "v. 4.0");
    EXPECT_EQ(trimErrorText(" ... "), "");
    EXPECT_EQ(trimErrorText(std::string("stop\0", 5)), "stop");
    // Bytes above 127 are letters of the code page, not controls, even where char is signed.
    EXPECT_EQ(trimErrorText("Datei gel\xF6scht\xA0"), "Datei gel\xF6scht\xA0");
}

TEST(ErrorText, FallsBackToSystemTextThenToTheCode) {
    const auto system = [](std::uint32_t code) {
        return code == 0x80004005u ? "Unspecified error.\r\n" : "";
    };
    EXPECT_EQ(serverErrorText("Bad alias.", 0x80004005u, system), "Bad alias");
    EXPECT_EQ(serverErrorText(" . ", 0x80004005u, system), "Unspecified error");
    EXPECT_EQ(serverErrorText("", kDispatchException, system), "OLE error 80020009");
    EXPECT_EQ(serverErrorText("", 0xabcdef, {}), "OLE error 00ABCDEF");
    EXPECT_EQ(methodNotSupportedText("do"), "Method 'do' not supported by automation object");
}

TEST(SendCommand, CallsDoWithTheStatementOrSaysThereIsNoObject) {
    AutomationVariant mapInfo;
    try {
        sendCommand(mapInfo, "close all");
        FAIL() << "no exception";
    } catch (const ServerError&) {
        FAIL() << "an empty reference is not a server error";
    } catch (const AutomationError& e) {
        EXPECT_STREQ(e.what(), "Variant does not reference an automation object");
    }
    RecordingFactory factory;
    mapInfo.assign(factory.createObject(kMapInfoProgId));
    sendCommand(mapInfo, "close all");
    EXPECT_EQ(factory.log->calls, (std::vector<RecordedCall>{{"do", "close all"}}));
}

TEST(ConnectMapInfo, CreatesTheObjectAndSendsTheSetUpStatementsInOrder) {
    RecordingFactory factory;
    AutomationVariant mapInfo;
    ASSERT_TRUE(connectMapInfo(mapInfo, factory, 4242).connected);
    EXPECT_EQ(factory.progIds, std::vector<std::string>{"MapInfo.Application"});
    EXPECT_EQ(factory.log->calls,
              (std::vector<RecordedCall>{{"do", "Set Next Document Parent 4242 Style 1"},
                                         {"do", "Set Application Window 4242"},
                                         {"do", "set progressbars off"}}));
    EXPECT_FALSE(mapInfo.isEmpty());
    mapInfo.clear();
    EXPECT_EQ(factory.log->released, 1);
}

TEST(ConnectMapInfo, StopsAtTheFirstFailureAndKeepsACreatedObject) {
    for (std::size_t failing = 0; failing < 3; ++failing) {
        RecordingFactory factory;
        factory.log->onCall = [&](const RecordedCall&) {
            if (factory.log->calls.size() == failing + 1)
                throw ServerError("Invalid window handle");
        };
        AutomationVariant mapInfo;
        EXPECT_FALSE(connectMapInfo(mapInfo, factory, 7).connected) << failing;
        EXPECT_EQ(factory.log->calls.size(), failing + 1);
        EXPECT_FALSE(mapInfo.isEmpty());
    }
}

TEST(ConnectMapInfo, FalseWhenTheServerCannotBeCreatedOrAnythingElseThrows) {
    RecordingFactory noServer;
    noServer.failCreation = [] { throw AutomationError("Invalid class string"); };
    AutomationVariant mapInfo;
    EXPECT_FALSE(connectMapInfo(mapInfo, noServer, 7).connected);
    EXPECT_TRUE(mapInfo.isEmpty());

    RecordingFactory odd;
    odd.log->onCall = [](const RecordedCall&) { throw std::bad_alloc(); };
    EXPECT_FALSE(connectMapInfo(mapInfo, odd, 7).connected);
}

TEST(OpenMapInfoTable, TrueOnSuccessAndFalseForEveryFailureWithoutThrowing) {
    RecordingFactory factory;
    AutomationVariant mapInfo;
    EXPECT_FALSE(openMapInfoTable(mapInfo, "/d/roads.tab", "roads")); // no object yet
    mapInfo.assign(factory.createObject(kMapInfoProgId));
    EXPECT_TRUE(openMapInfoTable(mapInfo, "/d/a\"b.tab", "a_b"));
    EXPECT_EQ(factory.log->arguments(),
              std::vector<std::string>{"open table \"/d/a\"\"b.tab\" as a_b"});

    factory.log->onCall = [](const RecordedCall&) { throw ServerError("File not found"); };
    EXPECT_FALSE(openMapInfoTable(mapInfo, "/d/x.tab", "x"));
    factory.log->onCall = [](const RecordedCall&) { throw AutomationError("Disconnected"); };
    EXPECT_FALSE(openMapInfoTable(mapInfo, "/d/x.tab", "x"));
}

} // namespace
} // namespace vantero
