#pragma once

// The folder tree's services, without Qt: the namespace of folders and their order, the verbs on
// them, and the watch for folder changes. Every file-system and shell call the tree needs is behind
// this one interface; folders/linux/ implements it with POSIX and the freedesktop conventions,
// folders/windows/ with the Windows shell.
//
// Strings are byte strings, as everywhere in the program: a path is in the encoding of file names
// (Linux: the file system's own bytes; Windows: the ANSI code page, as the table list has it), a
// display name or a new name is UTF-8.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantero {

// What a folder is, for its icon.
enum class FolderKind { Desktop, Home, Computer, Drive, Folder };

// One folder of the namespace, as the tree shows it.
struct FolderItem {
    // Its identity for these services: Linux its path, or a mark for a virtual folder; Windows its
    // absolute item-id list. The id of a folder inside a file-system folder begins with that
    // folder's id.
    std::string id;
    // What tells it from its siblings from one listing to the next.
    std::string key;
    std::string name;
    // The file-system path: no trailing separator but on a root ("/", "C:\"), a network share in
    // its UNC form; "" for a virtual folder (Computer, This PC, Network).
    std::string path;
    FolderKind kind = FolderKind::Folder;
    bool hasSubFolders = false;
    bool hidden = false; // shown dimmed
    // The verbs that act on the folder itself: never on the root, a place, a drive or a virtual
    // folder.
    bool canRename = false;
    bool canDelete = false;
    bool canCopy = false; // and drag out; a cut needs canDelete too
};

class FolderNamespace {
public:
    // Linux: the folders the namespace is built around. Windows takes the shell's own Desktop.
    struct Places {
        std::string desktop;
        std::string home;
    };
    static Places userPlaces();

    explicit FolderNamespace(Places places = userPlaces()) : m_places(std::move(places)) {}

    // The Desktop.
    FolderItem root() const;
    // The folder's sub-folders, hidden ones too, in the platform's order. None when the folder
    // cannot be listed; a failure to read one of them is a Failure.
    std::vector<FolderItem> subFolders(const FolderItem& folder) const;
    // The keys of the folders from the root down to the folder at path: the way the tree opens to
    // it (empty for the Desktop itself). Nothing when the namespace does not hold that folder.
    std::optional<std::vector<std::string>> keysTo(const std::string& path) const;

private:
    Places m_places;
};

// Renames the folder in its own folder, never over another name; returns the folder as it is
// now. newName is UTF-8. Throws Failure, with nothing changed.
FolderItem renameFolder(const FolderItem& folder, const std::string& newName);
// To the desktop's trash (Linux) or the Recycle Bin (Windows), from where the user can put it
// back. Windows asks before deleting for good what the Recycle Bin cannot take.
void moveToTrash(const FolderItem& folder);
void deleteForGood(const std::string& path);
void openInFileManager(const FolderItem& folder);

// Where source goes when it is put into folder. Throws Failure when that is inside source itself
// or the name is taken.
std::string destinationIn(const std::string& source, const std::string& folder);
// Renames source to destination when the file system can (the same volume) and nothing is there;
// false when it cannot, and then nothing has changed.
bool moveWithoutReplacing(const std::string& source, const std::string& destination);

// Told the bytes copied so far and the total after each chunk; false cancels the copy.
using CopyProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;
enum class CopyResult { Done, Cancelled };
// The bytes of the regular files under source (source itself, when it is one).
std::uint64_t bytesToCopy(const std::string& source);
// Copies source to destination, which must not exist: folders, files chunk by chunk with what the
// platform keeps of them (Linux: modes, links as links; Windows: attributes and times). Never
// writes over anything. Throws Failure naming the file on any failure; destination is then removed
// again, as it is on Cancelled.
CopyResult copyInto(const std::string& source, const std::string& destination,
                    const CopyProgress& progress);

// One clipboard format and its bytes.
struct ClipboardFormat {
    std::string name;
    std::string bytes;
};
// The formats in which the platform's file manager tells a cut from a copy, to go on the clipboard
// beside the files' URLs (uris, each "file://…" as the toolkit encodes it).
std::vector<ClipboardFormat> clipboardCutMarks(const std::vector<std::string>& uris, bool cut);
// Whether the clipboard holds a cut; format gives the bytes of a format, "" when it is absent.
bool clipboardHoldsCut(const std::function<std::string(const std::string& name)>& format);

// The platform shell's own menu for the folder (Windows): shown at the screen point x, y on behalf
// of the window (a native handle), and what came of it. Nothing where the platform has no such
// menu (Linux), and the tree shows its own.
enum class ShellMenuChoice { Nothing, Rename, Done };
std::optional<ShellMenuChoice> showShellMenu(const FolderItem& folder, std::uintptr_t window, int x,
                                             int y);

// Tells when a folder appears, goes or is renamed among what is watched; file changes are not told,
// so that a pack writing into a listed folder refreshes nothing. notice runs on the watch's own
// thread and must only hand the news on.
class FolderWatch {
public:
    explicit FolderWatch(std::function<void()> notice);
    ~FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // The tree is filled or refreshed: every watch is dropped. Windows then watches every fixed,
    // network and RAM drive whole; Linux watches what folderShown names.
    void startOver();
    // A folder whose sub-folders the tree shows. On Windows its drive's watch covers it already.
    void folderShown(const std::string& folder);
    std::size_t watchCount() const;

private:
    class Worker;
    std::unique_ptr<Worker> m_worker;
};

} // namespace vantero
