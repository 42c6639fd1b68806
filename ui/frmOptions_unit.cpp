#include "ui/frmOptions_unit.h"

namespace vantero {

TfrmOptions* frmOptions = nullptr;

TfrmOptions::TfrmOptions(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(tr("Options"));
}

} // namespace vantero
