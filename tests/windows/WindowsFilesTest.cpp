// The Windows halves of the core's file code against what Windows adds to the shared tests' cases:
// files that others hold open, with or without sharing, the read-only attribute, mandatory locks.

#include "catalogue/DetectTableType.h"
#include "records/RecordTable.h"
#include "tablefiles/PackTable.h"
#include "tablefiles/TableSizes.h"
#include "tests/support/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <map>
#include <memory>

using testing::HasSubstr;
using testing::ThrowsMessage;
using vantero::RecordTable;
using vantero::RecordTableError;
using vantero::tablefiles::PackError;
using vantero::tablefiles::packTable;
using vantero::test::folderEntries;
using vantero::test::readBytes;
using vantero::test::TempFolder;
using vantero::test::writeBytes;

namespace {

// A file another program holds open: for itself alone, or for writing while others may read and
// write it, as MapInfo holds its tables; empty when it cannot be opened.
using HeldFile = std::unique_ptr<void, decltype(&CloseHandle)>;

HeldFile hold(const std::string& path, DWORD share = 0) {
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return {handle == INVALID_HANDLE_VALUE ? nullptr : handle, &CloseHandle};
}

// A copy of a real table with 9604 of its 10000 rows deleted, in a folder of its own and writable,
// as a user's tables are; the tab's path.
const char* const kTable = "compr_symb_deleted_records";
const char* const kTableFiles[] = {".tab", ".dat", ".id", ".map"};

std::string copyTable(const TempFolder& dir) {
    for (const char* extension : kTableFiles) {
        const std::string to = dir.file(kTable + std::string(extension));
        std::filesystem::copy_file(
            std::filesystem::path(VANTERO_TESTDATA) / (kTable + std::string(extension)), to);
        SetFileAttributesA(to.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    return dir.file(kTable + std::string(".tab"));
}

std::map<std::string, std::string> folderBytes(const TempFolder& dir) {
    std::map<std::string, std::string> files;
    for (const std::string& name : folderEntries(dir.path()))
        files[name] = readBytes(dir.file(name));
    return files;
}

std::uint64_t folderSize(const TempFolder& dir) {
    std::uint64_t size = 0;
    for (const auto& [name, bytes] : folderBytes(dir))
        size += bytes.size();
    return size;
}

} // namespace

// A table that another program holds open for writing is still read for its kind; one held for
// that program alone cannot be.
TEST(WindowsDetect, ATableHeldElsewhereIsReadUnlessItIsSharedWithNoOne) {
    TempFolder dir;
    const std::string tab = dir.file("held.tab");
    writeBytes(tab, "Type NATIVE\r");
    for (const DWORD share : {DWORD{0}, DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE}}) {
        const HeldFile held = hold(tab, share);
        ASSERT_TRUE(held);
        EXPECT_EQ(std::string(vantero::tableKindText(vantero::detectTableType(tab))),
                  share == 0 ? "Unknown" : "Native");
    }
}

TEST(WindowsExport, ReplacesTheFileWholeOrLeavesItAsItWas) {
    TempFolder dir;
    RecordTable log;
    log.addStringField("Message", 255);
    log.open();
    log.append();
    log.setString("Message", "Packed table C:\\Data\\roads.tab");
    log.post();
    const std::string file = dir.file("log.txt");
    writeBytes(file, std::string(5000, 'o'));

    // Open in another program that shares nothing: the file is unchanged and no temporary file is
    // left beside it.
    {
        const HeldFile held = hold(file);
        ASSERT_TRUE(held);
        EXPECT_THAT([&] { log.exportText(file); },
                    ThrowsMessage<RecordTableError>("Cannot create file " + file));
    }
    EXPECT_EQ(readBytes(file), std::string(5000, 'o'));
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"log.txt"});

    log.exportText(file);
    EXPECT_EQ(readBytes(file), "Message\r\nPacked table C:\\Data\\roads.tab\r\n");
}

TEST(WindowsPack, PacksARealTableInPlaceAndFreesWhatItsMeasureSaid) {
    if (!std::filesystem::is_directory(VANTERO_TESTDATA))
        GTEST_SKIP() << "no real tables at " << VANTERO_TESTDATA;
    TempFolder dir;
    const std::string tab = copyTable(dir);
    const auto before = vantero::tablefiles::measureTable(tab);
    ASSERT_GT(before.reclaimableBytes, 0u);
    const std::uint64_t sizeBefore = folderSize(dir);

    // A second pack of the table while the first holds its lock: refused, and the lock keeps
    // neither from reading the .tab.
    bool tried = false;
    packTable(tab, {true, true}, [&](int step) {
        if (step != 1)
            return;
        tried = true;
        EXPECT_THAT(
            [&] {
                packTable(tab, {true, true});
            },
            ThrowsMessage<PackError>(HasSubstr("is being packed by another process")));
    });
    EXPECT_TRUE(tried);

    const auto after = vantero::tablefiles::measureTable(tab);
    EXPECT_EQ(after.rows, 396u);
    EXPECT_EQ(after.deletedRows, 0u);
    const double freed = static_cast<double>(sizeBefore - folderSize(dir));
    EXPECT_NEAR(freed, static_cast<double>(before.reclaimableBytes),
                0.03 * static_cast<double>(before.reclaimableBytes));
    EXPECT_EQ(folderEntries(dir.path()).size(), std::size(kTableFiles)); // nothing left beside
}

TEST(WindowsPack, RefusedPacksLeaveTheFilesAsTheyWere) {
    if (!std::filesystem::is_directory(VANTERO_TESTDATA))
        GTEST_SKIP() << "no real tables at " << VANTERO_TESTDATA;
    const struct {
        const char* name;
        DWORD attributes;   // of the .dat
        bool heldByMapInfo; // the .dat open for writing in another program, as MapInfo holds it
        const char* error;
    } cases[] = {
        {"read-only", FILE_ATTRIBUTE_READONLY, false, "is read-only; its table is not packed"},
        {"held open", FILE_ATTRIBUTE_NORMAL, true, "is open in another program"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder dir;
        const std::string tab = copyTable(dir);
        const std::string dat = dir.file(kTable + std::string(".dat"));
        SetFileAttributesA(dat.c_str(), c.attributes);
        const auto before = folderBytes(dir);
        HeldFile mapInfo = c.heldByMapInfo ? hold(dat, FILE_SHARE_READ | FILE_SHARE_WRITE)
                                           : HeldFile(nullptr, &CloseHandle);
        EXPECT_THAT(
            [&] {
                packTable(tab, {true, true});
            },
            ThrowsMessage<PackError>(HasSubstr(c.error)));
        mapInfo.reset();
        EXPECT_TRUE(folderBytes(dir) == before);
        SetFileAttributesA(dat.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}
