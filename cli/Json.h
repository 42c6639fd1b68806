#pragma once

// One JSON object on one line, built field by field: what --json prints for scripts.

#include <cstdint>
#include <string>
#include <string_view>

namespace vantero::cli {

class JsonObject {
public:
    JsonObject& add(std::string_view name, std::string_view text);
    JsonObject& add(std::string_view name, const char* text) {
        return add(name, std::string_view(text));
    }
    JsonObject& add(std::string_view name, std::uint64_t number);
    JsonObject& add(std::string_view name, bool value);
    std::string text() const { return m_text + "}"; }

private:
    void name(std::string_view name);
    std::string m_text = "{";
};

// A JSON string of the bytes: escaped, and valid UTF-8 whatever the bytes were (a file name in
// another encoding keeps its ASCII and gets U+FFFD for the rest).
std::string jsonString(std::string_view bytes);

} // namespace vantero::cli
