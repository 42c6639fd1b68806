// The file layer's system calls on Windows. Paths are the program's byte strings in the ANSI code
// page, so they go to the A functions, as the table list's own search does.
//
// Every handle the layer opens shares reading, writing and deletion with others, as a POSIX
// descriptor does; Windows still refuses to rename over a file while any handle to it is open, so
// the pack closes its own before the swap and checks beforehand that no one else holds the files.

#include "tablefiles/FileIo.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <utility>

namespace vantero::tablefiles::detail {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// ReadFile and WriteFile take a DWORD count; larger transfers go in pieces.
constexpr std::size_t kMaxTransfer = 1u << 30;
// The byte of the .tab that the table's lock covers. Windows' locks are mandatory, so it lies far
// past the end of any .tab, where it keeps no one from reading the file.
constexpr std::uint64_t kLockOffset = std::uint64_t{1} << 62;

HANDLE handleOf(NativeFile file) {
    return static_cast<HANDLE>(file);
}

// The handle, or none for INVALID_HANDLE_VALUE, which is what CreateFileA returns on failure.
NativeFile fileOf(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? kNoFile : static_cast<NativeFile>(handle);
}

OVERLAPPED at(std::uint64_t offset) {
    OVERLAPPED overlapped{};
    overlapped.Offset = static_cast<DWORD>(offset);
    overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return overlapped;
}

// The system's words for an error, without the full stop and line break it ends them with.
std::string systemText(DWORD error) {
    char text[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' ||
                          text[length - 1] == ' ' || text[length - 1] == '.'))
        --length;
    if (length == 0)
        return "Windows error " + std::to_string(error);
    return std::string(text, length);
}

[[noreturn]] void throwWindowsError(const std::string& what, const std::string& path, DWORD error) {
    throwPackError(what + " " + path + ": " + systemText(error));
}

// Whether the reparse point at path names another path, as links and junctions do.
bool isLink(const std::string& path) {
    WIN32_FIND_DATAA entry{};
    const HANDLE search = FindFirstFileA(path.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return true; // not known to be a plain file: not replaced
    FindClose(search);
    return IsReparseTagNameSurrogate(entry.dwReserved0);
}

bool isMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

} // namespace

void throwIoError(const std::string& what, const std::string& path) {
    throwWindowsError(what, path, GetLastError());
}

void throwNotFound(const std::string& what, const std::string& path) {
    throwWindowsError(what, path, ERROR_FILE_NOT_FOUND);
}

PathKind kindOf(const std::string& path, bool followLinks) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return PathKind::Missing;
    // A symbolic link or a junction is Other, as a link is elsewhere, unless it is followed to what
    // it names. Other reparse points, such as OneDrive's files kept online or deduplicated files,
    // are files like any other.
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && isLink(path)) {
        if (!followLinks)
            return PathKind::Other;
        const HANDLE handle = CreateFileA(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return PathKind::Missing;
        BY_HANDLE_FILE_INFORMATION information{};
        const bool known = GetFileInformationByHandle(handle, &information) != FALSE;
        CloseHandle(handle);
        if (!known)
            return PathKind::Missing;
        attributes = information.dwFileAttributes;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return PathKind::Folder;
    return (attributes & FILE_ATTRIBUTE_DEVICE) != 0 ? PathKind::Other : PathKind::File;
}

// Windows has no flush of a folder: NTFS journals its own metadata, and each rename that matters
// is made with MOVEFILE_WRITE_THROUGH, which returns only once the rename is on the disk.
void fsyncFolder(const std::string& /*folder*/) {}

void renameFile(const std::string& from, const std::string& to, bool mayBeDone) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ==
        FALSE) {
        const DWORD error = GetLastError();
        if (!(mayBeDone && error == ERROR_FILE_NOT_FOUND))
            throwWindowsError("cannot rename " + from + " to", to, error);
    }
}

void removeFile(const std::string& path) {
    if (DeleteFileA(path.c_str()) == FALSE && !isMissing(GetLastError()))
        throwIoError("cannot remove", path);
}

void removeFileQuietly(const std::string& path) {
    (void)DeleteFileA(path.c_str());
}

// Opening the file for deletion and for ourselves alone fails just when a rename over it would:
// another program holds it open, or its permissions keep us from replacing it.
void requireReplaceable(const std::string& path) {
    const HANDLE handle = CreateFileA(path.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return;
    }
    if (GetLastError() == ERROR_SHARING_VIOLATION)
        throwPackError(path + " is open in another program; its table is not packed");
    throwIoError("cannot replace", path);
}

