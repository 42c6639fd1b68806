#pragma once

#include "tablefiles/DataFile.h"
#include "tablefiles/FileIo.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vantero::tablefiles::detail {

// The .ID file, held in memory: one .MAP address per row, 0 for a row without an object. Four
// bytes a row are what a graphic pack needs to remember each object's new address anyway.
class IdFile {
public:
    IdFile() = default;
    explicit IdFile(const InputFile& file);
    std::uint32_t rows() const { return static_cast<std::uint32_t>(m_entries.size()); }
    std::uint32_t at(std::uint32_t row) const { // row is 1-based; 0 beyond the end
        return row >= 1 && row <= m_entries.size() ? m_entries[row - 1] : 0;
    }
    void set(std::uint32_t row, std::uint32_t address) { m_entries[row - 1] = address; }

private:
    std::vector<std::uint32_t> m_entries;
};

// Refuses, before anything is written, a .ID that the .MAP cannot answer: an address outside
// the .MAP's blocks, or rows with objects in a .MAP whose header says it holds none. Only the
// rows that the pack keeps (all, without rows) are asked about.
void checkIdsAgainstMap(const IdFile& ids, const std::string& idPath, const InputFile* map,
                        const RowMap* rows);

// Copies the .MAP with each surviving row's object carrying its new row number, and the objects
// of removed rows flagged as deleted.
void renumberMapObjects(const InputFile& map, const IdFile& ids, const RowMap& rows,
                        OutputFile& out);

// Writes a new .MAP holding only the objects the .ID refers to, in compact blocks with their
// coordinate data and a new spatial index. With rows, rows it removes lose their objects and
// the others take their new numbers. Each row's .ID entry becomes its object's new address.
void rewriteMap(const InputFile& map, IdFile& ids, const RowMap* rows, OutputFile& out);

} // namespace vantero::tablefiles::detail
