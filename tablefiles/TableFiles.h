#pragma once

#include "tablefiles/FileIo.h"
#include "tablefiles/PackTable.h"

#include <memory>
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
TabInfo parseTabInfo(const std::string& tabPath, const std::string& text);

// The files of one table, opened for reading beside its .tab; null where a file does not exist.
// Only native and dBase tables have their files opened.
struct TableFiles {
    TabInfo info;
    std::unique_ptr<InputFile> data; // .DAT, or .dbf for a dBase table
    std::unique_ptr<InputFile> id;
    std::unique_ptr<InputFile> map;
    std::unique_ptr<InputFile> ind; // only when asked for
};

// The path of the file beside tabPath with the same base name and extension ext (lower case),
// as it exists on disk in the case MapInfo's own files use, or "" when there is none.
std::string findSibling(const std::string& tabPath, const std::string& ext);

// Refuses a file of the table that is anything but a regular file: a pack renaming over a link
// would replace the link, not the file it names.
TableFiles openTableFiles(const std::string& tabPath, TabInfo info, bool withIndex);

} // namespace vantero::tablefiles::detail
