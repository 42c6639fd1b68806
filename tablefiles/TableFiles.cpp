#include "tablefiles/TableFiles.h"

#include "tablefiles/FileIo.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace vantero::tablefiles {

namespace {

using detail::ThrowIoError;
using detail::ThrowPackError;

// A .tab is a few hundred bytes; metadata can make it longer, but nothing near this.
constexpr std::size_t kMaxTabSize = 16u << 20;

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string LowerCopy(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = Lower(c);
    return out;
}

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

std::string ReadTabText(const std::string& tabPath) {
    switch (detail::KindOf(tabPath, true)) {
    case detail::PathKind::Missing:
        errno = ENOENT;
        ThrowIoError("cannot open the table", tabPath);
    case detail::PathKind::Folder:
        ThrowPackError(tabPath + " is a folder, not a table");
    case detail::PathKind::Other:
        ThrowPackError(tabPath + " is not a regular file");
    case detail::PathKind::File:
        break;
    }
    return detail::ReadSmallFile(tabPath, kMaxTabSize);
}

// The words of a .tab line as MapInfo's parser splits them; quotes are dropped so that
// Type "RASTER" and Type RASTER read the same.
std::vector<std::string> Words(std::string_view line, bool lower = true) {
    std::vector<std::string> words;
    std::string word;
    for (const char c : line) {
        if (c == ' ' || c == '\t' || c == '(' || c == ')' || c == ',' || c == ';') {
            if (!word.empty())
                words.push_back(std::move(word));
            word.clear();
        } else if (c != '"') {
            word.push_back(lower ? Lower(c) : c);
        }
    }
    if (!word.empty())
        words.push_back(std::move(word));
    return words;
}

TableStorage StorageOfType(const std::string& type) {
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

} // namespace

namespace detail {

std::string FindSibling(const std::string& tabPath, const std::string& ext) {
    const auto slash = tabPath.find_last_of('/');
    const auto dot = tabPath.find_last_of('.');
    const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    const std::string base = hasExt ? tabPath.substr(0, dot) : tabPath;
    const std::string tabExt = hasExt ? tabPath.substr(dot + 1) : std::string();

    std::string upper = ext;
    for (char& c : upper)
        c = Upper(c);
    // The extension's case follows the .tab's first, as MapInfo writes all of a table's names in
    // one case; then either case.
    bool tabIsUpper = !tabExt.empty();
    for (const char c : tabExt)
        tabIsUpper = tabIsUpper && !(c >= 'a' && c <= 'z');
    const std::string first = tabIsUpper ? upper : ext;
    const std::string second = tabIsUpper ? ext : upper;
    for (const std::string& candidate : {base + "." + first, base + "." + second})
        if (PathExists(candidate))
            return candidate;
    return {};
}

TableFiles FindTableFiles(const std::string& tabPath) {
    TableFiles files;
    files.info = ReadTabInfo(tabPath);
    files.tab = tabPath;
    files.data = FindSibling(tabPath, files.info.storage == TableStorage::Dbf ? "dbf" : "dat");
    files.id = FindSibling(tabPath, "id");
    files.map = FindSibling(tabPath, "map");
    files.ind = FindSibling(tabPath, "ind");
    return files;
}

TabInfo ReadTabInfo(const std::string& tabPath) {
    const std::string text = ReadTabText(tabPath);

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
        const std::string lower = LowerCopy(line);
        if (fieldLinesLeft > 0) {
            // A field may well be called "Type"; its line says nothing about the table.
            --fieldLinesLeft;
            std::vector<std::string> words = Words(line, false);
            TabField field;
            if (!words.empty())
                field.name = words[0];
            if (words.size() >= 2)
                field.type = LowerCopy(words[1]);
            if (words.size() >= 3)
                field.width = static_cast<int>(std::strtol(words[2].c_str(), nullptr, 10));
            if (words.size() >= 4)
                field.decimals = static_cast<int>(std::strtol(words[3].c_str(), nullptr, 10));
            info.fields.push_back(std::move(field));
            continue;
        }
        if (StartsWith(lower, "!table") || StartsWith(lower, "definition table"))
            isTable = true;
        if (StartsWith(lower, "create view"))
            return {TableStorage::View, {}, {}};
        if (StartsWith(lower, "\"\\isseamless\"") && lower.find("\"true\"") != std::string::npos)
            seamless = true;
        if (StartsWith(lower, "\"\\isreadonly\"") && lower.find("\"true\"") != std::string::npos)
            info.readOnly = "its metadata marks it read-only";
        const std::vector<std::string> words = Words(lower);
        if (words.empty())
            continue;
        if (words.size() == 1 && words[0] == "readonly") {
            // The line MapInfo's bundled tables carry after their field list.
            info.readOnly = "its .tab says ReadOnly";
        } else if ((words[0] == "type" || words[0] == "format:") && words.size() >= 2 &&
                   !haveType) {
            haveType = true;
            typed = StorageOfType(words[1]);
        } else if ((words[0] == "fields" || words[0] == "fields:") && words.size() >= 2) {
            hasFields = true;
            fieldLinesLeft = std::strtol(words[1].c_str(), nullptr, 10);
        }
    }

    if (!isTable)
        ThrowPackError(tabPath + " is not a MapInfo table: it has no !table line");
    if (seamless && hasFields)
        info.storage = TableStorage::Seamless;
    else if (haveType)
        info.storage = typed;
    else if (hasFields && !FindSibling(tabPath, "dat").empty())
        info.storage = TableStorage::Native;
    return info;
}

} // namespace detail

TableStorage ReadTableStorage(const std::string& tabPath) {
    return detail::ReadTabInfo(tabPath).storage;
}

} // namespace vantero::tablefiles
