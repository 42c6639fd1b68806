// The Linux link against the scripted fake server on a private bus: what reaches the server, in
// what order, and what each kind of failure turns into.

#include "mapinfo/AutomationError.h"
#include "mapinfo/MapInfoLink.h"
#include "mapinfo/Statements.h"
#include "mapinfo/dbus/DBusAutomation.h"
#include "tests/support/PrivateBus.h"

#include <QDBusConnectionInterface>
#include <gtest/gtest.h>

namespace vantero {
namespace {

using test::BusService;
using test::FakeServerFolder;
using test::PrivateBus;

using Lines = std::vector<std::string>;

class DBusLink : public ::testing::Test {
protected:
    PrivateBus bus{{BusService{kMapInfoProgId, VANTERO_FAKE_MAPINFO}}};
    FakeServerFolder server{bus.ServerFolder()};
    QDBusConnection connection = bus.Connect("link-test");
    DBusAutomationFactory factory{connection};
    AutomationVariant mapInfo;

    void TearDown() override {
        mapInfo.Clear();
        QDBusConnection::disconnectFromBus(connection.name());
    }

    void Connected() { ASSERT_TRUE(ConnectMapInfo(mapInfo, factory, 0x100000005ull)); }

    // The message of the exception the statement raises; also says whether it was a ServerError.
    std::pair<std::string, bool> Failure(const std::string& statement) {
        try {
            SendCommand(mapInfo, statement);
        } catch (const ServerError& e) {
            return {e.what(), true};
        } catch (const AutomationError& e) {
            return {e.what(), false};
        }
        return {"(no exception)", false};
    }
};

TEST_F(DBusLink, ConnectionStartsTheServerOnceAndSendsTheSetUpStatements) {
    Connected();
    EXPECT_EQ(server.Statements(),
              (Lines{"Set Next Document Parent 4294967301 Style 1",
                     "Set Application Window 4294967301", "set progressbars off"}));
    SendCommand(mapInfo, CloseAllStatement());
    EXPECT_TRUE(OpenMapInfoTable(mapInfo, "/d/my \"best\".tab", TableAlias("my \"best\".tab")));
    SendCommand(mapInfo, PackTableStatement("my__best_", true, true));
    EXPECT_EQ(server.Statements().size(), 6u);
    EXPECT_EQ(server.Statements()[4], "open table \"/d/my \"\"best\"\".tab\" as my__best_");
    EXPECT_EQ(server.Statements()[5], "Pack Table my__best_ Graphic Data");
    EXPECT_EQ(server.Starts(), 1);
}

TEST_F(DBusLink, ServerAlreadyOnTheBusIsUsedAsItIs) {
    ASSERT_TRUE(
        connection.interface()->startService(QString::fromLatin1(kMapInfoProgId)).isValid());
    Connected();
    EXPECT_EQ(server.Starts(), 1);
    EXPECT_EQ(server.Statements().size(), 3u);
}

TEST_F(DBusLink, ServerErrorsCarryTheTrimmedMessageAndTheServerGoesOn) {
    Connected();
    server.SetScript("error\tPack Table roads\tTable roads is read-only. \r\n\n"
                     "error\tPack Table empty\t\n"
                     "error\tPack Table dots\t . .. \t\n");
    EXPECT_EQ(Failure("Pack Table roads Data"),
              std::make_pair(std::string("Table roads is read-only"), true));
    EXPECT_EQ(Failure("Pack Table empty Data"),
              std::make_pair(std::string("OLE error 80020009"), true));
    EXPECT_EQ(Failure("Pack Table dots Data"),
              std::make_pair(std::string("OLE error 80020009"), true));
    SendCommand(mapInfo, CloseAllStatement());
    EXPECT_EQ(server.Statements().back(), "close all");
}

TEST_F(DBusLink, ServerWithoutTheMethodIsAGeneralError) {
    server.SetScript("nodo\t\n");
    EXPECT_FALSE(ConnectMapInfo(mapInfo, factory, 1));
    EXPECT_FALSE(mapInfo.IsEmpty()); // created, but the first statement failed
    EXPECT_EQ(Failure("close all"),
              std::make_pair(std::string("Method 'do' not supported by automation object"), false));
}

TEST_F(DBusLink, ServerThatExitsMakesEveryLaterCallFailAndIsNotStartedAgain) {
    Connected();
    server.SetScript("exit\tPack Table\n");
    EXPECT_TRUE(OpenMapInfoTable(mapInfo, "/d/roads.tab", "roads"));
    const auto [packMessage, packIsServerError] = Failure("Pack Table roads Data");
    EXPECT_FALSE(packIsServerError) << packMessage;
    EXPECT_NE(packMessage.find("org.freedesktop.DBus.Error."), std::string::npos) << packMessage;
    server.SetScript("");
    for (int i = 0; i < 2; ++i) {
        const auto [message, isServerError] = Failure("close all");
        EXPECT_FALSE(isServerError) << message;
        EXPECT_FALSE(OpenMapInfoTable(mapInfo, "/d/roads.tab", "roads"));
    }
    EXPECT_EQ(server.Starts(), 1);
    EXPECT_FALSE(
        connection.interface()->isServiceRegistered(QString::fromLatin1(kMapInfoProgId)).value());
    EXPECT_EQ(server.Statements().back(), "Pack Table roads Data");
}

TEST_F(DBusLink, BytesOutsideTheLocaleEncodingReachTheServerAsReplacementCharacters) {
    Connected();
    EXPECT_TRUE(OpenMapInfoTable(mapInfo, "/d/caf\xE9.tab", "caf_"));
    EXPECT_EQ(server.Statements().back(), "open table \"/d/caf\xEF\xBF\xBD.tab\" as caf_");
}

TEST(DBusLinkWithoutServer, NoServerRegisteredMeansNoConnection) {
    PrivateBus bus;
    QDBusConnection connection = bus.Connect("link-test");
    DBusAutomationFactory factory(connection);
    AutomationVariant mapInfo;
    EXPECT_FALSE(ConnectMapInfo(mapInfo, factory, 1));
    EXPECT_TRUE(mapInfo.IsEmpty());
    try {
        factory.CreateObject(kMapInfoProgId);
        ADD_FAILURE() << "created an object without a server";
    } catch (const AutomationError& e) {
        EXPECT_NE(std::string(e.what()).find("ServiceUnknown"), std::string::npos) << e.what();
    }
    QDBusConnection::disconnectFromBus(connection.name());
}

TEST(DBusLinkWithoutBus, UnreachableBusIsAnAutomationError) {
    QDBusConnection connection = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("no-bus"));
    DBusAutomationFactory factory(connection);
    EXPECT_THROW(factory.CreateObject(kMapInfoProgId), AutomationError);
    AutomationVariant mapInfo;
    EXPECT_FALSE(ConnectMapInfo(mapInfo, factory, 1));
    QDBusConnection::disconnectFromBus(connection.name());
}

} // namespace
} // namespace vantero
