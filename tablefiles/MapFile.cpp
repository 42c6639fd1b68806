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

std::string Hex(unsigned value) {
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

    bool Empty() const { return xmin > xmax; }
    void Add(std::int32_t x, std::int32_t y) {
        xmin = std::min(xmin, x);
        ymin = std::min(ymin, y);
        xmax = std::max(xmax, x);
        ymax = std::max(ymax, y);
    }
    void Add(const Mbr& other) {
        if (!other.Empty()) {
            Add(other.xmin, other.ymin);
            Add(other.xmax, other.ymax);
        }
    }
};

std::int32_t Saturate(std::int64_t v) {
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
    void Clear() {
        segments_.clear();
        total_ = 0;
    }
    void Add(std::uint64_t repeat, std::initializer_list<std::uint32_t> widths) {
        if (repeat == 0)
            return;
        Segment s;
        s.repeat = repeat;
        std::uint64_t bytes = 0;
        for (const std::uint32_t w : widths) {
            s.widths[s.fields++] = static_cast<std::uint8_t>(w);
            bytes += w;
        }
        total_ += repeat * bytes;
        Segment* last = segments_.empty() ? nullptr : &segments_.back();
        if (s.fields == 1 && last && last->fields == 1 && last->widths[0] == s.widths[0])
            last->repeat += repeat;
        else
            segments_.push_back(s);
    }
    // A stretch of bytes as fields of width, and any odd bytes after them.
    void Fill(std::uint64_t bytes, std::uint32_t width) {
        Add(bytes / width, {width});
        Add(bytes % width, {1});
    }
    const std::vector<Segment>& segments() const { return segments_; }
    std::uint64_t total() const { return total_; }

private:
    std::vector<Segment> segments_;
    std::uint64_t total_ = 0;
};

struct Counts {
    std::uint32_t points = 0, lines = 0, regions = 0, texts = 0;
    void Add(const Counts& c) {
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
    explicit MapReader(const InputFile& map) : map_(map) {
        if (map.size() < 512)
            ThrowPackError(map.path() + " is not a MapInfo .MAP file");
        header_.resize(512);
        map.Read(0, header_.data(), header_.size());
        if (Get32(header_.data() + kMagicAt) != kMagic)
            ThrowPackError(map.path() + " is not a MapInfo .MAP file");
        const std::uint32_t version = Get16(header_.data() + kVersionAt);
        blockSize_ = Get16(header_.data() + kBlockSizeAt);
        if (blockSize_ < 512 || blockSize_ > 32256 || blockSize_ % 512 != 0)
            ThrowPackError(map.path() + " has an invalid block size " + std::to_string(blockSize_));
        const std::uint32_t headerSize = version >= 500 ? 1024 : 512;
        firstBlock_ = (headerSize + blockSize_ - 1) / blockSize_ * blockSize_;
        if (map.size() < firstBlock_)
            ThrowPackError(map.path() + " is shorter than its header");
        header_.resize(firstBlock_);
        map.Read(0, header_.data(), header_.size());
        blocks_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(
            map.size() / blockSize_, std::numeric_limits<std::uint32_t>::max()));
        // Every object's coordinate data is its own, so reading more than the file holds, twice
        // over (once for the section headers, once to copy), means objects share or loop.
        coordBudget_ = 2 * map.size();
    }

    const InputFile& file() const { return map_; }
    const std::string& path() const { return map_.path(); }
    const std::vector<std::uint8_t>& header() const { return header_; }
    std::uint32_t blockSize() const { return blockSize_; }
    std::uint32_t firstBlock() const { return firstBlock_; }
    std::uint32_t blocks() const { return blocks_; }
    std::uint32_t BlockOf(std::uint32_t addr) const { return addr - addr % blockSize_; }
    bool IsBlock(std::uint64_t addr) const {
        return addr % blockSize_ == 0 && addr >= firstBlock_ && addr + blockSize_ <= map_.size();
    }

    // Reads the block at addr, which must be a whole block of the file of the given type.
    void ReadBlock(std::uint32_t addr, std::uint8_t* into, std::uint8_t type,
                   const char* what) const {
        if (!IsBlock(addr))
            ThrowPackError(path() + ": the " + what + " at " + std::to_string(addr) +
                           " lies outside the file's blocks");
        map_.Read(addr, into, blockSize_);
        if (into[0] != type)
            ThrowPackError(path() + ": the " + what + " at " + std::to_string(addr) +
                           " is a block of type " + std::to_string(into[0]) + ", not " +
                           std::to_string(type));
    }

    // The record at offset of an object block held in memory, if it is a well-formed record of a
    // known kind; the id is not checked. Returns an explanation when it is not.
    std::string Examine(const std::uint8_t* block, std::uint32_t blockAddr, std::uint32_t offset,
                        Object& object) const {
        const std::uint32_t used = Get16(block + 2);
        if (used > blockSize_ - kObjectHeader)
            return "is in an object block that claims more bytes than it has";
        if (offset < kObjectHeader || offset >= kObjectHeader + used)
            return "is outside the used part of its object block";
        const std::uint8_t type = block[offset];
        const unsigned code = type;
        if (code == 0 || code > 0x47 || (code - 1) % 3 == 2 ||
            kTypes[(code - 1) / 3].kind == Kind::None)
            return "is of unknown kind " + Hex(type);
        const TypeInfo& info = kTypes[(code - 1) / 3];
        object.compressed = (code - 1) % 3 == 0;
        object.size = object.compressed ? info.compressedSize : info.plainSize;
        if ((header_[kSizeTable + type] & 0x7F) != object.size)
            return "is of kind " + Hex(type) + ", whose record size in the header (" +
                   std::to_string(header_[kSizeTable + type] & 0x7F) + ") is not " +
                   std::to_string(object.size);
        if (offset + object.size > kObjectHeader + used)
            return "runs past the used part of its object block";
        object.record = block + offset;
        object.address = blockAddr + offset;
        object.type = type;
        object.kind = info.kind;
        return {};
    }

