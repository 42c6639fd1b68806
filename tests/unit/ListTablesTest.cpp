#include "catalogue/ListTables.h"
#include "records/Ascii.h"
#include "tests/support/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

using testing::ElementsAre;
using testing::UnorderedElementsAre;
using vantero::ListTables;
using vantero::RecordTable;
using vantero::test::FolderEntries;
using vantero::test::TempFolder;
using vantero::test::WriteBytes;

namespace {

struct Row {
    std::string name, type, path;
    bool operator==(const Row&) const = default;
    friend std::ostream& operator<<(std::ostream& os, const Row& r) {
        return os << "{" << r.name << ", " << r.type << ", " << r.path << "}";
    }
};

class Scan : public testing::Test {
protected:
    Scan() { vantero::DeclareTableListFields(memTabList); }
    std::vector<Row> List(const std::string& path) {
        ListTables(memTabList, path);
        std::vector<Row> rows;
        for (std::size_t r = 0; r < memTabList.RecordCount(); ++r) {
            memTabList.MoveTo(r);
            rows.push_back({memTabList.GetString("TableName"), memTabList.GetString("TableType"),
                            memTabList.GetString("TablePath")});
        }
        return rows;
    }
    RecordTable memTabList;
    TempFolder dir;
};

} // namespace

TEST_F(Scan, ListsEveryTabEntryLowerCasedWithItsKindAndTheFolderAsGiven) {
    WriteBytes(dir.file("Roads.TAB"), "!table\r\n  Type NATIVE\r\n");
    WriteBytes(dir.file("Parcels.tab"), "!table\r\n  Type DBF\r\n");
    WriteBytes(dir.file(".x.tab"), "Type RASTER\r");
    std::filesystem::create_directory(dir.file("dir.tab"));
    WriteBytes(dir.file("CAF\xC9.TaB"), "Type XLS\r"); // not UTF-8: listed by its bytes
    WriteBytes(dir.file("notes.txt"), "Type NATIVE\r");
    WriteBytes(dir.file("tab"), "Type NATIVE\r");
    WriteBytes(dir.file("x.tabs"), "Type NATIVE\r");

    EXPECT_THAT(List(dir.path()), UnorderedElementsAre(Row{"roads.tab", "Native", dir.path()},
                                                       Row{"parcels.tab", "Dbase", dir.path()},
                                                       Row{".x.tab", "Raster", dir.path()},
                                                       Row{"dir.tab", "Unknown", dir.path()},
                                                       Row{"caf\xC9.tab", "Excel", dir.path()}));

    // Rows come in the order the directory gives its entries, and ids in posting order.
    std::vector<std::string> order;
    for (const auto& name : FolderEntries(dir.path()))
        if (name.size() > 4 && vantero::EndsWithIgnoringAsciiCase(name, ".tab"))
            order.push_back(vantero::AsciiLower(name));
    std::vector<std::string> listed;
    for (std::size_t r = 0; r < memTabList.RecordCount(); ++r) {
        listed.push_back(memTabList.ValueAt(r, *memTabList.FieldIndex("TableName")));
        EXPECT_EQ(memTabList.RecIdAt(r), static_cast<int>(r + 1));
    }
    EXPECT_EQ(listed, order);
}

TEST_F(Scan, RebuildsFromScratchAndMissingFoldersGiveNoRows) {
    WriteBytes(dir.file("a.tab"), "Type NATIVE\r");
    EXPECT_EQ(List(dir.path()).size(), 1u);
    EXPECT_EQ(List(dir.path()).size(), 1u);
    EXPECT_EQ(memTabList.RecIdAt(0), 1);

    EXPECT_TRUE(List(dir.file("gone")).empty());
    EXPECT_TRUE(memTabList.IsOpen());
    EXPECT_TRUE(List(dir.file("a.tab")).empty()); // a file is not a folder
}

TEST_F(Scan, FolderPathIsJoinedWithOneSeparatorAndKeptAsGiven) {
    WriteBytes(dir.file("a.tab"), "Type NATIVE\r");
    const std::string trailing = dir.path() + "/";
    EXPECT_THAT(List(trailing), ElementsAre(Row{"a.tab", "Native", trailing}));

    // Long paths are cut to the field's 255 bytes, the detection still uses the whole path.
    std::string deep = dir.path();
    while (deep.size() < 300) {
        deep += "/" + std::string(40, 'd');
        std::filesystem::create_directory(deep);
    }
    WriteBytes(deep + "/b.tab", "Type DBF\r");
    EXPECT_THAT(List(deep), ElementsAre(Row{"b.tab", "Dbase", deep.substr(0, 255)}));
}

TEST_F(Scan, EmptyPathSearchesTheRootFolderWithAnEmptyTablePath) {
    std::vector<Row> root = List("/");
    for (Row& r : root)
        r.path.clear();
    EXPECT_EQ(List(""), root);
}
