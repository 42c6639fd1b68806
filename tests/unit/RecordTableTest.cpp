#include "records/RecordTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace vantero {
namespace {

using Strings = std::vector<std::string>;

// The run log's shape: one message field of 255 bytes.
struct MessageTable : RecordTable {
    explicit MessageTable(int rows = 0) {
        addStringField("Message", 255);
        open();
        for (int i = 0; i < rows; ++i)
            add(std::string(1, static_cast<char>('a' + i)));
    }
    void add(const std::string& text) {
        append();
        setString("Message", text);
        post();
    }
    // Each row as its id and message: "1:a 3:c".
    std::string rows() const {
        std::string out;
        for (std::size_t r = 0; r < recordCount(); ++r)
            out += (r == 0 ? "" : " ") + std::to_string(recIdAt(r)) + ":" +
                   valueAt(r, *fieldIndex("Message"));
        return out;
    }
};

struct Recorder : RecordTableObserver {
    Strings events;
    bool bulk = false; // takes many deletions at once
    void recordAppended(std::size_t row) override { recordsAre("appended", {row}); }
    void tableEmptied() override { events.emplace_back("emptied"); }
    void currentMoved(std::optional<std::size_t> row) override {
        events.push_back(row ? "current " + std::to_string(*row) : "current none");
    }
    void recordDeleted(std::size_t row) override { recordsAre("deleted", {row}); }
    void recordsDeleted(const std::vector<std::size_t>& rows) override {
        bulk ? recordsAre("deleted", rows) : RecordTableObserver::recordsDeleted(rows);
    }
    void recordsAre(std::string what, const std::vector<std::size_t>& rows) {
        for (const std::size_t row : rows)
            what += " " + std::to_string(row);
        events.push_back(what);
    }
};

// Ids run from 1 in posting order; a cancelled append uses none, deleted ones are not reused, and
// Close and Open start again from 1, so a bookmark taken before reaches the new record of its id.
TEST(RecordTable, IdsAndBookmarks) {
    MessageTable t(2);
    const Bookmark second = t.getBookmark();
    ASSERT_EQ(second.id, 2);
    t.append();
    t.setString("Message", "never posted");
    t.cancel();
    t.add("c");
    t.moveTo(1);
    t.deleteCurrent();
    t.add("d");
    EXPECT_EQ(t.rows(), "1:a 3:c 4:d");
    EXPECT_EQ(t.getString("RecId"), "4");
    EXPECT_THROW(t.gotoBookmark(second), RecordTableError); // deleted
    EXPECT_EQ(t.getString("Message"), "d");
    t.gotoBookmark(Bookmark{}); // an empty bookmark does nothing
    EXPECT_EQ(t.getString("Message"), "d");
    t.close();
    t.open();
    for (const char* text : {"x", "y", "z"})
        t.add(text);
    EXPECT_EQ(t.rows(), "1:x 2:y 3:z");
    t.moveTo(0);
    t.gotoBookmark(second);
    EXPECT_EQ(t.getString("Message"), "y");
}

TEST(RecordTable, ValuesAreCutToTheFieldAndAtANulAndOtherwiseKept) {
    MessageTable t;
    const std::pair<std::string, std::string> cases[] = {
        {std::string(300, 'm'), std::string(255, 'm')},
        {std::string("before\0after", 12), "before"},
        {"  caf\xe9\t ", "  caf\xe9\t "}, // blanks, TABs and other code pages as they are
        {"", ""},
    };
    for (const auto& [stored, read] : cases) {
        t.add(stored);
        EXPECT_EQ(t.getString("mEsSaGe"), read); // field names in any letter case
    }
    t.append(); // never set: null, read as empty
    EXPECT_EQ(t.getString("Message"), "");
    EXPECT_THROW(t.setString("RecId", "7"), RecordTableError);
}

TEST(RecordTable, DeletingMakesTheNextRecordCurrentOrThePreviousAtTheEnd) {
    MessageTable t(3);
    Recorder r;
    t.addObserver(&r);
    t.moveTo(1);
    t.deleteCurrent();
    EXPECT_EQ(t.getString("Message"), "c");
    t.deleteCurrent();
    EXPECT_EQ(t.getString("Message"), "a");
    t.deleteCurrent();
    EXPECT_EQ(t.currentRow(), std::nullopt);
    EXPECT_THROW(t.deleteCurrent(), RecordTableError);
    t.add("d");
    t.close();
    t.close(); // already closed: no second notice
    EXPECT_EQ(r.events,
              (Strings{"current 1", "deleted 1", "current 1", "deleted 1", "current 0", "deleted 0",
                       "current none", "appended 0", "current 0", "emptied"}));
}

// Many rows at once end as deleting them one by one from the last: the same records, ids, current
// record and bookmarks, with one notice for an observer that can take it.
TEST(RecordTable, DeletingManyRowsEndsAsDeletingThemOneByOne) {
    const std::vector<std::size_t> cases[] = {
        {0, 1}, {4, 5}, {1, 3, 4}, {0, 2, 5}, {0, 1, 2, 3, 4, 5}};
    for (const std::vector<std::size_t>& rows : cases) {
        MessageTable bulk(6), single(6);
        bulk.moveTo(3);
        const Bookmark d = bulk.getBookmark();
        bulk.deleteRows(rows);
        for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
            single.moveTo(*row);
            single.deleteCurrent();
        }
        EXPECT_EQ(bulk.rows(), single.rows());
        EXPECT_EQ(bulk.currentRow(), single.currentRow());
        if (std::find(rows.begin(), rows.end(), 3) == rows.end()) {
            bulk.gotoBookmark(d);
            EXPECT_EQ(bulk.getString("Message"), "d");
        }
    }
    MessageTable t(5);
    Recorder bulk, single;
    bulk.bulk = true;
    t.addObserver(&bulk);
    t.addObserver(&single);
    EXPECT_THROW(t.deleteRows({2, 1}), RecordTableError); // out of order: nothing changes
    EXPECT_THROW(t.deleteRows({5}), RecordTableError);
    t.deleteRows({0, 2, 3});
    EXPECT_EQ(bulk.events, (Strings{"deleted 0 2 3", "current 0"}));
    EXPECT_EQ(single.events, (Strings{"deleted 3", "deleted 2", "deleted 0", "current 0"}));
    EXPECT_EQ(t.rows(), "2:b 5:e");
}

} // namespace
} // namespace vantero
