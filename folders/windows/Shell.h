#pragma once

// What the Windows half of the folder services shares: the system's texts for failures, COM
// pointers, and item-id lists kept as the byte strings a FolderItem holds
// (the list's items without its closing zero).

#include "base/WindowsText.h"

#include <windows.h>

#include <shlobj.h>

#include <string>
#include <utility>
#include <vector>

namespace vantero::shell {

// The system's text for a failure.
std::string errorText(HRESULT result);
std::string lastErrorText();

// A COM interface pointer, released at the end of its life.
template <class Interface> class ComPtr {
public:
    ComPtr() = default;
    ComPtr(ComPtr&& other) noexcept : m_pointer(std::exchange(other.m_pointer, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        std::swap(m_pointer, other.m_pointer);
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { reset(); }

    Interface* operator->() const { return m_pointer; }
    Interface* get() const { return m_pointer; }
    explicit operator bool() const { return m_pointer != nullptr; }
    // For a call that hands out a new pointer.
    Interface** put() {
        reset();
        return &m_pointer;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    void reset() {
        if (m_pointer != nullptr)
            m_pointer->Release();
        m_pointer = nullptr;
    }

private:
    Interface* m_pointer = nullptr;
};

// An item-id list the shell allocated, freed at the end of its life.
class ShellIds {
public:
    ShellIds() = default;
    ShellIds(ShellIds&& other) noexcept : m_list(std::exchange(other.m_list, nullptr)) {}
    ShellIds& operator=(ShellIds&& other) noexcept {
        std::swap(m_list, other.m_list);
        return *this;
    }
    ShellIds(const ShellIds&) = delete;
    ShellIds& operator=(const ShellIds&) = delete;
    ~ShellIds() { CoTaskMemFree(m_list); }
    LPITEMIDLIST get() const { return m_list; }
    LPITEMIDLIST* put() {
        CoTaskMemFree(m_list);
        m_list = nullptr;
        return &m_list;
    }

private:
    LPITEMIDLIST m_list = nullptr;
};

// The bytes of a list's items, without its closing zero.
std::string idBytes(LPCITEMIDLIST list);
// The items of an id, each a list of one.
std::vector<std::string> idItems(const std::string& id);
// An id with its closing zero, to be handed to the shell as a list.
class IdList {
public:
    explicit IdList(const std::string& id) : m_bytes(id + std::string(2, '\0')) {}
    LPCITEMIDLIST get() const { return reinterpret_cast<LPCITEMIDLIST>(m_bytes.data()); }

private:
    std::string m_bytes;
};

// The shell folder of an id (the Desktop for the empty one); empty when it cannot be bound.
ComPtr<IShellFolder> bindFolder(const std::string& id);
std::wstring displayName(IShellFolder* folder, LPCITEMIDLIST child, SHGDNF form);
// The item's file-system path; "" when it has none.
std::wstring pathOf(const std::string& id);

} // namespace vantero::shell
