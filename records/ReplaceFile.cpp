#include "records/ReplaceFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vantero {

namespace {

std::string FolderOf(const std::string& path) {
#ifdef _WIN32
    const auto slash = path.find_last_of("\\/");
#else
    const auto slash = path.find_last_of('/');
#endif
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return path.substr(0, 1);
    return path.substr(0, slash);
}

} // namespace

#ifdef _WIN32

bool ReplaceFileContents(const std::string& path, std::string_view bytes) {
    char temp[MAX_PATH];
    if (GetTempFileNameA(FolderOf(path).c_str(), "vnt", 0, temp) == 0)
        return false;
    HANDLE h =
        CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DeleteFileA(temp);
        return false;
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
    if (!ok)
        DeleteFileA(temp);
    return ok;
}

#else

bool ReplaceFileContents(const std::string& path, std::string_view bytes) {
    const std::string folder = FolderOf(path);
    const auto slash = path.find_last_of('/');
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string pattern = folder + "/." + base + ".XXXXXX";
    std::vector<char> temp(pattern.begin(), pattern.end());
    temp.push_back('\0');

    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;

    // mkstemp makes the file private; give it the mode a plain create would have, or the mode of
    // the file it replaces.
    struct stat old {};
    if (stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        (void)fchmod(fd, old.st_mode & 07777);
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        (void)fchmod(fd, 0666 & ~mask);
    }

    bool ok = true;
    std::size_t done = 0;
    while (ok && done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += static_cast<std::size_t>(n);
    }
    ok = fsync(fd) == 0 && ok;
    ok = close(fd) == 0 && ok;
    if (ok)
        ok = rename(temp.data(), path.c_str()) == 0;
    if (!ok)
        unlink(temp.data());
    return ok;
}

#endif

} // namespace vantero
