// The real stand-in server on a private bus, reached through the program's own link and through
// gdbus as a person would: real packs checked with GDAL, error replies, and the server's life.

#include "catalogue/ListTables.h"
#include "mapinfo/AutomationError.h"
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

#include <filesystem>
#include <ogr_core.h>

namespace vantero {
namespace {

using standin::test::copyTable;
using standin::test::Reading;
using standin::test::readWithGdal;
using standin::test::takeSnapshot;
using standin::test::testData;
using standin::test::withoutFids;
using test::BusService;
using test::PrivateBus;
using test::readBytes;
using test::TempFolder;
using test::writeBytes;

bool nameOwned(const QDBusConnection& connection) {
    return connection.interface()->isServiceRegistered(QString::fromLatin1(kMapInfoProgId)).value();
}

class StandinServer : public ::testing::Test {
protected:
    PrivateBus bus{{BusService{kMapInfoProgId, VANTERO_MAPINFO_STANDIN}}};
    TempFolder folder;
    QDBusConnection connection = bus.connect("standin-test");
    DBusAutomationFactory factory{connection};
    AutomationVariant mapInfo;

    void SetUp() override {
        ASSERT_TRUE(connectMapInfo(mapInfo, factory, 0x100000005ull).connected);
    }
    void TearDown() override {
        mapInfo.clear();
        QDBusConnection::disconnectFromBus(connection.name());
    }

    std::string copy(const std::string& table) {
        return copyTable(testData(""), table, folder.path());
    }
};

// my.roads.tab is refused and stays open under "my"; my.rivers.tab, with the same alias, is packed
// under a fresh one, and the log says so only for the table that was packed.
TEST_F(StandinServer, ARefusedTableDoesNotMakeTheNextWithItsAliasSeemPacked) {
    for (const char* name : {"my.roads", "my.rivers"})
        standin::test::makeGdalTable(
            folder.path(), name, {{"name", OFTString, 20}},
            [](int row) {
                return standin::test::NewRow{
                    {"n" + std::to_string(row)}, "POINT (" + std::to_string(row) + " 1)", ""};
            },
            10, {2, 5});
    writeBytes(folder.file("my.roads.tab"),
               readBytes(folder.file("my.roads.tab")) +
                   "begin_metadata\n\"\\IsReadOnly\" = \"TRUE\"\nend_metadata\n");
    RecordTable tableList, log;
    declareTableListFields(tableList);
    tableList.open();
    for (const char* name : {"my.roads.tab", "my.rivers.tab"}) {
        tableList.append();
        tableList.setString(kTableNameField, name);
        tableList.setString(kTablePathField, folder.path());
        tableList.post();
    }
    declareRunLogFields(log);
    log.open();
    test::RecordedView view;
    PackRun run(view, log);
    run.windowShown(mapInfo);
    run.run(mapInfo, test::ChosenRows(tableList, {0, 1}), tableList);

    const std::size_t message = log.requireField(kMessageField);
    ASSERT_EQ(log.recordCount(), 3u);
    EXPECT_NE(log.valueAt(0, message).find("my.roads"), std::string::npos)
        << log.valueAt(0, message);
    EXPECT_EQ(log.valueAt(1, message), "Packed table " + folder.file("my.rivers.tab"));
    EXPECT_EQ(readWithGdal(folder.file("my.rivers.tab")).features.size(), 8u);
    EXPECT_EQ(readWithGdal(folder.file("my.roads.tab")).features.size(), 8u);
    EXPECT_EQ(readWithGdal(folder.file("my.roads.tab")).features.back().fid, 10);
}

// Errors come back as a person calling by hand sees them, and the server goes on answering.
TEST_F(StandinServer, AnswersGdbusAsAPersonWouldCallIt) {
    QProcess gdbus;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QString::fromStdString(bus.address()));
    gdbus.setProcessEnvironment(env);
    const auto call = [&](const QString& statement) {
        gdbus.start(QStringLiteral("gdbus"),
                    {QStringLiteral("call"), QStringLiteral("--session"), QStringLiteral("--dest"),
                     QStringLiteral("MapInfo.Application"), QStringLiteral("--object-path"),
                     QStringLiteral("/"), QStringLiteral("--method"),
                     QStringLiteral("MapInfo.Application.do"), statement});
        EXPECT_TRUE(gdbus.waitForFinished(20000));
        return std::make_pair(gdbus.exitCode(), QString::fromUtf8(gdbus.readAllStandardOutput() +
                                                                  gdbus.readAllStandardError())
                                                    .trimmed()
                                                    .toStdString());
    };
    EXPECT_EQ(call(QStringLiteral("close all")), std::make_pair(0, std::string("()")));
    const auto [code, text] = call(QStringLiteral("close table roads"));
    EXPECT_NE(code, 0);
    EXPECT_NE(text.find("MapInfo.Application.Error: Table roads is not open"), std::string::npos)
        << text;
    // Each gdbus is a caller that leaves at once; the table it opened is there for the next.
    const std::string tab = copy("compr_symb_deleted_records");
    EXPECT_EQ(call(QString::fromStdString(openTableStatement(tab, "roads"))).first, 0);
    EXPECT_EQ(call(QStringLiteral("Pack Table roads Data")), std::make_pair(0, std::string("()")));
    EXPECT_EQ(readWithGdal(tab).features.back().fid, 396);
}

TEST(StandinServerLife, EndsAWhileAfterItsLastCallerHasLeftTheBusAndNotBefore) {
    // The server takes the grace time from the bus's environment, which is this process's.
    qputenv("VANTERO_STANDIN_LINGER_MS", "1500");
    PrivateBus bus{{BusService{kMapInfoProgId, VANTERO_MAPINFO_STANDIN}}};
    qunsetenv("VANTERO_STANDIN_LINGER_MS");
    QDBusConnection watcher = bus.connect("standin-test");
    const auto call = [](const QDBusConnection& c) {
        QDBusMessage m = QDBusMessage::createMethodCall(
            QString::fromLatin1(kMapInfoProgId), QStringLiteral("/"),
            QString::fromLatin1(kMapInfoProgId), QStringLiteral("do"));
        m << QStringLiteral("close all");
        return c.call(m).type() == QDBusMessage::ReplyMessage;
    };
    const auto gone = [&] {
        QElapsedTimer waited;
        waited.start();
        while (nameOwned(watcher) && waited.elapsed() < 10000)
            QThread::msleep(50);
        return !nameOwned(watcher);
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
    EXPECT_TRUE(gone()) << "still running after the last caller left";
    QDBusConnection::disconnectFromBus(watcher.name());
}

} // namespace
} // namespace vantero
