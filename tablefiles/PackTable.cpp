#include "tablefiles/PackTable.h"

#include "tablefiles/Bytes.h"
#include "tablefiles/DataFile.h"
#include "tablefiles/FileIo.h"
#include "tablefiles/IndexFile.h"
#include "tablefiles/MapFile.h"
#include "tablefiles/SwapJournal.h"
#include "tablefiles/TableFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
                (void)unlink(r.fresh.c_str());
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

std::unique_ptr<MappedFile> MapIfPresent(const std::string& path) {
    if (path.empty())
        return nullptr;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0)
        ThrowIoError("cannot read", path);
    // Renaming over a link would replace the link, not the file it points at.
    if (!S_ISREG(st.st_mode))
        ThrowPackError(path + " is not a regular file; its table is not packed");
    return std::make_unique<MappedFile>(path);
}

// The files of a table that its owner made read-only are not replaced behind their back, even
// by a process that could.
void RefuseReadOnly(const MappedFile* file) {
    if (file && ((file->mode() & 0222) == 0 ||
                 faccessat(AT_FDCWD, file->path().c_str(), W_OK, AT_EACCESS) != 0))
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
    if (files.storage != TableStorage::Native && files.storage != TableStorage::Dbf)
        ThrowPackError(tabPath + " is a " + KindName(files.storage) +
                       " table; only native and dBase tables can be packed");
    const bool dbase = files.storage == TableStorage::Dbf;
    if (files.data.empty())
        ThrowPackError(tabPath + " has no " + (dbase ? ".dbf" : ".DAT") + " file beside it");

    const auto data = MapIfPresent(files.data);
    const DataHeader header = ReadDataHeader(*data, dbase);
    const auto id = MapIfPresent(files.id);
    const auto map = MapIfPresent(files.map);
    const auto ind = options.data ? MapIfPresent(files.ind) : nullptr;
    const IdFile ids(id.get());
    if (!options.graphic && !options.data)
        return;
    if (files.readOnly)
        ThrowPackError(tabPath + " is marked read-only in its metadata; it is not packed");
    for (const MappedFile* file : {data.get(), id.get(), map.get(), ind.get()})
        RefuseReadOnly(file);

    std::vector<std::uint32_t> rowMap;
    std::uint32_t kept = header.records;
    if (options.data)
        kept = MapRows(*data, header, dbase, rowMap);
    // Entries of the .ID past the last record belong to no row and go as well.
    const bool dropRows = options.data && (kept < header.records || ids.rows() > header.records);
    const bool rewriteMap = options.graphic && map && id;
    progress.Step();

    NewFiles fresh;
    if (dropRows) {
        OutputFile out(fresh.Add(files.data), *data, progress);
        WritePackedData(*data, header, rowMap, kept, out);
        out.Finish();
    }
    std::vector<std::uint32_t> newAddress;
    if (rewriteMap) {
        OutputFile out(fresh.Add(files.map), *map, progress);
        RewriteMap(*map, ids, dropRows ? &rowMap : nullptr, out, newAddress);
        out.Finish();
    } else if (dropRows && map && id) {
        OutputFile out(fresh.Add(files.map), *map, progress);
        RenumberMapObjects(*map, ids, rowMap, out);
        out.Finish();
    }
    if (id && (rewriteMap || dropRows)) {
        OutputFile out(fresh.Add(files.id), *id, progress);
        if (dropRows) {
            for (std::uint32_t row = 1; row <= header.records; ++row)
                if (rowMap[row - 1] != 0)
                    WriteIdEntry(out, rewriteMap ? (row <= ids.rows() ? newAddress[row - 1] : 0)
                                                 : ids.At(row));
        } else {
            for (std::uint32_t row = 1; row <= ids.rows(); ++row)
                WriteIdEntry(out, newAddress[row - 1]);
        }
        out.Finish();
    }
    if (dropRows && ind) {
        OutputFile out(fresh.Add(files.ind), *ind, progress);
        RemapIndexFile(*ind, rowMap, out);
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
                (void)unlink(r.fresh.c_str());
        throw;
    }
}

} // namespace vantero::tablefiles