    // The records of an object block in order, as MapInfo's readers step through them: the walk
    // ends at a type byte of 0, at a kind whose size is not known, or at a record that would run
    // past the used part.
    template <typename Visit>
    void ForEachRecord(const std::uint8_t* block, std::uint32_t blockAddr, Visit visit) const {
        const std::uint32_t end = kObjectHeader + Get16(block + 2);
        for (std::uint32_t offset = kObjectHeader; offset + 5 < end;) {
            Object object;
            if (!Examine(block, blockAddr, offset, object).empty())
                return;
            visit(object);
            offset += object.size;
        }
    }

    // The object at addr of a row the pack keeps: it must be there, and carry the row's number.
    // Its block is read into scratch, where the object's record stays.
    Object LiveObject(std::uint32_t addr, std::uint32_t row,
                      std::vector<std::uint8_t>& scratch) const {
        Object object;
        const std::string problem = Locate(addr, scratch, object);
        if (!problem.empty())
            ThrowPackError(path() + ": the object of row " + std::to_string(row) + " at " +
                           std::to_string(addr) + " " + problem);
        const std::uint32_t id = Get32(object.record + 1);
        if (id != row)
            ThrowPackError(
                path() + ": the object at " + std::to_string(addr) +
                ((id & ~kAnyDeletedFlag) == row
                     ? " is marked deleted, but row " + std::to_string(row) + " still refers to it"
                     : " belongs to row " + std::to_string(id & ~kAnyDeletedFlag) +
                           ", not to row " + std::to_string(row) + " that refers to it"));
        return object;
    }

    std::string Locate(std::uint32_t addr, std::vector<std::uint8_t>& scratch,
                       Object& object) const {
        const std::uint32_t blockAddr = BlockOf(addr);
        if (!IsBlock(blockAddr))
            return "lies outside the file's blocks";
        scratch.resize(blockSize_);
        map_.Read(blockAddr, scratch.data(), blockSize_);
        if (scratch[0] != kObjectBlock)
            return "is not in an object block";
        return Examine(scratch.data(), blockAddr, addr - blockAddr, object);
    }

    void SpendCoordBytes(std::uint64_t bytes) const {
        if (bytes > coordBudget_)
            ThrowPackError(path() + ": its objects claim more coordinate data than the file holds");
        coordBudget_ -= bytes;
    }

private:
    const InputFile& map_;
    std::vector<std::uint8_t> header_;
    std::uint32_t blockSize_ = 512;
    std::uint32_t firstBlock_ = 1024;
    std::uint32_t blocks_ = 0;
    mutable std::uint64_t coordBudget_ = 0;
};

// Reads an object's coordinate data where it lies: from its address to the end of the used part
// of that block, then on from byte 8 of each next block of the chain.
class ChainReader {
public:
    ChainReader(const MapReader& map, std::uint32_t address) : map_(map), start_(address) {
        const std::uint32_t block = map.BlockOf(address);
        Enter(block);
        offset_ = address - block;
        if (offset_ == 0)
            offset_ = kCoordHeader; // the start of a block means the start of its data
        if (offset_ < kCoordHeader || offset_ > end_)
            ThrowPackError(map_.path() + ": coordinate data at " + std::to_string(start_) +
                           " lies outside the used part of its block");
    }

    // Copies the next size bytes, or passes over them when into is nullptr.
    void Read(std::uint8_t* into, std::uint64_t size) {
        map_.SpendCoordBytes(size);
        while (size > 0) {
            if (offset_ == end_) {
                if (next_ == 0)
                    ThrowPackError(map_.path() + ": the coordinate data at " +
                                   std::to_string(start_) +
                                   " runs past the end of its block chain");
                // A block of the chain that adds nothing is allowed once in a while, not forever.
                if (++hops_ > consumed_ + 2)
                    ThrowPackError(map_.path() + ": the coordinate block chain from " +
                                   std::to_string(start_) + " loops");
                Enter(next_);
                offset_ = kCoordHeader;
                continue;
            }
            const std::uint32_t take =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(size, end_ - offset_));
            if (into) {
                map_.file().Read(std::uint64_t{block_} + offset_, into, take);
                into += take;
            }
            offset_ += take;
            consumed_ += take;
            size -= take;
        }
    }

private:
    void Enter(std::uint32_t block) {
        if (!map_.IsBlock(block))
            ThrowPackError(map_.path() + ": the coordinate block at " + std::to_string(block) +
                           " lies outside the file's blocks");
        std::uint8_t head[kCoordHeader];
        map_.file().Read(block, head, sizeof head);
        if (head[0] != kCoordBlock)
            ThrowPackError(map_.path() + ": the coordinate block at " + std::to_string(block) +
                           " is a block of type " + std::to_string(head[0]) + ", not " +
                           std::to_string(kCoordBlock));
        end_ = kCoordHeader + Get16(head + 2);
        if (end_ > map_.blockSize())
            ThrowPackError(map_.path() + ": the coordinate block at " + std::to_string(block) +
                           " claims more bytes than it has");
        next_ = Get32(head + 4);
        block_ = block;
    }

    const MapReader& map_;
    std::uint32_t start_;
    std::uint32_t block_ = 0;
    std::uint32_t offset_ = 0;
    std::uint32_t end_ = 0;
    std::uint32_t next_ = 0;
    std::uint64_t hops_ = 0;
    std::uint64_t consumed_ = 0;
};

