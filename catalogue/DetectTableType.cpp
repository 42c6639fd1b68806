#include "catalogue/DetectTableType.h"

#include "base/Ascii.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>

#ifdef _WIN32
#include <windows.h>
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
constexpr std::array<TableKind, 5> kKinds = {TableKind::Native, TableKind::Raster, TableKind::Dbase,
                                             TableKind::Access, TableKind::Excel};
constexpr std::size_t kCarry = 5; // longest keyword minus one

constexpr std::uint8_t kNoWord = 0xFF;
constexpr std::array<std::uint8_t, 256> kWordStartingWith = [] {
    std::array<std::uint8_t, 256> table{};
    table.fill(kNoWord);
    for (std::size_t w = 0; w < kWords.size(); ++w)
        table[static_cast<unsigned char>(kWords[w][0])] = static_cast<std::uint8_t>(w);
    return table;
}();

// Keeps which keywords the current line holds. The line is seen a piece at a time, so the last few
// bytes of one piece are carried over to catch a keyword that straddles two reads; a line of any
// length costs a fixed amount of memory.
class LineScanner {
public:
    void feed(const char* data, std::size_t size) {
        while (size > 0) {
            const std::size_t take = std::min(size, kWindow - m_carryLength);
            char* window = m_buffer.data();
            for (std::size_t i = 0; i < take; ++i)
                window[m_carryLength + i] = asciiLower(data[i]);
            const std::string_view text(window, m_carryLength + take);
            // The keywords start with six different letters, so one pass finds them all.
            for (std::size_t i = 0; i < text.size(); ++i) {
                const std::uint8_t w = kWordStartingWith[static_cast<unsigned char>(text[i])];
                if (w != kNoWord && text.substr(i, kWords[w].size()) == kWords[w])
                    m_found |= 1u << w;
            }
            m_carryLength = std::min(kCarry, text.size());
            std::memmove(window, text.data() + text.size() - m_carryLength, m_carryLength);
            data += take;
            size -= take;
        }
    }

    // The kind the finished line decides, if any; then starts the next line.
    std::optional<TableKind> endLine() {
        std::optional<TableKind> kind;
        if (m_found & 1u) {
            for (std::size_t k = 0; k < kKinds.size() && !kind; ++k)
                if (m_found & (1u << (k + 1)))
                    kind = kKinds[k];
        }
        m_found = 0;
        m_carryLength = 0;
        return kind;
    }

private:
    static constexpr std::size_t kWindow = 4096;
    std::array<char, kWindow> m_buffer; // only the bytes up to m_carryLength + take are read
    std::size_t m_carryLength = 0;
    unsigned m_found = 0;
};

// A file opened for reading only, read with plain system calls: a scan opens thousands of small
// files, and stdio's buffer and locking would cost more than the reading itself.
#ifdef _WIN32

class ReadOnlyFile {
public:
    // Shared with readers and writers alike: a table MapInfo or another program holds open for
    // writing is still read for its kind.
    explicit ReadOnlyFile(const std::string& name)
        : m_handle(CreateFileA(name.c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr)) {}
    ~ReadOnlyFile() {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    bool isOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
    // Bytes read, 0 at the end of the file, -1 on an error.
    long read(char* buffer, std::size_t size) {
        DWORD got = 0;
        if (!ReadFile(m_handle, buffer, static_cast<DWORD>(size), &got, nullptr))
            return -1;
        return static_cast<long>(got);
    }

private:
    HANDLE m_handle;
};

#else

class ReadOnlyFile {
public:
    // Non-blocking, so that a named pipe called *.tab cannot hang the scan waiting for a writer.
    explicit ReadOnlyFile(const std::string& name)
        : m_fd(open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {}
    ~ReadOnlyFile() {
        if (m_fd >= 0)
            close(m_fd);
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    // Bytes read, 0 at the end of the file, -1 on an error.
    long read(char* buffer, std::size_t size) {
        for (;;) {
            const long n = static_cast<long>(::read(m_fd, buffer, size));
            if (n >= 0 || errno != EINTR)
                return n;
        }
    }

private:
    int m_fd;
};

#endif

// Splits the text into lines, a piece at a time, and gives each line to the scanner: the kind is
// known at the end of the first line that names one.
class KindReader {
public:
    // The kind, once a line has decided it; Unknown at a Ctrl+Z, which ends the text.
    std::optional<TableKind> feed(const char* data, std::size_t n) {
        std::size_t pos = 0;
        if (m_skipLineFeed && n > 0 && data[0] == '\n')
            pos = 1;
        m_skipLineFeed = false;
        while (pos < n) {
            const char* begin = data + pos;
            const std::size_t rest = n - pos;
            const void* cr = std::memchr(begin, '\r', rest);
            std::size_t len =
                cr ? static_cast<std::size_t>(static_cast<const char*>(cr) - begin) : rest;
            if (const void* z = std::memchr(begin, kCtrlZ, len))
                len = static_cast<std::size_t>(static_cast<const char*>(z) - begin);
            m_scanner.feed(begin, len);
            pos += len;
            if (pos == n)
                break;
            const char end = data[pos++];
            if (const std::optional<TableKind> kind = m_scanner.endLine())
                return kind;
            if (end == kCtrlZ)
                return TableKind::Unknown;
            if (pos < n) {
                if (data[pos] == '\n')
                    ++pos;
            } else {
                m_skipLineFeed = true;
            }
        }
        return std::nullopt;
    }

    // The kind once the text has ended: the last line needs no line end.
    TableKind finish() { return m_scanner.endLine().value_or(TableKind::Unknown); }

private:
    LineScanner m_scanner;
    bool m_skipLineFeed = false;
};

} // namespace

TableKind detectTableType(const std::string& fileName) noexcept {
    ReadOnlyFile file(fileName);
    if (!file.isOpen())
        return TableKind::Unknown;
    KindReader reader;
    std::array<char, 16384> chunk;
    for (;;) {
        const long got = file.read(chunk.data(), chunk.size());
        if (got < 0)
            return TableKind::Unknown; // a directory, or a read error
        if (got == 0)
            break;
        const auto n = static_cast<std::size_t>(got);
        if (const std::optional<TableKind> kind = reader.feed(chunk.data(), n))
            return *kind;
        // A file gives fewer bytes than asked for only at its end; stopping here spares most small
        // .tab files a second read, which in a folder of thousands is a good part of the scan.
        if (n < chunk.size())
            break;
    }
    return reader.finish();
}

TableKind detectTableTypeInText(std::string_view text) noexcept {
    KindReader reader;
    if (const std::optional<TableKind> kind = reader.feed(text.data(), text.size()))
        return *kind;
    return reader.finish();
}

} // namespace vantero
