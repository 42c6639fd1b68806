#pragma once

// The message window: the pack run and its log are shown here.

#include <QDialog>

namespace vantero {

class TfrmMessage : public QDialog {
    Q_OBJECT
public:
    explicit TfrmMessage(QWidget* parent = nullptr);
};

extern TfrmMessage* frmMessage;

} // namespace vantero
