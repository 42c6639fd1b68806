#pragma once

// Every call to the system that the table files need, so that the format code above it is the
// same on every platform: this header, the buffering in FileIo.cpp, and the calls themselves in
// FileIoPosix.cpp or FileIoWindows.cpp. The files are streamed through bounded buffers: a pack's
// memory does not grow with the size of the table's files. On Windows paths are byte strings in
// the ANSI code page, as everywhere in the program, and go to the system's A functions.

#include "base/Paths.h"

#ifndef _WIN32
#include <sys/types.h>
#endif

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vantero::tablefiles::detail {

#ifdef _WIN32
using NativeFile = void*; // a HANDLE
inline constexpr NativeFile kNoFile = nullptr;
#else
using NativeFile = int; // a file descriptor
inline constexpr NativeFile kNoFile = -1;
#endif

// Counts the steps of one pack and hands each to the caller's checkpoint.
class Progress {
public:
    explicit Progress(const std::function<void(int)>& checkpoint) : m_checkpoint(checkpoint) {}
    void step() {
        ++m_step;
        if (!m_checkpoint)
            return;
        if (!m_deferring) {
            m_checkpoint(m_step);
            return;
        }
        try {
            m_checkpoint(m_step);
        } catch (...) {
            if (!m_deferred)
                m_deferred = std::current_exception();
        }
    }
    // Once the pack has taken effect it runs to its end, so that a caller who cancels it is not
    // left with a half-swapped table: a checkpoint's exception waits for RethrowDeferred.
    void deferExceptions() { m_deferring = true; }
    void rethrowDeferred() {
        if (m_deferred)
            std::rethrow_exception(std::exchange(m_deferred, nullptr));
    }

private:
    const std::function<void(int)>& m_checkpoint;
    int m_step = 0;
    bool m_deferring = false;
    std::exception_ptr m_deferred;
};

[[noreturn]] void throwPackError(const std::string& message);
// The message with the path and the system's reason for the last failed call.
[[noreturn]] void throwIoError(const std::string& what, const std::string& path);
// The same with the system's words for a file that does not exist.
[[noreturn]] void throwNotFound(const std::string& what, const std::string& path);

enum class PathKind { Missing, File, Folder, Other };
// What is at path. Unless followLinks, a link is Other: renaming over it would replace the link.
PathKind kindOf(const std::string& path, bool followLinks = false);
bool pathExists(const std::string& path);
void fsyncFolder(const std::string& folder);
// A missing source is no error when the rename may have been done before.
void renameFile(const std::string& from, const std::string& to, bool mayBeDone = false);
void removeFile(const std::string& path); // a missing file is no error
void removeFileQuietly(const std::string& path);
// Refuses a file that renameFile could not replace now. Windows cannot rename over a file that is
// open, so a table another program holds open is refused before its swap begins rather than left
// half-swapped; elsewhere a rename replaces an open file and this does nothing.
void requireReplaceable(const std::string& path);

// Holds an advisory lock on the table for one pack or recovery, so that two packs of one table
// never swap its files at once, whether in two processes or in one.
class TableLock {
public:
    explicit TableLock(const std::string& tabPath);
    ~TableLock();
    TableLock(const TableLock&) = delete;
    TableLock& operator=(const TableLock&) = delete;

private:
    NativeFile m_file = kNoFile;
};

// A file opened for reading at any offset. Small reads go through a bounded cache of pages, as
// the .MAP and .IND are read in many small pieces all over the file; large reads go straight to
// the caller's buffer.
class InputFile {
public:
    // Follows links; anything but a regular file is refused.
    explicit InputFile(const std::string& path);
    // What is at path, and the file opened when it is a regular file: one call where a look-up
    // before the open would be two, for the thousands of small files of a dry run. Unless
    // followLinks, a link is Other. Other failures to open are a PackError.
    static std::pair<PathKind, std::unique_ptr<InputFile>> openIfFile(const std::string& path,
                                                                      bool followLinks);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    std::uint64_t size() const { return m_size; }
    const std::string& path() const { return m_path; }
    // Whether this process may replace the file: its owner has left it writable and so may we.
    bool writable() const;

    // Copies size bytes from offset; a range that is not inside the file is a PackError that
    // names it.
    void read(std::uint64_t offset, void* into, std::size_t size) const {
        const std::size_t slot = offset / kPageSize % m_slots;
        const std::size_t at = offset % kPageSize;
        if (m_cached[slot] == offset / kPageSize && size <= kPageSize - at &&
            offset + size <= m_size)
            std::memcpy(into, m_pages.get() + slot * kPageSize + at, size); // the common case
        else
            readMissed(offset, into, size);
    }

    // The size bytes from offset where they lie in memory, for a file small enough to be held
    // whole; nullptr for a larger one, whose bytes are read into the caller's buffer instead.
    const std::uint8_t* view(std::uint64_t offset, std::size_t size) const;

private:
    friend class OutputFile;
    // Pages of the file, each in the slot its number gives. They are small: a spatial index
    // leads all over a .MAP, and larger pages, or reading ahead, read the file several times over.
    static constexpr std::size_t kPageSize = 4 << 10;
    static constexpr std::size_t kPages = 1024;
    static constexpr std::uint64_t kNone = ~std::uint64_t{0};
    // A file this small is read whole at its first read, in one call rather than one a page: the
    // files of most tables are, and all of each is read in the end.
    static constexpr std::uint64_t kWholeFile = 256 << 10;
    static_assert(kWholeFile <= kPages * kPageSize);

    struct Unopened {};
    InputFile(const std::string& path, Unopened) : m_path(path) {}
    // Opens the file and learns its size when it is a regular file; otherwise leaves it closed.
    PathKind openForReading(bool followLinks);
    void prepareCache();
    void readMissed(std::uint64_t offset, void* into, std::size_t size) const;
    void load(std::uint64_t page) const;
    void loadWhole() const;
    void requireInside(std::uint64_t offset, std::size_t size) const; // or a PackError
    void readFromFile(std::uint64_t offset, std::uint8_t* into, std::size_t size) const;

    std::string m_path;
    NativeFile m_file = kNoFile;
    std::uint64_t m_size = 0;
#ifndef _WIN32
    // What a file that replaces this one takes over from it.
    mode_t m_mode = 0644;
    uid_t m_owner = 0;
    gid_t m_group = 0;
#endif
    mutable std::unique_ptr<std::uint8_t[]> m_pages;
    // As many slots as the file has pages, up to kPages: a small file costs a small cache.
    std::size_t m_slots = 1;
    mutable std::vector<std::uint64_t> m_cached;
    mutable bool m_whole = false;
};

// A new file written through a large buffer. It is created exclusively, so a name that is already
// taken is never overwritten, and it becomes durable only through Finish. A file that replaces
// another steps the progress at every thirty-second of the old file's size, so that the checkpoints
// fall all through the writing of each file, small or large.
class OutputFile {
public:
    OutputFile(std::string path, const InputFile& like, Progress& progress);
    // A file of the pack's own, such as its journal, with the system's default permissions.
    OutputFile(std::string path, Progress& progress);
    // A file that is only measured: its bytes are counted and dropped, for what a pack would
    // write without writing it.
    explicit OutputFile(Progress& progress);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(const void* bytes, std::size_t size);
    void writeZeros(std::size_t size);
    // Overwrites bytes already written, for headers whose fields are known only at the end.
    void writeAt(std::uint64_t offset, const void* bytes, std::size_t size);
    std::uint64_t size() const { return m_flushed + m_buffer.size(); }
    // Whether the bytes are only counted, so a writer may skip making what nobody reads.
    bool onlyMeasured() const { return m_file == kNoFile; }
    void finish(); // flush, fsync, close
    const std::string& path() const { return m_path; }

private:
    void create(const InputFile* like);
    void writeToFile(std::uint64_t offset, const std::uint8_t* p, std::size_t size);
    void closeDurably();
    void flush();
    void append(const std::uint8_t* p, std::size_t size); // nullptr: zeros

    std::string m_path;
    Progress& m_progress;
    NativeFile m_file = kNoFile; // none when only measured, and then no buffer either
    std::vector<std::uint8_t> m_buffer;
    std::uint64_t m_flushed = 0;
    std::uint64_t m_stepEvery;
    std::uint64_t m_untilStep;
};

} // namespace vantero::tablefiles::detail
