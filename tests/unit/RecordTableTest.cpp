#include "records/RecordTable.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using vantero::Bookmark;
using vantero::RecordTable;
using vantero::RecordTableError;

namespace {

// The run log's shape: one message field of 255 bytes.
struct MessageTable : RecordTable {
    MessageTable() {
        addStringField("Message", 255);
        open();
    }
    void add(const std::string& text) {
        append();
        setString("Message", text);
        post();
    }
};

std::vector<std::string> messages(RecordTable& t) {
    std::vector<std::string> out;
    for (std::size_t r = 0; r < t.recordCount(); ++r)
        out.push_back(t.valueAt(r, *t.fieldIndex("Message")));
    return out;
}

std::vector<int> ids(const RecordTable& t) {
    std::vector<int> out;
    for (std::size_t r = 0; r < t.recordCount(); ++r)
        out.push_back(t.recIdAt(r));
    return out;
}

} // namespace

TEST(RecordTableIds, RunFromOneInPostingOrderAndRestartAfterCloseOpen) {
    MessageTable t;
    t.add("a");
    t.add("b");
    EXPECT_EQ(ids(t), (std::vector<int>{1, 2}));
    EXPECT_EQ(t.getString("RecId"), "2");

    t.close();
    EXPECT_EQ(t.recordCount(), 0u);
    t.open();
    t.add("x");
    t.add("y");
    t.add("z");
    EXPECT_EQ(ids(t), (std::vector<int>{1, 2, 3}));
}

TEST(RecordTableIds, CancelledAppendUsesNoIdAndDeletedIdsAreNotReused) {
    MessageTable t;
    t.add("a");
    t.append();
    t.setString("Message", "never posted");
    t.cancel();
    t.add("b");
    EXPECT_EQ(ids(t), (std::vector<int>{1, 2}));

    t.moveTo(1);
    t.deleteCurrent();
    t.add("c");
    EXPECT_EQ(ids(t), (std::vector<int>{1, 3}));
    EXPECT_EQ(messages(t), (std::vector<std::string>{"a", "c"}));
}

TEST(RecordTableBookmarks, ReachTheRecordWithThatIdAfterReopen) {
    MessageTable t;
    t.add("first");
    t.add("second");
    const Bookmark second = t.getBookmark();
    ASSERT_EQ(second.id, 2);

    t.close();
    t.open();
    t.add("new one");
    t.add("new two");
    t.add("new three");
    t.moveTo(0);
    t.gotoBookmark(second);
    EXPECT_EQ(t.getString("Message"), "new two");
    EXPECT_EQ(t.currentRow(), 1u);
}

TEST(RecordTableBookmarks, MissingIdRaisesAndEmptyBookmarkDoesNothing) {
    MessageTable t;
    t.add("a");
    t.add("b");
    const Bookmark first{1};
    t.moveTo(0);
    t.deleteCurrent();
    EXPECT_EQ(t.getString("Message"), "b");

    try {
        t.gotoBookmark(first);
        FAIL() << "no error for a deleted record";
    } catch (const RecordTableError& e) {
        EXPECT_STREQ(e.what(), "Bookmark not found");
    }
    EXPECT_EQ(t.getString("Message"), "b");

    t.gotoBookmark(Bookmark{});
    EXPECT_EQ(t.getString("Message"), "b");
    t.close();
    EXPECT_NO_THROW(t.gotoBookmark(Bookmark{}));
}

TEST(RecordTableValues, AreCutAtTheMaximumLengthAndAtAnEmbeddedNul) {
    MessageTable t;
    t.add(std::string(300, 'm'));
    EXPECT_EQ(t.getString("Message"), std::string(255, 'm'));

    t.add(std::string("before\0after", 12));
    EXPECT_EQ(t.getString("Message"), "before");

    // Blanks, TABs and bytes of other code pages are stored as they are.
    t.add("  caf\xe9\t ");
    EXPECT_EQ(t.getString("Message"), "  caf\xe9\t ");

    RecordTable names;
    names.addStringField("TableType", 15);
    names.open();
    names.append();
    names.setString("TableType", "Native but far too long");
    EXPECT_EQ(names.getString("TableType"), "Native but far ");
}

