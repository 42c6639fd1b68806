#include "tablefiles/MapFile.h"

#include "tablefiles/Bytes.h"

#include <algorithm>
#include <array>
#include <limits>
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

// A stretch of coordinate data made of fields of one width. A field is never split across two
// coordinate blocks, as MapInfo's own readers may expect; only text is cut anywhere.
struct Run {
    std::uint64_t count;
    std::uint32_t width;
};

class Runs {
public:
    void Clear() {
        runs_.clear();
        total_ = 0;
    }
    void Add(std::uint64_t count, std::uint32_t width) {
        if (count == 0)
            return;
        total_ += count * width;
        if (!runs_.empty() && runs_.back().width == width)
            runs_.back().count += count;
        else
            runs_.push_back({count, width});
    }
    // The rest of a stretch of size bytes as fields of width, and any odd bytes after them.
    void Fill(std::uint64_t bytes, std::uint32_t width) {
        Add(bytes / width, width);
        Add(bytes % width, 1);
    }
    const std::vector<Run>& runs() const { return runs_; }
    std::uint64_t total() const { return total_; }

private:
    std::vector<Run> runs_;
    std::uint64_t total_ = 0;
};

struct Counts {
    std::uint32_t points = 0, lines = 0, regions = 0, texts = 0;
};

class MapReader {
public:
    explicit MapReader(const MappedFile& map) : map_(map) {
        const std::uint8_t* p = map.data();
        if (map.size() < 512 || Get32(p + kMagicAt) != kMagic)
            ThrowPackError(map.path() + " is not a MapInfo .MAP file");
        version_ = Get16(p + kVersionAt);
        blockSize_ = Get16(p + kBlockSizeAt);
        if (blockSize_ < 512 || blockSize_ > 32256 || blockSize_ % 512 != 0)
            ThrowPackError(map.path() + " has an invalid block size " + std::to_string(blockSize_));
        const std::uint32_t headerSize = version_ >= 500 ? 1024 : 512;
        firstBlock_ = (headerSize + blockSize_ - 1) / blockSize_ * blockSize_;
        if (map.size() < firstBlock_)
            ThrowPackError(map.path() + " is shorter than its header");
        blocks_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(
            map.size() / blockSize_, std::numeric_limits<std::uint32_t>::max()));
    }

    const MappedFile& file() const { return map_; }
    const std::string& path() const { return map_.path(); }
    const std::uint8_t* header() const { return map_.data(); }
    std::uint32_t blockSize() const { return blockSize_; }
    std::uint32_t firstBlock() const { return firstBlock_; }
    std::uint32_t blocks() const { return blocks_; }
    std::uint32_t BlockOf(std::uint32_t addr) const { return addr - addr % blockSize_; }

    // The block at addr, which must be a whole block of the file of the given type.
    const std::uint8_t* Block(std::uint32_t addr, std::uint8_t type, const char* what) const {
        if (addr % blockSize_ != 0 || addr < firstBlock_ ||
            static_cast<std::uint64_t>(addr) + blockSize_ > map_.size())
            ThrowPackError(path() + ": the " + what + " at " + std::to_string(addr) +
                           " lies outside the file's blocks");
        const std::uint8_t* block = map_.data() + addr;
        if (block[0] != type)
            ThrowPackError(path() + ": the " + what + " at " + std::to_string(addr) +
                           " is a block of type " + std::to_string(block[0]) + ", not " +
                           std::to_string(type));
        return block;
    }

    struct Object {
        const std::uint8_t* record = nullptr;
        const std::uint8_t* block = nullptr;
        std::uint8_t type = 0;
        std::uint8_t size = 0;
        Kind kind = Kind::None;
        bool compressed = false;
    };

    // The object record at addr, if it is a well-formed record of a known kind; the id is not
    // checked. Returns an explanation when it is not.
    std::string Locate(std::uint32_t addr, Object& object) const {
        const std::uint32_t blockAddr = BlockOf(addr);
        if (blockAddr < firstBlock_ ||
            static_cast<std::uint64_t>(blockAddr) + blockSize_ > map_.size())
            return "lies outside the file's blocks";
        const std::uint8_t* block = map_.data() + blockAddr;
        if (block[0] != kObjectBlock)
            return "is not in an object block";
        const std::uint32_t used = Get16(block + 2);
        if (used > blockSize_ - kObjectHeader)
            return "is in an object block that claims more bytes than it has";
        const std::uint32_t offset = addr - blockAddr;
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
        if ((header()[kSizeTable + type] & 0x7F) != object.size)
            return "is of kind " + Hex(type) + ", whose record size in the header (" +
                   std::to_string(header()[kSizeTable + type] & 0x7F) + ") is not " +
                   std::to_string(object.size);
        if (offset + object.size > kObjectHeader + used)
            return "runs past the used part of its object block";
        object.record = block + offset;
        object.block = block;
        object.type = type;
        object.kind = info.kind;
        return {};
    }

    // The object of a live row: it must be there, and carry the row's number.
    Object LiveObject(std::uint32_t addr, std::uint32_t row) const {
        Object object;
        const std::string problem = Locate(addr, object);
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

    // Appends size bytes of coordinate data starting at addr, following the block chain.
    void ReadCoords(std::uint32_t addr, std::uint64_t size, std::vector<std::uint8_t>& out) const {
        out.clear();
        if (size == 0)
            return;
        if (size > map_.size())
            ThrowPackError(path() + ": an object claims more coordinate data than the file holds");
        std::uint32_t blockAddr = BlockOf(addr);
        std::uint32_t offset = addr - blockAddr;
        if (offset == 0)
            offset = kCoordHeader; // the start of a block means the start of its data
        const std::uint8_t* block = Block(blockAddr, kCoordBlock, "coordinate block");
        std::uint32_t hops = 0;
        while (size > 0) {
            const std::uint32_t end = kCoordHeader + Get16(block + 2);
            if (end > blockSize_)
                ThrowPackError(path() + ": the coordinate block at " + std::to_string(blockAddr) +
                               " claims more bytes than it has");
            if (offset < kCoordHeader || offset > end)
                ThrowPackError(path() + ": coordinate data at " + std::to_string(addr) +
                               " lies outside the used part of its block");
            const std::uint32_t take =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(size, end - offset));
            out.insert(out.end(), block + offset, block + offset + take);
            size -= take;
            if (size == 0)
                break;
            const std::uint32_t next = Get32(block + 4);
            if (next == 0)
                ThrowPackError(path() + ": the coordinate data at " + std::to_string(addr) +
                               " runs past the end of its block chain");
            if (++hops > blocks_)
                ThrowPackError(path() + ": a coordinate block chain loops");
            block = Block(next, kCoordBlock, "coordinate block");
            blockAddr = next;
            offset = kCoordHeader;
        }
    }

