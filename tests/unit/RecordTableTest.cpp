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
        AddStringField("Message", 255);
        Open();
    }
    void Add(const std::string& text) {
        Append();
        SetString("Message", text);
        Post();
    }
};

std::vector<std::string> Messages(RecordTable& t) {
    std::vector<std::string> out;
    for (std::size_t r = 0; r < t.RecordCount(); ++r)
        out.push_back(t.ValueAt(r, *t.FieldIndex("Message")));
    return out;
}

std::vector<int> Ids(const RecordTable& t) {
    std::vector<int> out;
    for (std::size_t r = 0; r < t.RecordCount(); ++r)
        out.push_back(t.RecIdAt(r));
    return out;
}

} // namespace

TEST(RecordTableIds, RunFromOneInPostingOrderAndRestartAfterCloseOpen) {
    MessageTable t;
    t.Add("a");
    t.Add("b");
    EXPECT_EQ(Ids(t), (std::vector<int>{1, 2}));
    EXPECT_EQ(t.GetString("RecId"), "2");

    t.Close();
    EXPECT_EQ(t.RecordCount(), 0u);
    t.Open();
    t.Add("x");
    t.Add("y");
    t.Add("z");
    EXPECT_EQ(Ids(t), (std::vector<int>{1, 2, 3}));
}

TEST(RecordTableIds, CancelledAppendUsesNoIdAndDeletedIdsAreNotReused) {
    MessageTable t;
    t.Add("a");
    t.Append();
    t.SetString("Message", "never posted");
    t.Cancel();
    t.Add("b");
    EXPECT_EQ(Ids(t), (std::vector<int>{1, 2}));

    t.MoveTo(1);
    t.Delete();
    t.Add("c");
    EXPECT_EQ(Ids(t), (std::vector<int>{1, 3}));
    EXPECT_EQ(Messages(t), (std::vector<std::string>{"a", "c"}));
}

TEST(RecordTableBookmarks, ReachTheRecordWithThatIdAfterReopen) {
    MessageTable t;
    t.Add("first");
    t.Add("second");
    const Bookmark second = t.GetBookmark();
    ASSERT_EQ(second.id, 2);

    t.Close();
    t.Open();
    t.Add("new one");
    t.Add("new two");
    t.Add("new three");
    t.MoveTo(0);
    t.GotoBookmark(second);
    EXPECT_EQ(t.GetString("Message"), "new two");
    EXPECT_EQ(t.CurrentRow(), 1u);
}

TEST(RecordTableBookmarks, MissingIdRaisesAndEmptyBookmarkDoesNothing) {
    MessageTable t;
    t.Add("a");
    t.Add("b");
    const Bookmark first{1};
    t.MoveTo(0);
    t.Delete();
    EXPECT_EQ(t.GetString("Message"), "b");

    try {
        t.GotoBookmark(first);
        FAIL() << "no error for a deleted record";
    } catch (const RecordTableError& e) {
        EXPECT_STREQ(e.what(), "Bookmark not found");
    }
    EXPECT_EQ(t.GetString("Message"), "b");

    t.GotoBookmark(Bookmark{});
    EXPECT_EQ(t.GetString("Message"), "b");
    t.Close();
    EXPECT_NO_THROW(t.GotoBookmark(Bookmark{}));
}

TEST(RecordTableValues, AreCutAtTheMaximumLengthAndAtAnEmbeddedNul) {
    MessageTable t;
    t.Add(std::string(300, 'm'));
    EXPECT_EQ(t.GetString("Message"), std::string(255, 'm'));

    t.Add(std::string("before\0after", 12));
    EXPECT_EQ(t.GetString("Message"), "before");

    // Blanks, TABs and bytes of other code pages are stored as they are.
    t.Add("  caf\xe9\t ");
    EXPECT_EQ(t.GetString("Message"), "  caf\xe9\t ");

    RecordTable names;
    names.AddStringField("TableType", 15);
    names.Open();
    names.Append();
    names.SetString("TableType", "Native but far too long");
    EXPECT_EQ(names.GetString("TableType"), "Native but far ");
}

TEST(RecordTableValues, FieldNamesMatchInAnyLetterCase) {
    MessageTable t;
    t.Append();
    t.SetString("mEsSaGe", "hello");
    t.Post();
    EXPECT_EQ(t.GetString("MESSAGE"), "hello");
    EXPECT_EQ(t.GetString("recid"), "1");
    EXPECT_THROW(t.SetString("Messages", "x"), RecordTableError);
    EXPECT_THROW(t.SetString("RecId", "7"), RecordTableError);
}

TEST(RecordTableValues, NullReadsAsEmptyAndClosedTablesRefuseWork) {
    RecordTable t;
    t.AddStringField("A", 10);
    t.AddStringField("B", 10);
    EXPECT_THROW(t.Append(), RecordTableError);
    t.Open();
    t.Append();
    t.SetString("A", "");
    t.Post();
    EXPECT_EQ(t.GetString("A"), "");
    EXPECT_EQ(t.GetString("B"), "");
    EXPECT_THROW(t.AddStringField("C", 1), RecordTableError);
}

