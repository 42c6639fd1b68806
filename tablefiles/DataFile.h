#pragma once

#include "tablefiles/FileIo.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vantero::tablefiles::detail {

struct TabField;

struct FieldDescriptor {
    std::string name;
    char type = 0;
    unsigned width = 0;
    unsigned decimals = 0;
};

// The fixed part of a .DAT or .dbf header and its field descriptors, checked against the file's
// size.
struct DataHeader {
    std::uint32_t records = 0;
    std::uint32_t headerLength = 0;
    std::uint32_t recordLength = 0;
    bool endMark = false; // the 0x1A byte after the last record
    std::vector<FieldDescriptor> fields;
};

DataHeader readDataHeader(const InputFile& data, bool dbase);

// Refuses a .DAT whose fields are not the ones the .tab describes: a pack cannot tell which of
// the two files is right.
void checkFieldsAgainstTab(const DataHeader& header, const std::vector<TabField>& tabFields,
                           bool dbase, const std::string& dataPath, const std::string& tabPath);

// Which rows survive a data pack, and their new numbers, in a bit a row: a 2 GB .DAT may hold
// hundreds of millions of rows.
class RowMap {
public:
    explicit RowMap(std::uint32_t rows);
    void keep(std::uint32_t row); // 1-based
    void finish();                // before any NewRow
    std::uint32_t rows() const { return m_rows; }
    std::uint32_t kept() const { return m_kept; }
    // The row's new number, or 0 for a row that goes or that never existed.
    std::uint32_t newRow(std::uint32_t row) const;
    // Whether the row stays, for callers that need not know its number: cheaper than newRow.
    bool keeps(std::uint32_t row) const {
        return row != 0 && row <= m_rows && (m_bits[(row - 1) / 64] >> ((row - 1) % 64) & 1) != 0;
    }

private:
    std::uint32_t m_rows;
    std::uint32_t m_kept = 0;
    std::vector<std::uint64_t> m_bits;
    std::vector<std::uint32_t> m_before; // kept rows in the words before each word
};

RowMap mapRows(const InputFile& data, const DataHeader& header, bool dbase);

// The size of what writePackedData writes, known without reading the records again.
std::uint64_t packedDataSize(const DataHeader& header, const RowMap& rows);

// Writes the records that survive, in their order, under the old header with the new count.
void writePackedData(const InputFile& data, const DataHeader& header, const RowMap& rows,
                     OutputFile& out);

} // namespace vantero::tablefiles::detail
