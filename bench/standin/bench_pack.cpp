// Times the pack (graphic and data) of a native table of about 100 MB, a third of whose rows were
// deleted, against two yardsticks on the same files: a plain copy of them (read and write through
// a 1 MiB buffer in this process, each written file fsynced, as the pack makes its files durable
// too) and a rewrite of the table by ogr2ogr. Every timed run works on a fresh copy of the table;
// making that copy and flushing it to disk are outside the timing. The pack runs in a process of
// its own (pack_one), whose peak resident memory is reported beside the time: it must stay within
// 64 MiB and a few bytes a row, whatever the size of the table. Prints the ratios at the end.
//
//   VANTERO_BENCH_PACK_MB=10 build/bench/standin/bench_pack [--benchmark_...]
//
// VANTERO_BENCH_PACK_MB sets the table's size (default 100), VANTERO_BENCH_PACK_REPS the runs of
// each item (default 5); VANTERO_BENCH_PACK_KEEP names a folder to keep the table made in, and
// VANTERO_BENCH_PACK_TABLE one to take it from instead of making it. The large table the memory
// bound is checked on is made only when asked; on a busy machine, interleave the runs:
//
//   VANTERO_BENCH_PACK_MB=1100 build/bench/standin/bench_pack --benchmark_filter='Pack|Copy'
//       --benchmark_enable_random_interleaving=true

#include "tests/standin/TableSupport.h"

#include <benchmark/benchmark.h>
#include <ogr_core.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
namespace test = vantero::standin::test;
using Clock = std::chrono::steady_clock;

constexpr const char* kName = "parcels";
constexpr const char* kBounds = "-10000,-10000,10000,10000";
constexpr std::size_t kCopyBuffer = 1 << 20;
// Bytes of all the files one row of the generated table takes, measured on a 10 MB table.
constexpr double kBytesPerRow = 951;

long envNumber(const char* name, long fallback) {
    const char* text = std::getenv(name);
    if (!text || !*text)
        return fallback;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return *end == '\0' && value > 0 ? value : fallback;
}

double megabytes(std::uint64_t bytes) {
    return static_cast<double>(bytes) / 1e6;
}

std::uint64_t folderBytes(const std::string& folder) {
    std::uint64_t total = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file())
            total += entry.file_size();
    return total;
}

void fsyncPath(const std::string& path, int flags) {
    const int fd = open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0 || fsync(fd) != 0)
        throw std::runtime_error("cannot flush " + path);
    close(fd);
}

// Puts a folder's files on disk, so that writeback left over from setting up a run does not land
// in the timing of the next one.
void flushFolder(const std::string& folder) {
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file())
            fsyncPath(entry.path().string(), O_RDONLY);
    fsyncPath(folder, O_RDONLY | O_DIRECTORY);
}

// Rows of the .DAT as its header counts them, and those not flagged deleted.
struct DataRows {
    std::uint32_t records = 0;
    std::uint32_t live = 0;
};

DataRows readDataRows(const std::string& datPath) {
    const std::string bytes = test::readFile(datPath);
    if (bytes.size() < 12)
        throw std::runtime_error(datPath + " is too short");
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
    DataRows rows;
    rows.records = byte(4) | byte(5) << 8 | byte(6) << 16 | std::uint32_t{byte(7)} << 24;
    const std::size_t header = byte(8) | byte(9) << 8;
    const std::size_t length = byte(10) | byte(11) << 8;
    for (std::uint32_t r = 0; r < rows.records; ++r) {
        const std::size_t at = header + r * length;
        if (at < bytes.size() && bytes[at] != '*')
            ++rows.live;
    }
    return rows;
}

