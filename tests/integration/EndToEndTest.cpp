// The whole program as a user runs it, offscreen, on a private bus with the real stand-in server:
// a folder of GDAL-made tables with deleted rows, all selected, Pack Tables, OK; GDAL reads them.

#include "catalogue/ListTables.h"
#include "mapinfo/MapInfoLink.h"
#include "mapinfo/dbus/DBusAutomation.h"
#include "pack/RunLog.h"
#include "tests/standin/TableSupport.h"
#include "tests/support/OnShow.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/Windows.h"
#include "ui/PackOptionsDialog.h"
#include "ui/PackWindow.h"
#include "ui/Prompts.h"
#include "ui/SplashWindow.h"
#include "ui/TableGrid.h"

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <ogr_core.h>

#include <map>

namespace vantero {
namespace {

using namespace standin::test;
using test::BusService;
using test::OnShow;
using test::part;
using test::PrivateBus;

TEST(EndToEnd, ThreeSelectedTablesArePackedByTheStandinAndKeepTheirLiveRows) {
    test::TempFolder folder;
    const std::map<std::string, std::vector<long long>> deleted = {
        {"roads", {2, 3, 7}}, {"parcels", {1, 20}}, {"wells", {5}}};
    std::map<std::string, Reading> before;
    for (const auto& [name, rows] : deleted) {
        const auto row = [&](int n) {
            return NewRow{{name + std::to_string(n)}, "POINT (" + std::to_string(n) + " 1)", ""};
        };
        makeGdalTable(folder.path(), name, {{"name", OFTString, 20}}, row, 20, rows);
        before[name] = readWithGdal(folder.file(name + ".tab"));
    }

    PrivateBus bus{{BusService{kMapInfoProgId, VANTERO_MAPINFO_STANDIN}}};
    QDBusConnection connection = bus.connect("end-to-end");
    DBusAutomationFactory client(connection);
    PromptScript prompts;
    test::ProgramRun program(client);

    std::vector<std::string> log, expectedLog;
    bool started = false;
    std::unique_ptr<OnShow> okOptions;
    QTimer drive;
    QObject::connect(&drive, &QTimer::timeout, [&] {
        MainWindow* main = program.window();
        if (main == nullptr)
            return;
        auto* packWindow = part<PackWindow>(main, "packWindow");
        if (!started) {
            const auto* splash = part<SplashWindow>(main, "splashWindow");
            if (!splash->connectionAttempted() || splash->isVisible() ||
                QApplication::activeModalWidget() != nullptr)
                return;
            started = true;
            main->listTablesOf(folder.path());
            auto* grid = part<TableGrid>(main, "tableGrid");
            const RecordTable& list = main->tableList();
            for (int d = 0; d < grid->model()->rowCount(); ++d) {
                const std::size_t row = grid->selection().listRowAt(static_cast<std::size_t>(d));
                const std::string name = list.valueAt(row, list.requireField(kTableNameField));
                QTest::mouseClick(grid->viewport(), Qt::LeftButton,
                                  expectedLog.empty() ? Qt::NoModifier : Qt::ControlModifier,
                                  grid->visualRect(grid->model()->index(d, 0)).center());
                expectedLog.push_back("Packed table " + folder.path() + "/" + name);
            }
            auto* options = part<PackOptionsDialog>(main, "packOptionsDialog");
            okOptions = std::make_unique<OnShow>(
                options, [options] { part<QPushButton>(options, "okButton")->click(); });
            QTimer::singleShot(0, main, [main] { part<QAction>(main, "packAction")->trigger(); });
            return;
        }
        auto* cancel = part<QPushButton>(packWindow, "cancelButton");
        if (!packWindow->isVisible() || packWindow->isRunning() || !cancel->isEnabled())
            return;
        const RecordTable& runLog = packWindow->runLog();
        for (std::size_t r = 0; r < runLog.recordCount(); ++r)
            log.emplace_back(runLog.stringAt(r, runLog.requireField(kMessageField)));
        cancel->click();
        drive.stop();
        QTimer::singleShot(0, main, [main] { part<QAction>(main, "exitAction")->trigger(); });
    });
    drive.start(50);
    EXPECT_EQ(program.run(), 0);
    QDBusConnection::disconnectFromBus(connection.name());

    EXPECT_FALSE(program.timedOut);
    EXPECT_TRUE(prompts.prompts.empty());
    expectedLog.push_back("Process Complete.");
    EXPECT_EQ(log, expectedLog);

    for (const auto& [name, rows] : deleted) {
        const Reading after = readWithGdal(folder.file(name + ".tab"));
        EXPECT_EQ(after.error, "") << name;
        // Only the live rows, in their old order, numbered from 1 without gaps.
        ASSERT_EQ(withoutFids(after.features), withoutFids(before[name].features)) << name;
        EXPECT_EQ(after.features.back().fid, static_cast<long long>(20 - rows.size())) << name;
    }
}

} // namespace
} // namespace vantero
