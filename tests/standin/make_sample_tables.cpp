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

namespace {

std::vector<long long> everyNth(int rows, int n) {
    std::vector<long long> deleted;
    for (int row = n; row <= rows; row += n)
        deleted.push_back(row);
    return deleted;
}

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", v);
    return text;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    try {
        std::filesystem::create_directories(folder);
        makeGdalTable(
            folder, "roads", {{"name", OFTString, 32}, {"lanes", OFTInteger}},
            [](int row) {
                const double x = 10 + row * 0.01;
                return NewRow{{"Road " + std::to_string(row), std::to_string(1 + row % 3)},
                              "LINESTRING (" + number(x) + " 50, " + number(x + 0.005) + " 50.01)",
                              "PEN(2,2,0)"};
            },
            40, everyNth(40, 4));
        makeGdalTable(folder, "parcels", {{"owner", OFTString, 40}, {"area", OFTReal, 12, 2}},
                      [](int row) {
                          const double x = 10 + (row % 6) * 0.01, y = 50 + (row / 6) * 0.01;
                          return NewRow{{"Owner " + std::to_string(row), number(row * 12.5)},
                                        "POLYGON ((" + number(x) + " " + number(y) + ", " +
                                            number(x + 0.009) + " " + number(y) + ", " +
                                            number(x + 0.009) + " " + number(y + 0.009) + ", " +
                                            number(x) + " " + number(y) + "))",
                                        "BRUSH(2,16777215,16777215);PEN(1,2,0)"};
                      },
                      30, {1, 2, 9, 17, 25, 30});
        makeGdalTable(
            folder, "wells", {{"id", OFTInteger}, {"depth", OFTReal, 8, 1}},
            [](int row) {
                return NewRow{{std::to_string(row), number(20 + row * 1.5)},
                              "POINT (" + number(10 + row * 0.002) + " " +
                                  number(50 + row * 0.001) + ")",
                              "SYMBOL(\"ogr-sym-3\",255,10)"};
            },
            50, everyNth(50, 5));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_sample_tables: %s\n", error.what());
        return 1;
    }
    return 0;
}
