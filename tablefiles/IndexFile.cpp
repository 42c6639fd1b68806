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
        : m_out(out), m_keyLength(keyLength), m_entrySize(keyLength + 4),
          m_maxEntries((kNode - kNodeHeader) / m_entrySize) {}

    std::uint32_t maxEntries() const { return m_maxEntries; }

    void add(const std::uint8_t* key, std::uint32_t value) { add(0, key, value); }

    // Writes what is left; returns the root and the depth (1: the root is a leaf).
    std::pair<std::uint32_t, std::uint32_t> finish(const std::string& path) {
        if (m_levels.empty())
            start(0, nullptr); // no entry at all: one empty leaf
        for (std::size_t level = 0;; ++level) {
            if (level + 1 > kMaxDepth)
                throwPackError(path + ": an index would be too deep");
            const Level last = m_levels[level];
            write(last, 0);
            if (level + 1 == m_levels.size() && last.nodes == 1)
                return {last.address, static_cast<std::uint32_t>(level + 1)};
            add(level + 1, last.firstKey.data(), last.address);
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

    void start(std::size_t level, const std::uint8_t* key) {
        if (m_levels.size() <= level)
            m_levels.resize(level + 1);
        Level& l = m_levels[level];
        l.previous = l.nodes ? l.address : 0;
        l.address = static_cast<std::uint32_t>(m_out.size());
        m_out.writeZeros(kNode);
        l.count = 0;
        std::fill(l.node.begin(), l.node.end(), 0);
        l.firstKey.assign(m_keyLength, 0);
        if (key)
            std::copy(key, key + m_keyLength, l.firstKey.begin());
        ++l.nodes;
    }

    void write(Level l, std::uint32_t next) {
        put32(l.node.data(), l.count);
        put32(l.node.data() + 4, l.previous);
        put32(l.node.data() + 8, next);
        m_out.writeAt(l.address, l.node.data(), l.node.size());
    }

    void add(std::size_t level, const std::uint8_t* key, std::uint32_t value) {
        if (m_levels.size() <= level) {
            start(level, key);
        } else if (m_levels[level].count == m_maxEntries) {
            // The full node goes out pointing at the one that follows it, and the level above
            // takes its first key.
            const Level full = m_levels[level];
            start(level, key);
            write(full, m_levels[level].address);
            add(level + 1, full.firstKey.data(), full.address);
        }
        Level& l = m_levels[level];
        std::uint8_t* entry = l.node.data() + kNodeHeader + std::size_t{l.count} * m_entrySize;
        if (level > 0 && l.nodes == 1 && l.count == 0)
            std::fill(entry, entry + m_keyLength, 0); // below every key, as MapInfo writes it
        else
            std::copy(key, key + m_keyLength, entry);
        put32(entry + m_keyLength, value);
        ++l.count;
    }

    OutputFile& m_out;
    std::uint32_t m_keyLength;
    std::uint32_t m_entrySize;
    std::uint32_t m_maxEntries;
    std::vector<Level> m_levels;
};

// Walks one old tree depth first, so that its leaves come in key order whatever their sibling
// links say, and writes the new tree as it goes. Returns the root and the depth.
std::pair<std::uint32_t, std::uint32_t> remapTree(const InputFile& ind, std::uint32_t root,
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
            throwPackError(path + ": an index refers to " + std::to_string(addr) +
                           ", which is not a node of the file");
        if (seen[addr / kNode])
            throwPackError(path + ": an index refers twice to the node at " + std::to_string(addr));
        seen[addr / kNode] = true;
        ind.read(addr, node.data(), node.size());
        const std::uint32_t count = get32(node.data());
        if (count > tree.maxEntries())
            throwPackError(path + ": the index node at " + std::to_string(addr) +
                           " claims more entries than it can hold");
        const std::uint8_t* entries = node.data() + kNodeHeader;
        if (level == 1) {
            for (std::uint32_t i = 0; i < count; ++i) {
                const std::uint8_t* entry = entries + std::size_t{i} * entrySize;
                // Entries of rows that are gone, or that never existed, have nothing to answer.
                if (const std::uint32_t row = rows.newRow(get32(entry + keyLength)))
                    tree.add(entry, row);
            }
        } else {
            for (std::uint32_t i = count; i-- > 0;)
                stack.emplace_back(get32(entries + std::size_t{i} * entrySize + keyLength),
                                   level - 1);
        }
    }
    return tree.finish(path);
}

} // namespace

void remapIndexFile(const InputFile& ind, const RowMap& rows, OutputFile& out) {
    const std::string& path = ind.path();
    std::vector<std::uint8_t> header(kNode);
    if (ind.size() >= kNode)
        ind.read(0, header.data(), header.size());
    if (ind.size() < kNode || get32(header.data()) != kMagic)
        throwPackError(path + " is not a MapInfo index file");
    const int slots = getS16(header.data() + 12);
    if (slots < 1 || slots > kMaxSlots)
        throwPackError(path + " has a damaged header");

    out.write(header.data(), header.size());
    for (int slot = 0; slot < slots; ++slot) {
        std::uint8_t* def = header.data() + kSlotsAt + slot * kSlotSize;
        const std::uint32_t root = get32(def);
        if (root == 0)
            continue; // a deleted index stays deleted
        const std::uint32_t depth = def[6];
        const std::uint32_t keyLength = def[7];
        if (depth < 1 || keyLength < 1 || keyLength + 4 > kNode - kNodeHeader)
            throwPackError(path + ": index " + std::to_string(slot + 1) +
                           " has a damaged definition");
        TreeWriter tree(out, keyLength);
        const auto [newRoot, newDepth] = remapTree(ind, root, depth, keyLength, rows, tree);
        put32(def, newRoot);
        put16(def + 4, static_cast<std::uint16_t>(tree.maxEntries()));
        def[6] = static_cast<std::uint8_t>(newDepth);
    }
    out.writeAt(0, header.data(), header.size());
}

} // namespace vantero::tablefiles::detail
