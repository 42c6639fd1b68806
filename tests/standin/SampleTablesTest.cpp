// Packs of real tables written by MapInfo and by GDAL, read back with GDAL.

#include "tablefiles/PackTable.h"
#include "tests/standin/TableSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

using namespace vantero::tablefiles;
using namespace vantero::standin::test;

namespace {

std::uint32_t Le32(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(at))) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(at + 1))) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(at + 2))) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(at + 3))) << 24;
}

struct Mode {
    const char* name;
    PackOptions options;
};
const Mode kModes[] = {{"graphic", {true, false}}, {"data", {false, true}}, {"both", {true, true}}};

const char* const kNativeSamples[] = {
    "all_geoms",      "aspatial",       "aspatial-table",       "compr_symb_deleted_records",
    "first_table",    "second_table",   "lambert93_francais",   "poly_indexed",
    "seamless_part1", "seamless_part2", "single_point_mapinfo",
};

} // namespace

// Every native sample, in every mode: GDAL reads the same features afterwards, the .tab is the
// same file, and the folder holds the same names.
TEST(SampleTables, EveryPackKeepsWhatGdalReads) {
    for (const char* table : kNativeSamples) {
        for (const Mode& mode : kModes) {
            SCOPED_TRACE(std::string(table) + " " + mode.name);
            ScratchFolder folder;
            const std::string tab = CopyTable(TestData(""), table, folder.path());
            const Snapshot before = TakeSnapshot(folder.path());
            const Reading original = ReadWithGdal(tab);
            ASSERT_EQ(original.error, "");

            PackTable(tab, mode.options);

            const Snapshot after = TakeSnapshot(folder.path());
            ASSERT_EQ(after.size(), before.size());
            for (const auto& [name, bytes] : before)
                ASSERT_TRUE(after.count(name)) << name;
            const std::string tabName = tab.substr(tab.find_last_of('/') + 1);
            EXPECT_EQ(after.at(tabName), before.at(tabName));

            const Reading packed = ReadWithGdal(tab);
            EXPECT_EQ(packed.error, "");
            if (mode.options.data)
                EXPECT_EQ(WithoutFids(packed.features), WithoutFids(original.features));
            else
                EXPECT_EQ(packed.features, original.features);
        }
    }
}

TEST(SampleTables, DeletedRecordsGoWithData) {
    ScratchFolder folder;
    const std::string tab = CopyTable(TestData(""), "compr_symb_deleted_records", folder.path());
    const Reading original = ReadWithGdal(tab);
    ASSERT_EQ(original.features.size(), 396u);

    PackTable(tab, {false, true});

    const std::string dat = ReadFile(folder.file("compr_symb_deleted_records.dat"));
    EXPECT_EQ(Le32(dat, 4), 396u);
    const std::uint32_t headerLength =
        static_cast<unsigned char>(dat[8]) | static_cast<unsigned char>(dat[9]) << 8;
    const std::uint32_t recordLength =
        static_cast<unsigned char>(dat[10]) | static_cast<unsigned char>(dat[11]) << 8;
    EXPECT_EQ(dat.size(), headerLength + 396u * recordLength + 1);
    for (std::uint32_t r = 0; r < 396; ++r)
        ASSERT_NE(dat[headerLength + r * recordLength], '*') << "row " << r + 1;
    EXPECT_EQ(ReadFile(folder.file("compr_symb_deleted_records.id")).size(), 396u * 4);

    const Reading packed = ReadWithGdal(tab);
    EXPECT_EQ(packed.error, "");
    ASSERT_EQ(packed.features.size(), 396u);
    EXPECT_EQ(WithoutFids(packed.features), WithoutFids(original.features));
    for (std::size_t i = 0; i < packed.features.size(); ++i)
        EXPECT_EQ(packed.features[i].fid, static_cast<long long>(i + 1));
}

