// Packs of real tables written by MapInfo and by GDAL, and of tables GDAL writes here and then
// deletes rows from, read back with GDAL.

#include "tablefiles/PackTable.h"
#include "tests/standin/TableSupport.h"

#include <gtest/gtest.h>
#include <ogr_core.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace vantero::tablefiles;
using namespace vantero::standin::test;
using namespace std::string_literals;

namespace {

// A table of the shape MapInfo Professional writes and GDAL never does: a compressed and a V450
// region and multiple polyline each, the last object of its block's coordinate chain, its data
// running from one coordinate block into the next. The size each records is MapInfo's, more than
// is there. Before each lies a deleted object and row of the same kind; a garbage block ends it.
std::string makeMapInfoShapedTable(const std::string& folder) {
    const std::tuple<int, int, bool, bool> kinds[] = {
        {0x0D, 300, true, true},  {0x2E, 450, true, true},  {0x2F, 450, true, false},
        {0x25, 300, false, true}, {0x31, 450, false, true}, {0x32, 450, false, false}};
    const int blocks = 6, garbage = 2048 + 1536 * blocks;
    // The header of a MapInfo sample for its coordinate system, one pen and one brush.
    std::string map = readFile(testData("all_geoms.map")).substr(0, 1024);
    map += le(5, 2) + le(24, 2) + le(0, 4) + "\x01\x02\0\0\0\x01\x02\0\x80\0\xFF"s +
           "\x02\x02\0\0\0\x02\0\0\xFF\0\xFF\xFF\xFF"s;
    map.resize(2048, '\0'); // the tools, then the index
    std::string index = le(1, 2) + le(blocks, 2), dat, id;
    // The two sections of a region (closed rings) or polyline, of an object at x0 = 0.
    using Ring = std::vector<std::pair<int, int>>;
    const Ring sections[2][2] = {{{{0, 0}, {200, 200}, {100, 0}}, {{0, 150}, {90, 120}}},
                                 {{{0, 0}, {200, 0}, {200, 200}, {0, 200}, {0, 0}},
                                  {{50, 50}, {50, 150}, {150, 150}, {50, 50}}}};
    for (int k = 0; k < blocks; ++k) {
        const auto [type, form, region, compressed] = kinds[k];
        const int x0 = k * 1000, ox = x0 + 100, oy = 100;
        const auto xy = [&, compressed = compressed](int x, int y) {
            return compressed ? le(x - ox, 2) + le(y - oy, 2) : le(x, 4) + le(y, 4);
        };
        const int nominal = form == 300 ? 24 : 28, parts = 2;
        std::string headers, vertices;
        int count = 0;
        for (int i = 0; i < parts; ++i) {
            const Ring& ring = sections[region][i];
            int minX = 1 << 30, minY = 1 << 30, maxX = -minX, maxY = -minY;
            for (const auto& [x, y] : ring) {
                vertices += xy(x0 + x, y);
                minX = std::min(minX, x), minY = std::min(minY, y);
                maxX = std::max(maxX, x), maxY = std::max(maxY, y);
            }
            headers += le(ring.size(), form == 300 ? 2 : 4) + le(region && i == 0 ? 1 : 0, 2) +
                       xy(x0 + minX, minY) + xy(x0 + maxX, maxY) +
                       le(nominal * parts + 8 * count, 4);
            count += static_cast<int>(ring.size());
        }
        const std::string data = headers + vertices;
        const int ob = 2048 + 1536 * k, liveData = ob + 512 + 8 + 480;
        const std::string record = le(parts, 2) + (compressed ? le(0, 2) + le(0, 2) : "") +
                                   le(ox, 4) + le(oy, 4) + xy(x0, 0) + xy(x0 + 200, 200) +
                                   (region ? "\x01\x01" : "\x01");
        const std::string deleted =
            le(type, 1) + le((2 * k + 1) | 0x40000000, 4) + le(ob + 520, 4) + le(480, 4) + record;
        const std::string kept = le(type, 1) + le(2 * k + 2, 4) + le(liveData, 4) +
                                 le(nominal * parts + 8 * count, 4) + record;
        std::string block = le(2, 2) + le(2 * kept.size(), 2) + le(ox, 4) + le(oy, 4) +
                            le(ob + 512, 4) + le(ob + 1024, 4) + deleted + kept;
        block.resize(512, '\0');
        std::string chain = le(3, 2) + le(504, 2) + le(ob + 1024, 4) + std::string(480, '\x55') +
                            data.substr(0, 24);
        chain += le(3, 2) + le(data.size() - 24, 2) + le(0, 4) + data.substr(24);
        chain.resize(1024, '\0');
        map += block + chain;
        index += le(x0, 4) + le(0, 4) + le(x0 + 200, 4) + le(200, 4) + le(ob, 4);
        id += le(0, 4) + le(ob + 20 + deleted.size(), 4);
        dat += "*" + le(2 * k + 1, 4) + " " + le(2 * k + 2, 4);
    }
    map.replace(1536, index.size(), index);
    map += le(4, 2) + le(0, 4) + std::string(506, '\x66');
    const std::pair<std::size_t, int> header[] = {
        {0x110, 0},    {0x114, 0}, {0x118, 5200}, {0x11C, 200}, {0x130, 1536}, {0x134, garbage},
        {0x138, 1024}, {0x13C, 0}, {0x140, 3},    {0x144, 3},   {0x148, 0},    {0x164, 0x0101}};
    for (const auto& [at, value] : header)
        map.replace(at, 4, le(value, 4));
    map[0x15F] = 2; // the index's depth
    map[0x168] = 1; // tool blocks
    writeFile(folder + "/sectioned.map", map);
    writeFile(folder + "/sectioned.id", id);
    const std::string head = std::string{3, 124, 9, 14} + le(2 * blocks, 4) + le(65, 2) + le(5, 2) +
                             std::string(20, '\0') + "ID" + std::string(9, '\0') + "C" +
                             std::string(4, '\0') + "\x04" + std::string(15, '\0');
    writeFile(folder + "/sectioned.dat", head + "\x0d" + dat + "\x1a");
    writeFile(folder + "/sectioned.tab",
              "!table\n!version 450\n!charset Neutral\n\nDefinition Table\n"
              "  Type NATIVE Charset \"Neutral\"\n  Fields 1\n    ID Integer ;\n");
    return "sectioned";
}

constexpr int kRows = 400;

const std::vector<NewField> kFields = {
    {"name", OFTString, 24, 0, true}, // a Char key, 17 to a node: a three-level tree
    {"num", OFTInteger, 0, 0, true},  // many rows per key value
    {"val", OFTReal},
    {"amount", OFTReal, 10, 2}, // Decimal (10,2)
    {"day", OFTDate},
};

std::string points(int count, const auto& point) {
    std::string s;
    for (int i = 0; i < count; ++i)
        s += (i ? "," : "(") + std::to_string(point(i).first) + " " +
             std::to_string(point(i).second);
    return s + ")";
}

// A closed ring around (x, y), drawn clockwise or not.
std::string ring(double x, double y, double r, bool reverse) {
    return points(5, [&](int i) {
        const int k = reverse ? 4 - i : i;
        return std::pair{x + (k == 1 || k == 2 ? r : -r), y + (k == 2 || k == 3 ? r : -r)};
    });
}

// The samples have every kind of object; these are the shapes and sizes that make many blocks:
// rows spread over the extent for a spatial index of many leaves, lines that run over several
// coordinate blocks, and objects too large for the short forms.
NewRow row(int row) {
    const double x = -9000 + (row * 7919 % 18000), y = -9000 + (row * 104729 % 18000);
    NewRow s;
    s.values = {"Row " + std::to_string(row % 97) + (row % 3 ? "a" : "B"),
                std::to_string(row % 11 - 5), std::to_string(row * 1.25 - 100),
                std::to_string(row * 0.5),
                "20" + std::to_string(10 + row % 15) + "/" + std::to_string(1 + row % 12) + "/" +
                    std::to_string(1 + row % 28)};
    const auto line = [&](int count, double dy) {
        return points(count, [&](int i) { return std::pair{x + i * 0.5, y + (i % 7) * dy}; });
    };
    const auto circle = [&](int i) {
        return std::pair{x + 400 * std::cos(i * 6.283185307 / 33000),
                         y + 400 * std::sin(i * 6.283185307 / 33000)};
    };
    if (row == 77) // past the short form's 32,767 vertices
        s.wkt = "POLYGON (" + points(33001, circle) + "," + ring(x, y, 30, true) + ")";
    else if (row == 78) // a polyline of many sections
        for (int part = 0; part < 200; ++part)
            s.wkt += (part ? "," : "MULTILINESTRING (") + line(3 + part % 5, part) +
                     (part == 199 ? ")" : "");
    else if (row % 6 == 0)
        s.wkt = "POINT (" + std::to_string(x) + " " + std::to_string(y) + ")";
    else if (row % 6 == 1)
        s.wkt = "LINESTRING " + line(2 + row % 300, 0.75);
    else if (row % 6 == 2)
        s.wkt = "POLYGON (" + ring(x, y, 50, false) + "," + ring(x - 20, y, 5, true) + "," +
                ring(x + 20, y, 5, true) + ")";
    else if (row % 6 == 3)
        s.wkt = "MULTIPOLYGON ((" + ring(x, y, 10, false) + "),(" + ring(x + 40, y, 10, false) +
                "," + ring(x + 40, y, 2, true) + "))";
    else if (row % 6 == 4)
        s.wkt = "POLYGON (" + ring(x, y, 3000, false) + ")"; // a large one that overlaps many
    return s;                                                // and a row without an object
}

std::vector<long long> range(long long first, long long last, long long step = 1) {
    std::vector<long long> rows;
    for (long long r = first; r <= last; r += step)
        rows.push_back(r);
    return rows;
}

// Each shape of deletion (name, rows, options), some in .MAP files of the 16 KB blocks newer
// MapInfo writes, of other sizes, or of GDAL's optimised spatial index.
std::vector<std::tuple<const char*, std::vector<long long>, std::vector<std::string>>> deletions() {
    std::vector<long long> mixed = range(1, 30);
    for (const auto& more : {range(200, 205), range(350, kRows)})
        mixed.insert(mixed.end(), more.begin(), more.end());
    return {{"none_deleted", {}, {}},
            {"first_deleted", {1}, {"BLOCKSIZE=16384"}},
            {"last_deleted", {kRows}, {"SPATIAL_INDEX_MODE=OPTIMIZED"}},
            {"runs_deleted", range(100, 160), {"BLOCKSIZE=1024"}},
            {"alternate_deleted", range(2, kRows, 2), {}},
            {"all_deleted", range(1, kRows), {}},
            {"ends_and_a_run_deleted", mixed, {"BLOCKSIZE=16384"}}};
}

// Queries GDAL answers from the .IND: a field of kFields and a value.
const std::vector<std::pair<std::size_t, std::string>> kQueries = {
    {1, "-5"},     {1, "-4"},      {1, "-3"},      {1, "-2"},     {1, "-1"},     {1, "0"},
    {1, "1"},      {1, "2"},       {1, "3"},       {1, "4"},      {1, "5"},      {0, "Row 0B"},
    {0, "Row 1a"}, {0, "Row 50a"}, {0, "Row 96B"}, {0, "Row 3a"}, {0, "Row 99a"}};

// Every native sample, the MapInfo-shaped table, and a GDAL-made table for each shape of deletion,
// the last two made in folder: its folder, its name, and whether GDAL made it with kFields.
std::vector<std::tuple<std::string, std::string, bool>> tables(const std::string& folder) {
    std::vector<std::tuple<std::string, std::string, bool>> list = {
        {folder, makeMapInfoShapedTable(folder), false}};
    for (const char* table :
         {"all_geoms", "aspatial", "aspatial-table", "compr_symb_deleted_records", "first_table",
          "second_table", "lambert93_francais", "poly_indexed", "seamless_part1", "seamless_part2",
          "single_point_mapinfo"})
        list.push_back({testData(""), table, false});
    for (const auto& [name, rows, options] : deletions()) {
        makeGdalTable(folder, name, kFields, row, kRows, rows, options);
        list.push_back({folder, name, true});
    }
    return list;
}

// The name of the table's file of the given extension, in the case of its .tab.
std::string sibling(const std::string& tab, std::string ext) {
    if (tab.back() == 'B')
        std::transform(ext.begin(), ext.end(), ext.begin(), ::toupper);
    return std::filesystem::path(tab.substr(0, tab.size() - 3) + ext).filename().string();
}

// After a graphic pack each object is the same record but for where its coordinates now are (the
// size it records stays as MapInfo wrote it). No garbage chain is left, the header's depth is the
// index's, the extent stays when no row is deleted, and the rebuilt spatial index answers a filter
// over an object's own envelope, for every step-th object, as the old table's does.
void expectRewritten(const Snapshot& before, const Snapshot& after, const std::string& tab,
                     const std::string& oldTab, bool sameExtent, std::size_t step) {
    const std::string map = sibling(tab, "map"), id = sibling(tab, "id");
    if (!before.count(map) || !before.count(id))
        return;
    const std::string &oldMap = before.at(map), &oldId = before.at(id);
    const std::string &newMap = after.at(map), &newId = after.at(id);
    ASSERT_EQ(newId.size(), oldId.size());
    for (std::size_t row = 0; row < oldId.size() / 4; ++row) {
        const std::uint32_t oldAt = le32(oldId, row * 4), newAt = le32(newId, row * 4);
        ASSERT_EQ(newAt == 0, oldAt == 0);
        if (oldAt == 0)
            continue;
        const auto sizeEntry = static_cast<unsigned char>(oldMap.at(oldMap.at(oldAt) & 0xFF));
        std::string was = oldMap.substr(oldAt, sizeEntry & 0x7F),
                    is = newMap.substr(newAt, sizeEntry & 0x7F);
        if (sizeEntry & 0x80) // the coordinate address is the one field that moves
            for (std::string* record : {&was, &is})
                record->replace(5, 4, 4, '\0');
        EXPECT_EQ(is, was) << "row " << row + 1;
    }
    EXPECT_EQ(le32(newMap, 0x134), 0u) << "a garbage chain is left";
    if (sameExtent) {
        EXPECT_EQ(newMap.substr(0x110, 16), oldMap.substr(0x110, 16)) << "the extent";
    }
    unsigned levels = 0; // index levels above the object blocks, plus one
    for (std::uint32_t at = le32(newMap, 0x130); at != 0;
         at = newMap.at(at) == 1 ? le32(newMap, at + 4 + 16) : 0)
        ++levels;
    EXPECT_EQ(static_cast<unsigned char>(newMap.at(0x15F)), levels);
    const Reading all = readWithGdal(tab);
    for (std::size_t i = 0; i < all.features.size(); i += step)
        EXPECT_EQ(readWithGdal(tab, "", &all.envelopes[i]).features,
                  readWithGdal(oldTab, "", &all.envelopes[i]).features)
            << "row " << all.features[i].fid;
}

} // namespace

