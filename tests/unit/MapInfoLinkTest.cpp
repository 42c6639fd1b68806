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
    EXPECT_EQ(SetNextDocumentParentStatement(123456), "Set Next Document Parent 123456 Style 1");
    EXPECT_EQ(SetApplicationWindowStatement(123456), "Set Application Window 123456");
    EXPECT_EQ(ProgressBarsOffStatement(), "set progressbars off");
    EXPECT_EQ(CloseAllStatement(), "close all");
    EXPECT_EQ(OpenTableStatement("/data/Roads.TAB", "roads"),
              "open table \"/data/Roads.TAB\" as roads");
    EXPECT_EQ(PackTableStatement("roads", true, true), "Pack Table roads Graphic Data");
    EXPECT_EQ(PackTableStatement("roads", true, false), "Pack Table roads Graphic");
    EXPECT_EQ(PackTableStatement("roads", false, true), "Pack Table roads Data");
    EXPECT_EQ(PackTableStatement("roads", false, false), "Pack Table roads");
}

TEST(Statements, WindowHandleIsUnsignedDecimalWhateverItsWidth) {
    EXPECT_EQ(FormatWindowHandle(0), "0");
    EXPECT_EQ(FormatWindowHandle(0xFFFFFFFFu), "4294967295");    // not -1
    EXPECT_EQ(FormatWindowHandle(0x100000005ull), "4294967301"); // a 64-bit X11/Wayland id
    EXPECT_EQ(SetApplicationWindowStatement(0x80000000u), "Set Application Window 2147483648");
}

TEST(Statements, DoubleQuoteInPathIsDoubledSoTheStatementStillParses) {
    EXPECT_EQ(OpenTableStatement("/d/a\"b.tab", "a_b"), "open table \"/d/a\"\"b.tab\" as a_b");
    EXPECT_EQ(OpenTableStatement("/d/\"\".tab", "_"), "open table \"/d/\"\"\"\".tab\" as _");
    EXPECT_EQ(QuoteMapBasicText("plain \\ path"), "plain \\ path");
}

TEST(Statements, EmptyAliasStillSendsBothStatements) {
    EXPECT_EQ(OpenTableStatement("/d/.tab", ""), "open table \"/d/.tab\" as ");
    EXPECT_EQ(PackTableStatement("", true, false), "Pack Table  Graphic");
}

TEST(TableAlias, IsTheLowerCasedNameUpToTheFirstDot) {
    EXPECT_EQ(TableAlias("Roads.TAB"), "roads");
    EXPECT_EQ(TableAlias("my.roads.tab"), "my");
    EXPECT_EQ(TableAlias("Parcels_2.tab"), "parcels_2");
}

TEST(TableAlias, IsAlwaysAValidMapBasicName) {
    EXPECT_EQ(TableAlias("my roads.tab"), "my_roads");
    EXPECT_EQ(TableAlias("2019-roads.tab"), "_2019_roads");
    EXPECT_EQ(TableAlias(".tab"), "_");
    EXPECT_EQ(TableAlias(".x.tab"), "_");
    EXPECT_EQ(TableAlias("_x.tab"), "_x");
    EXPECT_EQ(TableAlias("\xC3\x84rger.tab"), "__rger"); // every byte of a non-ASCII letter
    EXPECT_EQ(TableAlias("a$b#c.tab"), "a_b_c");
}

TEST(ErrorText, TrimsTrailingBlanksControlsAndPeriodsOnly) {
    EXPECT_EQ(TrimErrorText("Table roads not found.  \r\n"), "Table roads not found");
    EXPECT_EQ(TrimErrorText("v. 4.0 ...\t. ."), "v. 4.0");
    EXPECT_EQ(TrimErrorText(" ... "), "");
    EXPECT_EQ(TrimErrorText(std::string("stop\0", 5)), "stop");
    // Bytes above 127 are letters of the code page, not controls, even where char is signed.
    EXPECT_EQ(TrimErrorText("Datei gel\xF6scht\xA0"), "Datei gel\xF6scht\xA0");
}