// What the rewrite needs to know of one object record.
struct Facts {
    Mbr mbr;
    bool hasCoords = false;
    std::uint32_t coordAddress = 0;
    Counts counts;
};

// How many objects a record adds to the header's counts: one, but none for a collection of
// nothing.
std::uint32_t CountedObjects(const Object& o) {
    if (o.kind != Kind::Collection && o.kind != Kind::Collection800)
        return 1;
    const bool v800 = o.kind == Kind::Collection800;
    const std::int64_t points = GetS32(o.record + 9);
    const std::int64_t regions = v800 ? GetS32(o.record + 21) : GetS16(o.record + 21);
    const std::int64_t plines = v800 ? GetS32(o.record + 25) : GetS16(o.record + 23);
    return points != 0 || regions != 0 || plines != 0;
}

class Describer {
public:
    Describer(const MapReader& reader, const Object& object, std::int32_t cx, std::int32_t cy)
        : reader_(reader), o_(object), r_(object.record), w_(object.compressed ? 2 : 4), cx_(cx),
          cy_(cy) {}

    // The object's extent, its coordinate data and what it adds to the header's counts.
    Facts Describe(Layout& layout) {
        Facts f;
        layout.Clear();
        switch (o_.kind) {
        case Kind::Symbol:
            BcPoint(5, f.mbr);
            ++f.counts.points;
            break;
        case Kind::FontSymbol:
            BcPoint(17, f.mbr);
            ++f.counts.points;
            break;
        case Kind::CustomSymbol:
            BcPoint(7, f.mbr);
            ++f.counts.points;
            break;
        case Kind::Line:
            BcPoint(5, f.mbr);
            BcPoint(5 + 2 * w_, f.mbr);
            ++f.counts.lines;
            break;
        case Kind::Arc:
            // The object's extent is the arc's own box, after the defining ellipse's.
            BcPoint(9 + 4 * w_, f.mbr);
            BcPoint(9 + 6 * w_, f.mbr);
            ++f.counts.lines;
            break;
        case Kind::Rect:
        case Kind::Ellipse:
            BcPoint(5, f.mbr);
            BcPoint(5 + 2 * w_, f.mbr);
            ++f.counts.regions;
            break;
        case Kind::RoundRect:
            BcPoint(5 + 2 * w_, f.mbr);
            BcPoint(5 + 4 * w_, f.mbr);
            ++f.counts.regions;
            break;
        case Kind::Text: {
            const std::int16_t length = GetS16(r_ + 9);
            if (length < 0)
                Fail("has a negative text length");
            BcPoint(24 + 3 * w_, f.mbr);
            BcPoint(24 + 5 * w_, f.mbr);
            Coords(f);
            layout.Add(static_cast<std::uint64_t>(length), {1});
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
            DescribePolyline(f, layout);
            break;
        case Kind::MultiPoint:
        case Kind::MultiPoint800: {
            const std::int32_t points = GetS32(r_ + 9);
            if (points < 0)
                Fail("has a negative point count");
            OwnOriginBox(o_.kind == Kind::MultiPoint ? 30 : 63, true, f.mbr);
            Coords(f);
            layout.Add(2 * static_cast<std::uint64_t>(points), {w_});
            ++f.counts.points;
            break;
        }
        case Kind::Collection:
        case Kind::Collection800:
            DescribeCollection(f, layout);
            break;
        case Kind::Unknown800:
        case Kind::None:
            Fail("is of kind " + Hex(o_.type) +
                 ", whose layout is not known, so it cannot be moved");
        }
        return f;
    }

private:
    [[noreturn]] void Fail(const std::string& why) const {
        ThrowPackError(reader_.path() + ": an object of row " + std::to_string(Get32(r_ + 1)) +
                       " " + why);
    }

    // A point relative to the object block's centre when compressed.
    void BcPoint(std::uint32_t at, Mbr& mbr) const {
        if (w_ == 2)
            mbr.Add(Saturate(std::int64_t{cx_} + GetS16(r_ + at)),
                    Saturate(std::int64_t{cy_} + GetS16(r_ + at + 2)));
        else
            mbr.Add(GetS32(r_ + at), GetS32(r_ + at + 4));
    }

    // The label, origin and box group of polylines, regions and multipoints (withLabel), or the
    // origin and box of collections. Compressed boxes are relative to the object's own origin.
    void OwnOriginBox(std::uint32_t at, bool withLabel, Mbr& mbr) const {
        if (w_ == 2) {
            const std::uint32_t origin = at + (withLabel ? 4 : 0);
            const std::int64_t ox = GetS32(r_ + origin), oy = GetS32(r_ + origin + 4);
            const std::uint32_t box = origin + 8;
            mbr.Add(Saturate(ox + GetS16(r_ + box)), Saturate(oy + GetS16(r_ + box + 2)));
            mbr.Add(Saturate(ox + GetS16(r_ + box + 4)), Saturate(oy + GetS16(r_ + box + 6)));
        } else {
            const std::uint32_t box = at + (withLabel ? 8 : 0);
            mbr.Add(GetS32(r_ + box), GetS32(r_ + box + 4));
            mbr.Add(GetS32(r_ + box + 8), GetS32(r_ + box + 12));
        }
    }

    void Coords(Facts& f) const {
        f.hasCoords = true;
        f.coordAddress = Get32(r_ + 5);
    }

    // Section headers: vertex count, hole count, box, data offset. Compressed headers are
    // smaller than the size MapInfo records for them.
    std::uint32_t SectionHeaderSize(int form) const {
        return (form == 300 ? 4 : form == 450 ? 6 : 8) + 4 * w_ + 4;
    }

    // Reads the section headers where they lie and adds them and their vertices to the layout;
    // returns the size of the vertices, which follow the headers. The extent of the data comes from
    // these counts, not from the size in the record: MapInfo records that as if the headers were at
    // full size and every vertex took 8 bytes, more than a compressed or a V450 object really
    // holds.
    std::uint64_t Sections(ChainReader& in, std::int64_t sections, int form, Layout& layout) const {
        const std::uint32_t size = SectionHeaderSize(form);
        if (static_cast<std::uint64_t>(sections) * size > reader_.file().size())
            Fail("has more sections than its file could hold");
        std::uint8_t header[28];
        std::uint64_t vertices = 0;
        for (std::int64_t i = 0; i < sections; ++i) {
            in.Read(header, size);
            const std::int64_t count = form == 300 ? GetS16(header) : GetS32(header);
            if (count < 0)
                Fail("has a section with a negative vertex count");
            vertices += static_cast<std::uint64_t>(count);
        }
        const std::uint32_t countWidth = form == 300 ? 2 : 4;
        const std::uint32_t holesWidth = form == 800 ? 4 : 2;
        layout.Add(static_cast<std::uint64_t>(sections),
                   {countWidth, holesWidth, w_, w_, w_, w_, 4});
        if (vertices > reader_.file().size())
            Fail("has more vertices than its file could hold");
        layout.Add(2 * vertices, {w_});
        return 2 * vertices * w_;
    }

    void DescribePolyline(Facts& f, Layout& layout) const {
        int form = 300;
        std::uint32_t group = 15;
        std::int64_t sections = 0;
        switch (o_.kind) {
        case Kind::Pline:
            group = 13;
            break;
        case Kind::Region300:
        case Kind::MultiPline300:
            sections = GetS16(r_ + 13);
            break;
        case Kind::Region450:
        case Kind::MultiPline450:
            form = 450;
            sections = GetS16(r_ + 13);
            break;
        default:
            form = 800;
            sections = GetS32(r_ + 13);
            group = 13 + 4 + 33;
            break;
        }
        if (sections < 0)
            Fail("has a negative section count");
        OwnOriginBox(group, true, f.mbr);
        Coords(f);
        if (o_.kind == Kind::Pline) {
            // One section and no header: the recorded size is the size of the vertices.
            layout.Fill(Get32(r_ + 9) & 0x7FFFFFFFu, w_); // the top bit marks smoothing
        } else if (sections > 0) {
            ChainReader in(reader_, f.coordAddress);
            Sections(in, sections, form, layout);
        }
        const bool region =
            o_.kind == Kind::Region300 || o_.kind == Kind::Region450 || o_.kind == Kind::Region800;
        ++(region ? f.counts.regions : f.counts.lines);
    }

    // The parts of a collection follow one another: region, polyline, multipoint, each only when
    // it has something, each with a short header of label and box.
    void DescribeCollection(Facts& f, Layout& layout) const {
        const bool v800 = o_.kind == Kind::Collection800;
        const std::int32_t points = GetS32(r_ + 9);
        const std::int64_t regions = v800 ? GetS32(r_ + 21) : GetS16(r_ + 21);
        const std::int64_t plines = v800 ? GetS32(r_ + 25) : GetS16(r_ + 23);
        if (points < 0 || regions < 0 || plines < 0)
            Fail("has a negative part count");
        OwnOriginBox(v800 ? 50 : 45, false, f.mbr);
        Coords(f);
        const int form = v800 ? 800 : 450;
        if (regions > 0 || plines > 0) {
            ChainReader in(reader_, f.coordAddress);
            for (const std::int64_t sections : {regions, plines}) {
                if (sections == 0)
                    continue;
                layout.Add(v800 ? 1 : 0, {4}); // a copy of the section count
                layout.Add(6, {w_});
                in.Read(nullptr, (v800 ? 4 : 0) + 6 * w_);
                in.Read(nullptr, Sections(in, sections, form, layout));
            }
        }
        if (points > 0) {
            layout.Add(6, {w_});
            layout.Add(2 * static_cast<std::uint64_t>(points), {w_});
        }
        f.counts.regions += regions > 0;
        f.counts.lines += plines > 0;
        f.counts.points += points > 0;
    }

    const MapReader& reader_;
    const Object& o_;
    const std::uint8_t* r_;
    std::uint32_t w_;
    std::int32_t cx_, cy_;
};

[[noreturn]] void ThrowTooLarge() {
    ThrowPackError("the packed .MAP would exceed the 2 GB a .MAP can address");
}

// The coordinate blocks that follow one new object block, written as they fill: only the block
// being filled is held.
class CoordWriter {
public:
    CoordWriter(OutputFile& out, std::uint32_t blockSize)
        : out_(out), blockSize_(blockSize), block_(blockSize) {}

