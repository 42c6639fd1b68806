// The copy behind the tree's paste and drop on Windows: files by chunks, so that a long copy can
// show how far it is and be cancelled, keeping their times and attributes as the system's own copy
// does; folders with their attributes. A link to a folder is not followed.

#include "folders/FolderServices.h"

#include "base/Failure.h"
#include "folders/windows/Shell.h"

#include <utility>
#include <vector>

namespace vantero {

using namespace shell;

namespace {

constexpr DWORD kChunk = 1 << 20;
// What a copy keeps of a file's or folder's attributes.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

[[noreturn]] void fail(const std::string& what, const std::wstring& path) {
    throw Failure("Cannot copy " + toAnsi(path) + ": " + what, what);
}

class Handle {
public:
    explicit Handle(HANDLE handle) : m_handle(handle) {}
    ~Handle() {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return m_handle; }
    bool valid() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE release() { return std::exchange(m_handle, INVALID_HANDLE_VALUE); }

private:
    HANDLE m_handle;
};

// The names in a folder, without "." and "..".
std::vector<WIN32_FIND_DATAW> entriesOf(const std::wstring& folder) {
    std::vector<WIN32_FIND_DATAW> entries;
    WIN32_FIND_DATAW entry{};
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        if (GetLastError() != ERROR_FILE_NOT_FOUND)
            fail(lastErrorText(), folder);
        return entries;
    }
    do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..")
            entries.push_back(entry);
    } while (FindNextFileW(search, &entry));
    const DWORD error = GetLastError();
    FindClose(search);
    if (error != ERROR_NO_MORE_FILES)
        fail(lastErrorText(), folder);
    return entries;
}

bool isFolderLink(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

class Copier {
public:
    Copier(std::uint64_t total, const CopyProgress& progress, std::wstring destination)
        : m_total(total), m_progress(progress), m_destination(std::move(destination)),
          m_buffer(kChunk) {}

    // False when the user cancelled.
    bool copy(const std::wstring& from, const std::wstring& to) {
        const DWORD attributes = GetFileAttributesW(from.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            fail(lastErrorText(), from);
        // A junction or a link to a folder may lead back into what is being copied.
        if (isFolderLink(attributes))
            fail("it is a link to a folder", from);
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            return copyFile(from, to);
        if (!CreateDirectoryW(to.c_str(), nullptr))
            fail(lastErrorText(), to);
        created(to);
        for (const WIN32_FIND_DATAW& entry : entriesOf(from))
            if (!copy(from + L"\\" + entry.cFileName, to + L"\\" + entry.cFileName))
                return false;
        if ((attributes & kKeptAttributes) != 0)
            SetFileAttributesW(to.c_str(), attributes & kKeptAttributes);
        return true;
    }

    // Whether anything of the copy exists, so that only what it made is ever removed.
    bool createdDestination() const { return m_createdDestination; }

private:
    void created(const std::wstring& path) {
        if (path == m_destination)
            m_createdDestination = true;
    }

    bool copyFile(const std::wstring& from, const std::wstring& to) {
        const Handle in(CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!in.valid())
            fail(lastErrorText(), from);
        // CREATE_NEW: a name that turned up meanwhile is not written over.
        Handle out(CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out.valid())
            fail(lastErrorText(), to);
        created(to);
        for (;;) {
            DWORD got = 0;
            if (!ReadFile(in.get(), m_buffer.data(), kChunk, &got, nullptr))
                fail(lastErrorText(), from);
            if (got == 0)
                break;
            DWORD put = 0;
            if (!WriteFile(out.get(), m_buffer.data(), got, &put, nullptr) || put != got)
                fail(lastErrorText(), to);
            m_done += got;
            if (m_progress && !m_progress(m_done, m_total))
                return false;
        }
        FILETIME made{};
        FILETIME read{};
        FILETIME written{};
        if (GetFileTime(in.get(), &made, &read, &written))
            SetFileTime(out.get(), &made, &read, &written);
        BY_HANDLE_FILE_INFORMATION information{};
        const DWORD attributes = GetFileInformationByHandle(in.get(), &information)
                                     ? information.dwFileAttributes & kKeptAttributes
                                     : 0;
        if (!CloseHandle(out.release()))
            fail(lastErrorText(), to);
        if (attributes != 0)
            SetFileAttributesW(to.c_str(), attributes);
        return true;
    }

    std::uint64_t m_total;
    std::uint64_t m_done = 0;
    const CopyProgress& m_progress;
    std::wstring m_destination;
    std::vector<char> m_buffer;
    bool m_createdDestination = false;
};

void removeQuietly(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    // What the copy made read-only must be opened up before it can go.
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        DeleteFileW(path.c_str());
        return;
    }
    try {
        for (const WIN32_FIND_DATAW& entry : entriesOf(path))
            removeQuietly(path + L"\\" + entry.cFileName);
    } catch (const Failure&) {
        // What cannot be listed cannot be removed either; the folder stays.
    }
    RemoveDirectoryW(path.c_str());
}

std::uint64_t bytesIn(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || isFolderLink(attributes))
        return 0;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
            return 0;
        return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
    std::uint64_t total = 0;
    try {
        for (const WIN32_FIND_DATAW& entry : entriesOf(path))
            total += bytesIn(path + L"\\" + entry.cFileName);
    } catch (const Failure&) {
        // Only a guess for the progress: the copy itself says what it cannot read.
    }
    return total;
}

} // namespace

std::uint64_t bytesToCopy(const std::string& source) {
    return bytesIn(fromAnsi(source));
}

CopyResult copyInto(const std::string& source, const std::string& destination,
                    const CopyProgress& progress) {
    const std::wstring from = fromAnsi(source);
    const std::wstring to = fromAnsi(destination);
    if (GetFileAttributesW(to.c_str()) != INVALID_FILE_ATTRIBUTES)
        fail(destination + " exists already", from);
    Copier copier(bytesIn(from), progress, to);
    bool finished = false;
    try {
        finished = copier.copy(from, to);
    } catch (...) {
        if (copier.createdDestination())
            removeQuietly(to);
        throw;
    }
    if (!finished) {
        removeQuietly(to);
        return CopyResult::Cancelled;
    }
    return CopyResult::Done;
}

} // namespace vantero
