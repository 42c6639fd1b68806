#pragma once

// The main window: where the user works, and the owner of every other window.

#include <QMainWindow>

class QAction;
class QStatusBar;
class QTimer;

namespace vantero {

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfrmMain(QWidget* parent = nullptr);

    QAction* actPack = nullptr;
    QAction* dxFileExit = nullptr;
    QAction* dxAboutAbout = nullptr;
    QAction* dxAboutWeb = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QTimer* Timer1 = nullptr;

    void FormShow();
    void Timer1Timer();
    void actPackExecute();
    void dxFileExitClick();
    void dxAboutAboutClick();
    void dxAboutWebClick();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
};

extern TfrmMain* frmMain;

// The maker's home page, opened by the About menu's last entry.
inline constexpr const char* kHomePageAddress = "https://vantero.app/";

} // namespace vantero