    void Start() {
        count_ = 0;
        open_ = false;
    }
    std::uint32_t blockCount() const { return count_; }
    std::uint32_t first() const { return first_; }
    std::uint32_t last() const { return address_; }

    // Where the next byte goes, for an object without coordinate data.
    std::uint32_t Position() {
        Room(1);
        return address_ + offset_;
    }

    // Copies an object's coordinate data, laid out as layout says, from where in reads it;
    // returns its new address.
    std::uint32_t Copy(ChainReader& in, const Layout& layout) {
        std::uint32_t start = 0;
        bool started = false;
        const auto begin = [&](std::uint32_t width) {
            Room(width);
            if (!started)
                start = address_ + offset_;
            started = true;
        };
        for (const Segment& s : layout.segments()) {
            if (s.fields == 1) {
                const std::uint32_t width = s.widths[0];
                for (std::uint64_t left = s.repeat; left > 0;) {
                    begin(width);
                    const std::uint64_t fit =
                        std::min<std::uint64_t>(left, (blockSize_ - offset_) / width);
                    in.Read(block_.data() + offset_, fit * width);
                    offset_ += static_cast<std::uint32_t>(fit * width);
                    left -= fit;
                }
                continue;
            }
            std::uint32_t unit = 0;
            for (std::uint32_t i = 0; i < s.fields; ++i)
                unit += s.widths[i];
            for (std::uint64_t r = 0; r < s.repeat; ++r) {
                if (open_ && blockSize_ - offset_ >= unit) {
                    begin(unit); // the whole pattern fits: one read
                    in.Read(block_.data() + offset_, unit);
                    offset_ += unit;
                    continue;
                }
                for (std::uint32_t i = 0; i < s.fields; ++i) {
                    begin(s.widths[i]);
                    in.Read(block_.data() + offset_, s.widths[i]);
                    offset_ += s.widths[i];
                }
            }
        }
        return started ? start : Position();
    }

