#include "records/RecordTable.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>

using vantero::RecordTable;
using vantero::RecordTableError;
using vantero::test::FolderEntries;
using vantero::test::ReadBytes;
using vantero::test::TempFolder;
using vantero::test::WriteBytes;

namespace {

struct LogTable : RecordTable {
    LogTable() { AddStringField("Message", 255); }
    void Add(const std::string& text) {
        Append();
        SetString("Message", text);
        Post();
    }
};

std::string ErrorOf(RecordTable& t, const std::string& file) {
    try {
        t.ExportText(file);
    } catch (const RecordTableError& e) {
        return e.what();
    }
    return "no error";
}

} // namespace

TEST(ExportText, WritesHeaderAndRowsTabJoinedWithCrLfAfterEveryLine) {
    TempFolder dir;
    RecordTable t;
    t.AddStringField("TableName", 150);
    t.AddStringField("TableType", 15);
    t.AddStringField("TablePath", 255);
    t.Open();
    t.Append();
    t.SetString("TableName", "roads.tab");
    t.SetString("TableType", "Native");
    t.SetString("TablePath", "/data");
    t.Post();
    t.Append(); // a record with null fields exports empty values
    t.Post();
    t.Append();
    t.SetString("TableName", "odd\tname\r\n.tab");
    t.Post();
    t.MoveTo(1);

    t.ExportText(dir.file("list.txt"));
    EXPECT_EQ(ReadBytes(dir.file("list.txt")), "TableName\tTableType\tTablePath\r\n"
                                               "roads.tab\tNative\t/data\r\n"
                                               "\t\t\r\n"
                                               "odd\tname\r\n.tab\t\t\r\n");
    EXPECT_EQ(t.CurrentRow(), 1u);
}

TEST(ExportText, EmptyTableGivesTheHeaderAloneAndClosedTableWritesNothing) {
    TempFolder dir;
    LogTable t;
    t.ExportText(dir.file("closed.txt"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("closed.txt")));

    t.Open();
    t.ExportText(dir.file("log.txt"));
    EXPECT_EQ(ReadBytes(dir.file("log.txt")), "Message\r\n");
}

TEST(ExportText, ReplacesAnExistingFileAndLeavesNoTemporaryFile) {
    TempFolder dir;
    WriteBytes(dir.file("log.txt"), std::string(10000, 'o'));
    LogTable t;
    t.Open();
    t.Add("Packed table roads.tab");
    t.ExportText(dir.file("log.txt"));
    EXPECT_EQ(ReadBytes(dir.file("log.txt")), "Message\r\nPacked table roads.tab\r\n");
    EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"log.txt"});
}

TEST(ExportText, FailureRaisesAndLeavesTheOldFileAsItWas) {
    TempFolder dir;
    LogTable t;
    t.Open();
    t.Add("row");

    const std::string missing = dir.file("no/such/folder/log.txt");
    EXPECT_EQ(ErrorOf(t, missing), "Cannot create file " + missing);

    // A directory in the way cannot be replaced, even by root.
    std::filesystem::create_directory(dir.file("taken"));
    EXPECT_EQ(ErrorOf(t, dir.file("taken")), "Cannot create file " + dir.file("taken"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("taken")));

    // A disk that fills up half-way: the file size limit stands in for it and binds root too.
    const std::string old = "old log that must survive\r\n";
    WriteBytes(dir.file("log.txt"), old);
    for (int i = 0; i < 200; ++i)
        t.Add(std::string(200, 'x'));
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string error = ErrorOf(t, dir.file("log.txt"));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(error, "Cannot create file " + dir.file("log.txt"));
    EXPECT_EQ(ReadBytes(dir.file("log.txt")), old);
    auto entries = FolderEntries(dir.path());
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{"log.txt", "taken"}));
}
