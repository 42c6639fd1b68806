// The pack run's controller against the scripted fake server on a private bus, through the real
// link: the statements in order, the log, the view's states, and each way a run can end.

#include "pack/PackRun.h"
#include "catalogue/ListTables.h"
#include "mapinfo/AutomationError.h"
#include "mapinfo/MapInfoLink.h"
#include "mapinfo/dbus/DBusAutomation.h"
#include "pack/RunLog.h"
#include "tests/support/PrivateBus.h"

#include <gtest/gtest.h>

#include <functional>

namespace vantero {
namespace {

using test::BusService;
using test::FakeServerFolder;
using test::PrivateBus;
using Lines = std::vector<std::string>;

// What a window would show, written down; the test decides the options and what happens while
// the run drains its events.
struct RecordedView : PackView {
    std::string progress = "table name.tab";
    Lines progressTexts;
    bool cancelAndSave = true;
    bool timer = false;
    bool busy = false;
    int optionsAsked = 0;
    PackOptions options;
    std::function<void(int drain)> onDrain;
    int drains = 0;

    void SetProgressText(const std::string& text) override {
        progress = text;
        progressTexts.push_back(text);
    }
    void SetCancelAndSaveEnabled(bool enabled) override { cancelAndSave = enabled; }
    void SetTimerEnabled(bool enabled) override { timer = enabled; }
    void SetBusyCursor(bool b) override { busy = b; }
    void DrainMessages() override {
        if (onDrain)
            onDrain(drains);
        ++drains;
    }
    PackOptions AskPackOptions() override {
        ++optionsAsked;
        return options;
    }
};

// The rows chosen, in table-list order, as the main grid hands them over.
struct ChosenRows : PackSelection {
    const RecordTable& list;
    std::vector<std::size_t> rows;
    ChosenRows(const RecordTable& l, std::vector<std::size_t> r) : list(l), rows(std::move(r)) {}
    std::size_t SelectedCount() const override { return rows.size(); }
    Bookmark SelectedBookmark(std::size_t i) const override {
        return Bookmark{list.RecIdAt(rows.at(i))};
    }
};

class PackRunTest : public ::testing::Test {
protected:
    PrivateBus bus{{BusService{kMapInfoProgId, VANTERO_FAKE_MAPINFO}}};
    FakeServerFolder server{bus.ServerFolder()};
    QDBusConnection connection = bus.Connect("pack-run-test");
    DBusAutomationFactory factory{connection};
    AutomationVariant mapInfo;
    RecordTable tableList;
    RecordTable log;
    bool stop = false;
    RecordedView view;
    PackRun run{view, log, stop};

    void SetUp() override {
        ASSERT_TRUE(ConnectMapInfo(mapInfo, factory, 42));
        DeclareTableListFields(tableList);
        tableList.Open();
        DeclareRunLogFields(log);
        log.Open();
    }
    void TearDown() override {
        mapInfo.Clear();
        QDBusConnection::disconnectFromBus(connection.name());
    }

