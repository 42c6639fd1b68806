#include "catalogue/DetectTableType.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using vantero::test::TempFolder;
using vantero::test::writeBytes;

namespace {

// The kind as the table list shows it.
std::string kindOf(const std::string& file) {
    return vantero::tableKindText(vantero::detectTableType(file));
}

class Detect : public testing::Test {
protected:
    std::string Of(const std::string& bytes) {
        const std::string file = dir.file("t" + std::to_string(++count) + ".tab");
        writeBytes(file, bytes);
        return kindOf(file);
    }
    TempFolder dir;
    int count = 0;
};

} // namespace

TEST_F(Detect, KeywordsMatchInAnyCaseInsideQuotesAndLongerWords) {
    EXPECT_EQ(
        Of("!table\r\n!version 300\r\n\r\nDefinition Table\r\n  Type NATIVE Charset \"x\"\r\n"),
        "Native");
    EXPECT_EQ(Of("  TYPE \"DBF\"\r\n"), "Dbase");
    EXPECT_EQ(Of("  tYpE\tdbf\r"), "Dbase");
    EXPECT_EQ(Of("Typeface ExcelFile.XLSX\r"), "Excel");
    EXPECT_EQ(Of("type=RASTER\r"), "Raster");
    EXPECT_EQ(Of("Type ACCESS Table \"t\"\r"), "Access");
    EXPECT_EQ(Of("nativetype\r"), "Native"); // the two words in any order, no word boundaries
}

TEST_F(Detect, WithinOneLineTheKindsAreTriedInTheirFixedOrder) {
    EXPECT_EQ(Of("xls access dbf raster native type"), "Native");
    EXPECT_EQ(Of("xls access dbf raster type"), "Raster");
    EXPECT_EQ(Of("xls access dbf type"), "Dbase");
    EXPECT_EQ(Of("xls access type"), "Access");
}

TEST_F(Detect, TheFirstMatchingLineDecidesAndLinesWithoutTypeDoNot) {
    EXPECT_EQ(Of("native\rraster\rtype xls\rtype native\r"), "Excel");
    EXPECT_EQ(Of("type\rnative\r"), "Unknown"); // the words on two lines
    EXPECT_EQ(Of("Type Unheard\rType Access\r"), "Access");
    EXPECT_EQ(Of(""), "Unknown");
    EXPECT_EQ(Of("!table\r\n!version 300\r\n"), "Unknown");
}

TEST_F(Detect, CarriageReturnEndsALineAndLineFeedAloneDoesNot) {
    EXPECT_EQ(Of("!table\nType\nNATIVE\n"), "Native");        // LF only: one long line
    EXPECT_EQ(Of("!table\r\nType\r\nNATIVE\r\n"), "Unknown"); // CR LF: three lines
    EXPECT_EQ(Of("type\r\n\nnative"), "Unknown"); // only the first LF belongs to the end
    EXPECT_EQ(Of("type\n\rnative"), "Unknown");
    EXPECT_EQ(Of("first\rtype raster"), "Raster"); // the last line needs no line end
}

TEST_F(Detect, CtrlZEndsTheFile) {
    EXPECT_EQ(Of("!table\r\x1a\rType NATIVE\r"), "Unknown");
    EXPECT_EQ(Of("Type NA\x1aTIVE\r"), "Unknown");
    EXPECT_EQ(Of("Type NATIVE\x1a garbage"), "Native");
}

TEST_F(Detect, KeywordsThatStraddleReadBoundariesAreFound) {
    // Reads come in pieces; a keyword cut by a piece boundary must still be seen, and a CR just
    // past a boundary must still end the line. The six letters of "native" cross each boundary
    // at every split point, from wholly before it to wholly after it.
    for (std::size_t boundary : {4096u, 16384u, 65536u}) {
        for (std::size_t shift = 0; shift <= 10; ++shift) {
            const std::string pad(boundary - shift, '.');
            EXPECT_EQ(Of("type" + pad + "native"), "Native") << boundary << " " << shift;
            EXPECT_EQ(Of(pad + "typ" + "e xls"), "Excel") << boundary << " " << shift;
            EXPECT_EQ(Of("type" + pad + "\rnative"), "Unknown") << boundary << " " << shift;
        }
    }
}

TEST_F(Detect, AnythingThatCannotBeReadIsUnknown) {
    EXPECT_EQ(kindOf(dir.file("missing.tab")), "Unknown");
    EXPECT_EQ(kindOf(""), "Unknown");

    std::filesystem::create_directory(dir.file("dir.tab"));
    EXPECT_EQ(kindOf(dir.file("dir.tab")), "Unknown");

    // A named pipe with no writer must not hang the scan.
    ASSERT_EQ(mkfifo(dir.file("pipe.tab").c_str(), 0644), 0);
    EXPECT_EQ(kindOf(dir.file("pipe.tab")), "Unknown");

    const std::string locked = dir.file("locked.tab");
    writeBytes(locked, "Type NATIVE\r");
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    chmod(dir.path().c_str(), 0755);
    if (geteuid() != 0) {
        EXPECT_EQ(kindOf(locked), "Unknown");
        return;
    }
    // Root reads everything; an ordinary user is what the file keeps out, so ask as one.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(2);
        _exit(kindOf(locked) == "Unknown" ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the file was read; 2: could not drop privileges";
}

TEST(DetectRealTables, GiveTheKindsOfTheTablesOtherProgramsWrote) {
    const std::filesystem::path data = VANTERO_TESTDATA;
    if (!std::filesystem::is_directory(data))
        GTEST_SKIP() << "no real tables at " << data;
    const std::map<std::string, std::string> expected = {
        {"all_geoms.tab", "Native"},
        {"aspatial-table.tab", "Native"},
        {"aspatial.tab", "Native"},
        {"compr_symb_deleted_records.tab", "Native"},
        {"first_table.tab", "Native"},
        {"lambert93_francais.TAB", "Native"},
        {"poly_indexed.tab", "Native"},
        {"seamless.tab", "Native"},
        {"seamless_part1.tab", "Native"},
        {"single_point_mapinfo.tab", "Native"},
        {"tab_with_dbf_with_delete_column.tab", "Dbase"},
        {"view_first_table_second_table.tab", "Unknown"},
        {"view_select_all_first_table_second_table.tab", "Unknown"},
    };
    for (const auto& [name, kind] : expected)
        EXPECT_EQ(kindOf((data / name).string()), kind) << name;
}
