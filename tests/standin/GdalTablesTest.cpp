// Packs of tables that GDAL writes and then deletes rows from, read back with GDAL: every kind of
// field and object GDAL writes, every shape of deletion, and the .IND answering queries after.

#include "tablefiles/PackTable.h"
#include "tests/standin/TableSupport.h"

#include <gtest/gtest.h>
#include <ogr_core.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

using namespace vantero::tablefiles;
using vantero::PackParts;
using namespace vantero::standin::test;

namespace {

constexpr int kRows = 400;

const std::vector<NewField> kFields = {
    {"name", OFTString, 24, 0, true}, // a Char key, 17 to a node: a three-level tree
    {"num", OFTInteger, 0, 0, true},  // many rows per key value
    {"val", OFTReal},
    {"amount", OFTReal, 10, 2}, // Decimal (10,2)
    {"day", OFTDate},
};

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", v);
    return text;
}

// A closed ring around (x, y), drawn clockwise or not.
std::string ring(double x, double y, double r, bool reverse) {
    std::string s = "(";
    const double px[] = {x - r, x + r, x + r, x - r, x - r};
    const double py[] = {y - r, y - r, y + r, y + r, y - r};
    for (int i = 0; i < 5; ++i) {
        const int k = reverse ? 4 - i : i;
        s += (i ? "," : "") + number(px[k]) + " " + number(py[k]);
    }
    return s + ")";
}

NewRow row(int row) {
    NewRow s;
    // Rows spread over the whole extent, so that the spatial index has many leaves.
    const double x = -9000 + (row * 7919 % 18000);
    const double y = -9000 + (row * 104729 % 18000);
    s.values = {"Row " + std::to_string(row % 97) + (row % 3 ? "a" : "B"),
                std::to_string(row % 11 - 5), number(row * 1.25 - 100), number(row * 0.5),
                "20" + std::to_string(10 + row % 15) + "/" + std::to_string(1 + row % 12) + "/" +
                    std::to_string(1 + row % 28)};
    switch (row % 10) {
    case 0:
        s.wkt = "POINT (" + number(x) + " " + number(y) + ")";
        s.style = "SYMBOL(id:\"mapinfo-sym-" + std::to_string(32 + row % 30) +
                  "\",c:#ff0000,s:" + std::to_string(8 + row % 5) + "pt)";
        break;
    case 1: {
        s.wkt = "LINESTRING (";
        for (int i = 0; i < 2 + row % 9; ++i)
            s.wkt += (i ? "," : "") + number(x + i * 3.5) + " " + number(y + (i % 2) * 2.25);
        s.wkt += ")";
        s.style = "PEN(w:" + std::to_string(1 + row % 4) + "px,c:#00" +
                  std::to_string(10 + row % 80) + "ff,id:\"mapinfo-pen-2\")";
        break;
    }
    case 2:
        s.wkt = "POLYGON (" + ring(x, y, 50, false) + "," + ring(x - 20, y, 5, true) + "," +
                ring(x + 20, y, 5, true) + ")";
        s.style = "BRUSH(fc:#00ff00,bc:#ffffff,id:\"mapinfo-brush-" + std::to_string(2 + row % 7) +
                  "\");PEN(w:1px,c:#000000)";
        break;
    case 3:
        s.wkt = "MULTIPOLYGON ((" + ring(x, y, 10, false) + "),(" + ring(x + 40, y, 10, false) +
                "," + ring(x + 40, y, 2, true) + "))";
        break;
    case 4:
        s.wkt = "MULTILINESTRING ((" + number(x) + " " + number(y) + "," + number(x + 5) + " " +
                number(y + 5) + "),(" + number(x + 10) + " " + number(y) + "," + number(x + 15) +
                " " + number(y - 5) + "," + number(x + 20) + " " + number(y) + "))";
        break;
    case 5: {
        // Long enough to run over several coordinate blocks.
        s.wkt = "LINESTRING (";
        for (int i = 0; i < 300; ++i)
            s.wkt += (i ? "," : "") + number(x + i * 0.5) + " " + number(y + (i % 7) * 0.75);
        s.wkt += ")";
        break;
    }
    case 6:
        s.wkt = "POINT (" + number(x) + " " + number(y) + ")";
        s.style = "LABEL(t:\"Label " + std::to_string(row) + "\",f:\"Arial\",s:2g,c:#ff0000)";
        break;
    case 7:
        s.wkt = "POINT (" + number(x) + " " + number(y) + ")";
        s.style = "SYMBOL(c:#0000ff,s:12pt,id:\"font-sym-" + std::to_string(33 + row % 40) +
                  ",ogr-sym-9\",f:\"MapInfo Symbols\")";
        break;
    case 8:
        break; // a row without an object
    case 9:
        s.wkt = "POLYGON (" + ring(x, y, 3000, false) + ")"; // a large one that overlaps many
        break;
    }
    return s;
}

