#include "catalogue/DetectTableType.h"

#include "records/Ascii.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
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
            for (std::size_t w = 0; w < kWords.size(); ++w)
                if (!(found_ & (1u << w)) && text.find(kWords[w]) != std::string_view::npos)
                    found_ |= 1u << w;
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
    std::array<char, kWindow> buffer_{};
    std::size_t carryLength_ = 0;
    unsigned found_ = 0;
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

} // namespace

std::string DetectTableType(const std::string& fileName) noexcept {
    std::FILE* file = std::fopen(fileName.c_str(), "rb");
    if (!file)
        return "Unknown";
    std::unique_ptr<std::FILE, FileCloser> closer(file);
    // Reads go straight into our buffer; stdio's own would only copy them once more.
    std::setvbuf(file, nullptr, _IONBF, 0);

    LineScanner scanner;
    std::array<char, 16384> chunk;
    bool skipLineFeed = false;
    for (;;) {
        const std::size_t n = std::fread(chunk.data(), 1, chunk.size(), file);
        if (n == 0)
            break;
        std::size_t pos = 0;
        if (skipLineFeed && chunk[0] == '\n')
            pos = 1;
        skipLineFeed = false;
        while (pos < n) {
            const char* begin = chunk.data() + pos;
            std::size_t len = 0;
            while (pos + len < n && begin[len] != '\r' && begin[len] != kCtrlZ)
                ++len;
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
    if (std::ferror(file))
        return "Unknown";
    // The last line needs no line end.
    if (const char* kind = scanner.EndLine())
        return kind;
    return "Unknown";
}

} // namespace vantero
