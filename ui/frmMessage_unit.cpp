#include "ui/frmMessage_unit.h"

#include "app/ErrorGuard.h"
#include "app/ProcessState.h"
#include "app/Prompts.h"
#include "pack/RunLog.h"
#include "ui/FormLook.h"
#include "ui/GridSelection.h"
#include "ui/RecordTableModel.h"
#include "ui/TableGrid.h"
#include "ui/frmMain_Unit.h"
#include "ui/frmOptions_unit.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

namespace vantero {

TfrmMessage* frmMessage = nullptr;

namespace {

// The main grid's selected rows as the run reads them: in table-list order, taken once, since
// nothing can change them while the message window is up.
class MainGridSelection : public PackSelection {
public:
    MainGridSelection(TableGrid& grid, const RecordTable& tableList)
        : rows_(grid.Selection().SelectedRows()), tableList_(tableList) {}
    std::size_t SelectedCount() const override { return rows_.size(); }
    Bookmark SelectedBookmark(std::size_t index) const override {
        return Bookmark{tableList_.RecIdAt(rows_.at(index))};
    }

private:
    std::vector<std::size_t> rows_;
    const RecordTable& tableList_;
};

QPushButton* Button(QWidget* parent, const char* objectName, const QString& text, int x) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(objectName));
    button->setGeometry(x, 217, 74, 23);
    button->setAutoDefault(false);
    return button;
}

} // namespace

