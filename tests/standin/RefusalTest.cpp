// Tables a pack must refuse: the error names the file at fault, every file stays as it was, and
// the library packs the next table as if nothing had happened.

#include "tablefiles/PackTable.h"
#include "tests/standin/TableSupport.h"

#include <gtest/gtest.h>
#include <ogr_core.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace vantero::tablefiles;
using vantero::PackParts;
using namespace vantero::standin::test;

namespace {

const PackParts kGraphic{true, false};
const PackParts kData{false, true};
const PackParts kBoth{true, true};

std::uint32_t le32(const std::string& bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<unsigned char>(bytes.at(at + static_cast<std::size_t>(i)));
    return v;
}

void putLe32(std::string& bytes, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        bytes.at(at + static_cast<std::size_t>(i)) = static_cast<char>(v >> (8 * i));
}

// Applies edit to the bytes of a file.
template <typename Edit> void editFile(const std::string& path, Edit edit) {
    std::string bytes = readFile(path);
    edit(bytes);
    writeFile(path, bytes);
}

int openDescriptors() {
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    while (readdir(dir))
        ++count;
    closedir(dir);
    return count;
}

// A small GDAL table with deleted rows, so that every kind of pack has work to do.
std::string makeSmallTable(const std::string& folder) {
    return makeGdalTable(
        folder, "made", {{"name", OFTString, 24, 0, true}, {"num", OFTInteger, 0, 0, true}},
        [](int row) {
            NewRow s;
            s.values = {"name " + std::to_string(row), std::to_string(row % 7)};
            const std::string x = std::to_string(row * 10), y = std::to_string(row * 5);
            s.wkt = row % 2 ? "POINT (" + x + " " + y + ")"
                            : "LINESTRING (" + x + " " + y + ",0 0,5 " + y + ")";
            return s;
        },
        200, {3, 10, 20, 150, 200});
}

// The library, after a refusal, still packs a good table.
void expectStillUsable() {
    ScratchFolder folder;
    const std::string tab = copyTable(testData(""), "compr_symb_deleted_records", folder.path());
    const Reading before = readWithGdal(tab);
    packTable(tab, kBoth);
    const Reading after = readWithGdal(tab);
    EXPECT_EQ(after.error, "");
    EXPECT_EQ(withoutFids(after.features), withoutFids(before.features));
}

// Asserts that the pack is refused with a PackError whose message names named, and changes
// nothing in folder; a second try is refused the same way, so no lock or half-state is left.
void expectRefused(const std::string& tab, PackParts options, const std::string& named,
                   const std::string& folder, bool thenPackAnother = true) {
    const Snapshot before = takeSnapshot(folder);
    const int descriptors = openDescriptors();
    std::string first;
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            packTable(tab, options);
            ADD_FAILURE() << tab << " was packed";
        } catch (const PackError& e) {
            const std::string message = e.what();
            EXPECT_NE(message.find(named), std::string::npos)
                << "the message does not name " << named << ": " << message;
            if (attempt == 0)
                first = message;
            else
                EXPECT_EQ(message, first);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "not a PackError: " << e.what();
        }
    }
    EXPECT_EQ(snapshotDifferences(before, takeSnapshot(folder)), "")
        << "a refused pack changed the folder";
    EXPECT_EQ(openDescriptors(), descriptors) << "a refused pack left a file open";
    if (thenPackAnother)
        expectStillUsable();
}

void expectRefusedInEveryMode(const std::string& tab, const std::string& named,
                              const std::string& folder) {
    for (const PackParts options : {kGraphic, kData, kBoth}) {
        SCOPED_TRACE(std::string(options.graphic ? "graphic " : "") + (options.data ? "data" : ""));
        expectRefused(tab, options, named, folder, options.graphic && options.data);
    }
}

} // namespace

TEST(Refusal, PathsThatAreNotTables) {
    ScratchFolder folder;
    const std::string sub = folder.file("folder.tab");
    std::filesystem::create_directory(sub);
    expectRefusedInEveryMode(sub, sub, folder.path());
    expectRefusedInEveryMode(folder.path(), folder.path(), folder.path());
    expectRefusedInEveryMode(folder.file("missing.tab"), folder.file("missing.tab"), folder.path());

    // Text junk, and binary junk, under a .tab name beside a table's other files.
    const std::string junk = folder.file("junk.tab");
    copyTable(testData(""), "single_point_mapinfo", folder.path());
    std::filesystem::rename(folder.file("single_point_mapinfo.dat"), folder.file("junk.dat"));
    writeFile(junk, "This is not a table.\nFields 2\nType NATIVE\n");
    expectRefusedInEveryMode(junk, junk, folder.path());
    const char binary[] = "\x00\x01\xff\xfe garbage \x1a";
    writeFile(junk, std::string(binary, sizeof binary - 1));
    expectRefusedInEveryMode(junk, junk, folder.path());
    writeFile(junk, "");
    expectRefusedInEveryMode(junk, junk, folder.path());
}

