#include "pack/PackRun.h"

#include "catalogue/ListTables.h"
#include "mapinfo/AutomationError.h"
#include "pack/RunLog.h"
#include "tests/support/PackViews.h"
#include "tests/support/RecordingAutomation.h"

#include <gtest/gtest.h>

#include <set>

namespace vantero {
namespace {

using Lines = std::vector<std::string>;
using test::ChosenRows;
using test::RecordedView;

class PackRunTest : public ::testing::Test {
protected:
    std::shared_ptr<test::RecordingLog> calls = std::make_shared<test::RecordingLog>();
    AutomationVariant mapInfo;
    RecordTable tableList;
    RecordTable log;
    RecordedView view;
    PackRun run{view, log};
    void SetUp() override {
        mapInfo.assign(std::make_unique<test::RecordingAutomation>(calls, nullptr));
        declareTableListFields(tableList);
        tableList.open();
        declareRunLogFields(log);
        log.open();
    }
    void list(const std::string& folder, const Lines& names) {
        for (const std::string& name : names) {
            tableList.append();
            tableList.setString(kTableNameField, name);
            tableList.setString(kTableTypeField, "Native");
            tableList.setString(kTablePathField, folder);
            tableList.post();
        }
    }
    Lines runStatements() const { return calls->arguments(); }
    Lines logLines() const {
        Lines lines;
        for (std::size_t r = 0; r < log.recordCount(); ++r)
            lines.emplace_back(log.stringAt(r, log.requireField(kMessageField)));
        return lines;
    }
    void showAndRun(const std::vector<std::size_t>& rows) {
        run.windowShown(mapInfo);
        EXPECT_TRUE(view.timer);
        EXPECT_FALSE(view.cancelAndSave);
        const ChosenRows selection(tableList, rows);
        run.run(mapInfo, selection, tableList);
    }
};

// The selected tables in list order, with the clause the options give; a table at the root has
// two separators in a row, as joined. A server error is its table's log row, cut to the log's 255
// bytes, and the run goes on without the rest of that table's statements; a failed open is not
// logged by itself: the pack that follows says whether it went.
TEST_F(PackRunTest, TheSelectedTablesArePackedInListOrderAndAFailureEndsOnlyItsTable) {
    list("/data/city", {"roads.tab", "my.parcels.TAB", "not selected.tab"});
    list("/", {"2019 wells.tab"});
    view.parts = {false, true};
    calls->onCall = [](const test::RecordedCall& call) {
        if (call.argument == "Pack Table my Data")
            throw ServerError(std::string(300, 'x'), kDispatchException);
        if (call.argument.rfind("open table \"//", 0) == 0)
            throw ServerError("no such table", kDispatchException);
    };
    run.windowShown(mapInfo);
    run.requestStop(); // pressed while waiting: it enables Cancel and Save Log; the run clears it
    EXPECT_TRUE(view.cancelAndSave);
    view.onDrain = [this](int) { EXPECT_FALSE(view.cancelAndSave); };
    run.run(mapInfo, ChosenRows(tableList, {0, 1, 3}), tableList);
    EXPECT_EQ(
        runStatements(),
        (Lines{"close all", "open table \"/data/city/roads.tab\" as roads", "Pack Table roads Data",
               "close all", "open table \"/data/city/my.parcels.TAB\" as my", "Pack Table my Data",
               "open table \"//2019 wells.tab\" as _2019_wells", "Pack Table _2019_wells Data",
               "close all"}));
    EXPECT_EQ(logLines(), (Lines{"Packed table /data/city/roads.tab", std::string(255, 'x'),
                                 "Packed table //2019 wells.tab", "Process Complete."}));
    EXPECT_EQ(view.progressTexts,
              (Lines{"", "Preparing to batch the selected table(s)...", "roads.tab (1 of 3)",
                     "my.parcels.TAB (2 of 3)", "2019 wells.tab (3 of 3)"}));
    EXPECT_EQ(view.optionsAsked, 1);
    EXPECT_EQ(view.drains, 4); // once to paint the label, once per table
    EXPECT_FALSE(view.timer);
    EXPECT_TRUE(view.cancelAndSave);
    EXPECT_FALSE(view.busy);
}

// Stop is served by the drain before each table: the table the progress text names is always
// finished, and no table is started after a Stop pressed while MapInfo packed the one before.
TEST_F(PackRunTest, StopEndsTheRunBeforeTheNextTableIsNamed) {
    list("/d", {"roads.tab", "parcels.tab", "wells.tab"});
    // The drain the Stop comes in: 0 paints "Preparing", 1 comes before the first table, 2 the
    // second; and the progress text then.
    const std::pair<int, const char*> cases[] = {
        {0, "Preparing to batch the selected table(s)..."},
        {1, "Preparing to batch the selected table(s)..."},
        {2, "roads.tab (1 of 3)"},
        {3, "parcels.tab (2 of 3)"},
    };
    for (const auto& [stopAt, progress] : cases) {
        view.drains = 0;
        calls->calls.clear();
        view.onDrain = [&, stopAt = stopAt](int drain) {
            if (drain == stopAt)
                run.requestStop();
        };
        showAndRun({0, 1, 2});
        Lines logged = {"Packed table /d/roads.tab", "Packed table /d/parcels.tab"};
        logged.resize(stopAt < 2 ? 0 : stopAt - 1);
        logged.push_back("Process Stop by user.");
        EXPECT_EQ(logLines(), logged) << stopAt;
        EXPECT_EQ(view.progress, progress) << stopAt;
        EXPECT_EQ(runStatements().size(), 1 + 3 * (logged.size() - 1)) << stopAt;
        EXPECT_TRUE(view.cancelAndSave);
        EXPECT_FALSE(view.busy);
    }
}

// A table whose pack failed stays open in MapInfo under its alias; a later table with the same
// alias is opened under a fresh one, so that what is logged as packed is what was packed.
TEST_F(PackRunTest, AFailedTableDoesNotLendItsAliasToTheNext) {
    calls->keepsTables = true;
    list("/d", {"my.roads.tab", "my.rivers.tab", "a b.tab", "a-b.tab", "a_b.tab", "my.wells.tab"});
    const std::set<std::string> readOnly{"/d/my.roads.tab", "/d/a b.tab", "/d/a-b.tab"};
    calls->onCall = [&](const test::RecordedCall& call) {
        if (call.argument.rfind("Pack Table ", 0) != 0)
            return;
        const std::string alias = call.argument.substr(11, call.argument.find(' ', 11) - 11);
        const auto open = calls->openTables.find(alias);
        if (open != calls->openTables.end() && readOnly.count(open->second) != 0)
            throw ServerError("Table " + alias + " is read-only", kDispatchException);
    };
    showAndRun({0, 1, 2, 3, 4, 5});
    EXPECT_EQ(logLines(), (Lines{"Table my is read-only", "Packed table /d/my.rivers.tab",
                                 "Table a_b is read-only", "Table a_b_2 is read-only",
                                 "Packed table /d/a_b.tab", "Packed table /d/my.wells.tab",
                                 "Process Complete."}));
    EXPECT_EQ(calls->packedFiles, (Lines{"/d/my.rivers.tab", "/d/a_b.tab", "/d/my.wells.tab"}));
    const Lines statements = runStatements();
    EXPECT_EQ(statements[3], "open table \"/d/my.rivers.tab\" as my_2");
    EXPECT_EQ(statements[8], "open table \"/d/a-b.tab\" as a_b_2");
    EXPECT_EQ(statements[10], "open table \"/d/a_b.tab\" as a_b_3");
    // The close after a good pack closes the failed ones too: the alias is free again.
    EXPECT_EQ(statements[13], "open table \"/d/my.wells.tab\" as my");
}

// Here it dies on the close after the second pack, which was packed all the same.
TEST_F(PackRunTest, AServerThatDiesLeavesTheRunWithTheWindowUsable) {
    list("/d", {"roads.tab", "parcels.tab", "wells.tab"});
    int closes = 0;
    calls->onCall = [&](const test::RecordedCall& call) {
        if (call.argument == "close all" && ++closes == 3) {
            EXPECT_TRUE(view.busy);
            throw AutomationError("The object invoked has disconnected from its clients.");
        }
    };
    EXPECT_THROW(showAndRun({0, 1, 2}), AutomationError);
    EXPECT_EQ(logLines(), (Lines{"Packed table /d/roads.tab", "Packed table /d/parcels.tab"}));
    EXPECT_FALSE(view.busy);
    EXPECT_TRUE(view.cancelAndSave);
    EXPECT_FALSE(run.isRunning());
    EXPECT_EQ(view.progress, "parcels.tab (2 of 3)");
}

TEST_F(PackRunTest, ShowingTheWindowEmptiesTheLogUnlessCloseAllFails) {
    showAndRun({}); // no selection: only the end
    EXPECT_EQ(logLines(), (Lines{"Process Complete."}));
    EXPECT_EQ(view.progress, "Preparing to batch the selected table(s)...");
    run.windowShown(mapInfo);
    EXPECT_TRUE(logLines().empty());
    EXPECT_EQ(view.progress, "");
    // MapInfo gone: the failure propagates to the error box and the run does not start.
    calls->onCall = [](const test::RecordedCall&) { throw AutomationError("disconnected"); };
    view.timer = false;
    run.requestStop();
    EXPECT_THROW(run.windowShown(mapInfo), AutomationError);
    EXPECT_FALSE(view.timer);
    EXPECT_TRUE(view.cancelAndSave);
    EXPECT_TRUE(run.stopRequested());
}

} // namespace
} // namespace vantero
