#include "cli/Json.h"

#include <cstdio>

namespace vantero::cli {

namespace {

// The length of the UTF-8 sequence that starts at text[i], or 0 when it is not a valid one.
std::size_t utf8Length(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    const std::size_t length = lead < 0x80                    ? 1
                               : lead >= 0xC2 && lead <= 0xDF ? 2
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 0;
    if (length == 0 || i + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k)
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
    // Overlong forms and surrogates are not UTF-8 either.
    if ((lead == 0xE0 && byte(i + 1) < 0xA0) || (lead == 0xED && byte(i + 1) > 0x9F) ||
        (lead == 0xF0 && byte(i + 1) < 0x90) || (lead == 0xF4 && byte(i + 1) > 0x8F))
        return 0;
    return length;
}

} // namespace

std::string jsonString(std::string_view bytes) {
    std::string out = "\"";
    for (std::size_t i = 0; i < bytes.size();) {
        const char c = bytes[i];
        const std::size_t length = utf8Length(bytes, i);
        if (length == 0) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (length > 1) {
            out.append(bytes.substr(i, length));
            i += length;
            continue;
        }
        ++i;
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

void JsonObject::name(std::string_view name) {
    if (m_text.size() > 1)
        m_text += ',';
    m_text += jsonString(name);
    m_text += ':';
}

JsonObject& JsonObject::add(std::string_view name, std::string_view text) {
    this->name(name);
    m_text += jsonString(text);
    return *this;
}

JsonObject& JsonObject::addNumber(std::string_view name, std::uint64_t number) {
    this->name(name);
    m_text += std::to_string(number);
    return *this;
}

JsonObject& JsonObject::add(std::string_view name, bool value) {
    this->name(name);
    m_text += value ? "true" : "false";
    return *this;
}

} // namespace vantero::cli