struct Deletion {
    const char* name;
    std::vector<long long> rows;
};

std::vector<long long> range(long long first, long long last, long long step = 1) {
    std::vector<long long> rows;
    for (long long r = first; r <= last; r += step)
        rows.push_back(r);
    return rows;
}

std::vector<Deletion> deletions() {
    std::vector<Deletion> list = {
        {"none", {}},
        {"first", {1}},
        {"last", {kRows}},
        {"runs in the middle", range(100, 160)},
        {"every other", range(2, kRows, 2)},
        {"all", range(1, kRows)},
    };
    std::vector<long long> mixed = range(1, 30);
    for (long long r : range(200, 205))
        mixed.push_back(r);
    for (long long r : range(350, kRows))
        mixed.push_back(r);
    list.push_back({"both ends and a run", mixed});
    return list;
}

struct Mode {
    const char* name;
    PackParts options;
};
const Mode kModes[] = {{"graphic", {true, false}}, {"data", {false, true}}, {"both", {true, true}}};

std::vector<Feature> where(const std::vector<Feature>& all, std::size_t field,
                           const std::string& value) {
    std::vector<Feature> out;
    for (const Feature& f : all)
        if (f.fields.at(field) == value)
            out.push_back(f);
    return out;
}

// A query GDAL answers from the .IND, and the rows it must give: those a full scan finds.
struct Query {
    std::string where;
    std::size_t field;
    std::string value;
};

std::vector<Query> queries() {
    std::vector<Query> list;
    for (int v = -5; v <= 5; ++v)
        list.push_back({"num = " + std::to_string(v), 1, std::to_string(v)});
    for (const char* name : {"Row 0B", "Row 1a", "Row 50a", "Row 96B", "Row 3a", "Row 99a"})
        list.push_back({std::string("name = '") + name + "'", 0, name});
    return list;
}

} // namespace

// One GDAL-made table for each pattern of deletion, packed in each mode: GDAL reads the same
// features in the same order; only a data pack renumbers them; the .tab and every file that is
// not the table's stay as they were, and nothing new is left in the folder.
TEST(GdalTables, EveryPackKeepsWhatGdalReads) {
    for (const Deletion& deletion : deletions()) {
        ScratchFolder source;
        makeGdalTable(source.path(), "made", kFields, row, kRows, deletion.rows);
        for (const Mode& mode : kModes) {
            SCOPED_TRACE(std::string(deletion.name) + ", " + mode.name);
            ScratchFolder folder;
            const std::string tab = copyTable(source.path(), "made", folder.path());
            // Neighbours that are not the table's files, one of them sharing its name.
            writeFile(folder.file("made.txt"), "notes on the table\n");
            copyTable(testData(""), "poly_indexed", folder.path());
            const Snapshot before = takeSnapshot(folder.path());
            const Reading original = readWithGdal(tab);
            ASSERT_EQ(original.error, "");
            ASSERT_EQ(original.features.size(), kRows - deletion.rows.size());

            packTable(tab, mode.options);

            const Snapshot after = takeSnapshot(folder.path());
            ASSERT_EQ(after.size(), before.size());
            for (const auto& [name, bytes] : before) {
                ASSERT_TRUE(after.count(name)) << name;
                const bool tableFile =
                    name.rfind("made.", 0) == 0 && name != "made.tab" && name != "made.txt";
                if (!tableFile) {
                    EXPECT_EQ(after.at(name), bytes) << name << " changed";
                }
            }
            if (!mode.options.data) {
                EXPECT_EQ(after.at("made.dat"), before.at("made.dat"));
                EXPECT_EQ(after.at("made.ind"), before.at("made.ind"));
            }
            if (!mode.options.graphic) {
                EXPECT_EQ(after.at("made.map").size(), before.at("made.map").size());
            }
            if (deletion.rows.empty() && !mode.options.graphic) {
                EXPECT_EQ(after, before) << "a data pack with nothing to drop writes nothing";
            }

            const Reading packed = readWithGdal(tab);
            ASSERT_EQ(packed.error, "");
            if (mode.options.data) {
                EXPECT_EQ(withoutFids(packed.features), withoutFids(original.features));
                for (std::size_t i = 0; i < packed.features.size(); ++i)
                    ASSERT_EQ(packed.features[i].fid, static_cast<long long>(i + 1));
            } else {
                EXPECT_EQ(packed.features, original.features);
            }
            if (mode.options.graphic && !deletion.rows.empty()) {
                EXPECT_LT(after.at("made.map").size(), before.at("made.map").size());
            }

            // A second pack finds nothing more to do, and changes nothing GDAL reads.
            packTable(tab, mode.options);
            EXPECT_EQ(readWithGdal(tab).features, packed.features);
            EXPECT_EQ(takeSnapshot(folder.path()).size(), before.size());
        }
    }
}

