// The namespace on Windows is the shell's own, from the Desktop down, as Explorer's folder pane
// shows it: This PC with its drives, the user's folders, the network, the desktop's folders;
// display names, attributes and order as the shell gives them.

#include "folders/FolderServices.h"

#include "base/Failure.h"
#include "folders/windows/Shell.h"

#include <algorithm>

namespace vantero {

using namespace shell;

namespace {

constexpr SHCONTF kFoldersOnly = SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN;
constexpr SFGAOF kAttributes = SFGAO_HASSUBFOLDER | SFGAO_GHOSTED | SFGAO_HIDDEN | SFGAO_CANRENAME |
                               SFGAO_CANDELETE | SFGAO_CANCOPY | SFGAO_FILESYSTEM | SFGAO_STREAM;

bool isDriveRoot(const std::string& path) {
    return path.size() == 3 && path[1] == ':' && path[2] == '\\';
}

// Whether path names a folder straight inside the folder at parent.
bool isInside(const std::string& path, const std::string& parent) {
    const std::size_t slash = path.find_last_of('\\');
    const std::string folder = path.substr(0, slash == 2 ? 3 : slash);
    return slash != std::string::npos && lstrcmpiA(folder.c_str(), parent.c_str()) == 0;
}

// The child's item, or nothing for a file that the shell lists as a folder (a .zip), which
// Explorer's folder pane leaves out as well.
std::optional<FolderItem> itemIn(IShellFolder* folder, const FolderItem& parent,
                                 LPCITEMIDLIST child) {
    SFGAOF attributes = kAttributes;
    const HRESULT result = folder->GetAttributesOf(1, &child, &attributes);
    if (FAILED(result))
        throw Failure("Cannot read the folder " +
                          toAnsi(displayName(folder, child, SHGDN_NORMAL | SHGDN_INFOLDER)),
                      errorText(result));
    if ((attributes & SFGAO_STREAM) != 0)
        return std::nullopt;
    FolderItem item;
    item.id = parent.id + idBytes(child);
    item.key = toUtf8(displayName(folder, child, SHGDN_INFOLDER | SHGDN_FORPARSING));
    item.name = toUtf8(displayName(folder, child, SHGDN_INFOLDER | SHGDN_NORMAL));
    if ((attributes & SFGAO_FILESYSTEM) != 0)
        item.path = toAnsi(pathOf(item.id));
    item.kind = item.path.empty()        ? FolderKind::Computer
                : isDriveRoot(item.path) ? FolderKind::Drive
                                         : FolderKind::Folder;
    item.hasSubFolders = (attributes & SFGAO_HASSUBFOLDER) != 0;
    item.hidden = (attributes & (SFGAO_GHOSTED | SFGAO_HIDDEN)) != 0;
    // The verbs go through file-system paths: folders straight inside the folder shown above
    // them only, not drives, nor the user's own folders that the shell shows elsewhere (Documents
    // on the Desktop, under This PC), which Windows finds by their paths.
    const bool folderOnDisk = item.kind == FolderKind::Folder && isInside(item.path, parent.path);
    item.canRename = folderOnDisk && (attributes & SFGAO_CANRENAME) != 0;
    item.canDelete = folderOnDisk && (attributes & SFGAO_CANDELETE) != 0;
    item.canCopy = folderOnDisk && (attributes & SFGAO_CANCOPY) != 0;
    return item;
}

} // namespace

FolderNamespace::Places FolderNamespace::userPlaces() {
    return {};
}

FolderItem FolderNamespace::root() const {
    FolderItem item;
    item.kind = FolderKind::Desktop;
    item.hasSubFolders = true;
    if (const ComPtr<IShellFolder> desktop = bindFolder({}))
        item.name = toUtf8(displayName(desktop.get(), IdList({}).get(), SHGDN_NORMAL));
    if (item.name.empty())
        item.name = "Desktop";
    item.path = toAnsi(pathOf({}));
    return item;
}

std::vector<FolderItem> FolderNamespace::subFolders(const FolderItem& folder) const {
    const ComPtr<IShellFolder> shellFolder = bindFolder(folder.id);
    ComPtr<IEnumIDList> children;
    // The shell may ask something first (a drive without its disk), over the active window.
    if (!shellFolder ||
        shellFolder->EnumObjects(GetActiveWindow(), kFoldersOnly, children.put()) != S_OK ||
        !children)
        return {};
    std::vector<ShellIds> lists;
    for (ShellIds child; children->Next(1, child.put(), nullptr) == S_OK;)
        lists.push_back(std::move(child));
    // The shell's order: the folder's own comparison of its items, by name.
    std::stable_sort(lists.begin(), lists.end(), [&](const ShellIds& a, const ShellIds& b) {
        const HRESULT order = shellFolder->CompareIDs(0, a.get(), b.get());
        return SUCCEEDED(order) && static_cast<short>(HRESULT_CODE(order)) < 0;
    });
    std::vector<FolderItem> items;
    for (const ShellIds& child : lists)
        if (std::optional<FolderItem> item = itemIn(shellFolder.get(), folder, child.get()))
            items.push_back(std::move(*item));
    return items;
}

std::optional<std::vector<std::string>> FolderNamespace::keysTo(const std::string& path) const {
    ShellIds absolute;
    if (FAILED(SHParseDisplayName(fromAnsi(path).c_str(), nullptr, absolute.put(), 0, nullptr)))
        return std::nullopt;
    std::vector<std::string> keys;
    std::string parentId;
    for (const std::string& child : idItems(idBytes(absolute.get()))) {
        const ComPtr<IShellFolder> parent = bindFolder(parentId);
        if (!parent)
            return std::nullopt;
        keys.push_back(toUtf8(
            displayName(parent.get(), IdList(child).get(), SHGDN_INFOLDER | SHGDN_FORPARSING)));
        parentId += child;
    }
    return keys;
}

} // namespace vantero
