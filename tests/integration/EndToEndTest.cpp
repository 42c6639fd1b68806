// The whole program as a user runs it, offscreen, on a private bus with the real stand-in server:
// a folder of GDAL-made tables with deleted rows, three of them selected, Pack Tables, OK. GDAL
// then reads the packed tables.

#include "app/ProcessState.h"
#include "app/Prompts.h"
#include "app/Startup.h"
#include "mapinfo/MapInfoLink.h"
#include "mapinfo/dbus/DBusAutomation.h"
#include "tests/standin/TableSupport.h"
#include "tests/support/OnShow.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/RecordingAutomation.h"
#include "ui/TableGrid.h"
#include "ui/frmIntro_unit.h"
#include "ui/frmMain_Unit.h"
#include "ui/frmMessage_unit.h"
#include "ui/frmOptions_unit.h"

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
using test::PrivateBus;

TEST(EndToEnd, ThreeSelectedTablesArePackedByTheStandinAndKeepTheirLiveRows) {
    test::TempFolder folder;
    // Four tables; the one that is not selected must stay as it is.
    const std::map<std::string, std::vector<long long>> deleted = {
        {"roads", {2, 3, 7}}, {"parcels", {1, 20}}, {"wells", {5}}, {"zoning", {4}}};
    for (const auto& [name, rows] : deleted)
        MakeGdalTable(
            folder.path(), name, {{"name", OFTString, 20}},
            [&](int row) {
                return NewRow{{name + std::to_string(row)},
                              "POINT (" + std::to_string(row) + " " + std::to_string(row) + ")",
                              ""};
            },
            20, rows);
    const Reading zoningBefore = ReadWithGdal(folder.file("zoning.tab"));

    PrivateBus bus{{BusService{kMapInfoProgId, VANTERO_MAPINFO_STANDIN}}};
    QDBusConnection connection = bus.Connect("end-to-end");
    DBusAutomationFactory client(connection);
    test::RecordingFactory servers;
    servers.forwardTo = &client;
    PromptScript prompts;

    std::vector<std::string> log, selected;
    QString statusAfter;
    bool started = false, timedOut = false;
    std::unique_ptr<OnShow> okOptions;
    QTimer drive;
    QObject::connect(&drive, &QTimer::timeout, [&] {
        if (!started) {
            if (!frmIntro->ConnectionAttempted() || frmIntro->isVisible() ||
                QApplication::activeModalWidget() != nullptr)
                return;
            started = true;
            frmMain->PTShellTree1Change(folder.path());
            TableGrid* grid = frmMain->dxDBGrid1;
            const std::size_t nameField = frmMain->memTabList.RequireField("TableName");
            bool first = true;
            for (int d = 0; d < grid->model()->rowCount(); ++d) {
                const std::size_t row = grid->Selection().ListRowAt(static_cast<std::size_t>(d));
                const std::string name = frmMain->memTabList.ValueAt(row, nameField);
                if (name == "zoning.tab")
                    continue;
                selected.push_back(name);
                QTest::mouseClick(grid->viewport(), Qt::LeftButton,
                                  first ? Qt::NoModifier : Qt::ControlModifier,
                                  grid->visualRect(grid->model()->index(d, 0)).center());
                first = false;
            }
            okOptions = std::make_unique<OnShow>(frmOptions, [] { frmOptions->Button1->click(); });
            QTimer::singleShot(0, frmMain, [] { frmMain->actPack->trigger(); });
            return;
        }
        if (!frmMessage->isVisible() || frmMessage->Running() || !frmMessage->btCancel->isEnabled())
            return;
        const std::size_t field = frmMessage->memResult.RequireField("Message");
        for (std::size_t r = 0; r < frmMessage->memResult.RecordCount(); ++r)
            log.emplace_back(frmMessage->memResult.StringAt(r, field));
        frmMessage->btCancel->click();
        drive.stop();
        QTimer::singleShot(0, frmMain, [&] {
            statusAfter = frmMain->StatusBar1->currentMessage();
            frmMain->dxFileExit->trigger();
        });
    });
    drive.start(50);
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [&] {
        timedOut = true;
        RequestTermination();
    });
    deadline.start(60000);
    EXPECT_EQ(RunVantero(servers), 0);
    QDBusConnection::disconnectFromBus(connection.name());

    EXPECT_FALSE(timedOut);
    EXPECT_TRUE(prompts.prompts.empty());
    ASSERT_EQ(selected.size(), 3u);
    ASSERT_EQ(log.size(), 4u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(log[static_cast<std::size_t>(i)],
                  "Packed table " + folder.path() + "/" + selected[static_cast<std::size_t>(i)]);
    EXPECT_EQ(log[3], "Process Complete.");
    EXPECT_EQ(statusAfter, QStringLiteral("3 Table(s) selected"));

    for (const auto& [name, rows] : deleted) {
        const Reading after = ReadWithGdal(folder.file(name + ".tab"));
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
