// vantero-pack as a scheduler runs it: the real program on a private bus, against the scripted
// fake server and the real stand-in.

#include "mapinfo/MapInfoLink.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/TempFolder.h"

#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>

namespace vantero {
namespace {

using test::BusService;
using test::FakeServerFolder;
using test::PrivateBus;
using test::TempFolder;

// The program on the bus, with its standard output and error.
struct PackCommand {
    QProcess process;
    explicit PackCommand(const PrivateBus& bus, const QStringList& arguments) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                   QString::fromStdString(bus.address()));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(VANTERO_PACK_PROGRAM), arguments);
    }
    int finish() {
        EXPECT_TRUE(process.waitForFinished(30000));
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    std::string out() { return process.readAllStandardOutput().toStdString(); }
};

// Ctrl+C while MapInfo packs the first table: that table is finished, no other is started, and
// the log says the run was stopped; a second Ctrl+C ends the program at once.
TEST(PackCommand, CtrlCStopsAfterTheTableInHandAndTwiceEndsAtOnce) {
    PrivateBus bus{{BusService{kMapInfoProgId, VANTERO_FAKE_MAPINFO}}};
    FakeServerFolder server(bus.serverFolder());
    TempFolder folder;
    QStringList tables;
    for (const char* name : {"a.tab", "b.tab", "c.tab"}) {
        test::writeBytes(folder.file(name), "!table\n  Type NATIVE\n");
        tables << QString::fromStdString(folder.file(name));
    }
    const auto packing = [&](const std::string& table) {
        for (int waited = 0; waited < 200; ++waited) {
            const std::vector<std::string> statements = server.statements();
            if (std::find(statements.begin(), statements.end(),
                          "Pack Table " + table + " Graphic Data") != statements.end())
                return true;
            QThread::msleep(50);
        }
        return false;
    };

    server.setScript("sleep\tPack Table a\t2\n");
    PackCommand once(bus, tables);
    ASSERT_TRUE(packing("a"));
    kill(static_cast<pid_t>(once.process.processId()), SIGINT);
    EXPECT_EQ(once.finish(), 130);
    const std::string out = once.out();
    EXPECT_NE(out.find("Packed table " + folder.file("a.tab") + "\nProcess Stop by user.\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(server.statements().back(), "close all");

    server.setScript("sleep\tPack Table b\t5\n");
    PackCommand twice(bus, tables);
    ASSERT_TRUE(packing("b"));
    kill(static_cast<pid_t>(twice.process.processId()), SIGINT);
    QThread::msleep(100);
    kill(static_cast<pid_t>(twice.process.processId()), SIGINT);
    EXPECT_TRUE(twice.process.waitForFinished(3000)) << "a second Ctrl+C did not end it at once";
    EXPECT_EQ(twice.process.exitCode(), 130);
}

} // namespace
} // namespace vantero
