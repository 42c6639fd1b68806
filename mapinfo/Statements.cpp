#include "mapinfo/Statements.h"

#include "base/Ascii.h"

namespace {
bool isMapBasicNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
} // namespace

namespace vantero {

std::string formatWindowHandle(std::uint64_t handle) {
    return std::to_string(handle);
}

std::string setNextDocumentParentStatement(std::uint64_t handle) {
    return "Set Next Document Parent " + formatWindowHandle(handle) + " Style 1";
}

std::string setApplicationWindowStatement(std::uint64_t handle) {
    return "Set Application Window " + formatWindowHandle(handle);
}

std::string progressBarsOffStatement() {
    return "set progressbars off";
}

std::string closeAllStatement() {
    return "close all";
}

std::string quoteMapBasicText(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    for (char c : text) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted;
}

std::string openTableStatement(std::string_view path, std::string_view alias) {
    std::string statement = "open table \"";
    statement += quoteMapBasicText(path);
    statement += "\" as ";
    statement += alias;
    return statement;
}

std::string packTableStatement(std::string_view alias, PackParts parts) {
    std::string statement = "Pack Table ";
    statement += alias;
    if (parts.graphic)
        statement += " Graphic";
    if (parts.data)
        statement += " Data";
    return statement;
}

bool isMapBasicName(std::string_view name) {
    if (name.empty() || (name[0] >= '0' && name[0] <= '9'))
        return false;
    for (char c : name)
        if (!isMapBasicNameChar(c))
            return false;
    return true;
}

std::string tableAlias(std::string_view tableName) {
    const std::string_view stem = tableName.substr(0, tableName.find('.'));
    std::string alias;
    alias.reserve(stem.size() + 1);
    for (char c : stem) {
        const char lower = asciiLower(c);
        alias += isMapBasicNameChar(lower) ? lower : '_';
    }
    if (alias.empty() || (alias[0] >= '0' && alias[0] <= '9'))
        alias.insert(alias.begin(), '_');
    return alias;
}

} // namespace vantero
