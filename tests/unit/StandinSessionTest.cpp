// The stand-in's reading of MapBasic statements and what it keeps between them, without a bus.

#include "standin/server/StandinSession.h"
#include "mapinfo/Statements.h"
#include "standin/server/Statement.h"
#include "tablefiles/PackTable.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace vantero::standin {
namespace {

using test::readBytes;
using test::TempFolder;
using test::writeBytes;

std::string errorOf(StandinSession& session, const std::string& statement) {
    try {
        session.run(statement);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(ran)";
}

std::string parseError(const std::string& statement) {
    try {
        (void)parseStatement(statement);
    } catch (const StatementError& e) {
        return e.what();
    }
    return "(parsed)";
}

TEST(StandinStatements, ReadKeywordsInAnyCaseAndAnyBlanks) {
    const auto open =
        std::get<OpenTable>(parseStatement("  oPeN\tTABLE  \"/a b/c.tab\"  aS  Roads "));
    EXPECT_EQ(open.path, "/a b/c.tab");
    EXPECT_EQ(open.alias, "Roads");
    EXPECT_FALSE(std::get<OpenTable>(parseStatement("Open Table \"x.tab\"")).alias.has_value());
    EXPECT_EQ(std::get<SetNextDocumentParent>(
                  parseStatement("Set Next Document Parent 4294967301 Style 1"))
                  .window,
              4294967301u);
    EXPECT_EQ(std::get<SetApplicationWindow>(parseStatement("set application window 7")).window,
              7u);
    EXPECT_FALSE(std::get<SetProgressBars>(parseStatement("set progressbars off")).on);
    EXPECT_TRUE(std::get<SetProgressBars>(parseStatement("SET PROGRESSBARS ON")).on);
    EXPECT_TRUE(std::holds_alternative<CloseAll>(parseStatement("close all")));
    EXPECT_EQ(std::get<CloseTable>(parseStatement("Close Table t")).alias, "t");
}

TEST(StandinStatements, ThePackClauseNeedsGraphicOrDataOrBoth) {
    const auto both = std::get<PackTableStatement>(parseStatement("Pack Table t Graphic Data"));
    EXPECT_TRUE(both.graphic && both.data);
    const auto data = std::get<PackTableStatement>(parseStatement("pack table t data"));
    EXPECT_TRUE(data.data && !data.graphic);
    EXPECT_EQ(parseError("Pack Table t"),
              "Pack Table needs Graphic, Data or both in: Pack Table t");
    EXPECT_EQ(parseError("Pack Table t Graphic Graphic"),
              "Unexpected \"Graphic\" in: Pack Table t Graphic Graphic");
    EXPECT_EQ(parseError("Pack Table t Interactive"),
              "Unexpected \"Interactive\" in: Pack Table t Interactive");
    EXPECT_EQ(parseError("Pack Table"), "A table name is missing in: Pack Table");
}

TEST(StandinStatements, DoubledQuotesStandForOneAndAnOpenQuoteIsAnError) {
    // The link doubles a quote in a path; this is where that is undone.
    const std::string statement = openTableStatement("/data/the \"best\" roads.tab", "roads");
    EXPECT_EQ(std::get<OpenTable>(parseStatement(statement)).path, "/data/the \"best\" roads.tab");
    EXPECT_EQ(std::get<OpenTable>(parseStatement("open table \"\"\"\"")).path, "\"");
    EXPECT_EQ(parseError("open table \"/data/roads.tab as roads"),
              "Unterminated string in: open table \"/data/roads.tab as roads");
    EXPECT_EQ(parseError("open table \"a.tab\"as t"),
              "Unrecognized command: open table \"a.tab\"as t");
    EXPECT_EQ(parseError("open table a.tab"),
              "Open Table needs the table's path in double quotes in: open table a.tab");
}

TEST(StandinStatements, AnythingElseIsUnrecognized) {
    for (const char* text : {"", "   ", "hello", "Close", "Set Window 5", "Drop Table t",
                             "Select * From t", "Pack t Data"})
        EXPECT_EQ(parseError(text), std::string("Unrecognized command: ") + text) << text;
    EXPECT_EQ(parseError("Set Application Window -1"),
              "The window handle \"-1\" is not a number in: Set Application Window -1");
    EXPECT_EQ(parseError("Set Next Document Parent 5"),
              "Set Next Document Parent needs Style 1 in: Set Next Document Parent 5");
    EXPECT_EQ(parseError("Close All Now"), "Unexpected \"Now\" in: Close All Now");
}

class StandinSessionTest : public ::testing::Test {
protected:
    TempFolder folder;
    StandinSession session;

    std::string copy(const std::string& table) {
        std::string tab;
        for (const auto& entry : std::filesystem::directory_iterator(VANTERO_TESTDATA)) {
            const std::string name = entry.path().filename().string();
            if (name.substr(0, name.find('.')) != table)
                continue;
            std::filesystem::copy_file(entry.path(), folder.file(name));
            // The samples are read-only where they are kept; a user's own tables are not.
            std::filesystem::permissions(folder.file(name), std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add);
            if (entry.path().extension() == ".tab" || entry.path().extension() == ".TAB")
                tab = folder.file(name);
        }
        return tab;
    }
    std::string open(const std::string& path, const std::string& alias) {
        return openTableStatement(path, alias);
    }
};

std::uint32_t recordCount(const std::string& datPath) {
    const std::string bytes = readBytes(datPath);
    std::uint32_t n = 0;
    for (int i = 3; i >= 0; --i)
        n = n << 8 | static_cast<unsigned char>(bytes.at(4 + i));
    return n;
}

TEST_F(StandinSessionTest, OpenBindsTheAliasForThePackAndCloseAllFreesIt) {
    const std::string tab = copy("compr_symb_deleted_records");
    session.run(open(tab, "t"));
    EXPECT_EQ(errorOf(session, open(tab, "T")), "A table named T is already open (" + tab + ")");
    session.run("Pack Table T Data"); // aliases are not case-sensitive
    EXPECT_EQ(recordCount(folder.file("compr_symb_deleted_records.dat")), 396u);
    session.run("close all");
    EXPECT_TRUE(session.openTables().empty());
    EXPECT_EQ(errorOf(session, "Pack Table t Data"), "Table t is not open");
    session.run(open(tab, "t")); // the same alias again, after close all
    session.run("Close Table t");
    EXPECT_EQ(errorOf(session, "Close Table t"), "Table t is not open");
}

TEST_F(StandinSessionTest, WithoutAnAliasTheTableIsNamedAsTheProgramNamesIt) {
    const std::string tab = copy("first_table");
    session.run("open table \"" + tab + "\"");
    ASSERT_EQ(session.openTables().size(), 1u);
    EXPECT_EQ(session.openTables()[0].alias, tableAlias("first_table.tab"));
    EXPECT_EQ(session.openTables()[0].path, tab);
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

TEST_F(StandinSessionTest, OnlyNativeTablesArePackedAndOtherKindsAreLeftAlone) {
    copy("first_table");
    copy("second_table");
    const std::string view = copy("view_first_table_second_table");
    const std::string seamless = copy("seamless");
    for (const std::string& tab : {view, seamless}) {
        const std::string before = readBytes(tab);
        session.run(open(tab, "t"));
        const std::string error = errorOf(session, "Pack Table t Graphic Data");
        EXPECT_NE(error.find("only native and dBase tables can be packed"), std::string::npos)
            << error;
        EXPECT_EQ(readBytes(tab), before);
        session.run("close all");
    }
}

TEST_F(StandinSessionTest, OpeningATableFinishesAPackThatWasCutShort) {
    const std::string tab = copy("compr_symb_deleted_records");
    const std::string dat = folder.file("compr_symb_deleted_records.dat");
    // A pack stopped after its new files were made durable but before it took effect leaves only
    // leftovers, which the open clears away.
    writeBytes(dat + ".vantero-new", "partial");
    session.run(open(tab, "t"));
    EXPECT_FALSE(std::filesystem::exists(dat + ".vantero-new"));
    EXPECT_EQ(recordCount(dat), 10000u);
}

TEST_F(StandinSessionTest, TheSetUpStatementsAreRemembered) {
    session.run("Set Next Document Parent 4294967301 Style 1");
    session.run("Set Application Window 12");
    session.run("set progressbars off");
    EXPECT_EQ(session.documentParent(), 4294967301u);
    EXPECT_EQ(session.applicationWindow(), 12u);
    EXPECT_FALSE(session.progressBars());
}

} // namespace
} // namespace vantero::standin
