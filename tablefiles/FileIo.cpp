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

std::uint64_t StepSize(std::uint64_t likeSize) {
    return std::clamp<std::uint64_t>(likeSize / kStepsPerFile, kMinStep, kBufferSize);
}

} // namespace

void ThrowPackError(const std::string& message) {
    throw PackError(message);
}

void ThrowIoError(const std::string& what, const std::string& path) {
    const int error = errno;
    throw PackError(what + " " + path + ": " + std::strerror(error));
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string FileNameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

PathKind KindOf(const std::string& path, bool followLinks) {
    struct stat st {};
    if ((followLinks ? stat(path.c_str(), &st) : lstat(path.c_str(), &st)) != 0)
        return PathKind::Missing;
    if (S_ISREG(st.st_mode))
        return PathKind::File;
    return S_ISDIR(st.st_mode) ? PathKind::Folder : PathKind::Other;
}

bool PathExists(const std::string& path) {
    return KindOf(path) != PathKind::Missing;
}

void FsyncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        ThrowIoError("cannot open the folder", folder);
    const bool ok = fsync(fd) == 0 || errno == EINVAL; // some file systems cannot sync folders
    close(fd);
    if (!ok)
        ThrowIoError("cannot flush the folder", folder);
}

std::string ReadSmallFile(const std::string& path, std::uint64_t maxSize) {
    const InputFile file(path);
    if (file.size() > maxSize)
        ThrowPackError(path + " is too large (" + std::to_string(file.size()) + " bytes)");
    std::string text(static_cast<std::size_t>(file.size()), '\0');
    file.Read(0, text.data(), text.size());
    return text;
}

void RenameFile(const std::string& from, const std::string& to, bool mayBeDone) {
    if (rename(from.c_str(), to.c_str()) != 0 && !(mayBeDone && errno == ENOENT))
        ThrowIoError("cannot rename " + from + " to", to);
}

void RemoveFile(const std::string& path) {
    if (unlink(path.c_str()) != 0 && errno != ENOENT)
        ThrowIoError("cannot remove", path);
}

void RemoveFileQuietly(const std::string& path) {
    (void)unlink(path.c_str());
}

InputFile::InputFile(const std::string& path) : path_(path) {
    fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        ThrowIoError("cannot open", path);
    struct stat st {};
    if (fstat(fd_, &st) != 0) {
        const int error = errno;
        close(fd_);
        errno = error;
        ThrowIoError("cannot read the size of", path);
    }
    if (S_ISDIR(st.st_mode) || !S_ISREG(st.st_mode)) {
        close(fd_);
        ThrowPackError(path + (S_ISDIR(st.st_mode) ? " is a folder" : " is not a regular file"));
    }
    size_ = static_cast<std::uint64_t>(st.st_size);
    mode_ = st.st_mode & 07777;
    owner_ = st.st_uid;
    group_ = st.st_gid;
}

InputFile::~InputFile() {
    close(fd_);
}

bool InputFile::Writable() const {
    return (mode_ & 0222) != 0 && faccessat(AT_FDCWD, path_.c_str(), W_OK, AT_EACCESS) == 0;
}

