#include "cli/BatchPack.h"

#include "base/Ascii.h"
#include "base/Paths.h"
#include "base/TableKind.h"
#include "catalogue/DetectTableType.h"
#include "catalogue/ListTables.h"
#include "cli/InOrder.h"
#include "cli/Json.h"
#include "mapinfo/AutomationError.h"
#include "mapinfo/MapInfoLink.h"
#include "pack/PackRun.h"
#include "pack/RunLog.h"
#include "tablefiles/PackTable.h"
#include "tablefiles/TableSizes.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>
#include <unordered_set>

#ifdef _WIN32
#include "base/WindowsText.h"
#endif

namespace vantero::cli {

namespace {

namespace fs = std::filesystem;

// The program's paths are byte strings, on Windows in the ANSI code page as the system's A
// functions take them. The standard library's narrow paths are not that with every compiler
// (MinGW's read them as Latin-1 and write them as UTF-8), so there paths cross over through the
// wide form, or a folder named in another script would be missed.
#ifdef _WIN32
fs::path toPath(const std::string& bytes) {
    return fromAnsi(bytes);
}

std::string bytesOf(const fs::path& path) {
    return toAnsi(path.native());
}
#else
fs::path toPath(const std::string& bytes) {
    return bytes;
}

std::string bytesOf(const fs::path& path) {
    return path.string();
}
#endif

struct Table {
    std::size_t row;  // in the table list
    std::string path; // folder and name joined, as the run opens it
};

// The tables the paths name, each once, in the order the paths and their folders give them. The
// list is made without the tables' kinds: the pack run needs none, and the dry run reads each
// .tab once, for its kind and its measure together.
class TableFinder {
public:
    TableFinder(RecordTable& list, const Console& console)
        : m_list(list), m_console(console), m_nameField(list.requireField(kTableNameField)),
          m_folderField(list.requireField(kTablePathField)) {}

    void add(const std::string& path, bool recursive) {
        std::error_code error;
        const fs::file_status status = fs::status(toPath(path), error);
        if (fs::is_directory(status)) {
            std::vector<std::string> folders{path};
            if (recursive)
                addFoldersBelow(path, folders);
            addFolders(folders);
        } else if (fs::is_regular_file(status) && endsWithIgnoringAsciiCase(path, ".tab")) {
            const std::string folder = folderOf(path);
            const std::string name(fileNameOf(path));
            appendTable(m_list, folder, name, KindDetection::Skip);
            keep(m_list.recordCount() - 1, joinPath(folder, name), RealPaths(folder).of(name));
        } else if (fs::exists(status)) {
            complain(path, "not a folder or a .tab file");
        } else {
            complain(path, error ? error.message() : "no such file or folder");
        }
    }

    const std::vector<Table>& tables() const { return m_tables; }
    bool hadErrors() const { return m_hadErrors; }

private:
    // The real paths of a folder's tables. A .tab that is not a link itself is its folder's real
    // path and its name, so the folder is resolved once rather than each table's path one part
    // at a time. Windows' real paths also correct the letter case, which the list's lower-cased
    // names cannot do, so there every table is resolved whole, as a link is everywhere.
    class RealPaths {
    public:
        explicit RealPaths(const std::string& folder) : m_folder(folder) {
#ifndef _WIN32
            std::error_code error;
            fs::path real = fs::canonical(toPath(folder), error);
            if (!error)
                m_real = std::move(real);
#endif
        }
        // The path as it is when it cannot be resolved.
        std::string of(const std::string& name) const {
            const std::string joined = joinPath(m_folder, name);
            std::error_code error;
            if (m_real && !fs::is_symlink(fs::symlink_status(toPath(joined), error)) && !error)
                return bytesOf(*m_real / toPath(name));
            const fs::path real = fs::weakly_canonical(toPath(joined), error);
            return error ? joined : bytesOf(real);
        }

    private:
        std::string m_folder;
        std::optional<fs::path> m_real;
    };

    // One folder's tables as the listing gives them, with the real path of each.
    struct Listed {
        std::unique_ptr<RecordTable> rows = std::make_unique<RecordTable>();
        bool readable = false;
        std::vector<std::string> realPaths;
    };

