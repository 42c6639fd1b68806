#include "tablefiles/MapFile.h"

#include "tablefiles/Bytes.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <memory>
#include <string>
#include <utility>

namespace vantero::tablefiles::detail {

namespace {

constexpr std::uint32_t kMagic = 42424242;
constexpr std::uint8_t kIndexBlock = 1;
constexpr std::uint8_t kObjectBlock = 2;
constexpr std::uint8_t kCoordBlock = 3;
constexpr std::uint8_t kToolBlock = 5;
constexpr std::uint32_t kObjectHeader = 20;
constexpr std::uint32_t kCoordHeader = 8;
constexpr std::uint32_t kIndexEntry = 20;
constexpr std::uint32_t kDeletedFlag = 0x40000000;
constexpr std::uint32_t kAnyDeletedFlag = 0xC0000000;
constexpr unsigned kMaxToolBlocks = 255;
constexpr unsigned kMaxTreeDepth = 255;
// Addresses in the .MAP and .ID are signed 32-bit numbers.
constexpr std::uint64_t kMaxMapSize = 0x7FFFFFFF;

// Header fields (offsets into the first block).
constexpr std::size_t kSizeTable = 0x000;
constexpr std::size_t kMagicAt = 0x100;
constexpr std::size_t kVersionAt = 0x104;
constexpr std::size_t kBlockSizeAt = 0x106;
constexpr std::size_t kMbrAt = 0x110;
constexpr std::size_t kRootAt = 0x130;
constexpr std::size_t kGarbageAt = 0x134;
constexpr std::size_t kToolAt = 0x138;
constexpr std::size_t kCountsAt = 0x13C;
constexpr std::size_t kCoordBufAt = 0x14C;
constexpr std::size_t kDepthAt = 0x15F;
constexpr std::size_t kToolCountAt = 0x168;

enum class Kind : std::uint8_t {
    None,
    Symbol,
    Line,
    Pline,
    Arc,
    Region300,
    Text,
    Rect,
    RoundRect,
    Ellipse,
    MultiPline300,
    FontSymbol,
    CustomSymbol,
    Region450,
    MultiPline450,
    MultiPoint,
    Collection,
    Unknown800,
    Region800,
    MultiPline800,
    MultiPoint800,
    Collection800,
};

struct TypeInfo {
    Kind kind;
    std::uint8_t compressedSize;
    std::uint8_t plainSize;
};

// Object codes come in threes: compressed, uncompressed, unused.
constexpr std::array<TypeInfo, 24> kTypes = {{
    {Kind::Symbol, 10, 14},
    {Kind::Line, 14, 22},
    {Kind::Pline, 34, 38},
    {Kind::Arc, 26, 42},
    {Kind::Region300, 37, 41},
    {Kind::Text, 39, 53},
    {Kind::Rect, 15, 23},
    {Kind::RoundRect, 19, 31},
    {Kind::Ellipse, 15, 23},
    {Kind::None, 0, 0},
    {Kind::None, 0, 0},
    {Kind::None, 0, 0},
    {Kind::MultiPline300, 36, 40},
    {Kind::FontSymbol, 22, 26},
    {Kind::CustomSymbol, 13, 17},
    {Kind::Region450, 37, 41},
    {Kind::MultiPline450, 36, 40},
    {Kind::MultiPoint, 50, 54},
    {Kind::Collection, 61, 61},
    {Kind::Unknown800, 43, 47},
    {Kind::Region800, 72, 76},
    {Kind::MultiPline800, 71, 75},
    {Kind::MultiPoint800, 83, 87},
    {Kind::Collection800, 66, 66},
}};

std::string hex(unsigned value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s = "0x";
    s.push_back(digits[(value >> 4) & 15]);
    s.push_back(digits[value & 15]);
    return s;
}

struct Mbr {
    std::int32_t xmin = std::numeric_limits<std::int32_t>::max();
    std::int32_t ymin = std::numeric_limits<std::int32_t>::max();
    std::int32_t xmax = std::numeric_limits<std::int32_t>::min();
    std::int32_t ymax = std::numeric_limits<std::int32_t>::min();