    void Finish() {
        if (open_)
            Close(0);
        open_ = false;
    }

private:
    void Room(std::uint32_t width) {
        if (!open_ || blockSize_ - offset_ < width)
            Open();
    }

    // The block being filled is always the next to be written, so its successor will lie right
    // after it.
    void Open() {
        if (open_)
            Close(address_ + blockSize_);
        if (out_.Size() + blockSize_ > kMaxMapSize)
            ThrowTooLarge();
        address_ = static_cast<std::uint32_t>(out_.Size());
        if (count_++ == 0)
            first_ = address_;
        std::fill(block_.begin(), block_.end(), 0);
        offset_ = kCoordHeader;
        open_ = true;
    }

    void Close(std::uint32_t next) {
        Put16(block_.data(), kCoordBlock);
        Put16(block_.data() + 2, static_cast<std::uint16_t>(offset_ - kCoordHeader));
        Put32(block_.data() + 4, next);
        out_.Write(block_.data(), block_.size());
    }

    OutputFile& out_;
    std::uint32_t blockSize_;
    std::vector<std::uint8_t> block_;
    bool open_ = false;
    std::uint32_t address_ = 0;
    std::uint32_t offset_ = 0;
    std::uint32_t first_ = 0;
    std::uint32_t count_ = 0;
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
        : out_(out), blockSize_(blockSize), maxEntries_((blockSize - 4) / kIndexEntry),
          block_(blockSize) {}

    void Add(const IndexEntry& entry) { Add(0, entry); }

    // Writes what is left. Returns the root and the depth as MapInfo counts it (index levels
    // plus one); a lone object block is its own root, as in MapInfo.
    std::pair<std::uint32_t, std::uint8_t> Finish() {
        if (levels_.empty())
            return {0, 0};
        for (std::size_t level = 0;; ++level) {
            if (level + 2 > kMaxTreeDepth)
                ThrowPackError("the spatial index would be too deep");
            std::vector<IndexEntry> rest = std::move(levels_[level].pending);
            const bool top = level + 1 == levels_.size() && levels_[level].written == 0;
            if (top && rest.size() == 1)
                return {rest.front().child, static_cast<std::uint8_t>(level + 1)};
            if (top && rest.size() <= maxEntries_)
                return {WriteNode(rest.data(), rest.size()).child,
                        static_cast<std::uint8_t>(level + 2)};
            const std::size_t nodes = (rest.size() + maxEntries_ - 1) / maxEntries_;
            for (std::size_t n = 0, next = 0; n < nodes; ++n) {
                const std::size_t take = rest.size() / nodes + (n < rest.size() % nodes ? 1 : 0);
                Add(level + 1, WriteNode(rest.data() + next, take));
                next += take;
            }
        }
    }

private:
    struct Level {
        std::vector<IndexEntry> pending;
        std::size_t written = 0;
    };

    void Add(std::size_t level, const IndexEntry& entry) {
        if (levels_.size() <= level)
            levels_.resize(level + 1);
        std::vector<IndexEntry>& pending = levels_[level].pending;
        pending.push_back(entry);
        if (pending.size() < 2 * maxEntries_)
            return;
        const IndexEntry parent = WriteNode(pending.data(), maxEntries_);
        pending.erase(pending.begin(), pending.begin() + maxEntries_);
        ++levels_[level].written;
        Add(level + 1, parent);
    }

    IndexEntry WriteNode(const IndexEntry* entries, std::size_t count) {
        if (out_.Size() + blockSize_ > kMaxMapSize)
            ThrowTooLarge();
        std::fill(block_.begin(), block_.end(), 0);
        Put16(block_.data(), kIndexBlock);
        Put16(block_.data() + 2, static_cast<std::uint16_t>(count));
        IndexEntry parent{{}, static_cast<std::uint32_t>(out_.Size())};
        for (std::size_t i = 0; i < count; ++i) {
            std::uint8_t* at = block_.data() + 4 + i * kIndexEntry;
            Put32(at, static_cast<std::uint32_t>(entries[i].mbr.xmin));
            Put32(at + 4, static_cast<std::uint32_t>(entries[i].mbr.ymin));
            Put32(at + 8, static_cast<std::uint32_t>(entries[i].mbr.xmax));
            Put32(at + 12, static_cast<std::uint32_t>(entries[i].mbr.ymax));
            Put32(at + 16, entries[i].child);
            parent.mbr.Add(entries[i].mbr);
        }
        out_.Write(block_.data(), block_.size());
        return parent;
    }

