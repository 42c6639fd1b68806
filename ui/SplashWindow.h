#pragma once

// The splash window that covers the connection to MapInfo Professional at start-up. Its timer runs
// from the moment it is made; when it fires the connection is tried and the window closes.

#include "ui/ApplicationServices.h"

#include <QDialog>

#include <cstdint>

class QTimer;

namespace vantero {

class SplashWindow : public QDialog {
    Q_OBJECT
public:
    // mainWindow is the native handle MapInfo is told to treat as its parent.
    SplashWindow(const ApplicationServices& services, std::uint64_t mainWindow,
                 QWidget* parent = nullptr);

    // True once the connection has been tried, whatever came of it.
    bool connectionAttempted() const { return m_connectionAttempted; }

public slots:
    // Connects to MapInfo, or says it cannot and ends the program; closes the window either way.
    void connectToMapInfo();

    // Esc and the window system's close do nothing: only the connection closes the window.
    void reject() override {}

protected:
    void showEvent(QShowEvent* event) override;

private:
    const ApplicationServices& m_services;
    std::uint64_t m_mainWindow;
    QTimer* m_connectTimer = nullptr;
    bool m_connectionAttempted = false;
};

inline constexpr const char* kNoConnectionMessage =
    "Unable to install an Ole Connection to MapInfo Professional. Application shutting down.";

} // namespace vantero
