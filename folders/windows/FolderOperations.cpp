// The verbs on folders on Windows: rename in place without replacing (MoveFileExW), the Recycle
// Bin and delete for good through the shell's own delete, put into a folder, open in Explorer, and
// the mark Explorer puts beside the files on the clipboard.

#include "folders/FolderServices.h"

#include "base/Failure.h"
#include "folders/windows/Shell.h"

#include <cstring>
#include <cwctype>

namespace vantero {

using namespace shell;

namespace {

// The item's path as the shell has it, which keeps names outside the ANSI code page; the path the
// tree holds when the shell has none.
std::wstring widePath(const FolderItem& folder) {
    std::wstring path = folder.id.empty() ? std::wstring() : pathOf(folder.id);
    return path.empty() ? fromAnsi(folder.path) : path;
}

// The shell's delete, with its progress for a long one, and no question of its own: the tree has
// asked. False when the user declined a question that the shell still asks.
bool shellDelete(const std::wstring& path, FILEOP_FLAGS flags, const std::string& failure) {
    // The list of paths ends with an empty one.
    const std::wstring from = path + L'\0';
    SHFILEOPSTRUCTW operation{};
    operation.hwnd = GetActiveWindow();
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = static_cast<FILEOP_FLAGS>(flags | FOF_NOCONFIRMATION | FOF_NOERRORUI);
    const int result = SHFileOperationW(&operation);
    if (result != 0)
        throw Failure(failure, "the shell's delete failed with code " + std::to_string(result));
    return operation.fAnyOperationsAborted == FALSE;
}

std::wstring fullPath(const std::wstring& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    full.resize(GetFullPathNameW(path.c_str(), size, full.data(), nullptr));
    while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/'))
        full.pop_back();
    return full;
}

// Names on Windows are the same whatever their case.
bool startsWithAnyCase(const std::wstring& text, const std::wstring& start) {
    return text.size() >= start.size() &&
           CompareStringOrdinal(text.data(), static_cast<int>(start.size()), start.data(),
                                static_cast<int>(start.size()), TRUE) == CSTR_EQUAL;
}

} // namespace

FolderItem renameFolder(const FolderItem& folder, const std::string& newName) {
    if (newName.empty() || newName == "." || newName == ".." ||
        newName.find_first_of("\\/:*?\"<>|") != std::string::npos)
        throw Failure("A folder name cannot be empty or contain any of \\ / : * ? \" < > |");
    const std::wstring from = widePath(folder);
    const std::wstring name = fromUtf8(newName);
    const std::wstring to = from.substr(0, from.find_last_of(L"\\/") + 1) + name;
    // Without MOVEFILE_REPLACE_EXISTING: never over another folder or file of that name.
    if (!MoveFileExW(from.c_str(), to.c_str(), 0)) {
        const std::string reason = lastErrorText();
        throw Failure("Cannot rename " + folder.path + ": " + reason, reason);
    }
    FolderItem renamed = folder;
    renamed.path = toAnsi(to);
    renamed.key = renamed.name = newName;
    // The new name's item in the same folder, so that the ids of the folders inside still begin
    // with the folder's.
    const std::vector<std::string> items = idItems(folder.id);
    if (items.empty())
        return renamed;
    const std::string parentId = folder.id.substr(0, folder.id.size() - items.back().size());
    const ComPtr<IShellFolder> parent = bindFolder(parentId);
    ShellIds child;
    std::wstring parsed = name;
    if (parent && SUCCEEDED(parent->ParseDisplayName(nullptr, nullptr, parsed.data(), nullptr,
                                                     child.put(), nullptr))) {
        renamed.id = parentId + idBytes(child.get());
        renamed.key =
            toUtf8(displayName(parent.get(), child.get(), SHGDN_INFOLDER | SHGDN_FORPARSING));
        renamed.name =
            toUtf8(displayName(parent.get(), child.get(), SHGDN_INFOLDER | SHGDN_NORMAL));
    }
    return renamed;
}

void moveToTrash(const FolderItem& folder) {
    // With FOF_WANTNUKEWARNING the shell still asks before it deletes for good what the Recycle
    // Bin cannot take (too big, or on a network drive): the user agreed to a recycling only.
    shellDelete(widePath(folder), FOF_ALLOWUNDO | FOF_WANTNUKEWARNING,
                "Cannot move " + folder.path + " to the Recycle Bin");
}

void deleteForGood(const std::string& path) {
    shellDelete(fromAnsi(path), 0, "Cannot delete " + path);
}

void openInFileManager(const FolderItem& folder) {
    const IdList list(folder.id);
    SHELLEXECUTEINFOW open{};
    open.cbSize = sizeof open;
    open.fMask = SEE_MASK_IDLIST;
    open.hwnd = GetActiveWindow();
    open.lpVerb = L"open";
    open.lpIDList = const_cast<ITEMIDLIST*>(list.get());
    open.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&open))
        throw Failure("Cannot open " + folder.path, lastErrorText());
}

std::string destinationIn(const std::string& source, const std::string& folder) {
    const std::wstring from = fullPath(fromAnsi(source));
    const std::wstring into = fullPath(fromAnsi(folder));
    std::wstring destination = into;
    if (destination.back() != L'\\')
        destination += L'\\';
    const std::wstring name = from.substr(from.find_last_of(L"\\/") + 1);
    if (startsWithAnyCase(destination, from + L'\\'))
        throw Failure("Cannot put " + source + " inside itself");
    destination += name;
    if (GetFileAttributesW(destination.c_str()) != INVALID_FILE_ATTRIBUTES)
        throw Failure("Cannot paste " + source + ": " + toAnsi(destination) + " exists already");
    return toAnsi(destination);
}

bool moveWithoutReplacing(const std::string& source, const std::string& destination) {
    return MoveFileExW(fromAnsi(source).c_str(), fromAnsi(destination).c_str(), 0) != 0;
}

std::vector<ClipboardFormat> clipboardCutMarks(const std::vector<std::string>&, bool cut) {
    // Explorer's own mark beside the list of files (CF_HDROP): a move for a cut, else a copy.
    const DWORD effect = cut ? DROPEFFECT_MOVE : DROPEFFECT_COPY | DROPEFFECT_LINK;
    std::string bytes(sizeof effect, '\0');
    std::memcpy(bytes.data(), &effect, sizeof effect);
    return {{"Preferred DropEffect", bytes}};
}

bool clipboardHoldsCut(const std::function<std::string(const std::string& name)>& format) {
    const std::string bytes = format("Preferred DropEffect");
    DWORD effect = 0;
    if (bytes.size() < sizeof effect)
        return false;
    std::memcpy(&effect, bytes.data(), sizeof effect);
    return (effect & DROPEFFECT_MOVE) != 0;
}

} // namespace vantero
