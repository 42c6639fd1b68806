#include "ui/AboutDialog.h"

#include "ui/WindowLook.h"

#include <QLabel>
#include <QPushButton>

namespace vantero {

namespace {

QLabel* addLabel(QWidget* parent, const char* objectName, const QString& text, QRect bounds) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(objectName));
    if (bounds.size().isEmpty()) {
        label->move(bounds.topLeft());
        label->adjustSize();
    } else {
        label->setGeometry(bounds);
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    return label;
}

} // namespace

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(tr("About"));
    applyWindowFont(this);
    setFixedSize(313, 235);

    QLabel* name = addLabel(this, "nameLabel", QStringLiteral("Vantero"), QRect(17, 6, 0, 0));
    QFont title = name->font();
    title.setPixelSize(13);
    title.setBold(true);
    name->setFont(title);
    name->adjustSize();
    addLabel(this, "versionLabel", QString(), QRect(17, 24, 0, 0));
    addLabel(this, "purposeLabel",
             tr("Vantero was created for MapInfo Professional Version 4.x or higher. "
                "Please check our web site for program updates."),
             QRect(17, 53, 256, 40));
    addLabel(this, "legalLabel", tr("Just something legal stuff:"), QRect(17, 101, 261, 21));
    addLabel(this, "rightsLabel", QString::fromLatin1(kRightsNotice), QRect(17, 120, 284, 61));

    auto* okButton = new QPushButton(tr("OK"), this);
    okButton->setObjectName(QStringLiteral("okButton"));
    okButton->setGeometry(119, 194, 75, 25);
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
}

void AboutDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen(this);
}

} // namespace vantero
