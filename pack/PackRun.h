#pragma once

// The pack run: the message window's logic, free of any window system so that it can be driven by
// tests and by any view. The view does what only a window can (texts, buttons, cursor, the options
// dialog, draining the pending events); the run decides what happens and when.

#include "mapinfo/AutomationVariant.h"
#include "records/RecordTable.h"

#include <cstddef>
#include <string>

namespace vantero {

struct PackOptions {
    bool packGraphic = true;
    bool packData = true;
};

// What the message window shows and does for the run.
class PackView {
public:
    virtual ~PackView() = default;
    virtual void SetProgressText(const std::string& text) = 0; // lblcurrenttab
    virtual void SetCancelAndSaveEnabled(bool enabled) = 0;    // btCancel and btSave together
    virtual void SetTimerEnabled(bool enabled) = 0;            // the one-shot start of the run
    virtual void SetBusyCursor(bool busy) = 0;
    // Serves every pending event (Stop, Save Log, the close box, the log grid), then returns.
    virtual void DrainMessages() = 0;
    // Shows the options dialog modally and returns its states once it has closed, however it was.
    virtual PackOptions AskPackOptions() = 0;
};

// The tables the run packs: the main grid's selected rows, in table-list order.
class PackSelection {
public:
    virtual ~PackSelection() = default;
    virtual std::size_t SelectedCount() const = 0;
    virtual Bookmark SelectedBookmark(std::size_t index) const = 0;
};

inline constexpr const char* kPreparingText = "Preparing to batch the selected table(s)...";
inline constexpr const char* kPackedPrefix = "Packed table ";
inline constexpr const char* kStoppedText = "Process Stop by user.";
inline constexpr const char* kCompleteText = "Process Complete.";

// Joins a folder and a file name as the table list's paths are joined: with one separator,
// whatever the folder ends in, so a table listed from the root gets two in a row.
std::string JoinTablePath(const std::string& folder, const std::string& name);

class PackRun {
public:
    // The log is the window's run log; stopRequested is the process-wide stop flag.
    PackRun(PackView& view, RecordTable& log, bool& stopRequested);

    // Each time the window is shown: empties the log, closes every table in MapInfo and starts the
    // timer. A failure of the close leaves the rest undone (the run does not start).
    void FormShow(const AutomationVariant& mapInfo);

    // The run, once per showing. A server error is logged against its table and the run goes on;
    // any other failure leaves the run with the cursor and the buttons restored and is rethrown.
    void RunPack(const AutomationVariant& mapInfo, const PackSelection& selection,
                 RecordTable& tableList);

    void btStopClick();

    // True from the start of RunPack until it returns, however it ends.
    bool Running() const { return running_; }

private:
    void PackTables(const AutomationVariant& mapInfo, const PackSelection& selection,
                    RecordTable& tableList);

    PackView& view_;
    RecordTable& log_;
    bool& stopRequested_;
    bool running_ = false;
};

} // namespace vantero
