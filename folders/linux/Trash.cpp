// The desktop's trash on Linux, kept as freedesktop.org's trash standard says, so that a file
// manager can put a folder back: the home trash for what lies on its device; elsewhere the trash at
// the top of the folder's own mount, kept by an administrator ($topdir/.Trash/$uid) or by the user
// ($topdir/.Trash-$uid).

#include "folders/FolderServices.h"

#include "base/Failure.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

namespace vantero {
namespace {

std::string dataHome() {
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data != '\0')
        return data;
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.local/share";
}

// A trash folder of the user's alone, with its two halves; "" when there can be none there.
std::string trashFolder(const std::string& parent, const std::string& name) {
    std::string trash = parent + "/" + name;
    struct stat info {};
    if ((mkdir(trash.c_str(), 0700) != 0 && errno != EEXIST) || lstat(trash.c_str(), &info) != 0 ||
        !S_ISDIR(info.st_mode))
        return {};
    for (const char* half : {"/files", "/info"})
        if (mkdir((trash + half).c_str(), 0700) != 0 && errno != EEXIST)
            return {};
    return trash;
}

// The top folder of the mount that holds path: the last one up from it on the same device.
std::string mountTop(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return "/";
    std::string top = path;
    while (top != "/") {
        const std::size_t slash = top.rfind('/');
        const std::string parent = slash == 0 ? "/" : top.substr(0, slash);
        struct stat up {};
        if (stat(parent.c_str(), &up) != 0 || up.st_dev != info.st_dev)
            break;
        top = parent;
    }
    return top;
}

// The trash's record keeps the path as a URL path: every byte but the unreserved ones and "/"
// percent-encoded.
std::string percentEncoded(const std::string& path) {
    std::string encoded;
    for (const unsigned char c : path) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
            encoded += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            encoded += hex;
        }
    }
    return encoded;
}

std::string localTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

} // namespace

void moveToTrash(const FolderItem& folder) {
    const std::string& source = folder.path;
    const auto fail = [&](int error) {
        throw Failure("Cannot move " + source + " to the trash", systemErrorText(error));
    };
    struct stat sourceInfo {};
    if (lstat(source.c_str(), &sourceInfo) != 0)
        fail(errno);
    const std::string home = dataHome();
    std::error_code ignored;
    std::filesystem::create_directories(home, ignored);
    struct stat homeInfo {};
    std::string trash;
    std::string recordedPath = source;
    if (stat(home.c_str(), &homeInfo) != 0 || homeInfo.st_dev != sourceInfo.st_dev) {
        const std::string top = mountTop(source.substr(0, source.rfind('/')));
        const std::string uid = std::to_string(getuid());
        struct stat shared {};
        if (lstat((top + "/.Trash").c_str(), &shared) == 0 && S_ISDIR(shared.st_mode) &&
            (shared.st_mode & S_ISVTX) != 0)
            trash = trashFolder(top + "/.Trash", uid);
        if (trash.empty())
            trash = trashFolder(top == "/" ? "" : top, ".Trash-" + uid);
        // A trash at the top of a mount records paths from there, so that the mount may move.
        if (!trash.empty())
            recordedPath = source.substr(top == "/" ? 1 : top.size() + 1);
    }
    if (trash.empty())
        trash = trashFolder(home, "Trash");
    if (trash.empty())
        fail(errno);

    // A name of its own in the trash, its record made first so that no other trashing takes it.
    const std::string name = source.substr(source.rfind('/') + 1);
    std::string unique = name;
    const std::string files = trash + "/files/";
    const std::string infos = trash + "/info/";
    int record = -1;
    for (int counter = 1; record < 0; ++counter) {
        struct stat taken {};
        if (lstat((files + unique).c_str(), &taken) != 0) {
            record = open((infos + unique + ".trashinfo").c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (record < 0 && errno != EEXIST)
                fail(errno);
        }
        if (record < 0) {
            char suffix[16];
            std::snprintf(suffix, sizeof suffix, "-%04d", counter);
            unique = name + suffix;
        }
    }
    if (rename(source.c_str(), (files + unique).c_str()) != 0) {
        const int error = errno;
        close(record);
        unlink((infos + unique + ".trashinfo").c_str());
        fail(error);
    }
    const std::string info = "[Trash Info]\nPath=" + percentEncoded(recordedPath) +
                             "\nDeletionDate=" + localTimeNow() + "\n";
    // The folder is in the trash by now; a record that could not be written only loses the way
    // back to where it was, which the file manager then asks for.
    [[maybe_unused]] const ssize_t written = write(record, info.data(), info.size());
    close(record);
}

} // namespace vantero
