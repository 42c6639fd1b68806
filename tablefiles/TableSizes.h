#pragma once

// What a pack of a native table would reclaim, read from its files without changing them and in
// bounded memory: for a dry run before any pack.

#include <cstdint>
#include <string>

namespace vantero::tablefiles {

struct TableSizes {
    std::uint64_t rows = 0;             // live rows
    std::uint64_t deletedRows = 0;      // rows a data pack drops
    std::uint64_t reclaimableBytes = 0; // what a pack of both parts would free on disk
};

// Throws PackError for a table whose files cannot be read as a native table.
TableSizes measureTable(const std::string& tabPath);
// The same for a caller that has read the .tab's text already (readTabText).
TableSizes measureTable(const std::string& tabPath, const std::string& tabText);

} // namespace vantero::tablefiles
