#include "catalogue/ListTables.h"
#include "base/Ascii.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace vantero {
namespace {

using test::writeBytes;

using Rows = std::vector<std::string>; // name|type|path

class Scan : public testing::Test {
protected:
    Scan() { declareTableListFields(tableList); }
    Rows list(const std::string& path) {
        listTables(tableList, path);
        Rows rows;
        for (std::size_t r = 0; r < tableList.recordCount(); ++r) {
            tableList.moveTo(r);
            rows.push_back(tableList.getString("TableName") + "|" +
                           tableList.getString("TableType") + "|" +
                           tableList.getString("TablePath"));
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

TEST_F(Scan, ListsEveryTabEntryInTheDirectorysOrderWithItsKindAndTheFolderAsGiven) {
    // name -> contents, and the kind listed (nullptr: not listed)
    const std::map<std::string, std::pair<const char*, const char*>> files = {
        {"Roads.TAB", {"!table\r\n  Type NATIVE\r\n", "Native"}},
        {"Parcels.tab", {"!table\r\n  Type DBF\r\n", "Dbase"}},
        {".x.tab", {"Type RASTER\r", "Raster"}},
        {".tab", {"Type ACCESS\r", "Access"}},
        {"CAF\xC9.TaB", {"Type XLS\r", "Excel"}}, // not UTF-8: listed by its bytes
        {"notes.txt", {"Type NATIVE\r", nullptr}},
        {"tab", {"Type NATIVE\r", nullptr}},
        {"x.tabs", {"Type NATIVE\r", nullptr}},
    };
    for (const auto& [name, file] : files)
        writeBytes(dir.file(name), file.first);
    std::filesystem::create_directory(dir.file("dir.tab"));
    Rows expected;
    for (const std::string& name : test::folderEntries(dir.path())) {
        const char* kind = name == "dir.tab" ? "Unknown" : files.at(name).second;
        if (kind != nullptr)
            expected.push_back(listed(name) + "|" + kind + "|" + dir.path());
    }
    EXPECT_EQ(list(dir.path()), expected);
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
    EXPECT_EQ(list(trailing), Rows{"a.tab|Native|" + trailing});
    // Long paths are cut to the field's 255 bytes, the detection still uses the whole path.
    std::string deep = dir.path();
    while (deep.size() < 300) {
        deep += "/" + std::string(40, 'd');
        std::filesystem::create_directory(deep);
    }
    writeBytes(deep + "/b.tab", "Type DBF\r");
    EXPECT_EQ(list(deep), Rows{"b.tab|Dbase|" + deep.substr(0, 255)});
    // An empty path searches the root folder, with an empty table path.
    Rows root = list("/");
    for (std::string& row : root)
        row.pop_back(); // the path "/"
    EXPECT_EQ(list(""), root);
}

} // namespace
} // namespace vantero
