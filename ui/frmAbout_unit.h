#pragma once

// The About box, reached from the About menu.

#include <QDialog>

namespace vantero {

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* parent = nullptr);
};

extern TfrmAbout* frmAbout;

} // namespace vantero
