#include "ui/ApplicationSetup.h"

#include "ui/ErrorGuard.h"

#include <QApplication>
#include <QIcon>
#include <QSettings>

namespace vantero {

void setUpApplication() {
    QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
    QApplication::setApplicationVersion(QStringLiteral(VANTERO_VERSION));
    // The desktop matches the windows to the installed menu entry and its icon by these.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.vantero.Vantero"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("vantero")));
    // Settings files in a folder below the program's own file, which no file system lets anyone
    // make: whatever Qt's file dialog would keep is written nowhere. (On Windows the program uses
    // the system's save dialog, which keeps nothing of its own.)
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        for (const QSettings::Scope scope : {QSettings::UserScope, QSettings::SystemScope})
            QSettings::setPath(format, scope,
                               QApplication::applicationFilePath() +
                                   QStringLiteral("/no-settings"));
}

} // namespace vantero
