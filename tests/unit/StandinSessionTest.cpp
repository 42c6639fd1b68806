// The stand-in's reading of MapBasic statements and what it keeps between them, without a bus.

#include "standin/server/StandinSession.h"
#include "mapinfo/Statements.h"
#include "standin/server/Statement.h"
#include "tablefiles/PackTable.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <type_traits>
#include <variant>

namespace vantero::standin {
namespace {

using test::TempFolder;
using test::writeBytes;
const auto open = openTableStatement;

std::string errorOf(StandinSession& session, const std::string& statement) {
    try {
        session.run(statement);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(ran)";
}

// What the parser makes of a statement, in a few words, or its error.
std::string parsed(const std::string& statement) {
    try {
        return std::visit(
            [](const auto& s) -> std::string {
                using T = std::decay_t<decltype(s)>;
                if constexpr (std::is_same_v<T, OpenTable>)
                    return "open [" + s.path + "] as " + s.alias.value_or("(none)");
                else if constexpr (std::is_same_v<T, PackTableStatement>)
                    return "pack " + s.alias + (s.graphic ? " graphic" : "") +
                           (s.data ? " data" : "");
                else if constexpr (std::is_same_v<T, SetNextDocumentParent>)
                    return "parent " + std::to_string(s.window);
                else if constexpr (std::is_same_v<T, SetApplicationWindow>)
                    return "window " + std::to_string(s.window);
                else if constexpr (std::is_same_v<T, SetProgressBars>)
                    return s.on ? "progress on" : "progress off";
                else if constexpr (std::is_same_v<T, CloseTable>)
                    return "close " + s.alias;
                else
                    return "close all";
            },
            parseStatement(statement));
    } catch (const StatementError& e) {
        return e.what();
    }
}

// Keywords in any case and any blanks; doubled quotes stand for one (the link doubles a quote in
// a path); anything else is refused with a message that quotes it.
TEST(StandinStatements, AreReadAsMapInfoWouldReadThem) {
    const std::pair<std::string, std::string> cases[] = {
        {"  oPeN\tTABLE  \"/a b/c.tab\"  aS  Roads ", "open [/a b/c.tab] as Roads"},
        {"Open Table \"x.tab\"", "open [x.tab] as (none)"},
        {openTableStatement("/d/the \"best\" roads.tab", "r"),
         "open [/d/the \"best\" roads.tab] as r"},
        {"Set Next Document Parent 4294967301 Style 1", "parent 4294967301"},
        {"set application window 7", "window 7"},
        {"set progressbars off", "progress off"},
        {"SET PROGRESSBARS ON", "progress on"},
        {"close all", "close all"},
        {"Close Table t", "close t"},
        {"Pack Table t Graphic Data", "pack t graphic data"},
        {"pack table t data", "pack t data"},
        {"Pack Table t", "Pack Table needs Graphic, Data or both in: Pack Table t"},
        {"Pack Table t Graphic Graphic", "Unexpected \"Graphic\" in: Pack Table t Graphic Graphic"},
        {"Pack Table", "A table name is missing in: Pack Table"},
        {"open table \"/d/r.tab as r", "Unterminated string in: open table \"/d/r.tab as r"},
        {"open table \"a.tab\"as t", "Unrecognized command: open table \"a.tab\"as t"},
        {"open table a.tab",
         "Open Table needs the table's path in double quotes in: open table a.tab"},
        {"Set Application Window -1",
         "The window handle \"-1\" is not a number in: Set Application Window -1"},
        {"Set Next Document Parent 5",
         "Set Next Document Parent needs Style 1 in: Set Next Document Parent 5"},
        {"Close All Now", "Unexpected \"Now\" in: Close All Now"},
        {"", "Unrecognized command: "},
    };
    for (const auto& [statement, reading] : cases)
        EXPECT_EQ(parsed(statement), reading) << statement;
}

class StandinSessionTest : public ::testing::Test {
protected:
    TempFolder folder;
    StandinSession session;
    // Copies the sample's files; returns its .tab.
    std::string copy(const std::string& table) {
        for (const auto& entry : std::filesystem::directory_iterator(VANTERO_TESTDATA)) {
            const std::string name = entry.path().filename().string();
            if (name.substr(0, name.find('.')) != table)
                continue;
            std::filesystem::copy_file(entry.path(), folder.file(name));
            // The samples are read-only where they are kept; a user's own tables are not.
            std::filesystem::permissions(folder.file(name), std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add);
        }
        return folder.file(table + ".tab");
    }
};

TEST_F(StandinSessionTest, OpenBindsTheAliasForThePackAndCloseAllFreesIt) {
    const std::string tab = copy("compr_symb_deleted_records");
    const std::string dat = folder.file("compr_symb_deleted_records.dat");
    const auto size = std::filesystem::file_size(dat);
    // Leftovers of a pack cut short before it took effect: the open clears them away.
    writeBytes(dat + ".vantero-new", "partial");
    session.run(open(tab, "t"));
    EXPECT_FALSE(std::filesystem::exists(dat + ".vantero-new"));
    EXPECT_EQ(errorOf(session, open(tab, "T")), "A table named T is already open (" + tab + ")");
    session.run("Pack Table T Data"); // aliases are not case-sensitive
    EXPECT_LT(std::filesystem::file_size(dat), size);
    session.run("close all");
    EXPECT_TRUE(session.openTables().empty());
    EXPECT_EQ(errorOf(session, "Pack Table t Data"), "Table t is not open");
    session.run(open(tab, "t")); // the same alias again, after close all
    session.run("Close Table t");
    EXPECT_EQ(errorOf(session, "Close Table t"), "Table t is not open");
    // Without an alias the table is named as the program names it.
    session.run("open table \"" + tab + "\"");
    EXPECT_EQ(session.openTables().at(0).alias, tableAlias("compr_symb_deleted_records.tab"));
}

TEST_F(StandinSessionTest, OpenRefusesWhatIsNotATableAndNamesIt) {
    const std::string tab = copy("first_table");
    writeBytes(folder.file("notes.tab"), "just some text\n");
    std::filesystem::create_directory(folder.file("folder.tab"));
    EXPECT_EQ(errorOf(session, open(folder.file("missing.tab"), "m")),
              "Cannot open " + folder.file("missing.tab") + ": No such file or directory");
    EXPECT_EQ(errorOf(session, open(folder.file("folder.tab"), "f")),
              "Cannot open " + folder.file("folder.tab") + ": it is a folder, not a MapInfo table");
    EXPECT_NE(errorOf(session, open(folder.file("notes.tab"), "n")).find(folder.file("notes.tab")),
              std::string::npos);
    EXPECT_EQ(errorOf(session, open(tab, "2roads")), "Invalid table name \"2roads\" for " + tab);
    EXPECT_EQ(errorOf(session, open(tab, "a-b")), "Invalid table name \"a-b\" for " + tab);
    EXPECT_TRUE(session.openTables().empty()) << "a failed open binds nothing";
}

// The pack's own tests cover what it refuses and that it changes nothing; here, that a refused
// table stays open, as in MapInfo.
TEST_F(StandinSessionTest, ARefusedPackLeavesTheTableOpen) {
    session.run(open(copy("view_first_table_second_table"), "t"));
    const std::string error = errorOf(session, "Pack Table t Graphic Data");
    EXPECT_NE(error.find("only native and dBase tables can be packed"), std::string::npos) << error;
    EXPECT_EQ(session.openTables().size(), 1u);
}

} // namespace
} // namespace vantero::standin
