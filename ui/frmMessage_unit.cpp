#include "ui/frmMessage_unit.h"

namespace vantero {

TfrmMessage* frmMessage = nullptr;

TfrmMessage::TfrmMessage(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmMessage"));
    setWindowTitle(tr("Messages"));
}

} // namespace vantero
