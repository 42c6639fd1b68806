// The pack run over real COM: the controller the message window drives, with a view that only
// writes down what it is asked to do, against the test automation server.

#include "catalogue/ListTables.h"
#include "mapinfo/AutomationError.h"
#include "mapinfo/MapInfoLink.h"
#include "mapinfo/com/ComAutomation.h"
#include "pack/PackRun.h"
#include "pack/RunLog.h"
#include "tests/windows/ServerRecord.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantero {
namespace {

using Strings = std::vector<std::string>;

class RecordingView : public PackView {
public:
    void SetProgressText(const std::string& text) override { progress.push_back(text); }
    void SetCancelAndSaveEnabled(bool enabled) override { cancelAndSave = enabled; }
    void SetTimerEnabled(bool enabled) override { timer = enabled; }
    void SetBusyCursor(bool on) override { busy = on; }
    void DrainMessages() override { ++drains; }
    PackOptions AskPackOptions() override { return options; }

    PackOptions options{true, false};
    Strings progress;
    bool cancelAndSave = true, timer = false, busy = false;
    int drains = 0;
};

class AllSelected : public PackSelection {
public:
    explicit AllSelected(RecordTable& table) {
        for (std::size_t r = 0; r < table.RecordCount(); ++r) {
            table.MoveTo(r);
            marks_.push_back(table.GetBookmark());
        }
    }
    std::size_t SelectedCount() const override { return marks_.size(); }
    Bookmark SelectedBookmark(std::size_t index) const override { return marks_.at(index); }

private:
    std::vector<Bookmark> marks_;
};

class ComPackRun : public testing::Test {
protected:
    ComPackRun() {
        DeclareTableListFields(tableList);
        DeclareRunLogFields(log);
        tableList.Open();
    }
    void AddTable(const std::string& name) {
        tableList.Append();
        tableList.SetString("TableName", name);
        tableList.SetString("TableType", "Native");
        tableList.SetString("TablePath", "C:\\Data");
        tableList.Post();
    }
    Strings Log() {
        Strings rows;
        for (std::size_t r = 0; r < log.RecordCount(); ++r)
            rows.push_back(log.ValueAt(r, *log.FieldIndex(kMessageField)));
        return rows;
    }

    test::ServerRecord record;
    AutomationVariant mapInfo;
    RecordTable tableList, log;
    RecordingView view;
    bool stopRequested = true;
    PackRun run{view, log, stopRequested};
};

TEST_F(ComPackRun, ThreeTablesGiveTheStatementsAndTheLogOfTheRun) {
    AddTable("roads.tab");
    AddTable("failwithtext.tab");
    AddTable("parcels.tab");
    mapInfo.Assign(ComAutomationFactory().CreateObject(kMapInfoProgId));
    const AllSelected selection(tableList);

    run.FormShow(mapInfo);
    EXPECT_FALSE(stopRequested);
    EXPECT_TRUE(view.timer);
    EXPECT_FALSE(view.cancelAndSave);
    run.RunPack(mapInfo, selection, tableList);

    EXPECT_EQ(record.Statements(),
              (Strings{"close all", "open table \"C:\\Data\\roads.tab\" as roads",
                       "Pack Table roads Graphic", "close all",
                       "open table \"C:\\Data\\failwithtext.tab\" as failwithtext",
                       "Pack Table failwithtext Graphic",
                       "open table \"C:\\Data\\parcels.tab\" as parcels",
                       "Pack Table parcels Graphic", "close all"}));
    EXPECT_EQ(Log(), (Strings{"Packed table C:\\Data\\roads.tab", "Cannot pack table: it is not open",
                              "Packed table C:\\Data\\parcels.tab", "Process Complete."}));
    EXPECT_EQ(view.progress.back(), "parcels.tab (3 of 3)");
    EXPECT_FALSE(view.busy);
    EXPECT_TRUE(view.cancelAndSave);
    EXPECT_FALSE(view.timer);
    EXPECT_FALSE(run.Running());
}

TEST_F(ComPackRun, ServerThatDiesMidRunEndsItWithTheWindowUsable) {
    AddTable("roads.tab");
    AddTable("exitnow.tab");
    AddTable("parcels.tab");
    mapInfo.Assign(ComAutomationFactory().CreateObject(kMapInfoProgId));
    const AllSelected selection(tableList);

    run.FormShow(mapInfo);
    bool serverError = false, linkError = false;
    try {
        run.RunPack(mapInfo, selection, tableList);
    } catch (const ServerError&) {
        serverError = true;
    } catch (const AutomationError&) {
        linkError = true;
    }
    EXPECT_FALSE(serverError);
    EXPECT_TRUE(linkError);
    // The open that killed it is swallowed; the pack after it is what fails the run.
    EXPECT_EQ(record.Statements(),
              (Strings{"close all", "open table \"C:\\Data\\roads.tab\" as roads",
                       "Pack Table roads Graphic", "close all",
                       "open table \"C:\\Data\\exitnow.tab\" as exitnow"}));
    EXPECT_EQ(Log(), Strings{"Packed table C:\\Data\\roads.tab"});
    EXPECT_FALSE(view.busy);
    EXPECT_TRUE(view.cancelAndSave);
    EXPECT_FALSE(run.Running());
}

} // namespace
} // namespace vantero
