#include "tablefiles/TableFiles.h"

#include "base/Ascii.h"
#include "tablefiles/FileIo.h"

#include <array>
#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

namespace vantero::tablefiles {

namespace {

using detail::throwPackError;

// A .tab is a few hundred bytes; metadata can make it longer, but nothing near this.
constexpr std::size_t kMaxTabSize = 16u << 20;

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

// The words of a .tab line as MapInfo's parser splits them; quotes are dropped so that
// Type "RASTER" and Type RASTER read the same.
std::vector<std::string> splitWords(std::string_view line, bool lower = true) {
    std::vector<std::string> words;
    std::string word;
    for (const char c : line) {
        if (c == ' ' || c == '\t' || c == '(' || c == ')' || c == ',' || c == ';') {
            if (!word.empty())
                words.push_back(std::move(word));
            word.clear();
        } else if (c != '"') {
            word.push_back(lower ? asciiLower(c) : c);
        }
    }
    if (!word.empty())
        words.push_back(std::move(word));
    return words;
}

TableStorage storageOfType(const std::string& type) {
    if (type == "native")
        return TableStorage::Native;
    if (type == "dbf")
        return TableStorage::Dbf;
    if (type == "raster")
        return TableStorage::Raster;
    if (type == "linked")
        return TableStorage::Linked;
    if (type == "nativex")
        return TableStorage::NativeX;
    return TableStorage::Other;
}

// A name and its extension, with the dot.
std::string joinExtension(const std::string& base, const std::string& extension) {
    std::string name = base;
    name += '.';
    name += extension;
    return name;
}

// The two names the file beside tabPath with extension ext may have, in the order to try them.
std::array<std::string, 2> siblingNames(const std::string& tabPath, const std::string& ext) {
    const auto slash = tabPath.find_last_of('/');
    const auto dot = tabPath.find_last_of('.');
    const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    const std::string base = hasExt ? tabPath.substr(0, dot) : tabPath;
    const std::string tabExt = hasExt ? tabPath.substr(dot + 1) : std::string();

    const std::string upper = asciiUpper(ext);
    // The extension's case follows the .tab's first, as MapInfo writes all of a table's names in
    // one case; then either case.
    bool tabIsUpper = !tabExt.empty();
    for (const char c : tabExt)
        tabIsUpper = tabIsUpper && !(c >= 'a' && c <= 'z');
    return {joinExtension(base, tabIsUpper ? upper : ext),
            joinExtension(base, tabIsUpper ? ext : upper)};
}

std::unique_ptr<detail::InputFile> openSibling(const std::string& tabPath, const std::string& ext) {
    for (const std::string& name : siblingNames(tabPath, ext)) {
        auto [kind, file] = detail::InputFile::openIfFile(name, false);
        if (kind == detail::PathKind::File)
            return std::move(file);
        if (kind != detail::PathKind::Missing)
            throwPackError(name + " is not a regular file; its table is not packed");
    }
    return nullptr;
}

} // namespace

namespace detail {

std::string findSibling(const std::string& tabPath, const std::string& ext) {
    for (const std::string& name : siblingNames(tabPath, ext))
        if (pathExists(name))
            return name;
    return {};
}

TableFiles openTableFiles(const std::string& tabPath, TabInfo info, bool withIndex) {
    TableFiles files;
    files.info = std::move(info);
    const TableStorage storage = files.info.storage;
    if (storage != TableStorage::Native && storage != TableStorage::Dbf)
        return files;
    files.data = openSibling(tabPath, storage == TableStorage::Dbf ? "dbf" : "dat");
    files.id = openSibling(tabPath, "id");
    files.map = openSibling(tabPath, "map");
    if (withIndex)
        files.ind = openSibling(tabPath, "ind");
    return files;
}

TabInfo readTabInfo(const std::string& tabPath) {
    return parseTabInfo(tabPath, readTabText(tabPath));
}

TabInfo parseTabInfo(const std::string& tabPath, const std::string& text) {
    TabInfo info;
    bool isTable = false;
    bool hasFields = false;
    bool seamless = false;
    bool haveType = false;
    TableStorage typed = TableStorage::Other;
    long fieldLinesLeft = 0;

    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        std::string_view line(text.data() + start, end - start);
        start = end + 1;
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        if (line.empty())
            continue;
        const std::string lower = asciiLower(line);
        if (fieldLinesLeft > 0) {
            // A field may well be called "Type"; its line says nothing about the table.
            --fieldLinesLeft;
            std::vector<std::string> words = splitWords(line, false);
            TabField field;
            if (!words.empty())
                field.name = words[0];
            if (words.size() >= 2)
                field.type = asciiLower(words[1]);
            if (words.size() >= 3)
                field.width = static_cast<int>(std::strtol(words[2].c_str(), nullptr, 10));
            if (words.size() >= 4)
                field.decimals = static_cast<int>(std::strtol(words[3].c_str(), nullptr, 10));
            info.fields.push_back(std::move(field));
            continue;
        }
        if (startsWith(lower, "!table") || startsWith(lower, "definition table"))
            isTable = true;
        if (startsWith(lower, "create view"))
            return {TableStorage::View, {}, {}};
        if (startsWith(lower, "\"\\isseamless\"") && lower.find("\"true\"") != std::string::npos)
            seamless = true;
        if (startsWith(lower, "\"\\isreadonly\"") && lower.find("\"true\"") != std::string::npos)
            info.readOnly = "its metadata marks it read-only";
        const std::vector<std::string> words = splitWords(lower);
        if (words.empty())
            continue;
        if (words.size() == 1 && words[0] == "readonly") {
            // The line MapInfo's bundled tables carry after their field list.
            info.readOnly = "its .tab says ReadOnly";
        } else if ((words[0] == "type" || words[0] == "format:") && words.size() >= 2 &&
                   !haveType) {
            haveType = true;
            typed = storageOfType(words[1]);
        } else if ((words[0] == "fields" || words[0] == "fields:") && words.size() >= 2) {
            hasFields = true;
            fieldLinesLeft = std::strtol(words[1].c_str(), nullptr, 10);
        }
    }

    if (!isTable)
        throwPackError(tabPath + " is not a MapInfo table: it has no !table line");
    if (seamless && hasFields)
        info.storage = TableStorage::Seamless;
    else if (haveType)
        info.storage = typed;
    else if (hasFields && !findSibling(tabPath, "dat").empty())
        info.storage = TableStorage::Native;
    return info;
}

} // namespace detail

std::string readTabText(const std::string& tabPath) {
    const auto [kind, file] = detail::InputFile::openIfFile(tabPath, true);
    switch (kind) {
    case detail::PathKind::Missing:
        detail::throwNotFound("cannot open the table", tabPath);
    case detail::PathKind::Folder:
        throwPackError(tabPath + " is a folder, not a table");
    case detail::PathKind::Other:
        throwPackError(tabPath + " is not a regular file");
    case detail::PathKind::File:
        break;
    }
    if (file->size() > kMaxTabSize)
        throwPackError(tabPath + " is too large (" + std::to_string(file->size()) + " bytes)");
    std::string text(static_cast<std::size_t>(file->size()), '\0');
    file->read(0, text.data(), text.size());
    return text;
}

TableStorage readTableStorage(const std::string& tabPath) {
    return detail::readTabInfo(tabPath).storage;
}

} // namespace vantero::tablefiles
