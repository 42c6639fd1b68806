// Writes a folder of small MapInfo tables with deleted rows, made with GDAL as a user's editing
// leaves them, so that a first run of the program has something to pack at once.
//   make_sample_tables FOLDER

#include "tests/standin/TableSupport.h"

#include <ogr_core.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace vantero::standin::test;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    try {
        std::filesystem::create_directories(argv[1]);
        int every = 3;
        for (const std::string name : {"roads", "parcels", "wells"}) {
            std::vector<long long> deleted;
            for (int row = ++every; row <= 40; row += every)
                deleted.push_back(row);
            const auto make = [&](int row) {
                const auto at = [&](double dx, double dy) {
                    return std::to_string(10 + (row % 6) * 0.01 + dx) + " " +
                           std::to_string(50 + (row / 6) * 0.01 + dy);
                };
                return NewRow{{name + " " + std::to_string(row), std::to_string(row * 12.5)},
                              name == "wells" ? "POINT (" + at(0, 0) + ")"
                              : name == "roads"
                                  ? "LINESTRING (" + at(0, 0) + "," + at(0.009, 0) + ")"
                                  : "POLYGON ((" + at(0, 0) + "," + at(0.009, 0) + "," +
                                        at(0.009, 0.009) + "," + at(0, 0) + "))",
                              ""};
            };
            makeGdalTable(argv[1], name, {{"name", OFTString, 32}, {"value", OFTReal, 12, 2}}, make,
                          40, deleted);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_sample_tables: %s\n", error.what());
        return 1;
    }
    return 0;
}
