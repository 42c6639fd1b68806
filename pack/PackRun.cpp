#include "pack/PackRun.h"

#include "base/Paths.h"
#include "catalogue/ListTables.h"
#include "mapinfo/AutomationError.h"
#include "mapinfo/MapInfoLink.h"
#include "mapinfo/Statements.h"
#include "pack/RunLog.h"

#include <set>

namespace vantero {

namespace {

// The alias itself, or when a failed table may still hold it, the first of alias_2, alias_3, ...
// that none does.
std::string aliasNotIn(const std::set<std::string>& taken, const std::string& alias) {
    if (taken.count(alias) == 0)
        return alias;
    for (int n = 2;; ++n) {
        std::string fresh = alias + "_" + std::to_string(n);
        if (taken.count(fresh) == 0)
            return fresh;
    }
}

struct RunningFlag {
    bool& flag;
    explicit RunningFlag(bool& f) : flag(f) { flag = true; }
    ~RunningFlag() { flag = false; }
};

} // namespace

PackRun::PackRun(PackView& view, RecordTable& log) : m_view(view), m_log(log) {}

void PackRun::windowShown(const AutomationVariant& mapInfo) {
    m_view.setProgressText("");
    m_log.close();
    m_log.open();
    sendCommand(mapInfo, closeAllStatement());
    m_stopRequested = false;
    m_view.setCancelAndSaveEnabled(false);
    m_view.setRunStartTimerEnabled(true);
}

void PackRun::requestStop() {
    m_stopRequested = true;
    m_view.setCancelAndSaveEnabled(true);
}

void PackRun::run(const AutomationVariant& mapInfo, const PackSelection& selection,
                  RecordTable& tableList) {
    RunningFlag running(m_running);
    m_view.setRunStartTimerEnabled(false);
    m_view.setCancelAndSaveEnabled(false);
    m_stopRequested = false;
    m_view.setProgressText(kPreparingText);
    m_view.drainEvents();
    try {
        packTables(mapInfo, selection, tableList);
    } catch (...) {
        // The link itself failed: the run cannot go on, but the window must stay usable, so the
        // user can read the log, save it and close.
        m_view.setBusyCursor(false);
        m_view.setCancelAndSaveEnabled(true);
        throw;
    }
}

void PackRun::packTables(const AutomationVariant& mapInfo, const PackSelection& selection,
                         RecordTable& tableList) {
    const PackParts parts = m_view.askPackParts();
    m_view.setBusyCursor(true);
    const std::size_t count = selection.selectedCount();
    const auto stopped = [this] {
        if (!m_stopRequested)
            return false;
        m_view.setBusyCursor(false);
        appendToLog(m_log, kStoppedText);
        m_view.setCancelAndSaveEnabled(true);
        return true;
    };
    // Aliases a failed table may have left open: MapInfo keeps a table whose pack failed, and a
    // later table under the same alias would fail to open and have the wrong one packed instead.
    std::set<std::string> mayBeOpen;
    for (std::size_t i = 0; i < count; ++i) {
        // The table named last is always finished: a Stop pressed while it was in MapInfo's hands
        // is served here, before the next table is named (a call does not serve events).
        m_view.drainEvents();
        if (stopped())
            return;
        tableList.gotoBookmark(selection.selectedBookmark(i));
        const std::string name = tableList.getString(kTableNameField);
        const std::string folder = tableList.getString(kTablePathField);
        m_view.setProgressText(name + " (" + std::to_string(i + 1) + " of " +
                               std::to_string(selection.selectedCount()) + ")");

        const std::string alias = aliasNotIn(mayBeOpen, tableAlias(name));
        const std::string path = joinPath(folder, name);
        try {
            openMapInfoTable(mapInfo, path, alias);
            sendCommand(mapInfo, packTableStatement(alias, parts));
            appendToLog(m_log, kPackedPrefix + path);
            sendCommand(mapInfo, closeAllStatement());
            mayBeOpen.clear();
            m_view.tablePacked(path);
        } catch (const ServerError& error) {
            appendToLog(m_log, error.what());
            mayBeOpen.insert(alias);
            m_view.tableFailed(path, error.what());
        }
    }
    appendToLog(m_log, kCompleteText);
    m_view.setCancelAndSaveEnabled(true);
    m_view.setBusyCursor(false);
}

} // namespace vantero
