#include "tablefiles/IndexFile.h"

#include "tablefiles/Bytes.h"

#include <algorithm>
#include <string>
#include <utility>

namespace vantero::tablefiles::detail {

namespace {

constexpr std::uint32_t kMagic = 24242424;
constexpr std::uint32_t kNode = 512;
constexpr std::uint32_t kNodeHeader = 12;
constexpr std::size_t kSlotsAt = 48;
constexpr std::size_t kSlotSize = 16;
constexpr int kMaxSlots = 29;
constexpr unsigned kMaxDepth = 255;

// Builds a tree bottom up from its keys in order, every level at once, so that no level is held
// in memory: each level keeps only the node it is filling. A node's place in the file is taken
// when its first entry arrives, so that its left sibling can point at it.
class TreeWriter {
public:
    TreeWriter(OutputFile& out, std::uint32_t keyLength)
        : out_(out), keyLength_(keyLength), entrySize_(keyLength + 4),
          maxEntries_((kNode - kNodeHeader) / entrySize_) {}

    std::uint32_t maxEntries() const { return maxEntries_; }

    void Add(const std::uint8_t* key, std::uint32_t value) { Add(0, key, value); }

    // Writes what is left; returns the root and the depth (1: the root is a leaf).
    std::pair<std::uint32_t, std::uint32_t> Finish(const std::string& path) {
        if (levels_.empty())
            Start(0, nullptr); // no entry at all: one empty leaf
        for (std::size_t level = 0;; ++level) {
            if (level + 1 > kMaxDepth)
                ThrowPackError(path + ": an index would be too deep");
            const Level last = levels_[level];
            Write(last, 0);
            if (level + 1 == levels_.size() && last.nodes == 1)
                return {last.address, static_cast<std::uint32_t>(level + 1)};
            Add(level + 1, last.firstKey.data(), last.address);
        }
    }

private:
    struct Level {
        std::vector<std::uint8_t> node = std::vector<std::uint8_t>(kNode, 0);
        std::uint32_t count = 0;
        std::uint32_t address = 0;
        std::uint32_t previous = 0;
        std::size_t nodes = 0; // begun on this level so far
        std::vector<std::uint8_t> firstKey;
    };

    void Start(std::size_t level, const std::uint8_t* key) {
        if (levels_.size() <= level)
            levels_.resize(level + 1);
        Level& l = levels_[level];
        l.previous = l.nodes ? l.address : 0;
        l.address = static_cast<std::uint32_t>(out_.Size());
        out_.WriteZeros(kNode);
        l.count = 0;
        std::fill(l.node.begin(), l.node.end(), 0);
        l.firstKey.assign(keyLength_, 0);
        if (key)
            std::copy(key, key + keyLength_, l.firstKey.begin());
        ++l.nodes;
    }

    void Write(Level l, std::uint32_t next) {
        Put32(l.node.data(), l.count);
        Put32(l.node.data() + 4, l.previous);
        Put32(l.node.data() + 8, next);
        out_.WriteAt(l.address, l.node.data(), l.node.size());
    }

    void Add(std::size_t level, const std::uint8_t* key, std::uint32_t value) {
        if (levels_.size() <= level) {
            Start(level, key);
        } else if (levels_[level].count == maxEntries_) {
            // The full node goes out pointing at the one that follows it, and the level above
            // takes its first key.
            const Level full = levels_[level];
            Start(level, key);
            Write(full, levels_[level].address);
            Add(level + 1, full.firstKey.data(), full.address);
        }
        Level& l = levels_[level];
        std::uint8_t* entry = l.node.data() + kNodeHeader + l.count * entrySize_;
        if (level > 0 && l.nodes == 1 && l.count == 0)
            std::fill(entry, entry + keyLength_, 0); // below every key, as MapInfo writes it
        else
            std::copy(key, key + keyLength_, entry);
        Put32(entry + keyLength_, value);
        ++l.count;
    }

    OutputFile& out_;
    std::uint32_t keyLength_;
    std::uint32_t entrySize_;
    std::uint32_t maxEntries_;
    std::vector<Level> levels_;
};

// Walks one old tree depth first, so that its leaves come in key order whatever their sibling
// links say, and writes the new tree as it goes. Returns the root and the depth.
std::pair<std::uint32_t, std::uint32_t> RemapTree(const InputFile& ind, std::uint32_t root,
                                                  std::uint32_t depth, std::uint32_t keyLength,
                                                  const RowMap& rows, TreeWriter& tree) {
    const std::string& path = ind.path();
    const std::uint32_t entrySize = keyLength + 4;
    std::vector<bool> seen(static_cast<std::size_t>(ind.size() / kNode), false);
    std::vector<std::uint8_t> node(kNode);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> stack{{root, depth}};
    while (!stack.empty()) {
        const auto [addr, level] = stack.back();
        stack.pop_back();
        if (addr % kNode != 0 || addr < kNode || std::uint64_t{addr} + kNode > ind.size())
            ThrowPackError(path + ": an index refers to " + std::to_string(addr) +
                           ", which is not a node of the file");
        if (seen[addr / kNode])
            ThrowPackError(path + ": an index refers twice to the node at " + std::to_string(addr));
        seen[addr / kNode] = true;
        ind.Read(addr, node.data(), node.size());
        const std::uint32_t count = Get32(node.data());
        if (count > tree.maxEntries())
            ThrowPackError(path + ": the index node at " + std::to_string(addr) +
                           " claims more entries than it can hold");
        const std::uint8_t* entries = node.data() + kNodeHeader;
        if (level == 1) {
            for (std::uint32_t i = 0; i < count; ++i) {
                const std::uint8_t* entry = entries + i * entrySize;
                // Entries of rows that are gone, or that never existed, have nothing to answer.
                if (const std::uint32_t row = rows.NewRow(Get32(entry + keyLength)))
                    tree.Add(entry, row);
            }
        } else {
            for (std::uint32_t i = count; i-- > 0;)
                stack.emplace_back(Get32(entries + i * entrySize + keyLength), level - 1);
        }
    }
    return tree.Finish(path);
}

} // namespace

void RemapIndexFile(const InputFile& ind, const RowMap& rows, OutputFile& out) {
    const std::string& path = ind.path();
    std::vector<std::uint8_t> header(kNode);
    if (ind.size() >= kNode)
        ind.Read(0, header.data(), header.size());
    if (ind.size() < kNode || Get32(header.data()) != kMagic)
        ThrowPackError(path + " is not a MapInfo index file");
    const int slots = GetS16(header.data() + 12);
    if (slots < 1 || slots > kMaxSlots)
        ThrowPackError(path + " has a damaged header");

    out.Write(header.data(), header.size());
    for (int slot = 0; slot < slots; ++slot) {
        std::uint8_t* def = header.data() + kSlotsAt + slot * kSlotSize;
        const std::uint32_t root = Get32(def);
        if (root == 0)
            continue; // a deleted index stays deleted
        const std::uint32_t depth = def[6];
        const std::uint32_t keyLength = def[7];
        if (depth < 1 || keyLength < 1 || keyLength + 4 > kNode - kNodeHeader)
            ThrowPackError(path + ": index " + std::to_string(slot + 1) +
                           " has a damaged definition");
        TreeWriter tree(out, keyLength);
        const auto [newRoot, newDepth] = RemapTree(ind, root, depth, keyLength, rows, tree);
        Put32(def, newRoot);
        Put16(def + 4, static_cast<std::uint16_t>(tree.maxEntries()));
        def[6] = static_cast<std::uint8_t>(newDepth);
    }
    out.WriteAt(0, header.data(), header.size());
}

} // namespace vantero::tablefiles::detail
