// The folder services' Windows half in the shell of the test prefix: the Desktop and This PC as the
// shell lists them, the paths the tree reports, the watch, rename, the Recycle Bin and where a
// paste goes. Where Wine lacks what a case needs, the case says so and is skipped.

#include "folders/FolderServices.h"

#include "base/Failure.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <fstream>

namespace vantero {
namespace {

// This PC, whatever the shell calls it.
constexpr const char* kThisPcKey = "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}";

const FolderItem* byKey(const std::vector<FolderItem>& items, const std::string& key) {
    const auto at = std::find_if(items.begin(), items.end(), [&](const FolderItem& item) {
        return lstrcmpiA(item.key.c_str(), key.c_str()) == 0;
    });
    return at == items.end() ? nullptr : &*at;
}

class WindowsFolders : public ::testing::Test {
protected:
    void SetUp() override {
        // Straight under C:\, where Wine's watch of the drive sees a new folder.
        m_root = "C:\\vantero-folders-" + std::to_string(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryA(m_root.c_str(), nullptr));
    }
    void TearDown() override { deleteForGood(m_root); }

    std::string made(const std::string& name) {
        const std::string path = m_root + "\\" + name;
        EXPECT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path;
        return path;
    }

    // The item of a folder, reached as the tree opens to it: from the Desktop down by its keys.
    FolderItem itemAt(const std::string& path) const {
        FolderItem item = m_shell.root();
        const std::optional<std::vector<std::string>> keys = m_shell.keysTo(path);
        for (const std::string& key : keys.value()) {
            const std::vector<FolderItem> children = m_shell.subFolders(item);
            const FolderItem* child = byKey(children, key);
            if (child == nullptr)
                throw std::runtime_error("no " + key + " on the way to " + path);
            item = *child;
        }
        return item;
    }

    FolderNamespace m_shell;
    std::string m_root;
};

TEST_F(WindowsFolders, TheDesktopHoldsThisPcWithItsDrivesAndItsFoldersInTheShellsOrder) {
    const FolderItem desktop = m_shell.root();
    char folder[MAX_PATH] = {};
    ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, folder), S_OK);
    EXPECT_EQ(desktop.path, folder);
    EXPECT_FALSE(desktop.name.empty());
    for (const char* name : {"beta", "Alpha", "gamma", "Alpha\\inner", "hidden"})
        ASSERT_TRUE(CreateDirectoryA((std::string(folder) + "\\" + name).c_str(), nullptr));
    SetFileAttributesA((std::string(folder) + "\\hidden").c_str(), FILE_ATTRIBUTE_HIDDEN);

    const std::vector<FolderItem> children = m_shell.subFolders(desktop);
    const FolderItem* thisPc = byKey(children, kThisPcKey);
    const FolderItem* alpha = byKey(children, "Alpha");
    const FolderItem* hidden = byKey(children, "hidden");
    ASSERT_TRUE(thisPc && alpha && hidden && byKey(children, "beta") && byKey(children, "gamma"));
    // The shell's order: its virtual folders first, then names whatever their case.
    EXPECT_LT(thisPc, alpha);
    EXPECT_LT(alpha, byKey(children, "beta"));
    EXPECT_LT(byKey(children, "beta"), byKey(children, "gamma"));
    EXPECT_EQ(thisPc->path, "");
    EXPECT_FALSE(thisPc->canRename || thisPc->canDelete || thisPc->canCopy);
    // The tree's selected path: a folder's without a trailing backslash, a drive's root with it.
    EXPECT_EQ(alpha->path, std::string(folder) + "\\Alpha");
    EXPECT_EQ(alpha->kind, FolderKind::Folder);
    EXPECT_TRUE(alpha->hasSubFolders && alpha->canRename && alpha->canDelete && alpha->canCopy);
    EXPECT_TRUE(hidden->hidden && !alpha->hidden);
    // The user's Documents, shown on the Desktop (as Wine does) though it lies elsewhere: not the
    // tree's to rename or delete, and its path without a trailing backslash.
    if (const FolderItem* documents = byKey(children, "::{450D8FBA-AD25-11D0-98A8-0800361B1103}")) {
        EXPECT_FALSE(documents->canRename || documents->canDelete || documents->canCopy);
        EXPECT_NE(documents->path.back(), '\\');
    }