private:
    const MappedFile& map_;
    std::uint32_t version_ = 0;
    std::uint32_t blockSize_ = 512;
    std::uint32_t firstBlock_ = 1024;
    std::uint32_t blocks_ = 0;
};

// What the rewrite needs to know of one object record.
struct Facts {
    Mbr mbr;
    bool hasCoords = false;
    std::uint32_t coordAddress = 0;
    Counts counts;
};

class Describer {
public:
    Describer(const MapReader& reader, const MapReader::Object& object, std::int32_t cx,
              std::int32_t cy)
        : reader_(reader), o_(object), r_(object.record), w_(object.compressed ? 2 : 4), cx_(cx),
          cy_(cy) {}

    Facts Describe(Runs& runs) {
        Facts f;
        runs.Clear();
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
            runs.Add(static_cast<std::uint64_t>(length), 1);
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
            DescribePolyline(f, runs);
            break;
        case Kind::MultiPoint:
        case Kind::MultiPoint800: {
            const std::int32_t points = GetS32(r_ + 9);
            if (points < 0)
                Fail("has a negative point count");
            OwnOriginBox(o_.kind == Kind::MultiPoint ? 30 : 63, true, f.mbr);
            Coords(f);
            runs.Add(2 * static_cast<std::uint64_t>(points), w_);
            ++f.counts.points;
            break;
        }
        case Kind::Collection:
        case Kind::Collection800:
            DescribeCollection(f, runs);
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

    // Section headers: vertex count, hole count, box, data offset.
    void SectionHeaders(std::uint64_t sections, int form, Runs& runs) const {
        for (std::uint64_t i = 0; i < sections; ++i) {
            if (form == 300)
                runs.Add(2, 2);
            else if (form == 450) {
                runs.Add(1, 4);
                runs.Add(1, 2);
            } else
                runs.Add(2, 4);
            runs.Add(4, w_);
            runs.Add(1, 4);
        }
    }
    std::uint64_t SectionHeaderSize(int form) const {
        return (form == 300 ? 4 : form == 450 ? 6 : 8) + 4 * w_ + 4;
    }

    void DescribePolyline(Facts& f, Runs& runs) const {
        const std::uint64_t size = Get32(r_ + 9) & 0x7FFFFFFFu; // the top bit marks smoothing
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
        const std::uint64_t headers =
            static_cast<std::uint64_t>(sections) * SectionHeaderSize(form);
        if (headers > size)
            Fail("has less coordinate data than its section headers take");
        SectionHeaders(static_cast<std::uint64_t>(sections), form, runs);
        runs.Fill(size - headers, w_);
        const bool region =
            o_.kind == Kind::Region300 || o_.kind == Kind::Region450 || o_.kind == Kind::Region800;
        ++(region ? f.counts.regions : f.counts.lines);
    }

    void DescribeCollection(Facts& f, Runs& runs) const {
        const bool v800 = o_.kind == Kind::Collection800;
        const std::int32_t points = GetS32(r_ + 9);
        const std::int64_t regionSize = GetS32(r_ + 13);
        const std::int64_t plineSize = GetS32(r_ + 17);
        const std::int64_t regions = v800 ? GetS32(r_ + 21) : GetS16(r_ + 21);
        const std::int64_t plines = v800 ? GetS32(r_ + 25) : GetS16(r_ + 23);
        if (points < 0 || regions < 0 || plines < 0)
            Fail("has a negative part count");
        OwnOriginBox(v800 ? 50 : 45, false, f.mbr);
        Coords(f);
        const int form = v800 ? 800 : 450;
        // The recorded region and polyline sizes count two bytes per section that are not
        // stored.
        const auto part = [&](std::int64_t sections, std::int64_t recorded) {
            if (sections == 0)
                return;
            const std::int64_t stored = recorded - 2 * sections;
            const std::int64_t headers =
                sections * static_cast<std::int64_t>(SectionHeaderSize(form));
            if (stored < headers)
                Fail("has a collection part smaller than its section headers");
            if (v800)
                runs.Add(1, 4);
            runs.Add(6, w_);
            SectionHeaders(static_cast<std::uint64_t>(sections), form, runs);
            runs.Fill(static_cast<std::uint64_t>(stored - headers), w_);
        };
        part(regions, regionSize);
        part(plines, plineSize);
        if (points > 0) {
            runs.Add(6, w_);
            runs.Add(2 * static_cast<std::uint64_t>(points), w_);
        }
        f.counts.regions += regions > 0;
        f.counts.lines += plines > 0;
        f.counts.points += points > 0;
    }

    const MapReader& reader_;
    const MapReader::Object& o_;
    const std::uint8_t* r_;
    std::uint32_t w_;
    std::int32_t cx_, cy_;
};

// The coordinate blocks that follow one new object block.
class CoordWriter {
public:
    CoordWriter(std::uint32_t blockSize) : blockSize_(blockSize) {}

