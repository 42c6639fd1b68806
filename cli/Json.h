#pragma once

// One JSON object on one line, built field by field: what --json prints for scripts.

#include <concepts>
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
    // Any unsigned count: std::size_t is narrower than std::uint64_t on 32-bit Windows. A bool
    // goes to its own overload, which wins the tie.
    template <std::unsigned_integral Number> JsonObject& add(std::string_view name, Number number) {
        return addNumber(name, number);
    }
    JsonObject& add(std::string_view name, bool value);
    std::string text() const { return m_text + "}"; }

private:
    JsonObject& addNumber(std::string_view name, std::uint64_t number);
    void name(std::string_view name);
    std::string m_text = "{";
};

// A JSON string of the bytes: escaped, and valid UTF-8 whatever the bytes were (a file name in
// another encoding keeps its ASCII and gets U+FFFD for the rest).
std::string jsonString(std::string_view bytes);

} // namespace vantero::cli