std::string ring(std::mt19937& rng, double cx, double cy, double radius, int vertices) {
    std::uniform_real_distribution<double> wobble(0.75, 1.0);
    std::string ring = "(";
    char point[64];
    std::string first;
    for (int i = 0; i < vertices; ++i) {
        const double angle = 2 * M_PI * i / vertices;
        const double r = radius * wobble(rng);
        std::snprintf(point, sizeof point, "%.5f %.5f", cx + r * std::cos(angle),
                      cy + r * std::sin(angle));
        if (i == 0)
            first = point;
        ring += point;
        ring += ',';
    }
    return ring + first + ")";
}

std::string line(std::mt19937& rng, double x, double y, double step, int vertices) {
    std::uniform_real_distribution<double> turn(-0.6, 0.6);
    std::string line = "LINESTRING (";
    char point[64];
    double heading = 0;
    for (int i = 0; i < vertices; ++i) {
        std::snprintf(point, sizeof point, "%s%.5f %.5f", i ? "," : "", x, y);
        line += point;
        heading += turn(rng);
        x += step * std::cos(heading);
        y += step * std::sin(heading);
    }
    return line + ")";
}

// Parcels, roads and two-part estates scattered over the bounds. Most are small enough for
// MapInfo's compressed coordinates; every fifth is not.
test::NewRow makeRow(int row) {
    std::mt19937 rng(static_cast<std::uint32_t>(row) * 2654435761u);
    std::uniform_real_distribution<double> where(-9000, 9000);
    std::uniform_int_distribution<int> vertices(60, 200);
    const double x = where(rng), y = where(rng);
    const double size = row % 5 == 0 ? 2.0 : 0.15;
    test::NewRow made;
    char name[48];
    std::snprintf(name, sizeof name, "Parcel %d of block %d", row, row / 97);
    made.values = {std::to_string(row),
                   name,
                   std::to_string(x * y / 1000.0),
                   "C" + std::to_string(row % 613),
                   std::to_string(row % 17),
                   "2024/" + std::to_string(1 + row % 12) + "/" + std::to_string(1 + row % 28)};
    switch (row % 4) {
    case 0:
    case 1:
        made.wkt = "POLYGON (" + ring(rng, x, y, size, vertices(rng)) + ")";
        break;
    case 2:
        made.wkt = line(rng, x, y, size / 20, vertices(rng));
        break;
    default:
        made.wkt = "MULTIPOLYGON ((" + ring(rng, x, y, size, vertices(rng) / 2) + "),(" +
                   ring(rng, x + 3 * size, y, size, vertices(rng) / 2) + "))";
        break;
    }
    return made;
}

struct SourceTable {
    test::ScratchFolder folder;
    std::string tab;
    std::uint64_t bytes = 0; // all the table's files
    DataRows rows;
    double secondsToMake = 0;
};

const SourceTable& sourceTable() {
    static const std::unique_ptr<SourceTable> source = [] {
        auto s = std::make_unique<SourceTable>();
        const auto start = Clock::now();
        const long megabytes = envNumber("VANTERO_BENCH_PACK_MB", 100);
        const int rows = static_cast<int>(static_cast<double>(megabytes) * 1e6 / kBytesPerRow);
        std::vector<long long> deleted;
        std::mt19937 rng(7);
        for (int row = 1; row <= rows; ++row)
            if (rng() % 3 == 0)
                deleted.push_back(row);
        const std::vector<test::NewField> fields = {
            {"ID", OFTInteger, 0, 0, true}, {"NAME", OFTString, 40}, {"AREA", OFTReal},
            {"CODE", OFTString, 8},         {"ZONE", OFTInteger},    {"SURVEYED", OFTDate},
        };
        if (const char* kept = std::getenv("VANTERO_BENCH_PACK_TABLE"); kept && *kept) {
            // A table made by an earlier run: the large one takes minutes to make.
            s->tab = test::copyTable(kept, kName, s->folder.path());
        } else {
            s->tab = test::makeGdalTable(s->folder.path(), kName, fields, makeRow, rows, deleted);
            if (const char* keep = std::getenv("VANTERO_BENCH_PACK_KEEP"); keep && *keep)
                test::copyTable(s->folder.path(), kName, keep);
        }
        flushFolder(s->folder.path());
        s->bytes = folderBytes(s->folder.path());
        s->rows = readDataRows(s->folder.file(std::string(kName) + ".dat"));
        s->secondsToMake = std::chrono::duration<double>(Clock::now() - start).count();
        return s;
    }();
    return *source;
}

