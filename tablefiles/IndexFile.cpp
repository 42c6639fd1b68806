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

// Writes one level of nodes from a stream of entries, linking siblings, and remembers the first
// key and address of each node for the level above.
class LevelWriter {
public:
    LevelWriter(OutputFile& out, std::uint32_t keyLength, bool zeroFirstKey)
        : out_(out), keyLength_(keyLength), entrySize_(keyLength + 4),
          maxEntries_((kNode - kNodeHeader) / entrySize_), zeroFirstKey_(zeroFirstKey),
          node_(kNode, 0) {}

    void Add(const std::uint8_t* key, std::uint32_t value) {
        if (count_ == maxEntries_)
            Emit(true);
        std::uint8_t* entry = node_.data() + kNodeHeader + count_ * entrySize_;
        if (count_ == 0) {
            firstKeys_.insert(firstKeys_.end(), key, key + keyLength_);
            firsts_.push_back(0); // the address is known when the node is written
        }
        if (zeroFirstKey_ && nodes_ == 0 && count_ == 0)
            std::fill(entry, entry + keyLength_, 0); // below every key, as MapInfo writes it
        else
            std::copy(key, key + keyLength_, entry);
        Put32(entry + keyLength_, value);
        ++count_;
    }

    // Writes the last node, which may be empty when the level has no entries at all.
    void Finish() {
        if (count_ > 0 || nodes_ == 0) {
            if (count_ == 0) {
                firstKeys_.resize(firstKeys_.size() + keyLength_, 0);
                firsts_.push_back(0);
            }
            Emit(false);
        }
    }

    std::size_t nodes() const { return nodes_; }
    std::uint32_t maxEntries() const { return maxEntries_; }
    const std::vector<std::uint8_t>& firstKeys() const { return firstKeys_; }
    const std::vector<std::uint32_t>& addresses() const { return firsts_; }

private:
    void Emit(bool more) {
        const auto here = static_cast<std::uint32_t>(out_.Size());
        Put32(node_.data(), count_);
        Put32(node_.data() + 4, previous_);
        Put32(node_.data() + 8, more ? here + kNode : 0);
        out_.Write(node_.data(), node_.size());
        firsts_[nodes_] = here;
        previous_ = here;
        ++nodes_;
        count_ = 0;
        std::fill(node_.begin(), node_.end(), 0);
    }

    OutputFile& out_;
    std::uint32_t keyLength_;
    std::uint32_t entrySize_;
    std::uint32_t maxEntries_;
    bool zeroFirstKey_;
    std::vector<std::uint8_t> node_;
    std::uint32_t count_ = 0;
    std::uint32_t previous_ = 0;
    std::size_t nodes_ = 0;
    std::vector<std::uint8_t> firstKeys_;
    std::vector<std::uint32_t> firsts_;
};

struct Tree {
    std::uint32_t root = 0;
    std::uint32_t maxEntries = 0;
    std::uint32_t depth = 0;
};

Tree RemapTree(const MappedFile& ind, std::uint32_t root, std::uint32_t depth,
               std::uint32_t keyLength, const std::vector<std::uint32_t>& rowMap, OutputFile& out) {
    const std::string& path = ind.path();
    const std::uint32_t entrySize = keyLength + 4;
    const std::uint32_t maxEntries = (kNode - kNodeHeader) / entrySize;
    const std::uint64_t nodes = ind.size() / kNode;
    std::vector<bool> seen(static_cast<std::size_t>(nodes), false);

    LevelWriter leaves(out, keyLength, false);
    // The old tree is walked depth first, so its leaves come in key order whatever their
    // sibling links say.
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
        const std::uint8_t* node = ind.data() + addr;
        const std::uint32_t count = Get32(node);
        if (count > maxEntries)
            ThrowPackError(path + ": the index node at " + std::to_string(addr) +
                           " claims more entries than it can hold");
        const std::uint8_t* entries = node + kNodeHeader;
        if (level == 1) {
            for (std::uint32_t i = 0; i < count; ++i) {
                const std::uint8_t* entry = entries + i * entrySize;
                const std::uint32_t row = Get32(entry + keyLength);
                // Entries of rows that are gone, or that never existed, have nothing to answer.
                if (row == 0 || row > rowMap.size() || rowMap[row - 1] == 0)
                    continue;
                leaves.Add(entry, rowMap[row - 1]);
            }
        } else {
            for (std::uint32_t i = count; i-- > 0;)
                stack.emplace_back(Get32(entries + i * entrySize + keyLength), level - 1);
        }
    }
    leaves.Finish();

    Tree tree{0, maxEntries, 1};
    std::vector<std::uint8_t> keys = leaves.firstKeys();
    std::vector<std::uint32_t> children = leaves.addresses();
    while (children.size() > 1) {
        LevelWriter upper(out, keyLength, true);
        for (std::size_t i = 0; i < children.size(); ++i)
            upper.Add(keys.data() + i * keyLength, children[i]);
        upper.Finish();
        keys = upper.firstKeys();
        children = upper.addresses();
        if (++tree.depth > kMaxDepth)
            ThrowPackError(path + ": an index would be too deep");
    }
    tree.root = children.front();
    return tree;
}

} // namespace

void RemapIndexFile(const MappedFile& ind, const std::vector<std::uint32_t>& rowMap,
                    OutputFile& out) {
    const std::string& path = ind.path();
    if (ind.size() < kNode || Get32(ind.data()) != kMagic)
        ThrowPackError(path + " is not a MapInfo index file");
    const int slots = GetS16(ind.data() + 12);
    if (slots < 1 || slots > kMaxSlots)
        ThrowPackError(path + " has a damaged header");

    std::vector<std::uint8_t> header(ind.data(), ind.data() + kNode);
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
        const Tree tree = RemapTree(ind, root, depth, keyLength, rowMap, out);
        Put32(def, tree.root);
        Put16(def + 4, static_cast<std::uint16_t>(tree.maxEntries));
        def[6] = static_cast<std::uint8_t>(tree.depth);
    }
    out.WriteAt(0, header.data(), header.size());
}

} // namespace vantero::tablefiles::detail