    bool empty() const { return xmin > xmax; }
    void add(std::int32_t x, std::int32_t y) {
        xmin = std::min(xmin, x);
        ymin = std::min(ymin, y);
        xmax = std::max(xmax, x);
        ymax = std::max(ymax, y);
    }
    void add(const Mbr& other) {
        if (!other.empty()) {
            add(other.xmin, other.ymin);
            add(other.xmax, other.ymax);
        }
    }
};

std::int32_t saturate(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// An object's coordinate data as fields of known widths: a pattern of widths repeated, such as a
// section header, or one width many times, such as vertices. A field is never split across two
// coordinate blocks, as MapInfo's own readers may expect; only text is cut anywhere.
struct Segment {
    std::uint64_t repeat = 0;
    std::array<std::uint8_t, 7> widths{};
    std::uint8_t fields = 0;
};

class Layout {
public:
    void clear() {
        m_segments.clear();
        m_total = 0;
    }
    void add(std::uint64_t repeat, std::initializer_list<std::uint32_t> widths) {
        if (repeat == 0)
            return;
        Segment s;
        s.repeat = repeat;
        std::uint64_t bytes = 0;
        for (const std::uint32_t w : widths) {
            s.widths[s.fields++] = static_cast<std::uint8_t>(w);
            bytes += w;
        }
        m_total += repeat * bytes;
        Segment* last = m_segments.empty() ? nullptr : &m_segments.back();
        if (s.fields == 1 && last && last->fields == 1 && last->widths[0] == s.widths[0])
            last->repeat += repeat;
        else
            m_segments.push_back(s);
    }
    // A stretch of bytes as fields of width, and any odd bytes after them.
    void fill(std::uint64_t bytes, std::uint32_t width) {
        add(bytes / width, {width});
        add(bytes % width, {1});
    }
    const std::vector<Segment>& segments() const { return m_segments; }
    std::uint64_t total() const { return m_total; }

private:
    std::vector<Segment> m_segments;
    std::uint64_t m_total = 0;
};

struct Counts {
    std::uint32_t points = 0, lines = 0, regions = 0, texts = 0;
    void add(const Counts& c) {
        points += c.points;
        lines += c.lines;
        regions += c.regions;
        texts += c.texts;
    }
};

struct Object {
    const std::uint8_t* record = nullptr; // in a copy of its block
    std::uint32_t address = 0;
    std::uint8_t type = 0;
    std::uint8_t size = 0;
    Kind kind = Kind::None;
    bool compressed = false;
};

class MapReader {
public:
    explicit MapReader(const InputFile& map) : m_map(map) {
        if (map.size() < 512)
            throwPackError(map.path() + " is not a MapInfo .MAP file");
        m_header.resize(512);
        map.read(0, m_header.data(), m_header.size());
        if (get32(m_header.data() + kMagicAt) != kMagic)
            throwPackError(map.path() + " is not a MapInfo .MAP file");
        const std::uint32_t version = get16(m_header.data() + kVersionAt);
        m_blockSize = get16(m_header.data() + kBlockSizeAt);
        if (m_blockSize < 512 || m_blockSize > 32256 || m_blockSize % 512 != 0)
            throwPackError(map.path() + " has an invalid block size " +
                           std::to_string(m_blockSize));
        const std::uint32_t headerSize = version >= 500 ? 1024 : 512;
        m_firstBlock = (headerSize + m_blockSize - 1) / m_blockSize * m_blockSize;
        if (map.size() < m_firstBlock)
            throwPackError(map.path() + " is shorter than its header");
        m_header.resize(m_firstBlock);
        map.read(0, m_header.data(), m_header.size());
        m_blocks = static_cast<std::uint32_t>(std::min<std::uint64_t>(
            map.size() / m_blockSize, std::numeric_limits<std::uint32_t>::max()));
        // Every object's coordinate data is its own, so reading more than the file holds, twice
        // over (once for the section headers, once to copy), means objects share or loop.
        m_coordBudget = 2 * map.size();
    }

    const InputFile& file() const { return m_map; }
    const std::string& path() const { return m_map.path(); }
    const std::vector<std::uint8_t>& header() const { return m_header; }
    std::uint32_t blockSize() const { return m_blockSize; }
    std::uint32_t firstBlock() const { return m_firstBlock; }
    std::uint32_t blocks() const { return m_blocks; }
    std::uint32_t blockOf(std::uint32_t addr) const { return addr - addr % m_blockSize; }
    bool isBlock(std::uint64_t addr) const {
        return addr % m_blockSize == 0 && addr >= m_firstBlock &&
               addr + m_blockSize <= m_map.size();
    }

    // Reads the block at addr, which must be a whole block of the file of the given type.
    void readBlock(std::uint32_t addr, std::uint8_t* into, std::uint8_t type,
                   const char* what) const {
        if (!isBlock(addr))
            throwPackError(path() + ": the " + what + " at " + std::to_string(addr) +
                           " lies outside the file's blocks");
        m_map.read(addr, into, m_blockSize);
        if (into[0] != type)
            throwPackError(path() + ": the " + what + " at " + std::to_string(addr) +
                           " is a block of type " + std::to_string(into[0]) + ", not " +
                           std::to_string(type));
    }

    // What can be wrong with a record, in the order it is looked for.
    enum class Flaw {
        None,
        BlockOverclaims,
        OutsideUsedPart,
        UnknownKind,
        SizeDisagrees,
        RunsPast
    };

    // The record at offset of an object block held in memory, if it is a well-formed record of a
    // known kind; the id is not checked. Every record of a pack passes here, so the words for a
    // flaw are made only by explain.
    Flaw examine(const std::uint8_t* block, std::uint32_t blockAddr, std::uint32_t offset,
                 Object& object) const {
        const std::uint32_t used = get16(block + 2);
        if (used > m_blockSize - kObjectHeader)
            return Flaw::BlockOverclaims;
        if (offset < kObjectHeader || offset >= kObjectHeader + used)
            return Flaw::OutsideUsedPart;
        const std::uint8_t type = block[offset];
        const unsigned code = type;
        if (code == 0 || code > 0x47 || (code - 1) % 3 == 2 ||
            kTypes[(code - 1) / 3].kind == Kind::None)
            return Flaw::UnknownKind;
        const TypeInfo& info = kTypes[(code - 1) / 3];
        object.compressed = (code - 1) % 3 == 0;
        object.size = object.compressed ? info.compressedSize : info.plainSize;
        if ((m_header[kSizeTable + type] & 0x7F) != object.size)
            return Flaw::SizeDisagrees;
        if (offset + object.size > kObjectHeader + used)
            return Flaw::RunsPast;
        object.record = block + offset;
        object.address = blockAddr + offset;
        object.type = type;
        object.kind = info.kind;
        return Flaw::None;
    }

    // The flaw examine found in the record at offset, in words.
    std::string explain(Flaw flaw, const std::uint8_t* block, std::uint32_t offset,
                        const Object& object) const {
        switch (flaw) {
        case Flaw::None:
            break;
        case Flaw::BlockOverclaims:
            return "is in an object block that claims more bytes than it has";
        case Flaw::OutsideUsedPart:
            return "is outside the used part of its object block";
        case Flaw::UnknownKind:
            return "is of unknown kind " + hex(block[offset]);
        case Flaw::SizeDisagrees:
            return "is of kind " + hex(block[offset]) + ", whose record size in the header (" +
                   std::to_string(m_header[kSizeTable + block[offset]] & 0x7F) + ") is not " +
                   std::to_string(object.size);
        case Flaw::RunsPast:
            return "runs past the used part of its object block";
        }
        return {};
    }

    // The records of an object block in order, as MapInfo's readers step through them: the walk
    // ends at a type byte of 0, at a kind whose size is not known, or at a record that would run
    // past the used part.
    template <typename Visit>
    void forEachRecord(const std::uint8_t* block, std::uint32_t blockAddr, Visit visit) const {
        const std::uint32_t end = kObjectHeader + get16(block + 2);
        for (std::uint32_t offset = kObjectHeader; offset + 5 < end;) {
            Object object;
            if (examine(block, blockAddr, offset, object) != Flaw::None)
                return;
            visit(object);
            offset += object.size;
        }
    }

    // The object at addr of a row the pack keeps: it must be there, and carry the row's number.
    // Its block is read into scratch, where the object's record stays.
    Object liveObject(std::uint32_t addr, std::uint32_t row,
                      std::vector<std::uint8_t>& scratch) const {
        Object object;
        const std::string problem = locate(addr, scratch, object);
        if (!problem.empty())
            throwPackError(path() + ": the object of row " + std::to_string(row) + " at " +
                           std::to_string(addr) + " " + problem);
        const std::uint32_t id = get32(object.record + 1);
        if (id != row)
            throwPackError(
                path() + ": the object at " + std::to_string(addr) +
                ((id & ~kAnyDeletedFlag) == row
                     ? " is marked deleted, but row " + std::to_string(row) + " still refers to it"
                     : " belongs to row " + std::to_string(id & ~kAnyDeletedFlag) +
                           ", not to row " + std::to_string(row) + " that refers to it"));
        return object;
    }

    std::string locate(std::uint32_t addr, std::vector<std::uint8_t>& scratch,
                       Object& object) const {
        const std::uint32_t blockAddr = blockOf(addr);
        if (!isBlock(blockAddr))
            return "lies outside the file's blocks";
        scratch.resize(m_blockSize);
        m_map.read(blockAddr, scratch.data(), m_blockSize);
        if (scratch[0] != kObjectBlock)
            return "is not in an object block";
        const std::uint32_t offset = addr - blockAddr;
        return explain(examine(scratch.data(), blockAddr, offset, object), scratch.data(), offset,
                       object);
    }

    void spendCoordBytes(std::uint64_t bytes) const {
        if (bytes > m_coordBudget)
            throwPackError(path() + ": its objects claim more coordinate data than the file holds");
        m_coordBudget -= bytes;
    }

private:
    const InputFile& m_map;
    std::vector<std::uint8_t> m_header;
    std::uint32_t m_blockSize = 512;
    std::uint32_t m_firstBlock = 1024;
    std::uint32_t m_blocks = 0;
    mutable std::uint64_t m_coordBudget = 0;
};

// Reads an object's coordinate data where it lies: from its address to the end of the used part
// of that block, then on from byte 8 of each next block of the chain.
class ChainReader {
public:
    ChainReader(const MapReader& map, std::uint32_t address) : m_map(map), m_start(address) {
        const std::uint32_t block = map.blockOf(address);
        enter(block);
        m_offset = address - block;
        if (m_offset == 0)
            m_offset = kCoordHeader; // the start of a block means the start of its data
        if (m_offset < kCoordHeader || m_offset > m_end)
            throwPackError(m_map.path() + ": coordinate data at " + std::to_string(m_start) +
                           " lies outside the used part of its block");
    }

    // Copies the next size bytes, or passes over them when into is nullptr.
    void read(std::uint8_t* into, std::uint64_t size) {
        m_map.spendCoordBytes(size);
        while (size > 0) {
            if (m_offset == m_end) {
                if (m_next == 0)
                    throwPackError(m_map.path() + ": the coordinate data at " +
                                   std::to_string(m_start) +
                                   " runs past the end of its block chain");
                // A block of the chain that adds nothing is allowed once in a while, not forever.
                if (++m_hops > m_consumed + 2)
                    throwPackError(m_map.path() + ": the coordinate block chain from " +
                                   std::to_string(m_start) + " loops");
                enter(m_next);
                m_offset = kCoordHeader;
                continue;
            }
            const std::uint32_t take =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(size, m_end - m_offset));
            if (into) {
                m_map.file().read(std::uint64_t{m_block} + m_offset, into, take);
                into += take;
            }
            m_offset += take;
            m_consumed += take;
            size -= take;
        }
    }

private:
    void enter(std::uint32_t block) {
        if (!m_map.isBlock(block))
            throwPackError(m_map.path() + ": the coordinate block at " + std::to_string(block) +
                           " lies outside the file's blocks");
        std::uint8_t head[kCoordHeader];
        m_map.file().read(block, head, sizeof head);
        if (head[0] != kCoordBlock)
            throwPackError(m_map.path() + ": the coordinate block at " + std::to_string(block) +
                           " is a block of type " + std::to_string(head[0]) + ", not " +
                           std::to_string(kCoordBlock));
        m_end = kCoordHeader + get16(head + 2);
        if (m_end > m_map.blockSize())
            throwPackError(m_map.path() + ": the coordinate block at " + std::to_string(block) +
                           " claims more bytes than it has");
        m_next = get32(head + 4);
        m_block = block;
    }

    const MapReader& m_map;
    std::uint32_t m_start;
    std::uint32_t m_block = 0;
    std::uint32_t m_offset = 0;
    std::uint32_t m_end = 0;
    std::uint32_t m_next = 0;
    std::uint64_t m_hops = 0;
    std::uint64_t m_consumed = 0;
};

// Whether records of the kind point at coordinate data of their own. The kinds whose layout is not
// known count as having some, so that they are never passed over unread.
bool hasCoordinateData(Kind kind) {
    switch (kind) {
    case Kind::Symbol:
    case Kind::FontSymbol:
    case Kind::CustomSymbol:
    case Kind::Line:
    case Kind::Arc:
    case Kind::Rect:
    case Kind::Ellipse:
    case Kind::RoundRect:
        return false;
    default:
        return true;
    }
}

// What the rewrite needs to know of one object record.
struct Facts {
    Mbr mbr;
    bool hasCoords = false;
    std::uint32_t coordAddress = 0;
    Counts counts;
};

// How many objects a record adds to the header's counts: one, but none for a collection of
// nothing.
std::uint32_t countedObjects(const Object& o) {
    if (o.kind != Kind::Collection && o.kind != Kind::Collection800)
        return 1;
    const bool v800 = o.kind == Kind::Collection800;
    const std::int64_t points = getS32(o.record + 9);
    const std::int64_t regions = v800 ? getS32(o.record + 21) : getS16(o.record + 21);
    const std::int64_t plines = v800 ? getS32(o.record + 25) : getS16(o.record + 23);
    return points != 0 || regions != 0 || plines != 0;
}

class Describer {
public:
    Describer(const MapReader& reader, const Object& object, std::int32_t cx, std::int32_t cy)
        : m_reader(reader), m_o(object), m_r(object.record), m_w(object.compressed ? 2 : 4),
          m_cx(cx), m_cy(cy) {}