void InputFile::ReadFromFile(std::uint64_t offset, std::uint8_t* into, std::size_t size) const {
    while (size > 0) {
        const ssize_t n = pread(fd_, into, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ThrowIoError("cannot read", path_);
        if (n == 0)
            ThrowPackError(path_ + " became shorter while it was read");
        into += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
}

void InputFile::Load(std::uint64_t page) const {
    if (!pages_)
        pages_ = std::make_unique_for_overwrite<std::uint8_t[]>(kPages * kPageSize);
    const std::size_t slot = page % kPages;
    const std::uint64_t start = page * kPageSize;
    cached_[slot] = kNone;
    ReadFromFile(start, pages_.get() + slot * kPageSize,
                 static_cast<std::size_t>(std::min<std::uint64_t>(kPageSize, size_ - start)));
    cached_[slot] = page;
}

void InputFile::ReadMissed(std::uint64_t offset, void* into, std::size_t size) const {
    if (offset > size_ || size > size_ - offset)
        ThrowPackError(path_ + ": a read of " + std::to_string(size) + " bytes at " +
                       std::to_string(offset) + " runs past the end of the file (" +
                       std::to_string(size_) + " bytes)");
    auto* out = static_cast<std::uint8_t*>(into);
    if (size >= kPageSize) {
        ReadFromFile(offset, out, size);
        return;
    }
    while (size > 0) {
        const std::uint64_t page = offset / kPageSize;
        const std::size_t slot = page % kPages;
        if (cached_[slot] != page)
            Load(page);
        const std::size_t at = static_cast<std::size_t>(offset % kPageSize);
        const std::size_t take = std::min(size, kPageSize - at);
        std::memcpy(out, pages_.get() + slot * kPageSize + at, take);
        out += take;
        offset += take;
        size -= take;
    }
}

OutputFile::OutputFile(std::string path, const InputFile& like, Progress& progress)
    : path_(std::move(path)), progress_(progress), stepEvery_(StepSize(like.size())),
      untilStep_(stepEvery_) {
    fd_ = open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd_ < 0)
        ThrowIoError("cannot create", path_);
    // The new file takes the place of the old one, so it takes its owner and permissions too;
    // the owner can only be given by a privileged process, which is when it matters.
    (void)fchown(fd_, like.owner_, like.group_);
    if (fchmod(fd_, like.mode_) != 0) {
        const int error = errno;
        close(fd_);
        fd_ = -1;
        errno = error;
        ThrowIoError("cannot set the permissions of", path_);
    }
    buffer_.reserve(kBufferSize);
}

OutputFile::OutputFile(std::string path, mode_t mode, Progress& progress)
    : path_(std::move(path)), progress_(progress), stepEvery_(kBufferSize), untilStep_(stepEvery_) {
    fd_ = open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd_ < 0)
        ThrowIoError("cannot create", path_);
    buffer_.reserve(kBufferSize);
}

OutputFile::~OutputFile() {
    if (fd_ >= 0)
        close(fd_);
}

void OutputFile::Write(const void* bytes, std::size_t size) {
    Append(static_cast<const std::uint8_t*>(bytes), size);
}

void OutputFile::WriteZeros(std::size_t size) {
    Append(nullptr, size);
}

void OutputFile::Append(const std::uint8_t* p, std::size_t size) {
    while (size > 0) {
        if (buffer_.size() == kBufferSize)
            Flush();
        const std::size_t take = static_cast<std::size_t>(
            std::min<std::uint64_t>({size, kBufferSize - buffer_.size(), untilStep_}));
        if (p) {
            buffer_.insert(buffer_.end(), p, p + take);
            p += take;
        } else {
            buffer_.resize(buffer_.size() + take, 0);
        }
        size -= take;
        untilStep_ -= take;
        if (untilStep_ == 0) {
            untilStep_ = stepEvery_;
            progress_.Step();
        }
    }
}

void OutputFile::WriteAt(std::uint64_t offset, const void* bytes, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    // The part still in the buffer is patched there; the rest goes to the file.
    while (size > 0 && offset < flushed_) {
        const std::size_t take =
            static_cast<std::size_t>(std::min<std::uint64_t>(size, flushed_ - offset));
        const ssize_t n = pwrite(fd_, p, take, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ThrowIoError("cannot write", path_);
        p += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    if (size > 0) {
        if (offset + size > Size())
            ThrowPackError("internal error: patch beyond the end of " + path_);
        std::memcpy(buffer_.data() + (offset - flushed_), p, size);
    }
}

void OutputFile::Flush() {
    std::size_t done = 0;
    while (done < buffer_.size()) {
        const ssize_t n = write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ThrowIoError("cannot write", path_);
        done += static_cast<std::size_t>(n);
    }
    flushed_ += buffer_.size();
    buffer_.clear();
}

void OutputFile::Finish() {
    Flush();
    if (fsync(fd_) != 0)
        ThrowIoError("cannot flush", path_);
    const int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0)
        ThrowIoError("cannot close", path_);
    progress_.Step();
}

} // namespace vantero::tablefiles::detail
