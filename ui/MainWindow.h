#pragma once

// The main window: where the user works, and the owner of every other window. It lists the tables
// of the folder chosen in the tree, keeps Pack Tables and the status bar in step with the grid's
// selection, and opens the pack window.

#include "records/RecordTable.h"
#include "ui/ApplicationServices.h"

#include <QMainWindow>
#include <QString>

#include <string>

class QAction;
class QTimer;

namespace vantero {

class AboutDialog;
class FolderTree;
class PackOptionsDialog;
class PackWindow;
class RecordTableModel;
class SplashWindow;
class TableGrid;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(const ApplicationServices& services, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The tables of the folder on show.
    const RecordTable& tableList() const { return m_tableList; }

public slots:
    // Selects the folder in the tree, expanded into view, and lists its tables, as a click on it
    // would; false when the tree does not hold it.
    bool showFolder(const std::string& folder);
    // Lists the folder's tables, as a selection in the folder tree does.
    void listTablesOf(const std::string& folder);
    // Opens the pack window over the selected tables; returns when it is closed.
    void packSelectedTables();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private slots:
    void showSplash();
    void showSelectedCount(int count);
    void deleteSelectedRows();
    void copySelectedRows();
    void showAbout();
    void openHomePage();

private:
    void createActions();
    void createMenus();
    void createToolBar();
    void createPanes();
    void createStatusBar();
    void createWindows();

    ApplicationServices m_services;
    RecordTable m_tableList;
    RecordTableModel* m_tableModel = nullptr;
    QAction* m_packAction = nullptr;
    QAction* m_exitAction = nullptr;
    QAction* m_aboutAction = nullptr;
    QAction* m_homePageAction = nullptr;
    QWidget* m_panes = nullptr;
    FolderTree* m_folderTree = nullptr;
    TableGrid* m_tableGrid = nullptr;
    QString m_statusText; // the status bar's own text, under the menu hints
    QTimer* m_splashDelay = nullptr;
    PackOptionsDialog* m_packOptionsDialog = nullptr;
    PackWindow* m_packWindow = nullptr;
    AboutDialog* m_aboutDialog = nullptr;
    SplashWindow* m_splashWindow = nullptr;
};

// The maker's home page, opened by the About menu's last entry.
inline constexpr const char* kHomePageAddress = "https://vantero.app/";

} // namespace vantero
