#include "records/ReplaceFile.h"

#include "base/Failure.h"
#include "base/Paths.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vantero {

#ifdef _WIN32

namespace {

[[noreturn]] void fail(const std::string& step) {
    throw Failure(step, lastWindowsErrorText());
}

} // namespace

void replaceFileContents(const std::string& path, std::string_view bytes) {
    char temp[MAX_PATH];
    if (GetTempFileNameA(folderOf(path).c_str(), "vnt", 0, temp) == 0)
        fail("cannot make a temporary file beside " + path);
    HANDLE h =
        CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const std::string reason = lastWindowsErrorText();
        DeleteFileA(temp);
        throw Failure("cannot open " + std::string(temp), reason);
    }
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < bytes.size()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
        ok = WriteFile(h, bytes.data() + done, chunk, &written, nullptr) && written > 0;
        done += written;
    }
    ok = FlushFileBuffers(h) && ok;
    ok = CloseHandle(h) && ok;
    if (ok)
        ok = MoveFileExA(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) {
        const std::string reason = lastWindowsErrorText();
        DeleteFileA(temp);
        throw Failure("cannot write " + path, reason);
    }
}

#else

namespace {

[[noreturn]] void fail(const std::string& step, int error = errno) {
    throw Failure(step, systemErrorText(error));
}

// The file a name stands for: symbolic links are followed to what they point at, which need not
// exist yet.
std::string linkTarget(const std::string& path) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return current;
        std::vector<char> target(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 4096) +
                                 1);
        const ssize_t n = readlink(current.c_str(), target.data(), target.size());
        if (n < 0)
            fail("cannot read the link " + current);
        const std::string name(target.data(), static_cast<std::size_t>(n));
        current = name.front() == '/' ? name : joinPath(folderOf(current), name);
    }
    fail("cannot follow the links of " + path, ELOOP);
}

} // namespace

void replaceFileContents(const std::string& path, std::string_view bytes) {
    const std::string target = linkTarget(path);
    struct stat old {};
    const bool exists = stat(target.c_str(), &old) == 0;
    // Renaming over a file needs only the folder's permission; a read-only file is kept as the
    // user made it, as Windows keeps it.
    if (exists && S_ISREG(old.st_mode) &&
        ((old.st_mode & 0222) == 0 || access(target.c_str(), W_OK) != 0))
        fail(target + " is read-only", EACCES);

    const std::string pattern =
        folderOf(target) + "/." + std::string(fileNameOf(target)) + ".XXXXXX";
    std::vector<char> temp(pattern.begin(), pattern.end());
    temp.push_back('\0');
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        fail("cannot make a temporary file beside " + target);

    // mkstemp makes the file private; give it the mode a plain create would have, or the mode of
    // the file it replaces.
    if (exists && S_ISREG(old.st_mode)) {
        (void)fchmod(fd, old.st_mode & 07777);
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        (void)fchmod(fd, 0666 & ~mask);
    }

    int error = 0;
    std::size_t done = 0;
    while (error == 0 && done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else
            error = n < 0 ? errno : ENOSPC;
    }
    if (fsync(fd) != 0 && error == 0)
        error = errno;
    if (close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && rename(temp.data(), target.c_str()) != 0)
        error = errno;
    if (error != 0) {
        unlink(temp.data());
        fail("cannot write " + target, error);
    }
}

#endif

} // namespace vantero