// The folders one timed run reads from and writes to, emptied before each run.
struct RunFolders {
    test::ScratchFolder root;
    std::string in = root.file("in");
    std::string out = root.file("out");
};

RunFolders& folders() {
    static RunFolders folders;
    return folders;
}

// A fresh copy of the table in the input folder and an empty output folder, both on disk.
std::string prepareRun() {
    RunFolders& f = folders();
    fs::remove_all(f.in);
    fs::remove_all(f.out);
    fs::create_directory(f.in);
    fs::create_directory(f.out);
    const std::string tab = test::copyTable(sourceTable().folder.path(), kName, f.in);
    flushFolder(f.in);
    fsyncPath(f.root.path(), O_RDONLY | O_DIRECTORY);
    return tab;
}

void copyFile(const std::string& from, const std::string& to, std::vector<char>& buffer) {
    const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        throw std::runtime_error("cannot open " + from);
    const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0) {
        close(in);
        throw std::runtime_error("cannot create " + to);
    }
    bool ok = true;
    for (;;) {
        const ssize_t n = read(in, buffer.data(), buffer.size());
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        for (ssize_t done = 0; ok && done < n;) {
            const ssize_t w = write(out, buffer.data() + done, static_cast<std::size_t>(n - done));
            ok = w > 0;
            done += w;
        }
        if (!ok)
            break;
    }
    ok = ok && fsync(out) == 0;
    close(in);
    ok = close(out) == 0 && ok;
    if (!ok)
        throw std::runtime_error("cannot copy " + from + " to " + to);
}

// Copies every file of the folder, the way cp does, and makes the copies durable.
void copyFolder(const std::string& from, const std::string& to) {
    std::vector<char> buffer(kCopyBuffer);
    for (const auto& entry : fs::directory_iterator(from))
        if (entry.is_regular_file())
            copyFile(entry.path().string(), to + "/" + entry.path().filename().string(), buffer);
    fsyncPath(to, O_RDONLY | O_DIRECTORY);
}

int runProgram(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void finish(benchmark::State& state, std::uint64_t outBytes) {
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(sourceTable().bytes));
    state.counters["in_MB"] = megabytes(sourceTable().bytes);
    state.counters["out_MB"] = megabytes(outBytes);
}

long g_packPeakKiB = 0;

void BM_Pack(benchmark::State& state) {
    std::uint64_t outBytes = 0;
    for (auto _ : state) {
        const std::string tab = prepareRun();
        const auto start = Clock::now();
        const std::string peakFile = folders().root.file("peak");
        const int exit = runProgram({VANTERO_PACK_ONE, tab, peakFile});
        state.SetIterationTime(since(start));
        if (exit != 0) {
            state.SkipWithError("the pack failed");
            break;
        }
        g_packPeakKiB = std::max(g_packPeakKiB, std::stol(test::readFile(peakFile)));
        const DataRows rows = readDataRows(folders().in + "/" + kName + ".dat");
        if (rows.records != sourceTable().rows.live || rows.live != rows.records) {
            state.SkipWithError("the packed table does not hold just the live rows");
            break;
        }
        outBytes = folderBytes(folders().in);
    }
    finish(state, outBytes);
    state.counters["peak_RSS_MiB"] = static_cast<double>(g_packPeakKiB) / 1024;
}

void BM_Copy(benchmark::State& state) {
    std::uint64_t outBytes = 0;
    for (auto _ : state) {
        prepareRun();
        const auto start = Clock::now();
        try {
            copyFolder(folders().in, folders().out);
        } catch (const std::exception& e) {
            state.SkipWithError(e.what());
            break;
        }
        state.SetIterationTime(since(start));
        outBytes = folderBytes(folders().out);
    }
    finish(state, outBytes);
}

