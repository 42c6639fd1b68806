// Packs of real tables written by MapInfo and by GDAL, read back with GDAL.

#include "tablefiles/PackTable.h"
#include "tests/standin/TableSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <initializer_list>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace vantero::tablefiles;
using vantero::PackParts;
using namespace vantero::standin::test;

namespace {

std::uint32_t le32(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(at))) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(at + 1))) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(at + 2))) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(at + 3))) << 24;
}

std::string le(long long value, int width) {
    std::string bytes;
    for (int i = 0; i < width; ++i)
        bytes.push_back(static_cast<char>(value >> (8 * i)));
    return bytes;
}
std::string bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (const int b : bytes)
        s.push_back(static_cast<char>(b));
    return s;
}

// A table of the shape MapInfo Professional writes and GDAL never does, built byte by byte: a
// compressed and a V450 region and multiple polyline each, every one the last object of its
// block's coordinate chain, its data running from one coordinate block into the next. The size
// each records is MapInfo's: headers at full size and 8 bytes a vertex, more than is there.
// Before each lies a deleted object of the same kind, whose row is deleted too, and a garbage
// block ends the file.
std::string makeMapInfoShapedTable(const std::string& folder) {
    struct Kind {
        int type, form;
        bool region, compressed;
    };
    const Kind kinds[] = {{0x0D, 300, true, true},  {0x2E, 450, true, true},
                          {0x2F, 450, true, false}, {0x25, 300, false, true},
                          {0x31, 450, false, true}, {0x32, 450, false, false}};
    const int blocks = 6;
    // The header of a MapInfo sample for its coordinate system, one pen and one brush.
    std::string map = readFile(testData("all_geoms.map")).substr(0, 1024);
    map += le(5, 2) + le(24, 2) + le(0, 4) + bytes({1, 2, 0, 0, 0, 1, 2, 0, 0x80, 0, 0xFF}) +
           bytes({2, 2, 0, 0, 0, 2, 0, 0, 0xFF, 0, 0xFF, 0xFF, 0xFF});
    map.resize(2048, '\0'); // the tools, then the index
    std::string index = le(1, 2) + le(blocks, 2), dat, id;
    for (int k = 0; k < blocks; ++k) {
        const Kind& kind = kinds[k];
        const int x0 = k * 1000, ox = x0 + 100, oy = 100;
        const auto xy = [&](int x, int y) {
            return kind.compressed ? le(x - ox, 2) + le(y - oy, 2) : le(x, 4) + le(y, 4);
        };
        const std::vector<std::vector<std::pair<int, int>>> sections =
            kind.region
                ? std::vector<std::vector<std::pair<int, int>>>{{{x0, 0},
                                                                 {x0 + 200, 0},
                                                                 {x0 + 200, 200},
                                                                 {x0, 200},
                                                                 {x0, 0}},
                                                                {{x0 + 50, 50},
                                                                 {x0 + 50, 150},
                                                                 {x0 + 150, 150},
                                                                 {x0 + 50, 50}}}
                : std::vector<std::vector<std::pair<int, int>>>{
                      {{x0, 0}, {x0 + 200, 200}, {x0 + 100, 0}}, {{x0, 150}, {x0 + 90, 120}}};
        const int nominal = kind.form == 300 ? 24 : 28;
        std::string headers, vertices;
        int count = 0;
        for (std::size_t i = 0; i < sections.size(); ++i) {
            int minX = 1 << 30, minY = 1 << 30, maxX = -minX, maxY = -minY;
            for (const auto& [x, y] : sections[i]) {
                vertices += xy(x, y);
                minX = std::min(minX, x), minY = std::min(minY, y);
                maxX = std::max(maxX, x), maxY = std::max(maxY, y);
            }
            headers += le(static_cast<long long>(sections[i].size()), kind.form == 300 ? 2 : 4) +
                       le(kind.region && i == 0 ? 1 : 0, 2) + xy(minX, minY) + xy(maxX, maxY) +
                       le(nominal * static_cast<int>(sections.size()) + 8 * count, 4);
            count += static_cast<int>(sections[i].size());
        }
        const std::string data = headers + vertices;
        const int ob = 2048 + 1536 * k, liveData = ob + 512 + 8 + 480;
        std::string record =
            le(static_cast<long long>(sections.size()), 2) +
            (kind.compressed
                 ? le(0, 2) + le(0, 2) + le(ox, 4) + le(oy, 4) + xy(x0, 0) + xy(x0 + 200, 200)
                 : le(ox, 4) + le(oy, 4) + xy(x0, 0) + xy(x0 + 200, 200)) +
            bytes({1}) + (kind.region ? bytes({1}) : "");
        const int size = nominal * static_cast<int>(sections.size()) + 8 * count;
        const std::string deleted = bytes({kind.type}) + le((2 * k + 1) | 0x40000000, 4) +
                                    le(ob + 520, 4) + le(480, 4) + record;
        const std::string kept =
            bytes({kind.type}) + le(2 * k + 2, 4) + le(liveData, 4) + le(size, 4) + record;
        std::string block = le(2, 2) + le(static_cast<long long>(2 * kept.size()), 2) + le(ox, 4) +
                            le(oy, 4) + le(ob + 512, 4) + le(ob + 1024, 4) + deleted + kept;
        block.resize(512, '\0');
        std::string chain = le(3, 2) + le(504, 2) + le(ob + 1024, 4) + std::string(480, '\x55') +
                            data.substr(0, 24);
        chain +=
            le(3, 2) + le(static_cast<long long>(data.size() - 24), 2) + le(0, 4) + data.substr(24);
        chain.resize(1024, '\0');
        map += block + chain;
        index += le(x0, 4) + le(0, 4) + le(x0 + 200, 4) + le(200, 4) + le(ob, 4);
        id += le(0, 4) + le(ob + 20 + static_cast<long long>(deleted.size()), 4);
        dat += bytes({'*'}) + le(2 * k + 1, 4) + bytes({' '}) + le(2 * k + 2, 4);
    }
    index.resize(512, '\0');
    map.replace(1536, 512, index);
    const int garbage = static_cast<int>(map.size());
    map += le(4, 2) + le(0, 4) + std::string(506, '\x66');
    for (const auto& [at, value, width] :
         std::initializer_list<std::tuple<int, long long, int>>{{0x110, 0, 4},
                                                                {0x114, 0, 4},
                                                                {0x118, 5200, 4},
                                                                {0x11C, 200, 4},
                                                                {0x130, 1536, 4},
                                                                {0x134, garbage, 4},
                                                                {0x138, 1024, 4},
                                                                {0x13C, 0, 4},
                                                                {0x140, 3, 4},
                                                                {0x144, 3, 4},
                                                                {0x148, 0, 4},
                                                                {0x15F, 2, 1},
                                                                {0x164, 0x00000101, 4},
                                                                {0x168, 1, 1}})
        map.replace(static_cast<std::size_t>(at), static_cast<std::size_t>(width),
                    le(value, width));
    writeFile(folder + "/sectioned.map", map);
    writeFile(folder + "/sectioned.id", id);
    std::string head = bytes({3, 124, 9, 14}) + le(2 * blocks, 4) + le(65, 2) + le(5, 2);
    head.resize(32, '\0');
    head += "ID" + std::string(9, '\0') + "C" + std::string(4, '\0') + bytes({4});
    head.resize(64, '\0');
    writeFile(folder + "/sectioned.dat", head + "\x0d" + dat + "\x1a");
    writeFile(folder + "/sectioned.tab",
              "!table\n!version 450\n!charset Neutral\n\nDefinition Table\n"
              "  Type NATIVE Charset \"Neutral\"\n  Fields 1\n    ID Integer ;\n");
    return "sectioned";
}