    // The object's extent, its coordinate data and what it adds to the header's counts.
    Facts describe(Layout& layout) {
        Facts f;
        layout.clear();
        switch (m_o.kind) {
        case Kind::Symbol:
            bcPoint(5, f.mbr);
            ++f.counts.points;
            break;
        case Kind::FontSymbol:
            bcPoint(17, f.mbr);
            ++f.counts.points;
            break;
        case Kind::CustomSymbol:
            bcPoint(7, f.mbr);
            ++f.counts.points;
            break;
        case Kind::Line:
            bcPoint(5, f.mbr);
            bcPoint(5 + 2 * m_w, f.mbr);
            ++f.counts.lines;
            break;
        case Kind::Arc:
            // The object's extent is the arc's own box, after the defining ellipse's.
            bcPoint(9 + 4 * m_w, f.mbr);
            bcPoint(9 + 6 * m_w, f.mbr);
            ++f.counts.lines;
            break;
        case Kind::Rect:
        case Kind::Ellipse:
            bcPoint(5, f.mbr);
            bcPoint(5 + 2 * m_w, f.mbr);
            ++f.counts.regions;
            break;
        case Kind::RoundRect:
            bcPoint(5 + 2 * m_w, f.mbr);
            bcPoint(5 + 4 * m_w, f.mbr);
            ++f.counts.regions;
            break;
        case Kind::Text: {
            const std::int16_t length = getS16(m_r + 9);
            if (length < 0)
                fail("has a negative text length");
            bcPoint(24 + 3 * m_w, f.mbr);
            bcPoint(24 + 5 * m_w, f.mbr);
            coords(f);
            layout.add(static_cast<std::uint64_t>(length), {1});
            ++f.counts.texts;
            break;
        }
        case Kind::Pline:
        case Kind::Region300:
        case Kind::MultiPline300:
        case Kind::Region450:
        case Kind::MultiPline450:
        case Kind::Region800:
        case Kind::MultiPline800:
            describePolyline(f, layout);
            break;
        case Kind::MultiPoint:
        case Kind::MultiPoint800: {
            const std::int32_t points = getS32(m_r + 9);
            if (points < 0)
                fail("has a negative point count");
            ownOriginBox(m_o.kind == Kind::MultiPoint ? 30 : 63, true, f.mbr);
            coords(f);
            layout.add(2 * static_cast<std::uint64_t>(points), {m_w});
            ++f.counts.points;
            break;
        }
        case Kind::Collection:
        case Kind::Collection800:
            describeCollection(f, layout);
            break;
        case Kind::Unknown800:
        case Kind::None:
            fail("is of kind " + hex(m_o.type) +
                 ", whose layout is not known, so it cannot be moved");
        }
        return f;
    }

private:
    [[noreturn]] void fail(const std::string& why) const {
        throwPackError(m_reader.path() + ": an object of row " + std::to_string(get32(m_r + 1)) +
                       " " + why);
    }