    OutputFile& out_;
    std::uint32_t blockSize_;
    std::size_t maxEntries_;
    std::vector<std::uint8_t> block_;
    std::vector<Level> levels_;
};

// Visits the object blocks in the order the spatial index lists them, which keeps neighbours
// together in the new file. Each block is read into block before visit sees it.
template <typename Visit>
void ForEachIndexedObjectBlock(const MapReader& reader, std::vector<std::uint8_t>& block,
                               Visit visit) {
    const std::uint32_t root = Get32(reader.header().data() + kRootAt);
    if (root == 0)
        return;
    std::vector<bool> seen(reader.blocks(), false);
    const std::uint32_t maxEntries = (reader.blockSize() - 4) / kIndexEntry;
    std::vector<std::pair<std::uint32_t, unsigned>> stack{{root, 1}};
    block.resize(reader.blockSize());
    while (!stack.empty()) {
        const auto [addr, depth] = stack.back();
        stack.pop_back();
        if (!reader.IsBlock(addr))
            ThrowPackError(reader.path() + ": the spatial index refers to " + std::to_string(addr) +
                           ", which is not a block of the file");
        const std::uint32_t index = addr / reader.blockSize();
        if (seen[index])
            ThrowPackError(reader.path() + ": the spatial index refers twice to the block at " +
                           std::to_string(addr));
        seen[index] = true;
        reader.file().Read(addr, block.data(), block.size());
        if (block[0] == kObjectBlock) {
            visit(addr);
            continue;
        }
        if (block[0] != kIndexBlock)
            ThrowPackError(reader.path() + ": the spatial index refers to the block at " +
                           std::to_string(addr) + ", of type " + std::to_string(block[0]) +
                           ", which is neither an index nor an object block");
        const std::uint32_t entries = Get16(block.data() + 2);
        if (entries > maxEntries || depth >= kMaxTreeDepth)
            ThrowPackError(reader.path() + ": the spatial index block at " + std::to_string(addr) +
                           " is damaged");
        for (std::uint32_t i = entries; i-- > 0;)
            stack.emplace_back(Get32(block.data() + 4 + i * kIndexEntry + 16), depth + 1);
    }
}

// A flag a row: which rows' objects have been dealt with.
class RowFlags {
public:
    explicit RowFlags(std::uint32_t rows) : bits_(std::size_t{rows} + 1, false) {}
    bool operator[](std::uint32_t row) const { return bits_[row]; }
    void Set(std::uint32_t row) { bits_[row] = true; }

private:
    std::vector<bool> bits_;
};

// The row a record belongs to, when it is the object the .ID gives that row: a record left
// behind by an edit, or in a block nothing uses any more, may still carry a row's number.
std::uint32_t RowOfRecord(const Object& o, const IdFile& ids) {
    const std::uint32_t id = Get32(o.record + 1);
    if (id == 0 || (id & kAnyDeletedFlag) || id > ids.rows() || ids.At(id) != o.address)
        return 0;
    return id;
}

void CheckHeaderCounts(const MapReader& reader, std::uint64_t objects) {
    const std::uint8_t* h = reader.header().data();
    std::uint64_t counted = 0;
    for (int kind = 0; kind < 4; ++kind)
        counted += Get32(h + kCountsAt + 4 * kind);
    // MapInfo's own counts are the objects it holds; others only ever add to them.
    if (counted < objects)
        ThrowPackError(reader.path() + ": its header counts " + std::to_string(counted) +
                       " objects, but the rows refer to " + std::to_string(objects) +
                       "; the files disagree, so the table is not packed");
}

class MapRewriter {
public:
    MapRewriter(const InputFile& map, IdFile& ids, const RowMap* rows, OutputFile& out)
        : reader_(map), ids_(ids), rows_(rows), out_(out), bs_(reader_.blockSize()),
          done_(ids.rows()), coords_(out, bs_), index_(out, bs_), newBlock_(bs_) {}

    void Run() {
        header_ = reader_.header();
        out_.Write(header_.data(), header_.size());
        CopyTools();
        std::vector<std::uint8_t> block;
        ForEachIndexedObjectBlock(reader_, block, [&](std::uint32_t blockAddr) {
            reader_.ForEachRecord(block.data(), blockAddr, [&](const Object& o) {
                const std::uint32_t row = RowOfRecord(o, ids_);
                if (row != 0 && !done_[row] && Keeps(row))
                    Take(block.data(), o, row);
            });
            EndBlock();
        });
        TakeTheRest();
        CheckHeaderCounts(reader_, objects_);
        PatchHeader();
    }

private:
    bool Keeps(std::uint32_t row) const { return !rows_ || rows_->NewRow(row) != 0; }

