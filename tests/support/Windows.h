#pragma once

// Window tests reach a window's parts by their object names, as a user finds them by their role,
// and run the program the way the application object does.

#include "tests/support/RecordingAutomation.h"
#include "ui/ApplicationServices.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QTimer>

#include <functional>
#include <memory>
#include <stdexcept>

namespace vantero::test {

// The part of a window with this object name; a missing one fails the test.
template <class T = QWidget> T* part(const QObject* window, const char* name) {
    if (T* found = window->findChild<T*>(QString::fromLatin1(name)))
        return found;
    throw std::runtime_error(std::string("no part named ") + name);
}

// A main window over an in-process MapInfo already in place, as after a start-up that went well.
struct ConnectedMainWindow {
    std::shared_ptr<RecordingLog> calls = std::make_shared<RecordingLog>();
    RecordingFactory servers;
    AutomationVariant mapInfo;
    MainWindow window{ApplicationServices{mapInfo, servers, [] {}}};
    ConnectedMainWindow() {
        part<QTimer>(&window, "connectTimer")->stop();
        mapInfo.assign(std::make_unique<RecordingAutomation>(calls, nullptr));
        window.show();
        part<QTimer>(&window, "splashDelay")->stop();
    }
};

// The program as the application object runs it: the windows, the event loop until termination
// (or 20 s, so that a hang fails), then MapInfo's object from the servers released before them.
class ProgramRun {
public:
    explicit ProgramRun(AutomationServerFactory& servers) : m_servers(servers) {}
    int run() {
        const ApplicationServices services{m_mapInfo, m_servers, [] { QCoreApplication::exit(0); }};
        m_window = std::make_unique<MainWindow>(services);
        m_window->showMaximized();
        QTimer deadline;
        deadline.callOnTimeout([this] {
            timedOut = true;
            QCoreApplication::exit(1);
        });
        deadline.start(20000);
        const int result = QApplication::exec();
        m_mapInfo.clear();
        m_window.reset();
        return result;
    }
    MainWindow* window() const { return m_window.get(); }
    bool timedOut = false;

private:
    AutomationServerFactory& m_servers;
    AutomationVariant m_mapInfo;
    std::unique_ptr<MainWindow> m_window;
};

// Calls step every 20 ms while the event loop runs, until it returns true.
struct Poll : QTimer {
    explicit Poll(std::function<bool()> step) {
        callOnTimeout([this, step = std::move(step)] {
            if (step())
                stop();
        });
        start(20);
    }
};

} // namespace vantero::test
