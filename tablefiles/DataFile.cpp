#include "tablefiles/DataFile.h"

#include "tablefiles/Bytes.h"
#include "tablefiles/TableFiles.h"

#include <algorithm>
#include <string>

namespace vantero::tablefiles::detail {

namespace {

constexpr std::uint8_t kDeleted = '*';
constexpr std::uint8_t kLive = ' ';
constexpr std::uint8_t kEndMark = 0x1A;
constexpr std::uint8_t kEndOfFields = 0x0D;
constexpr std::uint32_t kMinHeader = 32 + 1; // the fixed header and the descriptor terminator
constexpr std::uint32_t kDescriptor = 32;
constexpr std::size_t kChunk = 1 << 20;

// dBase tables tell a production index (.mdx, .cdx) to keep itself in step with the records;
// it would not be after a pack.
constexpr std::size_t kProductionIndexFlag = 28;

// How a native .DAT stores each type a .tab names: dBase type and width, and whether the width
// is the .tab's own.
struct NativeType {
    const char* name;
    char type;
    unsigned width; // 0: the .tab's width
};
constexpr NativeType kNativeTypes[] = {
    {"char", 'C', 0},     {"integer", 'C', 4}, {"smallint", 'C', 2}, {"largeint", 'C', 8},
    {"float", 'C', 8},    {"decimal", 'N', 0}, {"date", 'C', 4},     {"time", 'C', 4},
    {"datetime", 'C', 8}, {"logical", 'L', 1},
};

std::string describe(const FieldDescriptor& f) {
    std::string s = std::string(1, f.type) + " " + std::to_string(f.width);
    if (f.type == 'N')
        s += "," + std::to_string(f.decimals);
    return s;
}

template <typename Chunk>
void forEachChunkOfRecords(const InputFile& data, const DataHeader& header, Chunk chunk) {
    // A small file's records are read where they lie, without a copy.
    const std::uint64_t all = std::uint64_t{header.records} * header.recordLength;
    if (const std::uint8_t* records =
            all <= data.size() ? data.view(header.headerLength, static_cast<std::size_t>(all))
                               : nullptr) {
        chunk(0, header.records, records);
        return;
    }
    // No bigger than the records: a buffer of a megabyte for a table of a few rows costs more to
    // clear than the rows cost to read.
    const std::uint32_t perChunk = std::clamp<std::uint32_t>(
        static_cast<std::uint32_t>(kChunk / header.recordLength), 1, std::max(header.records, 1u));
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(perChunk) * header.recordLength);
    for (std::uint32_t first = 0; first < header.records; first += perChunk) {
        const std::uint32_t count = std::min(perChunk, header.records - first);
        data.read(header.headerLength + std::uint64_t{first} * header.recordLength, buffer.data(),
                  static_cast<std::size_t>(count) * header.recordLength);
        chunk(first, count, buffer.data());
    }
}

// std::popcount is a library call where the processor is not known to count bits itself, as on
// the baseline x86-64 that Debian and Windows builds target, and newRow asks it for every object.
std::uint32_t bitsSet(std::uint64_t w) {
    w -= (w >> 1) & 0x5555555555555555u;
    w = (w & 0x3333333333333333u) + ((w >> 2) & 0x3333333333333333u);
    w = (w + (w >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return static_cast<std::uint32_t>((w * 0x0101010101010101u) >> 56);
}

} // namespace

DataHeader readDataHeader(const InputFile& data, bool dbase) {
    const std::string& path = data.path();
    if (data.size() < 32)
        throwPackError(path + " is too short to hold a table header (" +
                       std::to_string(data.size()) + " bytes)");
    std::uint8_t p[32];
    data.read(0, p, sizeof p);
    DataHeader header;
    header.records = get32(p + 4);
    header.headerLength = get16(p + 8);
    header.recordLength = get16(p + 10);
    if (!dbase && header.records > 0x7FFFFFFFu)
        throwPackError(path + " has a negative record count in its header");
    if (header.headerLength < kMinHeader || header.recordLength < 1 ||
        header.headerLength > data.size())
        throwPackError(path + " has a damaged header: header length " +
                       std::to_string(header.headerLength) + ", record length " +
                       std::to_string(header.recordLength));
    const std::uint64_t needed =
        header.headerLength + static_cast<std::uint64_t>(header.records) * header.recordLength;
    if (data.size() < needed)
        throwPackError(
            path + " is shorter than its header says: " + std::to_string(header.records) +
            " records of " + std::to_string(header.recordLength) + " bytes need " +
            std::to_string(needed) + " bytes, the file has " + std::to_string(data.size()));
    const std::uint64_t extra = data.size() - needed;
    std::uint8_t last = 0;
    if (extra == 1)
        data.read(needed, &last, 1);
    if (extra == 1 && last == kEndMark)
        header.endMark = true;
    else if (extra != 0)
        // Whatever follows the records is not ours to drop.
        throwPackError(path + " has " + std::to_string(extra) +
                       " bytes after its last record that a pack would lose");
    if (dbase && (p[kProductionIndexFlag] & 0x01))
        throwPackError(path + " has a dBase production index that a pack would leave out of date");

    // The descriptors run to the 0x0D byte; a dBase header may have room for more after it.
    std::vector<std::uint8_t> descriptors(header.headerLength - 32);
    data.read(32, descriptors.data(), descriptors.size());
    unsigned widths = 0;
    for (std::size_t at = 0; at + kDescriptor <= descriptors.size(); at += kDescriptor) {
        const std::uint8_t* d = descriptors.data() + at;
        if (d[0] == kEndOfFields)
            break;
        FieldDescriptor f;
        f.name.assign(reinterpret_cast<const char*>(d), std::find(d, d + 11, 0) - d);
        f.type = static_cast<char>(d[11]);
        f.width = d[16];
        f.decimals = d[17];
        widths += f.width;
        header.fields.push_back(std::move(f));
    }
    // A record may be longer than its fields (dBase leaves a dropped column's bytes), not shorter.
    if (widths + 1 > header.recordLength)
        throwPackError(path + " has records of " + std::to_string(header.recordLength) +
                       " bytes, but its fields take " + std::to_string(widths + 1) +
                       " with the deletion flag");
    return header;
}

void checkFieldsAgainstTab(const DataHeader& header, const std::vector<TabField>& tabFields,
                           bool dbase, const std::string& dataPath, const std::string& tabPath) {
    const auto disagree = [&](const std::string& what) {
        throwPackError(tabPath + " and " + dataPath + " disagree: " + what +
                       "; the table is not packed");
    };
    // A dBase file stores every field as text, in widths the .tab does not state; MapInfo
    // shows the fields the .tab lists, so those at least must be there.
    if (dbase ? tabFields.size() > header.fields.size() : tabFields.size() != header.fields.size())
        disagree("the .tab lists " + std::to_string(tabFields.size()) + " fields, the data file " +
                 std::to_string(header.fields.size()));
    if (dbase)
        return;
    // Names are not compared: tools that rename a field may change only the .tab.
    for (std::size_t i = 0; i < tabFields.size(); ++i) {
        const TabField& t = tabFields[i];
        const FieldDescriptor& d = header.fields[i];
        const NativeType* native = nullptr;
        for (const NativeType& n : kNativeTypes)
            if (t.type == n.name)
                native = &n;
        if (!native)
            continue; // a type this program does not know: nothing to compare it with
        FieldDescriptor expected{t.name, native->type,
                                 native->width ? native->width : static_cast<unsigned>(t.width),
                                 native->type == 'N' ? static_cast<unsigned>(t.decimals) : 0u};
        if (d.type != expected.type || d.width != expected.width ||
            (d.type == 'N' && d.decimals != expected.decimals))
            disagree("field " + std::to_string(i + 1) + " (" + t.name + ") is " + t.type +
                     " in the .tab, stored as " + describe(expected) + ", but the data file has " +
                     describe(d));
    }
}

RowMap::RowMap(std::uint32_t rows) : m_rows(rows), m_bits((std::uint64_t{rows} + 63) / 64, 0) {}

void RowMap::keep(std::uint32_t row) {
    const std::uint32_t i = row - 1;
    m_bits[i / 64] |= std::uint64_t{1} << (i % 64);
}

void RowMap::finish() {
    m_before.resize(m_bits.size());
    std::uint32_t count = 0;
    for (std::size_t w = 0; w < m_bits.size(); ++w) {
        m_before[w] = count;
        count += bitsSet(m_bits[w]);
    }
    m_kept = count;
}

std::uint32_t RowMap::newRow(std::uint32_t row) const {
    if (row == 0 || row > m_rows)
        return 0;
    const std::uint32_t i = row - 1;
    const std::uint64_t word = m_bits[i / 64];
    const std::uint64_t bit = std::uint64_t{1} << (i % 64);
    if (!(word & bit))
        return 0;
    return m_before[i / 64] + bitsSet(word & (bit - 1)) + 1;
}

RowMap mapRows(const InputFile& data, const DataHeader& header, bool dbase) {
    RowMap rows(header.records);
    forEachChunkOfRecords(
        data, header, [&](std::uint32_t first, std::uint32_t count, const std::uint8_t* records) {
            for (std::uint32_t i = 0; i < count; ++i) {
                const std::uint8_t flag = records[std::size_t{i} * header.recordLength];
                if (flag == kDeleted)
                    continue;
                // A native record with any other flag is kept as it is: only '*' is a deletion that
                // MapInfo makes. dBase knows just the two flags, so anything else is not
                // understood.
                if (dbase && flag != kLive)
                    throwPackError(data.path() + ": row " + std::to_string(first + i + 1) +
                                   " has a deletion flag that is neither ' ' nor '*'");
                rows.keep(first + i + 1);
            }
        });
    rows.finish();
    return rows;
}

std::uint64_t packedDataSize(const DataHeader& header, const RowMap& rows) {
    return header.headerLength + std::uint64_t{header.recordLength} * rows.kept() +
           (header.endMark ? 1 : 0);
}

void writePackedData(const InputFile& data, const DataHeader& header, const RowMap& rows,
                     OutputFile& out) {
    std::vector<std::uint8_t> head(header.headerLength);
    data.read(0, head.data(), head.size());
    put32(head.data() + 4, rows.kept());
    out.write(head.data(), head.size());

    // Runs of surviving records go out in one piece.
    forEachChunkOfRecords(
        data, header, [&](std::uint32_t first, std::uint32_t count, const std::uint8_t* records) {
            std::uint32_t i = 0;
            while (i < count) {
                while (i < count && !rows.keeps(first + i + 1))
                    ++i;
                const std::uint32_t start = i;
                while (i < count && rows.keeps(first + i + 1))
                    ++i;
                if (i > start)
                    out.write(records + std::size_t{start} * header.recordLength,
                              std::size_t{i - start} * header.recordLength);
            }
        });
    if (header.endMark)
        out.write(&kEndMark, 1);
}

} // namespace vantero::tablefiles::detail
