// The real stand-in server on a private bus, reached through the program's own link and through
// gdbus as a person would: real packs checked with GDAL, error replies, and the server's life.

#include "mapinfo/AutomationError.h"
#include "mapinfo/MapInfoLink.h"
#include "mapinfo/Statements.h"
#include "mapinfo/dbus/DBusAutomation.h"
#include "tests/standin/TableSupport.h"
#include "tests/support/PrivateBus.h"

#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

#include <filesystem>

namespace vantero {
namespace {

using standin::test::CopyTable;
using standin::test::Reading;
using standin::test::ReadWithGdal;
using standin::test::TakeSnapshot;
using standin::test::TestData;
using standin::test::WithoutFids;
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
        return CopyTable(TestData(""), table, folder.path());
    }
    // The server's answer: "" when the statement ran, else the ServerError's message.
    std::string run(const std::string& statement) {
        try {
            sendCommand(mapInfo, statement);
        } catch (const ServerError& e) {
            return e.what();
        }
        return "";
    }
};

TEST_F(StandinServer, PacksATableAsTheProgramAsksAndGdalReadsTheResult) {
    const std::string tab = copy("compr_symb_deleted_records");
    const Reading before = ReadWithGdal(tab);
    ASSERT_EQ(before.features.size(), 396u);
    const std::string mapBefore = readBytes(folder.file("compr_symb_deleted_records.map"));

    sendCommand(mapInfo, closeAllStatement());
    const std::string alias = tableAlias("compr_symb_deleted_records.tab");
    ASSERT_TRUE(openMapInfoTable(mapInfo, tab, alias));
    sendCommand(mapInfo, packTableStatement(alias, {true, true}));
    sendCommand(mapInfo, closeAllStatement());

    const Reading after = ReadWithGdal(tab);
    EXPECT_EQ(after.error, "");
    EXPECT_EQ(WithoutFids(after.features), WithoutFids(before.features));
    EXPECT_EQ(after.features.back().fid, 396);
    EXPECT_LT(readBytes(folder.file("compr_symb_deleted_records.map")).size(), mapBefore.size());
    // The alias is free again for the next table of the run.
    ASSERT_TRUE(openMapInfoTable(mapInfo, copy("first_table"), alias));
}

TEST_F(StandinServer, BadInputGetsAClearErrorLeavesTheFilesAndTheServerAnswers) {
    std::filesystem::create_directory(folder.file("roads.tab"));
    writeBytes(folder.file("notes.tab"), "Dear diary,\n");
    // A .DAT shorter than its header says.
    const std::string shortTab = copy("first_table");
    const std::string dat = readBytes(folder.file("first_table.dat"));
    writeBytes(folder.file("first_table.dat"), dat.substr(0, dat.size() - 20));
    // A .MAP whose first object is of a kind no MapInfo writes.
    const std::string oddTab = copy("all_geoms");
    std::string map = readBytes(folder.file("all_geoms.map"));
    const std::string id = readBytes(folder.file("all_geoms.id"));
    const std::size_t first = static_cast<unsigned char>(id[0]) | static_cast<unsigned char>(id[1])
                                                                      << 8;
    map[first] = static_cast<char>(0xF0);
    writeBytes(folder.file("all_geoms.map"), map);
    const auto files = TakeSnapshot(folder.path());

    struct Case {
        std::string statement, messagePart;
    };
    const std::vector<Case> cases = {
        {"Pack the lot", "Unrecognized command: Pack the lot"},
        {"open table \"" + folder.file("x.tab"), "Unterminated string"},
        {openTableStatement(folder.file("roads.tab"), "roads"), "it is a folder"},
        {openTableStatement(folder.file("notes.tab"), "notes"), folder.file("notes.tab")},
        {openTableStatement(folder.file("gone.tab"), "gone"), "No such file or directory"},
        {"Pack Table nothing Data", "Table nothing is not open"},
        {openTableStatement(shortTab, "short"), ""},
        {packTableStatement("short", {false, true}), "first_table"},
        {openTableStatement(oddTab, "odd"), ""},
        {packTableStatement("odd", {true, false}), "all_geoms"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statement);
        const std::string message = run(c.statement);
        if (c.messagePart.empty())
            EXPECT_EQ(message, "");
        else
            EXPECT_NE(message.find(c.messagePart), std::string::npos) << message;
        EXPECT_EQ(run(closeAllStatement().substr(0, 5) + " Table nothing"),
                  "Table nothing is not open")
            << "the server still answers";
    }
    EXPECT_EQ(TakeSnapshot(folder.path()), files);
}

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
}

TEST(StandinServerLife, EndsWhenItsLastCallerHasLeftTheBusAndNotBefore) {
    PrivateBus bus{{BusService{kMapInfoProgId, VANTERO_MAPINFO_STANDIN}}};
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
    EXPECT_TRUE(gone()) << "still running after the last caller left";
    QDBusConnection::disconnectFromBus(watcher.name());
}

} // namespace
} // namespace vantero
