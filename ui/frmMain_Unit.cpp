#include "ui/frmMain_Unit.h"

#include "app/ErrorGuard.h"
#include "app/ProcessState.h"
#include "ui/frmAbout_unit.h"
#include "ui/frmIntro_unit.h"
#include "ui/frmMessage_unit.h"

#include <QAction>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

namespace vantero {

TfrmMain* frmMain = nullptr;

namespace {

QAction* MenuEntry(QMenu* menu, const char* objectName, const QString& text, const QString& hint) {
    QAction* action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(objectName));
    action->setStatusTip(hint);
    action->setToolTip(hint);
    return action;
}

} // namespace

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromLatin1(kApplicationTitle));
    // The bounds the window returns to when it is no longer maximized.
    setGeometry(232, 161, 544, 375);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);

    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->setObjectName(QStringLiteral("dxFile"));
    actPack = MenuEntry(file, "actPack", tr("&Pack Tables"), tr("Pack Tables"));
    actPack->setEnabled(false);
    file->addSeparator();
    dxFileExit = MenuEntry(file, "dxFileExit", tr("Exit"), tr("Exit"));
    QMenu* about = menuBar()->addMenu(tr("&About"));
    about->setObjectName(QStringLiteral("dxAbout"));
    dxAboutAbout = MenuEntry(about, "dxAboutAbout", tr("About Vantero"), tr("About Vantero"));
    about->addSeparator();
    dxAboutWeb = MenuEntry(about, "dxAboutWeb", tr("Lindquay Software Home Page"),
                           tr("Lindquay Software Home Page"));

    connect(actPack, &QAction::triggered, this, [this] { Guard([this] { actPackExecute(); }); });
    connect(dxFileExit, &QAction::triggered, this,
            [this] { Guard([this] { dxFileExitClick(); }); });
    connect(dxAboutAbout, &QAction::triggered, this,
            [this] { Guard([this] { dxAboutAboutClick(); }); });
    connect(dxAboutWeb, &QAction::triggered, this,
            [this] { Guard([this] { dxAboutWebClick(); }); });

    StatusBar1 = statusBar();
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    Timer1->setInterval(500);
    connect(Timer1, &QTimer::timeout, this, [this] { Guard([this] { Timer1Timer(); }); });
}

void TfrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Only the first show starts the connection; a window restored from the task bar is shown
    // again without one.
    if (!event->spontaneous())
        Guard([this] { FormShow(); });
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    event->accept();
    Guard([] { RequestTermination(); });
}

void TfrmMain::FormShow() {
    Timer1->start();
}

void TfrmMain::Timer1Timer() {
    Timer1->stop();
    // The splash window's own timer may have fired already on a slow start, and then it has
    // nothing left to wait for.
    if (!frmIntro->ConnectionAttempted())
        frmIntro->exec();
}

void TfrmMain::actPackExecute() {
    frmMessage->exec();
}

void TfrmMain::dxFileExitClick() {
    RequestTermination();
}

void TfrmMain::dxAboutAboutClick() {
    frmAbout->exec();
}

void TfrmMain::dxAboutWebClick() {
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kHomePageAddress)));
}

} // namespace vantero
