#pragma once

#include "base/TableKind.h"

#include <string>

namespace vantero {

// The kind of a MapInfo table from the text of its .tab file; Unknown when no line names a type or
// the file cannot be read. A keyword test, not a parse. Never throws.
TableKind detectTableType(const std::string& fileName) noexcept;

} // namespace vantero
