#include "tablefiles/SwapJournal.h"

#include "tablefiles/Bytes.h"
#include "tablefiles/TableFiles.h"

#include <string_view>

namespace vantero::tablefiles::detail {

namespace {

constexpr std::string_view kNewSuffix = ".vantero-new";
constexpr std::string_view kJournalSuffix = ".vantero-journal";
constexpr std::string_view kJournalTempSuffix = ".vantero-journal.tmp";
constexpr std::string_view kMagic = "VANTERO-PACK-JOURNAL-1\n";
constexpr std::uint64_t kMaxJournal = 1 << 16;
// What a name of the table's own files never holds: a separator, and on Windows a drive's or a
// stream's colon too.
#ifdef _WIN32
constexpr std::string_view kNotInAName("/\\:\0", 4);
#else
constexpr std::string_view kNotInAName("/\0", 2);
#endif

std::uint32_t checksum(const std::uint8_t* p, std::size_t size) {
    std::uint32_t h = 2166136261u; // FNV-1a
    for (std::size_t i = 0; i < size; ++i)
        h = (h ^ p[i]) * 16777619u;
    return h;
}

void appendName(std::vector<std::uint8_t>& out, const std::string& name) {
    std::uint8_t length[4];
    put32(length, static_cast<std::uint32_t>(name.size()));
    out.insert(out.end(), length, length + 4);
    out.insert(out.end(), name.begin(), name.end());
}

std::string stemOf(std::string_view name) {
    const auto dot = name.find_last_of('.');
    return std::string(dot == std::string::npos ? name : name.substr(0, dot));
}

// The journal's targets, as names in the table's folder. A journal that is damaged, or that
// names anything but this table's own files, is refused rather than acted on.
std::vector<std::string> readJournal(const std::string& tabPath, const std::string& journal) {
    const InputFile file(journal);
    const std::uint64_t size = file.size();
    const auto damaged = [&]() -> std::vector<std::string> {
        throwPackError(journal + " is damaged; the table's files were left as they are");
    };
    if (size > kMaxJournal || size < kMagic.size() + 8)
        return damaged();
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    file.read(0, bytes.data(), bytes.size());
    const std::uint8_t* p = bytes.data();
    if (std::string_view(reinterpret_cast<const char*>(p), kMagic.size()) != kMagic ||
        checksum(p, static_cast<std::size_t>(size - 4)) != get32(p + size - 4))
        return damaged();
    std::uint64_t at = kMagic.size();
    const std::uint32_t count = get32(p + at);
    at += 4;
    const std::string stem = stemOf(fileNameOf(tabPath));
    std::vector<std::string> targets;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (at + 4 > size - 4)
            return damaged();
        const std::uint32_t length = get32(p + at);
        at += 4;
        if (length == 0 || at + length > size - 4)
            return damaged();
        std::string name(reinterpret_cast<const char*>(p + at), length);
        at += length;
        if (name.find_first_of(kNotInAName) != std::string::npos || stemOf(name) != stem ||
            name == fileNameOf(tabPath))
            return damaged();
        targets.push_back(std::move(name));
    }
    if (at != size - 4)
        return damaged();
    return targets;
}

void rollForward(const std::string& folder, const std::vector<std::string>& targets,
                 const std::string& journal, Progress* progress) {
    for (const std::string& name : targets) {
        const std::string target = joinPath(folder, name);
        const std::string fresh = newFileName(target);
        // A new file that is gone was renamed before the pack was cut short.
        renameFile(fresh, target, true);
        if (progress)
            progress->step();
    }
    fsyncFolder(folder);
    if (progress)
        progress->step();
    removeFile(journal);
    if (progress)
        progress->step();
    fsyncFolder(folder);
}

} // namespace

std::string newFileName(const std::string& file) {
    return file + std::string(kNewSuffix);
}
std::string journalName(const std::string& tabPath) {
    return tabPath + std::string(kJournalSuffix);
}

void swapIn(const std::string& tabPath, const std::vector<Replacement>& replacements,
            Progress& progress) {
    const std::string folder = folderOf(tabPath);
    const std::string journal = journalName(tabPath);
    const std::string journalTemp = tabPath + std::string(kJournalTempSuffix);

    std::vector<std::uint8_t> bytes(kMagic.begin(), kMagic.end());
    std::uint8_t count[4];
    put32(count, static_cast<std::uint32_t>(replacements.size()));
    bytes.insert(bytes.end(), count, count + 4);
    std::vector<std::string> targets;
    for (const Replacement& r : replacements) {
        targets.emplace_back(fileNameOf(r.target));
        appendName(bytes, targets.back());
    }
    std::uint8_t sum[4];
    put32(sum, checksum(bytes.data(), bytes.size()));
    bytes.insert(bytes.end(), sum, sum + 4);

    // Up to here the table is as it was; a file that cannot be replaced refuses the pack now.
    for (const Replacement& r : replacements)
        requireReplaceable(r.target);
    try {
        OutputFile out(journalTemp, progress);
        out.write(bytes.data(), bytes.size());
        out.finish();
        renameFile(journalTemp, journal);
    } catch (...) {
        removeFileQuietly(journalTemp);
        throw;
    }
    // From here on the pack has happened: whatever stops this process, the next recovery
    // finishes the renames.
    progress.deferExceptions();
    progress.step();
    fsyncFolder(folder);
    progress.step();
    try {
        rollForward(folder, targets, journal, &progress);
    } catch (...) {
        // A failing step is tried once more to the end, so that the caller does not see a
        // half-swapped table; if that fails too, the journal stays for the next recovery.
        try {
            rollForward(folder, targets, journal, nullptr);
        } catch (...) {
        }
        throw;
    }
    progress.step();
    progress.rethrowDeferred();
}

void recoverLocked(const std::string& tabPath) {
    const std::string folder = folderOf(tabPath);
    const std::string journal = journalName(tabPath);
    if (pathExists(journal)) {
        rollForward(folder, readJournal(tabPath, journal), journal, nullptr);
        return;
    }
    // No journal: a pack, if any, stopped before it took effect, and only its new files remain.
    bool removed = false;
    for (const std::string& path : {tabPath + std::string(kJournalTempSuffix)}) {
        if (pathExists(path)) {
            removeFile(path);
            removed = true;
        }
    }
    for (const char* ext : {"dat", "dbf", "id", "map", "ind"}) {
        const std::string file = findSibling(tabPath, ext);
        if (!file.empty() && pathExists(newFileName(file))) {
            removeFile(newFileName(file));
            removed = true;
        }
    }
    if (removed)
        fsyncFolder(folder);
}

} // namespace vantero::tablefiles::detail