// Every table in every mode, beside a file and a table that are not its own: GDAL reads the same
// features afterwards, in the same order, renumbered from 1 by a data pack; the files the mode
// does not pack, and every other file, stay as they were, and nothing new is left. A data pack
// leaves the live rows in the .DAT and its end mark, writes nothing when no row is deleted, and
// leaves an .IND whose answer to field = value is what a full scan finds. A second pack changes
// nothing, and a graphic pack then a data pack give the files both at once give.
TEST(SampleTables, EveryPackKeepsWhatGdalReads) {
    const ScratchFolder madeHere;
    for (const auto& [from, table, made] : tables(madeHere.path())) {
        SCOPED_TRACE(table);
        std::array<ScratchFolder, 3> folders;
        std::array<std::string, 3> tabs;
        for (std::size_t m = 0; m < 3; ++m) {
            tabs[m] = copyTable(from, table, folders[m].path());
            writeFile(folders[m].file(table + ".txt"), "notes on the table\n");
            copyTable(testData(""), table == "first_table" ? "second_table" : "first_table",
                      folders[m].path());
        }
        const Snapshot before = takeSnapshot(folders[0].path());
        const Reading original = readWithGdal(tabs[0]);
        ASSERT_EQ(original.error, "");
        const std::size_t deleted =
            le32(before.at(sibling(tabs[0], "dat")), 4) - original.features.size();
        for (std::size_t m = 0; m < 3; ++m) {
            const PackParts mode = kEveryMode[m];
            const std::string& tab = tabs[m];
            SCOPED_TRACE(modeName(mode));
            packTable(tab, mode);
            const Snapshot packedFiles = takeSnapshot(folders[m].path());
            Snapshot after = packedFiles;
            if (deleted == 0 && !mode.graphic) {
                EXPECT_EQ(after, before) << "a data pack with nothing to drop writes nothing";
            }
            if (const auto map = after.find(sibling(tab, "map")); map != after.end()) {
                EXPECT_EQ(map->second.size() % (le32(map->second, 0x106) & 0xFFFF), 0u);
                if (mode.graphic && deleted > 0) {
                    EXPECT_LT(map->second.size(), before.at(map->first).size());
                }
            }
            if (mode == kGraphic)
                expectRewritten(before, after, tab, tabs[1], deleted == 0, made ? 25 : 1);
            if (mode.data) {
                const std::string& dat = after.at(sibling(tab, "dat"));
                EXPECT_EQ(dat.size(), (le32(dat, 8) & 0xFFFF) +
                                          original.features.size() * (le32(dat, 10) & 0xFFFF) + 1);
            }
            for (const std::string ext : {"map", "id", "dat", "ind"})
                if (before.count(sibling(tab, ext)) && (mode.data || ext == "map" || ext == "id"))
                    after[sibling(tab, ext)] = before.at(sibling(tab, ext));
            EXPECT_EQ(snapshotDifferences(before, after), "");
            const Reading packed = readWithGdal(tab);
            EXPECT_EQ(packed.error, "");
            std::vector<Feature> expected = original.features;
            for (std::size_t r = 0; mode.data && r < expected.size(); ++r)
                expected[r].fid = static_cast<long long>(r + 1);
            EXPECT_EQ(packed.features, expected);
            for (const auto& [field, value] :
                 (made && mode.data) ? kQueries : decltype(kQueries){}) {
                const std::string where =
                    kFields[field].name + " = " + (field ? value : "'" + value + "'");
                std::vector<Feature> scanned;
                for (const Feature& f : packed.features)
                    if (f.fields.at(field) == value)
                        scanned.push_back(f);
                const Reading indexed = readWithGdal(tab, where);
                EXPECT_EQ(indexed.error, "");
                EXPECT_EQ(indexed.features, scanned) << where;
            }
            packTable(tab, mode);
            EXPECT_EQ(snapshotDifferences(packedFiles, takeSnapshot(folders[m].path())), "")
                << "a second pack changed the table";
        }
        packTable(tabs[0], kData);
        const Snapshot both = takeSnapshot(folders[2].path());
        EXPECT_EQ(snapshotDifferences(takeSnapshot(folders[0].path()), both), "")
            << "graphic, then data, differs from both at once";
    }
}