    void complain(const std::string& path, const std::string& what) {
        m_console.err << "vantero-pack: " << path << ": " << what << '\n';
        m_hadErrors = true;
    }

    // The folders are listed several at a time, and their tables kept in the folders' order.
    void addFolders(const std::vector<std::string>& folders) {
        InOrder<Listed> listed(folders.size(), [&](std::size_t i) { return list(folders[i]); });
        for (const std::string& folder : folders) {
            const Listed found = listed.take();
            if (!found.readable)
                complain(folder, "cannot read the folder");
            const std::size_t nameField = found.rows->requireField(kTableNameField);
            for (std::size_t row = 0; row < found.rows->recordCount(); ++row) {
                const std::string name(found.rows->stringAt(row, nameField));
                m_list.append();
                m_list.setString(m_nameField, name);
                m_list.setString(m_folderField, folder);
                m_list.post();
                keep(m_list.recordCount() - 1, joinPath(folder, name), found.realPaths[row]);
            }
        }
    }

    static Listed list(const std::string& folder) {
        Listed found;
        declareTableListFields(*found.rows);
        found.rows->open();
        found.readable = appendTables(*found.rows, folder, KindDetection::Skip);
        const RealPaths realPaths(folder);
        const std::size_t name = found.rows->requireField(kTableNameField);
        for (std::size_t row = 0; row < found.rows->recordCount(); ++row)
            found.realPaths.push_back(realPaths.of(found.rows->valueAt(row, name)));
        return found;
    }

    // Links to folders are not followed: a link to a parent would never end, and a link to a
    // folder elsewhere packs tables nobody named.
    void addFoldersBelow(const std::string& folder, std::vector<std::string>& folders) {
        std::error_code error;
        fs::recursive_directory_iterator it(toPath(folder), fs::directory_options::none, error);
        if (error)
            return; // said when the folder itself cannot be read
        for (const fs::recursive_directory_iterator end; it != end; it.increment(error)) {
            if (error) {
                complain(bytesOf(it->path()), error.message());
                error.clear();
                continue;
            }
            if (it->is_directory(error) && !it->is_symlink(error))
                folders.push_back(bytesOf(it->path()));
        }
    }

    // The list's row, unless its table was met before under another path.
    void keep(std::size_t row, std::string path, const std::string& realPath) {
        if (m_realPaths.insert(realPath).second)
            m_tables.push_back({row, std::move(path)});
    }

