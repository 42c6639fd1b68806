// The whole program as a user runs it, offscreen, on a private bus with the real stand-in server:
// a folder of GDAL-made tables with deleted rows, three of them selected, Pack Tables, OK. GDAL
// then reads the packed tables.

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
#include <QStatusBar>
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
    // Four tables; the one that is not selected must stay as it is.
    const std::map<std::string, std::vector<long long>> deleted = {
        {"roads", {2, 3, 7}}, {"parcels", {1, 20}}, {"wells", {5}}, {"zoning", {4}}};
    for (const auto& [name, rows] : deleted)
        makeGdalTable(
            folder.path(), name, {{"name", OFTString, 20}},
            [&](int row) {
                return NewRow{{name + std::to_string(row)},
                              "POINT (" + std::to_string(row) + " " + std::to_string(row) + ")",
                              ""};
            },
            20, rows);
    const Reading zoningBefore = readWithGdal(folder.file("zoning.tab"));

    PrivateBus bus{{BusService{kMapInfoProgId, VANTERO_MAPINFO_STANDIN}}};
    QDBusConnection connection = bus.connect("end-to-end");
    DBusAutomationFactory client(connection);
    test::RecordingFactory servers;
    servers.forwardTo = &client;
    PromptScript prompts;
    test::ProgramRun program(servers);

    std::vector<std::string> log, selected;
    QString statusAfter;
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
            bool first = true;
            for (int d = 0; d < grid->model()->rowCount(); ++d) {
                const std::size_t row = grid->selection().listRowAt(static_cast<std::size_t>(d));
                const std::string name = list.valueAt(row, list.requireField(kTableNameField));
                if (name == "zoning.tab")
                    continue;
                selected.push_back(name);
                QTest::mouseClick(grid->viewport(), Qt::LeftButton,
                                  first ? Qt::NoModifier : Qt::ControlModifier,
                                  grid->visualRect(grid->model()->index(d, 0)).center());
                first = false;
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
        QTimer::singleShot(0, main, [&statusAfter, main] {
            statusAfter = main->statusBar()->currentMessage();
            part<QAction>(main, "exitAction")->trigger();
        });
    });
    drive.start(50);
    EXPECT_EQ(program.run(), 0);
    QDBusConnection::disconnectFromBus(connection.name());

    EXPECT_FALSE(program.timedOut);
    EXPECT_TRUE(prompts.prompts.empty());
    ASSERT_EQ(selected.size(), 3u);
    ASSERT_EQ(log.size(), 4u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(log[static_cast<std::size_t>(i)],
                  "Packed table " + folder.path() + "/" + selected[static_cast<std::size_t>(i)]);
    EXPECT_EQ(log[3], "Process Complete.");
    EXPECT_EQ(statusAfter, QStringLiteral("3 Table(s) selected"));

    for (const auto& [name, rows] : deleted) {
        const Reading after = readWithGdal(folder.file(name + ".tab"));
        EXPECT_EQ(after.error, "") << name;
        if (name == "zoning") {
            EXPECT_EQ(after.features, zoningBefore.features); // not selected: untouched
            continue;
        }
        // Only the live rows, numbered from 1 without gaps, in their old order.
        ASSERT_EQ(after.features.size(), 20 - rows.size()) << name;
        long long fid = 0, source = 0;
        for (const Feature& feature : after.features) {
            EXPECT_EQ(feature.fid, ++fid) << name;
            do
                ++source;
            while (std::find(rows.begin(), rows.end(), source) != rows.end());
            EXPECT_EQ(feature.fields.at(0), name + std::to_string(source)) << name;
        }
    }
}

} // namespace
} // namespace vantero
