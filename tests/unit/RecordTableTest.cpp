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