    // Drawing tools come first, each block as it was, chained at its new place.
    void CopyTools() {
        std::uint32_t addr = Get32(header_.data() + kToolAt);
        std::vector<std::uint8_t> block(bs_);
        while (addr != 0) {
            if (++toolBlocks_ > kMaxToolBlocks)
                ThrowPackError(reader_.path() +
                               ": the chain of drawing-tool blocks is too long or loops");
            reader_.ReadBlock(addr, block.data(), kToolBlock, "drawing-tool block");
            const auto here = static_cast<std::uint32_t>(out_.Size());
            if (firstTool_ == 0)
                firstTool_ = here;
            addr = Get32(block.data() + 4);
            Put32(block.data() + 4, addr != 0 ? here + bs_ : 0);
            out_.Write(block.data(), block.size());
        }
    }

    // Objects the walk of the index did not reach: in blocks it does not list, or behind a
    // record the walk could not step over. Each must be where the .ID says.
    void TakeTheRest() {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> rest; // address, row
        for (std::uint32_t row = 1; row <= ids_.rows(); ++row)
            if (ids_.At(row) != 0 && !done_[row] && Keeps(row))
                rest.emplace_back(ids_.At(row), row);
        std::sort(rest.begin(), rest.end());
        std::vector<std::uint8_t> scratch;
        for (std::size_t i = 0; i < rest.size(); ++i) {
            const auto [addr, row] = rest[i];
            if (i > 0 && rest[i - 1].first == addr)
                ThrowPackError(reader_.path() + ": rows " + std::to_string(rest[i - 1].second) +
                               " and " + std::to_string(row) + " refer to the same object");
            if (i > 0 && reader_.BlockOf(rest[i - 1].first) != reader_.BlockOf(addr))
                EndBlock();
            const Object o = reader_.LiveObject(addr, row, scratch);
            Take(scratch.data(), o, row);
        }
        EndBlock();
    }

    void Take(const std::uint8_t* oldBlock, const Object& o, std::uint32_t row) {
        if (!blockOpen_)
            BeginBlock(oldBlock);
        const Facts facts = Describer(reader_, o, cx_, cy_).Describe(layout_);
        std::uint8_t* record = newBlock_.data() + kObjectHeader + used_;
        std::copy(o.record, o.record + o.size, record);
        Put32(record + 1, rows_ ? rows_->NewRow(row) : row);
        if (facts.hasCoords && !(facts.coordAddress == 0 && layout_.total() == 0)) {
            std::uint32_t at = 0;
            if (layout_.total() == 0) {
                at = coords_.Position();
            } else {
                ChainReader in(reader_, facts.coordAddress);
                at = coords_.Copy(in, layout_);
            }
            Put32(record + 5, at);
        }
        ids_.Set(row, newBlockAddr_ + kObjectHeader + used_);
        done_.Set(row);
        used_ += o.size;
        leaf_.Add(facts.mbr);
        counts_.Add(facts.counts);
        objects_ += CountedObjects(o);
    }

    // The new block keeps the old one's centre, which its compressed records are relative to.
    void BeginBlock(const std::uint8_t* oldBlock) {
        if (out_.Size() + bs_ > kMaxMapSize)
            ThrowTooLarge();
        newBlockAddr_ = static_cast<std::uint32_t>(out_.Size());
        out_.WriteZeros(bs_); // the block is written once its records are known
        cx_ = GetS32(oldBlock + 4);
        cy_ = GetS32(oldBlock + 8);
        std::fill(newBlock_.begin(), newBlock_.end(), 0);
        used_ = 0;
        leaf_ = {};
        coords_.Start();
        blockOpen_ = true;
    }

    void EndBlock() {
        if (!blockOpen_)
            return;
        blockOpen_ = false;
        coords_.Finish();
        std::uint8_t* b = newBlock_.data();
        Put16(b, kObjectBlock);
        Put16(b + 2, static_cast<std::uint16_t>(used_));
        Put32(b + 4, static_cast<std::uint32_t>(cx_));
        Put32(b + 8, static_cast<std::uint32_t>(cy_));
        Put32(b + 12, coords_.blockCount() ? coords_.first() : 0);
        Put32(b + 16, coords_.blockCount() ? coords_.last() : 0);
        out_.WriteAt(newBlockAddr_, b, bs_);
        longestChain_ = std::max(longestChain_, coords_.blockCount());
        all_.Add(leaf_);
        index_.Add({leaf_, newBlockAddr_});
    }

    void PatchHeader() {
        const auto [root, depth] = index_.Finish();
        std::uint8_t* h = header_.data();
        if (!all_.Empty()) {
            Put32(h + kMbrAt, static_cast<std::uint32_t>(all_.xmin));
            Put32(h + kMbrAt + 4, static_cast<std::uint32_t>(all_.ymin));
            Put32(h + kMbrAt + 8, static_cast<std::uint32_t>(all_.xmax));
            Put32(h + kMbrAt + 12, static_cast<std::uint32_t>(all_.ymax));
        }
        Put32(h + kRootAt, root);
        Put32(h + kGarbageAt, 0);
        Put32(h + kToolAt, firstTool_);
        Put32(h + kCountsAt, counts_.points);
        Put32(h + kCountsAt + 4, counts_.lines);
        Put32(h + kCountsAt + 8, counts_.regions);
        Put32(h + kCountsAt + 12, counts_.texts);
        // A size hint for readers' buffers: it is never lowered, and a file that says 0
        // (MapInfo's choice for newer objects) keeps 0.
        const std::uint32_t oldBuffer = Get32(h + kCoordBufAt);
        if (oldBuffer != 0)
            Put32(h + kCoordBufAt, std::max(oldBuffer, longestChain_ * bs_));
        h[kDepthAt] = depth;
        h[kToolCountAt] = static_cast<std::uint8_t>(toolBlocks_);
        out_.WriteAt(0, header_.data(), header_.size());
    }