TEST(SampleTables, GraphicShrinksTheMapAndKeepsRows) {
    ScratchFolder folder;
    const std::string tab = CopyTable(TestData(""), "compr_symb_deleted_records", folder.path());
    const std::string map = folder.file("compr_symb_deleted_records.map");
    const std::size_t oldSize = ReadFile(map).size();
    const Reading original = ReadWithGdal(tab);

    PackTable(tab, {true, false});

    const std::string packedMap = ReadFile(map);
    EXPECT_LT(packedMap.size(), oldSize / 2);
    EXPECT_EQ(packedMap.size() % 512, 0u);
    EXPECT_EQ(Le32(packedMap, 0x134), 0u) << "no garbage chain is left";
    EXPECT_EQ(ReadFile(folder.file("compr_symb_deleted_records.id")).size(), 40000u);
    EXPECT_EQ(ReadWithGdal(tab).features, original.features);
    // Graphic then data and both at once give the same files, byte for byte.
    ScratchFolder once;
    const std::string tabOnce = CopyTable(TestData(""), "compr_symb_deleted_records", once.path());
    PackTable(tabOnce, {true, true});
    PackTable(tab, {false, true});
    for (const char* ext : {".dat", ".id", ".map"})
        EXPECT_EQ(ReadFile(folder.file(std::string("compr_symb_deleted_records") + ext)),
                  ReadFile(once.file(std::string("compr_symb_deleted_records") + ext)))
            << ext;
}

// The rebuilt spatial index must answer as the old one did: a spatial filter over each object's
// own envelope selects the same rows before and after the pack. (A text object's envelope is its
// box, not its origin, so some objects are not found from their own point, in either file.)
TEST(SampleTables, SpatialFilterAnswersAsBeforeAfterGraphic) {
    for (const char* table : {"compr_symb_deleted_records", "all_geoms", "poly_indexed"}) {
        SCOPED_TRACE(table);
        ScratchFolder before;
        ScratchFolder after;
        const std::string oldTab = CopyTable(TestData(""), table, before.path());
        const std::string tab = CopyTable(TestData(""), table, after.path());
        PackTable(tab, {true, false});
        const Reading all = ReadWithGdal(tab);
        ASSERT_EQ(all.error, "");
        std::size_t found = 0;
        for (const Feature& f : all.features) {
            if (f.wkt.empty())
                continue;
            const Envelope rect = EnvelopeOfWkt(f.wkt);
            const Reading oldHits = ReadWithGdalInRect(oldTab, rect);
            const Reading newHits = ReadWithGdalInRect(tab, rect);
            ASSERT_EQ(newHits.error, "");
            EXPECT_EQ(newHits.features, oldHits.features) << "row " << f.fid;
            for (const Feature& h : newHits.features)
                found += h.fid == f.fid;
        }
        EXPECT_GT(found, 0u);
    }
}

// Each object of all_geoms, one of every kind, is the same record after a graphic pack, apart
// from where its coordinates now are.
TEST(SampleTables, EveryObjectKindSurvivesGraphicByteForByte) {
    ScratchFolder folder;
    const std::string tab = CopyTable(TestData(""), "all_geoms", folder.path());
    const std::string oldMap = ReadFile(folder.file("all_geoms.map"));
    const std::string oldId = ReadFile(folder.file("all_geoms.id"));
    const Reading original = ReadWithGdal(tab);

    PackTable(tab, {true, false});

    const std::string newMap = ReadFile(folder.file("all_geoms.map"));
    const std::string newId = ReadFile(folder.file("all_geoms.id"));
    ASSERT_EQ(newId.size(), oldId.size());
    std::set<unsigned> kinds;
    for (std::size_t row = 0; row < oldId.size() / 4; ++row) {
        const std::uint32_t oldAt = Le32(oldId, row * 4);
        const std::uint32_t newAt = Le32(newId, row * 4);
        ASSERT_NE(oldAt, 0u);
        ASSERT_NE(newAt, 0u);
        const unsigned type = static_cast<unsigned char>(oldMap.at(oldAt));
        kinds.insert(type);
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
    EXPECT_EQ(kinds.size(), 13u) << "all_geoms holds thirteen object kinds";
    EXPECT_EQ(ReadWithGdal(tab).features, original.features);
}
