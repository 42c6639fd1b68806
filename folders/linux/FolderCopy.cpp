// The copy behind the tree's paste and drop on Linux: regular files by chunks, so that a long copy
// can show how far it is and be cancelled; folders with their modes, links as links.

#include "folders/FolderServices.h"

#include "base/Failure.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

namespace vantero {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kChunk = 1 << 20;

[[noreturn]] void fail(const std::string& what, const fs::path& path) {
    throw Failure("Cannot copy " + path.string() + ": " + what, what);
}

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

class Copier {
public:
    Copier(std::uint64_t total, const CopyProgress& progress)
        : m_total(total), m_progress(progress), m_buffer(kChunk) {}

    // False when the user cancelled.
    bool copy(const fs::path& from, const fs::path& to) {
        struct stat st {};
        if (::lstat(from.c_str(), &st) != 0)
            fail(systemErrorText(errno), from);
        if (S_ISLNK(st.st_mode)) {
            std::error_code error;
            const fs::path target = fs::read_symlink(from, error);
            if (error || ::symlink(target.c_str(), to.c_str()) != 0)
                fail(error ? error.message() : systemErrorText(errno), from);
            created(to);
            return true;
        }
        if (S_ISDIR(st.st_mode)) {
            // Writable for us while it fills; its own mode once it is full.
            if (::mkdir(to.c_str(), (st.st_mode & 07777) | S_IRWXU) != 0)
                fail(systemErrorText(errno), to);
            created(to);
            std::error_code error;
            for (fs::directory_iterator it(from, error), end; !error && it != end;
                 it.increment(error))
                if (!copy(it->path(), to / it->path().filename()))
                    return false;
            if (error)
                fail(error.message(), from);
            ::chmod(to.c_str(), st.st_mode & 07777);
            return true;
        }
        if (!S_ISREG(st.st_mode))
            fail("it is neither a file nor a folder", from);
        return copyFile(from, to, st.st_mode & 07777);
    }

    // Whether anything of the copy exists, so that only what it made is ever removed.
    bool createdDestination() const { return m_createdDestination; }
    void setDestination(const fs::path& destination) { m_destination = destination; }

private:
    void created(const fs::path& path) {
        if (path == m_destination)
            m_createdDestination = true;
    }

    bool copyFile(const fs::path& from, const fs::path& to, mode_t mode) {
        Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
        if (in.get() < 0)
            fail(systemErrorText(errno), from);
        // O_EXCL: a name that turned up meanwhile is not written over.
        Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode | S_IWUSR));
        if (out.get() < 0)
            fail(systemErrorText(errno), to);
        created(to);
        for (;;) {
            const ssize_t got = ::read(in.get(), m_buffer.data(), m_buffer.size());
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                fail(systemErrorText(errno), from);
            }
            if (got == 0)
                break;
            for (ssize_t put = 0; put < got;) {
                const ssize_t n =
                    ::write(out.get(), m_buffer.data() + put, static_cast<std::size_t>(got - put));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0)
                    fail(systemErrorText(errno), to);
                put += n;
            }
            m_done += static_cast<std::uint64_t>(got);
            if (m_progress && !m_progress(m_done, m_total))
                return false;
        }
        if (::fchmod(out.get(), mode) != 0 || ::close(out.release()) != 0)
            fail(systemErrorText(errno), to);
        return true;
    }

    std::uint64_t m_total;
    std::uint64_t m_done = 0;
    const CopyProgress& m_progress;
    std::vector<char> m_buffer;
    fs::path m_destination;
    bool m_createdDestination = false;
};

void removeQuietly(const fs::path& path) {
    std::error_code ignored;
    // Folders copied without write permission must be opened up before they can be emptied.
    for (auto it = fs::recursive_directory_iterator(path, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored))
        if (it->is_directory(ignored) && !it->is_symlink(ignored))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path, ignored);
}

} // namespace

std::uint64_t bytesToCopy(const std::string& source) {
    std::error_code error;
    if (fs::is_regular_file(fs::symlink_status(source, error)))
        return fs::file_size(source, error);
    std::uint64_t total = 0;
    for (auto it = fs::recursive_directory_iterator(source, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error))
        if (it->is_regular_file(error) && !it->is_symlink(error))
            total += it->file_size(error);
    return total;
}

CopyResult copyInto(const std::string& source, const std::string& destination,
                    const CopyProgress& progress) {
    std::error_code error;
    if (fs::exists(fs::symlink_status(destination, error)))
        fail(destination + " exists already", source);
    Copier copier(bytesToCopy(source), progress);
    copier.setDestination(destination);
    bool finished = false;
    try {
        finished = copier.copy(source, destination);
    } catch (...) {
        if (copier.createdDestination())
            removeQuietly(destination);
        throw;
    }
    if (!finished) {
        removeQuietly(destination);
        return CopyResult::Cancelled;
    }
    return CopyResult::Done;
}

} // namespace vantero
