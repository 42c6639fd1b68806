#include "folders/windows/Shell.h"

#include <shlwapi.h>

#include <cstring>
#include <system_error>

namespace vantero::shell {

std::string errorText(HRESULT result) {
    const int code = HRESULT_FACILITY(result) == FACILITY_WIN32 ? HRESULT_CODE(result)
                                                                : static_cast<int>(result);
    return std::system_category().message(code);
}

std::string lastErrorText() {
    return std::system_category().message(static_cast<int>(GetLastError()));
}

std::string idBytes(LPCITEMIDLIST list) {
    std::string bytes;
    for (const auto* at = reinterpret_cast<const unsigned char*>(list); at != nullptr;) {
        USHORT size = 0;
        std::memcpy(&size, at, sizeof size);
        if (size == 0)
            break;
        bytes.append(reinterpret_cast<const char*>(at), size);
        at += size;
    }
    return bytes;
}

std::vector<std::string> idItems(const std::string& id) {
    std::vector<std::string> items;
    for (std::size_t at = 0; at + sizeof(USHORT) <= id.size();) {
        USHORT size = 0;
        std::memcpy(&size, id.data() + at, sizeof size);
        if (size == 0 || at + size > id.size())
            break;
        items.push_back(id.substr(at, size));
        at += size;
    }
    return items;
}

ComPtr<IShellFolder> bindFolder(const std::string& id) {
    ComPtr<IShellFolder> desktop;
    if (FAILED(SHGetDesktopFolder(desktop.put())) || id.empty())
        return desktop;
    ComPtr<IShellFolder> folder;
    if (FAILED(
            desktop->BindToObject(IdList(id).get(), nullptr, IID_IShellFolder, folder.putVoid())))
        folder.reset();
    return folder;
}

std::wstring displayName(IShellFolder* folder, LPCITEMIDLIST child, SHGDNF form) {
    STRRET name{};
    wchar_t text[MAX_PATH * 2] = {};
    if (FAILED(folder->GetDisplayNameOf(child, form, &name)) ||
        FAILED(StrRetToBufW(&name, child, text, ARRAYSIZE(text))))
        return {};
    return text;
}

std::wstring pathOf(const std::string& id) {
    wchar_t buffer[MAX_PATH] = {};
    if (!SHGetPathFromIDListW(IdList(id).get(), buffer))
        return {};
    // A folder's path without a trailing backslash, whatever the shell's folder gives (Wine's
    // Documents has one); a drive's root keeps its own.
    std::wstring path = buffer;
    while (path.size() > 3 && path.back() == L'\\')
        path.pop_back();
    return path;
}

} // namespace vantero::shell
