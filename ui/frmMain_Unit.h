#pragma once

// The main window: where the user works, and the owner of every other window.

#include "records/RecordTable.h"

#include <QMainWindow>
#include <QString>

#include <string>

class QAction;
class QLabel;
class QSplitter;
class QStatusBar;
class QTimer;
class QToolBar;

namespace vantero {

class RecordTableModel;
class TableGrid;
class TPTShellTree;

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    QAction* actPack = nullptr;
    QAction* dxFileExit = nullptr;
    QAction* dxAboutAbout = nullptr;
    QAction* dxAboutWeb = nullptr;
    QToolBar* dxBarManager1Bar2 = nullptr; // "Standard"
    QSplitter* PTSplitter1 = nullptr;
    QWidget* FoldersPane = nullptr; // the left pane; the folder tree goes below its header
    QLabel* FoldersHeader = nullptr;
    TPTShellTree* PTShellTree1 = nullptr;
    TableGrid* dxDBGrid1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QTimer* Timer1 = nullptr;

    // The tables of the folder on show, and the grid's link to them.
    RecordTable memTabList;
    RecordTableModel* dsTabList = nullptr;

    void FormShow();
    void Timer1Timer();
    void actPackExecute();
    void dxFileExitClick();
    void dxAboutAboutClick();
    void dxAboutWebClick();
    void PTShellTree1Change(const std::string& path);
    void dxDBGrid1SelectedCountChange(int count);
    void dxDBGrid1DeleteRecords();
    void dxDBGrid1CopyRecords();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QString statusText_; // the status bar's own text, under the menu hints
};

extern TfrmMain* frmMain;

// The maker's home page, opened by the About menu's last entry.
inline constexpr const char* kHomePageAddress = "https://vantero.app/";

} // namespace vantero
