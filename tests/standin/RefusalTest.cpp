// Tables a pack must refuse: the error names the file at fault, and every file stays as it was.

#include "tablefiles/PackTable.h"
#include "tests/standin/TableSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <ogr_core.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

using namespace vantero::tablefiles;
using namespace vantero::standin::test;

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

auto openDescriptors() {
    return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
}

// A copy of a small GDAL table with deleted rows, so that every kind of pack has work to do.
// Its rows 1 and 2 are live, 3 is deleted.
std::string copySmallTable(const std::string& folder) {
    static const ScratchFolder source;
    static const std::string tab = makeGdalTable(
        source.path(), "made", {{"name", OFTString, 24, 0, true}, {"num", OFTInteger, 0, 0, true}},
        [](int row) {
            const std::string x = std::to_string(row * 10), y = std::to_string(row * 5);
            return NewRow{{"name " + std::to_string(row), std::to_string(row % 7)},
                          row % 2 ? "POINT (" + x + " " + y + ")"
                                  : "LINESTRING (" + x + " " + y + ",0 0,5 " + y + ")",
                          ""};
        },
        200, {3, 10, 20, 150, 200});
    return copyTable(source.path(), "made", folder);
}

// Each mode's pack is refused with a PackError that names named, and leaves folder as it was.
void expectRefused(const std::string& tab, const std::string& named, const std::string& folder,
                   const std::vector<PackParts>& modes = {kGraphic, kData, kBoth}) {
    for (const PackParts mode : modes) {
        SCOPED_TRACE(modeName(mode));
        const Snapshot before = takeSnapshot(folder);
        const auto descriptors = openDescriptors();
        EXPECT_THAT([&] { packTable(tab, mode); },
                    testing::ThrowsMessage<PackError>(testing::HasSubstr(named)));
        EXPECT_EQ(snapshotDifferences(before, takeSnapshot(folder)), "")
            << "a refused pack changed the folder";
        EXPECT_EQ(openDescriptors(), descriptors) << "a refused pack left a file open";
    }
}

// A journal of the pack's swap naming one file, its checksum spoilt by the bits of spoil.
std::string journal(const std::string& name, std::uint32_t spoil = 0) {
    const std::string bytes = "VANTERO-PACK-JOURNAL-1\n" + le(1, 4) + le(name.size(), 4) + name;
    std::uint32_t sum = 2166136261u; // FNV-1a
    for (const char c : bytes)
        sum = (sum ^ static_cast<unsigned char>(c)) * 16777619u;
    return bytes + le(sum ^ spoil, 4);
}

} // namespace

TEST(Refusal, PathsThatAreNotTables) {
    ScratchFolder folder;
    fs::create_directory(folder.file("folder.tab"));
    // Junk under a .tab name beside a table's other files.
    const std::string junk = folder.file("junk.tab");
    copyTable(testData(""), "single_point_mapinfo", folder.path());
    fs::rename(folder.file("single_point_mapinfo.dat"), folder.file("junk.dat"));
    for (const auto& [path, text] : {std::pair{folder.file("folder.tab"), ""},
                                     {folder.path(), ""},
                                     {folder.file("missing.tab"), ""},
                                     {junk, "This is not a table.\nFields 2\nType NATIVE\n"},
                                     {junk, "\x01\xff\xfe garbage \x1a"},
                                     {junk, ""}}) {
        SCOPED_TRACE(path + ": " + text);
        if (path == junk)
            writeFile(junk, text);
        expectRefused(path, path, folder.path());
    }
}

