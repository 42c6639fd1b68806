#pragma once

#include "tablefiles/FileIo.h"

#include <cstdint>
#include <vector>

namespace vantero::tablefiles::detail {

// The fixed part of a .DAT or .dbf header, checked against the file's size.
struct DataHeader {
    std::uint32_t records = 0;
    std::uint32_t headerLength = 0;
    std::uint32_t recordLength = 0;
    bool endMark = false; // the 0x1A byte after the last record
};

DataHeader ReadDataHeader(const MappedFile& data, bool dbase);

// Decides which rows survive: rowMap[old - 1] is the new row number, or 0 for a deleted row.
// Returns the number of rows left.
std::uint32_t MapRows(const MappedFile& data, const DataHeader& header, bool dbase,
                      std::vector<std::uint32_t>& rowMap);

// Writes the records that survive, in their order, under the old header with the new count.
void WritePackedData(const MappedFile& data, const DataHeader& header,
                     const std::vector<std::uint32_t>& rowMap, std::uint32_t kept, OutputFile& out);

} // namespace vantero::tablefiles::detail
