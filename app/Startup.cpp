#include "app/Startup.h"

#include "app/ProcessState.h"
#include "ui/frmAbout_unit.h"
#include "ui/frmIntro_unit.h"
#include "ui/frmMain_Unit.h"
#include "ui/frmMessage_unit.h"
#include "ui/frmOptions_unit.h"

#include <QApplication>

namespace vantero {

int RunVantero(AutomationServerFactory& servers) {
    QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
    QApplication::setApplicationDisplayName(QString::fromLatin1(kApplicationTitle));
    ResetProcessState();
    SetAutomationServers(&servers);

    // Created once, in this order, none of them shown; the main window comes first so that it is
    // the application's main window and the owner of the others.
    frmMain = new TfrmMain;
    frmMessage = new TfrmMessage(frmMain);
    frmOptions = new TfrmOptions(frmMain);
    frmAbout = new TfrmAbout(frmMain);
    frmIntro = new TfrmIntro(frmMain);

    frmMain->showMaximized();
    const int result = QApplication::exec();

    // MapInfo is released before the bus connection or COM goes away, and while the windows that
    // might still refer to it exist.
    MapInfoApp.Clear();
    delete frmIntro;
    delete frmAbout;
    delete frmOptions;
    delete frmMessage;
    delete frmMain;
    frmIntro = nullptr;
    frmAbout = nullptr;
    frmOptions = nullptr;
    frmMessage = nullptr;
    frmMain = nullptr;
    SetAutomationServers(nullptr);
    return result;
}

} // namespace vantero
