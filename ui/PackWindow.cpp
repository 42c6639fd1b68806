#include "ui/PackWindow.h"

#include "pack/RunLog.h"
#include "ui/ErrorGuard.h"
#include "ui/LogGrid.h"
#include "ui/PackOptionsDialog.h"
#include "ui/Prompts.h"
#include "ui/RecordTableModel.h"
#include "ui/WindowLook.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace vantero {

namespace {

QPushButton* addButton(QWidget* parent, const char* objectName, const QString& text, int x) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(objectName));
    button->setGeometry(x, 217, 74, 23);
    button->setAutoDefault(false);
    return button;
}

} // namespace

PackWindow::PackWindow(const AutomationVariant& mapInfo, PackOptionsDialog& options,
                       QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_mapInfo(mapInfo), m_options(options), m_run(*this, m_runLog) {
    setObjectName(QStringLiteral("packWindow"));
    setWindowTitle(tr("Messages"));
    applyWindowFont(this);
    setFixedSize(472, 250);

    declareRunLogFields(m_runLog);
    m_runLog.open();
    m_logModel = new RecordTableModel(m_runLog, {{kMessageField, QString(), 448}}, this);
    m_logModel->setObjectName(QStringLiteral("logModel"));
    m_logGrid = new LogGrid(m_logModel, this);
    m_logGrid->setObjectName(QStringLiteral("logGrid"));
    m_logGrid->setGeometry(3, 3, 466, 163);
    connect(m_logGrid, &LogGrid::deleteRequested, this,
            [this](int row) { guard([this, row] { deleteLogRow(row); }); });

    m_saveLogButton = addButton(this, "saveLogButton", tr("Save &Log"), 104);
    m_stopButton = addButton(this, "stopButton", tr("&Stop"), 200);
    m_cancelButton = addButton(this, "cancelButton", tr("&Cancel"), 295);
    connect(m_saveLogButton, &QPushButton::clicked, this, [this] { guard([this] { saveLog(); }); });
    connect(m_stopButton, &QPushButton::clicked, this, [this] { guard([this] { stop(); }); });
    connect(m_cancelButton, &QPushButton::clicked, this, [this] { guard([this] { reject(); }); });

    auto* processing = new QLabel(tr("Processing:"), this);
    processing->setObjectName(QStringLiteral("processingLabel"));
    processing->move(11, 176);
    processing->adjustSize();
    m_progressLabel = new QLabel(tr("table name.tab"), this);
    m_progressLabel->setObjectName(QStringLiteral("progressLabel"));
    m_progressLabel->setGeometry(75, 176, 472 - 75 - 11, processing->height());

    m_runStartTimer = new QTimer(this);
    m_runStartTimer->setObjectName(QStringLiteral("runStartTimer"));
    m_runStartTimer->setInterval(1000);
    m_runStartTimer->setSingleShot(true);
    connect(m_runStartTimer, &QTimer::timeout, this, [this] { guard([this] { startRun(); }); });
}

PackWindow::~PackWindow() {
    setBusyCursor(false);
    // The log grid and its model go before the log they show, which is a member.
    delete m_logGrid;
    delete m_logModel;
}

int PackWindow::packTables(const PackSelection& selection, RecordTable& tableList) {
    m_selection = &selection;
    m_tableList = &tableList;
    const int result = exec();
    m_selection = nullptr;
    m_tableList = nullptr;
    return result;
}

void PackWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return; // the window system showing it again after a minimize is not a new showing
    centreOnScreen(this);
    m_closePending = false;
    guard([this] { m_run.windowShown(m_mapInfo); });
}

void PackWindow::startRun() {
    m_runStartTimer->stop();
    if (m_selection == nullptr || m_tableList == nullptr)
        return;
    guard([this] { m_run.run(m_mapInfo, *m_selection, *m_tableList); });
    if (m_closePending) {
        m_closePending = false;
        QDialog::reject();
    }
}

void PackWindow::stop() {
    m_run.requestStop();
}

void PackWindow::reject() {
    if (m_run.isRunning()) {
        m_closePending = true;
        return;
    }
    // Closed before its run began: the run must not start later with the window gone, packing
    // tables while the main window is usable again.
    m_runStartTimer->stop();
    QDialog::reject();
}

void PackWindow::keyPressEvent(QKeyEvent* event) {
    // Esc is Cancel's key, so it does nothing while Cancel is disabled.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        if (m_cancelButton->isEnabled())
            m_cancelButton->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void PackWindow::saveLog() {
    QString fileName;
    for (;;) {
        fileName = askSaveFileName(this, tr("Save Log File As..."), QStringLiteral("*.log"));
        if (fileName.isEmpty())
            return;
        if (!QFileInfo::exists(fileName))
            break;
        // Replacing a file the user did not mean to lose cannot be undone: ask, and on No let
        // them choose another name.
        const auto answer =
            showMessage(this, tr("Confirm Save As"),
                        tr("%1 already exists.\nDo you want to replace it?")
                            .arg(QFileInfo(fileName).fileName()),
                        QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer == QMessageBox::Yes)
            break;
    }
    saveRunLog(m_runLog, QFile::encodeName(fileName).toStdString());
    showMessage(this, QString::fromLatin1(kApplicationTitle), QString::fromLatin1(kLogSavedMessage),
                QMessageBox::NoIcon, QMessageBox::Ok);
}

void PackWindow::deleteLogRow(int row) {
    if (showMessage(this, tr("Confirm"), tr("Delete record?"), QMessageBox::Question,
                    QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok) != QMessageBox::Ok)
        return;
    m_runLog.moveTo(static_cast<std::size_t>(row));
    m_runLog.deleteCurrent();
}

void PackWindow::setProgressText(const std::string& text) {
    m_progressLabel->setText(
        QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())));
    // Painted now: the table it names goes to MapInfo next, and no event is served until then.
    m_progressLabel->repaint();
}

void PackWindow::setCancelAndSaveEnabled(bool enabled) {
    m_cancelButton->setEnabled(enabled);
    m_saveLogButton->setEnabled(enabled);
}

void PackWindow::setRunStartTimerEnabled(bool enabled) {
    if (enabled)
        m_runStartTimer->start();
    else
        m_runStartTimer->stop();
}

void PackWindow::setBusyCursor(bool busy) {
    if (busy == m_busyCursor)
        return;
    m_busyCursor = busy;
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QGuiApplication::restoreOverrideCursor();
}

void PackWindow::drainEvents() {
    QCoreApplication::processEvents();
}

PackParts PackWindow::askPackParts() {
    m_options.exec();
    return m_options.packParts();
}

} // namespace vantero
