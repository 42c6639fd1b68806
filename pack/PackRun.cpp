#include "pack/PackRun.h"

#include "mapinfo/AutomationError.h"
#include "mapinfo/MapInfoLink.h"
#include "mapinfo/Statements.h"
#include "pack/RunLog.h"

namespace vantero {

namespace {

// Windows joins with "\", this platform with "/"; the table list's folders are the platform's.
#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

struct RunningFlag {
    bool& flag;
    explicit RunningFlag(bool& f) : flag(f) { flag = true; }
    ~RunningFlag() { flag = false; }
};

} // namespace

std::string JoinTablePath(const std::string& folder, const std::string& name) {
    std::string path = folder;
    path += kPathSeparator;
    path += name;
    return path;
}

PackRun::PackRun(PackView& view, RecordTable& log, bool& stopRequested)
    : view_(view), log_(log), stopRequested_(stopRequested) {}

void PackRun::FormShow(const AutomationVariant& mapInfo) {
    view_.SetProgressText("");
    log_.Close();
    log_.Open();
    SendCommand(mapInfo, CloseAllStatement());
    stopRequested_ = false;
    view_.SetCancelAndSaveEnabled(false);
    view_.SetTimerEnabled(true);
}

void PackRun::btStopClick() {
    stopRequested_ = true;
    view_.SetCancelAndSaveEnabled(true);
}

void PackRun::RunPack(const AutomationVariant& mapInfo, const PackSelection& selection,
                      RecordTable& tableList) {
    RunningFlag running(running_);
    view_.SetTimerEnabled(false);
    view_.SetCancelAndSaveEnabled(false);
    stopRequested_ = false;
    view_.SetProgressText(kPreparingText);
    view_.DrainMessages();
    try {
        PackTables(mapInfo, selection, tableList);
    } catch (...) {
        // The link itself failed: the run cannot go on, but the window must stay usable, so the
        // user can read the log, save it and close.
        view_.SetBusyCursor(false);
        view_.SetCancelAndSaveEnabled(true);
        throw;
    }
}

void PackRun::PackTables(const AutomationVariant& mapInfo, const PackSelection& selection,
                         RecordTable& tableList) {
    const PackOptions options = view_.AskPackOptions();
    view_.SetBusyCursor(true);
    const std::size_t count = selection.SelectedCount();
    const auto stopped = [this] {
        if (!stopRequested_)
            return false;
        view_.SetBusyCursor(false);
        AppendToLog(log_, kStoppedText);
        view_.SetCancelAndSaveEnabled(true);
        return true;
    };
    for (std::size_t i = 0; i < count; ++i) {
        if (stopped())
            return;
        tableList.GotoBookmark(selection.SelectedBookmark(i));
        const std::string name = tableList.GetString("TableName");
        const std::string folder = tableList.GetString("TablePath");
        view_.SetProgressText(name + " (" + std::to_string(i + 1) + " of " +
                              std::to_string(selection.SelectedCount()) + ")");
        view_.DrainMessages();
        // A Stop pressed while the last table was in MapInfo's hands is only served by the drain
        // above (a call does not serve events), so it is looked at again before this table starts.
        if (stopped())
            return;

        const std::string alias = TableAlias(name);
        const std::string path = JoinTablePath(folder, name);
        try {
            OpenMapInfoTable(mapInfo, path, alias);
            SendCommand(mapInfo, PackTableStatement(alias, options.packGraphic, options.packData));
            AppendToLog(log_, kPackedPrefix + path);
            SendCommand(mapInfo, CloseAllStatement());
        } catch (const ServerError& error) {
            AppendToLog(log_, error.what());
        }
    }
    AppendToLog(log_, kCompleteText);
    view_.SetCancelAndSaveEnabled(true);
    view_.SetBusyCursor(false);
}

} // namespace vantero
