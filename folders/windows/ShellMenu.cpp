// The shell's own context menu for a folder of the tree, as Explorer shows it: the shell fills it,
// the user picks, and the shell carries the verb out (its copy, paste and delete with their own
// progress and questions). Rename alone comes back to the tree, which renames in place.

#include "folders/FolderServices.h"

#include "base/Failure.h"
#include "folders/windows/Shell.h"

namespace vantero {

using namespace shell;

namespace {

constexpr UINT kFirstCommand = 1;
constexpr UINT kLastCommand = 0x7FFF;
constexpr const wchar_t* kOwnerClass = L"VanteroShellMenuOwner";

// The menu's owner is a hidden window of ours inside the tree's, so that the entries the shell
// draws and fills itself ("Send to", "Open with") get the messages they need.
LRESULT CALLBACK ownerProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* menu = reinterpret_cast<IContextMenu*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    const bool forMenu = message == WM_INITMENUPOPUP || message == WM_DRAWITEM ||
                         message == WM_MEASUREITEM || message == WM_MENUCHAR;
    if (menu != nullptr && forMenu) {
        ComPtr<IContextMenu3> third;
        ComPtr<IContextMenu2> second;
        LRESULT result = 0;
        if (SUCCEEDED(menu->QueryInterface(IID_IContextMenu3, third.putVoid())) &&
            third->HandleMenuMsg2(message, wParam, lParam, &result) == S_OK)
            return result;
        if (message != WM_MENUCHAR &&
            SUCCEEDED(menu->QueryInterface(IID_IContextMenu2, second.putVoid())) &&
            second->HandleMenuMsg(message, wParam, lParam) == S_OK)
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND makeOwner(HWND tree, IContextMenu* menu) {
    static const ATOM ownerClass = [] {
        WNDCLASSW owner{};
        owner.lpfnWndProc = &ownerProcedure;
        owner.hInstance = GetModuleHandleW(nullptr);
        owner.lpszClassName = kOwnerClass;
        return RegisterClassW(&owner);
    }();
    if (ownerClass == 0 || tree == nullptr)
        return tree;
    const HWND owner = CreateWindowExW(0, kOwnerClass, L"", WS_CHILD, 0, 0, 0, 0, tree, nullptr,
                                       GetModuleHandleW(nullptr), nullptr);
    if (owner == nullptr)
        return tree;
    SetWindowLongPtrW(owner, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(menu));
    return owner;
}

} // namespace

std::optional<ShellMenuChoice> showShellMenu(const FolderItem& folder, std::uintptr_t window, int x,
                                             int y) {
    const std::vector<std::string> items = idItems(folder.id);
    if (items.empty())
        return ShellMenuChoice::Nothing; // the Desktop itself has no menu here
    const HWND tree = reinterpret_cast<HWND>(window);
    const std::string parentId = folder.id.substr(0, folder.id.size() - items.back().size());
    const ComPtr<IShellFolder> parent = bindFolder(parentId);
    const IdList child(items.back());
    LPCITEMIDLIST children[] = {child.get()};
    ComPtr<IContextMenu> menu;
    HRESULT result =
        parent ? parent->GetUIObjectOf(tree, 1, children, IID_IContextMenu, nullptr, menu.putVoid())
               : E_FAIL;
    if (FAILED(result))
        throw Failure("Cannot show the menu of " + folder.name, errorText(result));

    struct Popup {
        HMENU menu = CreatePopupMenu();
        HWND owner = nullptr;
        HWND tree = nullptr;
        ~Popup() {
            if (owner != tree)
                DestroyWindow(owner);
            DestroyMenu(menu);
        }
    } popup;
    const UINT rename = folder.canRename ? CMF_CANRENAME : 0;
    result = menu->QueryContextMenu(popup.menu, 0, kFirstCommand, kLastCommand,
                                    CMF_NORMAL | CMF_EXPLORE | rename);
    if (FAILED(result))
        throw Failure("Cannot show the menu of " + folder.name, errorText(result));
    popup.tree = tree;
    popup.owner = makeOwner(tree, menu.get());
    const auto chosen = static_cast<UINT>(
        TrackPopupMenuEx(popup.menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, x, y, popup.owner, nullptr));
    if (chosen < kFirstCommand)
        return ShellMenuChoice::Nothing;
    const UINT command = chosen - kFirstCommand;
    wchar_t verb[64] = {};
    if (SUCCEEDED(menu->GetCommandString(command, GCS_VERBW, nullptr, reinterpret_cast<LPSTR>(verb),
                                         ARRAYSIZE(verb))) &&
        lstrcmpiW(verb, L"rename") == 0)
        return ShellMenuChoice::Rename;

    CMINVOKECOMMANDINFOEX invoke{};
    invoke.cbSize = sizeof invoke;
    invoke.fMask = CMIC_MASK_UNICODE | CMIC_MASK_PTINVOKE;
    invoke.hwnd = tree;
    invoke.lpVerb = MAKEINTRESOURCEA(command);
    invoke.lpVerbW = MAKEINTRESOURCEW(command);
    invoke.nShow = SW_SHOWNORMAL;
    invoke.ptInvoke = {x, y};
    result = menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&invoke));
    // A verb the user cancelled on the shell's own question is no failure.
    if (FAILED(result) && result != HRESULT_FROM_WIN32(ERROR_CANCELLED))
        throw Failure("Cannot carry out the command on " + folder.name, errorText(result));
    return ShellMenuChoice::Done;
}

} // namespace vantero
