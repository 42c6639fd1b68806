#pragma once

#include "tablefiles/PackTable.h"

#include <string>
#include <vector>

namespace vantero::tablefiles::detail {

// One line of the .tab's field list: the name, the type in lower case, and the width and
// decimals where the type has them.
struct TabField {
    std::string name;
    std::string type;
    int width = 0;
    int decimals = 0;
};

struct TabInfo {
    TableStorage storage = TableStorage::Other;
    // Why MapInfo opens the table read-only, or "" when it does not.
    std::string readOnly;
    std::vector<TabField> fields;
};
TabInfo readTabInfo(const std::string& tabPath);

// The files of one table, found beside its .tab. An empty path means the file does not exist.
struct TableFiles {
    TabInfo info;
    std::string tab;
    std::string data; // .DAT, or .dbf for a dBase table
    std::string id;
    std::string map;
    std::string ind;
};

// The path of the file beside tabPath with the same base name and extension ext (lower case),
// as it exists on disk in the case MapInfo's own files use, or "" when there is none.
std::string findSibling(const std::string& tabPath, const std::string& ext);

TableFiles findTableFiles(const std::string& tabPath);

} // namespace vantero::tablefiles::detail