TEST(RecordTableValues, FieldNamesMatchInAnyLetterCase) {
    MessageTable t;
    t.append();
    t.setString("mEsSaGe", "hello");
    t.post();
    EXPECT_EQ(t.getString("MESSAGE"), "hello");
    EXPECT_EQ(t.getString("recid"), "1");
    EXPECT_THROW(t.setString("Messages", "x"), RecordTableError);
    EXPECT_THROW(t.setString("RecId", "7"), RecordTableError);
}

TEST(RecordTableValues, NullReadsAsEmptyAndClosedTablesRefuseWork) {
    RecordTable t;
    t.addStringField("A", 10);
    t.addStringField("B", 10);
    EXPECT_THROW(t.append(), RecordTableError);
    t.open();
    t.append();
    t.setString("A", "");
    t.post();
    EXPECT_EQ(t.getString("A"), "");
    EXPECT_EQ(t.getString("B"), "");
    EXPECT_THROW(t.addStringField("C", 1), RecordTableError);
}

TEST(RecordTableDelete, MakesTheNextRecordCurrentOrThePreviousAtTheEnd) {
    MessageTable t;
    for (const char* m : {"a", "b", "c"})
        t.add(m);
    t.moveTo(1);
    t.deleteCurrent();
    EXPECT_EQ(t.getString("Message"), "c");
    t.deleteCurrent();
    EXPECT_EQ(t.getString("Message"), "a");
    t.deleteCurrent();
    EXPECT_EQ(t.currentRow(), std::nullopt);
    EXPECT_THROW(t.deleteCurrent(), RecordTableError);
}

namespace {

struct Recorder : vantero::RecordTableObserver {
    std::vector<std::string> events;
    void recordAppended(std::size_t row) override {
        events.push_back("appended " + std::to_string(row));
    }
    void tableEmptied() override { events.push_back("emptied"); }
    void currentMoved(std::optional<std::size_t> row) override {
        events.push_back(row ? "current " + std::to_string(*row) : "current none");
    }
    void recordDeleted(std::size_t row) override {
        events.push_back("deleted " + std::to_string(row));
    }
};

} // namespace

TEST(RecordTableObservers, AreToldOfEveryChangeInOrder) {
    MessageTable t;
    Recorder r;
    t.addObserver(&r);
    t.add("a");
    t.add("b");
    t.moveTo(0);
    t.deleteCurrent();
    t.deleteCurrent();
    t.add("c");
    t.close();
    t.close(); // already closed: no second notice
    EXPECT_THAT(r.events,
                testing::ElementsAre("appended 0", "current 0", "appended 1", "current 1",
                                     "current 0", "deleted 0", "current 0", "deleted 0",
                                     "current none", "appended 0", "current 0", "emptied"));
    t.removeObserver(&r);
    t.open();
    t.add("unseen");
    EXPECT_EQ(r.events.size(), 12u);
}

namespace {

struct BulkRecorder : Recorder {
    void recordsDeleted(const std::vector<std::size_t>& rows) override {
        std::string text = "deleted";
        for (const std::size_t row : rows)
            text += " " + std::to_string(row);
        events.push_back(text);
    }
};

MessageTable& filled(MessageTable& t, int count) {
    for (int i = 0; i < count; ++i)
        t.add(std::string(1, static_cast<char>('a' + i)));
    return t;
}

} // namespace