    void Start(std::uint32_t firstAddress) {
        first_ = firstAddress;
        blocks_.clear();
        offset_ = blockSize_;
        count_ = 0;
    }
    std::uint32_t blockCount() const { return count_; }

    // Where the next byte goes; opens a block when there is no room left.
    std::uint32_t Position() {
        if (count_ == 0 || offset_ == blockSize_)
            Open();
        return first_ + (count_ - 1) * blockSize_ + offset_;
    }

    void Append(const std::uint8_t* data, const Runs& runs) {
        for (const Run& run : runs.runs()) {
            std::uint64_t left = run.count;
            while (left > 0) {
                if (count_ == 0 || blockSize_ - offset_ < run.width)
                    Open();
                const std::uint64_t fit =
                    std::min<std::uint64_t>(left, (blockSize_ - offset_) / run.width);
                const std::size_t bytes = static_cast<std::size_t>(fit * run.width);
                std::copy(data, data + bytes, Current() + offset_);
                data += bytes;
                offset_ += static_cast<std::uint32_t>(bytes);
                left -= fit;
            }
        }
    }

    // Fills in the block headers and hands the blocks out.
    const std::vector<std::uint8_t>& Finish() {
        if (count_ > 0)
            Close();
        return blocks_;
    }

private:
    std::uint8_t* Current() {
        return blocks_.data() + static_cast<std::size_t>(count_ - 1) * blockSize_;
    }

