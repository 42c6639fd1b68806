#include "ui/frmIntro_unit.h"

#include "app/ErrorGuard.h"
#include "app/ProcessState.h"
#include "app/Prompts.h"
#include "mapinfo/MapInfoLink.h"
#include "ui/FormLook.h"
#include "ui/frmMain_Unit.h"

#include <QLabel>
#include <QPixmap>
#include <QTimer>

// The pictures live in a static library, whose resource registration the linker would drop
// unless something refers to it; this does, and must stand outside any namespace.
static void LoadPictures() {
    Q_INIT_RESOURCE(resources);
}

namespace vantero {

TfrmIntro* frmIntro = nullptr;

TfrmIntro::TfrmIntro(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("frmIntro"));
    setFixedSize(136, 169);
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    // Larger than the window by 3 pixels on every side, so no edge of the picture shows.
    Image1->setGeometry(-3, -3, 147, 174);
    // Our own 16-colour picture, 146 by 173, kept with the program as a resource.
    LoadPictures();
    Image1->setPixmap(QPixmap(QStringLiteral(":/vantero/splash.bmp")));

    // Counts from creation, not from the moment the window is shown.
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, [this] { Guard([this] { Timer1Timer(); }); });
    Timer1->start();
}

void TfrmIntro::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CentreOnScreen(this);
}

void TfrmIntro::Timer1Timer() {
    Timer1->stop();
    bool connected = false;
    // Whatever goes wrong on the way, the splash window closes: it never waits without a
    // connection attempt under way.
    try {
        connected = ConnectMapInfo(MapInfoApp, AutomationServers(), frmMain->winId());
    } catch (...) {
        connectionAttempted_ = true;
        done(QDialog::Accepted);
        throw;
    }
    connectionAttempted_ = true;
    if (!connected) {
        ShowMessage(this, QString::fromLatin1(kApplicationTitle),
                    QString::fromLatin1(kNoConnectionMessage), QMessageBox::NoIcon,
                    QMessageBox::Ok);
        RequestTermination();
    }
    done(QDialog::Accepted);
}

} // namespace vantero
