#pragma once

#include <string>
#include <string_view>

namespace vantero {

// Writes bytes to a new file beside path and renames it over path, so that a reader never sees a
// half-written file and a failed write (disk full, no permission) leaves an existing file as it
// was. A symbolic link is followed: its target is replaced and the link stays. An existing file
// that is read-only is refused, as it is on Windows. Throws Failure, naming the step that failed
// with the system's text; no temporary file is left behind then.
void replaceFileContents(const std::string& path, std::string_view bytes);

} // namespace vantero
