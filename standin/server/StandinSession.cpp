#include "standin/server/StandinSession.h"

#include "base/Ascii.h"
#include "base/Paths.h"
#include "mapinfo/Statements.h"
#include "standin/server/Statement.h"
#include "tablefiles/PackTable.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vantero::standin {

using namespace tablefiles;

namespace {

template <class... F> struct Overloaded : F... { using F::operator()...; };
template <class... F> Overloaded(F...) -> Overloaded<F...>;

} // namespace

const StandinSession::OpenedTable* StandinSession::find(std::string_view alias) const {
    for (const OpenedTable& t : m_tables)
        if (equalsIgnoringAsciiCase(t.alias, alias))
            return &t;
    return nullptr;
}

void StandinSession::run(std::string_view statement) {
    std::visit(Overloaded{
                   [&](const SetNextDocumentParent& s) { m_documentParent = s.window; },
                   [&](const SetApplicationWindow& s) { m_applicationWindow = s.window; },
                   [&](const SetProgressBars& s) { m_progressBars = s.on; },
                   [&](const OpenTable& s) {
                       open(s.path, s.alias ? *s.alias : tableAlias(fileNameOf(s.path)));
                   },
                   [&](const PackTableStatement& s) { pack(s.alias, s.graphic, s.data); },
                   [&](const CloseAll&) { m_tables.clear(); },
                   [&](const CloseTable& s) { close(s.alias); },
               },
               parseStatement(statement));
}

void StandinSession::open(const std::string& path, const std::string& alias) {
    if (!isMapBasicName(alias))
        throw StatementError("Invalid table name \"" + alias + "\" for " + path);
    if (const OpenedTable* other = find(alias))
        throw StatementError("A table named " + alias + " is already open (" + other->path + ")");
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0)
        throw StatementError("Cannot open " + (path.empty() ? std::string("\"\"") : path) + ": " +
                             (path.empty() ? "no file named" : std::strerror(errno)));
    if (S_ISDIR(st.st_mode))
        throw StatementError("Cannot open " + path + ": it is a folder, not a MapInfo table");
    // Refuses anything that is not a table, and puts right a pack that was cut short, so that
    // whatever reads the table next sees it whole.
    (void)readTableStorage(path);
    recoverInterruptedPack(path);
    m_tables.push_back({alias, path});
}

void StandinSession::pack(const std::string& alias, bool graphic, bool data) {
    const OpenedTable* table = find(alias);
    if (!table)
        throw StatementError("Table " + alias + " is not open");
    packTable(table->path, {graphic, data});
}

void StandinSession::close(const std::string& alias) {
    const OpenedTable* table = find(alias);
    if (!table)
        throw StatementError("Table " + alias + " is not open");
    m_tables.erase(m_tables.begin() + (table - m_tables.data()));
}

} // namespace vantero::standin