    const MapReader reader_;
    IdFile& ids_;
    const RowMap* rows_;
    OutputFile& out_;
    const std::uint32_t bs_;
    RowFlags done_;
    CoordWriter coords_;
    SpatialIndexWriter index_;
    std::vector<std::uint8_t> header_;
    std::vector<std::uint8_t> newBlock_;
    Layout layout_;
    bool blockOpen_ = false;
    std::uint32_t newBlockAddr_ = 0;
    std::int32_t cx_ = 0, cy_ = 0;
    std::uint32_t used_ = 0;
    Mbr leaf_, all_;
    Counts counts_;
    std::uint64_t objects_ = 0;
    std::uint32_t longestChain_ = 0;
    std::uint32_t toolBlocks_ = 0;
    std::uint32_t firstTool_ = 0;
};

} // namespace

IdFile::IdFile(const InputFile& file) {
    if (file.size() % 4 != 0)
        ThrowPackError(file.path() + " has a size that is not a whole number of entries");
    if (file.size() / 4 > std::numeric_limits<std::int32_t>::max())
        ThrowPackError(file.path() + " is too large");
    entries_.resize(static_cast<std::size_t>(file.size() / 4));
    constexpr std::size_t kChunk = 1 << 16;
    std::vector<std::uint8_t> bytes(4 * kChunk);
    for (std::size_t first = 0; first < entries_.size(); first += kChunk) {
        const std::size_t count = std::min(kChunk, entries_.size() - first);
        file.Read(4 * std::uint64_t{first}, bytes.data(), 4 * count);
        for (std::size_t i = 0; i < count; ++i)
            entries_[first + i] = Get32(bytes.data() + 4 * i);
    }
}

void CheckIdsAgainstMap(const IdFile& ids, const std::string& idPath, const InputFile* map,
                        const RowMap* rows) {
    const auto disagree = [&](std::uint32_t row, const std::string& what) {
        ThrowPackError(idPath + ": row " + std::to_string(row) + " refers to an object " + what +
                       "; the files disagree, so the table is not packed");
    };
    std::unique_ptr<MapReader> reader;
    std::uint32_t firstWithObject = 0;
    for (std::uint32_t row = 1; row <= ids.rows(); ++row) {
        const std::uint32_t addr = ids.At(row);
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
        if (firstWithObject == 0 && (!rows || rows->NewRow(row) != 0))
            firstWithObject = row;
    }
    if (firstWithObject == 0)
        return;
    // Its counts are compared with the objects once they have all been read.
    if (Get32(reader->header().data() + kRootAt) == 0)
        ThrowPackError(map->path() + ": its header says it holds no object, yet row " +
                       std::to_string(firstWithObject) + " of " + idPath +
                       " refers to one; the files disagree, so the table is not packed");
}

void RenumberMapObjects(const InputFile& map, const IdFile& ids, const RowMap& rows,
                        OutputFile& out) {
    const MapReader reader(map);
    const std::uint32_t bs = reader.blockSize();
    RowFlags done(ids.rows());
    std::uint64_t objects = 0;
    // The record's row, in place, for the row it takes or the flag of the row that goes.
    const auto renumber = [&](const Object& o, std::uint32_t row, std::uint8_t* id) {
        const std::uint32_t newRow = rows.NewRow(row);
        Put32(id, newRow != 0 ? newRow : row | kDeletedFlag);
        objects += newRow != 0 ? CountedObjects(o) : 0;
        done.Set(row);
    };

    // The file is copied in whole blocks, each object block's records renumbered on the way.
    const std::uint64_t chunk = std::max<std::uint64_t>(1, (4u << 20) / bs) * bs;
    std::vector<std::uint8_t> buffer;
    for (std::uint64_t at = 0; at < map.size(); at += chunk) {
        const std::uint64_t size = std::min(chunk, map.size() - at);
        buffer.resize(static_cast<std::size_t>(size));
        map.Read(at, buffer.data(), buffer.size());
        for (std::uint64_t b = std::max<std::uint64_t>(at, reader.firstBlock());
             b + bs <= at + size; b += bs) {
            std::uint8_t* block = buffer.data() + (b - at);
            if (block[0] != kObjectBlock)
                continue;
            reader.ForEachRecord(block, static_cast<std::uint32_t>(b), [&](const Object& o) {
                if (const std::uint32_t row = RowOfRecord(o, ids); row != 0 && !done[row])
                    renumber(o, row, const_cast<std::uint8_t*>(o.record) + 1);
            });
        }
        out.Write(buffer.data(), buffer.size());
    }

    // Objects the walk through the blocks could not reach are patched where they are; a row
    // that stays must find its object there.
    std::vector<std::uint8_t> scratch;
    for (std::uint32_t row = 1; row <= ids.rows(); ++row) {
        const std::uint32_t addr = ids.At(row);
        if (addr == 0 || done[row])
            continue;
        Object o;
        if (rows.NewRow(row) != 0)
            o = reader.LiveObject(addr, row, scratch);
        else if (!reader.Locate(addr, scratch, o).empty() || Get32(o.record + 1) != row)
            continue; // the row goes, and whatever is there is not its object
        std::uint8_t id[4];
        renumber(o, row, id);
        out.WriteAt(std::uint64_t{addr} + 1, id, sizeof id);
    }
    CheckHeaderCounts(reader, objects);
}

void RewriteMap(const InputFile& map, IdFile& ids, const RowMap* rows, OutputFile& out) {
    MapRewriter(map, ids, rows, out).Run();
}

} // namespace vantero::tablefiles::detail
