#include "ui/MainWindow.h"

#include "catalogue/ListTables.h"
#include "pack/PackRun.h"
#include "ui/AboutDialog.h"
#include "ui/ErrorGuard.h"
#include "ui/FolderTree.h"
#include "ui/PackOptionsDialog.h"
#include "ui/PackWindow.h"
#include "ui/Prompts.h"
#include "ui/RecordTableModel.h"
#include "ui/SplashWindow.h"
#include "ui/TableGrid.h"
#include "ui/WindowLook.h"

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

namespace {

QAction* makeAction(QObject* parent, const char* objectName, const QString& text,
                    const QString& hint) {
    auto* action = new QAction(text, parent);
    action->setObjectName(QString::fromLatin1(objectName));
    action->setStatusTip(hint);
    action->setToolTip(hint);
    return action;
}

// The toolbar's picture for Pack Tables, drawn rather than stored: a table squeezed by two arrows.
QIcon packIcon() {
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

// The grid's selected rows as the run reads them: in table-list order, taken once, since nothing
// can change them while the pack window is up.
class GridSelectionOfTables : public PackSelection {
public:
    GridSelectionOfTables(TableGrid& grid, const RecordTable& tableList)
        : m_rows(grid.selection().selectedRows()), m_tableList(tableList) {}
    std::size_t selectedCount() const override { return m_rows.size(); }
    Bookmark selectedBookmark(std::size_t index) const override {
        return Bookmark{m_tableList.recIdAt(m_rows.at(index))};
    }

private:
    std::vector<std::size_t> m_rows;
    const RecordTable& m_tableList;
};

} // namespace

MainWindow::MainWindow(const ApplicationServices& services, QWidget* parent)
    : QMainWindow(parent), m_services(services) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QString::fromLatin1(kApplicationTitle));
    // The bounds the window returns to when it is no longer maximized.
    setGeometry(232, 161, 544, 375);
    applyWindowFont(this);

    createActions();
    createMenus();
    createToolBar();
    createPanes();
    createStatusBar();

    m_splashDelay = new QTimer(this);
    m_splashDelay->setObjectName(QStringLiteral("splashDelay"));
    m_splashDelay->setSingleShot(true);
    m_splashDelay->setInterval(500);
    connect(m_splashDelay, &QTimer::timeout, this, [this] { guard([this] { showSplash(); }); });

    createWindows();
}

MainWindow::~MainWindow() {
    // The grid and its model go before the table they show, which is a member.
    delete m_panes;
    delete m_tableModel;
}

void MainWindow::createActions() {
    m_packAction = makeAction(this, "packAction", tr("&Pack Tables"), tr("Pack Tables"));
    m_packAction->setEnabled(false);
    m_packAction->setIcon(packIcon());
    m_exitAction = makeAction(this, "exitAction", tr("Exit"), tr("Exit"));
    m_aboutAction = makeAction(this, "aboutAction", tr("About Vantero"), tr("About Vantero"));
    m_homePageAction = makeAction(this, "homePageAction", tr("Lindquay Software Home Page"),
                                  tr("Lindquay Software Home Page"));
    connect(m_packAction, &QAction::triggered, this,
            [this] { guard([this] { packSelectedTables(); }); });
    connect(m_exitAction, &QAction::triggered, this,
            [this] { guard([this] { m_services.requestTermination(); }); });
    connect(m_aboutAction, &QAction::triggered, this, [this] { guard([this] { showAbout(); }); });
    connect(m_homePageAction, &QAction::triggered, this,
            [this] { guard([this] { openHomePage(); }); });
}

void MainWindow::createMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->setObjectName(QStringLiteral("fileMenu"));
    file->addAction(m_packAction);
    file->addSeparator();
    file->addAction(m_exitAction);
    QMenu* about = menuBar()->addMenu(tr("&About"));
    about->setObjectName(QStringLiteral("aboutMenu"));
    about->addAction(m_aboutAction);
    about->addSeparator();
    about->addAction(m_homePageAction);
}

void MainWindow::createToolBar() {
    QToolBar* standard = addToolBar(tr("Standard"));
    standard->setObjectName(QStringLiteral("standardToolBar"));
    standard->setIconSize(QSize(20, 20));
    standard->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    standard->addAction(m_packAction);
}

