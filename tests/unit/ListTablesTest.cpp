#include "catalogue/ListTables.h"
#include "base/Ascii.h"
#include "tests/support/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace vantero {
namespace {

using test::writeBytes;
using testing::ElementsAre;

struct Row {
    std::string name, type, path;
    bool operator==(const Row&) const = default;
    friend std::ostream& operator<<(std::ostream& os, const Row& r) {
        return os << "{" << r.name << ", " << r.type << ", " << r.path << "}";
    }
};

class Scan : public testing::Test {
protected:
    Scan() { declareTableListFields(tableList); }
    std::vector<Row> list(const std::string& path) {
        listTables(tableList, path);
        std::vector<Row> rows;
        for (std::size_t r = 0; r < tableList.recordCount(); ++r) {
            tableList.moveTo(r);
            rows.push_back({tableList.getString("TableName"), tableList.getString("TableType"),
                            tableList.getString("TablePath")});
        }
        return rows;
    }
    RecordTable tableList;
    test::TempFolder dir;
};

// Windows lists names lower-cased (they open all the same); a case-sensitive system keeps them.
std::string listed(const std::string& name) {
#ifdef _WIN32
    return asciiLower(name);
#else
    return name;
#endif
}

TEST_F(Scan, ListsEveryTabEntryWithItsKindAndTheFolderAsGiven) {
    writeBytes(dir.file("Roads.TAB"), "!table\r\n  Type NATIVE\r\n");
    writeBytes(dir.file("Parcels.tab"), "!table\r\n  Type DBF\r\n");
    writeBytes(dir.file(".x.tab"), "Type RASTER\r");
    writeBytes(dir.file(".tab"), "Type ACCESS\r");
    std::filesystem::create_directory(dir.file("dir.tab"));
    writeBytes(dir.file("CAF\xC9.TaB"), "Type XLS\r"); // not UTF-8: listed by its bytes
    writeBytes(dir.file("notes.txt"), "Type NATIVE\r");
    writeBytes(dir.file("tab"), "Type NATIVE\r");
    writeBytes(dir.file("x.tabs"), "Type NATIVE\r");

    EXPECT_THAT(list(dir.path()),
                testing::UnorderedElementsAre(Row{listed("Roads.TAB"), "Native", dir.path()},
                                              Row{listed("Parcels.tab"), "Dbase", dir.path()},
                                              Row{".x.tab", "Raster", dir.path()},
                                              Row{".tab", "Access", dir.path()},
                                              Row{"dir.tab", "Unknown", dir.path()},
                                              Row{listed("CAF\xC9.TaB"), "Excel", dir.path()}));

    // Rows come in the order the directory gives its entries, and ids in posting order.
    std::vector<std::string> order;
    for (const auto& name : test::folderEntries(dir.path()))
        if (endsWithIgnoringAsciiCase(name, ".tab"))
            order.push_back(listed(name));
    std::vector<std::string> listed;
    for (std::size_t r = 0; r < tableList.recordCount(); ++r) {
        listed.push_back(tableList.valueAt(r, *tableList.fieldIndex("TableName")));
        EXPECT_EQ(tableList.recIdAt(r), static_cast<int>(r + 1));
    }
    EXPECT_EQ(listed, order);
}

TEST_F(Scan, RebuildsFromScratchAndMissingFoldersGiveNoRows) {
    writeBytes(dir.file("a.tab"), "Type NATIVE\r");
    EXPECT_EQ(list(dir.path()).size(), 1u);
    EXPECT_EQ(list(dir.path()).size(), 1u);
    EXPECT_EQ(tableList.recIdAt(0), 1);

    EXPECT_TRUE(list(dir.file("gone")).empty());
    EXPECT_TRUE(tableList.isOpen());
    EXPECT_TRUE(list(dir.file("a.tab")).empty()); // a file is not a folder
}

TEST_F(Scan, FolderPathIsJoinedWithOneSeparatorAndKeptAsGiven) {
    writeBytes(dir.file("a.tab"), "Type NATIVE\r");
    const std::string trailing = dir.path() + "/";
    EXPECT_THAT(list(trailing), ElementsAre(Row{"a.tab", "Native", trailing}));

    // Long paths are cut to the field's 255 bytes, the detection still uses the whole path.
    std::string deep = dir.path();
    while (deep.size() < 300) {
        deep += "/" + std::string(40, 'd');
        std::filesystem::create_directory(deep);
    }
    writeBytes(deep + "/b.tab", "Type DBF\r");
    EXPECT_THAT(list(deep), ElementsAre(Row{"b.tab", "Dbase", deep.substr(0, 255)}));
}

TEST_F(Scan, EmptyPathSearchesTheRootFolderWithAnEmptyTablePath) {
    std::vector<Row> root = list("/");
    for (Row& r : root)
        r.path.clear();
    EXPECT_EQ(list(""), root);
}

} // namespace
} // namespace vantero
