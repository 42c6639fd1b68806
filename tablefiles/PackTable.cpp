#include "tablefiles/PackTable.h"
#include "tablefiles/TableSizes.h"

#include "tablefiles/Bytes.h"
#include "tablefiles/DataFile.h"
#include "tablefiles/FileIo.h"
#include "tablefiles/IndexFile.h"
#include "tablefiles/MapFile.h"
#include "tablefiles/SwapJournal.h"
#include "tablefiles/TableFiles.h"

#include <memory>
#include <optional>
#include <utility>

namespace vantero::tablefiles {

namespace {

using namespace detail;

const char* kindName(TableStorage storage) {
    switch (storage) {
    case TableStorage::Native:
        return "native";
    case TableStorage::Dbf:
        return "dBase";
    case TableStorage::Raster:
        return "raster";
    case TableStorage::View:
        return "view";
    case TableStorage::Seamless:
        return "seamless";
    case TableStorage::Linked:
        return "linked";
    case TableStorage::NativeX:
        return "extended native";
    case TableStorage::Other:
        break;
    }
    return "non-native";
}

// The new files written so far; they are removed again unless the swap took them.
class NewFiles {
public:
    ~NewFiles() {
        if (!m_kept)
            for (const Replacement& r : m_list)
                removeFileQuietly(r.fresh);
    }
    // Reserves the new name of target before the file is created, so that a failure while
    // writing it still removes it.
    const std::string& add(const std::string& target) {
        m_list.push_back({target, newFileName(target)});
        return m_list.back().fresh;
    }
    const std::vector<Replacement>& list() const { return m_list; }
    void keep() { m_kept = true; }

private:
    std::vector<Replacement> m_list;
    bool m_kept = false;
};

// The files of a table that its owner made read-only are not replaced behind their back, even
// by a process that could.
void refuseReadOnly(const InputFile* file) {
    if (file && !file->writable())
        throwPackError(file->path() + " is read-only; its table is not packed");
}

void writeIdEntry(OutputFile& out, std::uint32_t value) {
    std::uint8_t bytes[4];
    put32(bytes, value);
    out.write(bytes, 4);
}

} // namespace

void recoverInterruptedPack(const std::string& tabPath) {
    (void)readTableStorage(tabPath);
    const TableLock lock(tabPath);
    recoverLocked(tabPath);
}

void packTable(const std::string& tabPath, PackParts options,
               const std::function<void(int step)>& checkpoint) {
    Progress progress(checkpoint);
    // Refuses folders and non-tables before anything is opened. A recovery never swaps the .tab.
    TabInfo tabInfo = readTabInfo(tabPath);
    const TableLock lock(tabPath);
    recoverLocked(tabPath);
    progress.step();

    TableFiles files = openTableFiles(tabPath, std::move(tabInfo), options.data);
    const TableStorage storage = files.info.storage;
    if (storage == TableStorage::NativeX)
        // Nothing independent can read such a table to check a pack of it.
        throwPackError(tabPath + " is an extended native table (Type NATIVEX, MapInfo 15.2 and " +
                       "later); tables of this kind are not packed by the stand-in");
    if (storage != TableStorage::Native && storage != TableStorage::Dbf)
        throwPackError(tabPath + " is a " + kindName(storage) +
                       " table; only native and dBase tables can be packed");
    const bool dbase = storage == TableStorage::Dbf;
    auto& [info, data, id, map, ind] = files;
    if (!data)
        throwPackError(tabPath + " has no " + (dbase ? ".dbf" : ".DAT") + " file beside it");
    const DataHeader header = readDataHeader(*data, dbase);
    if (!options.graphic && !options.data)
        return;
    if (!info.readOnly.empty())
        throwPackError(tabPath + " is not packed: " + info.readOnly);
    for (const InputFile* file : {data.get(), id.get(), map.get(), ind.get()})
        refuseReadOnly(file);

    // The pack cannot tell which of two files that disagree is right, so it touches neither.
    checkFieldsAgainstTab(header, info.fields, dbase, data->path(), tabPath);
    IdFile ids = id ? IdFile(*id) : IdFile();
    if (id && ids.rows() != header.records)
        throwPackError(id->path() + " holds " + std::to_string(ids.rows()) + " entries, but " +
                       data->path() + " holds " + std::to_string(header.records) +
                       " records; the files disagree, so the table is not packed");
    std::optional<RowMap> rowMap;
    if (options.data)
        rowMap.emplace(mapRows(*data, header, dbase));
    const bool dropRows = rowMap && rowMap->kept() < header.records;
    const RowMap* rows = dropRows ? &*rowMap : nullptr;
    if (id)
        checkIdsAgainstMap(ids, id->path(), map.get(), rows);
    const bool packGraphic = options.graphic && map && id;
    progress.step();

    NewFiles fresh;
    if (packGraphic) {
        OutputFile out(fresh.add(map->path()), *map, progress);
        rewriteMap(*map, ids, rows, out);
        out.finish();
    } else if (dropRows && map && id) {
        OutputFile out(fresh.add(map->path()), *map, progress);
        renumberMapObjects(*map, ids, *rows, out);
        out.finish();
    }
    if (dropRows) {
        OutputFile out(fresh.add(data->path()), *data, progress);
        writePackedData(*data, header, *rows, out);
        out.finish();
    }
    if (id && (packGraphic || dropRows)) {
        // With a graphic pack the entries now hold the objects' new addresses.
        OutputFile out(fresh.add(id->path()), *id, progress);
        for (std::uint32_t row = 1; row <= ids.rows(); ++row)
            if (!rows || rows->keeps(row))
                writeIdEntry(out, ids.at(row));
        out.finish();
    }
    if (dropRows && ind) {
        OutputFile out(fresh.add(ind->path()), *ind, progress);
        remapIndexFile(*ind, *rows, out);
        out.finish();
    }
    if (fresh.list().empty())
        return;
    // Windows cannot rename over a file that is open, and the old files are read no more.
    for (auto* file : {&data, &id, &map, &ind})
        file->reset();
    fresh.keep();
    try {
        swapIn(tabPath, fresh.list(), progress);
    } catch (...) {
        // Before the journal was written the new files are still only new files.
        if (!pathExists(journalName(tabPath)))
            for (const Replacement& r : fresh.list())
                removeFileQuietly(r.fresh);
        throw;
    }
}

TableSizes measureTable(const std::string& tabPath) {
    return measureTable(tabPath, readTabText(tabPath));
}

TableSizes measureTable(const std::string& tabPath, const std::string& tabText) {
    const TableFiles files = openTableFiles(tabPath, parseTabInfo(tabPath, tabText), true);
    const auto& [info, data, id, map, ind] = files;
    if (info.storage != TableStorage::Native)
        throwPackError(tabPath + " is a " + kindName(info.storage) +
                       " table; only native tables are measured");
    if (!data)
        throwPackError(tabPath + " has no .DAT file beside it");
    const DataHeader header = readDataHeader(*data, false);
    IdFile ids = id ? IdFile(*id) : IdFile();
    if (id && ids.rows() != header.records)
        throwPackError(id->path() + " and " + data->path() + " disagree on the number of rows");
    const RowMap rows = mapRows(*data, header, false);

    // What a pack of both parts would write, written nowhere: the difference is what it frees.
    const std::function<void(int)> none;
    Progress progress(none);
    const bool dropRows = rows.kept() < header.records;
    std::uint64_t before = data->size();
    std::uint64_t after = dropRows ? packedDataSize(header, rows) : data->size();
    if (map && id) {
        OutputFile out(progress);
        rewriteMap(*map, ids, dropRows ? &rows : nullptr, out);
        before += map->size() + id->size();
        after += out.size() + std::uint64_t{4} * rows.kept();
    }
    if (ind && dropRows) {
        OutputFile out(progress);
        remapIndexFile(*ind, rows, out);
        before += ind->size();
        after += out.size();
    }
    return {rows.kept(), header.records - rows.kept(), before > after ? before - after : 0};
}

} // namespace vantero::tablefiles