// A seamless table's .DAT lists its parts. A linked table keeps a native copy of server rows; a
// pack would renumber rows the link matches by number. An extended native table has no
// independent reader to check a pack of it against.
TEST(Refusal, TablesOfOtherKindsThatHaveADat) {
    for (const auto& [type, storage] : {std::pair{"", TableStorage::Seamless},
                                        {"LINKED", TableStorage::Linked},
                                        {"NATIVEX", TableStorage::NativeX}}) {
        ScratchFolder folder;
        std::string tab = folder.file("seamless.tab");
        if (*type) {
            tab = copySmallTable(folder.path());
            std::string text = readFile(tab);
            writeFile(tab, text.replace(text.find("NATIVE"), 6, type) +
                               "begin_metadata\n\"\\DATALINK\\Query\" = \"select * from made\"\n"
                               "end_metadata\n");
        } else {
            for (const char* t : {"seamless", "seamless_part1", "seamless_part2"})
                copyTable(testData(""), t, folder.path());
        }
        SCOPED_TRACE(tab);
        EXPECT_EQ(readTableStorage(tab), storage);
        expectRefused(tab, tab, folder.path());
    }
}

// Files that are damaged, or that disagree with one another so that the pack cannot know which
// is right: each case edits a copy of the small table, the message names the file given, and
// the modes not listed pack the table as it is.
TEST(Refusal, DamagedOrDisagreeingFiles) {
    ScratchFolder model;
    copySmallTable(model.path());
    const std::string id = readFile(model.file("made.id")), ind = readFile(model.file("made.ind"));
    // The first index of the .IND: its root at 48, then entries per node, depth, key length.
    const std::uint32_t row1 = le32(id, 0), root = le32(ind, 48);
    const std::uint32_t firstChild = root + 12 + static_cast<std::uint32_t>(ind.at(48 + 7));
    using Edit = std::pair<const char*, std::function<void(std::string&)>>; // file, change
    const auto put = [](const char* file, std::size_t at, std::uint32_t value, int width = 4) {
        return Edit{file, [=](std::string& b) { b.replace(at, width, le(value, width)); }};
    };
    const auto tab = [](std::string from, std::string to) {
        return Edit{"made.tab", [=](std::string& b) { b.replace(b.find(from), from.size(), to); }};
    };
    const auto counts = [](std::uint32_t points) { // then no lines, regions or texts
        return Edit{"made.map",
                    [=](std::string& b) { b.replace(0x13C, 16, le(points, 4).append(12, '\0')); }};
    };
    const std::vector<PackParts> rows = {kData, kBoth};
    struct Case {
        const char* name;
        std::vector<Edit> edits;
        const char* named;
        std::vector<PackParts> refused = {kGraphic, kData, kBoth};
    };
    const std::vector<Case> cases = {
        {".DAT shorter than its header says",
         {{"made.dat", [](std::string& b) { b.resize(b.size() - 100); }}},
         "made.dat"},
        {".DAT without a record length", {put("made.dat", 10, 0)}, "made.dat"},
        {"a field of another type", {tab("num Integer", "num SmallInt")}, "made.dat"},
        {"a field of another width", {tab("Char (24)", "Char (20)")}, "made.dat"},
        {"a field more",
         {tab("Fields 2", "Fields 3"), tab(";\n", ";\n extra Char (5) ;\n")},
         "made.tab"},
        {"an .ID entry more", {{"made.id", [](std::string& b) { b += "\0\0\0\0"s; }}}, "made.id"},
        {".ID into the .MAP's header", {put("made.id", 8, 200)}, "made.map"},
        {"rows that refer to each other's objects",
         {put("made.id", 0, le32(id, 4)), put("made.id", 4, row1)},
         "made.map"},
        // Found on a user's table: no record, tens of thousands of objects far past a .MAP
        // that counts none. A pack once emptied its .ID.
        {"a .DAT without records and a .ID with many",
         {put("made.dat", 4, 0),
          {"made.dat", [](std::string& b) { b = b.substr(0, le32(b, 8) & 0xFFFF) + '\x1a'; }},
          {"made.id", [](std::string& b) { b.assign(4 * 40000, '\x10'); }},
          counts(0)},
         "made.id"},
        {".MAP that is not one", {put("made.map", 0x100, 0)}, "made.map"},
        {".MAP counting fewer objects", {counts(150)}, "made.map"},
        {".MAP without a spatial index", {put("made.map", 0x130, 0)}, "made.map"},
        {".MAP object of an unused code", {put("made.map", row1, 0x09, 1)}, "made.map"},
        {".MAP object of no kind", {put("made.map", row1, 0x1F, 1)}, "made.map"},
        {".MAP object past the known codes", {put("made.map", row1, 0x48, 1)}, "made.map"},
        // Its record size is known, so its row number can be changed where every record keeps
        // it; its coordinates are not, so it cannot be moved.
        {".MAP object of unknown layout",
         {put("made.map", row1, 0x3A, 1)},
         "made.map",
         {kGraphic, kBoth}},
        // A graphic pack does not read the .IND and does not need it.
        {".IND that is not one", {put("made.ind", 0, 0)}, "made.ind", rows},
        {".IND of too many indexes", {put("made.ind", 12, 100, 1)}, "made.ind", rows},
        {".IND root not on a node", {put("made.ind", 48, 700)}, "made.ind", rows},
        {".IND node holding too many", {put("made.ind", root, 5000)}, "made.ind", rows},
        // A cycle must be refused, not followed: the root's first child is the root itself.
        {".IND that loops", {put("made.ind", firstChild, root)}, "made.ind", rows},
        // Both indexes marked deleted is a sound .IND: the pack keeps them deleted.
        {".IND of deleted indexes", {put("made.ind", 48, 0), put("made.ind", 64, 0)}, "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder folder;
        const std::string tab = copySmallTable(folder.path());
        for (const auto& [file, change] : c.edits) {
            std::string bytes = readFile(folder.file(file));
            change(bytes);
            writeFile(folder.file(file), bytes);
        }
        expectRefused(tab, folder.file(c.named), folder.path(), c.refused);
        for (const PackParts mode : kEveryMode)
            if (std::find(c.refused.begin(), c.refused.end(), mode) == c.refused.end()) {
                EXPECT_NO_THROW(packTable(tab, mode)) << modeName(mode);
            }
    }
}

// A table's file that is a link is refused, as a pack would replace the link rather than the file
// it names; so is a named pipe, which a pack would wait on for ever.
TEST(Refusal, FilesThatAreNotRegularFiles) {
    for (const char* ext : {".dat", ".map", ".id"})
        for (const std::string what : {"link", "dangling link", "pipe"}) {
            SCOPED_TRACE(what + " " + ext);
            ScratchFolder folder;
            const std::string tab = copySmallTable(folder.path());
            const std::string file = folder.file("made"s + ext);
            fs::rename(file, folder.file("real"));
            if (what == "pipe")
                ASSERT_EQ(mkfifo(file.c_str(), 0644), 0);
            else
                fs::create_symlink(what == "link" ? "real" : "nowhere", file);
            expectRefused(tab, file, folder.path());
        }
}

// A journal that is damaged, or that names anything but the table's own files, is not acted
// on: neither a pack nor a recovery changes a file, and both say what is wrong.
TEST(Refusal, DamagedJournal) {
    for (const auto& [name, bytes] : {std::pair{"empty", std::string()},
                                      {"wrong checksum", journal("made.dat", 1)},
                                      {"another table's files", journal("other.dat")},
                                      {"the .tab itself", journal("made.tab")}}) {
        SCOPED_TRACE(name);
        ScratchFolder folder;
        const std::string tab = copySmallTable(folder.path());
        // New files of a pack that was cut short, which the journal would rename.
        for (const char* file : {"made.dat", "made.tab", "other.dat"})
            writeFile(folder.file(std::string(file) + ".vantero-new"), "part of a new file");
        writeFile(folder.file("other.dat"), "another table's file");
        writeFile(tab + ".vantero-journal", bytes);
        expectRefused(tab, tab + ".vantero-journal", folder.path());
        const Snapshot before = takeSnapshot(folder.path());
        EXPECT_THROW(recoverInterruptedPack(tab), PackError);
        EXPECT_EQ(snapshotDifferences(before, takeSnapshot(folder.path())), "");
    }
    // The same journal, sound, is acted on.
    ScratchFolder folder;
    const std::string tab = copySmallTable(folder.path());
    writeFile(folder.file("made.dat.vantero-new"), "the new file");
    writeFile(tab + ".vantero-journal", journal("made.dat"));
    recoverInterruptedPack(tab);
    EXPECT_EQ(readFile(folder.file("made.dat")), "the new file");
    EXPECT_FALSE(fs::exists(tab + ".vantero-journal"));
}

// A table that may not be written now is refused, and packs once that is no longer so.
TEST(Refusal, ReadOnlyOrBusyTables) {
    for (const char* ext : {".dat", ".map", ".id"}) {
        SCOPED_TRACE(ext);
        ScratchFolder folder;
        const std::string tab = copySmallTable(folder.path());
        fs::permissions(folder.file("made"s + ext), fs::perms::owner_read | fs::perms::group_read);
        expectRefused(tab, folder.file("made"s + ext), folder.path());
    }
    // Its metadata says so, or a ReadOnly line after its fields, as in MapInfo's own tables.
    for (const auto& [readOnly, writable] :
         {std::pair{"begin_metadata\n\"\\IsReadOnly\" = \"TRUE\"\nend_metadata\n",
                    "begin_metadata\n\"\\IsReadOnly\" = \"FALSE\"\nend_metadata\n"},
          std::pair{"ReadOnly\n", ""}}) {
        SCOPED_TRACE(readOnly);
        ScratchFolder folder;
        const std::string tab = copySmallTable(folder.path());
        const std::string text = readFile(tab);
        writeFile(tab, text + readOnly);
        expectRefused(tab, tab, folder.path());
        writeFile(tab, text + writable);
        EXPECT_NO_THROW(packTable(tab, kBoth));
    }
    // Another pack holds it.
    ScratchFolder folder;
    const std::string tab = copySmallTable(folder.path());
    const int fd = open(tab.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    expectRefused(tab, tab, folder.path(), {kBoth});
    close(fd);
    EXPECT_NO_THROW(packTable(tab, kBoth));
}

// A .dbf table's rows can be packed only when the pack loses nothing: every row's deletion
// flag is one dBase knows, nothing follows the records, and no dBase index depends on the rows.
TEST(DbaseTables, DataPackDropsDeletedRowsOnly) {
    ScratchFolder folder;
    const std::string name = "tab_with_dbf_with_delete_column", dbf = folder.file(name + ".dbf");
    const std::string tab = copyTable(testData(""), name, folder.path()), sample = readFile(dbf);
    ASSERT_EQ(readTableStorage(tab), TableStorage::Dbf);
    const std::uint32_t headerLength = le32(sample, 8) & 0xFFFF,
                        recordLength = le32(sample, 10) & 0xFFFF;
    ASSERT_EQ(sample.size(), headerLength + recordLength + 1);
    // The sample's header over records given as pairs of a deletion flag and the row's number.
    const auto table = [&](const std::string& rows, const std::string& end) {
        std::string bytes = sample.substr(0, headerLength).replace(4, 4, le(rows.size() / 2, 4));
        for (std::size_t r = 0; r < rows.size(); r += 2)
            bytes +=
                rows[r] + std::string(8, ' ') + rows[r + 1] + std::string(recordLength - 10, ' ');
        return bytes + "\x1a" + end;
    };
    writeFile(folder.file(name + ".id"), std::string(20, '\0'));
    std::string indexed = table(" 1*2 3*4 5", "");
    indexed[28] = 1;
    for (const auto& [what, bytes] :
         {std::pair{"a row flagged neither live nor deleted", table(" 1*2#3*4 5", "")},
          {"a production index", indexed},
          {"bytes after the records", table(" 1*2 3*4 5", "more")}}) {
        SCOPED_TRACE(what);
        writeFile(dbf, bytes);
        expectRefused(tab, dbf, folder.path(), {kData});
    }
    writeFile(dbf, table(" 1*2 3*4 5", ""));
    packTable(tab, kData);
    EXPECT_EQ(readFile(dbf), table(" 1 3 5", ""));
    EXPECT_EQ(readFile(folder.file(name + ".id")), std::string(12, '\0'));
}
