#pragma once

#include <string>
#include <string_view>

namespace vantero {

// Writes bytes to a new file beside path and renames it over path, so that a reader never sees a
// half-written file and a failed write (disk full, no permission) leaves an existing file as it
// was. Returns false on any failure; no temporary file is left behind then.
bool ReplaceFileContents(const std::string& path, std::string_view bytes);

} // namespace vantero
