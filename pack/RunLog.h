#pragma once

// The run log: one message per row, as long as the log's one field holds, and its file.

#include "records/RecordTable.h"

#include <string>
#include <string_view>

namespace vantero {

inline constexpr const char* kMessageField = "Message";
inline constexpr std::size_t kMessageLength = 255;

// Declares the log's one field; the table is opened by the message window when it is shown.
void declareRunLogFields(RecordTable& log);

// Appends the text as a new last row, cut to what the field holds, and posts it.
void appendToLog(RecordTable& log, std::string_view text);

// Writes the log as a text file: "Message", then one line per row, each ending in CR LF. The file
// is replaced only once it has been written whole; a failure throws and leaves any file that was
// there as it was.
void saveRunLog(RecordTable& log, const std::string& fileName);

} // namespace vantero
