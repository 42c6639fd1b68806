// Vantero's entry. No argument, environment variable or file is read: everything the program does
// starts from its windows.

#include "app/Application.h"

#include <QApplication>
#include <QIcon>

#ifdef _WIN32
#include "mapinfo/com/ComAutomation.h"
#else
#include "mapinfo/dbus/DBusAutomation.h"
#endif

int main(int argc, char** argv) {
    // On Windows the application object initialises COM for this thread as a single-threaded
    // apartment, as an automation client needs.
    QApplication application(argc, argv);
    // The desktop matches the windows to the installed menu entry and its icon by these.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.vantero.Vantero"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("vantero")));
#ifdef _WIN32
    vantero::ComAutomationFactory servers;
#else
    vantero::DBusAutomationFactory servers(QDBusConnection::sessionBus());
#endif
    return vantero::Application(servers).run();
}
