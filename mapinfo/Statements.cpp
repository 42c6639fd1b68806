#include "mapinfo/Statements.h"

namespace {
bool IsMapBasicNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
} // namespace

namespace vantero {

std::string FormatWindowHandle(std::uint64_t handle) {
    return std::to_string(handle);
}

std::string SetNextDocumentParentStatement(std::uint64_t handle) {
    return "Set Next Document Parent " + FormatWindowHandle(handle) + " Style 1";
}

std::string SetApplicationWindowStatement(std::uint64_t handle) {
    return "Set Application Window " + FormatWindowHandle(handle);
}

std::string ProgressBarsOffStatement() {
    return "set progressbars off";
}

std::string CloseAllStatement() {
    return "close all";
}

std::string QuoteMapBasicText(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    for (char c : text) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted;
}

std::string OpenTableStatement(std::string_view path, std::string_view alias) {
    std::string statement = "open table \"";
    statement += QuoteMapBasicText(path);
    statement += "\" as ";
    statement += alias;
    return statement;
}

std::string PackTableStatement(std::string_view alias, bool graphic, bool data) {
    std::string statement = "Pack Table ";
    statement += alias;
    if (graphic)
        statement += " Graphic";
    if (data)
        statement += " Data";
    return statement;
}

bool IsMapBasicName(std::string_view name) {
    if (name.empty() || (name[0] >= '0' && name[0] <= '9'))
        return false;
    for (char c : name)
        if (!IsMapBasicNameChar(c))
            return false;
    return true;
}

std::string TableAlias(std::string_view tableName) {
    const std::string_view stem = tableName.substr(0, tableName.find('.'));
    std::string alias;
    alias.reserve(stem.size() + 1);
    for (char c : stem) {
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        alias += IsMapBasicNameChar(lower) ? lower : '_';
    }
    if (alias.empty() || (alias[0] >= '0' && alias[0] <= '9'))
        alias.insert(alias.begin(), '_');
    return alias;
}

} // namespace vantero
