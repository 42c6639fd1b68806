#include "records/RecordTable.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>

namespace vantero {
namespace {

using test::folderEntries;
using test::readBytes;
using test::TempFolder;
using test::writeBytes;

struct LogTable : RecordTable {
    LogTable() {
        addStringField("Message", 255);
        open();
    }
    void add(const std::string& text) {
        append();
        setString("Message", text);
        post();
    }
    std::string errorOf(const std::string& file) {
        try {
            exportText(file);
        } catch (const RecordTableError& e) {
            return e.what();
        }
        return "no error";
    }
};

// An empty table gives the header alone; every export replaces what was there and leaves no
// temporary file; a closed table writes nothing.
TEST(ExportText, WritesHeaderAndRowsTabJoinedWithCrLfAfterEveryLine) {
    TempFolder dir;
    RecordTable t;
    for (const char* field : {"TableName", "TableType", "TablePath"})
        t.addStringField(field, 255);
    t.open();
    writeBytes(dir.file("list.txt"), std::string(10000, 'o'));
    t.exportText(dir.file("list.txt"));
    EXPECT_EQ(readBytes(dir.file("list.txt")), "TableName\tTableType\tTablePath\r\n");
    const auto add = [&t](const std::vector<std::pair<const char*, const char*>>& values) {
        t.append();
        for (const auto& [field, value] : values)
            t.setString(field, value);
        t.post();
    };
    add({{"TableName", "roads.tab"}, {"TableType", "Native"}, {"TablePath", "/data"}});
    add({}); // a record with null fields exports empty values
    add({{"TableName", "odd\tname\r\n.tab"}});
    t.moveTo(1);
    t.exportText(dir.file("list.txt"));
    EXPECT_EQ(readBytes(dir.file("list.txt")), "TableName\tTableType\tTablePath\r\n"
                                               "roads.tab\tNative\t/data\r\n"
                                               "\t\t\r\n"
                                               "odd\tname\r\n.tab\t\t\r\n");
    EXPECT_EQ(t.currentRow(), 1u);
    t.close();
    t.exportText(dir.file("closed.txt"));
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"list.txt"});
}

TEST(ExportText, FailureRaisesAndLeavesTheOldFileAsItWas) {
    TempFolder dir;
    LogTable t;
    const std::string missing = dir.file("no/such/folder/log.txt");
    EXPECT_EQ(t.errorOf(missing), "Cannot create file " + missing);
    // A directory in the way cannot be replaced, even by root.
    std::filesystem::create_directory(dir.file("taken"));
    EXPECT_EQ(t.errorOf(dir.file("taken")), "Cannot create file " + dir.file("taken"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("taken")));
    // A disk that fills up half-way: the file size limit stands in for it and binds root too.
    const std::string old = "old log that must survive\r\n";
    writeBytes(dir.file("log.txt"), old);
    for (int i = 0; i < 200; ++i)
        t.add(std::string(200, 'x'));
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string error = t.errorOf(dir.file("log.txt"));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(error, "Cannot create file " + dir.file("log.txt"));
    EXPECT_EQ(readBytes(dir.file("log.txt")), old);
    auto entries = folderEntries(dir.path());
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{"log.txt", "taken"}));
}

// A read-only file is kept as the user made it; a symbolic link is written through, to its target.
TEST(ExportText, KeepsReadOnlyFilesAndWritesThroughLinks) {
    TempFolder dir;
    LogTable t;
    t.add("row");
    const std::string expected = "Message\r\nrow\r\n";
    writeBytes(dir.file("kept.log"), "old");
    std::filesystem::permissions(dir.file("kept.log"), std::filesystem::perms::owner_read);
    EXPECT_EQ(t.errorOf(dir.file("kept.log")), "Cannot create file " + dir.file("kept.log"));
    EXPECT_EQ(readBytes(dir.file("kept.log")), "old");
    std::filesystem::create_directory(dir.file("logs"));
    writeBytes(dir.file("logs/run.log"), "old");
    std::filesystem::create_symlink("logs/run.log", dir.file("link.log"));
    std::filesystem::create_symlink(dir.file("nowhere.log"), dir.file("dangling.log"));
    for (const char* link : {"link.log", "dangling.log"}) {
        t.exportText(dir.file(link));
        EXPECT_TRUE(std::filesystem::is_symlink(dir.file(link))) << link;
        EXPECT_EQ(readBytes(dir.file(link)), expected) << link;
    }
    EXPECT_EQ(readBytes(dir.file("logs/run.log")), expected);
}

} // namespace
} // namespace vantero
