#pragma once

// The pack window: the pack run's view. It shows the progress text and the run log, offers Stop,
// Save Log and Cancel, and hands everything else to the run in pack/.

#include "pack/PackRun.h"
#include "records/RecordTable.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTimer;

namespace vantero {

class LogGrid;
class PackOptionsDialog;
class RecordTableModel;

class PackWindow : public QDialog, private PackView {
    Q_OBJECT
public:
    PackWindow(const AutomationVariant& mapInfo, PackOptionsDialog& options,
               QWidget* parent = nullptr);
    ~PackWindow() override;

    // Shows the window modally; a second after it appears the run packs the selected tables of
    // the table list. Returns when the user has closed the window.
    int packTables(const PackSelection& selection, RecordTable& tableList);

    bool isRunning() const { return m_run.isRunning(); }
    // The run log, emptied each time the window is shown.
    const RecordTable& runLog() const { return m_runLog; }

    // The close box, Esc and Cancel all come here. During a run the window closes once the run has
    // ended; before the run has started, closing cancels it.
    void reject() override;

private slots:
    void startRun();
    void stop();
    void saveLog();
    void deleteLogRow(int row);

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setProgressText(const std::string& text) override;
    void setCancelAndSaveEnabled(bool enabled) override;
    void setRunStartTimerEnabled(bool enabled) override;
    void setBusyCursor(bool busy) override;
    void drainEvents() override;
    PackParts askPackParts() override;

    const AutomationVariant& m_mapInfo;
    PackOptionsDialog& m_options;
    RecordTable m_runLog;
    PackRun m_run;
    RecordTableModel* m_logModel = nullptr;
    LogGrid* m_logGrid = nullptr;
    QPushButton* m_saveLogButton = nullptr;
    QPushButton* m_stopButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QLabel* m_progressLabel = nullptr;
    QTimer* m_runStartTimer = nullptr;
    // What the run packs, from packTables() until the window is closed.
    const PackSelection* m_selection = nullptr;
    RecordTable* m_tableList = nullptr;
    bool m_busyCursor = false;
    bool m_closePending = false;
};

inline constexpr const char* kLogSavedMessage = "Log file saved!";

} // namespace vantero