    // A point relative to the object block's centre when compressed.
    void bcPoint(std::uint32_t at, Mbr& mbr) const {
        if (m_w == 2)
            mbr.add(saturate(std::int64_t{m_cx} + getS16(m_r + at)),
                    saturate(std::int64_t{m_cy} + getS16(m_r + at + 2)));
        else
            mbr.add(getS32(m_r + at), getS32(m_r + at + 4));
    }

    // The label, origin and box group of polylines, regions and multipoints (withLabel), or the
    // origin and box of collections. Compressed boxes are relative to the object's own origin.
    void ownOriginBox(std::uint32_t at, bool withLabel, Mbr& mbr) const {
        if (m_w == 2) {
            const std::uint32_t origin = at + (withLabel ? 4 : 0);
            const std::int64_t ox = getS32(m_r + origin), oy = getS32(m_r + origin + 4);
            const std::uint32_t box = origin + 8;
            mbr.add(saturate(ox + getS16(m_r + box)), saturate(oy + getS16(m_r + box + 2)));
            mbr.add(saturate(ox + getS16(m_r + box + 4)), saturate(oy + getS16(m_r + box + 6)));
        } else {
            const std::uint32_t box = at + (withLabel ? 8 : 0);
            mbr.add(getS32(m_r + box), getS32(m_r + box + 4));
            mbr.add(getS32(m_r + box + 8), getS32(m_r + box + 12));
        }
    }

    void coords(Facts& f) const {
        f.hasCoords = true;
        f.coordAddress = get32(m_r + 5);
    }

    // Section headers: vertex count, hole count, box, data offset. Compressed headers are
    // smaller than the size MapInfo records for them.
    std::uint32_t sectionHeaderSize(int form) const {
        return (form == 300 ? 4 : form == 450 ? 6 : 8) + 4 * m_w + 4;
    }

    // Reads the section headers where they lie and adds them and their vertices to the layout;
    // returns the size of the vertices, which follow the headers. The extent of the data comes from
    // these counts, not from the size in the record: MapInfo records that as if the headers were at
    // full size and every vertex took 8 bytes, more than a compressed or a V450 object really
    // holds.
    std::uint64_t readSections(ChainReader& in, std::int64_t sections, int form,
                               Layout& layout) const {
        const std::uint32_t size = sectionHeaderSize(form);
        if (static_cast<std::uint64_t>(sections) * size > m_reader.file().size())
            fail("has more sections than its file could hold");
        std::uint8_t header[28];
        std::uint64_t vertices = 0;
        for (std::int64_t i = 0; i < sections; ++i) {
            in.read(header, size);
            const std::int64_t count = form == 300 ? getS16(header) : getS32(header);
            if (count < 0)
                fail("has a section with a negative vertex count");
            vertices += static_cast<std::uint64_t>(count);
        }
        const std::uint32_t countWidth = form == 300 ? 2 : 4;
        const std::uint32_t holesWidth = form == 800 ? 4 : 2;
        layout.add(static_cast<std::uint64_t>(sections),
                   {countWidth, holesWidth, m_w, m_w, m_w, m_w, 4});
        if (vertices > m_reader.file().size())
            fail("has more vertices than its file could hold");
        layout.add(2 * vertices, {m_w});
        return 2 * vertices * m_w;
    }

    void describePolyline(Facts& f, Layout& layout) const {
        int form = 300;
        std::uint32_t group = 15;
        std::int64_t sections = 0;
        switch (m_o.kind) {
        case Kind::Pline:
            group = 13;
            break;
        case Kind::Region300:
        case Kind::MultiPline300:
            sections = getS16(m_r + 13);
            break;
        case Kind::Region450:
        case Kind::MultiPline450:
            form = 450;
            sections = getS16(m_r + 13);
            break;
        default:
            form = 800;
            sections = getS32(m_r + 13);
            group = 13 + 4 + 33;
            break;
        }
        if (sections < 0)
            fail("has a negative section count");
        ownOriginBox(group, true, f.mbr);
        coords(f);
        if (m_o.kind == Kind::Pline) {
            // One section and no header: the recorded size is the size of the vertices.
            layout.fill(get32(m_r + 9) & 0x7FFFFFFFu, m_w); // the top bit marks smoothing
        } else if (sections > 0) {
            ChainReader in(m_reader, f.coordAddress);
            readSections(in, sections, form, layout);
        }
        const bool region = m_o.kind == Kind::Region300 || m_o.kind == Kind::Region450 ||
                            m_o.kind == Kind::Region800;
        ++(region ? f.counts.regions : f.counts.lines);
    }

