#include "mapinfo/ErrorText.h"

#include <cstdio>

namespace vantero {

std::string trimErrorText(std::string_view text) {
    std::size_t end = text.size();
    while (end > 0) {
        const auto c = static_cast<unsigned char>(text[end - 1]);
        if (c > 32 && c != '.')
            break;
        --end;
    }
    return std::string(text.substr(0, end));
}

std::string oleErrorText(std::uint32_t code) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "OLE error %.8X", static_cast<unsigned>(code));
    return buffer;
}

std::string serverErrorText(std::string_view description, std::uint32_t code,
                            const std::function<std::string(std::uint32_t)>& systemMessage) {
    std::string text = trimErrorText(description);
    if (text.empty() && systemMessage)
        text = trimErrorText(systemMessage(code));
    if (text.empty())
        text = oleErrorText(code);
    return text;
}

std::string methodNotSupportedText(std::string_view method) {
    return "Method '" + std::string(method) + "' not supported by automation object";
}

} // namespace vantero