TEST(Refusal, TablesOfOtherKinds) {
    {
        SCOPED_TRACE("view");
        ScratchFolder folder;
        for (const char* t : {"view_first_table_second_table", "first_table", "second_table"})
            copyTable(testData(""), t, folder.path());
        const std::string tab = folder.file("view_first_table_second_table.tab");
        EXPECT_EQ(readTableStorage(tab), TableStorage::View);
        expectRefusedInEveryMode(tab, tab, folder.path());
    }
    {
        SCOPED_TRACE("seamless");
        ScratchFolder folder;
        for (const char* t : {"seamless", "seamless_part1", "seamless_part2"})
            copyTable(testData(""), t, folder.path());
        const std::string tab = folder.file("seamless.tab");
        EXPECT_EQ(readTableStorage(tab), TableStorage::Seamless);
        expectRefusedInEveryMode(tab, tab, folder.path());
        // Its parts are ordinary tables.
        EXPECT_EQ(readTableStorage(folder.file("seamless_part1.tab")), TableStorage::Native);
    }
    {
        SCOPED_TRACE("raster");
        ScratchFolder folder;
        const std::string tab = folder.file("photo.tab");
        writeFile(tab, "!table\n!version 300\n!charset WindowsLatin1\n\nDefinition Table\n"
                       "  File \"photo.jpg\"\n  Type \"RASTER\"\n"
                       "  (0,0) (0,0) Label \"Pt 1\",\n  (1000,0) (640,0) Label \"Pt 2\",\n"
                       "  (1000,800) (640,480) Label \"Pt 3\"\n"
                       "  CoordSys NonEarth Units \"m\"\n  Units \"m\"\n");
        writeFile(folder.file("photo.jpg"), "\xff\xd8\xff\xe0 not really a photo");
        EXPECT_EQ(readTableStorage(tab), TableStorage::Raster);
        expectRefusedInEveryMode(tab, tab, folder.path());
    }
    for (const auto& [type, storage, named] :
         {std::tuple{"LINKED", TableStorage::Linked, std::string("made.tab")},
          std::tuple{"NATIVEX", TableStorage::NativeX,
                     std::string("not packed by the stand-in")}}) {
        // A linked table keeps a native copy of server rows; a pack would renumber rows the
        // link matches by number. An extended native table has no independent reader to check
        // a pack of it against.
        SCOPED_TRACE(type);
        ScratchFolder folder;
        const std::string tab = makeSmallTable(folder.path());
        std::string text = readFile(tab);
        const auto at = text.find("Type NATIVE");
        ASSERT_NE(at, std::string::npos);
        text.replace(at, 11, std::string("Type ") + type);
        writeFile(tab, text + "begin_metadata\n\"\\DATALINK\\Query\" = \"select * from made\"\n"
                              "end_metadata\n");
        EXPECT_EQ(readTableStorage(tab), storage);
        expectRefusedInEveryMode(tab, named, folder.path());
    }
}