    RecordTable& m_list;
    const Console& m_console;
    const std::size_t m_nameField, m_folderField;
    std::vector<Table> m_tables;
    std::unordered_set<std::string> m_realPaths;
    bool m_hadErrors = false;
};

// What the files say a pack would reclaim; nothing for the kinds they cannot say it of.
struct Measured {
    std::string kind; // as the table list names it
    std::optional<tablefiles::TableSizes> sizes;
    std::string whyNot;
};

// The .tab is read once, for the kind the window's list would show and for the measure.
Measured measure(const Table& table) {
    Measured measured;
    try {
        const std::string text = tablefiles::readTabText(table.path);
        measured.kind = tableKindText(detectTableTypeInText(text));
        if (measured.kind == "Native")
            measured.sizes = tablefiles::measureTable(table.path, text);
        else
            measured.whyNot = measured.kind + " tables are not read by vantero-pack";
    } catch (const std::exception& error) {
        if (measured.kind.empty())
            measured.kind = tableKindText(detectTableType(table.path));
        measured.whyNot = error.what();
    }
    return measured;
}

bool needsPack(const Measured& measured) {
    return !measured.sizes || measured.sizes->deletedRows > 0 ||
           measured.sizes->reclaimableBytes > 0;
}

// Ctrl+C ends a dry run after the table in hand, with the totals of the tables before it.
int dryRun(const std::vector<Table>& tables, const Options& options, const Console& console,
           const std::function<bool()>& stopAsked) {
    tablefiles::TableSizes total;
    std::size_t unread = 0;
    std::size_t looked = 0;
    InOrder<Measured> measures(tables.size(), [&](std::size_t i) { return measure(tables[i]); });
    for (const Table& table : tables) {
        if (stopAsked && stopAsked())
            break;
        ++looked;
        const Measured measured = measures.take();
        if (measured.sizes) {
            total.rows += measured.sizes->rows;
            total.deletedRows += measured.sizes->deletedRows;
            total.reclaimableBytes += measured.sizes->reclaimableBytes;
        } else {
            ++unread;
        }
        if (options.onlyNeeded && !needsPack(measured))
            continue;
        if (options.json) {
            JsonObject object;
            object.add("table", table.path).add("kind", measured.kind);
            if (measured.sizes)
                object.add("rows", measured.sizes->rows)
                    .add("deletedRows", measured.sizes->deletedRows)
                    .add("reclaimableBytes", measured.sizes->reclaimableBytes);
            else
                object.add("notRead", measured.whyNot);
            console.out << object.text() << '\n';
        } else if (measured.sizes) {
            console.out << table.path << '\t' << measured.kind << '\t' << measured.sizes->rows
                        << " rows\t" << measured.sizes->deletedRows << " deleted\t"
                        << measured.sizes->reclaimableBytes << " bytes to reclaim\n";
        } else {
            console.out << table.path << '\t' << measured.kind << "\tnot read: " << measured.whyNot
                        << '\n';
        }
    }
    const bool stopped = looked < tables.size();
    if (options.json)
        console.out << JsonObject()
                           .add("tables", looked)
                           .add("rows", total.rows)
                           .add("deletedRows", total.deletedRows)
                           .add("reclaimableBytes", total.reclaimableBytes)
                           .add("notRead", unread)
                           .add("stopped", stopped)
                           .text()
                    << '\n';
    else
        console.out << "total: " << looked << " tables, " << total.rows << " rows, "
                    << total.deletedRows << " deleted, " << total.reclaimableBytes
                    << " bytes to reclaim"
                    << (unread ? ", " + std::to_string(unread) + " not read" : "") << '\n';
    if (!stopped)
        return kAllPacked;
    console.err << "vantero-pack: stopped after " << looked << " of " << tables.size()
                << " tables\n";
    return kStopped;
}

// The pack window's part, played on a console: progress on standard error, the log or the JSON
// on standard output, Ctrl+C for Stop.
class ConsoleView : public PackView, private RecordTableObserver {
public:
    ConsoleView(const Options& options, const Console& console, RecordTable& log,
                std::function<bool()> stopAsked)
        : m_options(options), m_console(console), m_log(log), m_stopAsked(std::move(stopAsked)) {
        m_log.addObserver(this);
    }
    ~ConsoleView() override { m_log.removeObserver(this); }
    ConsoleView(const ConsoleView&) = delete;
    ConsoleView& operator=(const ConsoleView&) = delete;

    void setStop(std::function<void()> stop) { m_stop = std::move(stop); }
    std::size_t failed() const { return m_failed; }
    void endProgress() {
        if (m_console.errIsTerminal && m_progressShown)
            m_console.err << '\n';
    }

    void setProgressText(const std::string& text) override {
        // "roads.tab (12 of 340)" becomes "[12/340] roads.tab".
        const std::size_t open = text.rfind(" (");
        const std::size_t of = text.rfind(" of ");
        if (open == std::string::npos || of == std::string::npos || text.back() != ')')
            return;
        const std::string line = "[" + text.substr(open + 2, of - open - 2) + "/" +
                                 text.substr(of + 4, text.size() - of - 5) + "] " +
                                 text.substr(0, open);
        if (m_console.errIsTerminal)
            m_console.err << "\r\033[K" << line << std::flush;
        else
            m_console.err << line << '\n';
        m_progressShown = true;
    }
    void setCancelAndSaveEnabled(bool) override {}
    void setRunStartTimerEnabled(bool) override {}
    void setBusyCursor(bool) override {}
    void drainEvents() override {
        if (m_stop && m_stopAsked && m_stopAsked())
            m_stop();
    }
    PackParts askPackParts() override { return m_options.parts; }
    void tablePacked(const std::string& path) override {
        if (m_options.json)
            m_console.out << JsonObject().add("table", path).add("result", "packed").text() << '\n';
    }
    void tableFailed(const std::string& path, const std::string& message) override {
        ++m_failed;
        if (m_options.json)
            m_console.out << JsonObject()
                                 .add("table", path)
                                 .add("result", "failed")
                                 .add("message", message)
                                 .text()
                          << '\n';
    }

private:
    void recordAppended(std::size_t row) override {
        if (m_options.json)
            return;
        endProgress();
        m_progressShown = false;
        m_console.out << m_log.stringAt(row, m_log.requireField(kMessageField)) << std::endl;
    }
    void tableEmptied() override {}
    void currentMoved(std::optional<std::size_t>) override {}
    void recordDeleted(std::size_t) override {}