    // The parts of a collection follow one another: region, polyline, multipoint, each only when
    // it has something, each with a short header of label and box.
    void describeCollection(Facts& f, Layout& layout) const {
        const bool v800 = m_o.kind == Kind::Collection800;
        const std::int32_t points = getS32(m_r + 9);
        const std::int64_t regions = v800 ? getS32(m_r + 21) : getS16(m_r + 21);
        const std::int64_t plines = v800 ? getS32(m_r + 25) : getS16(m_r + 23);
        if (points < 0 || regions < 0 || plines < 0)
            fail("has a negative part count");
        ownOriginBox(v800 ? 50 : 45, false, f.mbr);
        coords(f);
        const int form = v800 ? 800 : 450;
        if (regions > 0 || plines > 0) {
            ChainReader in(m_reader, f.coordAddress);
            for (const std::int64_t sections : {regions, plines}) {
                if (sections == 0)
                    continue;
                layout.add(v800 ? 1 : 0, {4}); // a copy of the section count
                layout.add(6, {m_w});
                in.read(nullptr, (v800 ? 4 : 0) + 6 * m_w);
                in.read(nullptr, readSections(in, sections, form, layout));
            }
        }
        if (points > 0) {
            layout.add(6, {m_w});
            layout.add(2 * static_cast<std::uint64_t>(points), {m_w});
        }
        f.counts.regions += regions > 0;
        f.counts.lines += plines > 0;
        f.counts.points += points > 0;
    }

    const MapReader& m_reader;
    const Object& m_o;
    const std::uint8_t* m_r;
    std::uint32_t m_w;
    std::int32_t m_cx, m_cy;
};

[[noreturn]] void throwTooLarge() {
    throwPackError("the packed .MAP would exceed the 2 GB a .MAP can address");
}

// The coordinate blocks that follow one new object block, written as they fill: only the block
// being filled is held.
class CoordWriter {
public:
    CoordWriter(OutputFile& out, std::uint32_t blockSize)
        : m_out(out), m_blockSize(blockSize), m_block(blockSize) {}

    void start() {
        m_count = 0;
        m_open = false;
    }
    std::uint32_t blockCount() const { return m_count; }
    std::uint32_t first() const { return m_first; }
    std::uint32_t last() const { return m_address; }

    // Where the next byte goes, for an object without coordinate data.
    std::uint32_t position() {
        room(1);
        return m_address + m_offset;
    }

    // Copies an object's coordinate data, laid out as layout says, from where in reads it;
    // returns its new address.
    std::uint32_t copy(ChainReader& in, const Layout& layout) {
        std::uint32_t start = 0;
        bool started = false;
        const auto begin = [&](std::uint32_t width) {
            room(width);
            if (!started)
                start = m_address + m_offset;
            started = true;
        };
        for (const Segment& s : layout.segments()) {
            if (s.fields == 1) {
                const std::uint32_t width = s.widths[0];
                for (std::uint64_t left = s.repeat; left > 0;) {
                    begin(width);
                    const std::uint64_t fit =
                        std::min<std::uint64_t>(left, (m_blockSize - m_offset) / width);
                    in.read(m_block.data() + m_offset, fit * width);
                    m_offset += static_cast<std::uint32_t>(fit * width);
                    left -= fit;
                }
                continue;
            }
            std::uint32_t unit = 0;
            for (std::uint32_t i = 0; i < s.fields; ++i)
                unit += s.widths[i];
            for (std::uint64_t r = 0; r < s.repeat; ++r) {
                if (m_open && m_blockSize - m_offset >= unit) {
                    begin(unit); // the whole pattern fits: one read
                    in.read(m_block.data() + m_offset, unit);
                    m_offset += unit;
                    continue;
                }
                for (std::uint32_t i = 0; i < s.fields; ++i) {
                    begin(s.widths[i]);
                    in.read(m_block.data() + m_offset, s.widths[i]);
                    m_offset += s.widths[i];
                }
            }
        }
        return started ? start : position();
    }

    void finish() {
        if (m_open)
            close(0);
        m_open = false;
    }

private:
    void room(std::uint32_t width) {
        if (!m_open || m_blockSize - m_offset < width)
            open();
    }

    // The block being filled is always the next to be written, so its successor will lie right
    // after it.
    void open() {
        if (m_open)
            close(m_address + m_blockSize);
        if (m_out.size() + m_blockSize > kMaxMapSize)
            throwTooLarge();
        m_address = static_cast<std::uint32_t>(m_out.size());
        if (m_count++ == 0)
            m_first = m_address;
        std::fill(m_block.begin(), m_block.end(), 0);
        m_offset = kCoordHeader;
        m_open = true;
    }

    void close(std::uint32_t next) {
        put16(m_block.data(), kCoordBlock);
        put16(m_block.data() + 2, static_cast<std::uint16_t>(m_offset - kCoordHeader));
        put32(m_block.data() + 4, next);
        m_out.write(m_block.data(), m_block.size());
    }

    OutputFile& m_out;
    std::uint32_t m_blockSize;
    std::vector<std::uint8_t> m_block;
    bool m_open = false;
    std::uint32_t m_address = 0;
    std::uint32_t m_offset = 0;
    std::uint32_t m_first = 0;
    std::uint32_t m_count = 0;
};

struct IndexEntry {
    Mbr mbr;
    std::uint32_t child;
};

// Builds the spatial index bottom up as the object blocks are written, every level at once. A
// level holds at most two nodes' worth of entries: its last two nodes share what is left
// evenly, so that none is nearly empty.
class SpatialIndexWriter {
public:
    SpatialIndexWriter(OutputFile& out, std::uint32_t blockSize)
        : m_out(out), m_blockSize(blockSize), m_maxEntries((blockSize - 4) / kIndexEntry),
          m_block(blockSize) {}

    void add(const IndexEntry& entry) { add(0, entry); }

