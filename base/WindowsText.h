#pragma once

// Windows only: the program's byte strings are in the ANSI code page, as the system's A functions
// take them, and names the shell shows are kept in UTF-8; the system's W functions and COM take
// wide strings. One place crosses between them.

#include <string>
#include <string_view>

namespace vantero {

std::wstring fromAnsi(std::string_view text);
std::string toAnsi(std::wstring_view text);
std::wstring fromUtf8(std::string_view text);
std::string toUtf8(std::wstring_view text);

} // namespace vantero
