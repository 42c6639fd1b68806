#pragma once

// How an automation failure becomes the text the user reads. The clients of both platforms build
// their messages here, so that a server's error reads the same whatever carried it.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vantero {

// Drops trailing blanks, control characters (code 32 or less) and periods.
std::string trimErrorText(std::string_view text);

// The message of a ServerError: the server's description trimmed; when nothing is left, the
// system's text for the code trimmed the same way; when still nothing, "OLE error %.8X".
std::string serverErrorText(std::string_view description, std::uint32_t code,
                            const std::function<std::string(std::uint32_t)>& systemMessage);

std::string oleErrorText(std::uint32_t code);
std::string methodNotSupportedText(std::string_view method);

} // namespace vantero
