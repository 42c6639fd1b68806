#pragma once

// The kinds of MapInfo table the table list tells apart, and the word each is shown as.

namespace vantero {

enum class TableKind { Native, Raster, Dbase, Access, Excel, Unknown };

// "Native", "Raster", "Dbase", "Access", "Excel" or "Unknown".
const char* tableKindText(TableKind kind);

} // namespace vantero
