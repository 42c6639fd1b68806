#pragma once

#include "records/RecordTable.h"

#include <string>

namespace vantero {

// The table list's fields: the file name, the kind of table and the folder it was found in.
inline constexpr const char* kTableNameField = "TableName";
inline constexpr const char* kTableTypeField = "TableType";
inline constexpr const char* kTablePathField = "TablePath";

// Declares the fields of a table list: TableName 150, TableType 15, TablePath 255.
void declareTableListFields(RecordTable& tableList);

// Replaces the rows of the table list with one row per .tab entry directly in the folder (any
// letter case, hidden entries and directories included), in the order the directory gives them.
// The name is lower-cased on Windows and kept as it is on case-sensitive file systems.
// An empty folder path stands for the root folder. A missing or unreadable folder leaves the list
// empty.
void listTables(RecordTable& tableList, const std::string& folder);

// Whether a listing opens each .tab for its kind, or leaves the kind empty for a caller that needs
// none or reads the .tab itself anyway (detectTableTypeInText).
enum class KindDetection { Detect, Skip };

// The same rows appended after those the open list holds; false when the folder cannot be
// searched (missing, not a folder, unreadable).
bool appendTables(RecordTable& tableList, const std::string& folder,
                  KindDetection kinds = KindDetection::Detect);

// One row for a table named by its folder and its file name, as the scan would make it.
void appendTable(RecordTable& tableList, const std::string& folder, const std::string& name,
                 KindDetection kinds = KindDetection::Detect);

} // namespace vantero
