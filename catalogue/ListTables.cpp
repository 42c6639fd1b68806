#include "catalogue/ListTables.h"

#include "base/Ascii.h"
#include "base/Paths.h"
#include "base/TableKind.h"
#include "catalogue/DetectTableType.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#endif

namespace vantero {

namespace {

// Windows' file names are blind to letter case, so a lower-cased name still opens the file; on a
// case-sensitive file system the name stays as the folder holds it, or the run would open another
// file, or none.
std::string listedName(const std::string& name) {
#ifdef _WIN32
    return asciiLower(name);
#else
    return name;
#endif
}

// Appends the rows of one folder; the field positions are looked up once for the whole folder.
class RowAdder {
public:
    RowAdder(RecordTable& table, const std::string& path,
             KindDetection kinds = KindDetection::Detect)
        : m_table(table), m_path(path), m_kinds(kinds), m_name(table.requireField(kTableNameField)),
          m_type(table.requireField(kTableTypeField)),
          m_folder(table.requireField(kTablePathField)) {}

    void add(const std::string& name) {
        m_table.append();
        m_table.setString(m_name, listedName(name));
        m_table.setString(m_folder, m_path);
        // Detection opens the entry under the name the search returned, in its own letter case.
        if (m_kinds == KindDetection::Detect)
            m_table.setString(m_type, tableKindText(detectTableType(joinPath(m_path, name))));
        m_table.post();
    }

private:
    RecordTable& m_table;
    const std::string& m_path;
    KindDetection m_kinds;
    std::size_t m_name, m_type, m_folder;
};

} // namespace

void declareTableListFields(RecordTable& tableList) {
    tableList.addStringField(kTableNameField, 150);
    tableList.addStringField(kTableTypeField, 15);
    tableList.addStringField(kTablePathField, 255);
}

void listTables(RecordTable& tableList, const std::string& folder) {
    tableList.close();
    tableList.open();
    (void)appendTables(tableList, folder);
}

void appendTable(RecordTable& tableList, const std::string& folder, const std::string& name,
                 KindDetection kinds) {
    RowAdder(tableList, folder, kinds).add(name);
}

#ifdef _WIN32

bool appendTables(RecordTable& tableList, const std::string& folder, KindDetection kinds) {
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((folder + "\\*.tab").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND; // a folder without tables
    RowAdder rows(tableList, folder, kinds);
    do {
        const std::string name = entry.cFileName;
        // The pattern also matches through a file's short 8.3 name, so "x.tabs" would come too.
        if (!name.empty() && endsWithIgnoringAsciiCase(name, ".tab"))
            rows.add(name);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return true;
}

#else

bool appendTables(RecordTable& tableList, const std::string& folder, KindDetection kinds) {
    DIR* dir = opendir(folder.empty() ? "/" : folder.c_str());
    if (!dir)
        return false;
    struct DirCloser {
        DIR* d;
        ~DirCloser() { closedir(d); }
    } closer{dir};
    RowAdder rows(tableList, folder, kinds);
    // Linux has no wildcard search; a name ending in .tab in any letter case is what the Windows
    // pattern "*.tab" matches there.
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (!name.empty() && endsWithIgnoringAsciiCase(name, ".tab"))
            rows.add(name);
    }
    return true;
}

#endif

} // namespace vantero