TableLock::TableLock(const std::string& tabPath) {
    m_file = fileOf(CreateFileA(tabPath.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (m_file == kNoFile)
        throwIoError("cannot open the table", tabPath);
    // A lock belongs to the handle, so a second pack of the table in this process is refused too.
    OVERLAPPED where = at(kLockOffset);
    if (LockFileEx(handleOf(m_file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                   &where) == FALSE) {
        const DWORD error = GetLastError();
        CloseHandle(handleOf(m_file));
        m_file = kNoFile;
        if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING)
            throwPackError(tabPath + " is being packed by another process");
        throwWindowsError("cannot lock the table", tabPath, error);
    }
}

TableLock::~TableLock() {
    if (m_file == kNoFile)
        return;
    // Unlocked first: Windows releases the locks of a closed handle only in its own time.
    OVERLAPPED where = at(kLockOffset);
    UnlockFileEx(handleOf(m_file), 0, 1, 0, &where);
    CloseHandle(handleOf(m_file));
}

PathKind InputFile::openForReading(bool followLinks) {
    // Opening a link itself would also open the reparse points that are plain files (OneDrive's,
    // deduplicated ones) as the points rather than the files, so links are looked for first.
    if (!followLinks) {
        const PathKind kind = kindOf(m_path);
        if (kind != PathKind::File)
            return kind;
    }
    m_file = fileOf(CreateFileA(m_path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (m_file == kNoFile) {
        const DWORD error = GetLastError();
        if (isMissing(error))
            return PathKind::Missing;
        if (kindOf(m_path, true) == PathKind::Folder)
            return PathKind::Folder;
        throwWindowsError("cannot open", m_path, error);
    }
    if (GetFileType(handleOf(m_file)) != FILE_TYPE_DISK) {
        CloseHandle(handleOf(std::exchange(m_file, kNoFile)));
        return PathKind::Other;
    }
    LARGE_INTEGER size{};
    if (GetFileSizeEx(handleOf(m_file), &size) == FALSE) {
        const DWORD error = GetLastError();
        CloseHandle(handleOf(std::exchange(m_file, kNoFile)));
        throwWindowsError("cannot read the size of", m_path, error);
    }
    m_size = static_cast<std::uint64_t>(size.QuadPart);
    return PathKind::File;
}

InputFile::~InputFile() {
    if (m_file != kNoFile)
        CloseHandle(handleOf(m_file));
}

// The read-only attribute is what Windows has for a file its owner does not want changed. Whether
// the permissions let this process replace the file is found out before the swap begins.
bool InputFile::writable() const {
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileInformationByHandle(handleOf(m_file), &information) == FALSE)
        return false;
    return (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY) == 0;
}

void InputFile::readFromFile(std::uint64_t offset, std::uint8_t* into, std::size_t size) const {
    while (size > 0) {
        OVERLAPPED where = at(offset);
        DWORD n = 0;
        if (ReadFile(handleOf(m_file), into, static_cast<DWORD>(std::min(size, kMaxTransfer)), &n,
                     &where) == FALSE &&
            GetLastError() != ERROR_HANDLE_EOF)
            throwIoError("cannot read", m_path);
        if (n == 0)
            throwPackError(m_path + " became shorter while it was read");
        into += n;
        size -= n;
        offset += n;
    }
}

// Owners and permission bits have no counterpart to copy: a new file takes the access rules its
// folder passes on, as the old file did, and the read-only attribute refuses a pack beforehand.
void OutputFile::create(const InputFile* /*like*/) {
    m_file = fileOf(CreateFileA(m_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (m_file == kNoFile)
        throwIoError("cannot create", m_path);
}

OutputFile::~OutputFile() {
    if (m_file != kNoFile)
        CloseHandle(handleOf(m_file));
}

void OutputFile::writeToFile(std::uint64_t offset, const std::uint8_t* p, std::size_t size) {
    while (size > 0) {
        OVERLAPPED where = at(offset);
        DWORD n = 0;
        if (WriteFile(handleOf(m_file), p, static_cast<DWORD>(std::min(size, kMaxTransfer)), &n,
                      &where) == FALSE)
            throwIoError("cannot write", m_path);
        if (n == 0)
            throwPackError("cannot write " + m_path + ": nothing was written");
        p += n;
        size -= n;
        offset += n;
    }
}

void OutputFile::closeDurably() {
    if (FlushFileBuffers(handleOf(m_file)) == FALSE)
        throwIoError("cannot flush", m_path);
    const HANDLE handle = handleOf(m_file);
    m_file = kNoFile;
    if (CloseHandle(handle) == FALSE)
        throwIoError("cannot close", m_path);
}

} // namespace vantero::tablefiles::detail
