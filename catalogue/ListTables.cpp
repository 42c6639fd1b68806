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

// Appends the rows of one folder; the field positions are looked up once for the whole folder.
class RowAdder {
public:
    RowAdder(RecordTable& table, const std::string& path, char separator)
        : table_(table), path_(path), separator_(separator), name_(table.RequireField("TableName")),
          type_(table.RequireField("TableType")), folder_(table.RequireField("TablePath")) {}

    void Add(const std::string& name) {
        table_.Append();
        table_.SetString(name_, AsciiLower(name));
        table_.SetString(folder_, path_);
        // Detection opens the entry under the name the search returned, in its own letter case.
        table_.SetString(type_, DetectTableType(path_ + separator_ + name));
        table_.Post();
    }

private:
    RecordTable& table_;
    const std::string& path_;
    char separator_;
    std::size_t name_, type_, folder_;
};

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
    RowAdder rows(memTabList, path, '\\');
    do {
        const std::string name = entry.cFileName;
        // The pattern also matches through a file's short 8.3 name, so "x.tabs" would come too.
        if (!name.empty() && EndsWithIgnoringAsciiCase(name, ".tab"))
            rows.Add(name);
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
    RowAdder rows(memTabList, path, '/');
    // Linux has no wildcard search; a name ending in .tab in any letter case is what the Windows
    // pattern "*.tab" matches there.
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (!name.empty() && EndsWithIgnoringAsciiCase(name, ".tab"))
            rows.Add(name);
    }
}

#endif

} // namespace vantero