    void Close() {
        std::uint8_t* block = Current();
        Put16(block, kCoordBlock);
        Put16(block + 2, static_cast<std::uint16_t>(offset_ - kCoordHeader));
        Put32(block + 4, 0);
    }

    void Open() {
        if (count_ > 0) {
            Close();
            Put32(Current() + 4, first_ + count_ * blockSize_);
        }
        if (static_cast<std::uint64_t>(first_) +
                static_cast<std::uint64_t>(count_ + 1) * blockSize_ >
            std::numeric_limits<std::int32_t>::max())
            ThrowPackError("the packed .MAP would exceed the 2 GB a .MAP can address");
        blocks_.resize(blocks_.size() + blockSize_, 0);
        ++count_;
        offset_ = kCoordHeader;
    }

    std::uint32_t blockSize_;
    std::uint32_t first_ = 0;
    std::vector<std::uint8_t> blocks_;
    std::uint32_t offset_ = 0;
    std::uint32_t count_ = 0;
};

struct IndexEntry {
    Mbr mbr;
    std::uint32_t child;
};

// The object blocks in the order the old spatial index lists them, which keeps neighbours
// together in the new file.
std::vector<std::uint32_t> ObjectBlocksInIndexOrder(const MapReader& reader) {
    std::vector<std::uint32_t> order;
    const std::uint32_t root = Get32(reader.header() + kRootAt);
    if (root == 0)
        return order;
    std::vector<bool> seen(reader.blocks(), false);
    const std::uint32_t maxEntries = (reader.blockSize() - 4) / kIndexEntry;
    std::vector<std::pair<std::uint32_t, unsigned>> stack{{root, 1}};
    while (!stack.empty()) {
        const auto [addr, depth] = stack.back();
        stack.pop_back();
        if (addr % reader.blockSize() != 0 || addr < reader.firstBlock() ||
            static_cast<std::uint64_t>(addr) + reader.blockSize() > reader.file().size())
            ThrowPackError(reader.path() + ": the spatial index refers to " + std::to_string(addr) +
                           ", which is not a block of the file");
        const std::uint32_t index = addr / reader.blockSize();
        if (seen[index])
            ThrowPackError(reader.path() + ": the spatial index refers twice to the block at " +
                           std::to_string(addr));
        seen[index] = true;
        const std::uint8_t* block = reader.file().data() + addr;
        if (block[0] == kObjectBlock) {
            order.push_back(addr);
            continue;
        }
        if (block[0] != kIndexBlock)
            ThrowPackError(reader.path() + ": the spatial index refers to the block at " +
                           std::to_string(addr) + ", of type " + std::to_string(block[0]) +
                           ", which is neither an index nor an object block");
        const std::uint32_t entries = Get16(block + 2);
        if (entries > maxEntries || depth >= kMaxTreeDepth)
            ThrowPackError(reader.path() + ": the spatial index block at " + std::to_string(addr) +
                           " is damaged");
        for (std::uint32_t i = entries; i-- > 0;)
            stack.emplace_back(Get32(block + 4 + i * kIndexEntry + 16), depth + 1);
    }
    return order;
}

void PutEntry(std::uint8_t* at, const IndexEntry& entry) {
    Put32(at, static_cast<std::uint32_t>(entry.mbr.xmin));
    Put32(at + 4, static_cast<std::uint32_t>(entry.mbr.ymin));
    Put32(at + 8, static_cast<std::uint32_t>(entry.mbr.xmax));
    Put32(at + 12, static_cast<std::uint32_t>(entry.mbr.ymax));
    Put32(at + 16, entry.child);
}

// Builds the spatial index bottom up over the new object blocks. Returns the root and the
// depth as MapInfo counts it (index levels plus one).
std::pair<std::uint32_t, std::uint8_t> WriteSpatialIndex(std::vector<IndexEntry> level,
                                                         std::uint32_t blockSize, OutputFile& out) {
    if (level.empty())
        return {0, 0};
    if (level.size() == 1)
        return {level.front().child, 1}; // a lone object block is its own root, as in MapInfo
    const std::size_t maxEntries = (blockSize - 4) / kIndexEntry;
    std::vector<std::uint8_t> block(blockSize);
    unsigned depth = 1;
    while (level.size() > 1) {
        const std::size_t nodes = (level.size() + maxEntries - 1) / maxEntries;
        std::vector<IndexEntry> parents;
        parents.reserve(nodes);
        std::size_t next = 0;
        for (std::size_t n = 0; n < nodes; ++n) {
            // Spread the entries evenly rather than leaving a last node nearly empty.
            const std::size_t take = level.size() / nodes + (n < level.size() % nodes ? 1 : 0);
            std::fill(block.begin(), block.end(), 0);
            Put16(block.data(), kIndexBlock);
            Put16(block.data() + 2, static_cast<std::uint16_t>(take));
            IndexEntry parent{{}, static_cast<std::uint32_t>(out.Size())};
            for (std::size_t i = 0; i < take; ++i, ++next) {
                PutEntry(block.data() + 4 + i * kIndexEntry, level[next]);
                parent.mbr.Add(level[next].mbr);
            }
            out.Write(block.data(), block.size());
            parents.push_back(parent);
        }
        level = std::move(parents);
        ++depth;
    }
    if (depth > kMaxTreeDepth)
        ThrowPackError("the spatial index would be too deep");
    return {level.front().child, static_cast<std::uint8_t>(depth)};
}

} // namespace