void MainWindow::createPanes() {
    declareTableListFields(m_tableList);
    m_tableList.open();
    m_tableModel = new RecordTableModel(m_tableList,
                                        {{kTableNameField, tr("Table Name"), 97},
                                         {kTableTypeField, tr("Type"), 77},
                                         {kTablePathField, tr("Path"), 167}},
                                        this);
    m_tableModel->setObjectName(QStringLiteral("tableModel"));

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(QStringLiteral("panes"));
    splitter->setChildrenCollapsible(false);
    m_panes = splitter;

    auto* foldersPane = new QFrame(splitter);
    foldersPane->setObjectName(QStringLiteral("foldersPane"));
    foldersPane->setFrameShape(QFrame::StyledPanel);
    auto* left = new QVBoxLayout(foldersPane);
    left->setContentsMargins(0, 0, 0, 0);
    left->setSpacing(0);
    auto* header = new QLabel(tr(" Folders"), foldersPane);
    header->setObjectName(QStringLiteral("foldersHeader"));
    header->setFixedHeight(19);
    header->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    left->addWidget(header);
    // A strip in the window colour between the pane's edge and the tree.
    auto* below = new QHBoxLayout;
    below->setContentsMargins(4, 0, 0, 0);
    below->setSpacing(0);
    m_folderTree = new FolderTree(foldersPane);
    below->addWidget(m_folderTree);
    left->addLayout(below);

    auto* tablesPane = new QFrame(splitter);
    tablesPane->setObjectName(QStringLiteral("tablesPane"));
    tablesPane->setFrameShape(QFrame::StyledPanel);
    auto* right = new QVBoxLayout(tablesPane);
    right->setContentsMargins(0, 0, 0, 0);
    m_tableGrid = new TableGrid(tablesPane);
    m_tableGrid->setObjectName(QStringLiteral("tableGrid"));
    QFont headerFont(QStringLiteral("MS Sans Serif"));
    headerFont.setPixelSize(11);
    m_tableGrid->horizontalHeader()->setFont(headerFont);
    m_tableGrid->setRecordModel(m_tableModel);
    right->addWidget(m_tableGrid);

    splitter->addWidget(foldersPane);
    splitter->addWidget(tablesPane);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({174, 370});
    setCentralWidget(splitter);

    connect(m_folderTree, &FolderTree::selectedFolderChanged, this,
            [this] { guard([this] { listTablesOf(m_folderTree->selectedPath()); }); });
    connect(m_tableGrid, &TableGrid::selectedCountChanged, this,
            [this](int count) { guard([this, count] { showSelectedCount(count); }); });
    connect(m_tableGrid, &TableGrid::deleteRequested, this,
            [this] { guard([this] { deleteSelectedRows(); }); });
    connect(m_tableGrid, &TableGrid::copyRequested, this,
            [this] { guard([this] { copySelectedRows(); }); });
}

void MainWindow::createStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("statusBar"));
    // A menu entry's hint replaces the text while the pointer is on it and clears it when the
    // pointer leaves; the selected count must come back then, not stay lost.
    connect(bar, &QStatusBar::messageChanged, this, [this, bar](const QString& message) {
        if (message.isEmpty() && !m_statusText.isEmpty())
            bar->showMessage(m_statusText);
    });
}

void MainWindow::createWindows() {
    // Made once each, now, none of them shown. The options dialog comes before the pack window,
    // which is given it.
    m_packOptionsDialog = new PackOptionsDialog(this);
    m_packWindow = new PackWindow(m_services.mapInfo, *m_packOptionsDialog, this);
    m_aboutDialog = new AboutDialog(this);
    m_splashWindow = new SplashWindow(m_services, winId(), this);
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Only the first show starts the connection; a window restored from the task bar is shown
    // again without one.
    if (!event->spontaneous())
        m_splashDelay->start();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    guard([this] { m_services.requestTermination(); });
}

void MainWindow::showSplash() {
    m_splashDelay->stop();
    // The splash window's own timer may have fired already on a slow start, and then it has
    // nothing left to wait for.
    if (!m_splashWindow->connectionAttempted())
        m_splashWindow->exec();
}

void MainWindow::packSelectedTables() {
    // The table list and the grid's selection must not change under a run: the tree's refreshes
    // wait until the pack window has closed.
    m_folderTree->deferRefreshes();
    struct Resume {
        FolderTree* tree;
        ~Resume() { tree->endDeferRefreshes(); }
    } resume{m_folderTree};
    const GridSelectionOfTables selection(*m_tableGrid, m_tableList);
    m_packWindow->packTables(selection, m_tableList);
}

void MainWindow::showAbout() {
    m_aboutDialog->exec();
}

void MainWindow::openHomePage() {
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kHomePageAddress)));
}

bool MainWindow::showFolder(const std::string& folder) {
    return m_folderTree->selectFolder(folder);
}

void MainWindow::listTablesOf(const std::string& folder) {
    listTables(m_tableList, folder);
}

void MainWindow::showSelectedCount(int count) {
    m_packAction->setEnabled(count >= 1);
    m_statusText = QString::number(count) + tr(" Table(s) selected");
    statusBar()->showMessage(m_statusText);
}

void MainWindow::deleteSelectedRows() {
    const GridSelection& selection = m_tableGrid->selection();
    if (!selection.focusedRow())
        return;
    const QString question =
        selection.count() <= 1 ? tr("Delete record?") : tr("Delete all selected records?");
    if (showMessage(this, tr("Confirm"), question, QMessageBox::Question,
                    QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok) != QMessageBox::Ok)
        return;
    // Only the list changes, never the disk; the count is announced once for all the rows, and
    // the rows go in one step, which keeps tens of thousands of them quick.
    const std::vector<std::size_t> rows = selection.rowsToDelete();
    GridSelection& rules = m_tableGrid->mutableSelection();
    rules.beginGesture();
    try {
        m_tableList.deleteRows(rows);
    } catch (...) {
        rules.endGesture();
        throw;
    }
    rules.endGesture();
}

void MainWindow::copySelectedRows() {
    QGuiApplication::clipboard()->setText(m_tableGrid->selectedText());
}

} // namespace vantero
