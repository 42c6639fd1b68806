#pragma once

// Letter case as the program's single-byte strings know it: only A to Z and a to z, whatever the
// locale, so that bytes of other code pages pass through unchanged.

#include <string>
#include <string_view>

namespace vantero {

constexpr char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

inline std::string asciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = asciiLower(c);
    return out;
}

constexpr char asciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

inline std::string asciiUpper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = asciiUpper(c);
    return out;
}

constexpr bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    return true;
}

constexpr bool endsWithIgnoringAsciiCase(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() &&
           equalsIgnoringAsciiCase(s.substr(s.size() - suffix.size()), suffix);
}

} // namespace vantero