struct Mode {
    const char* name;
    PackParts options;
};
const Mode kModes[] = {{"graphic", {true, false}}, {"data", {false, true}}, {"both", {true, true}}};

// The folder and name of every native sample, and of the MapInfo-shaped table made here.
std::vector<std::pair<std::string, std::string>> nativeTables() {
    static const ScratchFolder made;
    static const std::string sectioned = makeMapInfoShapedTable(made.path());
    std::vector<std::pair<std::string, std::string>> tables = {{made.path(), sectioned}};
    for (const char* table :
         {"all_geoms", "aspatial", "aspatial-table", "compr_symb_deleted_records", "first_table",
          "second_table", "lambert93_francais", "poly_indexed", "seamless_part1", "seamless_part2",
          "single_point_mapinfo"})
        tables.emplace_back(testData(""), table);
    return tables;
}

} // namespace

// Every native sample, in every mode: GDAL reads the same features afterwards, the .tab is the
// same file, and the folder holds the same names. After a data pack the .DAT holds just the live
// rows, renumbered from 1, and the .ID one entry each.
TEST(SampleTables, EveryPackKeepsWhatGdalReads) {
    for (const auto& [from, table] : nativeTables()) {
        for (const Mode& mode : kModes) {
            SCOPED_TRACE(table + " " + mode.name);
            ScratchFolder folder;
            const std::string tab = copyTable(from, table, folder.path());
            const Snapshot before = takeSnapshot(folder.path());
            const Reading original = readWithGdal(tab);
            ASSERT_EQ(original.error, "");

            packTable(tab, mode.options);

            const Snapshot after = takeSnapshot(folder.path());
            ASSERT_EQ(after.size(), before.size());
            for (const auto& [name, bytes] : before)
                ASSERT_TRUE(after.count(name)) << name;
            const std::string tabName = tab.substr(tab.find_last_of('/') + 1);
            EXPECT_EQ(after.at(tabName), before.at(tabName));

            const Reading packed = readWithGdal(tab);
            EXPECT_EQ(packed.error, "");
            if (!mode.options.data) {
                EXPECT_EQ(packed.features, original.features);
                continue;
            }
            EXPECT_EQ(withoutFids(packed.features), withoutFids(original.features));
            const auto file = [&](const std::string& ext) -> const std::string* {
                for (const auto& [name, bytes] : after) {
                    std::string lower = name;
                    for (char& c : lower)
                        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                    if (lower == table + "." + ext)
                        return &bytes;
                }
                return nullptr;
            };
            const std::string& dat = *file("dat");
            const std::size_t rows = packed.features.size(), first = le32(dat, 8) & 0xFFFF,
                              length = le32(dat, 10) & 0xFFFF;
            EXPECT_EQ(le32(dat, 4), rows);
            EXPECT_EQ(dat.size(), first + rows * length + 1);
            for (std::size_t r = 0; r < rows; ++r) {
                EXPECT_EQ(packed.features[r].fid, static_cast<long long>(r + 1));
                EXPECT_NE(dat.at(first + r * length), '*') << "row " << r + 1;
            }
            if (const std::string* id = file("id")) {
                EXPECT_EQ(id->size(), 4 * rows);
            }
        }
    }
}

