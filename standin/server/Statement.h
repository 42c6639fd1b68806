#pragma once

// The MapBasic statements the stand-in understands, read as MapBasic reads them: keywords in any
// letter case, words separated by any run of blanks, a path as a string literal in which "" stands
// for one double quote.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

namespace vantero::standin {

// A statement that cannot be run; the message is the error reply's text as it stands.
struct StatementError : std::runtime_error {
    using runtime_error::runtime_error;
};

struct SetNextDocumentParent {
    std::uint64_t window;
};
struct SetApplicationWindow {
    std::uint64_t window;
};
struct SetProgressBars {
    bool on;
};
struct OpenTable {
    std::string path;                 // as the statement spells it, in the bus's UTF-8
    std::optional<std::string> alias; // absent without "As"
};
struct PackTableStatement {
    std::string alias;
    bool graphic = false;
    bool data = false;
};
struct CloseAll {};
struct CloseTable {
    std::string alias;
};

using Statement = std::variant<SetNextDocumentParent, SetApplicationWindow, SetProgressBars,
                               OpenTable, PackTableStatement, CloseAll, CloseTable>;

// Throws StatementError: "Unrecognized command: " and the statement for anything that is not one
// of the statements above, a more precise message for one that starts like one but is malformed.
Statement parseStatement(std::string_view text);

} // namespace vantero::standin
