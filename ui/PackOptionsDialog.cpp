#include "ui/PackOptionsDialog.h"

#include "ui/WindowLook.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPushButton>

namespace vantero {

namespace {

QCheckBox* checkBox(QWidget* parent, const char* objectName, const QString& text, QRect bounds) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(QString::fromLatin1(objectName));
    box->setGeometry(bounds);
    box->setChecked(true);
    return box;
}

} // namespace

PackOptionsDialog::PackOptionsDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("packOptionsDialog"));
    setWindowTitle(tr("Options"));
    applyWindowFont(this);
    setFixedSize(268, 100);

    auto* group = new QGroupBox(tr("Pack Options"), this);
    group->setObjectName(QStringLiteral("packOptionsGroup"));
    group->setGeometry(7, 7, 168, 81);
    m_graphicCheckBox =
        checkBox(group, "graphicCheckBox", tr("Pack Graphic Data"), QRect(17, 23, 140, 17));
    m_dataCheckBox = checkBox(group, "dataCheckBox", tr("Pack Table Data"), QRect(17, 45, 113, 17));

    auto* okButton = new QPushButton(tr("OK"), this);
    okButton->setObjectName(QStringLiteral("okButton"));
    okButton->setGeometry(184, 13, 75, 25);
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
}

PackParts PackOptionsDialog::packParts() const {
    return {m_graphicCheckBox->isChecked(), m_dataCheckBox->isChecked()};
}

void PackOptionsDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void PackOptionsDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen(this);
}

} // namespace vantero