// After a data pack the .IND holds exactly the rows that are left, so GDAL's indexed answer to
// field = value is what a full scan finds. Before it, entries of deleted rows remain, and GDAL
// stops its indexed answer at the first of them: proof that the answer does come from the .IND.
TEST(GdalTables, IndexedQueriesAnswerAsAFullScanAfterData) {
    for (const Deletion& deletion : deletions()) {
        ScratchFolder source;
        makeGdalTable(source.path(), "made", kFields, row, kRows, deletion.rows);
        int staleBefore = 0;
        {
            const std::vector<Feature> all = readWithGdal(source.file("made.tab")).features;
            for (const Query& q : queries())
                staleBefore += readWithGdal(source.file("made.tab"), q.where).features !=
                               where(all, q.field, q.value);
        }
        if (deletion.rows.size() > 30 && deletion.rows.size() < kRows) {
            EXPECT_GT(staleBefore, 0) << deletion.name << ": the queries do not use the .IND";
        }
        for (const Mode& mode : {kModes[1], kModes[2]}) {
            SCOPED_TRACE(std::string(deletion.name) + ", " + mode.name);
            ScratchFolder folder;
            const std::string tab = copyTable(source.path(), "made", folder.path());
            packTable(tab, mode.options);
            const Reading all = readWithGdal(tab);
            ASSERT_EQ(all.error, "");
            std::size_t hits = 0;
            for (const Query& q : queries()) {
                const Reading indexed = readWithGdal(tab, q.where);
                ASSERT_EQ(indexed.error, "") << q.where;
                const std::vector<Feature> expected = where(all.features, q.field, q.value);
                EXPECT_EQ(indexed.features, expected) << q.where;
                hits += expected.size();
            }
            if (all.features.size() > 0) {
                EXPECT_GT(hits, 0u);
            }
        }
    }
}

// Objects too large for the short forms (a region of more than 32,767 vertices, a polyline of
// many sections), in .MAP files of the 16 KB blocks newer MapInfo writes and of GDAL's optimised
// spatial index.
TEST(GdalTables, LargeObjectsAndOtherBlockSizes) {
    const auto row = [](int r) {
        NewRow s;
        s.values = {"big " + std::to_string(r), std::to_string(r)};
        const double x = -8000 + r * 900.0;
        if (r % 3 == 1) {
            s.wkt = "POLYGON ((";
            const int n = r == 1 ? 33000 : 200 + r; // one past the short form's limit
            for (int i = 0; i < n; ++i)
                s.wkt += number(x + 400 * std::cos(i * 6.283185307 / n)) + " " +
                         number(400 * std::sin(i * 6.283185307 / n)) + ",";
            s.wkt += number(x + 400) + " 0.000)," + ring(x, 0, 30, true) + ")";
        } else if (r % 3 == 2) {
            s.wkt = "MULTILINESTRING (";
            for (int part = 0; part < 200; ++part) {
                s.wkt += part ? ",(" : "(";
                for (int i = 0; i < 3 + part % 5; ++i)
                    s.wkt += (i ? "," : "") + number(x + part) + " " + number(i * 2.0 - part);
                s.wkt += ")";
            }
            s.wkt += ")";
        } else {
            s.wkt = "POINT (" + number(x) + " 5)";
        }
        return s;
    };
    const std::vector<std::vector<std::string>> variants = {
        {}, {"BLOCKSIZE=16384"}, {"SPATIAL_INDEX_MODE=OPTIMIZED"}, {"BLOCKSIZE=1024"}};
    for (const auto& options : variants) {
        ScratchFolder source;
        makeGdalTable(source.path(), "large",
                      {{"name", OFTString, 12, 0, true}, {"num", OFTInteger, 0, 0, true}}, row, 12,
                      {2, 4, 9}, options);
        const Reading original = readWithGdal(source.file("large.tab"));
        ASSERT_EQ(original.error, "");
        ASSERT_EQ(original.features.size(), 9u);
        for (const Mode& mode : kModes) {
            SCOPED_TRACE((options.empty() ? std::string("default") : options.front()) + ", " +
                         mode.name);
            ScratchFolder folder;
            const std::string tab = copyTable(source.path(), "large", folder.path());
            packTable(tab, mode.options);
            const Reading packed = readWithGdal(tab);
            ASSERT_EQ(packed.error, "");
            if (mode.options.data) {
                EXPECT_EQ(withoutFids(packed.features), withoutFids(original.features));
            } else {
                EXPECT_EQ(packed.features, original.features);
            }
            const std::string map = readFile(folder.file("large.map"));
            const std::size_t blockSize = static_cast<unsigned char>(map.at(0x106)) |
                                          static_cast<unsigned char>(map.at(0x107)) << 8;
            EXPECT_EQ(map.size() % blockSize, 0u);
            if (mode.options.graphic) {
                EXPECT_LT(map.size(), readFile(source.file("large.map")).size());
            }
        }
    }
}
