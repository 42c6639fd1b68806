#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
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
bool PathExists(const std::string& path);
void FsyncFolder(const std::string& folder);

// A whole file mapped for reading. Random access into the .MAP and .IND is the common case, and
// the page cache serves it better than a hand-made block cache.
class MappedFile {
public:
    explicit MappedFile(const std::string& path);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    const std::uint8_t* data() const { return data_; }
    std::uint64_t size() const { return size_; }
    const std::string& path() const { return path_; }
    mode_t mode() const { return mode_; }
    uid_t owner() const { return owner_; }
    gid_t group() const { return group_; }

private:
    std::string path_;
    const std::uint8_t* data_ = nullptr;
    std::uint64_t size_ = 0;
    mode_t mode_ = 0644;
    uid_t owner_ = 0;
    gid_t group_ = 0;
};

// A new file written through a large buffer. It is created exclusively, so a name that is already
// taken is never overwritten, and it becomes durable only through Finish. A file that replaces
// another steps the progress at every thirty-second of the old file's size, so that the checkpoints
// fall all through the writing of each file, small or large.
class OutputFile {
public:
    OutputFile(std::string path, const MappedFile& like, Progress& progress);
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
