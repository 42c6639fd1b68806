#include "ui/frmAbout_unit.h"

namespace vantero {

TfrmAbout* frmAbout = nullptr;

TfrmAbout::TfrmAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(tr("About"));
}

} // namespace vantero