void BM_Ogr2ogr(benchmark::State& state) {
    std::uint64_t outBytes = 0;
    for (auto _ : state) {
        const std::string tab = prepareRun();
        const std::string target = folders().out + "/" + kName + ".tab";
        const auto start = Clock::now();
        const int exit = runProgram({"ogr2ogr", "-q", "-f", "MapInfo File", "-lco",
                                     std::string("BOUNDS=") + kBounds, target, tab});
        state.SetIterationTime(since(start));
        if (exit != 0) {
            state.SkipWithError("ogr2ogr failed");
            break;
        }
        if (readDataRows(folders().out + "/" + kName + ".dat").live != sourceTable().rows.live) {
            state.SkipWithError("ogr2ogr did not copy the live rows");
            break;
        }
        outBytes = folderBytes(folders().out);
    }
    finish(state, outBytes);
}

// Keeps the medians so that the ratios can be printed after the usual table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                m_seconds[run.run_name.function_name] =
                    run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        ConsoleReporter::ReportRuns(runs);
    }
    double seconds(const std::string& name) const {
        const auto it = m_seconds.find(name);
        return it == m_seconds.end() ? 0 : it->second;
    }

private:
    std::map<std::string, double> m_seconds;
};

void registerBenchmarks() {
    const int reps = static_cast<int>(envNumber("VANTERO_BENCH_PACK_REPS", 5));
    for (const auto& [name, fn] : {std::pair{"BM_Pack", &BM_Pack}, std::pair{"BM_Copy", &BM_Copy},
                                   std::pair{"BM_Ogr2ogr", &BM_Ogr2ogr}})
        benchmark::RegisterBenchmark(name, fn)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(1)
            ->Repetitions(reps);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    try {
        const SourceTable& source = sourceTable(); // made before any timing starts
        std::cout << "Table: " << source.rows.records << " rows, " << source.rows.live
                  << " live, made in " << source.secondsToMake << " s;";
        for (const auto& entry : fs::directory_iterator(source.folder.path()))
            std::cout << ' ' << entry.path().filename().string() << ' '
                      << megabytes(entry.file_size()) << " MB";
        std::cout << "\n";
    } catch (const std::exception& e) {
        std::cerr << "cannot make the table: " << e.what() << "\n";
        return 1;
    }
    registerBenchmarks();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const double mb = megabytes(sourceTable().bytes);
    const double pack = reporter.seconds("BM_Pack");
    const double copy = reporter.seconds("BM_Copy");
    const double ogr = reporter.seconds("BM_Ogr2ogr");
    std::printf("\nMedians, MB/s of the %.1f MB table as it was before the pack:\n", mb);
    for (const auto& [label, seconds] :
         {std::pair{"pack", pack}, std::pair{"cp", copy}, std::pair{"ogr2ogr", ogr}})
        if (seconds > 0)
            std::printf("  %-8s %9.1f ms %9.1f MB/s\n", label, seconds * 1e3, mb / seconds);
    if (pack > 0 && copy > 0)
        std::printf("pack speed / cp speed: %.2f (goal: at least 0.5)\n", copy / pack);
    if (pack > 0 && ogr > 0)
        std::printf("ogr2ogr time / pack time: %.2f (goal: at least 3)\n", ogr / pack);
    if (g_packPeakKiB > 0) {
        // What the pack may hold: its buffers, and the .ID and the row map, a few bytes a row.
        const double bound = 64 + 8.0 * sourceTable().rows.records / (1 << 20);
        std::printf("pack peak RSS: %.1f MiB for %u rows (bound: 64 MiB + 8 B a row = %.1f MiB)\n",
                    static_cast<double>(g_packPeakKiB) / 1024, sourceTable().rows.records, bound);
    }
    benchmark::Shutdown();
    return 0;
}