    // Writes what is left. Returns the root and the depth as MapInfo counts it (index levels
    // plus one); a lone object block is its own root, as in MapInfo.
    std::pair<std::uint32_t, std::uint8_t> finish() {
        if (m_levels.empty())
            return {0, 0};
        for (std::size_t level = 0;; ++level) {
            if (level + 2 > kMaxTreeDepth)
                throwPackError("the spatial index would be too deep");
            std::vector<IndexEntry> rest = std::move(m_levels[level].pending);
            const bool top = level + 1 == m_levels.size() && m_levels[level].written == 0;
            if (top && rest.size() == 1)
                return {rest.front().child, static_cast<std::uint8_t>(level + 1)};
            if (top && rest.size() <= m_maxEntries)
                return {writeNode(rest.data(), rest.size()).child,
                        static_cast<std::uint8_t>(level + 2)};
            const std::size_t nodes = (rest.size() + m_maxEntries - 1) / m_maxEntries;
            for (std::size_t n = 0, next = 0; n < nodes; ++n) {
                const std::size_t take = rest.size() / nodes + (n < rest.size() % nodes ? 1 : 0);
                add(level + 1, writeNode(rest.data() + next, take));
                next += take;
            }
        }
    }

private:
    struct Level {
        std::vector<IndexEntry> pending;
        std::size_t written = 0;
    };

    void add(std::size_t level, const IndexEntry& entry) {
        if (m_levels.size() <= level)
            m_levels.resize(level + 1);
        std::vector<IndexEntry>& pending = m_levels[level].pending;
        pending.push_back(entry);
        if (pending.size() < 2 * m_maxEntries)
            return;
        const IndexEntry parent = writeNode(pending.data(), m_maxEntries);
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(m_maxEntries));
        ++m_levels[level].written;
        add(level + 1, parent);
    }

    IndexEntry writeNode(const IndexEntry* entries, std::size_t count) {
        if (m_out.size() + m_blockSize > kMaxMapSize)
            throwTooLarge();
        std::fill(m_block.begin(), m_block.end(), 0);
        put16(m_block.data(), kIndexBlock);
        put16(m_block.data() + 2, static_cast<std::uint16_t>(count));
        IndexEntry parent{{}, static_cast<std::uint32_t>(m_out.size())};
        for (std::size_t i = 0; i < count; ++i) {
            std::uint8_t* at = m_block.data() + 4 + i * kIndexEntry;
            put32(at, static_cast<std::uint32_t>(entries[i].mbr.xmin));
            put32(at + 4, static_cast<std::uint32_t>(entries[i].mbr.ymin));
            put32(at + 8, static_cast<std::uint32_t>(entries[i].mbr.xmax));
            put32(at + 12, static_cast<std::uint32_t>(entries[i].mbr.ymax));
            put32(at + 16, entries[i].child);
            parent.mbr.add(entries[i].mbr);
        }
        m_out.write(m_block.data(), m_block.size());
        return parent;
    }

    OutputFile& m_out;
    std::uint32_t m_blockSize;
    std::size_t m_maxEntries;
    std::vector<std::uint8_t> m_block;
    std::vector<Level> m_levels;
};

// Visits the object blocks in the order the spatial index lists them, which keeps neighbours
// together in the new file. Each block is read into block before visit sees it.
template <typename Visit>
void forEachIndexedObjectBlock(const MapReader& reader, std::vector<std::uint8_t>& block,
                               Visit visit) {
    const std::uint32_t root = get32(reader.header().data() + kRootAt);
    if (root == 0)
        return;
    std::vector<bool> seen(reader.blocks(), false);
    const std::uint32_t maxEntries = (reader.blockSize() - 4) / kIndexEntry;
    std::vector<std::pair<std::uint32_t, unsigned>> stack{{root, 1}};
    block.resize(reader.blockSize());
    while (!stack.empty()) {
        const auto [addr, depth] = stack.back();
        stack.pop_back();
        if (!reader.isBlock(addr))
            throwPackError(reader.path() + ": the spatial index refers to " + std::to_string(addr) +
                           ", which is not a block of the file");
        const std::uint32_t index = addr / reader.blockSize();
        if (seen[index])
            throwPackError(reader.path() + ": the spatial index refers twice to the block at " +
                           std::to_string(addr));
        seen[index] = true;
        reader.file().read(addr, block.data(), block.size());
        if (block[0] == kObjectBlock) {
            visit(addr);
            continue;
        }
        if (block[0] != kIndexBlock)
            throwPackError(reader.path() + ": the spatial index refers to the block at " +
                           std::to_string(addr) + ", of type " + std::to_string(block[0]) +
                           ", which is neither an index nor an object block");
        const std::uint32_t entries = get16(block.data() + 2);
        if (entries > maxEntries || depth >= kMaxTreeDepth)
            throwPackError(reader.path() + ": the spatial index block at " + std::to_string(addr) +
                           " is damaged");
        for (std::uint32_t i = entries; i-- > 0;)
            stack.emplace_back(get32(block.data() + 4 + std::size_t{i} * kIndexEntry + 16),
                               depth + 1);
    }
}

// A flag a row: which rows' objects have been dealt with.
class RowFlags {
public:
    explicit RowFlags(std::uint32_t rows) : m_bits(std::size_t{rows} + 1, false) {}
    bool operator[](std::uint32_t row) const { return m_bits[row]; }
    void set(std::uint32_t row) { m_bits[row] = true; }

private:
    std::vector<bool> m_bits;
};

// The row a record belongs to, when it is the object the .ID gives that row: a record left
// behind by an edit, or in a block nothing uses any more, may still carry a row's number.
std::uint32_t rowOfRecord(const Object& o, const IdFile& ids) {
    const std::uint32_t id = get32(o.record + 1);
    if (id == 0 || (id & kAnyDeletedFlag) || id > ids.rows() || ids.at(id) != o.address)
        return 0;
    return id;
}

void checkHeaderCounts(const MapReader& reader, std::uint64_t objects) {
    const std::uint8_t* h = reader.header().data();
    std::uint64_t counted = 0;
    for (int kind = 0; kind < 4; ++kind)
        counted += get32(h + kCountsAt + std::ptrdiff_t{4} * kind);
    // MapInfo's own counts are the objects it holds; others only ever add to them.
    if (counted < objects)
        throwPackError(reader.path() + ": its header counts " + std::to_string(counted) +
                       " objects, but the rows refer to " + std::to_string(objects) +
                       "; the files disagree, so the table is not packed");
}

class MapRewriter {
public:
    MapRewriter(const InputFile& map, IdFile& ids, const RowMap* rows, OutputFile& out)
        : m_reader(map), m_ids(ids), m_rows(rows), m_out(out), m_bs(m_reader.blockSize()),
          m_done(ids.rows()), m_coords(out, m_bs), m_index(out, m_bs), m_newBlock(m_bs) {}

