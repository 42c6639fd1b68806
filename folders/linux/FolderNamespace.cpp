// The namespace on Linux, standing in for the Windows shell's: the root "Desktop" (the user's
// desktop folder) holding "Home", "Computer" (virtual: "/" and the mounted file systems a user
// would look at) and the desktop folder's own sub-folders. Hidden (dot) folders are shown, dimmed.

#include "folders/FolderServices.h"

#include "folders/linux/NameOrder.h"

#include <dirent.h>
#include <mntent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace vantero {
namespace {

// The places' keys: no file name holds a slash.
constexpr const char* kHomeKey = "/home";
constexpr const char* kComputerKey = "/computer";

bool startsWith(const std::string& text, const std::string& start) {
    return text.compare(0, start.size(), start) == 0;
}

bool isFolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string join(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

// The sub-folders of a folder, hidden ones included; links to folders count as folders.
std::vector<std::string> subFolderNames(const std::string& folder, bool firstOnly = false) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr)
        return names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        const bool folderEntry =
            entry->d_type == DT_DIR || ((entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) &&
                                        isFolder(join(folder, name)));
        if (!folderEntry)
            continue;
        names.push_back(name);
        if (firstOnly)
            break;
    }
    closedir(dir);
    return names;
}

bool hasSubFolders(const std::string& folder) {
    return !subFolderNames(folder, true).empty();
}

std::string realPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

// The label the system gives a disk's file system, from its links in /dev/disk/by-label, whose
// names escape bytes as \xHH; "" when it has none.
std::string volumeLabel(const std::string& device) {
    const std::string target = realPath(device);
    DIR* dir = target.empty() ? nullptr : opendir("/dev/disk/by-label");
    if (dir == nullptr)
        return {};
    std::string label;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == ".." || realPath("/dev/disk/by-label/" + name) != target)
            continue;
        for (std::size_t i = 0; i < name.size(); ++i) {
            if (name.compare(i, 2, "\\x") == 0 && i + 4 <= name.size()) {
                label += static_cast<char>(std::strtol(name.substr(i + 2, 2).c_str(), nullptr, 16));
                i += 3;
            } else {
                label += name[i];
            }
        }
        break;
    }
    closedir(dir);
    return label;
}

FolderItem place(const std::string& key, const std::string& name, const std::string& path,
                 FolderKind kind, bool subFolders) {
    FolderItem item;
    item.id = path.empty() ? key : path;
    item.key = key;
    item.name = name;
    item.path = path;
    item.kind = kind;
    item.hasSubFolders = subFolders;
    return item;
}

// Mounted file systems a user would look at: disks, partitions and network shares, not the
// kernel's own, nor the system's start-up partition.
std::vector<FolderItem> userVolumes() {
    std::vector<FolderItem> volumes;
    FILE* mounts = setmntent("/proc/self/mounts", "r");
    if (mounts == nullptr)
        return volumes;
    mntent entry{};
    char buffer[4096];
    while (getmntent_r(mounts, &entry, buffer, sizeof buffer) != nullptr) {
        const std::string root = entry.mnt_dir;
        const std::string device = entry.mnt_fsname;
        const std::string type = entry.mnt_type;
        const bool disk = startsWith(device, "/dev/") && !startsWith(device, "/dev/loop");
        const bool network = startsWith(type, "nfs") || type == "cifs" || type == "smb3" ||
                             startsWith(type, "fuse.sshfs");
        bool special = false;
        for (const char* kernel : {"/dev", "/proc", "/sys", "/var/run", "/var/lock"})
            special = special || root == kernel || startsWith(root, std::string(kernel) + "/");
        struct statvfs size {};
        // A file mounted over another (as containers do with /etc/hosts) is no volume to browse.
        if (root == "/" || startsWith(root, "/boot") || special || (!disk && !network) ||
            statvfs(root.c_str(), &size) != 0 || size.f_blocks == 0 || !isFolder(root))
            continue;
        const std::string label = volumeLabel(device);
        volumes.push_back(place(root, label.empty() ? root : label, root, FolderKind::Drive,
                                hasSubFolders(root)));
    }
    endmntent(mounts);
    return volumes;
}

// The desktop folder as the user's xdg-user-dirs configuration names it, else ~/Desktop.
std::string desktopFolder(const std::string& home) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::ifstream dirs(
        (config != nullptr && *config != '\0' ? std::string(config) : home + "/.config") +
        "/user-dirs.dirs");
    const std::string key = "XDG_DESKTOP_DIR=";
    std::string desktop = home + "/Desktop";
    for (std::string line; std::getline(dirs, line);) {
        if (!startsWith(line, key))
            continue;
        std::string value = line.substr(key.size());
        if (value.size() > 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (startsWith(value, "$HOME"))
            value.replace(0, 5, home);
        if (value.size() > 1 && value.back() == '/')
            value.pop_back();
        desktop = value;
    }
    return desktop;
}

} // namespace

FolderNamespace::Places FolderNamespace::userPlaces() {
    const char* home = std::getenv("HOME");
    Places places;
    places.home = home != nullptr && *home != '\0' ? home : "/";
    places.desktop = desktopFolder(places.home);
    if (places.desktop.empty() || !isFolder(places.desktop))
        places.desktop = places.home;
    return places;
}

FolderItem FolderNamespace::root() const {
    return place({}, "Desktop", m_places.desktop, FolderKind::Desktop, true);
}

std::vector<FolderItem> FolderNamespace::subFolders(const FolderItem& folder) const {
    std::vector<FolderItem> items;
    if (folder.id == kComputerKey) {
        items.push_back(place("/", "/", "/", FolderKind::Drive, true));
        for (FolderItem& volume : userVolumes())
            items.push_back(std::move(volume));
        return items;
    }
    if (folder.kind == FolderKind::Desktop) {
        // The places come first, as a desktop's side bar shows them; then the desktop's folders.
        items.push_back(
            place(kHomeKey, "Home", m_places.home, FolderKind::Home, hasSubFolders(m_places.home)));
        items.push_back(place(kComputerKey, "Computer", {}, FolderKind::Computer, true));
    }
    for (const std::string& name : inNameOrder(subFolderNames(folder.path))) {
        FolderItem item = place(name, name, join(folder.path, name), FolderKind::Folder, false);
        item.hasSubFolders = hasSubFolders(item.path);
        item.hidden = name.front() == '.';
        item.canRename = item.canDelete = item.canCopy = true;
        items.push_back(std::move(item));
    }
    return items;
}

std::optional<std::vector<std::string>> FolderNamespace::keysTo(const std::string& path) const {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path target = fs::canonical(path, error);
    if (error)
        return std::nullopt;
    // The deepest place that holds the folder: the desktop, the home folder, or the file system's
    // root under Computer.
    const std::pair<std::string, std::vector<std::string>> places[] = {
        {m_places.desktop, {}}, {m_places.home, {kHomeKey}}, {"/", {kComputerKey, "/"}}};
    std::optional<std::vector<std::string>> keys;
    std::size_t depth = 0;
    for (const auto& [placePath, placeKeys] : places) {
        const fs::path at = fs::canonical(placePath, error);
        if (error)
            continue;
        const fs::path relative = target.lexically_relative(at);
        const auto parts = static_cast<std::size_t>(std::distance(at.begin(), at.end()));
        if (relative.empty() || *relative.begin() == ".." || (keys && parts <= depth))
            continue;
        keys = placeKeys;
        depth = parts;
        for (const fs::path& name : relative)
            if (name != ".")
                keys->push_back(name.string());
    }
    return keys;
}

} // namespace vantero
