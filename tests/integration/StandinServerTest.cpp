// The real stand-in server on a private bus: a pack run through the program's own link, calls
// through gdbus as a person would make them, and its life.

#include "catalogue/ListTables.h"
#include "mapinfo/MapInfoLink.h"
#include "mapinfo/Statements.h"
#include "mapinfo/dbus/DBusAutomation.h"
#include "pack/PackRun.h"
#include "pack/RunLog.h"
#include "tests/standin/TableSupport.h"
#include "tests/support/PackViews.h"
#include "tests/support/PrivateBus.h"

#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>
#include <ogr_core.h>

namespace vantero {
namespace {

bool nameOwned(const QDBusConnection& connection) {
    return connection.interface()->isServiceRegistered(QString::fromLatin1(kMapInfoProgId)).value();
}

// my.roads.tab is refused and stays open under "my"; my.rivers.tab, with the same alias, is packed
// under a fresh one, and the log says so only for the table that was packed.
TEST(StandinServer, ARefusedTableDoesNotMakeTheNextWithItsAliasSeemPacked) {
    test::PrivateBus bus{{test::BusService{kMapInfoProgId, VANTERO_MAPINFO_STANDIN}}};
    test::TempFolder folder;
    QDBusConnection connection = bus.connect("standin-test");
    DBusAutomationFactory factory{connection};
    AutomationVariant mapInfo;
    ASSERT_TRUE(connectMapInfo(mapInfo, factory, 0x100000005ull).connected);
    RecordTable tableList, log;
    declareTableListFields(tableList);
    tableList.open();
    for (const char* name : {"my.roads", "my.rivers"}) {
        standin::test::makeGdalTable(
            folder.path(), name, {{"name", OFTString, 20}},
            [](int row) {
                return standin::test::NewRow{
                    {"n" + std::to_string(row)}, "POINT (" + std::to_string(row) + " 1)", ""};
            },
            10, {2, 5});
        tableList.append();
        tableList.setString(kTableNameField, name + std::string(".tab"));
        tableList.setString(kTablePathField, folder.path());
        tableList.post();
    }
    const std::string roads = folder.file("my.roads.tab"), rivers = folder.file("my.rivers.tab");
    test::writeBytes(roads, test::readBytes(roads) +
                                "begin_metadata\n\"\\IsReadOnly\" = \"TRUE\"\nend_metadata\n");
    declareRunLogFields(log);
    log.open();
    test::RecordedView view;
    PackRun run(view, log);
    run.windowShown(mapInfo);
    run.run(mapInfo, test::ChosenRows(tableList, {0, 1}), tableList);

    const std::size_t message = log.requireField(kMessageField);
    ASSERT_EQ(log.recordCount(), 3u);
    EXPECT_NE(log.valueAt(0, message).find("my.roads"), std::string::npos);
    EXPECT_EQ(log.valueAt(1, message), "Packed table " + rivers);
    EXPECT_EQ(standin::test::readWithGdal(rivers).features.back().fid, 8);
    EXPECT_EQ(standin::test::readWithGdal(roads).features.back().fid, 10);
    mapInfo.clear();
    QDBusConnection::disconnectFromBus(connection.name());
}

// Errors come back as a person calling by hand sees them, and the server goes on answering.
TEST(StandinServer, AnswersGdbusAsAPersonWouldCallIt) {
    test::PrivateBus bus{{test::BusService{kMapInfoProgId, VANTERO_MAPINFO_STANDIN}}};
    test::TempFolder folder;
    QProcess gdbus;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QString::fromStdString(bus.address()));
    gdbus.setProcessEnvironment(env);
    const auto call = [&](const std::string& statement) {
        const QString call = QStringLiteral("call --session --dest MapInfo.Application "
                                            "--object-path / --method MapInfo.Application.do");
        gdbus.start(QStringLiteral("gdbus"), call.split(u' ') << QString::fromStdString(statement));
        EXPECT_TRUE(gdbus.waitForFinished(20000));
        const QByteArray text = gdbus.readAllStandardOutput() + gdbus.readAllStandardError();
        return std::make_pair(gdbus.exitCode(), QString::fromUtf8(text).trimmed().toStdString());
    };
    EXPECT_EQ(call("close all"), std::make_pair(0, std::string("()")));
    const auto [code, text] = call("close table roads");
    EXPECT_NE(code, 0);
    EXPECT_NE(text.find("MapInfo.Application.Error: Table roads is not open"), std::string::npos)
        << text;
    // Each gdbus is a caller that leaves at once; the table it opened is there for the next.
    const std::string tab = standin::test::copyTable(standin::test::testData(""),
                                                     "compr_symb_deleted_records", folder.path());
    EXPECT_EQ(call(openTableStatement(tab, "roads")).first, 0);
    EXPECT_EQ(call("Pack Table roads Data"), std::make_pair(0, std::string("()")));
    EXPECT_EQ(standin::test::readWithGdal(tab).features.back().fid, 396);
}

TEST(StandinServerLife, EndsAWhileAfterItsLastCallerHasLeftTheBusAndNotBefore) {
    // The server takes the grace time from the bus's environment, which is this process's.
    qputenv("VANTERO_STANDIN_LINGER_MS", "1500");
    test::PrivateBus bus{{test::BusService{kMapInfoProgId, VANTERO_MAPINFO_STANDIN}}};
    qunsetenv("VANTERO_STANDIN_LINGER_MS");
    QDBusConnection watcher = bus.connect("standin-test");
    const auto call = [](const QDBusConnection& c) {
        QDBusMessage m = QDBusMessage::createMethodCall(
            QString::fromLatin1(kMapInfoProgId), QStringLiteral("/"),
            QString::fromLatin1(kMapInfoProgId), QStringLiteral("do"));
        m << QStringLiteral("close all");
        return c.call(m).type() == QDBusMessage::ReplyMessage;
    };
    QString first, second;
    {
        QDBusConnection a = bus.connect("standin-test");
        QDBusConnection b = bus.connect("standin-test");
        first = a.name();
        second = b.name();
        ASSERT_TRUE(call(a));
        ASSERT_TRUE(call(b));
    }
    QDBusConnection::disconnectFromBus(first);
    QThread::msleep(500);
    EXPECT_TRUE(nameOwned(watcher)) << "ended while a caller was still on the bus";
    QDBusConnection::disconnectFromBus(second);
    QThread::msleep(500);
    EXPECT_TRUE(nameOwned(watcher)) << "ended at once, with no time for the next caller";
    QElapsedTimer waited;
    waited.start();
    while (nameOwned(watcher) && waited.elapsed() < 10000)
        QThread::msleep(50);
    EXPECT_FALSE(nameOwned(watcher)) << "still running after the last caller left";
    QDBusConnection::disconnectFromBus(watcher.name());
}

} // namespace
} // namespace vantero
