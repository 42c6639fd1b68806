#pragma once

// The message window: the pack run's view. It shows the progress text and the run log, offers
// Stop, Save Log and Cancel, and hands everything else to the run in pack/.

#include "pack/PackRun.h"
#include "records/RecordTable.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTableView;
class QTimer;

namespace vantero {

class RecordTableModel;

class TfrmMessage : public QDialog, private PackView {
    Q_OBJECT
public:
    explicit TfrmMessage(QWidget* parent = nullptr);
    ~TfrmMessage() override;

    QTableView* dxDBGrid1 = nullptr;
    QPushButton* btSave = nullptr;
    QPushButton* btStop = nullptr;
    QPushButton* btCancel = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* lblcurrenttab = nullptr;
    QTimer* Timer1 = nullptr;

    // The run log; emptied each time the window is shown.
    RecordTable memResult;
    RecordTableModel* dsResult = nullptr;

    void FormShow();
    void Timer1Timer();
    void btStopClick();
    void btSaveClick();
    void btCancelClick();
    void dxDBGrid1DeleteRecord();

    bool Running() const { return run_.Running(); }

    // The close box, Esc and Cancel all come here. During a run the window closes once the run has
    // ended; before the run has started, closing cancels it.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetProgressText(const std::string& text) override;
    void SetCancelAndSaveEnabled(bool enabled) override;
    void SetTimerEnabled(bool enabled) override;
    void SetBusyCursor(bool busy) override;
    void DrainMessages() override;
    PackOptions AskPackOptions() override;

    PackRun run_;
    bool busyCursor_ = false;
    bool closePending_ = false;
};

extern TfrmMessage* frmMessage;

inline constexpr const char* kLogSavedMessage = "Log file saved!";

} // namespace vantero
