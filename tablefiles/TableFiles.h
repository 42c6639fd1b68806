#pragma once

#include "tablefiles/PackTable.h"

#include <string>

namespace vantero::tablefiles::detail {

// The files of one table, found beside its .tab. An empty path means the file does not exist.
struct TableFiles {
    TableStorage storage = TableStorage::Other;
    bool readOnly = false; // the .tab's metadata marks the table read-only
    std::string tab;
    std::string data; // .DAT, or .dbf for a dBase table
    std::string id;
    std::string map;
    std::string ind;
};

// The path of the file beside tabPath with the same base name and extension ext (lower case),
// as it exists on disk in the case MapInfo's own files use, or "" when there is none.
std::string FindSibling(const std::string& tabPath, const std::string& ext);

TableFiles FindTableFiles(const std::string& tabPath);

struct TabInfo {
    TableStorage storage = TableStorage::Other;
    bool readOnly = false;
};
TabInfo ReadTabInfo(const std::string& tabPath);

} // namespace vantero::tablefiles::detail
