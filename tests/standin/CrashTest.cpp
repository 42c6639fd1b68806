// A pack killed at any point of its work: after recovery GDAL reads either the table as it was or
// the table as a whole pack leaves it, never a mixture, and nothing of the pack is left behind.

#include "tablefiles/PackTable.h"
#include "tests/standin/TableSupport.h"

#include <gtest/gtest.h>
#include <ogr_core.h>

#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

using namespace vantero::tablefiles;
using namespace vantero::standin::test;

namespace {

constexpr int kRows = 30000;
constexpr int kKills = 20;

std::string n(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", v);
    return text;
}

NewRow bigRow(int row) {
    NewRow s;
    s.values = {"r" + std::to_string(row % 1013), std::to_string(row % 257 - 100), n(row * 0.01)};
    const double x = -9500 + (row * 7919 % 19000);
    const double y = -9500 + (row * 6007 % 19000);
    if (row % 2) {
        s.wkt = "LINESTRING (";
        for (int i = 0; i < 24; ++i)
            s.wkt += (i ? "," : "") + n(x + i * 1.5) + " " + n(y + (i * 37 % 11) * 0.5);
        s.wkt += ")";
        s.style = "PEN(w:" + std::to_string(1 + row % 3) + "px,c:#ff0000)";
    } else {
        s.wkt = "POLYGON ((";
        for (int i = 0; i < 20; ++i)
            s.wkt +=
                n(x + (i < 10 ? i : 19 - i) * 4.0) + " " + n(y + (i < 10 ? 0 : 30) + i % 3) + ",";
        s.wkt += n(x) + " " + n(y) + "))";
    }
    return s;
}

// What the pack has on disk at one checkpoint: the file it is writing, the swap while the journal
// is there, or "swapped" once it is gone again.
std::string phase(const std::string& folder, std::set<std::string>& seen, std::string& last) {
    DIR* dir = opendir(folder.c_str());
    bool journal = false;
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.find(".vantero-journal") != std::string::npos)
            journal = true;
        else if (name.find(".vantero-new") != std::string::npos && seen.insert(name).second)
            last = name.substr(0, name.find(".vantero-new"));
    }
    closedir(dir);
    if (journal)
        last = "swap";
    else if (last == "swap")
        last = "swapped";
    return last;
}

std::vector<std::string> names(const Snapshot& snapshot) {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : snapshot)
        names.push_back(name);
    return names;
}

} // namespace

