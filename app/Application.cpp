#include "app/Application.h"

#include "ui/MainWindow.h"

#include <QApplication>

#include <memory>

namespace vantero {

int Application::run() {
    // exit() ends every event loop of the thread, so a modal dialog's exec() returns as well and
    // the main loop does not wait for it.
    const ApplicationServices services{m_mapInfo, m_servers, [] { QCoreApplication::exit(0); }};
    // The main window makes the others, in their order, none of them shown.
    auto mainWindow = std::make_unique<MainWindow>(services);
    if (!m_startFolder.empty())
        mainWindow->showFolder(m_startFolder);
    mainWindow->showMaximized();
    const int result = QApplication::exec();

    // MapInfo is released before the bus connection or COM goes away, and while the windows that
    // might still refer to it exist.
    m_mapInfo.clear();
    mainWindow.reset();
    return result;
}

} // namespace vantero
