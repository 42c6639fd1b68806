#pragma once

#include "base/TableKind.h"

#include <string>
#include <string_view>

namespace vantero {

// The kind of a MapInfo table from the text of its .tab file; Unknown when no line names a type or
// the file cannot be read. A keyword test, not a parse. Never throws.
TableKind detectTableType(const std::string& fileName) noexcept;

// The same of a .tab's text already read.
TableKind detectTableTypeInText(std::string_view text) noexcept;

} // namespace vantero
