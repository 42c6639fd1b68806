#pragma once

#include "records/RecordTable.h"

#include <string>

namespace vantero {

// Declares the fields of a table list: TableName 150, TableType 15, TablePath 255.
void DeclareTableListFields(RecordTable& memTabList);

// Replaces the rows of memTabList with one row per .tab entry directly in the folder path (any
// letter case, hidden entries and directories included), in the order the directory gives them.
// An empty path stands for the root folder. A missing or unreadable folder leaves the list empty.
void ListTables(RecordTable& memTabList, const std::string& path);

} // namespace vantero
