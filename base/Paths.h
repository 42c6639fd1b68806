#pragma once

// Paths as the program's byte strings hold them: the file system's own bytes, joined and split by
// hand so that a name that is not valid in any encoding still goes through unchanged.

#include <string>
#include <string_view>

namespace vantero {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The folder and the name with one separator between them, whatever the folder ends in: a table
// listed from a root folder gets two in a row, as the table list's paths always have.
std::string joinPath(std::string_view folder, std::string_view name);

// What follows the last separator (on Windows "/" counts as one too); the whole path when there
// is none.
std::string_view fileNameOf(std::string_view path);

// The folder a path names its file in: "." for a bare name, the root for a file in the root, and
// on Windows a drive's root with its backslash ("D:\" for "D:\run.log"), since "D:" alone means
// that drive's current folder.
std::string folderOf(std::string_view path);

} // namespace vantero
