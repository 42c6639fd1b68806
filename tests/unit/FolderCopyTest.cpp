// The copy behind the folder tree's paste and drop: what arrives, what a cancel or a failure
// leaves, and that nothing is ever written over. Run on Linux and, but for modes, links and
// FIFOs, on Windows under Wine.

#include "folders/FolderServices.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace vantero {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::TempFolder;
using test::writeBytes;

class FolderCopy : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(folder.file("maps/roads/old"));
        writeBytes(folder.file("maps/roads.tab"), "!table\n");
        writeBytes(folder.file("maps/roads/big.map"), std::string(3 << 20, 'x') + "end");
        writeBytes(folder.file("maps/roads/old/a.dat"), "abc");
#ifndef _WIN32
        ::chmod(folder.file("maps/roads.tab").c_str(), 0640);
        ASSERT_EQ(::symlink("roads.tab", folder.file("maps/link.tab").c_str()), 0);
#endif
        fs::create_directory(folder.file("target"));
    }
    TempFolder folder;
};

TEST_F(FolderCopy, CopiesFilesFoldersModesAndLinksReportingEveryByte) {
    std::uint64_t last = 0;
    std::uint64_t total = 0;
    int calls = 0;
    const auto result = copyInto(folder.file("maps"), folder.file("target/maps"),
                                 [&](std::uint64_t done, std::uint64_t all) {
                                     EXPECT_GE(done, last);
                                     last = done;
                                     total = all;
                                     ++calls;
                                     return true;
                                 });
    EXPECT_EQ(result, CopyResult::Done);
    const std::uint64_t bytes = 7 + (3u << 20) + 3 + 3;
    EXPECT_EQ(bytesToCopy(folder.file("maps")), bytes);
    EXPECT_EQ(total, bytes);
    EXPECT_EQ(last, bytes);
    EXPECT_GT(calls, 3) << "a big file is copied, and reported, in chunks";
    EXPECT_EQ(readBytes(folder.file("target/maps/roads/big.map")),
              readBytes(folder.file("maps/roads/big.map")));
    EXPECT_EQ(readBytes(folder.file("target/maps/roads/old/a.dat")), "abc");
#ifndef _WIN32
    EXPECT_EQ(fs::status(folder.file("target/maps/roads.tab")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_TRUE(fs::is_symlink(folder.file("target/maps/link.tab")));
    EXPECT_EQ(fs::read_symlink(folder.file("target/maps/link.tab")), "roads.tab");
#endif
}

TEST_F(FolderCopy, ACancelLeavesNothingOfTheCopyAndTheSourceWhole) {
    const auto result =
        copyInto(folder.file("maps"), folder.file("target/maps"),
                 [](std::uint64_t done, std::uint64_t) { return done < (1u << 20); });
    EXPECT_EQ(result, CopyResult::Cancelled);
    EXPECT_FALSE(fs::exists(folder.file("target/maps")));
    EXPECT_TRUE(fs::is_empty(folder.file("target")));
    EXPECT_EQ(bytesToCopy(folder.file("maps")), 7 + (3u << 20) + 3 + 3u);
}

TEST_F(FolderCopy, NeverWritesOverAName) {
    writeBytes(folder.file("target/maps"), "mine");
    EXPECT_THROW(copyInto(folder.file("maps"), folder.file("target/maps"), {}), std::runtime_error);
    EXPECT_EQ(readBytes(folder.file("target/maps")), "mine") << "an existing name was touched";
}

#ifndef _WIN32
// Met half-way through, after the copy has begun: the message names it and the partial copy goes.
TEST_F(FolderCopy, ASpecialFileIsRefusedByNameAndThePartialCopyRemoved) {
    ASSERT_EQ(::mkfifo(folder.file("maps/pipe").c_str(), 0600), 0);
    try {
        copyInto(folder.file("maps"), folder.file("target/maps"), {});
        ADD_FAILURE() << "copied a FIFO";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("pipe"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(fs::exists(folder.file("target/maps")));
}
#endif

} // namespace
} // namespace vantero
