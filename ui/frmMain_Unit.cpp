#include "ui/frmMain_Unit.h"

#include "app/ErrorGuard.h"
#include "app/ProcessState.h"
#include "app/Prompts.h"
#include "catalogue/ListTables.h"
#include "ui/FormLook.h"
#include "ui/PTShellTree.h"
#include "ui/RecordTableModel.h"
#include "ui/TableGrid.h"
#include "ui/frmAbout_unit.h"
#include "ui/frmIntro_unit.h"
#include "ui/frmMessage_unit.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

namespace vantero {

TfrmMain* frmMain = nullptr;

namespace {

QAction* MenuEntry(QMenu* menu, const char* objectName, const QString& text, const QString& hint) {
    QAction* action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(objectName));
    action->setStatusTip(hint);
    action->setToolTip(hint);
    return action;
}

// The toolbar's picture for Pack Tables, drawn rather than stored: a table squeezed by two arrows.
QIcon PackIcon() {
    QPixmap picture(20, 20);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setPen(QColor(0x1f, 0x4e, 0x79));
    painter.setBrush(QColor(0xdd, 0xe8, 0xf3));
    painter.drawRect(5, 3, 10, 14);
    for (int y = 7; y <= 13; y += 3)
        painter.drawLine(5, y, 15, y);
    painter.setBrush(QColor(0x1f, 0x4e, 0x79));
    const QPoint left[] = {{0, 6}, {4, 10}, {0, 14}};
    const QPoint right[] = {{19, 6}, {15, 10}, {19, 14}};
    painter.drawPolygon(left, 3);
    painter.drawPolygon(right, 3);
    return QIcon(picture);
}

} // namespace

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromLatin1(kApplicationTitle));
    // The bounds the window returns to when it is no longer maximized.
    setGeometry(232, 161, 544, 375);
    SetFormFont(this);

    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->setObjectName(QStringLiteral("dxFile"));
    actPack = MenuEntry(file, "actPack", tr("&Pack Tables"), tr("Pack Tables"));
    actPack->setEnabled(false);
    file->addSeparator();
    dxFileExit = MenuEntry(file, "dxFileExit", tr("Exit"), tr("Exit"));
    QMenu* about = menuBar()->addMenu(tr("&About"));
    about->setObjectName(QStringLiteral("dxAbout"));
    dxAboutAbout = MenuEntry(about, "dxAboutAbout", tr("About Vantero"), tr("About Vantero"));
    about->addSeparator();
    dxAboutWeb = MenuEntry(about, "dxAboutWeb", tr("Lindquay Software Home Page"),
                           tr("Lindquay Software Home Page"));

    connect(actPack, &QAction::triggered, this, [this] { Guard([this] { actPackExecute(); }); });
    connect(dxFileExit, &QAction::triggered, this,
            [this] { Guard([this] { dxFileExitClick(); }); });
    connect(dxAboutAbout, &QAction::triggered, this,
            [this] { Guard([this] { dxAboutAboutClick(); }); });
    connect(dxAboutWeb, &QAction::triggered, this,
            [this] { Guard([this] { dxAboutWebClick(); }); });

    actPack->setIcon(PackIcon());
    dxBarManager1Bar2 = addToolBar(tr("Standard"));
    dxBarManager1Bar2->setObjectName(QStringLiteral("dxBarManager1Bar2"));
    dxBarManager1Bar2->setIconSize(QSize(20, 20));
    dxBarManager1Bar2->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    dxBarManager1Bar2->addAction(actPack);

    DeclareTableListFields(memTabList);
    memTabList.Open();
    dsTabList = new RecordTableModel(memTabList,
                                     {{"TableName", tr("Table Name"), 97},
                                      {"TableType", tr("Type"), 77},
                                      {"TablePath", tr("Path"), 167}},
                                     this);
    dsTabList->setObjectName(QStringLiteral("dsTabList"));

    PTSplitter1 = new QSplitter(Qt::Horizontal, this);
    PTSplitter1->setObjectName(QStringLiteral("PTSplitter1"));
    PTSplitter1->setChildrenCollapsible(false);
    FoldersPane = new QFrame(PTSplitter1);
    FoldersPane->setObjectName(QStringLiteral("FoldersPane"));
    static_cast<QFrame*>(FoldersPane)->setFrameShape(QFrame::StyledPanel);
    auto* left = new QVBoxLayout(FoldersPane);
    left->setContentsMargins(0, 0, 0, 0);
    left->setSpacing(0);
    FoldersHeader = new QLabel(tr(" Folders"), FoldersPane);
    FoldersHeader->setObjectName(QStringLiteral("FoldersHeader"));
    FoldersHeader->setFixedHeight(19);
    FoldersHeader->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    left->addWidget(FoldersHeader);
    // A strip in the window colour between the pane's edge and the tree.
    auto* below = new QHBoxLayout;
    below->setContentsMargins(4, 0, 0, 0);
    below->setSpacing(0);
    PTShellTree1 = new TPTShellTree(FoldersPane);
    below->addWidget(PTShellTree1);
    left->addLayout(below);
    auto* right = new QFrame(PTSplitter1);
    right->setFrameShape(QFrame::StyledPanel);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    dxDBGrid1 = new TableGrid(right);
    dxDBGrid1->setObjectName(QStringLiteral("dxDBGrid1"));
    QFont headerFont(QStringLiteral("MS Sans Serif"));
    headerFont.setPixelSize(11);
    dxDBGrid1->horizontalHeader()->setFont(headerFont);
    dxDBGrid1->SetRecordModel(dsTabList);
    rightLayout->addWidget(dxDBGrid1);
    PTSplitter1->addWidget(FoldersPane);
    PTSplitter1->addWidget(right);
    PTSplitter1->setStretchFactor(1, 1);
    PTSplitter1->setSizes({174, 370});
    setCentralWidget(PTSplitter1);
    connect(PTShellTree1, &TPTShellTree::Change, this,
            [this] { Guard([this] { PTShellTree1Change(PTShellTree1->SelectedPath()); }); });
    connect(dxDBGrid1, &TableGrid::SelectedCountChange, this,
            [this](int count) { Guard([this, count] { dxDBGrid1SelectedCountChange(count); }); });
    connect(dxDBGrid1, &TableGrid::DeleteRequested, this,
            [this] { Guard([this] { dxDBGrid1DeleteRecords(); }); });
    connect(dxDBGrid1, &TableGrid::CopyRequested, this,
            [this] { Guard([this] { dxDBGrid1CopyRecords(); }); });

    StatusBar1 = statusBar();
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    // A menu entry's hint replaces the text while the pointer is on it and clears it when the
    // pointer leaves; the selected count must come back then, not stay lost.
    connect(StatusBar1, &QStatusBar::messageChanged, this, [this](const QString& message) {
        if (message.isEmpty() && !statusText_.isEmpty())
            StatusBar1->showMessage(statusText_);
    });

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    Timer1->setInterval(500);
    connect(Timer1, &QTimer::timeout, this, [this] { Guard([this] { Timer1Timer(); }); });
}