IdFile::IdFile(const MappedFile* file) : file_(file) {
    if (!file_)
        return;
    if (file_->size() % 4 != 0)
        ThrowPackError(file_->path() + " has a size that is not a whole number of entries");
    if (file_->size() / 4 > std::numeric_limits<std::int32_t>::max())
        ThrowPackError(file_->path() + " is too large");
    rows_ = static_cast<std::uint32_t>(file_->size() / 4);
}

std::uint32_t IdFile::At(std::uint32_t row) const {
    if (row == 0 || row > rows_)
        return 0;
    return Get32(file_->data() + (static_cast<std::uint64_t>(row) - 1) * 4);
}

void RenumberMapObjects(const MappedFile& map, const IdFile& ids,
                        const std::vector<std::uint32_t>& rowMap, OutputFile& out) {
    const MapReader reader(map);
    // Each patch is the id field of one object.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> patches;
    patches.reserve(ids.rows());
    for (std::uint32_t row = 1; row <= ids.rows(); ++row) {
        const std::uint32_t addr = ids.At(row);
        if (addr == 0)
            continue;
        const std::uint32_t newRow = row <= rowMap.size() ? rowMap[row - 1] : 0;
        if (newRow != 0) {
            reader.LiveObject(addr, row);
            if (newRow != row)
                patches.emplace_back(addr + 1, newRow);
            continue;
        }
        // The row goes; its object, if it is still there unflagged, goes with it.
        MapReader::Object object;
        if (reader.Locate(addr, object).empty() && Get32(object.record + 1) == row)
            patches.emplace_back(addr + 1, row | kDeletedFlag);
    }
    std::sort(patches.begin(), patches.end());

    constexpr std::uint64_t kChunk = 4u << 20;
    std::vector<std::uint8_t> chunk;
    std::size_t next = 0;
    for (std::uint64_t at = 0; at < map.size(); at += kChunk) {
        const std::uint64_t size = std::min(kChunk, map.size() - at);
        chunk.assign(map.data() + at, map.data() + at + size);
        // A patch may straddle two chunks; each chunk takes its own bytes of it.
        std::size_t p = next;
        while (p < patches.size() && patches[p].first < at + size) {
            std::uint8_t value[4];
            Put32(value, patches[p].second);
            for (unsigned b = 0; b < 4; ++b) {
                const std::uint64_t pos = std::uint64_t{patches[p].first} + b;
                if (pos >= at && pos < at + size)
                    chunk[static_cast<std::size_t>(pos - at)] = value[b];
            }
            if (std::uint64_t{patches[p].first} + 4 <= at + size)
                next = p + 1;
            ++p;
        }
        out.Write(chunk.data(), chunk.size());
    }
}

