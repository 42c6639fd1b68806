#include "mapinfo/ErrorText.h"

#include <cstdio>

namespace vantero {

std::string TrimErrorText(std::string_view text) {
    std::size_t end = text.size();
    while (end > 0) {
        const auto c = static_cast<unsigned char>(text[end - 1]);
        if (c > 32 && c != '.')
            break;
        --end;
    }
    return std::string(text.substr(0, end));
}

std::string OleErrorText(std::uint32_t code) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "OLE error %.8X", static_cast<unsigned>(code));
    return buffer;
}

std::string ServerErrorText(std::string_view description, std::uint32_t code,
                            const std::function<std::string(std::uint32_t)>& systemMessage) {
    std::string text = TrimErrorText(description);
    if (text.empty() && systemMessage)
        text = TrimErrorText(systemMessage(code));
    if (text.empty())
        text = OleErrorText(code);
    return text;
}

std::string MethodNotSupportedText(std::string_view method) {
    return "Method '" + std::string(method) + "' not supported by automation object";
}

} // namespace vantero
