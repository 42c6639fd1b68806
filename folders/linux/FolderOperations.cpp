// The verbs on folders on Linux: rename without replacing, delete for good, put into a folder, open
// in the desktop's file manager, and the clipboard formats GNOME's and KDE's file managers use.

#include "folders/FolderServices.h"

#include "base/Failure.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

namespace vantero {

namespace fs = std::filesystem;

FolderItem renameFolder(const FolderItem& folder, const std::string& newName) {
    if (newName.empty() || newName == "." || newName == ".." ||
        newName.find('/') != std::string::npos)
        throw Failure("A folder name cannot be empty or contain /");
    const std::string& from = folder.path;
    const std::string parent = from.substr(0, from.rfind('/'));
    const std::string to = parent + "/" + newName;
    // Never over another folder or file of that name.
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
        const std::string reason = systemErrorText(errno);
        throw Failure("Cannot rename " + from + ": " + reason, reason);
    }
    FolderItem renamed = folder;
    renamed.id = renamed.path = to;
    renamed.key = renamed.name = newName;
    renamed.hidden = newName.front() == '.';
    return renamed;
}

void deleteForGood(const std::string& path) {
    std::error_code error;
    fs::remove_all(path, error);
    if (error)
        throw Failure("Cannot delete " + path + ": " + error.message(), error.message());
}

void openInFileManager(const FolderItem& folder) {
    // xdg-open hands the folder to the desktop's own file manager. The program is started from a
    // child that ends at once, so that no child of ours is left unreaped.
    const pid_t child = fork();
    if (child < 0)
        throw Failure("Cannot open " + folder.path, systemErrorText(errno));
    if (child == 0) {
        if (fork() == 0) {
            execlp("xdg-open", "xdg-open", folder.path.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        _exit(0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

std::string destinationIn(const std::string& source, const std::string& folder) {
    const fs::path destination = fs::path(folder) / fs::path(source).filename();
    const std::string sourceText = fs::weakly_canonical(source).string();
    const std::string folderText = fs::weakly_canonical(folder).string() + "/";
    if (folderText.rfind(sourceText + "/", 0) == 0)
        throw Failure("Cannot put " + source + " inside itself");
    std::error_code error;
    if (fs::exists(fs::symlink_status(destination, error)))
        throw Failure("Cannot paste " + source + ": " + destination.string() + " exists already");
    return destination.string();
}

bool moveWithoutReplacing(const std::string& source, const std::string& destination) {
    return renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) ==
           0;
}

std::vector<ClipboardFormat> clipboardCutMarks(const std::vector<std::string>& uris, bool cut) {
    std::string gnome = cut ? "cut" : "copy";
    for (const std::string& uri : uris)
        gnome += "\n" + uri;
    return {{"x-special/gnome-copied-files", gnome},
            {"application/x-kde-cutselection", cut ? "1" : "0"}};
}

bool clipboardHoldsCut(const std::function<std::string(const std::string& name)>& format) {
    return format("x-special/gnome-copied-files").rfind("cut", 0) == 0 ||
           format("application/x-kde-cutselection") == "1";
}

std::optional<ShellMenuChoice> showShellMenu(const FolderItem&, std::uintptr_t, int, int) {
    return std::nullopt;
}

} // namespace vantero
