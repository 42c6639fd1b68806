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
    void setProgressText(const std::string& text) override { progress.push_back(text); }
    void setCancelAndSaveEnabled(bool enabled) override { cancelAndSave = enabled; }
    void setRunStartTimerEnabled(bool enabled) override { timer = enabled; }
    void setBusyCursor(bool on) override { busy = on; }
    void drainEvents() override { ++drains; }
    PackParts askPackParts() override { return parts; }

    PackParts parts{true, false};
    Strings progress;
    bool cancelAndSave = true, timer = false, busy = false;
    int drains = 0;
};

class AllSelected : public PackSelection {
public:
    explicit AllSelected(RecordTable& table) {
        for (std::size_t r = 0; r < table.recordCount(); ++r) {
            table.moveTo(r);
            m_marks.push_back(table.getBookmark());
        }
    }
    std::size_t selectedCount() const override { return m_marks.size(); }
    Bookmark selectedBookmark(std::size_t index) const override { return m_marks.at(index); }

private:
    std::vector<Bookmark> m_marks;
};

class ComPackRun : public testing::Test {
protected:
    ComPackRun() {
        declareTableListFields(tableList);
        declareRunLogFields(log);
        tableList.open();
    }
    void addTable(const std::string& name) {
        tableList.append();
        tableList.setString("TableName", name);
        tableList.setString("TableType", "Native");
        tableList.setString("TablePath", "C:\\Data");
        tableList.post();
    }
    Strings logLines() {
        Strings rows;
        for (std::size_t r = 0; r < log.recordCount(); ++r)
            rows.push_back(log.valueAt(r, *log.fieldIndex(kMessageField)));
        return rows;
    }

    test::ServerRecord record;
    AutomationVariant mapInfo;
    RecordTable tableList, log;
    RecordingView view;
    PackRun run{view, log};
};

TEST_F(ComPackRun, ThreeTablesGiveTheStatementsAndTheLogOfTheRun) {
    addTable("roads.tab");
    addTable("failwithtext.tab");
    addTable("parcels.tab");
    mapInfo.assign(ComAutomationFactory().createObject(kMapInfoProgId));
    const AllSelected selection(tableList);

    run.windowShown(mapInfo);
    EXPECT_FALSE(run.stopRequested());
    EXPECT_TRUE(view.timer);
    EXPECT_FALSE(view.cancelAndSave);
    run.run(mapInfo, selection, tableList);

    EXPECT_EQ(record.statements(),
              (Strings{"close all", "open table \"C:\\Data\\roads.tab\" as roads",
                       "Pack Table roads Graphic", "close all",
                       "open table \"C:\\Data\\failwithtext.tab\" as failwithtext",
                       "Pack Table failwithtext Graphic",
                       "open table \"C:\\Data\\parcels.tab\" as parcels",
                       "Pack Table parcels Graphic", "close all"}));
    EXPECT_EQ(logLines(),
              (Strings{"Packed table C:\\Data\\roads.tab", "Cannot pack table: it is not open",
                       "Packed table C:\\Data\\parcels.tab", "Process Complete."}));
    EXPECT_EQ(view.progress.back(), "parcels.tab (3 of 3)");
    EXPECT_FALSE(view.busy);
    EXPECT_TRUE(view.cancelAndSave);
    EXPECT_FALSE(view.timer);
    EXPECT_FALSE(run.isRunning());
}

TEST_F(ComPackRun, ServerThatDiesMidRunEndsItWithTheWindowUsable) {
    addTable("roads.tab");
    addTable("exitnow.tab");
    addTable("parcels.tab");
    mapInfo.assign(ComAutomationFactory().createObject(kMapInfoProgId));
    const AllSelected selection(tableList);

    run.windowShown(mapInfo);
    bool serverError = false, linkError = false;
    try {
        run.run(mapInfo, selection, tableList);
    } catch (const ServerError&) {
        serverError = true;
    } catch (const AutomationError&) {
        linkError = true;
    }
    EXPECT_FALSE(serverError);
    EXPECT_TRUE(linkError);
    // The open that killed it is swallowed; the pack after it is what fails the run.
    EXPECT_EQ(record.statements(),
              (Strings{"close all", "open table \"C:\\Data\\roads.tab\" as roads",
                       "Pack Table roads Graphic", "close all",
                       "open table \"C:\\Data\\exitnow.tab\" as exitnow"}));
    EXPECT_EQ(logLines(), Strings{"Packed table C:\\Data\\roads.tab"});
    EXPECT_FALSE(view.busy);
    EXPECT_TRUE(view.cancelAndSave);
    EXPECT_FALSE(run.isRunning());
}

} // namespace
} // namespace vantero