    void List(const std::string& folder, const Lines& names) {
        for (const std::string& name : names) {
            tableList.Append();
            tableList.SetString("TableName", name);
            tableList.SetString("TableType", "Native");
            tableList.SetString("TablePath", folder);
            tableList.Post();
        }
    }
    // The statements of the run itself, after the three of the connection.
    Lines RunStatements() const {
        Lines all = server.Statements();
        return Lines(all.begin() + std::min<std::size_t>(3, all.size()), all.end());
    }
    Lines Log() const {
        Lines lines;
        for (std::size_t r = 0; r < log.RecordCount(); ++r)
            lines.emplace_back(log.StringAt(r, log.RequireField(kMessageField)));
        return lines;
    }
    void ShowAndRun(const std::vector<std::size_t>& rows) {
        run.FormShow(mapInfo);
        EXPECT_TRUE(view.timer);
        EXPECT_FALSE(view.cancelAndSave);
        const ChosenRows selection(tableList, rows);
        run.RunPack(mapInfo, selection, tableList);
    }
};

TEST_F(PackRunTest, ThreeTablesArePackedInListOrderWithTheExactStatements) {
    List("/data/city", {"roads.tab", "my.parcels.TAB", "2019 wells.tab"});
    log.Append();
    log.SetString(kMessageField, "a line of the last run");
    log.Post();
    stop = true; // left over from the last run: showing the window clears it
    ShowAndRun({0, 1, 2});
    EXPECT_EQ(RunStatements(),
              (Lines{"close all", "open table \"/data/city/roads.tab\" as roads",
                     "Pack Table roads Graphic Data", "close all",
                     "open table \"/data/city/my.parcels.TAB\" as my", "Pack Table my Graphic Data",
                     "close all", "open table \"/data/city/2019 wells.tab\" as _2019_wells",
                     "Pack Table _2019_wells Graphic Data", "close all"}));
    EXPECT_EQ(Log(),
              (Lines{"Packed table /data/city/roads.tab", "Packed table /data/city/my.parcels.TAB",
                     "Packed table /data/city/2019 wells.tab", "Process Complete."}));
    EXPECT_EQ(view.progressTexts,
              (Lines{"", "Preparing to batch the selected table(s)...", "roads.tab (1 of 3)",
                     "my.parcels.TAB (2 of 3)", "2019 wells.tab (3 of 3)"}));
    EXPECT_EQ(view.optionsAsked, 1);
    EXPECT_EQ(view.drains, 4); // once to paint the label, once per table
    EXPECT_FALSE(view.timer);
    EXPECT_TRUE(view.cancelAndSave);
    EXPECT_FALSE(view.busy);
    EXPECT_FALSE(run.Running());
}

TEST_F(PackRunTest, TheClauseFollowsBothOptionsAndTheListFollowsTheSelection) {
    List("/d", {"a.tab", "b.tab", "c.tab"});
    const std::pair<PackOptions, std::string> cases[] = {{{true, true}, " Graphic Data"},
                                                         {{true, false}, " Graphic"},
                                                         {{false, true}, " Data"},
                                                         {{false, false}, ""}};
    for (const auto& [options, clause] : cases) {
        server.SetScript("");
        const std::size_t before = server.Statements().size();
        view.options = options;
        ShowAndRun({0, 2});
        const Lines all = server.Statements();
        const Lines statements(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
        ASSERT_EQ(statements.size(), 7u) << clause;
        EXPECT_EQ(statements[2], "Pack Table a" + clause);
        EXPECT_EQ(statements[5], "Pack Table c" + clause);
        EXPECT_EQ(Log(),
                  (Lines{"Packed table /d/a.tab", "Packed table /d/c.tab", "Process Complete."}));
    }
}

TEST_F(PackRunTest, AFailingTableIsLoggedAndTheRunGoesOn) {
    List("/d", {"roads.tab", "parcels.tab", "wells.tab"});
    const std::string longMessage(300, 'x');
    server.SetScript("error\tPack Table parcels\tTable parcels is read-only.  ..\n"
                     "error\topen table \"/d/wells.tab\"\t" +
                     longMessage + "\n");
    ShowAndRun({0, 1, 2});
    const Lines log = Log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0], "Packed table /d/roads.tab");
    EXPECT_EQ(log[1], "Table parcels is read-only");
    // A failed open is not logged by itself; the pack that follows fails and says why.
    EXPECT_EQ(log[2], "Packed table /d/wells.tab");
    EXPECT_EQ(log[3], "Process Complete.");
    const Lines statements = RunStatements();
    // No "close all" after the failed pack: the rest of that table's block is skipped.
    EXPECT_EQ(statements[5], "Pack Table parcels Graphic Data");
    EXPECT_EQ(statements[6], "open table \"/d/wells.tab\" as wells");
}

TEST_F(PackRunTest, LongServerMessagesAreCutToTheLogField) {
    List("/d", {"roads.tab"});
    server.SetScript("error\tPack Table\t" + std::string(300, 'm') + "\n");
    ShowAndRun({0});
    ASSERT_EQ(Log().size(), 2u);
    EXPECT_EQ(Log()[0], std::string(255, 'm'));
}

TEST_F(PackRunTest, StopIsHonouredBeforeTheNextTableOnly) {
    List("/d", {"roads.tab", "parcels.tab", "wells.tab"});
    // A click made while the first table is in MapInfo's hands is served by the next drain, the
    // second table's: that table must not be started.
    view.onDrain = [this](int drain) {
        if (drain == 2)
            run.btStopClick();
    };
    ShowAndRun({0, 1, 2});
    EXPECT_EQ(Log(), (Lines{"Packed table /d/roads.tab", "Process Stop by user."}));
    EXPECT_EQ(RunStatements().size(), 4u);
    EXPECT_TRUE(view.cancelAndSave);
    EXPECT_FALSE(view.busy);

    // Served in the first table's own drain (pressed before it started), it stops before it.
    view.onDrain = [this](int drain) {
        if (drain == 3 + 1)
            run.btStopClick();
    };
    ShowAndRun({0, 1, 2});
    EXPECT_EQ(Log(), (Lines{"Process Stop by user."}));
    EXPECT_EQ(RunStatements().size(), 5u);

    // Pressed while waiting, it enables Cancel and Save Log; the run clears it again.
    run.FormShow(mapInfo);
    run.btStopClick();
    EXPECT_TRUE(stop);
    EXPECT_TRUE(view.cancelAndSave);
    view.onDrain = [this](int drain) {
        if (drain == 5) {
            EXPECT_FALSE(view.cancelAndSave);
        }
    };
    const ChosenRows selection(tableList, {0});
    run.RunPack(mapInfo, selection, tableList);
    EXPECT_EQ(Log(), (Lines{"Packed table /d/roads.tab", "Process Complete."}));
}

TEST_F(PackRunTest, NoSelectionLogsCompletionOnly) {
    List("/d", {"roads.tab"});
    ShowAndRun({});
    EXPECT_EQ(Log(), (Lines{"Process Complete."}));
    EXPECT_EQ(RunStatements(), (Lines{"close all"}));
    EXPECT_EQ(view.progress, "Preparing to batch the selected table(s)...");
    EXPECT_TRUE(view.cancelAndSave);
}

TEST_F(PackRunTest, ATableAtTheRootIsJoinedWithTwoSeparators) {
    List("/", {"roads.tab"});
    ShowAndRun({0});
    EXPECT_EQ(RunStatements()[1], "open table \"//roads.tab\" as roads");
    EXPECT_EQ(Log()[0], "Packed table //roads.tab");
}

TEST_F(PackRunTest, AServerThatDiesLeavesTheRunWithTheWindowUsable) {
    List("/d", {"roads.tab", "parcels.tab", "wells.tab"});
    server.SetScript("exit\tPack Table parcels\n");
    run.FormShow(mapInfo);
    const ChosenRows selection(tableList, {0, 1, 2});
    bool ended = false;
    view.onDrain = [&](int drain) {
        // The busy cursor is up while the tables are in hand.
        if (drain == 2) {
            EXPECT_TRUE(view.busy);
        }
    };
    try {
        run.RunPack(mapInfo, selection, tableList);
    } catch (const ServerError&) {
        ADD_FAILURE() << "a dead server is not a server error";
    } catch (const AutomationError&) {
        ended = true;
    }
    EXPECT_TRUE(ended);
    EXPECT_EQ(Log(), (Lines{"Packed table /d/roads.tab"})); // no end message
    EXPECT_FALSE(view.busy);
    EXPECT_TRUE(view.cancelAndSave);
    EXPECT_FALSE(run.Running());
    EXPECT_EQ(view.progress, "parcels.tab (2 of 3)");
}

TEST_F(PackRunTest, ShowingTheWindowEmptiesTheLogUnlessCloseAllFails) {
    List("/d", {"roads.tab"});
    ShowAndRun({0});
    ASSERT_EQ(Log().size(), 2u);
    run.FormShow(mapInfo);
    EXPECT_TRUE(Log().empty());
    EXPECT_EQ(view.progress, "");

    // MapInfo gone: the failure propagates to the error box and the run does not start.
    ShowAndRun({0});
    server.SetScript("exit\tclose all\n");
    view.timer = false;
    view.cancelAndSave = true;
    stop = true;
    EXPECT_THROW(run.FormShow(mapInfo), AutomationError);
    EXPECT_FALSE(view.timer);
    EXPECT_TRUE(view.cancelAndSave);
    EXPECT_TRUE(stop);
}

} // namespace
} // namespace vantero