TEST(SampleTables, GraphicShrinksTheMapAndKeepsRows) {
    ScratchFolder folder;
    const std::string tab = copyTable(testData(""), "compr_symb_deleted_records", folder.path());
    const std::string map = folder.file("compr_symb_deleted_records.map");
    const std::size_t oldSize = readFile(map).size();
    const Reading original = readWithGdal(tab);

    packTable(tab, {true, false});

    const std::string packedMap = readFile(map);
    EXPECT_LT(packedMap.size(), oldSize / 2);
    EXPECT_EQ(packedMap.size() % 512, 0u);
    EXPECT_EQ(le32(packedMap, 0x134), 0u) << "no garbage chain is left";
    // The depth byte counts the index levels above the object blocks, plus one.
    unsigned levels = 1;
    for (std::uint32_t at = le32(packedMap, 0x130); packedMap.at(at) == 1; ++levels)
        at = le32(packedMap, at + 4 + 16);
    EXPECT_EQ(static_cast<unsigned char>(packedMap.at(0x15F)), levels);
    EXPECT_EQ(readFile(folder.file("compr_symb_deleted_records.id")).size(), 40000u);
    EXPECT_EQ(readWithGdal(tab).features, original.features);
    // Graphic then data and both at once give the same files, byte for byte.
    ScratchFolder once;
    const std::string tabOnce = copyTable(testData(""), "compr_symb_deleted_records", once.path());
    packTable(tabOnce, {true, true});
    packTable(tab, {false, true});
    for (const char* ext : {".dat", ".id", ".map"})
        EXPECT_EQ(readFile(folder.file(std::string("compr_symb_deleted_records") + ext)),
                  readFile(once.file(std::string("compr_symb_deleted_records") + ext)))
            << ext;
}

