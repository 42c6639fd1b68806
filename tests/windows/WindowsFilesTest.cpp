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
#include <optional>

using vantero::RecordTable;
using vantero::RecordTableError;
using vantero::test::folderEntries;
using vantero::test::readBytes;
using vantero::test::TempFolder;
using vantero::test::writeBytes;

namespace {

// The kind as the table list shows it.
std::string kindOf(const std::string& file) {
    return vantero::tableKindText(vantero::detectTableType(file));
}

// A file another program holds open: for itself alone, or for writing while others may read and
// write it, as MapInfo holds its tables.
class LockedFile {
public:
    explicit LockedFile(const std::string& path, DWORD share = 0)
        : m_handle(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~LockedFile() {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
    }
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;
    bool held() const { return m_handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_handle;
};

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

std::string packError(const std::string& tab) {
    try {
        vantero::tablefiles::packTable(tab, {true, true});
    } catch (const vantero::tablefiles::PackError& e) {
        return e.what();
    }
    return "no error";
}

std::string exportError(RecordTable& table, const std::string& file) {
    try {
        table.exportText(file);
    } catch (const RecordTableError& e) {
        return e.what();
    }
    return "no error";
}

} // namespace

TEST(WindowsDetect, FoldersMissingAndLockedFilesAreUnknown) {
    TempFolder dir;
    EXPECT_EQ(kindOf(dir.file("missing.tab")), "Unknown");
    std::filesystem::create_directory(dir.file("dir.tab"));
    EXPECT_EQ(kindOf(dir.file("dir.tab")), "Unknown");

    const std::string locked = dir.file("locked.tab");
    writeBytes(locked, "Type NATIVE\r");
    EXPECT_EQ(kindOf(locked), "Native");
    {
        LockedFile hold(locked);
        ASSERT_TRUE(hold.held());
        EXPECT_EQ(kindOf(locked), "Unknown");
    }
    {
        LockedFile hold(locked, FILE_SHARE_READ | FILE_SHARE_WRITE);
        ASSERT_TRUE(hold.held());
        EXPECT_EQ(kindOf(locked), "Native");
    }
    EXPECT_EQ(kindOf(locked), "Native");
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
    log.exportText(file);
    EXPECT_EQ(readBytes(file), "Message\r\nPacked table C:\\Data\\roads.tab\r\n");

    // The same file open in another program that shares nothing: the export fails, the file is
    // unchanged and no temporary file is left beside it.
    const std::string before = readBytes(file);
    log.append();
    log.setString("Message", "Process Complete.");
    log.post();
    {
        LockedFile hold(file);
        ASSERT_TRUE(hold.held());
        EXPECT_EQ(exportError(log, file), "Cannot create file " + file);
    }
    EXPECT_EQ(readBytes(file), before);
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"log.txt"});

    std::filesystem::create_directory(dir.file("taken"));
    EXPECT_EQ(exportError(log, dir.file("taken")), "Cannot create file " + dir.file("taken"));
    const std::string missing = dir.file("no\\such\\folder\\log.txt");
    EXPECT_EQ(exportError(log, missing), "Cannot create file " + missing);
    auto entries = folderEntries(dir.path());
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{"log.txt", "taken"}));

    log.exportText(file);
    EXPECT_EQ(readBytes(file),
              "Message\r\nPacked table C:\\Data\\roads.tab\r\nProcess Complete.\r\n");
}

TEST(WindowsPack, PacksARealTableInPlaceAndFreesWhatItsMeasureSaid) {
    if (!std::filesystem::is_directory(VANTERO_TESTDATA))
        GTEST_SKIP() << "no real tables at " << VANTERO_TESTDATA;
    TempFolder dir;
    const std::string tab = copyTable(dir);
    const auto before = vantero::tablefiles::measureTable(tab);
    EXPECT_EQ(before.rows, 396u);
    EXPECT_EQ(before.deletedRows, 9604u);
    ASSERT_GT(before.reclaimableBytes, 0u);
    const std::uint64_t sizeBefore = folderSize(dir);

    // A second pack of the table while the first holds its lock: refused, and the lock keeps
    // neither from reading the .tab.
    std::string second;
    vantero::tablefiles::packTable(tab, {true, true}, [&](int step) {
        if (step == 1)
            second = packError(tab);
    });
    EXPECT_THAT(second, testing::HasSubstr("is being packed by another process"));

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
        TempFolder dir;
        const std::string tab = copyTable(dir);
        const std::string dat = dir.file(kTable + std::string(".dat"));
        SetFileAttributesA(dat.c_str(), c.attributes);
        const auto before = folderBytes(dir);
        std::optional<LockedFile> mapInfo;
        if (c.heldByMapInfo)
            mapInfo.emplace(dat, FILE_SHARE_READ | FILE_SHARE_WRITE);
        EXPECT_THAT(packError(tab), testing::HasSubstr(c.error)) << c.name;
        mapInfo.reset();
        EXPECT_TRUE(folderBytes(dir) == before) << c.name;
        SetFileAttributesA(dat.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}
