// Any bytes in a .tab file must give the kind that a plain whole-file reading of the line rules
// gives, without a crash or a leak; the streaming reader must agree with it at every read boundary.

#include "catalogue/DetectTableType.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// Lines end at CR (a LF right after it belongs to the line end), Ctrl+Z ends the file.
std::string reference(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    text.resize(std::min(text.find('\x1a'), text.size()));
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    const char* const words[] = {"native", "raster", "dbf", "access", "xls"};
    const char* const kinds[] = {"Native", "Raster", "Dbase", "Access", "Excel"};
    for (std::size_t start = 0;;) {
        const std::size_t end = std::min(text.find('\r', start), text.size());
        const std::string line = text.substr(start, end - start);
        if (line.find("type") != std::string::npos)
            for (int i = 0; i < 5; ++i)
                if (line.find(words[i]) != std::string::npos)
                    return kinds[i];
        if (end == text.size())
            return "Unknown";
        start = end + 1 + (end + 1 < text.size() && text[end + 1] == '\n');
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static char path[] = "/tmp/vantero-fuzz-XXXXXX";
    static const int fd = mkstemp(path); // removed at exit, which libFuzzer may skip
    [[maybe_unused]] static const int removal = std::atexit([] { unlink(path); });
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        std::abort();
    if (vantero::tableKindText(vantero::detectTableType(path)) != reference(data, size))
        std::abort();
    return 0;
}
