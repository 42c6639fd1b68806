// vantero-pack's dry run over 10,000 small tables in a folder tree, against a floor loop that
// reads the same files' bytes with plain reads, in the same run. The dry run must stay within 1.5
// times the floor.
//
//   build/test/bench/standin/bench_dry_run [--benchmark_...]

#include "cli/BatchPack.h"
#include "cli/Options.h"
#include "mapinfo/AutomationError.h"
#include "tests/standin/TableSupport.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <ogr_core.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

namespace {

namespace fs = std::filesystem;
namespace test = vantero::standin::test;

constexpr int kFolders = 100;
constexpr int kTablesPerFolder = 100;

// No MapInfo: a dry run never asks for one.
struct NoServers : vantero::AutomationServerFactory {
    std::unique_ptr<vantero::AutomationObject> createObject(const std::string&) override {
        throw vantero::AutomationError("a dry run needs no server");
    }
};

// One small table with deleted rows, copied into every folder under many names.
struct Tree {
    test::ScratchFolder root;
    std::vector<std::string> files;
    Tree() {
        test::ScratchFolder source;
        test::makeGdalTable(source.path(), "roads", {{"name", OFTString, 30}},
                            [](int row) {
                                return test::NewRow{{"road " + std::to_string(row)},
                                                    "LINESTRING (" + std::to_string(row) +
                                                        " 0,5 5)",
                                                    ""};
                            },
                            600, {3, 9, 17, 30, 44});
        for (int f = 0; f < kFolders; ++f) {
            const fs::path folder = fs::path(root.path()) / ("area" + std::to_string(f));
            fs::create_directories(folder);
            for (int t = 0; t < kTablesPerFolder; ++t)
                for (const auto& entry : fs::directory_iterator(source.path())) {
                    const fs::path to =
                        folder / ("t" + std::to_string(t) + entry.path().extension().string());
                    fs::copy_file(entry.path(), to);
                    files.push_back(to.string());
                }
        }
    }
};

Tree* tree = nullptr;

void DryRun(benchmark::State& state) {
    const auto parsed = vantero::cli::parseOptions({"-rn", tree->root.path()});
    NoServers servers;
    for (auto _ : state) {
        std::ostringstream out, err;
        const vantero::cli::Console console{out, err, false};
        if (vantero::cli::runBatch(std::get<vantero::cli::Options>(parsed), servers, console,
                                   [] { return false; }) != vantero::cli::kAllPacked ||
            out.str().find("total: 10000 tables, 5950000 rows, 50000 deleted") == std::string::npos)
            state.SkipWithError("the dry run did not read every table");
    }
}

// The least any reader of the same bytes pays: every file opened and read through once.
void FloorLoop(benchmark::State& state) {
    std::vector<char> buffer(1 << 16);
    for (auto _ : state) {
        std::size_t bytes = 0;
        for (const std::string& file : tree->files) {
            const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
            for (ssize_t n; (n = read(fd, buffer.data(), buffer.size())) > 0;)
                bytes += static_cast<std::size_t>(n);
            close(fd);
        }
        benchmark::DoNotOptimize(bytes);
    }
}

BENCHMARK(DryRun)->Unit(benchmark::kMillisecond)->Repetitions(5)->UseRealTime();
BENCHMARK(FloorLoop)->Unit(benchmark::kMillisecond)->Repetitions(5)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Tree made;
    tree = &made;
    benchmark::RunSpecifiedBenchmarks();
    tree = nullptr;
    benchmark::Shutdown();
    return 0;
}
