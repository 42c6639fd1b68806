#include "tablefiles/DataFile.h"

#include "tablefiles/Bytes.h"

#include <string>

namespace vantero::tablefiles::detail {

namespace {

constexpr std::uint8_t kDeleted = '*';
constexpr std::uint8_t kLive = ' ';
constexpr std::uint8_t kEndMark = 0x1A;
constexpr std::uint32_t kMinHeader = 32 + 1; // the fixed header and the descriptor terminator

// dBase tables tell a production index (.mdx, .cdx) to keep itself in step with the records;
// it would not be after a pack.
constexpr std::size_t kProductionIndexFlag = 28;

} // namespace

DataHeader ReadDataHeader(const MappedFile& data, bool dbase) {
    const std::string& path = data.path();
    if (data.size() < 32)
        ThrowPackError(path + " is too short to hold a table header (" +
                       std::to_string(data.size()) + " bytes)");
    const std::uint8_t* p = data.data();
    DataHeader header;
    header.records = Get32(p + 4);
    header.headerLength = Get16(p + 8);
    header.recordLength = Get16(p + 10);
    if (!dbase && header.records > 0x7FFFFFFFu)
        ThrowPackError(path + " has a negative record count in its header");
    if (header.headerLength < kMinHeader || header.recordLength < 1)
        ThrowPackError(path + " has a damaged header: header length " +
                       std::to_string(header.headerLength) + ", record length " +
                       std::to_string(header.recordLength));
    const std::uint64_t needed =
        header.headerLength + static_cast<std::uint64_t>(header.records) * header.recordLength;
    if (data.size() < needed)
        ThrowPackError(
            path + " is shorter than its header says: " + std::to_string(header.records) +
            " records of " + std::to_string(header.recordLength) + " bytes need " +
            std::to_string(needed) + " bytes, the file has " + std::to_string(data.size()));
    const std::uint64_t extra = data.size() - needed;
    if (extra == 1 && p[needed] == kEndMark)
        header.endMark = true;
    else if (extra != 0)
        // Whatever follows the records is not ours to drop.
        ThrowPackError(path + " has " + std::to_string(extra) +
                       " bytes after its last record that a pack would lose");
    if (dbase && (p[kProductionIndexFlag] & 0x01))
        ThrowPackError(path + " has a dBase production index that a pack would leave out of date");
    return header;
}

std::uint32_t MapRows(const MappedFile& data, const DataHeader& header, bool dbase,
                      std::vector<std::uint32_t>& rowMap) {
    rowMap.assign(header.records, 0);
    const std::uint8_t* record = data.data() + header.headerLength;
    std::uint32_t kept = 0;
    for (std::uint32_t row = 0; row < header.records; ++row, record += header.recordLength) {
        const std::uint8_t flag = record[0];
        if (flag == kDeleted)
            continue;
        // A native record with any other flag is kept as it is: only '*' is a deletion that
        // MapInfo makes. dBase knows just the two flags, so anything else is not understood.
        if (dbase && flag != kLive)
            ThrowPackError(data.path() + ": row " + std::to_string(row + 1) +
                           " has a deletion flag that is neither ' ' nor '*'");
        rowMap[row] = ++kept;
    }
    return kept;
}

void WritePackedData(const MappedFile& data, const DataHeader& header,
                     const std::vector<std::uint32_t>& rowMap, std::uint32_t kept,
                     OutputFile& out) {
    std::vector<std::uint8_t> head(data.data(), data.data() + header.headerLength);
    Put32(head.data() + 4, kept);
    out.Write(head.data(), head.size());

    // Runs of surviving records go out in one piece.
    const std::uint8_t* records = data.data() + header.headerLength;
    std::uint32_t row = 0;
    while (row < header.records) {
        while (row < header.records && rowMap[row] == 0)
            ++row;
        const std::uint32_t first = row;
        while (row < header.records && rowMap[row] != 0)
            ++row;
        if (row > first)
            out.Write(records + static_cast<std::uint64_t>(first) * header.recordLength,
                      static_cast<std::size_t>(row - first) * header.recordLength);
    }
    if (header.endMark)
        out.Write(&kEndMark, 1);
}

} // namespace vantero::tablefiles::detail
