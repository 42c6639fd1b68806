// A pack stopped at any point of its work, killed or cancelled: the table is then, after recovery,
// either the table as it was or the table as a whole pack leaves it, never a mixture, and nothing
// of the pack is left behind.

#include "tablefiles/PackTable.h"
#include "tests/standin/TableSupport.h"

#include <gtest/gtest.h>
#include <ogr_core.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <set>
#include <stdexcept>
#include <string>

using namespace vantero::tablefiles;
using namespace vantero::standin::test;

namespace {

// Wide records and long lines: the .DAT and the .MAP are each more than the megabyte the pack
// reads and writes at a time.
NewRow wideRow(int row) {
    const double x = -9500 + (row * 7919 % 19000), y = -9500 + (row * 6007 % 19000);
    std::string wkt = "LINESTRING (";
    for (int i = 0; i < 60; ++i)
        wkt += (i ? "," : "") + std::to_string(x + i * 1.5) + " " +
               std::to_string(y + (i * 37 % 11) * 0.5);
    return {{std::string(200 + row % 50, char('a' + row % 26)), std::to_string(row % 257 - 100)},
            wkt + ")",
            ""};
}

// What the pack has on disk at a checkpoint: the table's file it began to write last, "swap"
// while the journal is there, or "swapped" once it is gone again.
std::string phaseOf(const std::string& folder, std::set<std::string>& seen,
                    const std::string& last) {
    std::string phase = last == "swap" ? "swapped" : last;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.find(".vantero-journal") != std::string::npos)
            return "swap";
        if (const auto at = name.find(".vantero-new");
            at != std::string::npos && seen.insert(name).second)
            phase = name.substr(0, at);
    }
    return phase;
}

} // namespace

TEST(Crash, AStoppedPackLeavesTheOldTableOrTheNewOne) {
    constexpr int kRows = 4500;
    ScratchFolder source;
    std::vector<long long> deleted;
    for (long long row = 2; row <= kRows; row += 3)
        deleted.push_back(row);
    const std::string sourceTab = makeGdalTable(
        source.path(), "big", {{"text", OFTString, 254}, {"num", OFTInteger, 0, 0, true}}, wideRow,
        kRows, deleted);
    const Snapshot originalFiles = takeSnapshot(source.path());
    for (const char* file : {"big.dat", "big.map"})
        ASSERT_GT(originalFiles.at(file).size(), 1u << 20) << file << " is meant to be large";
    const Reading original = readWithGdal(sourceTab);
    ASSERT_EQ(original.error, "");

    // A whole pack, watched at every checkpoint: the first step of each phase is where a kill
    // finds it, and every step of the swap, where the table's files change hands.
    ScratchFolder whole;
    const std::string wholeTab = copyTable(source.path(), "big", whole.path());
    std::map<int, std::string> stops;
    std::set<std::string> seen, reached;
    std::string phase = "start";
    int steps = 0;
    packTable(wholeTab, kBoth, [&](int step) {
        ASSERT_EQ(step, ++steps) << "steps count up by one";
        const std::string now = phaseOf(whole.path(), seen, phase);
        if (step == 1 || now != phase || now == "swap")
            stops[step] = now;
        reached.insert(phase = now);
    });
    stops[steps] = phase;
    EXPECT_EQ(reached, (std::set<std::string>{"start", "big.map", "big.dat", "big.id", "big.ind",
                                              "swap", "swapped"}));
    const Snapshot packedFiles = takeSnapshot(whole.path());
    ASSERT_EQ(withoutFids(readWithGdal(wholeTab).features), withoutFids(original.features));

    // Killed, then recovered; or cancelled by a checkpoint that throws, which reaches the caller
    // and leaves nothing for a recovery to do.
    int old = 0, fresh = 0;
    for (const auto& [step, where] : stops) {
        for (const bool kill : {true, false}) {
            SCOPED_TRACE(std::string(kill ? "killed" : "cancelled") + " at step " +
                         std::to_string(step) + " of " + std::to_string(steps) + ", " + where);
            ScratchFolder folder;
            const std::string tab = copyTable(source.path(), "big", folder.path());
            const auto stop = [step = step, kill](int at) {
                if (at == step && kill)
                    raise(SIGKILL);
                if (at == step)
                    throw std::runtime_error("cancelled");
            };
            if (kill) {
                ASSERT_EXIT(packTable(tab, kBoth, stop), testing::KilledBySignal(SIGKILL), "");
                recoverInterruptedPack(tab);
            } else {
                EXPECT_THROW(packTable(tab, kBoth, stop), std::runtime_error);
            }
            const Snapshot after = takeSnapshot(folder.path());
            old += after == originalFiles;
            fresh += after == packedFiles;
            EXPECT_TRUE(after == originalFiles || after == packedFiles)
                << "a mixture: differs from the old table in"
                << snapshotDifferences(originalFiles, after) << " and from the packed one in"
                << snapshotDifferences(packedFiles, after);
            recoverInterruptedPack(tab);
            EXPECT_EQ(snapshotDifferences(after, takeSnapshot(folder.path())), "")
                << "recovery still had work to do";
        }
    }
    EXPECT_GT(old, 0);
    EXPECT_GT(fresh, 0);
}
