#include "catalogue/DetectTableType.h"

#include "records/Ascii.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define close _close
#else
#include <fcntl.h>
#include <unistd.h>
#endif
#include <string_view>

namespace vantero {

namespace {

constexpr char kCtrlZ = 26;

// "type" first, then the kinds in the order they are tested: the first kind whose keyword shares
// a line with "type" wins.
constexpr std::array<std::string_view, 6> kWords = {"type", "native", "raster",
                                                    "dbf",  "access", "xls"};
constexpr std::array<const char*, 5> kKinds = {"Native", "Raster", "Dbase", "Access", "Excel"};
constexpr std::size_t kCarry = 5; // longest keyword minus one

constexpr std::array<signed char, 256> kWordStartingWith = [] {
    std::array<signed char, 256> table{};
    table.fill(-1);
    for (std::size_t w = 0; w < kWords.size(); ++w)
        table[static_cast<unsigned char>(kWords[w][0])] = static_cast<signed char>(w);
    return table;
}();

// Keeps which keywords the current line holds. The line is seen a piece at a time, so the last few
// bytes of one piece are carried over to catch a keyword that straddles two reads; a line of any
// length costs a fixed amount of memory.
class LineScanner {
public:
    void Feed(const char* data, std::size_t size) {
        while (size > 0) {
            const std::size_t take = std::min(size, kWindow - carryLength_);
            char* window = buffer_.data();
            for (std::size_t i = 0; i < take; ++i)
                window[carryLength_ + i] = AsciiLower(data[i]);
            const std::string_view text(window, carryLength_ + take);
            // The keywords start with six different letters, so one pass finds them all.
            for (std::size_t i = 0; i < text.size(); ++i) {
                const int w = kWordStartingWith[static_cast<unsigned char>(text[i])];
                if (w >= 0 && text.substr(i, kWords[w].size()) == kWords[w])
                    found_ |= 1u << w;
            }
            carryLength_ = std::min(kCarry, text.size());
            std::memmove(window, text.data() + text.size() - carryLength_, carryLength_);
            data += take;
            size -= take;
        }
    }

    // The kind the finished line decides, or nullptr; then starts the next line.
    const char* EndLine() {
        const char* kind = nullptr;
        if (found_ & 1u) {
            for (std::size_t k = 0; k < kKinds.size() && !kind; ++k)
                if (found_ & (1u << (k + 1)))
                    kind = kKinds[k];
        }
        found_ = 0;
        carryLength_ = 0;
        return kind;
    }

private:
    static constexpr std::size_t kWindow = 4096;
    std::array<char, kWindow> buffer_; // only the bytes up to carryLength_ + take are read
    std::size_t carryLength_ = 0;
    unsigned found_ = 0;
};

// A file opened for reading only, read with plain system calls: a scan opens thousands of small
// files, and stdio's buffer and locking would cost more than the reading itself.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const std::string& name) {
#ifdef _WIN32
        fd_ = _open(name.c_str(), _O_RDONLY | _O_BINARY);
#else
        // Non-blocking, so that a named pipe called *.tab cannot hang the scan waiting for a
        // writer.
        fd_ = open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
#endif
    }
    ~ReadOnlyFile() {
        if (fd_ >= 0)
            close(fd_);
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    bool IsOpen() const {
        return fd_ >= 0;
    }
    // Bytes read, 0 at the end of the file, -1 on an error.
    long Read(char* buffer, std::size_t size) {
        for (;;) {
#ifdef _WIN32
            const long n = _read(fd_, buffer, static_cast<unsigned>(size));
#else
            const long n = static_cast<long>(read(fd_, buffer, size));
#endif
            if (n >= 0 || errno != EINTR)
                return n;
        }
    }

private:
    int fd_ = -1;
};

} // namespace

std::string DetectTableType(const std::string& fileName) noexcept {
    ReadOnlyFile file(fileName);
    if (!file.IsOpen())
        return "Unknown";

    LineScanner scanner;
    std::array<char, 16384> chunk;
    bool skipLineFeed = false;
    bool atEnd = false;
    while (!atEnd) {
        const long got = file.Read(chunk.data(), chunk.size());
        if (got < 0)
            return "Unknown"; // a directory, or a read error
        if (got == 0)
            break;
        const auto n = static_cast<std::size_t>(got);
        // A file gives fewer bytes than asked for only at its end; stopping here spares most small
        // .tab files a second read, which in a folder of thousands is a good part of the scan.
        atEnd = n < chunk.size();
        std::size_t pos = 0;
        if (skipLineFeed && chunk[0] == '\n')
            pos = 1;
        skipLineFeed = false;
        while (pos < n) {
            const char* begin = chunk.data() + pos;
            const std::size_t rest = n - pos;
            const void* cr = std::memchr(begin, '\r', rest);
            std::size_t len =
                cr ? static_cast<std::size_t>(static_cast<const char*>(cr) - begin) : rest;
            if (const void* z = std::memchr(begin, kCtrlZ, len))
                len = static_cast<std::size_t>(static_cast<const char*>(z) - begin);
            scanner.Feed(begin, len);
            pos += len;
            if (pos == n)
                break;
            const char end = chunk[pos++];
            if (const char* kind = scanner.EndLine())
                return kind;
            if (end == kCtrlZ)
                return "Unknown";
            if (pos < n) {
                if (chunk[pos] == '\n')
                    ++pos;
            } else {
                skipLineFeed = true;
            }
        }
    }
    // The last line needs no line end.
    if (const char* kind = scanner.EndLine())
        return kind;
    return "Unknown";
}

} // namespace vantero
