#include "tablefiles/FileIo.h"

#include "tablefiles/PackTable.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vantero::tablefiles::detail {

namespace {

constexpr std::size_t kBufferSize = 1 << 20;
constexpr std::uint64_t kMinStep = 4096;
constexpr std::uint64_t kStepsPerFile = 32;

std::uint64_t stepSize(std::uint64_t likeSize) {
    return std::clamp<std::uint64_t>(likeSize / kStepsPerFile, kMinStep, kBufferSize);
}

} // namespace

void throwPackError(const std::string& message) {
    throw PackError(message);
}

void throwIoError(const std::string& what, const std::string& path) {
    const int error = errno;
    throw PackError(what + " " + path + ": " + std::strerror(error));
}

PathKind kindOf(const std::string& path, bool followLinks) {
    struct stat st {};
    if ((followLinks ? stat(path.c_str(), &st) : lstat(path.c_str(), &st)) != 0)
        return PathKind::Missing;
    if (S_ISREG(st.st_mode))
        return PathKind::File;
    return S_ISDIR(st.st_mode) ? PathKind::Folder : PathKind::Other;
}

bool pathExists(const std::string& path) {
    return kindOf(path) != PathKind::Missing;
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

std::string readSmallFile(const std::string& path, std::uint64_t maxSize) {
    const InputFile file(path);
    if (file.size() > maxSize)
        throwPackError(path + " is too large (" + std::to_string(file.size()) + " bytes)");
    std::string text(static_cast<std::size_t>(file.size()), '\0');
    file.read(0, text.data(), text.size());
    return text;
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

InputFile::InputFile(const std::string& path) : m_path(path) {
    m_fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0)
        throwIoError("cannot open", path);
    struct stat st {};
    if (fstat(m_fd, &st) != 0) {
        const int error = errno;
        close(m_fd);
        errno = error;
        throwIoError("cannot read the size of", path);
    }
    if (S_ISDIR(st.st_mode) || !S_ISREG(st.st_mode)) {
        close(m_fd);
        throwPackError(path + (S_ISDIR(st.st_mode) ? " is a folder" : " is not a regular file"));
    }
    m_size = static_cast<std::uint64_t>(st.st_size);
    m_slots = static_cast<std::size_t>(
        std::clamp<std::uint64_t>((m_size + kPageSize - 1) / kPageSize, 1, kPages));
    m_cached.assign(m_slots, kNone);
    m_mode = st.st_mode & 07777;
    m_owner = st.st_uid;
    m_group = st.st_gid;
}

InputFile::~InputFile() {
    close(m_fd);
}

bool InputFile::writable() const {
    return (m_mode & 0222) != 0 && faccessat(AT_FDCWD, m_path.c_str(), W_OK, AT_EACCESS) == 0;
}

void InputFile::readFromFile(std::uint64_t offset, std::uint8_t* into, std::size_t size) const {
    while (size > 0) {
        const ssize_t n = pread(m_fd, into, size, static_cast<off_t>(offset));
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

void InputFile::load(std::uint64_t page) const {
    if (!m_pages)
        m_pages = std::make_unique_for_overwrite<std::uint8_t[]>(m_slots * kPageSize);
    const std::size_t slot = page % m_slots;
    const std::uint64_t start = page * kPageSize;
    m_cached[slot] = kNone;
    readFromFile(start, m_pages.get() + slot * kPageSize,
                 static_cast<std::size_t>(std::min<std::uint64_t>(kPageSize, m_size - start)));
    m_cached[slot] = page;
}

void InputFile::readMissed(std::uint64_t offset, void* into, std::size_t size) const {
    if (offset > m_size || size > m_size - offset)
        throwPackError(m_path + ": a read of " + std::to_string(size) + " bytes at " +
                       std::to_string(offset) + " runs past the end of the file (" +
                       std::to_string(m_size) + " bytes)");
    auto* out = static_cast<std::uint8_t*>(into);
    if (size >= kPageSize) {
        readFromFile(offset, out, size);
        return;
    }
    while (size > 0) {
        const std::uint64_t page = offset / kPageSize;
        const std::size_t slot = page % m_slots;
        if (m_cached[slot] != page)
            load(page);
        const std::size_t at = static_cast<std::size_t>(offset % kPageSize);
        const std::size_t take = std::min(size, kPageSize - at);
        std::memcpy(out, m_pages.get() + slot * kPageSize + at, take);
        out += take;
        offset += take;
        size -= take;
    }
}

OutputFile::OutputFile(std::string path, const InputFile& like, Progress& progress)
    : m_path(std::move(path)), m_progress(progress), m_stepEvery(stepSize(like.size())),
      m_untilStep(m_stepEvery) {
    m_fd = open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (m_fd < 0)
        throwIoError("cannot create", m_path);
    // The new file takes the place of the old one, so it takes its owner and permissions too;
    // the owner can only be given by a privileged process, which is when it matters.
    (void)fchown(m_fd, like.m_owner, like.m_group);
    if (fchmod(m_fd, like.m_mode) != 0) {
        const int error = errno;
        close(m_fd);
        m_fd = -1;
        errno = error;
        throwIoError("cannot set the permissions of", m_path);
    }
    m_buffer.reserve(kBufferSize);
}

OutputFile::OutputFile(std::string path, mode_t mode, Progress& progress)
    : m_path(std::move(path)), m_progress(progress), m_stepEvery(kBufferSize),
      m_untilStep(m_stepEvery) {
    m_fd = open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (m_fd < 0)
        throwIoError("cannot create", m_path);
    m_buffer.reserve(kBufferSize);
}

OutputFile::OutputFile(Progress& progress)
    : m_path("(measured only)"), m_progress(progress), m_stepEvery(kBufferSize),
      m_untilStep(m_stepEvery) {
    m_buffer.reserve(kBufferSize);
}

OutputFile::~OutputFile() {
    if (m_fd >= 0)
        close(m_fd);
}

void OutputFile::write(const void* bytes, std::size_t size) {
    append(static_cast<const std::uint8_t*>(bytes), size);
}

void OutputFile::writeZeros(std::size_t size) {
    append(nullptr, size);
}

void OutputFile::append(const std::uint8_t* p, std::size_t size) {
    while (size > 0) {
        if (m_buffer.size() == kBufferSize)
            flush();
        const std::size_t take = static_cast<std::size_t>(
            std::min<std::uint64_t>({size, kBufferSize - m_buffer.size(), m_untilStep}));
        if (p) {
            m_buffer.insert(m_buffer.end(), p, p + take);
            p += take;
        } else {
            m_buffer.resize(m_buffer.size() + take, 0);
        }
        size -= take;
        m_untilStep -= take;
        if (m_untilStep == 0) {
            m_untilStep = m_stepEvery;
            m_progress.step();
        }
    }
}

void OutputFile::writeAt(std::uint64_t offset, const void* bytes, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    // The part still in the buffer is patched there; the rest goes to the file.
    while (size > 0 && offset < m_flushed) {
        if (m_fd < 0) { // measured only: the bytes are gone already
            const std::uint64_t skip = std::min<std::uint64_t>(size, m_flushed - offset);
            p += skip;
            size -= static_cast<std::size_t>(skip);
            offset += skip;
            continue;
        }
        const std::size_t take =
            static_cast<std::size_t>(std::min<std::uint64_t>(size, m_flushed - offset));
        const ssize_t n = pwrite(m_fd, p, take, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throwIoError("cannot write", m_path);
        p += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    if (size > 0) {
        if (offset + size > this->size())
            throwPackError("internal error: patch beyond the end of " + m_path);
        std::memcpy(m_buffer.data() + (offset - m_flushed), p, size);
    }
}

void OutputFile::flush() {
    std::size_t done = m_fd < 0 ? m_buffer.size() : 0;
    while (done < m_buffer.size()) {
        const ssize_t n = ::write(m_fd, m_buffer.data() + done, m_buffer.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throwIoError("cannot write", m_path);
        done += static_cast<std::size_t>(n);
    }
    m_flushed += m_buffer.size();
    m_buffer.clear();
}

void OutputFile::finish() {
    flush();
    if (m_fd < 0)
        return;
    if (fsync(m_fd) != 0)
        throwIoError("cannot flush", m_path);
    const int fd = m_fd;
    m_fd = -1;
    if (close(fd) != 0)
        throwIoError("cannot close", m_path);
    m_progress.step();
}

} // namespace vantero::tablefiles::detail