TEST(RecordTableDelete, MakesTheNextRecordCurrentOrThePreviousAtTheEnd) {
    MessageTable t;
    for (const char* m : {"a", "b", "c"})
        t.Add(m);
    t.MoveTo(1);
    t.Delete();
    EXPECT_EQ(t.GetString("Message"), "c");
    t.Delete();
    EXPECT_EQ(t.GetString("Message"), "a");
    t.Delete();
    EXPECT_EQ(t.CurrentRow(), std::nullopt);
    EXPECT_THROW(t.Delete(), RecordTableError);
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
    t.AddObserver(&r);
    t.Add("a");
    t.Add("b");
    t.MoveTo(0);
    t.Delete();
    t.Delete();
    t.Add("c");
    t.Close();
    t.Close(); // already closed: no second notice
    EXPECT_THAT(r.events,
                testing::ElementsAre("appended 0", "current 0", "appended 1", "current 1",
                                     "current 0", "deleted 0", "current 0", "deleted 0",
                                     "current none", "appended 0", "current 0", "emptied"));
    t.RemoveObserver(&r);
    t.Open();
    t.Add("unseen");
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

MessageTable& Filled(MessageTable& t, int count) {
    for (int i = 0; i < count; ++i)
        t.Add(std::string(1, static_cast<char>('a' + i)));
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
        Filled(bulk, 6).DeleteRows(c.rows);
        Filled(single, 6);
        for (auto row = c.rows.rbegin(); row != c.rows.rend(); ++row) {
            single.MoveTo(*row);
            single.Delete();
        }
        EXPECT_EQ(Messages(bulk), c.kept);
        EXPECT_EQ(Ids(bulk), c.ids);
        EXPECT_EQ(bulk.CurrentRow(), c.current);
        // The same end as deleting them one at a time.
        EXPECT_EQ(Messages(bulk), Messages(single));
        EXPECT_EQ(bulk.CurrentRow(), single.CurrentRow());
        EXPECT_EQ(bulk.GetBookmark().id, single.GetBookmark().id);
    }
}

TEST(RecordTableDeleteRows, BookmarksOfKeptRecordsStillLeadToThemAndNewIdsAreFresh) {
    MessageTable t;
    Filled(t, 5);
    t.MoveTo(3);
    const Bookmark d = t.GetBookmark();
    t.MoveTo(1);
    const Bookmark b = t.GetBookmark();
    t.DeleteRows({1, 2});
    t.GotoBookmark(d);
    EXPECT_EQ(t.GetString("Message"), "d");
    EXPECT_EQ(t.CurrentRow(), 1u);
    EXPECT_THROW(t.GotoBookmark(b), RecordTableError);
    t.Add("f");
    EXPECT_EQ(Ids(t), (std::vector<int>{1, 4, 5, 6}));
    EXPECT_EQ(t.RowOfRecId(5), 2u);
}

TEST(RecordTableDeleteRows, RefusesRowsOutOfRangeOrOrderAndChangesNothing) {
    MessageTable t;
    Filled(t, 4);
    t.MoveTo(2);
    for (const std::vector<std::size_t>& rows :
         std::vector<std::vector<std::size_t>>{{4}, {2, 1}, {1, 1}, {0, 9}}) {
        EXPECT_THROW(t.DeleteRows(rows), RecordTableError);
        EXPECT_EQ(Messages(t), (std::vector<std::string>{"a", "b", "c", "d"}));
        EXPECT_EQ(t.CurrentRow(), 2u);
    }
    t.DeleteRows({});
    EXPECT_EQ(t.RecordCount(), 4u);
    t.Close();
    EXPECT_THROW(t.DeleteRows({}), RecordTableError);
}

TEST(RecordTableDeleteRows, PostsAnUnpostedAppendFirstAsMovingToARecordDoes) {
    MessageTable t;
    Filled(t, 3);
    t.Append();
    t.SetString("Message", "pending");
    t.DeleteRows({0});
    EXPECT_FALSE(t.IsAppending());
    EXPECT_EQ(Messages(t), (std::vector<std::string>{"b", "c", "pending"}));
}

TEST(RecordTableDeleteRows, ObserversHearOnceOrRowByRowFromTheLast) {
    MessageTable t;
    Filled(t, 5);
    BulkRecorder bulk;
    Recorder single;
    t.AddObserver(&bulk);
    t.AddObserver(&single);
    t.DeleteRows({0, 2, 3});
    EXPECT_THAT(bulk.events, testing::ElementsAre("deleted 0 2 3", "current 0"));
    EXPECT_THAT(single.events,
                testing::ElementsAre("deleted 3", "deleted 2", "deleted 0", "current 0"));
    t.RemoveObserver(&bulk);
    t.RemoveObserver(&single);
}
