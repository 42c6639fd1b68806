#pragma once

// Scratch folders, file snapshots, and GDAL as an independent reader and writer of MapInfo
// tables for the pack tests.

#include "tests/support/TempFolder.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vantero::standin::test {

std::string testData(const std::string& name);

// The tests' one temporary folder and file helpers, under the names these tests use.
using ScratchFolder = vantero::test::TempFolder;
inline std::string readFile(const std::string& path) {
    return vantero::test::readBytes(path);
}
inline void writeFile(const std::string& path, const std::string& bytes) {
    vantero::test::writeBytes(path, bytes);
}

// Copies every file of the folder whose name before the extension is table; returns the .tab.
std::string copyTable(const std::string& fromFolder, const std::string& table,
                      const std::string& toFolder);

// Every file of a folder by name, with its bytes.
using Snapshot = std::map<std::string, std::string>;
Snapshot takeSnapshot(const std::string& folder);
// The names in which two snapshots differ, for a failure message: " name" for a file whose
// bytes differ or that b lacks, " +name" for one only b has; empty when they are the same.
std::string snapshotDifferences(const Snapshot& a, const Snapshot& b);

struct Feature {
    long long fid = 0;
    std::vector<std::string> fields;
    std::string wkt;
    std::string style;
    bool operator==(const Feature&) const = default;
};

struct Reading {
    std::string error; // the first failure GDAL reported, or the reason it could not open
    std::vector<Feature> features;
};

// All features in order, or those an attribute filter selects.
Reading readWithGdal(const std::string& tabPath, const std::string& where = "");
struct Envelope {
    double minX, minY, maxX, maxY;
};
Envelope envelopeOfWkt(const std::string& wkt);
// The features a spatial filter selects, which GDAL answers through the .MAP's spatial index.
Reading readWithGdalInRect(const std::string& tabPath, const Envelope& rect);

// The same features with the row numbers left out, for comparisons across a data pack.
std::vector<Feature> withoutFids(std::vector<Feature> features);

struct NewField {
    std::string name;
    int type; // OGRFieldType
    int width = 0;
    int precision = 0;
    bool indexed = false;
};

struct NewRow {
    std::vector<std::string> values; // one per field, as text
    std::string wkt;
    std::string style;
};

// Writes a table with GDAL, then deletes the given rows through GDAL so that the table holds
// real deleted rows and objects, as a user's editing leaves them. creationOptions go to the
// MapInfo driver's dataset creation (BLOCKSIZE=16384, SPATIAL_INDEX_MODE=OPTIMIZED).
std::string makeGdalTable(const std::string& folder, const std::string& name,
                          const std::vector<NewField>& fields,
                          const std::function<NewRow(int row)>& feature, int rows,
                          const std::vector<long long>& deleteRows,
                          const std::vector<std::string>& creationOptions = {});

} // namespace vantero::standin::test
