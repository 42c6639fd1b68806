// Any bytes in a .tab file must give the kind that a plain whole-file reading of the line rules
// gives, without a crash or a leak; the streaming reader must agree with it at every read boundary.

#include "catalogue/DetectTableType.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// Lines end at CR (a LF right after it belongs to the line end), Ctrl+Z ends the file.
std::string reference(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    if (const auto z = text.find('\x1a'); z != std::string::npos)
        text.resize(z);
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find('\r', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        for (char& c : line)
            if (c >= 'A' && c <= 'Z')
                c = char(c - 'A' + 'a');
        auto has = [&](const char* w) { return line.find(w) != std::string::npos; };
        if (has("type")) {
            if (has("native"))
                return "Native";
            if (has("raster"))
                return "Raster";
            if (has("dbf"))
                return "Dbase";
            if (has("access"))
                return "Access";
            if (has("xls"))
                return "Excel";
        }
        start = end + 1;
        if (start < text.size() && text[start] == '\n')
            ++start;
        if (end == text.size())
            break;
    }
    return "Unknown";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static char path[] = "/tmp/vantero-fuzz-XXXXXX";
    static const int fd = mkstemp(path); // removed at exit, which libFuzzer may skip
    static const int removal = std::atexit([] { unlink(path); });
    (void)removal;
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        std::abort();
    if (vantero::tableKindText(vantero::detectTableType(path)) != reference(data, size))
        std::abort();
    return 0;
}
