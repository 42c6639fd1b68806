#pragma once

// The splash window that covers the connection to MapInfo Professional at start-up.

#include <QDialog>

class QLabel;
class QTimer;

namespace vantero {

class TfrmIntro : public QDialog {
    Q_OBJECT
public:
    explicit TfrmIntro(QWidget* parent = nullptr);

    QLabel* Image1 = nullptr;
    QTimer* Timer1 = nullptr;

    void Timer1Timer();
    // True once the connection has been tried, whatever came of it.
    bool ConnectionAttempted() const { return connectionAttempted_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool connectionAttempted_ = false;
};

extern TfrmIntro* frmIntro;

inline constexpr const char* kNoConnectionMessage =
    "Unable to install an Ole Connection to MapInfo Professional. Application shutting down.";

} // namespace vantero