    const std::vector<FolderItem> drives = m_shell.subFolders(*thisPc);
    const FolderItem* c = byKey(drives, "C:\\");
    ASSERT_NE(c, nullptr);
    EXPECT_NE(c->name.find("C:"), std::string::npos) << c->name;
    EXPECT_EQ(c->path, "C:\\");
    EXPECT_EQ(c->kind, FolderKind::Drive);
    EXPECT_FALSE(c->canRename || c->canDelete);
    for (const char* name : {"Alpha", "beta", "gamma", "hidden"})
        deleteForGood(std::string(folder) + "\\" + name);
}

TEST_F(WindowsFolders, AFolderMadeOnADriveIsNoticedAtOnceAndAFileNever) {
    std::atomic<int> notices{0};
    FolderWatch watch([&] { ++notices; });
    watch.startOver();
    EXPECT_GE(watch.watchCount(), 1u);

    const std::string file = m_root + ".txt";
    std::ofstream(file) << "not a folder";
    Sleep(1000);
    EXPECT_EQ(notices, 0);
    DeleteFileA(file.c_str());

    // Wine watches only the drive's root folder, not its whole tree as Windows does.
    const std::string name = "vantero-watched-" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryA(("C:\\" + name).c_str(), nullptr));
    for (const DWORD start = GetTickCount(); notices == 0 && GetTickCount() - start < 1000;)
        Sleep(20);
    EXPECT_GT(notices, 0);
    EXPECT_NE(byKey(m_shell.subFolders(itemAt("C:\\")), name), nullptr);
    RemoveDirectoryA(("C:\\" + name).c_str());
}

TEST_F(WindowsFolders, RenameNeverReplacesAndTheFolderFollowsItsNewName) {
    const std::string a = made("a");
    made("b");
    made("a\\inner");
    std::ofstream(m_root + "\\file") << "kept";
    const FolderItem item = itemAt(a);
    for (const char* refused : {"b", "B", "file", "", "x\\y", "x:y", ".."}) {
        EXPECT_THROW(renameFolder(item, refused), Failure) << refused;
        EXPECT_NE(GetFileAttributesA(a.c_str()), INVALID_FILE_ATTRIBUTES) << refused;
    }
    const FolderItem renamed = renameFolder(item, "c");
    EXPECT_EQ(renamed.path, m_root + "\\c");
    EXPECT_EQ(renamed.key, "c");
    EXPECT_EQ(renamed.name, "c");
    EXPECT_EQ(renamed.id.substr(0, itemAt(m_root).id.size()), itemAt(m_root).id);
    EXPECT_EQ(byKey(m_shell.subFolders(renamed), "inner")->path, m_root + "\\c\\inner");
    EXPECT_FALSE(m_shell.keysTo(a)) << "the old name is still there";
}

TEST_F(WindowsFolders, DeleteGoesToTheRecycleBinAndForGoodDoesNot) {
    const auto inBin = []() -> std::optional<long long> {
        SHQUERYRBINFO bin{};
        bin.cbSize = sizeof bin;
        if (FAILED(SHQueryRecycleBinA(nullptr, &bin)))
            return std::nullopt;
        return bin.i64NumItems;
    };
    const std::optional<long long> before = inBin();
    if (!before)
        GTEST_SKIP() << "this Wine cannot count what its Recycle Bin holds";
    moveToTrash(itemAt(made("recycled")));
    deleteForGood(made("gone"));
    EXPECT_EQ(GetFileAttributesA((m_root + "\\recycled").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA((m_root + "\\gone").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(inBin(), *before + 1);
}

// Where a paste or a drop puts a folder, and what it refuses; names are the same whatever their
// case.
TEST_F(WindowsFolders, APasteGoesIntoTheFolderNeverIntoItselfNorOverAName) {
    made("a");
    made("a\\inner");
    made("b");
    const struct {
        const char* source;
        const char* folder;
        const char* result; // nullptr: refused
    } cases[] = {
        {"a", "b", "b\\a"},         {"a", "", nullptr},  {"a", "a\\inner", nullptr},
        {"A", "a\\inner", nullptr}, {"a", "a", nullptr},
    };
    for (const auto& paste : cases) {
        const std::string source = m_root + "\\" + paste.source;
        const std::string folder = paste.folder[0] == '\0' ? m_root : m_root + "\\" + paste.folder;
        if (paste.result == nullptr)
            EXPECT_THROW(destinationIn(source, folder), Failure) << source << " into " << folder;
        else
            EXPECT_EQ(destinationIn(source, folder), m_root + "\\" + paste.result);
    }
}

} // namespace
} // namespace vantero
