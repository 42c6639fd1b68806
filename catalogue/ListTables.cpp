#include "catalogue/ListTables.h"

#include "catalogue/DetectTableType.h"
#include "records/Ascii.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#endif

namespace vantero {

namespace {

void AddRow(RecordTable& memTabList, const std::string& path, const std::string& name,
            char separator) {
    memTabList.Append();
    memTabList.SetString("TableName", AsciiLower(name));
    memTabList.SetString("TablePath", path);
    // Detection opens the entry under the name the search returned, in its own letter case.
    memTabList.SetString("TableType", DetectTableType(path + separator + name));
    memTabList.Post();
}

} // namespace

void DeclareTableListFields(RecordTable& memTabList) {
    memTabList.AddStringField("TableName", 150);
    memTabList.AddStringField("TableType", 15);
    memTabList.AddStringField("TablePath", 255);
}

#ifdef _WIN32

void ListTables(RecordTable& memTabList, const std::string& path) {
    memTabList.Close();
    memTabList.Open();
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((path + "\\*.tab").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = entry.cFileName;
        if (!name.empty())
            AddRow(memTabList, path, name, '\\');
    } while (FindNextFileA(search, &entry));
    FindClose(search);
}

#else

void ListTables(RecordTable& memTabList, const std::string& path) {
    memTabList.Close();
    memTabList.Open();
    DIR* dir = opendir(path.empty() ? "/" : path.c_str());
    if (!dir)
        return;
    struct DirCloser {
        DIR* d;
        ~DirCloser() { closedir(d); }
    } closer{dir};
    // Linux has no wildcard search; a name ending in .tab in any letter case is what the Windows
    // pattern "*.tab" matches there.
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (!name.empty() && EndsWithIgnoringAsciiCase(name, ".tab"))
            AddRow(memTabList, path, name, '/');
    }
}

#endif

} // namespace vantero
