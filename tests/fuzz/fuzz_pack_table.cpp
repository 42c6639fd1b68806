// A sample table whose .MAP, .ID, .IND and .DAT are whatever the fuzzer makes of them: a pack
// refuses it with every file as it was, or leaves a table that the library reads back whole, so
// that packs again the same way, and for data once more after one row is deleted, go through.
//
// The input is a byte choosing the table and the kind of pack, then each of the four files as a
// little-endian 32-bit length and its bytes; a file of length 0xFFFFFFFF, or that the input does
// not reach, is absent. With VANTERO_FUZZ_SAMPLES and VANTERO_FUZZ_CORPUS set, the sample tables
// are first written into the corpus in this form.

#include "tablefiles/PackTable.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace vantero;
using namespace vantero::tablefiles;

// The samples' own fields; nothing else in their .tab bears on a pack.
struct Sample {
    const char *name, *fields;
};
const Sample kSamples[] = {
    {"all_geoms", "1\n NAME Char (1) ;\n"},
    {"poly_indexed", "3\n AREA Decimal (12,3) Index 1 ;\n EAS_ID Decimal (11,0);\n"
                     " PRFEDEA Char (16) Index 3 ;\n"},
    {"first_table", "2\n joint_field Integer Index 1 ;\n foo Char (254) ;\n"},
    {"compr_symb_deleted_records", "1\n ID Integer ;\n"},
};
constexpr unsigned kTables = std::size(kSamples);
const PackParts kModes[] = {{true, false}, {false, true}, {true, true}};
const char* const kExtensions[] = {".map", ".id", ".ind", ".dat"};
constexpr std::uint32_t kAbsent = 0xFFFFFFFF;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeAll(const fs::path& path, const std::string& bytes) {
    if (!(std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes))
        std::abort();
}

// The scratch folder: VANTERO_FUZZ_SCRATCH, which run-fuzzers makes and removes, as libFuzzer
// ends without the exit handlers that would; else one of our own, in memory (no fsync cost).
const fs::path& folder() {
    static const fs::path folder = [] {
        if (const char* given = std::getenv("VANTERO_FUZZ_SCRATCH"); given && *given)
            return std::string(given);
        std::string name = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        if (!mkdtemp((name += "/vantero-fuzz-pack-XXXXXX").data()))
            std::abort();
        return name;
    }();
    return folder;
}

std::map<std::string, std::string> snapshot() {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder()))
        files[entry.path().filename().string()] = readAll(entry.path());
    return files;
}

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
    std::abort();
}

void repack(const std::string& tab, PackParts options) try {
    packTable(tab, options);
} catch (const PackError& e) {
    fail("a packed table does not read back", e.what());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* samples = std::getenv("VANTERO_FUZZ_SAMPLES");
    const char* corpus = std::getenv("VANTERO_FUZZ_CORPUS");
    if (!samples || !*samples || !corpus)
        return 0;
    for (unsigned seed = 0; seed < 3 * kTables; ++seed) {
        const std::string name = kSamples[seed % kTables].name;
        std::string input(1, static_cast<char>(seed));
        for (const char* ext : kExtensions) {
            const fs::path file = fs::path(samples) / (name + ext);
            const std::string bytes = readAll(file);
            const auto size = fs::exists(file) ? std::uint32_t(bytes.size()) : kAbsent;
            for (int i = 0; i < 32; i += 8)
                input += static_cast<char>(size >> i);
            input += bytes;
        }
        writeAll(fs::path(corpus) / ("seed-" + name + "-" + std::to_string(seed / kTables)), input);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    for (const auto& entry : fs::directory_iterator(folder()))
        fs::remove(entry.path());
    const PackParts options = kModes[data[0] / kTables % 3];
    const std::string tab = folder() / "t.tab";
    writeAll(tab, std::string("!table\n!version 650\n\nDefinition Table\n Type NATIVE\n Fields ") +
                      kSamples[data[0] % kTables].fields);
    std::size_t at = 1;
    for (const char* ext : kExtensions) {
        if (at + 4 > size)
            break;
        std::uint32_t length = 0;
        for (int i = 0; i < 32; i += 8)
            length |= std::uint32_t{data[at++]} << i;
        if (length == kAbsent)
            continue;
        const std::size_t take = std::min<std::size_t>(length, size - at);
        writeAll(folder() / ("t" + std::string(ext)),
                 std::string(reinterpret_cast<const char*>(data + at), take));
        at += take;
    }
    const auto before = snapshot();
    try {
        packTable(tab, options);
    } catch (const PackError& e) {
        if (snapshot() != before)
            fail("a refused pack changed the table", e.what());
        return 0;
    }
    for (const auto& [name, bytes] : snapshot())
        if (name.find(".vantero-") != std::string::npos)
            fail("a pack left a file behind", name);
    repack(tab, options);
    std::string dat = readAll(folder() / "t.dat");
    // After a data pack, one row fewer makes the next read every file it wrote, the .IND above all.
    if (dat != before.at("t.dat") && (dat[4] | dat[5] | dat[6] | dat[7])) {
        dat[static_cast<unsigned char>(dat[8]) | static_cast<unsigned char>(dat[9]) << 8] = '*';
        writeAll(folder() / "t.dat", dat);
        repack(tab, {false, true});
    }
    return 0;
}
