#include "standin/server/StandinSession.h"

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

// MapBasic names are not case-sensitive: "Roads" and "ROADS" are one table.
bool SameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

std::string FileNameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

template <class... F> struct Overloaded : F... { using F::operator()...; };
template <class... F> Overloaded(F...) -> Overloaded<F...>;

} // namespace

const StandinSession::OpenedTable* StandinSession::Find(std::string_view alias) const {
    for (const OpenedTable& t : tables_)
        if (SameName(t.alias, alias))
            return &t;
    return nullptr;
}

void StandinSession::Run(std::string_view statement) {
    std::visit(Overloaded{
                   [&](const SetNextDocumentParent& s) { documentParent_ = s.window; },
                   [&](const SetApplicationWindow& s) { applicationWindow_ = s.window; },
                   [&](const SetProgressBars& s) { progressBars_ = s.on; },
                   [&](const OpenTable& s) {
                       Open(s.path, s.alias ? *s.alias : TableAlias(FileNameOf(s.path)));
                   },
                   [&](const PackTableStatement& s) { Pack(s.alias, s.graphic, s.data); },
                   [&](const CloseAll&) { tables_.clear(); },
                   [&](const CloseTable& s) { Close(s.alias); },
               },
               ParseStatement(statement));
}

void StandinSession::Open(const std::string& path, const std::string& alias) {
    if (!IsMapBasicName(alias))
        throw StatementError("Invalid table name \"" + alias + "\" for " + path);
    if (const OpenedTable* other = Find(alias))
        throw StatementError("A table named " + alias + " is already open (" + other->path + ")");
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0)
        throw StatementError("Cannot open " + (path.empty() ? std::string("\"\"") : path) + ": " +
                             (path.empty() ? "no file named" : std::strerror(errno)));
    if (S_ISDIR(st.st_mode))
        throw StatementError("Cannot open " + path + ": it is a folder, not a MapInfo table");
    // Refuses anything that is not a table, and puts right a pack that was cut short, so that
    // whatever reads the table next sees it whole.
    (void)ReadTableStorage(path);
    RecoverInterruptedPack(path);
    tables_.push_back({alias, path});
}

void StandinSession::Pack(const std::string& alias, bool graphic, bool data) {
    const OpenedTable* table = Find(alias);
    if (!table)
        throw StatementError("Table " + alias + " is not open");
    PackTable(table->path, {graphic, data});
}

void StandinSession::Close(const std::string& alias) {
    const OpenedTable* table = Find(alias);
    if (!table)
        throw StatementError("Table " + alias + " is not open");
    tables_.erase(tables_.begin() + (table - tables_.data()));
}

} // namespace vantero::standin
