#include "catalogue/DetectTableType.h"
#include "base/Ascii.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#ifndef _WIN32
#include <sys/stat.h>
#endif

using vantero::test::TempFolder;
using vantero::test::writeBytes;

namespace {

// The kind as the table list shows it.
std::string kindOf(const std::string& file) {
    return vantero::tableKindText(vantero::detectTableType(file));
}

class Detect : public testing::Test {
protected:
    // The kind of a file of these bytes; the same of the bytes already read, or a failure.
    std::string Of(const std::string& bytes) {
        const std::string file = dir.file("t" + std::to_string(++count) + ".tab");
        writeBytes(file, bytes);
        const std::string kind = kindOf(file);
        const std::string ofText = vantero::tableKindText(vantero::detectTableTypeInText(bytes));
        return ofText == kind ? kind : "the text says " + ofText + ", the file " + kind;
    }
    TempFolder dir;
    int count = 0;
};

} // namespace

TEST_F(Detect, TheFirstLineWithTypeAndAKindDecides) {
    const std::pair<std::string, const char*> cases[] = {
        {"!table\r\n!version 300\r\n\r\nDefinition Table\r\n  Type NATIVE Charset \"x\"\r\n",
         "Native"},
        // Any letter case, inside quotes or longer words, in either order.
        {"  TYPE \"DBF\"\r\n", "Dbase"},
        {"Typeface ExcelFile.XLSX\r", "Excel"},
        {"type=RASTER\r", "Raster"},
        {"Type ACCESS Table \"t\"\r", "Access"},
        {"nativetype\r", "Native"},
        // Within one line the kinds are tried in a fixed order.
        {"xls access dbf raster native type", "Native"},
        {"xls access dbf raster type", "Raster"},
        {"xls access dbf type", "Dbase"},
        {"xls access type", "Access"},
        // The first matching line decides; a line without "type" never does.
        {"native\rraster\rtype xls\rtype native\r", "Excel"},
        {"Type Unheard\rType Access\r", "Access"},
        {"", "Unknown"},
        {"!table\r\n!version 300\r\n", "Unknown"},
        // CR ends a line, with an LF after it skipped; LF alone does not.
        {"!table\nType\nNATIVE\n", "Native"},
        {"!table\r\nType\r\nNATIVE\r\n", "Unknown"},
        {"type\r\n\nnative", "Unknown"},
        {"type\n\rnative", "Unknown"},
        {"first\rtype raster", "Raster"}, // the last line needs no end
        // Ctrl+Z ends the file.
        {"!table\r\x1a\rType NATIVE\r", "Unknown"},
        {"Type NA\x1aTIVE\r", "Unknown"},
        {"Type NATIVE\x1a garbage", "Native"},
    };
    for (const auto& [text, kind] : cases)
        EXPECT_EQ(Of(text), kind) << text;
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
            EXPECT_EQ(Of("\x1a" + pad + "\rtype native"), "Unknown") << boundary << " " << shift;
        }
    }
}

TEST_F(Detect, AnythingThatCannotBeReadIsUnknown) {
    EXPECT_EQ(kindOf(dir.file("missing.tab")), "Unknown");
    EXPECT_EQ(kindOf(""), "Unknown");
    std::filesystem::create_directory(dir.file("dir.tab"));
    EXPECT_EQ(kindOf(dir.file("dir.tab")), "Unknown");

#ifndef _WIN32
    // A named pipe with no writer must not hang the scan.
    ASSERT_EQ(mkfifo(dir.file("pipe.tab").c_str(), 0644), 0);
    EXPECT_EQ(kindOf(dir.file("pipe.tab")), "Unknown");
#endif
}

TEST(DetectRealTables, GiveTheKindsOfTheTablesOtherProgramsWrote) {
    const std::filesystem::path data = VANTERO_TESTDATA;
    if (!std::filesystem::is_directory(data))
        GTEST_SKIP() << "no real tables at " << data;
    // The rest are native tables.
    const std::map<std::string, std::string> others = {
        {"tab_with_dbf_with_delete_column.tab", "Dbase"},
        {"view_first_table_second_table.tab", "Unknown"},
        {"view_select_all_first_table_second_table.tab", "Unknown"},
    };
    for (const auto& entry : std::filesystem::directory_iterator(data)) {
        const std::string name = entry.path().filename().string();
        if (!vantero::endsWithIgnoringAsciiCase(name, ".tab"))
            continue;
        const auto other = others.find(name);
        EXPECT_EQ(kindOf(entry.path().string()), other == others.end() ? "Native" : other->second)
            << name;
    }
}