TfrmMessage::TfrmMessage(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      run_(*this, memResult, StopRequested) {
    setObjectName(QStringLiteral("frmMessage"));
    setWindowTitle(tr("Messages"));
    SetFormFont(this);
    setFixedSize(472, 250);

    DeclareRunLogFields(memResult);
    memResult.Open();
    dsResult = new RecordTableModel(memResult, {{kMessageField, QString(), 448}}, this);
    dsResult->setObjectName(QStringLiteral("dsResult"));

    dxDBGrid1 = new QTableView(this);
    dxDBGrid1->setObjectName(QStringLiteral("dxDBGrid1"));
    dxDBGrid1->setGeometry(3, 3, 466, 163);
    dxDBGrid1->setModel(dsResult);
    dxDBGrid1->horizontalHeader()->hide();
    dxDBGrid1->verticalHeader()->hide();
    dxDBGrid1->verticalHeader()->setDefaultSectionSize(dxDBGrid1->fontMetrics().height() + 4);
    dxDBGrid1->horizontalHeader()->setStretchLastSection(true);
    dxDBGrid1->setColumnWidth(0, 448);
    dxDBGrid1->setShowGrid(false);
    dxDBGrid1->setFrameShape(QFrame::StyledPanel);
    dxDBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    dxDBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    dxDBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    dxDBGrid1->setWordWrap(false);
    dxDBGrid1->installEventFilter(this); // Ctrl+Del

    btSave = Button(this, "btSave", tr("Save &Log"), 104);
    btStop = Button(this, "btStop", tr("&Stop"), 200);
    btCancel = Button(this, "btCancel", tr("&Cancel"), 295);
    connect(btSave, &QPushButton::clicked, this, [this] { Guard([this] { btSaveClick(); }); });
    connect(btStop, &QPushButton::clicked, this, [this] { Guard([this] { btStopClick(); }); });
    connect(btCancel, &QPushButton::clicked, this, [this] { Guard([this] { btCancelClick(); }); });

    Label1 = new QLabel(tr("Processing:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(11, 176);
    Label1->adjustSize();
    lblcurrenttab = new QLabel(tr("table name.tab"), this);
    lblcurrenttab->setObjectName(QStringLiteral("lblcurrenttab"));
    lblcurrenttab->setGeometry(75, 176, 472 - 75 - 11, Label1->height());

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, [this] { Guard([this] { Timer1Timer(); }); });
}

TfrmMessage::~TfrmMessage() {
    SetBusyCursor(false);
    // The log grid and its link go before the log they show, which is a member.
    delete dxDBGrid1;
    delete dsResult;
}

void TfrmMessage::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return; // the window system showing it again after a minimize is not a new showing
    CentreOnScreen(this);
    closePending_ = false;
    Guard([this] { FormShow(); });
}

void TfrmMessage::FormShow() {
    run_.FormShow(MapInfoApp);
}

void TfrmMessage::Timer1Timer() {
    Timer1->stop();
    if (frmMain == nullptr || frmMain->dxDBGrid1 == nullptr)
        return;
    const MainGridSelection selection(*frmMain->dxDBGrid1, frmMain->memTabList);
    Guard([&] { run_.RunPack(MapInfoApp, selection, frmMain->memTabList); });
    if (closePending_) {
        closePending_ = false;
        QDialog::reject();
    }
}

void TfrmMessage::btStopClick() {
    run_.btStopClick();
}

void TfrmMessage::btCancelClick() {
    reject();
}

void TfrmMessage::reject() {
    if (run_.Running()) {
        closePending_ = true;
        return;
    }
    // Closed before its run began: the run must not start later with the window gone, packing
    // tables while the main window is usable again.
    Timer1->stop();
    QDialog::reject();
}

bool TfrmMessage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == dxDBGrid1 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::ControlModifier) {
            Guard([this] { dxDBGrid1DeleteRecord(); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmMessage::keyPressEvent(QKeyEvent* event) {
    // Esc is Cancel's key, so it does nothing while Cancel is disabled.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        if (btCancel->isEnabled())
            btCancel->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfrmMessage::btSaveClick() {
    QString fileName;
    for (;;) {
        fileName = AskSaveFileName(this, tr("Save Log File As..."), QStringLiteral("*.log"),
                                   QString(), QString());
        if (fileName.isEmpty())
            return;
        if (!QFileInfo::exists(fileName))
            break;
        // Replacing a file the user did not mean to lose cannot be undone: ask, and on No let
        // them choose another name.
        const auto answer =
            ShowMessage(this, tr("Confirm Save As"),
                        tr("%1 already exists.\nDo you want to replace it?")
                            .arg(QFileInfo(fileName).fileName()),
                        QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer == QMessageBox::Yes)
            break;
    }
    SaveRunLog(memResult, QFile::encodeName(fileName).toStdString());
    ShowMessage(this, QString::fromLatin1(kApplicationTitle), QString::fromLatin1(kLogSavedMessage),
                QMessageBox::NoIcon, QMessageBox::Ok);
}

void TfrmMessage::dxDBGrid1DeleteRecord() {
    const QModelIndex current = dxDBGrid1->currentIndex();
    if (!current.isValid())
        return;
    if (ShowMessage(this, tr("Confirm"), tr("Delete record?"), QMessageBox::Question,
                    QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) != QMessageBox::Ok)
        return;
    memResult.MoveTo(static_cast<std::size_t>(current.row()));
    memResult.Delete();
}

void TfrmMessage::SetProgressText(const std::string& text) {
    lblcurrenttab->setText(
        QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())));
}

void TfrmMessage::SetCancelAndSaveEnabled(bool enabled) {
    btCancel->setEnabled(enabled);
    btSave->setEnabled(enabled);
}

void TfrmMessage::SetTimerEnabled(bool enabled) {
    if (enabled)
        Timer1->start();
    else
        Timer1->stop();
}

void TfrmMessage::SetBusyCursor(bool busy) {
    if (busy == busyCursor_)
        return;
    busyCursor_ = busy;
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QGuiApplication::restoreOverrideCursor();
}

void TfrmMessage::DrainMessages() {
    QCoreApplication::processEvents();
}

PackOptions TfrmMessage::AskPackOptions() {
    if (frmOptions == nullptr)
        return {};
    frmOptions->exec();
    return frmOptions->Options();
}

} // namespace vantero
