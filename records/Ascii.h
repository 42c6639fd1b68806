#pragma once

// Letter case as the program's single-byte strings know it: only A to Z and a to z, whatever the
// locale, so that bytes of other code pages pass through unchanged.

#include <string>
#include <string_view>

namespace vantero {

constexpr char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

inline std::string AsciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = AsciiLower(c);
    return out;
}

constexpr bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    return true;
}

constexpr bool EndsWithIgnoringAsciiCase(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() &&
           EqualsIgnoringAsciiCase(s.substr(s.size() - suffix.size()), suffix);
}

} // namespace vantero