    void run() {
        m_header = m_reader.header();
        m_out.write(m_header.data(), m_header.size());
        copyTools();
        std::vector<std::uint8_t> block;
        forEachIndexedObjectBlock(m_reader, block, [&](std::uint32_t blockAddr) {
            m_reader.forEachRecord(block.data(), blockAddr, [&](const Object& o) {
                const std::uint32_t row = rowOfRecord(o, m_ids);
                if (row == 0 || m_done[row])
                    return;
                if (keeps(row))
                    take(block.data(), o, row);
            });
            endBlock();
        });
        takeTheRest();
        checkHeaderCounts(m_reader, m_objects);
        patchHeader();
    }

private:
    // The row's number in the packed table, 0 for a row the pack removes.
    bool keeps(std::uint32_t row) const { return !m_rows || m_rows->keeps(row); }

    // Drawing tools come first, each block as it was, chained at its new place.
    void copyTools() {
        std::uint32_t addr = get32(m_header.data() + kToolAt);
        std::vector<std::uint8_t> block(m_bs);
        while (addr != 0) {
            if (++m_toolBlocks > kMaxToolBlocks)
                throwPackError(m_reader.path() +
                               ": the chain of drawing-tool blocks is too long or loops");
            m_reader.readBlock(addr, block.data(), kToolBlock, "drawing-tool block");
            const auto here = static_cast<std::uint32_t>(m_out.size());
            if (m_firstTool == 0)
                m_firstTool = here;
            addr = get32(block.data() + 4);
            put32(block.data() + 4, addr != 0 ? here + m_bs : 0);
            m_out.write(block.data(), block.size());
        }
    }

    // Objects the walk of the index did not reach: in blocks it does not list, or behind a
    // record the walk could not step over. Each must be where the .ID says.
    void takeTheRest() {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> rest; // address, row
        for (std::uint32_t row = 1; row <= m_ids.rows(); ++row)
            if (m_ids.at(row) != 0 && !m_done[row] && keeps(row))
                rest.emplace_back(m_ids.at(row), row);
        std::sort(rest.begin(), rest.end());
        std::vector<std::uint8_t> scratch;
        for (std::size_t i = 0; i < rest.size(); ++i) {
            const auto [addr, row] = rest[i];
            if (i > 0 && rest[i - 1].first == addr)
                throwPackError(m_reader.path() + ": rows " + std::to_string(rest[i - 1].second) +
                               " and " + std::to_string(row) + " refer to the same object");
            if (i > 0 && m_reader.blockOf(rest[i - 1].first) != m_reader.blockOf(addr))
                endBlock();
            const Object o = m_reader.liveObject(addr, row, scratch);
            take(scratch.data(), o, row);
        }
        endBlock();
    }

    void take(const std::uint8_t* oldBlock, const Object& o, std::uint32_t row) {
        if (!m_blockOpen)
            beginBlock(oldBlock);
        m_ids.set(row, m_newBlockAddr + kObjectHeader + m_used);
        m_done.set(row);
        m_used += o.size;
        m_objects += countedObjects(o);
        // A measure needs only the sizes, and an object without coordinate data adds nothing to
        // them but its record: its extent and its bytes are for a file nobody reads.
        if (m_out.onlyMeasured() && !hasCoordinateData(o.kind))
            return;
        const Facts facts = Describer(m_reader, o, m_cx, m_cy).describe(m_layout);
        std::uint8_t* record = m_newBlock.data() + kObjectHeader + m_used - o.size;
        std::copy(o.record, o.record + o.size, record);
        put32(record + 1, m_rows ? m_rows->newRow(row) : row);
        if (facts.hasCoords && !(facts.coordAddress == 0 && m_layout.total() == 0)) {
            std::uint32_t at = 0;
            if (m_layout.total() == 0) {
                at = m_coords.position();
            } else {
                ChainReader in(m_reader, facts.coordAddress);
                at = m_coords.copy(in, m_layout);
            }
            put32(record + 5, at);
        }
        m_leaf.add(facts.mbr);
        m_counts.add(facts.counts);
    }

    // The new block keeps the old one's centre, which its compressed records are relative to.
    void beginBlock(const std::uint8_t* oldBlock) {
        if (m_out.size() + m_bs > kMaxMapSize)
            throwTooLarge();
        m_newBlockAddr = static_cast<std::uint32_t>(m_out.size());
        m_out.writeZeros(m_bs); // the block is written once its records are known
        m_cx = getS32(oldBlock + 4);
        m_cy = getS32(oldBlock + 8);
        std::fill(m_newBlock.begin(), m_newBlock.end(), 0);
        m_used = 0;
        m_leaf = {};
        m_coords.start();
        m_blockOpen = true;
    }

    void endBlock() {
        if (!m_blockOpen)
            return;
        m_blockOpen = false;
        m_coords.finish();
        std::uint8_t* b = m_newBlock.data();
        put16(b, kObjectBlock);
        put16(b + 2, static_cast<std::uint16_t>(m_used));
        put32(b + 4, static_cast<std::uint32_t>(m_cx));
        put32(b + 8, static_cast<std::uint32_t>(m_cy));
        put32(b + 12, m_coords.blockCount() ? m_coords.first() : 0);
        put32(b + 16, m_coords.blockCount() ? m_coords.last() : 0);
        m_out.writeAt(m_newBlockAddr, b, m_bs);
        m_longestChain = std::max(m_longestChain, m_coords.blockCount());
        m_all.add(m_leaf);
        m_index.add({m_leaf, m_newBlockAddr});
    }

    void patchHeader() {
        const auto [root, depth] = m_index.finish();
        std::uint8_t* h = m_header.data();
        if (!m_all.empty()) {
            put32(h + kMbrAt, static_cast<std::uint32_t>(m_all.xmin));
            put32(h + kMbrAt + 4, static_cast<std::uint32_t>(m_all.ymin));
            put32(h + kMbrAt + 8, static_cast<std::uint32_t>(m_all.xmax));
            put32(h + kMbrAt + 12, static_cast<std::uint32_t>(m_all.ymax));
        }
        put32(h + kRootAt, root);
        put32(h + kGarbageAt, 0);
        put32(h + kToolAt, m_firstTool);
        put32(h + kCountsAt, m_counts.points);
        put32(h + kCountsAt + 4, m_counts.lines);
        put32(h + kCountsAt + 8, m_counts.regions);
        put32(h + kCountsAt + 12, m_counts.texts);
        // A size hint for readers' buffers: it is never lowered, and a file that says 0
        // (MapInfo's choice for newer objects) keeps 0.
        const std::uint32_t oldBuffer = get32(h + kCoordBufAt);
        if (oldBuffer != 0)
            put32(h + kCoordBufAt, std::max(oldBuffer, m_longestChain * m_bs));
        h[kDepthAt] = depth;
        h[kToolCountAt] = static_cast<std::uint8_t>(m_toolBlocks);
        m_out.writeAt(0, m_header.data(), m_header.size());
    }

