#include "ui/SplashWindow.h"

#include "mapinfo/MapInfoLink.h"
#include "ui/ErrorGuard.h"
#include "ui/Prompts.h"
#include "ui/WindowLook.h"

#include <QLabel>
#include <QPixmap>
#include <QTimer>

// The pictures live in a static library, whose resource registration the linker would drop
// unless something refers to it; this does, and must stand outside any namespace.
static void loadPictures() {
    Q_INIT_RESOURCE(resources);
}

namespace vantero {

SplashWindow::SplashWindow(const ApplicationServices& services, std::uint64_t mainWindow,
                           QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_services(services),
      m_mainWindow(mainWindow) {
    setObjectName(QStringLiteral("splashWindow"));
    setFixedSize(136, 169);
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("pictureLabel"));
    // Larger than the window by 3 pixels on every side, so no edge of the picture shows.
    picture->setGeometry(-3, -3, 147, 174);
    // Our own 16-colour picture, 146 by 173, kept with the program as a resource.
    loadPictures();
    picture->setPixmap(QPixmap(QStringLiteral(":/vantero/splash.bmp")));

    // Counts from creation, not from the moment the window is shown.
    m_connectTimer = new QTimer(this);
    m_connectTimer->setObjectName(QStringLiteral("connectTimer"));
    m_connectTimer->setInterval(1000);
    connect(m_connectTimer, &QTimer::timeout, this,
            [this] { guard([this] { connectToMapInfo(); }); });
    m_connectTimer->start();
}

void SplashWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen(this);
}

void SplashWindow::connectToMapInfo() {
    m_connectTimer->stop();
    ConnectResult result;
    // Whatever goes wrong on the way, the splash window closes: it never waits without a
    // connection attempt under way.
    try {
        result = connectMapInfo(m_services.mapInfo, m_services.servers, m_mainWindow);
    } catch (...) {
        m_connectionAttempted = true;
        done(QDialog::Accepted);
        throw;
    }
    m_connectionAttempted = true;
    if (!result.connected) {
        qCInfo(lcFailures, "No connection to MapInfo: %s", result.failure.c_str());
        showMessage(this, QString::fromLatin1(kApplicationTitle),
                    QString::fromLatin1(kNoConnectionMessage), QMessageBox::NoIcon,
                    QMessageBox::Ok);
        m_services.requestTermination();
    }
    done(QDialog::Accepted);
}

} // namespace vantero
