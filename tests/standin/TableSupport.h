#pragma once

// Scratch folders, file snapshots, and GDAL as an independent reader and writer of MapInfo
// tables for the pack tests.

#include "base/PackParts.h"
#include "tests/support/TempFolder.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vantero::standin::test {

inline std::string testData(const std::string& name) {
    return std::string(VANTERO_TESTDATA) + "/" + name;
}

// The tests' one temporary folder and file helpers, under the names these tests use.
using ScratchFolder = vantero::test::TempFolder;
inline constexpr auto readFile = &vantero::test::readBytes;
inline constexpr auto writeFile = &vantero::test::writeBytes;

// Little-endian fields of the table files.
inline std::uint32_t le32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;)
        value = value << 8 | static_cast<unsigned char>(bytes.at(at + i));
    return value;
}
template <class Integer> std::string le(Integer value, int width) {
    std::string bytes;
    for (int i = 0; i < width; ++i)
        bytes.push_back(static_cast<char>(static_cast<unsigned long long>(value) >> (8 * i)));
    return bytes;
}
inline void putLe32(std::string& bytes, std::size_t at, std::uint32_t value) {
    bytes.replace(at, 4, le(value, 4));
}

using vantero::PackParts;
inline constexpr PackParts kGraphic{true, false};
inline constexpr PackParts kData{false, true};
inline constexpr PackParts kBoth{true, true};
inline constexpr PackParts kEveryMode[] = {kGraphic, kData, kBoth};
inline std::string modeName(PackParts mode) {
    return mode.graphic ? (mode.data ? "both" : "graphic") : "data";
}

// Copies every file of the folder whose name before the extension is table; returns the .tab.
std::string copyTable(const std::string& fromFolder, const std::string& table,
                      const std::string& toFolder);

// Every file of a folder and of the folders below, by its path inside the folder, with its bytes.
using Snapshot = std::map<std::string, std::string>;
Snapshot takeSnapshot(const std::string& folder);
// For a failure message: " name" for a file whose bytes differ or that b lacks, " +name" for one
// only b has; empty when the snapshots are the same.
std::string snapshotDifferences(const Snapshot& a, const Snapshot& b);

struct Envelope {
    double minX, minY, maxX, maxY;
};

struct Feature {
    long long fid = 0;
    std::vector<std::string> fields;
    std::string wkt, style;
    bool operator==(const Feature&) const = default;
};

struct Reading {
    std::string error; // the first failure GDAL reported, or the reason it could not open
    std::vector<Feature> features;
    std::vector<Envelope> envelopes; // of each feature's geometry; inverted without one
};

// All features in order, or those a filter selects: a spatial one through the .MAP's index.
Reading readWithGdal(const std::string& tabPath, const std::string& where = "",
                     const Envelope* rect = nullptr);

// The same features with the row numbers left out, for comparisons across a data pack.
std::vector<Feature> withoutFids(std::vector<Feature> features);

struct NewField {
    std::string name;
    int type; // OGRFieldType
    int width = 0, precision = 0;
    bool indexed = false;
};

struct NewRow {
    std::vector<std::string> values; // one per field, as text
    std::string wkt, style;
};

// Writes a table with GDAL, then deletes rows through GDAL, as a user's editing leaves them.
// creationOptions go to the MapInfo driver (BLOCKSIZE=16384, SPATIAL_INDEX_MODE=OPTIMIZED).
std::string makeGdalTable(const std::string& folder, const std::string& name,
                          const std::vector<NewField>& fields,
                          const std::function<NewRow(int row)>& feature, int rows,
                          const std::vector<long long>& deleteRows,
                          const std::vector<std::string>& creationOptions = {});

} // namespace vantero::standin::test
