// Packs one table for graphic and data and nothing else, then writes the peak resident memory of
// this process in KiB to PEAK_FILE, so that the benchmark can tell the memory of the pack alone.
// (The peak that wait4 reports would include the benchmark's own, which a spawned child starts
// from.)
//
//   pack_one TABLE.tab PEAK_FILE

#include "tablefiles/PackTable.h"

#include <cstdio>
#include <exception>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: pack_one TABLE.tab PEAK_FILE\n");
        return 2;
    }
    try {
        vantero::tablefiles::packTable(argv[1], {.graphic = true, .data = true});
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            std::ofstream(argv[2]) << std::stol(line.substr(6)) << "\n";
    return 0;
}