TEST(ErrorText, FallsBackToSystemTextThenToTheCode) {
    const auto system = [](std::uint32_t code) {
        return code == 0x80004005u ? "Unspecified error.\r\n" : "";
    };
    EXPECT_EQ(ServerErrorText("Bad alias.", 0x80004005u, system), "Bad alias");
    EXPECT_EQ(ServerErrorText(" . ", 0x80004005u, system), "Unspecified error");
    EXPECT_EQ(ServerErrorText("", kDispatchException, system), "OLE error 80020009");
    EXPECT_EQ(ServerErrorText("", 0xabcdef, {}), "OLE error 00ABCDEF");
    EXPECT_EQ(MethodNotSupportedText("do"), "Method 'do' not supported by automation object");
}

TEST(SendCommand, CallsDoWithTheStatementOrSaysThereIsNoObject) {
    AutomationVariant mapInfo;
    try {
        SendCommand(mapInfo, "close all");
        FAIL() << "no exception";
    } catch (const ServerError&) {
        FAIL() << "an empty reference is not a server error";
    } catch (const AutomationError& e) {
        EXPECT_STREQ(e.what(), "Variant does not reference an automation object");
    }
    RecordingFactory factory;
    mapInfo.Assign(factory.CreateObject(kMapInfoProgId));
    SendCommand(mapInfo, "close all");
    EXPECT_EQ(factory.log->calls, (std::vector<RecordedCall>{{"do", "close all"}}));
}

TEST(ConnectMapInfo, CreatesTheObjectAndSendsTheSetUpStatementsInOrder) {
    RecordingFactory factory;
    AutomationVariant mapInfo;
    ASSERT_TRUE(ConnectMapInfo(mapInfo, factory, 4242));
    EXPECT_EQ(factory.progIds, std::vector<std::string>{"MapInfo.Application"});
    EXPECT_EQ(factory.log->calls,
              (std::vector<RecordedCall>{{"do", "Set Next Document Parent 4242 Style 1"},
                                         {"do", "Set Application Window 4242"},
                                         {"do", "set progressbars off"}}));
    EXPECT_FALSE(mapInfo.IsEmpty());
    mapInfo.Clear();
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
        EXPECT_FALSE(ConnectMapInfo(mapInfo, factory, 7)) << failing;
        EXPECT_EQ(factory.log->calls.size(), failing + 1);
        EXPECT_FALSE(mapInfo.IsEmpty());
    }
}

TEST(ConnectMapInfo, FalseWhenTheServerCannotBeCreatedOrAnythingElseThrows) {
    RecordingFactory noServer;
    noServer.failCreation = [] { throw AutomationError("Invalid class string"); };
    AutomationVariant mapInfo;
    EXPECT_FALSE(ConnectMapInfo(mapInfo, noServer, 7));
    EXPECT_TRUE(mapInfo.IsEmpty());

    RecordingFactory odd;
    odd.log->onCall = [](const RecordedCall&) { throw std::bad_alloc(); };
    EXPECT_FALSE(ConnectMapInfo(mapInfo, odd, 7));
}

TEST(OpenMapInfoTable, TrueOnSuccessAndFalseForEveryFailureWithoutThrowing) {
    RecordingFactory factory;
    AutomationVariant mapInfo;
    EXPECT_FALSE(OpenMapInfoTable(mapInfo, "/d/roads.tab", "roads")); // no object yet
    mapInfo.Assign(factory.CreateObject(kMapInfoProgId));
    EXPECT_TRUE(OpenMapInfoTable(mapInfo, "/d/a\"b.tab", "a_b"));
    EXPECT_EQ(factory.log->Arguments(),
              std::vector<std::string>{"open table \"/d/a\"\"b.tab\" as a_b"});

    factory.log->onCall = [](const RecordedCall&) { throw ServerError("File not found"); };
    EXPECT_FALSE(OpenMapInfoTable(mapInfo, "/d/x.tab", "x"));
    factory.log->onCall = [](const RecordedCall&) { throw AutomationError("Disconnected"); };
    EXPECT_FALSE(OpenMapInfoTable(mapInfo, "/d/x.tab", "x"));
}

} // namespace
} // namespace vantero
