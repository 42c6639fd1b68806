// The file layer's system calls on Linux and the other POSIX systems.

#include "tablefiles/FileIo.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace vantero::tablefiles::detail {

void throwIoError(const std::string& what, const std::string& path) {
    const int error = errno;
    throwPackError(what + " " + path + ": " + std::strerror(error));
}

void throwNotFound(const std::string& what, const std::string& path) {
    errno = ENOENT;
    throwIoError(what, path);
}

PathKind kindOf(const std::string& path, bool followLinks) {
    struct stat st {};
    if ((followLinks ? stat(path.c_str(), &st) : lstat(path.c_str(), &st)) != 0)
        return PathKind::Missing;
    if (S_ISREG(st.st_mode))
        return PathKind::File;
    return S_ISDIR(st.st_mode) ? PathKind::Folder : PathKind::Other;
}

void fsyncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throwIoError("cannot open the folder", folder);
    const bool ok = fsync(fd) == 0 || errno == EINVAL; // some file systems cannot sync folders
    close(fd);
    if (!ok)
        throwIoError("cannot flush the folder", folder);
}

void renameFile(const std::string& from, const std::string& to, bool mayBeDone) {
    if (rename(from.c_str(), to.c_str()) != 0 && !(mayBeDone && errno == ENOENT))
        throwIoError("cannot rename " + from + " to", to);
}

void removeFile(const std::string& path) {
    if (unlink(path.c_str()) != 0 && errno != ENOENT)
        throwIoError("cannot remove", path);
}

void removeFileQuietly(const std::string& path) {
    (void)unlink(path.c_str());
}

void requireReplaceable(const std::string& /*path*/) {}

TableLock::TableLock(const std::string& tabPath) {
    m_file = open(tabPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_file < 0)
        throwIoError("cannot open the table", tabPath);
    while (flock(m_file, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        const bool busy = errno == EWOULDBLOCK;
        close(m_file);
        m_file = kNoFile;
        if (busy)
            throwPackError(tabPath + " is being packed by another process");
        throwIoError("cannot lock the table", tabPath);
    }
}

TableLock::~TableLock() {
    if (m_file >= 0)
        close(m_file); // releases the lock
}

PathKind InputFile::openForReading(bool followLinks) {
    // Not blocking, so that a named pipe under a table file's name is found out, not waited on;
    // reading a regular file is not affected.
    m_file =
        ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | (followLinks ? 0 : O_NOFOLLOW));
    if (m_file < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return PathKind::Missing;
        if (errno == ELOOP && !followLinks)
            return PathKind::Other;
        throwIoError("cannot open", m_path);
    }
    struct stat st {};
    const bool known = fstat(m_file, &st) == 0;
    if (!known || !S_ISREG(st.st_mode)) {
        const int error = errno;
        close(std::exchange(m_file, kNoFile));
        errno = error;
        if (!known)
            throwIoError("cannot read the size of", m_path);
        return S_ISDIR(st.st_mode) ? PathKind::Folder : PathKind::Other;
    }
    m_size = static_cast<std::uint64_t>(st.st_size);
    m_mode = st.st_mode & 07777;
    m_owner = st.st_uid;
    m_group = st.st_gid;
    return PathKind::File;
}

InputFile::~InputFile() {
    if (m_file != kNoFile)
        close(m_file);
}

bool InputFile::writable() const {
    return (m_mode & 0222) != 0 && faccessat(AT_FDCWD, m_path.c_str(), W_OK, AT_EACCESS) == 0;
}

void InputFile::readFromFile(std::uint64_t offset, std::uint8_t* into, std::size_t size) const {
    while (size > 0) {
        const ssize_t n = pread(m_file, into, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throwIoError("cannot read", m_path);
        if (n == 0)
            throwPackError(m_path + " became shorter while it was read");
        into += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
}

void OutputFile::create(const InputFile* like) {
    m_file = open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, like ? 0600 : 0644);
    if (m_file < 0)
        throwIoError("cannot create", m_path);
    if (!like)
        return;
    // The new file takes the place of the old one, so it takes its owner and permissions too;
    // the owner can only be given by a privileged process, which is when it matters.
    (void)fchown(m_file, like->m_owner, like->m_group);
    if (fchmod(m_file, like->m_mode) != 0) {
        const int error = errno;
        close(m_file);
        m_file = kNoFile;
        errno = error;
        throwIoError("cannot set the permissions of", m_path);
    }
}

OutputFile::~OutputFile() {
    if (m_file >= 0)
        close(m_file);
}

void OutputFile::writeToFile(std::uint64_t offset, const std::uint8_t* p, std::size_t size) {
    while (size > 0) {
        const ssize_t n = pwrite(m_file, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throwIoError("cannot write", m_path);
        p += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
}

void OutputFile::closeDurably() {
    if (fsync(m_file) != 0)
        throwIoError("cannot flush", m_path);
    const int fd = m_file;
    m_file = kNoFile;
    if (close(fd) != 0)
        throwIoError("cannot close", m_path);
}

} // namespace vantero::tablefiles::detail
