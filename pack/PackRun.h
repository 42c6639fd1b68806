#pragma once

// The pack run: the pack window's logic, free of any window system so that it can be driven by
// tests and by any view. The view does what only a window can (texts, buttons, cursor, the options
// dialog, serving the pending events); the run decides what happens and when.

#include "base/PackParts.h"
#include "mapinfo/AutomationVariant.h"
#include "records/RecordTable.h"

#include <cstddef>
#include <string>

namespace vantero {

// What the pack window shows and does for the run.
class PackView {
public:
    virtual ~PackView() = default;
    // Shown at once, without waiting for the events to be served.
    virtual void setProgressText(const std::string& text) = 0;
    virtual void setCancelAndSaveEnabled(bool enabled) = 0; // Cancel and Save Log together
    virtual void setRunStartTimerEnabled(bool enabled) = 0; // the one-shot start of the run
    virtual void setBusyCursor(bool busy) = 0;
    // Serves every pending event (Stop, Save Log, the close box, the log grid), then returns.
    virtual void drainEvents() = 0;
    // Shows the options dialog modally and returns its states once it has closed, however it was.
    virtual PackParts askPackParts() = 0;
    // Each table's outcome, for views that report more than the log: packed, or the server's
    // message.
    virtual void tablePacked(const std::string& /*path*/) {}
    virtual void tableFailed(const std::string& /*path*/, const std::string& /*message*/) {}
};

// The tables the run packs: the main grid's selected rows, in table-list order.
class PackSelection {
public:
    virtual ~PackSelection() = default;
    virtual std::size_t selectedCount() const = 0;
    virtual Bookmark selectedBookmark(std::size_t index) const = 0;
};

inline constexpr const char* kPreparingText = "Preparing to batch the selected table(s)...";
inline constexpr const char* kPackedPrefix = "Packed table ";
inline constexpr const char* kStoppedText = "Process Stop by user.";
inline constexpr const char* kCompleteText = "Process Complete.";

class PackRun {
public:
    // The log is the pack window's run log.
    PackRun(PackView& view, RecordTable& log);

    // Each time the window is shown: empties the log, closes every table in MapInfo, clears the
    // stop request and starts the timer. A failure of the close leaves the rest undone (the run
    // does not start).
    void windowShown(const AutomationVariant& mapInfo);

    // The run, once per showing. A server error is logged against its table and the run goes on;
    // any other failure leaves the run with the cursor and the buttons restored and is rethrown.
    void run(const AutomationVariant& mapInfo, const PackSelection& selection,
             RecordTable& tableList);

    // Stop: the run ends before the next table; Cancel and Save Log come back at once.
    void requestStop();
    bool stopRequested() const { return m_stopRequested; }

    // True from the start of run() until it returns, however it ends.
    bool isRunning() const { return m_running; }

private:
    void packTables(const AutomationVariant& mapInfo, const PackSelection& selection,
                    RecordTable& tableList);

    PackView& m_view;
    RecordTable& m_log;
    bool m_stopRequested = false;
    bool m_running = false;
};

} // namespace vantero
