// vantero-pack as a scheduler runs it: the real program on a private bus, against the scripted
// fake server and the real stand-in.

#include "mapinfo/MapInfoLink.h"
#include "tests/standin/TableSupport.h"
#include "tests/support/PrivateBus.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <map>
#include <ogr_core.h>

namespace vantero {
namespace {

// The program on the bus.
struct PackCommand {
    QProcess process;
    PackCommand(const test::PrivateBus& bus, const std::vector<std::string>& arguments) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                   QString::fromStdString(bus.address()));
        process.setProcessEnvironment(env);
        QStringList list;
        for (const std::string& argument : arguments)
            list << QString::fromStdString(argument);
        process.start(QStringLiteral(VANTERO_PACK_PROGRAM), list);
    }
    int finish() {
        EXPECT_TRUE(process.waitForFinished(30000));
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    std::string out() { return process.readAllStandardOutput().toStdString(); }
    void interrupt() { kill(static_cast<pid_t>(process.processId()), SIGINT); }
};

// Ctrl+C while MapInfo packs the first table: that table is finished, no other is started, and
// the log says the run was stopped; a second Ctrl+C ends the program at once.
TEST(PackCommand, CtrlCStopsAfterTheTableInHandAndTwiceEndsAtOnce) {
    test::PrivateBus bus{{test::BusService{kMapInfoProgId, VANTERO_FAKE_MAPINFO}}};
    test::FakeServerFolder server(bus.serverFolder());
    test::TempFolder folder;
    std::vector<std::string> tables;
    for (const char* name : {"a.tab", "b.tab", "c.tab"}) {
        tables.push_back(folder.file(name));
        test::writeBytes(tables.back(), "!table\n  Type NATIVE\n");
    }
    const auto packing = [&](const std::string& table) {
        const std::string pack = "Pack Table " + table + " Graphic Data";
        for (int waited = 0; waited < 200; QThread::msleep(50), ++waited)
            if (const auto sent = server.statements(); std::count(sent.begin(), sent.end(), pack))
                return true;
        return false;
    };

    server.setScript("sleep\tPack Table a\t2\n");
    PackCommand once(bus, tables);
    ASSERT_TRUE(packing("a"));
    once.interrupt();
    EXPECT_EQ(once.finish(), 130);
    const std::string out = once.out();
    EXPECT_NE(out.find("Packed table " + folder.file("a.tab") + "\nProcess Stop by user.\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(server.statements().back(), "close all");

    server.setScript("sleep\tPack Table b\t5\n");
    PackCommand twice(bus, tables);
    ASSERT_TRUE(packing("b"));
    twice.interrupt();
    QThread::msleep(100);
    twice.interrupt();
    EXPECT_TRUE(twice.process.waitForFinished(3000)) << "a second Ctrl+C did not end it at once";
    EXPECT_EQ(twice.process.exitCode(), 130);
}

// Bytes of every file in the folder and below.
std::uint64_t folderBytes(const std::string& folder) {
    std::uint64_t bytes = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            bytes += entry.file_size();
    return bytes;
}

// A dry run over a folder tree says exactly which rows a pack drops and nearly what it frees,
// and changes nothing; after the real pack, --only-needed has nothing left to do.
TEST(PackCommand, ADryRunSaysWhatThePackThenDoes) {
    test::PrivateBus bus{{test::BusService{kMapInfoProgId, VANTERO_MAPINFO_STANDIN}}};
    test::TempFolder folder;
    std::filesystem::create_directories(folder.file("north/wells"));
    const std::map<std::string, std::vector<long long>> deleted = {
        {"roads", {2, 3, 7, 8, 9}}, {"north/parcels", {1, 20, 21}}, {"north/wells/wells", {}}};
    const auto row = [](int n) {
        const std::string x = std::to_string(n);
        return standin::test::NewRow{
            {"feature " + x}, "LINESTRING (" + x + " 0," + x + " 5,3 3)", ""};
    };
    for (const auto& [name, rows] : deleted)
        standin::test::makeGdalTable(folder.path(), name, {{"name", OFTString, 40}}, row, 30, rows);
    const standin::test::Snapshot before = standin::test::takeSnapshot(folder.path());

    PackCommand dry(bus, {"-rn", "--json", folder.path()});
    EXPECT_EQ(dry.finish(), 0);
    EXPECT_EQ(standin::test::takeSnapshot(folder.path()), before) << "a dry run changed files";
    std::map<std::string, int> deletedRows;
    long long reclaimable = -1;
    for (const QByteArray& line : QByteArray::fromStdString(dry.out()).split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (object.contains(QStringLiteral("table")))
            deletedRows[object.value(QStringLiteral("table")).toString().toStdString()] =
                object.value(QStringLiteral("deletedRows")).toInt(-1);
        else if (object.contains(QStringLiteral("tables")))
            reclaimable = object.value(QStringLiteral("reclaimableBytes")).toInteger(-1);
    }
    ASSERT_EQ(deletedRows.size(), deleted.size()) << dry.out();
    for (const auto& [name, rows] : deleted)
        EXPECT_EQ(deletedRows[folder.file(name + ".tab")], static_cast<int>(rows.size())) << name;

    const std::uint64_t sizeBefore = folderBytes(folder.path());
    PackCommand pack(bus, {"-r", folder.path()});
    EXPECT_EQ(pack.finish(), 0) << pack.out();
    const double freed = static_cast<double>(sizeBefore - folderBytes(folder.path()));
    EXPECT_GT(freed, 0);
    EXPECT_NEAR(static_cast<double>(reclaimable), freed, freed * 0.03);

    PackCommand again(bus, {"-r", "--only-needed", folder.path()});
    EXPECT_EQ(again.finish(), 0);
    EXPECT_EQ(again.out().find("Packed table"), std::string::npos) << again.out();
}

} // namespace
} // namespace vantero
