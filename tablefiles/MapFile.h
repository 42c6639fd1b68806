#pragma once

#include "tablefiles/FileIo.h"

#include <cstdint>
#include <vector>

namespace vantero::tablefiles::detail {

// The .ID file: one .MAP address per row, 0 for a row without an object.
class IdFile {
public:
    explicit IdFile(const MappedFile* file); // nullptr: the table has no .ID
    std::uint32_t rows() const { return rows_; }
    std::uint32_t At(std::uint32_t row) const; // row is 1-based; 0 beyond the end

private:
    const MappedFile* file_;
    std::uint32_t rows_ = 0;
};

// Copies the .MAP with each surviving row's object carrying its new row number, and the objects
// of removed rows flagged as deleted. rowMap[old - 1] is the new row or 0.
void RenumberMapObjects(const MappedFile& map, const IdFile& ids,
                        const std::vector<std::uint32_t>& rowMap, OutputFile& out);

// Writes a new .MAP holding only the objects the .ID refers to, in compact blocks with their
// coordinate data and a new spatial index. With rowMap, rows it removes lose their objects and
// the others take their new numbers. newAddress[old - 1] receives each row's new object address.
void RewriteMap(const MappedFile& map, const IdFile& ids, const std::vector<std::uint32_t>* rowMap,
                OutputFile& out, std::vector<std::uint32_t>& newAddress);

} // namespace vantero::tablefiles::detail