// The rebuilt spatial index must answer as the old one did: a spatial filter over each object's
// own envelope selects the same rows before and after the pack. (A text object's envelope is its
// box, not its origin, so some objects are not found from their own point, in either file.)
TEST(SampleTables, SpatialFilterAnswersAsBeforeAfterGraphic) {
    for (const auto& [from, table] : nativeTables()) {
        if (table != "sectioned" && table != "compr_symb_deleted_records" && table != "all_geoms" &&
            table != "poly_indexed")
            continue;
        SCOPED_TRACE(table);
        ScratchFolder before;
        ScratchFolder after;
        const std::string oldTab = copyTable(from, table, before.path());
        const std::string tab = copyTable(from, table, after.path());
        packTable(tab, {true, false});
        const Reading all = readWithGdal(tab);
        ASSERT_EQ(all.error, "");
        std::size_t found = 0;
        for (const Feature& f : all.features) {
            if (f.wkt.empty())
                continue;
            const Envelope rect = envelopeOfWkt(f.wkt);
            const Reading oldHits = readWithGdalInRect(oldTab, rect);
            const Reading newHits = readWithGdalInRect(tab, rect);
            ASSERT_EQ(newHits.error, "");
            EXPECT_EQ(newHits.features, oldHits.features) << "row " << f.fid;
            for (const Feature& h : newHits.features)
                found += h.fid == f.fid;
        }
        EXPECT_GT(found, 0u);
    }
}

// Each object of all_geoms, one of every kind, and of the MapInfo-shaped table is the same
// record after a graphic pack, apart from where its coordinates now are: the size it records
// stays as MapInfo wrote it.
TEST(SampleTables, EveryObjectKindSurvivesGraphicByteForByte) {
    const auto tables = nativeTables();
    for (const auto& [from, table, kinds] :
         {std::tuple{tables[0].first, tables[0].second, 6u},
          std::tuple{testData(""), std::string("all_geoms"), 13u}}) {
        SCOPED_TRACE(table);
        ScratchFolder folder;
        const std::string tab = copyTable(from, table, folder.path());
        const std::string oldMap = readFile(folder.file(table + ".map"));
        const std::string oldId = readFile(folder.file(table + ".id"));
        const Reading original = readWithGdal(tab);

        packTable(tab, {true, false});

        const std::string newMap = readFile(folder.file(table + ".map"));
        const std::string newId = readFile(folder.file(table + ".id"));
        ASSERT_EQ(newId.size(), oldId.size());
        std::set<unsigned> types;
        for (std::size_t row = 0; row < oldId.size() / 4; ++row) {
            const std::uint32_t oldAt = le32(oldId, row * 4);
            const std::uint32_t newAt = le32(newId, row * 4);
            ASSERT_EQ(newAt == 0, oldAt == 0);
            if (oldAt == 0)
                continue;
            const unsigned type = static_cast<unsigned char>(oldMap.at(oldAt));
            types.insert(type);
            const unsigned sizeEntry = static_cast<unsigned char>(oldMap.at(type));
            const std::size_t size = sizeEntry & 0x7F;
            std::string before = oldMap.substr(oldAt, size);
            std::string after = newMap.substr(newAt, size);
            if (sizeEntry & 0x80) {
                // The coordinate address is the one field that moves.
                before.replace(5, 4, 4, '\0');
                after.replace(5, 4, 4, '\0');
            }
            EXPECT_EQ(after, before) << "row " << row + 1 << " type " << type;
        }
        EXPECT_EQ(types.size(), kinds);
        EXPECT_EQ(le32(newMap, 0x134), 0u) << "no garbage chain is left";
        EXPECT_EQ(readWithGdal(tab).features, original.features);
    }
}
