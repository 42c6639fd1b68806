#pragma once

// The About box, reached from the About menu.

#include <QDialog>

class QLabel;
class QPushButton;

namespace vantero {

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* parent = nullptr);

    QLabel* Label1 = nullptr; // the program's name
    QLabel* Label2 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label7 = nullptr; // the rights notice
    QPushButton* Button1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
};

extern TfrmAbout* frmAbout;

inline constexpr const char* kRightsNotice =
    "Vantero is free to use and to pass on; it comes with no warranty, so keep a copy of your "
    "tables before you pack them.";

} // namespace vantero
