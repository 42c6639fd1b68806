#include "tablefiles/PackTable.h"

#include "tablefiles/Bytes.h"
#include "tablefiles/DataFile.h"
#include "tablefiles/FileIo.h"
#include "tablefiles/IndexFile.h"
#include "tablefiles/MapFile.h"
#include "tablefiles/SwapJournal.h"
#include "tablefiles/TableFiles.h"

#include <memory>
#include <optional>

namespace vantero::tablefiles {

namespace {

using namespace detail;

const char* KindName(TableStorage storage) {
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
        if (!kept_)
            for (const Replacement& r : list_)
                RemoveFileQuietly(r.fresh);
    }
    // Reserves the new name of target before the file is created, so that a failure while
    // writing it still removes it.
    const std::string& Add(const std::string& target) {
        list_.push_back({target, NewFileName(target)});
        return list_.back().fresh;
    }
    const std::vector<Replacement>& list() const { return list_; }
    void Keep() { kept_ = true; }

private:
    std::vector<Replacement> list_;
    bool kept_ = false;
};

std::unique_ptr<InputFile> OpenIfPresent(const std::string& path) {
    if (path.empty())
        return nullptr;
    // Renaming over a link would replace the link, not the file it points at.
    if (KindOf(path) != PathKind::File)
        ThrowPackError(path + " is not a regular file; its table is not packed");
    return std::make_unique<InputFile>(path);
}

// The files of a table that its owner made read-only are not replaced behind their back, even
// by a process that could.
void RefuseReadOnly(const InputFile* file) {
    if (file && !file->Writable())
        ThrowPackError(file->path() + " is read-only; its table is not packed");
}

void WriteIdEntry(OutputFile& out, std::uint32_t value) {
    std::uint8_t bytes[4];
    Put32(bytes, value);
    out.Write(bytes, 4);
}

} // namespace

void RecoverInterruptedPack(const std::string& tabPath) {
    (void)ReadTableStorage(tabPath);
    const TableLock lock(tabPath);
    RecoverLocked(tabPath);
}

void PackTable(const std::string& tabPath, PackOptions options,
               const std::function<void(int step)>& checkpoint) {
    Progress progress(checkpoint);
    (void)ReadTableStorage(tabPath); // refuses folders and non-tables before anything is opened
    const TableLock lock(tabPath);
    RecoverLocked(tabPath);
    progress.Step();

    const TableFiles files = FindTableFiles(tabPath);
    const TableStorage storage = files.info.storage;
    if (storage == TableStorage::NativeX)
        // Nothing independent can read such a table to check a pack of it.
        ThrowPackError(tabPath + " is an extended native table (Type NATIVEX, MapInfo 15.2 and " +
                       "later); tables of this kind are not packed by the stand-in");
    if (storage != TableStorage::Native && storage != TableStorage::Dbf)
        ThrowPackError(tabPath + " is a " + KindName(storage) +
                       " table; only native and dBase tables can be packed");
    const bool dbase = storage == TableStorage::Dbf;
    if (files.data.empty())
        ThrowPackError(tabPath + " has no " + (dbase ? ".dbf" : ".DAT") + " file beside it");

    const auto data = OpenIfPresent(files.data);
    const DataHeader header = ReadDataHeader(*data, dbase);
    const auto id = OpenIfPresent(files.id);
    const auto map = OpenIfPresent(files.map);
    const auto ind = options.data ? OpenIfPresent(files.ind) : nullptr;
    if (!options.graphic && !options.data)
        return;
    if (!files.info.readOnly.empty())
        ThrowPackError(tabPath + " is not packed: " + files.info.readOnly);
    for (const InputFile* file : {data.get(), id.get(), map.get(), ind.get()})
        RefuseReadOnly(file);

    // The pack cannot tell which of two files that disagree is right, so it touches neither.
    CheckFieldsAgainstTab(header, files.info.fields, dbase, files.data, tabPath);
    IdFile ids = id ? IdFile(*id) : IdFile();
    if (id && ids.rows() != header.records)
        ThrowPackError(files.id + " holds " + std::to_string(ids.rows()) + " entries, but " +
                       files.data + " holds " + std::to_string(header.records) +
                       " records; the files disagree, so the table is not packed");
    std::optional<RowMap> rowMap;
    if (options.data)
        rowMap.emplace(MapRows(*data, header, dbase));
    const bool dropRows = rowMap && rowMap->kept() < header.records;
    const RowMap* rows = dropRows ? &*rowMap : nullptr;
    if (id)
        CheckIdsAgainstMap(ids, files.id, map.get(), rows);
    const bool rewriteMap = options.graphic && map && id;
    progress.Step();

    NewFiles fresh;
    if (rewriteMap) {
        OutputFile out(fresh.Add(files.map), *map, progress);
        RewriteMap(*map, ids, rows, out);
        out.Finish();
    } else if (dropRows && map && id) {
        OutputFile out(fresh.Add(files.map), *map, progress);
        RenumberMapObjects(*map, ids, *rows, out);
        out.Finish();
    }
    if (dropRows) {
        OutputFile out(fresh.Add(files.data), *data, progress);
        WritePackedData(*data, header, *rows, out);
        out.Finish();
    }
    if (id && (rewriteMap || dropRows)) {
        // With a graphic pack the entries now hold the objects' new addresses.
        OutputFile out(fresh.Add(files.id), *id, progress);
        for (std::uint32_t row = 1; row <= ids.rows(); ++row)
            if (!rows || rows->NewRow(row) != 0)
                WriteIdEntry(out, ids.At(row));
        out.Finish();
    }
    if (dropRows && ind) {
        OutputFile out(fresh.Add(files.ind), *ind, progress);
        RemapIndexFile(*ind, *rows, out);
        out.Finish();
    }
    if (fresh.list().empty())
        return;
    fresh.Keep();
    try {
        SwapIn(tabPath, fresh.list(), progress);
    } catch (...) {
        // Before the journal was written the new files are still only new files.
        if (!PathExists(JournalName(tabPath)))
            for (const Replacement& r : fresh.list())
                RemoveFileQuietly(r.fresh);
        throw;
    }
}

} // namespace vantero::tablefiles