TfrmMain::~TfrmMain() {
    // The grid and its link go before the table they show, which is a member.
    delete PTSplitter1;
    delete dsTabList;
}

void TfrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Only the first show starts the connection; a window restored from the task bar is shown
    // again without one.
    if (!event->spontaneous())
        Guard([this] { FormShow(); });
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    event->accept();
    Guard([] { RequestTermination(); });
}

void TfrmMain::FormShow() {
    Timer1->start();
}

void TfrmMain::Timer1Timer() {
    Timer1->stop();
    // The splash window's own timer may have fired already on a slow start, and then it has
    // nothing left to wait for.
    if (!frmIntro->ConnectionAttempted())
        frmIntro->exec();
}

void TfrmMain::actPackExecute() {
    // The table list and the grid's selection must not change under a run: the tree's refreshes
    // wait until the message window has closed.
    PTShellTree1->DeferRefreshes();
    struct Resume {
        TPTShellTree* tree;
        ~Resume() { tree->EndDeferRefreshes(); }
    } resume{PTShellTree1};
    frmMessage->exec();
}

void TfrmMain::dxFileExitClick() {
    RequestTermination();
}

void TfrmMain::dxAboutAboutClick() {
    frmAbout->exec();
}

void TfrmMain::dxAboutWebClick() {
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kHomePageAddress)));
}

void TfrmMain::PTShellTree1Change(const std::string& path) {
    ListTables(memTabList, path);
}

void TfrmMain::dxDBGrid1SelectedCountChange(int count) {
    actPack->setEnabled(count >= 1);
    statusText_ = QString::number(count) + tr(" Table(s) selected");
    StatusBar1->showMessage(statusText_);
}

void TfrmMain::dxDBGrid1DeleteRecords() {
    const GridSelection& selection = dxDBGrid1->Selection();
    if (!selection.FocusedRow())
        return;
    const QString question =
        selection.Count() <= 1 ? tr("Delete record?") : tr("Delete all selected records?");
    if (ShowMessage(this, tr("Confirm"), question, QMessageBox::Question,
                    QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok)
        return;
    // Only the list changes, never the disk; the count is announced once for all the rows, and
    // the rows go in one step, which keeps tens of thousands of them quick.
    const std::vector<std::size_t> rows = selection.RowsToDelete();
    GridSelection& rules = dxDBGrid1->MutableSelection();
    rules.BeginGesture();
    try {
        memTabList.DeleteRows(rows);
    } catch (...) {
        rules.EndGesture();
        throw;
    }
    rules.EndGesture();
}

void TfrmMain::dxDBGrid1CopyRecords() {
    QGuiApplication::clipboard()->setText(dxDBGrid1->SelectedText());
}

} // namespace vantero