TEST(RecordTableDeleteRows, KeepsTheOtherRecordsAndIdsWhereverTheDeletedOnesAre) {
    using Strings = std::vector<std::string>;
    struct Case {
        std::vector<std::size_t> rows;
        Strings kept;
        std::vector<int> ids;
        std::optional<std::size_t> current;
    };
    const Case cases[] = {
        {{0, 1}, {"c", "d", "e", "f"}, {3, 4, 5, 6}, 0},
        {{4, 5}, {"a", "b", "c", "d"}, {1, 2, 3, 4}, 3},
        {{1, 3, 4}, {"a", "c", "f"}, {1, 3, 6}, 1},
        {{0, 2, 5}, {"b", "d", "e"}, {2, 4, 5}, 0},
        {{0, 1, 2, 3, 4, 5}, {}, {}, std::nullopt},
    };
    for (const Case& c : cases) {
        MessageTable bulk;
        MessageTable single;
        filled(bulk, 6).deleteRows(c.rows);
        filled(single, 6);
        for (auto row = c.rows.rbegin(); row != c.rows.rend(); ++row) {
            single.moveTo(*row);
            single.deleteCurrent();
        }
        EXPECT_EQ(messages(bulk), c.kept);
        EXPECT_EQ(ids(bulk), c.ids);
        EXPECT_EQ(bulk.currentRow(), c.current);
        // The same end as deleting them one at a time.
        EXPECT_EQ(messages(bulk), messages(single));
        EXPECT_EQ(bulk.currentRow(), single.currentRow());
        EXPECT_EQ(bulk.getBookmark().id, single.getBookmark().id);
    }
}

TEST(RecordTableDeleteRows, BookmarksOfKeptRecordsStillLeadToThemAndNewIdsAreFresh) {
    MessageTable t;
    filled(t, 5);
    t.moveTo(3);
    const Bookmark d = t.getBookmark();
    t.moveTo(1);
    const Bookmark b = t.getBookmark();
    t.deleteRows({1, 2});
    t.gotoBookmark(d);
    EXPECT_EQ(t.getString("Message"), "d");
    EXPECT_EQ(t.currentRow(), 1u);
    EXPECT_THROW(t.gotoBookmark(b), RecordTableError);
    t.add("f");
    EXPECT_EQ(ids(t), (std::vector<int>{1, 4, 5, 6}));
    EXPECT_EQ(t.rowOfRecId(5), 2u);
}

TEST(RecordTableDeleteRows, RefusesRowsOutOfRangeOrOrderAndChangesNothing) {
    MessageTable t;
    filled(t, 4);
    t.moveTo(2);
    for (const std::vector<std::size_t>& rows :
         std::vector<std::vector<std::size_t>>{{4}, {2, 1}, {1, 1}, {0, 9}}) {
        EXPECT_THROW(t.deleteRows(rows), RecordTableError);
        EXPECT_EQ(messages(t), (std::vector<std::string>{"a", "b", "c", "d"}));
        EXPECT_EQ(t.currentRow(), 2u);
    }
    t.deleteRows({});
    EXPECT_EQ(t.recordCount(), 4u);
    t.close();
    EXPECT_THROW(t.deleteRows({}), RecordTableError);
}

TEST(RecordTableDeleteRows, PostsAnUnpostedAppendFirstAsMovingToARecordDoes) {
    MessageTable t;
    filled(t, 3);
    t.append();
    t.setString("Message", "pending");
    t.deleteRows({0});
    EXPECT_FALSE(t.isAppending());
    EXPECT_EQ(messages(t), (std::vector<std::string>{"b", "c", "pending"}));
}

TEST(RecordTableDeleteRows, ObserversHearOnceOrRowByRowFromTheLast) {
    MessageTable t;
    filled(t, 5);
    BulkRecorder bulk;
    Recorder single;
    t.addObserver(&bulk);
    t.addObserver(&single);
    t.deleteRows({0, 2, 3});
    EXPECT_THAT(bulk.events, testing::ElementsAre("deleted 0 2 3", "current 0"));
    EXPECT_THAT(single.events,
                testing::ElementsAre("deleted 3", "deleted 2", "deleted 0", "current 0"));
    t.removeObserver(&bulk);
    t.removeObserver(&single);
}