// Files that are damaged, or that disagree with one another so that the pack cannot know which
// is right: each edit is made to a small GDAL table, and the message names the file given.
TEST(Refusal, DamagedOrDisagreeingFiles) {
    using Edit = std::function<void(std::string&)>;
    const auto replace = [](const char* from, const char* to) -> Edit {
        return [=](std::string& b) { b.replace(b.find(from), std::string(from).size(), to); };
    };
    const auto counts = [](std::uint32_t value) -> Edit {
        return [=](std::string& b) {
            for (int kind = 0; kind < 4; ++kind)
                putLe32(b, 0x13C + 4 * kind, kind == 0 ? value : 0);
        };
    };
    struct Case {
        const char* name;
        std::vector<std::pair<const char*, Edit>> edits;
        const char* named;
    };
    const std::vector<Case> cases = {
        {".DAT shorter than its header says",
         {{"made.dat", [](std::string& b) { b.resize(b.size() - 100); }}},
         "made.dat"},
        {".DAT without a record length",
         {{"made.dat", [](std::string& b) { b[10] = b[11] = 0; }}},
         "made.dat"},
        {".DAT cut short in its header",
         {{"made.dat", [](std::string& b) { b.resize(20); }}},
         "made.dat"},
        {".ID that is not whole entries",
         {{"made.id", [](std::string& b) { b.resize(b.size() - 2); }}},
         "made.id"},
        {".MAP that is not one", {{"made.map", [](std::string& b) { b[0x100] = 0; }}}, "made.map"},
        {"a field of another type",
         {{"made.tab", replace("num Integer", "num SmallInt")}},
         "made.dat"},
        {"a field of another width", {{"made.tab", replace("Char (24)", "Char (20)")}}, "made.dat"},
        {"fields in another order",
         {{"made.tab", replace("name Char (24) Index 1 ;\n    num Integer Index 2 ;",
                               "num Integer Index 2 ;\n    name Char (24) Index 1 ;")}},
         "made.tab"},
        {"a field more",
         {{"made.tab", replace("Fields 2", "Fields 3")},
          {"made.tab", [](std::string& b) { b += "    extra Char (5) ;\n"; }}},
         "made.tab"},
        {"an .ID entry more",
         {{"made.id", [](std::string& b) { b += std::string(4, '\0'); }}},
         "made.id"},
        // Found on a user's table: no record, tens of thousands of objects far past a .MAP
        // that counts none. A pack once emptied its .ID.
        {"a .DAT without records and a .ID with many",
         {{"made.dat",
           [](std::string& b) {
               putLe32(b, 4, 0);
               b.resize(static_cast<unsigned char>(b[8]) | static_cast<unsigned char>(b[9]) << 8);
               b += '\x1a';
           }},
          {"made.id",
           [](std::string& b) {
               b.assign(4 * 40000, '\0');
               for (std::size_t at = 0; at < b.size(); at += 4)
                   putLe32(b, at, 0x10000000u + static_cast<std::uint32_t>(at));
           }},
          {"made.map", counts(0)}},
         "made.id"},
        {"a .MAP header that counts no object", {{"made.map", counts(0)}}, "made.map"},
        {"a .MAP header that counts fewer objects", {{"made.map", counts(150)}}, "made.map"},
        {"a .MAP header without a spatial index",
         {{"made.map", [](std::string& b) { putLe32(b, 0x130, 0); }}},
         "made.map"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder folder;
        const std::string tab = makeSmallTable(folder.path());
        for (const auto& [file, edit] : c.edits)
            editFile(folder.file(file), edit);
        expectRefusedInEveryMode(tab, folder.file(c.named), folder.path());
    }
    {
        SCOPED_TRACE(".ID pointing outside the .MAP");
        ScratchFolder folder;
        const std::string tab = makeSmallTable(folder.path());
        const auto mapSize = static_cast<std::uint32_t>(readFile(folder.file("made.map")).size());
        for (const std::uint32_t at :
             {mapSize + 5120, mapSize + 3, 0xFFFFFFF0u, 200u, 0x7FFFFFFFu}) {
            editFile(folder.file("made.id"),
                     [&](std::string& b) { putLe32(b, 8, at); }); // row 3, deleted
            expectRefusedInEveryMode(tab, folder.file("made.map"), folder.path());
        }
    }
    for (const unsigned char code : {0x00, 0x09, 0x1F, 0x3A, 0x48, 0xC8}) {
        SCOPED_TRACE(".MAP object of unknown kind " + std::to_string(code));
        ScratchFolder folder;
        const std::string tab = makeSmallTable(folder.path());
        const std::uint32_t at = le32(readFile(folder.file("made.id")), 0); // row 1 is live
        editFile(folder.file("made.map"),
                 [&](std::string& b) { b.at(at) = static_cast<char>(code); });
        if (code == 0x3A) {
            // A kind whose record size is known but whose coordinates are not: its row number
            // can be changed where every record keeps it, but the object cannot be moved.
            expectRefused(tab, kGraphic, folder.file("made.map"), folder.path());
            expectRefused(tab, kBoth, folder.file("made.map"), folder.path());
            continue;
        }
        expectRefusedInEveryMode(tab, folder.file("made.map"), folder.path());
    }
}

TEST(Refusal, CorruptIndexFile) {
    // Slot 1's definition: root, entries per node, depth, key length.
    const std::vector<std::pair<const char*, void (*)(std::string&)>> damages = {
        {"magic", [](std::string& b) { b[0] ^= 0x55; }},
        {"slot count", [](std::string& b) { b[12] = 100; }},
        {"root outside", [](std::string& b) { putLe32(b, 48, 0x7FFFFE00); }},
        {"root not on a node", [](std::string& b) { putLe32(b, 48, 700); }},
        {"root is the header",
         [](std::string& b) {
             putLe32(b, 48, 0);
             putLe32(b, 64, 0);
         }},
        {"too deep", [](std::string& b) { b[48 + 6] = 9; }},
        {"key too long", [](std::string& b) { b[48 + 7] = static_cast<char>(250); }},
        {"node count", [](std::string& b) { putLe32(b, le32(b, 48), 5000); }},
        // A cycle must be refused, not followed: the root's first child is the root itself.
        {"loop",
         [](std::string& b) {
             putLe32(b, le32(b, 48) + 12 + static_cast<unsigned char>(b[48 + 7]), le32(b, 48));
         }},
        {"truncated", [](std::string& b) { b.resize(b.size() - 512); }},
        {"short", [](std::string& b) { b.resize(100); }},
    };
    for (const auto& [name, damage] : damages) {
        SCOPED_TRACE(name);
        ScratchFolder folder;
        const std::string tab = makeSmallTable(folder.path());
        const std::string before = readFile(folder.file("made.ind"));
        editFile(folder.file("made.ind"), damage);
        const std::string damaged = readFile(folder.file("made.ind"));
        ASSERT_NE(damaged, before);
        if (std::string(name) == "root is the header") {
            // Both indexes marked deleted is a sound .IND: the pack keeps them deleted.
            packTable(tab, kData);
            EXPECT_EQ(readWithGdal(tab).error, "");
            continue;
        }
        expectRefused(tab, kData, folder.file("made.ind"), folder.path());
        expectRefused(tab, kBoth, folder.file("made.ind"), folder.path());
        // A graphic pack does not read the .IND and does not need it.
        packTable(tab, kGraphic);
        EXPECT_EQ(readFile(folder.file("made.ind")), damaged);
    }
}

// A journal of the pack's swap naming one file, its checksum spoilt by the bits of spoil.
std::string journal(const std::string& name, std::uint32_t spoil = 0) {
    std::string bytes = "VANTERO-PACK-JOURNAL-1\n" + std::string(8, '\0') + name + "....";
    putLe32(bytes, 23, 1);
    putLe32(bytes, 27, static_cast<std::uint32_t>(name.size()));
    std::uint32_t sum = 2166136261u; // FNV-1a
    for (std::size_t i = 0; i + 4 < bytes.size(); ++i)
        sum = (sum ^ static_cast<unsigned char>(bytes[i])) * 16777619u;
    putLe32(bytes, bytes.size() - 4, sum ^ spoil);
    return bytes;
}

// A journal that is damaged, or that names anything but the table's own files, is not acted
// on: neither a pack nor a recovery changes a file, and both say what is wrong.
TEST(Refusal, DamagedJournal) {
    for (const std::string& bytes :
         {std::string("garbage that is no journal"), std::string(), std::string(70000, 'x'),
          journal("made.dat", 1), journal("other.dat"), journal("made.tab")}) {
        ScratchFolder folder;
        const std::string tab = makeSmallTable(folder.path());
        writeFile(tab + ".vantero-journal", bytes);
        // New files of a pack that was cut short, which the journal would rename.
        for (const char* file : {"made.dat", "made.tab", "other.dat"})
            writeFile(folder.file(std::string(file) + ".vantero-new"), "part of a new file");
        writeFile(folder.file("other.dat"), "another table's file");
        expectRefusedInEveryMode(tab, tab + ".vantero-journal", folder.path());
        const Snapshot before = takeSnapshot(folder.path());
        EXPECT_THROW(recoverInterruptedPack(tab), PackError);
        EXPECT_EQ(snapshotDifferences(before, takeSnapshot(folder.path())), "");
    }
    // The same journal, sound, is acted on.
    ScratchFolder folder;
    const std::string tab = makeSmallTable(folder.path());
    writeFile(folder.file("made.dat.vantero-new"), "the new file");
    writeFile(tab + ".vantero-journal", journal("made.dat"));
    recoverInterruptedPack(tab);
    EXPECT_EQ(readFile(folder.file("made.dat")), "the new file");
    EXPECT_FALSE(std::filesystem::exists(tab + ".vantero-journal"));
}

TEST(Refusal, ReadOnlyTables) {
    {
        SCOPED_TRACE("a read-only file");
        ScratchFolder folder;
        const std::string tab = makeSmallTable(folder.path());
        for (const char* ext : {".dat", ".map", ".id"}) {
            const std::string file = folder.file(std::string("made") + ext);
            std::filesystem::permissions(file, std::filesystem::perms::owner_read |
                                                   std::filesystem::perms::group_read);
            expectRefused(tab, std::string(ext) == ".dat" ? kGraphic : kBoth, file, folder.path());
            std::filesystem::permissions(file, std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add);
        }
    }
    // Its metadata says so, or a ReadOnly line after its fields, as in MapInfo's own tables.
    for (const auto& [readOnly, writable] :
         {std::pair{"begin_metadata\n\"\\IsReadOnly\" = \"TRUE\"\nend_metadata\n",
                    "begin_metadata\n\"\\IsReadOnly\" = \"FALSE\"\nend_metadata\n"},
          std::pair{"ReadOnly\n", ""}}) {
        SCOPED_TRACE(readOnly);
        ScratchFolder folder;
        const std::string tab = makeSmallTable(folder.path());
        const std::string text = readFile(tab);
        writeFile(tab, text + readOnly);
        expectRefusedInEveryMode(tab, tab, folder.path());
        writeFile(tab, text + writable);
        packTable(tab, kBoth);
        EXPECT_EQ(readWithGdal(tab).features.size(), 195u);
    }
}

TEST(Refusal, TableBusyInAnotherPack) {
    ScratchFolder folder;
    const std::string tab = makeSmallTable(folder.path());
    const int fd = open(tab.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    expectRefused(tab, kBoth, tab, folder.path());
    close(fd);
    packTable(tab, kBoth);
    EXPECT_EQ(readWithGdal(tab).features.size(), 195u);
}

// A .dbf table's rows can be packed only when the pack loses nothing: every row's deletion
// flag is one dBase knows, nothing follows the records, and no dBase index depends on the rows.
TEST(DbaseTables, DataPackDropsDeletedRowsOnly) {
    ScratchFolder folder;
    const std::string tab =
        copyTable(testData(""), "tab_with_dbf_with_delete_column", folder.path());
    const std::string dbf = folder.file("tab_with_dbf_with_delete_column.dbf");
    const std::string sample = readFile(dbf);
    ASSERT_EQ(readTableStorage(tab), TableStorage::Dbf);
    const std::uint32_t headerLength =
        static_cast<unsigned char>(sample[8]) | static_cast<unsigned char>(sample[9]) << 8;
    const std::uint32_t recordLength =
        static_cast<unsigned char>(sample[10]) | static_cast<unsigned char>(sample[11]) << 8;
    ASSERT_EQ(sample.size(), headerLength + recordLength + 1);

    // Five rows, two of them deleted; the sample's one record is the model for all.
    const auto record = [&](char flag, int id, const std::string& text) {
        std::string r(recordLength, ' ');
        r[0] = flag;
        const std::string number = std::to_string(id);
        r.replace(10 - number.size(), number.size(), number);
        r.replace(10, text.size(), text);
        return r;
    };
    const auto table = [&](const std::vector<std::string>& records) {
        std::string bytes = sample.substr(0, headerLength);
        putLe32(bytes, 4, static_cast<std::uint32_t>(records.size()));
        for (const std::string& r : records)
            bytes += r;
        return bytes + "\x1a";
    };
    const std::vector<std::string> rows = {record(' ', 1, "one"), record('*', 2, "two"),
                                           record(' ', 3, "three"), record('*', 4, "four"),
                                           record(' ', 5, "five")};
    writeFile(dbf, table(rows));
    writeFile(folder.file("tab_with_dbf_with_delete_column.id"), std::string(20, '\0'));
    const Reading original = readWithGdal(tab);
    ASSERT_EQ(original.features.size(), 3u);

    {
        SCOPED_TRACE("a row flagged neither live nor deleted");
        std::vector<std::string> odd = rows;
        odd[2][0] = '#';
        writeFile(dbf, table(odd));
        expectRefused(tab, kData, dbf, folder.path());
    }
    {
        SCOPED_TRACE("a production index");
        std::string flagged = table(rows);
        flagged[28] = 1;
        writeFile(dbf, flagged);
        expectRefused(tab, kData, dbf, folder.path());
    }
    {
        SCOPED_TRACE("bytes after the records");
        writeFile(dbf, table(rows) + "more");
        expectRefused(tab, kData, dbf, folder.path());
    }

    writeFile(dbf, table(rows));
    packTable(tab, kData);
    EXPECT_EQ(readFile(dbf), table({rows[0], rows[2], rows[4]}));
    EXPECT_EQ(readFile(folder.file("tab_with_dbf_with_delete_column.id")), std::string(12, '\0'));
    const Reading packed = readWithGdal(tab);
    EXPECT_EQ(packed.error, original.error);
    EXPECT_EQ(withoutFids(packed.features), withoutFids(original.features));
    packTable(tab, kGraphic);
    EXPECT_EQ(readWithGdal(tab).features, packed.features);
}
