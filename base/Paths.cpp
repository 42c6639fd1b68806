#include "base/Paths.h"

namespace vantero {

namespace {

#ifdef _WIN32
constexpr std::string_view kSeparators = "\\/";
#else
constexpr std::string_view kSeparators = "/";
#endif

} // namespace

std::string joinPath(std::string_view folder, std::string_view name) {
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path += folder;
    path += kPathSeparator;
    path += name;
    return path;
}

std::string_view fileNameOf(std::string_view path) {
    const auto slash = path.find_last_of(kSeparators);
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string folderOf(std::string_view path) {
    const auto slash = path.find_last_of(kSeparators);
    if (slash == std::string_view::npos)
        return ".";
    if (slash == 0)
        return std::string(path.substr(0, 1));
#ifdef _WIN32
    if (slash == 2 && path[1] == ':')
        return std::string(path.substr(0, 3));
#endif
    return std::string(path.substr(0, slash));
}

} // namespace vantero
