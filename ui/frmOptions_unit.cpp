#include "ui/frmOptions_unit.h"

#include "ui/FormLook.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>

namespace vantero {

TfrmOptions* frmOptions = nullptr;

TfrmOptions::TfrmOptions(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(tr("Options"));
    SetFormFont(this);
    setFixedSize(268, 100);

    GroupBox1 = new QGroupBox(tr("Pack Options"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(7, 7, 168, 81);
    CheckBox1 = new QCheckBox(tr("Pack Graphic Data"), GroupBox1);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(17, 23, 140, 17);
    CheckBox1->setChecked(true);
    CheckBox2 = new QCheckBox(tr("Pack Table Data"), GroupBox1);
    CheckBox2->setObjectName(QStringLiteral("CheckBox2"));
    CheckBox2->setGeometry(17, 45, 113, 17);
    CheckBox2->setChecked(true);

    Button1 = new QPushButton(tr("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(184, 13, 75, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
}

bool TfrmOptions::PackGraphic() const {
    return CheckBox1->isChecked();
}

bool TfrmOptions::PackData() const {
    return CheckBox2->isChecked();
}

void TfrmOptions::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CentreOnScreen(this);
}

} // namespace vantero
