// Times the folder scan of 10,000 small .tab files against the least any scan must do with the same
// folder (open each file, read its first 512 bytes, close it), and prints the ratio. Also reads one
// long file with no line end to show that detection memory does not grow with the line.
//
//   build/test/bench/bench_list_tables [--benchmark_...]

#include "catalogue/DetectTableType.h"
#include "catalogue/ListTables.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int kFiles = 10000;

// The kinds a real folder holds, in the two line-end styles the files come in.
const char* const kTemplates[] = {
    "!table\r\n!version 300\r\n!charset WindowsLatin1\r\n\r\nDefinition Table\r\n"
    "  Type NATIVE Charset \"WindowsLatin1\"\r\n  Fields 3\r\n    ID Integer ;\r\n"
    "    Name Char (40) ;\r\n    Area Float ;\r\n",
    "!table\n!version 650\n!charset Neutral\n\nDefinition Table\n  Type NATIVE Charset "
    "\"Neutral\"\n  Fields 1\n    FID Integer ;\n",
    "!table\r\n!version 300\r\n!charset WindowsLatin1\r\n\r\nDefinition Table\r\n"
    "  File \"parcels.dbf\"\r\n  Type DBF Charset \"WindowsLatin1\"\r\n  Fields 2\r\n",
    "!table\r\n!version 300\r\n!charset WindowsLatin1\r\n\r\nDefinition Table\r\n"
    "  File \"ortho.tif\"\r\n  Type \"RASTER\"\r\n  (0,0) (0,0) Label \"Pt 1\",\r\n",
    "!table\r\n!Version 100\r\nOpen Table \"a\" Hide\r\nCreate View v As\r\nSelect * From a\r\n",
    "!table\r\n!version 450\r\n\r\nDefinition Table\r\n  Type ACCESS Table \"t\"\r\n",
};

const std::string& folder() {
    static const std::string folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "vantero-bench-XXXXXX");
        if (!mkdtemp(pattern.data()))
            std::abort();
        for (int i = 0; i < kFiles; ++i) {
            const std::string name =
                pattern + "/table" + std::to_string(i) + (i % 7 ? ".tab" : ".TAB");
            std::FILE* f = std::fopen(name.c_str(), "wb");
            const char* text = kTemplates[i % std::size(kTemplates)];
            std::fputs(text, f);
            std::fclose(f);
        }
        return pattern;
    }();
    return folder;
}

void BM_ListTables(benchmark::State& state) {
    vantero::RecordTable memTabList;
    vantero::declareTableListFields(memTabList);
    for (auto _ : state) {
        vantero::listTables(memTabList, folder());
        if (memTabList.recordCount() != kFiles)
            state.SkipWithError("not every file was listed");
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}

void BM_FloorLoop(benchmark::State& state) {
    char buffer[512];
    for (auto _ : state) {
        DIR* dir = opendir(folder().c_str());
        std::size_t files = 0;
        while (const dirent* e = readdir(dir)) {
            if (e->d_name[0] == '.')
                continue;
            const std::string path = folder() + "/" + e->d_name;
            const int fd = open(path.c_str(), O_RDONLY);
            benchmark::DoNotOptimize(read(fd, buffer, sizeof buffer));
            close(fd);
            ++files;
        }
        closedir(dir);
        benchmark::DoNotOptimize(files);
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}

long maxRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void BM_DetectOneLongLine(benchmark::State& state) {
    // A sparse file of zero bytes: a single line as long as the file, with the deciding words at
    // its very end.
    const std::string file = folder() + "/long.line";
    const auto size = static_cast<off_t>(state.range(0)) << 20;
    {
        const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ftruncate(fd, size) != 0 || pwrite(fd, "type native", 11, size) != 11)
            std::abort();
        close(fd);
    }
    const long before = maxRssKiB();
    for (auto _ : state) {
        if (vantero::detectTableType(file) != vantero::TableKind::Native)
            state.SkipWithError("wrong kind");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(size));
    state.counters["rss_growth_KiB"] = static_cast<double>(maxRssKiB() - before);
    std::filesystem::remove(file);
}

// The machine's own noise is a good part of the difference; medians of several runs steady it.
BENCHMARK(BM_FloorLoop)->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(7);
BENCHMARK(BM_ListTables)->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(7);
BENCHMARK(BM_DetectOneLongLine)->Arg(2048)->Unit(benchmark::kMillisecond)->Iterations(1);

// Keeps the timings so that the ratio can be printed after the usual table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                m_times[run.run_name.function_name] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    double time(const std::string& name) const {
        const auto it = m_times.find(name);
        return it == m_times.end() ? 0 : it->second;
    }

private:
    std::map<std::string, double> m_times;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    folder(); // make the files before any timing starts
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double floor = reporter.time("BM_FloorLoop");
    const double list = reporter.time("BM_ListTables");
    if (floor > 0 && list > 0)
        std::cout << "ListTables / floor loop, medians: " << list / floor
                  << " (goal: at most 1.3)\n";
    std::filesystem::remove_all(folder());
    benchmark::Shutdown();
    return 0;
}