void RewriteMap(const MappedFile& map, const IdFile& ids, const std::vector<std::uint32_t>* rowMap,
                OutputFile& out, std::vector<std::uint32_t>& newAddress) {
    const MapReader reader(map);
    const std::uint32_t bs = reader.blockSize();
    newAddress.assign(ids.rows(), 0);

    // The live objects, by address, with their rows.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> live;
    live.reserve(ids.rows());
    for (std::uint32_t row = 1; row <= ids.rows(); ++row) {
        const std::uint32_t addr = ids.At(row);
        if (addr == 0)
            continue;
        if (rowMap && (row > rowMap->size() || (*rowMap)[row - 1] == 0))
            continue;
        reader.LiveObject(addr, row);
        live.emplace_back(addr, row);
    }
    std::sort(live.begin(), live.end());
    for (std::size_t i = 1; i < live.size(); ++i)
        if (live[i].first == live[i - 1].first)
            ThrowPackError(map.path() + ": rows " + std::to_string(live[i - 1].second) + " and " +
                           std::to_string(live[i].second) + " refer to the same object");

    std::vector<std::uint32_t> order = ObjectBlocksInIndexOrder(reader);
    {
        // Object blocks the index does not list still hold objects the .ID refers to.
        std::vector<std::uint32_t> listed = order;
        std::sort(listed.begin(), listed.end());
        std::uint32_t last = 0;
        for (const auto& object : live) {
            const std::uint32_t block = reader.BlockOf(object.first);
            if (block != last && !std::binary_search(listed.begin(), listed.end(), block))
                order.push_back(block);
            last = block;
        }
    }

    // The header is copied as it is, and its fields are patched at the end.
    std::vector<std::uint8_t> header(map.data(), map.data() + reader.firstBlock());
    out.Write(header.data(), header.size());

    // Drawing tools come first, each block as it was, chained at its new place.
    std::uint32_t toolBlocks = 0;
    std::uint32_t firstTool = 0;
    {
        std::uint32_t addr = Get32(map.data() + kToolAt);
        std::vector<std::uint8_t> block(bs);
        while (addr != 0) {
            if (++toolBlocks > kMaxToolBlocks)
                ThrowPackError(map.path() +
                               ": the chain of drawing-tool blocks is too long or loops");
            const std::uint8_t* old = reader.Block(addr, kToolBlock, "drawing-tool block");
            std::copy(old, old + bs, block.begin());
            const std::uint32_t here = static_cast<std::uint32_t>(out.Size());
            if (firstTool == 0)
                firstTool = here;
            addr = Get32(old + 4);
            Put32(block.data() + 4, addr != 0 ? here + bs : 0);
            out.Write(block.data(), block.size());
        }
    }

    std::vector<IndexEntry> leaves;
    Counts counts;
    Mbr all;
    std::uint32_t longestChain = 0;
    Runs runs;
    CoordWriter coords(bs);
    std::vector<std::uint8_t> objectBlock(bs);
    std::vector<std::uint8_t> data;
    for (const std::uint32_t blockAddr : order) {
        auto it = std::lower_bound(live.begin(), live.end(), std::make_pair(blockAddr, 0u));
        const auto end = std::lower_bound(it, live.end(), std::make_pair(blockAddr + bs, 0u));
        if (it == end)
            continue; // nothing left alive in it
        const std::uint8_t* old = map.data() + blockAddr;
        const std::int32_t cx = GetS32(old + 4);
        const std::int32_t cy = GetS32(old + 8);
        const std::uint64_t here = out.Size();
        if (here + bs > std::numeric_limits<std::int32_t>::max())
            ThrowPackError("the packed .MAP would exceed the 2 GB a .MAP can address");
        const auto newBlock = static_cast<std::uint32_t>(here);

        std::fill(objectBlock.begin(), objectBlock.end(), 0);
        coords.Start(newBlock + bs);
        std::uint32_t used = 0;
        IndexEntry leaf{{}, newBlock};
        for (; it != end; ++it) {
            const auto [addr, row] = *it;
            const MapReader::Object object = reader.LiveObject(addr, row);
            const Facts facts = Describer(reader, object, cx, cy).Describe(runs);
            std::uint8_t* record = objectBlock.data() + kObjectHeader + used;
            std::copy(object.record, object.record + object.size, record);
            Put32(record + 1, rowMap ? (*rowMap)[row - 1] : row);
            if (facts.hasCoords && !(facts.coordAddress == 0 && runs.total() == 0)) {
                reader.ReadCoords(facts.coordAddress, runs.total(), data);
                Put32(record + 5, coords.Position());
                coords.Append(data.data(), runs);
            }
            newAddress[row - 1] = newBlock + kObjectHeader + used;
            used += object.size;
            leaf.mbr.Add(facts.mbr);
            counts.points += facts.counts.points;
            counts.lines += facts.counts.lines;
            counts.regions += facts.counts.regions;
            counts.texts += facts.counts.texts;
        }
        const std::vector<std::uint8_t>& coordBlocks = coords.Finish();
        Put16(objectBlock.data(), kObjectBlock);
        Put16(objectBlock.data() + 2, static_cast<std::uint16_t>(used));
        Put32(objectBlock.data() + 4, static_cast<std::uint32_t>(cx));
        Put32(objectBlock.data() + 8, static_cast<std::uint32_t>(cy));
        Put32(objectBlock.data() + 12, coords.blockCount() ? newBlock + bs : 0);
        Put32(objectBlock.data() + 16,
              coords.blockCount() ? newBlock + coords.blockCount() * bs : 0);
        out.Write(objectBlock.data(), objectBlock.size());
        out.Write(coordBlocks.data(), coordBlocks.size());
        longestChain = std::max(longestChain, coords.blockCount());
        all.Add(leaf.mbr);
        leaves.push_back(leaf);
    }

    const auto [root, depth] = WriteSpatialIndex(std::move(leaves), bs, out);

    std::uint8_t* h = header.data();
    if (!all.Empty()) {
        Put32(h + kMbrAt, static_cast<std::uint32_t>(all.xmin));
        Put32(h + kMbrAt + 4, static_cast<std::uint32_t>(all.ymin));
        Put32(h + kMbrAt + 8, static_cast<std::uint32_t>(all.xmax));
        Put32(h + kMbrAt + 12, static_cast<std::uint32_t>(all.ymax));
    }
    Put32(h + kRootAt, root);
    Put32(h + kGarbageAt, 0);
    Put32(h + kToolAt, firstTool);
    Put32(h + kCountsAt, counts.points);
    Put32(h + kCountsAt + 4, counts.lines);
    Put32(h + kCountsAt + 8, counts.regions);
    Put32(h + kCountsAt + 12, counts.texts);
    // A size hint for readers' buffers: it is never lowered, and a file that says 0 (MapInfo's
    // choice for newer objects) keeps 0.
    const std::uint32_t oldBuffer = Get32(h + kCoordBufAt);
    if (oldBuffer != 0)
        Put32(h + kCoordBufAt, std::max(oldBuffer, longestChain * bs));
    h[kDepthAt] = depth;
    h[kToolCountAt] = static_cast<std::uint8_t>(toolBlocks);
    out.WriteAt(0, header.data(), header.size());
}

} // namespace vantero::tablefiles::detail
