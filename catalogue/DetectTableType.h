#pragma once

#include <string>

namespace vantero {

// The kind of a MapInfo table from the text of its .tab file: "Native", "Raster", "Dbase",
// "Access", "Excel", or "Unknown" when no line names a type or the file cannot be read.
// A keyword test, not a parse. Never throws.
std::string DetectTableType(const std::string& fileName) noexcept;

} // namespace vantero
