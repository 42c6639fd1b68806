#pragma once

// Every call to the system that the table files need, so that the format code above it is the
// same on every platform. The files are streamed through bounded buffers: a pack's memory does
// not grow with the size of the table's files.

#include <sys/types.h>

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

// Counts the steps of one pack and hands each to the caller's checkpoint.
class Progress {
public:
    explicit Progress(const std::function<void(int)>& checkpoint) : checkpoint_(checkpoint) {}
    void Step() {
        ++step_;
        if (!checkpoint_)
            return;
        if (!deferring_) {
            checkpoint_(step_);
            return;
        }
        try {
            checkpoint_(step_);
        } catch (...) {
            if (!deferred_)
                deferred_ = std::current_exception();
        }
    }
    // Once the pack has taken effect it runs to its end, so that a caller who cancels it is not
    // left with a half-swapped table: a checkpoint's exception waits for RethrowDeferred.
    void DeferExceptions() { deferring_ = true; }
    void RethrowDeferred() {
        if (deferred_)
            std::rethrow_exception(std::exchange(deferred_, nullptr));
    }

private:
    const std::function<void(int)>& checkpoint_;
    int step_ = 0;
    bool deferring_ = false;
    std::exception_ptr deferred_;
};

[[noreturn]] void ThrowPackError(const std::string& message);
// The message with the path and the system's reason for the last failed call.
[[noreturn]] void ThrowIoError(const std::string& what, const std::string& path);

std::string FolderOf(const std::string& path);
std::string FileNameOf(const std::string& path);

enum class PathKind { Missing, File, Folder, Other };
// What is at path. Unless followLinks, a link is Other: renaming over it would replace the link.
PathKind KindOf(const std::string& path, bool followLinks = false);
bool PathExists(const std::string& path);
void FsyncFolder(const std::string& folder);
// Reads a whole small file, refusing one larger than maxSize.
std::string ReadSmallFile(const std::string& path, std::uint64_t maxSize);
// A missing source is no error when the rename may have been done before.
void RenameFile(const std::string& from, const std::string& to, bool mayBeDone = false);
void RemoveFile(const std::string& path); // a missing file is no error
void RemoveFileQuietly(const std::string& path);

// A file opened for reading at any offset. Small reads go through a bounded cache of pages, as
// the .MAP and .IND are read in many small pieces all over the file; large reads go straight to
// the caller's buffer.
class InputFile {
public:
    explicit InputFile(const std::string& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    std::uint64_t size() const { return size_; }
    const std::string& path() const { return path_; }
    // Whether this process may replace the file: its owner has left it writable and so may we.
    bool Writable() const;

    // Copies size bytes from offset; a range that is not inside the file is a PackError that
    // names it.
    void Read(std::uint64_t offset, void* into, std::size_t size) const {
        const std::size_t slot = offset / kPageSize % kPages;
        const std::size_t at = offset % kPageSize;
        if (cached_[slot] == offset / kPageSize && size <= kPageSize - at && offset + size <= size_)
            std::memcpy(into, pages_.get() + slot * kPageSize + at, size); // the common case
        else
            ReadMissed(offset, into, size);
    }

private:
    friend class OutputFile;
    // Pages of the file, each in the slot its number gives. They are small: a spatial index
    // leads all over a .MAP, and larger pages, or reading ahead, read the file several times over.
    static constexpr std::size_t kPageSize = 4 << 10;
    static constexpr std::size_t kPages = 1024;
    static constexpr std::uint64_t kNone = ~std::uint64_t{0};

    void ReadMissed(std::uint64_t offset, void* into, std::size_t size) const;
    void Load(std::uint64_t page) const;
    void ReadFromFile(std::uint64_t offset, std::uint8_t* into, std::size_t size) const;

    std::string path_;
    int fd_ = -1;
    std::uint64_t size_ = 0;
    mode_t mode_ = 0644;
    uid_t owner_ = 0;
    gid_t group_ = 0;
    mutable std::unique_ptr<std::uint8_t[]> pages_;
    mutable std::vector<std::uint64_t> cached_ = std::vector<std::uint64_t>(kPages, kNone);
};

// A new file written through a large buffer. It is created exclusively, so a name that is already
// taken is never overwritten, and it becomes durable only through Finish. A file that replaces
// another steps the progress at every thirty-second of the old file's size, so that the checkpoints
// fall all through the writing of each file, small or large.
class OutputFile {
public:
    OutputFile(std::string path, const InputFile& like, Progress& progress);
    OutputFile(std::string path, mode_t mode, Progress& progress);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void Write(const void* bytes, std::size_t size);
    void WriteZeros(std::size_t size);
    // Overwrites bytes already written, for headers whose fields are known only at the end.
    void WriteAt(std::uint64_t offset, const void* bytes, std::size_t size);
    std::uint64_t Size() const { return flushed_ + buffer_.size(); }
    void Finish(); // flush, fsync, close
    const std::string& path() const { return path_; }

private:
    void Flush();
    void Append(const std::uint8_t* bytes, std::size_t size); // nullptr: zeros

    std::string path_;
    Progress& progress_;
    int fd_ = -1;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t flushed_ = 0;
    std::uint64_t stepEvery_;
    std::uint64_t untilStep_;
};

} // namespace vantero::tablefiles::detail