    const MapReader m_reader;
    IdFile& m_ids;
    const RowMap* m_rows;
    OutputFile& m_out;
    const std::uint32_t m_bs;
    RowFlags m_done;
    CoordWriter m_coords;
    SpatialIndexWriter m_index;
    std::vector<std::uint8_t> m_header;
    std::vector<std::uint8_t> m_newBlock;
    Layout m_layout;
    bool m_blockOpen = false;
    std::uint32_t m_newBlockAddr = 0;
    std::int32_t m_cx = 0, m_cy = 0;
    std::uint32_t m_used = 0;
    Mbr m_leaf, m_all;
    Counts m_counts;
    std::uint64_t m_objects = 0;
    std::uint32_t m_longestChain = 0;
    std::uint32_t m_toolBlocks = 0;
    std::uint32_t m_firstTool = 0;
};

} // namespace

IdFile::IdFile(const InputFile& file) {
    if (file.size() % 4 != 0)
        throwPackError(file.path() + " has a size that is not a whole number of entries");
    if (file.size() / 4 > std::numeric_limits<std::int32_t>::max())
        throwPackError(file.path() + " is too large");
    m_entries.resize(static_cast<std::size_t>(file.size() / 4));
    const std::size_t chunk = std::min<std::size_t>(1 << 16, m_entries.size());
    std::vector<std::uint8_t> bytes(4 * chunk);
    for (std::size_t first = 0; first < m_entries.size(); first += chunk) {
        const std::size_t count = std::min(chunk, m_entries.size() - first);
        file.read(4 * std::uint64_t{first}, bytes.data(), 4 * count);
        for (std::size_t i = 0; i < count; ++i)
            m_entries[first + i] = get32(bytes.data() + 4 * i);
    }
}

void checkIdsAgainstMap(const IdFile& ids, const std::string& idPath, const InputFile* map,
                        const RowMap* rows) {
    const auto disagree = [&](std::uint32_t row, const std::string& what) {
        throwPackError(idPath + ": row " + std::to_string(row) + " refers to an object " + what +
                       "; the files disagree, so the table is not packed");
    };
    std::unique_ptr<MapReader> reader;
    std::uint32_t firstWithObject = 0;
    for (std::uint32_t row = 1; row <= ids.rows(); ++row) {
        const std::uint32_t addr = ids.at(row);
        if (addr == 0)
            continue;
        if (!map)
            disagree(row, "at " + std::to_string(addr) + ", but the table has no .MAP");
        if (!reader)
            reader = std::make_unique<MapReader>(*map);
        if (addr < reader->firstBlock() || addr >= map->size())
            disagree(row, "at " + std::to_string(addr) +
                              (addr < reader->firstBlock() ? ", inside the header of "
                                                           : ", past the end of ") +
                              map->path() + " (" + std::to_string(map->size()) + " bytes)");
        if (firstWithObject == 0 && (!rows || rows->keeps(row)))
            firstWithObject = row;
    }
    if (firstWithObject == 0)
        return;
    // Its counts are compared with the objects once they have all been read.
    if (get32(reader->header().data() + kRootAt) == 0)
        throwPackError(map->path() + ": its header says it holds no object, yet row " +
                       std::to_string(firstWithObject) + " of " + idPath +
                       " refers to one; the files disagree, so the table is not packed");
}

void renumberMapObjects(const InputFile& map, const IdFile& ids, const RowMap& rows,
                        OutputFile& out) {
    const MapReader reader(map);
    const std::uint32_t bs = reader.blockSize();
    RowFlags done(ids.rows());
    std::uint64_t objects = 0;
    // The record's row, in place, for the row it takes or the flag of the row that goes.
    const auto renumber = [&](const Object& o, std::uint32_t row, std::uint8_t* id) {
        const std::uint32_t newRow = rows.newRow(row);
        put32(id, newRow != 0 ? newRow : row | kDeletedFlag);
        objects += newRow != 0 ? countedObjects(o) : 0;
        done.set(row);
    };

    // The file is copied in whole blocks, each object block's records renumbered on the way.
    const std::uint64_t chunk = std::max<std::uint64_t>(1, (4u << 20) / bs) * bs;
    std::vector<std::uint8_t> buffer;
    for (std::uint64_t at = 0; at < map.size(); at += chunk) {
        const std::uint64_t size = std::min(chunk, map.size() - at);
        buffer.resize(static_cast<std::size_t>(size));
        map.read(at, buffer.data(), buffer.size());
        for (std::uint64_t b = std::max<std::uint64_t>(at, reader.firstBlock());
             b + bs <= at + size; b += bs) {
            std::uint8_t* block = buffer.data() + (b - at);
            if (block[0] != kObjectBlock)
                continue;
            reader.forEachRecord(block, static_cast<std::uint32_t>(b), [&](const Object& o) {
                if (const std::uint32_t row = rowOfRecord(o, ids); row != 0 && !done[row])
                    renumber(o, row, const_cast<std::uint8_t*>(o.record) + 1);
            });
        }
        out.write(buffer.data(), buffer.size());
    }

    // Objects the walk through the blocks could not reach are patched where they are; a row
    // that stays must find its object there.
    std::vector<std::uint8_t> scratch;
    for (std::uint32_t row = 1; row <= ids.rows(); ++row) {
        const std::uint32_t addr = ids.at(row);
        if (addr == 0 || done[row])
            continue;
        Object o;
        if (rows.keeps(row))
            o = reader.liveObject(addr, row, scratch);
        else if (!reader.locate(addr, scratch, o).empty() || get32(o.record + 1) != row)
            continue; // the row goes, and whatever is there is not its object
        std::uint8_t id[4];
        renumber(o, row, id);
        out.writeAt(std::uint64_t{addr} + 1, id, sizeof id);
    }
    checkHeaderCounts(reader, objects);
}

void rewriteMap(const InputFile& map, IdFile& ids, const RowMap* rows, OutputFile& out) {
    MapRewriter(map, ids, rows, out).run();
}

} // namespace vantero::tablefiles::detail
