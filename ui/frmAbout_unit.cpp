#include "ui/frmAbout_unit.h"

#include "ui/FormLook.h"

#include <QLabel>
#include <QPushButton>

namespace vantero {

TfrmAbout* frmAbout = nullptr;

namespace {

QLabel* Label(QWidget* parent, const char* objectName, const QString& text, QRect bounds) {
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

TfrmAbout::TfrmAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(tr("About"));
    SetFormFont(this);
    setFixedSize(313, 235);

    Label1 = Label(this, "Label1", QStringLiteral("Vantero"), QRect(17, 6, 0, 0));
    QFont title = Label1->font();
    title.setPixelSize(13);
    title.setBold(true);
    Label1->setFont(title);
    Label1->adjustSize();
    Label2 = Label(this, "Label2", QString(), QRect(17, 24, 0, 0));
    Label6 = Label(this, "Label6",
                   tr("Vantero was created for MapInfo Professional Version 4.x or higher. "
                      "Please check our web site for program updates."),
                   QRect(17, 53, 256, 40));
    Label5 = Label(this, "Label5", tr("Just something legal stuff:"), QRect(17, 101, 261, 21));
    Label7 = Label(this, "Label7", QString::fromLatin1(kRightsNotice), QRect(17, 120, 284, 61));

    Button1 = new QPushButton(tr("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(119, 194, 75, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
}

void TfrmAbout::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CentreOnScreen(this);
}

} // namespace vantero