    const Options& m_options;
    const Console& m_console;
    RecordTable& m_log;
    std::function<bool()> m_stopAsked;
    std::function<void()> m_stop;
    std::size_t m_failed = 0;
    bool m_progressShown = false;
};

// The chosen tables' rows of the table list, in the order found.
class ChosenTables : public PackSelection {
public:
    ChosenTables(const RecordTable& list, std::vector<std::size_t> rows)
        : m_list(list), m_rows(std::move(rows)) {}
    std::size_t selectedCount() const override { return m_rows.size(); }
    Bookmark selectedBookmark(std::size_t index) const override {
        return Bookmark{m_list.recIdAt(m_rows.at(index))};
    }

private:
    const RecordTable& m_list;
    std::vector<std::size_t> m_rows;
};

int pack(const std::vector<Table>& tables, RecordTable& tableList, const Options& options,
         AutomationServerFactory& servers, const Console& console,
         const std::function<bool()>& stopAsked) {
    std::vector<std::size_t> rows;
    std::optional<InOrder<Measured>> measures;
    if (options.onlyNeeded)
        measures.emplace(tables.size(), [&](std::size_t i) { return measure(tables[i]); });
    for (const Table& table : tables) {
        if (measures && !needsPack(measures->take())) {
            console.err << "vantero-pack: " << table.path << ": skipped, nothing to reclaim\n";
            continue;
        }
        rows.push_back(table.row);
    }

    AutomationVariant mapInfo;
    const ConnectResult connection = connectMapInfoWithoutWindow(mapInfo, servers);
    if (!connection.connected) {
        console.err << "vantero-pack: no connection to MapInfo Professional: " << connection.failure
                    << '\n';
        return kNoConnection;
    }
    RecordTable log;
    declareRunLogFields(log);
    ConsoleView view(options, console, log, stopAsked);
    PackRun run(view, log);
    view.setStop([&run] { run.requestStop(); });
    const ChosenTables selection(tableList, rows);
    try {
        run.windowShown(mapInfo);
        run.run(mapInfo, selection, tableList);
    } catch (const AutomationError& error) {
        view.endProgress();
        console.err << "vantero-pack: MapInfo Professional is gone: " << error.what() << '\n';
        return kNoConnection;
    }
    view.endProgress();
    const bool stopped = run.stopRequested();
    if (options.json)
        console.out << JsonObject()
                           .add("tables", rows.size())
                           .add("failed", view.failed())
                           .add("skipped", tables.size() - rows.size())
                           .add("stopped", stopped)
                           .text()
                    << '\n';
    if (!options.logFile.empty()) {
        try {
            saveRunLog(log, options.logFile);
        } catch (const std::exception& error) {
            console.err << "vantero-pack: " << error.what() << '\n';
            return kSomeFailed;
        }
    }
    if (stopped)
        return kStopped;
    return view.failed() > 0 ? kSomeFailed : kAllPacked;
}

} // namespace

int runBatch(const Options& options, AutomationServerFactory& servers, const Console& console,
             const std::function<bool()>& stopAsked) {
    if (!options.logFile.empty() && !options.force && !options.dryRun &&
        fs::exists(toPath(options.logFile))) {
        console.err << "vantero-pack: " << options.logFile << " exists; --force replaces it\n";
        return kUsageError;
    }
    RecordTable tableList;
    declareTableListFields(tableList);
    tableList.open();
    TableFinder finder(tableList, console);
    for (const std::string& path : options.paths)
        finder.add(path, options.recursive);

    const int status = options.dryRun
                           ? dryRun(finder.tables(), options, console, stopAsked)
                           : pack(finder.tables(), tableList, options, servers, console, stopAsked);
    return status == kAllPacked && finder.hadErrors() ? kSomeFailed : status;
}

} // namespace vantero::cli