TEST(Crash, AKilledPackRecoversToTheOldTableOrTheNewOne) {
    ScratchFolder source;
    std::vector<long long> deleted;
    for (long long row = 2; row <= kRows; row += 3)
        deleted.push_back(row);
    const std::string sourceTab = makeGdalTable(
        source.path(), "big",
        {{"name", OFTString, 16, 0, true}, {"num", OFTInteger, 0, 0, true}, {"val", OFTReal}},
        bigRow, kRows, deleted);
    const Snapshot originalFiles = takeSnapshot(source.path());
    ASSERT_GT(originalFiles.at("big.map").size(), 3u << 20) << "the table is meant to be large";
    const Reading original = readWithGdal(sourceTab);
    ASSERT_EQ(original.error, "");
    ASSERT_EQ(original.features.size(), kRows - deleted.size());

    // A whole pack, watched at every checkpoint.
    ScratchFolder whole;
    const std::string wholeTab = copyTable(source.path(), "big", whole.path());
    std::vector<std::string> phases;
    std::set<std::string> seen;
    std::string last = "start";
    packTable(wholeTab, {true, true}, [&](int step) {
        ASSERT_EQ(step, static_cast<int>(phases.size()) + 1) << "steps count up by one";
        phases.push_back(phase(whole.path(), seen, last));
    });
    const int steps = static_cast<int>(phases.size());
    const Snapshot packedFiles = takeSnapshot(whole.path());
    ASSERT_EQ(names(packedFiles), names(originalFiles));
    const Reading packed = readWithGdal(wholeTab);
    ASSERT_EQ(packed.error, "");
    ASSERT_EQ(withoutFids(packed.features), withoutFids(original.features));
    ASSERT_GE(steps, 3 * kKills) << "too few checkpoints to spread the kills over";

    // Kills spread evenly over the whole pack, and one at every step of the swap, where the
    // table's files change hands.
    std::set<int> kills;
    for (int k = 0; k < kKills; ++k)
        kills.insert(1 + static_cast<int>(static_cast<long long>(k) * (steps - 1) / (kKills - 1)));
    for (int step = 1; step <= steps; ++step)
        if (phases[static_cast<std::size_t>(step - 1)] == "swap")
            kills.insert(step);
    std::set<std::string> phasesHit;
    int old = 0, fresh = 0;
    for (const int step : kills) {
        phasesHit.insert(phases[static_cast<std::size_t>(step - 1)]);
        SCOPED_TRACE("killed at step " + std::to_string(step) + " of " + std::to_string(steps) +
                     ", " + phases[static_cast<std::size_t>(step - 1)]);
        ScratchFolder folder;
        const std::string tab = copyTable(source.path(), "big", folder.path());
        std::fflush(nullptr);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            try {
                packTable(tab, {true, true}, [step](int at) {
                    if (at == step)
                        raise(SIGKILL);
                });
            } catch (...) {
                _exit(2);
            }
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
            << "the pack was not killed; status " << status;

        recoverInterruptedPack(tab);
        const Snapshot recovered = takeSnapshot(folder.path());
        ASSERT_EQ(names(recovered), names(originalFiles)) << "leftovers after recovery";
        const Reading reading = readWithGdal(tab);
        ASSERT_EQ(reading.error, "");
        if (recovered == originalFiles) {
            ++old;
            EXPECT_EQ(reading.features, original.features);
        } else if (recovered == packedFiles) {
            ++fresh;
            EXPECT_EQ(reading.features, packed.features);
        } else {
            ADD_FAILURE() << "a mixture: differs from the old table in"
                          << snapshotDifferences(originalFiles, recovered)
                          << " and from the packed one in"
                          << snapshotDifferences(packedFiles, recovered);
        }
        // Recovery again finds nothing to do.
        recoverInterruptedPack(tab);
        EXPECT_EQ(snapshotDifferences(recovered, takeSnapshot(folder.path())), "");
    }
    EXPECT_GT(old, 0);
    EXPECT_GT(fresh, 0);
    for (const char* phase : {"big.dat", "big.map", "big.id", "big.ind", "swap", "swapped"})
        EXPECT_TRUE(phasesHit.count(phase)) << "no kill while the pack was at " << phase;
}

// A checkpoint that throws, as a cancelled pack does, at every step of a pack: the exception
// reaches the caller, and the table is at once either the old one or the packed one, with no
// file of the pack left over and nothing left for a later recovery to change.
TEST(Crash, ACheckpointThatThrowsLeavesTheOldTableOrTheNewOne) {
    ScratchFolder source;
    std::vector<long long> deleted;
    for (long long row = 1; row <= 600; row += 4)
        deleted.push_back(row);
    makeGdalTable(
        source.path(), "small",
        {{"name", OFTString, 16, 0, true}, {"num", OFTInteger, 0, 0, true}, {"val", OFTReal}},
        bigRow, 600, deleted);
    const Snapshot originalFiles = takeSnapshot(source.path());
    ScratchFolder whole;
    const std::string wholeTab = copyTable(source.path(), "small", whole.path());
    int steps = 0;
    packTable(wholeTab, {true, true}, [&](int) { ++steps; });
    const Snapshot packedFiles = takeSnapshot(whole.path());
    ASSERT_GT(steps, 10);

    int old = 0, fresh = 0;
    for (int step = 1; step <= steps; ++step) {
        SCOPED_TRACE("cancelled at step " + std::to_string(step) + " of " + std::to_string(steps));
        ScratchFolder folder;
        const std::string tab = copyTable(source.path(), "small", folder.path());
        EXPECT_THROW(packTable(tab, {true, true},
                               [step](int at) {
                                   if (at == step)
                                       throw std::runtime_error("cancelled");
                               }),
                     std::runtime_error);
        const Snapshot after = takeSnapshot(folder.path());
        if (after == originalFiles)
            ++old;
        else if (after == packedFiles)
            ++fresh;
        else
            ADD_FAILURE() << "neither table: differs from the old one in"
                          << snapshotDifferences(originalFiles, after)
                          << " and from the packed one in"
                          << snapshotDifferences(packedFiles, after);
        recoverInterruptedPack(tab);
        EXPECT_EQ(snapshotDifferences(after, takeSnapshot(folder.path())), "")
            << "recovery still had work to do";
    }
    EXPECT_GT(old, 0);
    EXPECT_GT(fresh, 0);
}
