#include "ui/frmIntro_unit.h"

#include "app/ErrorGuard.h"
#include "app/ProcessState.h"
#include "app/Prompts.h"
#include "mapinfo/MapInfoLink.h"
#include "ui/frmMain_Unit.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

namespace vantero {

TfrmIntro* frmIntro = nullptr;

namespace {

// Our own picture, drawn rather than stored: the name on a calm gradient.
QPixmap SplashPicture() {
    QPixmap picture(146, 173);
    QPainter painter(&picture);
    QLinearGradient gradient(0, 0, 0, picture.height());
    gradient.setColorAt(0, QColor(0x1f, 0x4e, 0x79));
    gradient.setColorAt(1, QColor(0x0b, 0x25, 0x3d));
    painter.fillRect(picture.rect(), gradient);
    painter.setPen(QColor(0xf0, 0xf4, 0xf8));
    QFont font = painter.font();
    font.setPixelSize(20);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(picture.rect().adjusted(0, 0, 0, -30), Qt::AlignCenter,
                     QString::fromLatin1(kApplicationTitle));
    font.setPixelSize(10);
    font.setBold(false);
    painter.setFont(font);
    painter.drawText(picture.rect().adjusted(0, 40, 0, 0), Qt::AlignCenter,
                     QStringLiteral("Connecting…"));
    return picture;
}

} // namespace

TfrmIntro::TfrmIntro(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("frmIntro"));
    setFixedSize(136, 169);
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    // Larger than the window by 3 pixels on every side, so no edge of the picture shows.
    Image1->setGeometry(-3, -3, 147, 174);
    Image1->setPixmap(SplashPicture());

    // Counts from creation, not from the moment the window is shown.
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, [this] { Guard([this] { Timer1Timer(); }); });
    Timer1->start();
}

void TfrmIntro::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
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
