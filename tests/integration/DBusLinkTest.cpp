// The Linux link against the scripted fake server on a private bus: what reaches the server and
// what each kind of failure turns into.

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
    FakeServerFolder server{bus.serverFolder()};
    QDBusConnection connection = bus.connect("link-test");
    DBusAutomationFactory factory{connection};
    AutomationVariant mapInfo;

    void TearDown() override {
        mapInfo.clear();
        QDBusConnection::disconnectFromBus(connection.name());
    }

    void connected() { ASSERT_TRUE(connectMapInfo(mapInfo, factory, 0x100000005ull).connected); }

    // The kind and message of the exception the statement raises.
    std::string failure(const std::string& statement) {
        try {
            sendCommand(mapInfo, statement);
        } catch (const ServerError& e) {
            return std::string("ServerError: ") + e.what();
        } catch (const AutomationError& e) {
            return std::string("AutomationError: ") + e.what();
        }
        return "(no exception)";
    }
};

// A server already on the bus is used as it is; the other tests show that connecting starts one.
// Bytes outside the locale's encoding reach it as replacement characters.
TEST_F(DBusLink, StatementsReachTheServerOnTheBusAsSent) {
    ASSERT_TRUE(
        connection.interface()->startService(QString::fromLatin1(kMapInfoProgId)).isValid());
    connected();
    EXPECT_EQ(server.statements(),
              (Lines{"Set Next Document Parent 4294967301 Style 1",
                     "Set Application Window 4294967301", "set progressbars off"}));
    EXPECT_TRUE(openMapInfoTable(mapInfo, "/d/caf\xE9.tab", "caf_"));
    EXPECT_EQ(server.statements().back(), "open table \"/d/caf\xEF\xBF\xBD.tab\" as caf_");
    EXPECT_EQ(server.starts(), 1);
}

TEST_F(DBusLink, ServerErrorsCarryTheTrimmedMessageAndTheServerGoesOn) {
    connected();
    server.setScript("error\tPack Table roads\tTable roads is read-only. \r\n\n"
                     "error\tPack Table dots\t . .. \t\n");
    EXPECT_EQ(failure("Pack Table roads Data"), "ServerError: Table roads is read-only");
    EXPECT_EQ(failure("Pack Table dots Data"), "ServerError: OLE error 80020009");
    sendCommand(mapInfo, closeAllStatement());
    EXPECT_EQ(server.statements().back(), "close all");
}

TEST_F(DBusLink, ServerWithoutTheMethodIsAGeneralError) {
    server.setScript("nodo\t\n");
    mapInfo.assign(factory.createObject(kMapInfoProgId));
    EXPECT_EQ(failure("close all"),
              "AutomationError: Method 'do' not supported by automation object");
}

TEST_F(DBusLink, ServerThatExitsMakesEveryLaterCallFailAndIsNotStartedAgain) {
    connected();
    server.setScript("exit\tPack Table\n");
    EXPECT_TRUE(openMapInfoTable(mapInfo, "/d/roads.tab", "roads"));
    // In the words Windows has for the same events: gone during the call, then gone.
    EXPECT_EQ(failure("Pack Table roads Data"),
              "AutomationError: The remote procedure call failed");
    server.setScript("");
    EXPECT_EQ(failure("close all"),
              "AutomationError: The object invoked has disconnected from its clients");
    EXPECT_FALSE(openMapInfoTable(mapInfo, "/d/roads.tab", "roads"));
    try {
        sendCommand(mapInfo, closeAllStatement());
    } catch (const AutomationError& e) {
        EXPECT_EQ(e.reason().rfind("org.freedesktop.DBus.Error.", 0), 0u) << e.reason();
    }
    EXPECT_EQ(server.starts(), 1);
    EXPECT_FALSE(
        connection.interface()->isServiceRegistered(QString::fromLatin1(kMapInfoProgId)).value());
    EXPECT_EQ(server.statements().back(), "Pack Table roads Data");
}

// What the link then makes of a failure to create the object is the link's own tests'.
TEST(DBusLinkWithoutServer, NoServerRegisteredOrNoBusIsAnAutomationError) {
    PrivateBus bus;
    QDBusConnection connection = bus.connect("link-test");
    DBusAutomationFactory factory(connection);
    try {
        factory.createObject(kMapInfoProgId);
        ADD_FAILURE() << "created an object without a server";
    } catch (const AutomationError& e) {
        EXPECT_NE(std::string(e.what()).find("ServiceUnknown"), std::string::npos) << e.what();
    }
    QDBusConnection::disconnectFromBus(connection.name());

    QDBusConnection noBus = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("no-bus"));
    DBusAutomationFactory unreachable(noBus);
    EXPECT_THROW(unreachable.createObject(kMapInfoProgId), AutomationError);
    QDBusConnection::disconnectFromBus(noBus.name());
}

} // namespace
} // namespace vantero
