// The main window's grid driven by real clicks and keys, offscreen, over a folder of three tables:
// the status text and Pack Tables in step with the selection, removal from the list only, sorting
// by a header, and the clipboard copy.

#include "catalogue/ListTables.h"
#include "tests/support/TempFolder.h"
#include "tests/support/Windows.h"
#include "ui/FolderTree.h"
#include "ui/Prompts.h"
#include "ui/TableGrid.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace vantero {
namespace {

const std::string kNativeTab =
    "!table\n!version 300\n!charset WindowsLatin1\n\nDefinition Table\n"
    "  Type NATIVE Charset \"WindowsLatin1\"\n  Fields 1\n    id Integer ;\n";

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"roads.tab", "parcels.tab", "addresses.tab"})
            test::writeBytes(folder.file(name), kNativeTab);
        window.resize(800, 500);
        grid = test::part<TableGrid>(&window, "tableGrid");
        ASSERT_NE(grid, nullptr);
        window.listTablesOf(folder.path());
        ASSERT_EQ(grid->model()->rowCount(), 3);
        for (int d = 0; d < 3; ++d)
            names.push_back(grid->model()->index(d, 0).data().toString());
    }

    // The centre of the display row's first cell.
    QPoint Row(int d) const { return grid->visualRect(grid->model()->index(d, 0)).center(); }
    void click(int d, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, modifiers, Row(d));
    }
    QString status() const { return window.statusBar()->currentMessage(); }
    bool packEnabled() const { return test::part<QAction>(&window, "packAction")->isEnabled(); }
    std::vector<std::string> listedNames() const {
        const RecordTable& list = window.tableList();
        std::vector<std::string> names;
        for (std::size_t r = 0; r < list.recordCount(); ++r)
            names.push_back(list.valueAt(r, list.requireField(kTableNameField)));
        return names;
    }
    std::vector<std::size_t> selected() const { return grid->selection().selectedRows(); }

    test::TempFolder folder;
    PromptScript prompts;
    test::ConnectedMainWindow program;
    MainWindow& window = program.window;
    TableGrid* grid = nullptr;
    QStringList names;
};

// The grid's gestures (their rules are the selection's own tests) reach the status bar and Pack
// Tables through the count.
TEST_F(MainWindowTest, StatusTextAndPackTablesFollowTheSelection) {
    EXPECT_EQ(status(), QString());
    EXPECT_FALSE(packEnabled());
    click(0);
    QTest::keyClick(grid, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(status(), QStringLiteral("2 Table(s) selected"));
    EXPECT_TRUE(packEnabled());
    click(0, Qt::ControlModifier);
    click(1, Qt::ControlModifier);
    EXPECT_EQ(status(), QStringLiteral("0 Table(s) selected"));
    EXPECT_FALSE(packEnabled());
    click(1);

    // A menu entry's hint shows for a while; the count comes back when the hint goes.
    QStatusTipEvent hint(QStringLiteral("Exit"));
    QApplication::sendEvent(&window, &hint);
    EXPECT_EQ(status(), QStringLiteral("Exit"));
    QStatusTipEvent noHint{QString()};
    QApplication::sendEvent(&window, &noHint);
    EXPECT_EQ(status(), QStringLiteral("1 Table(s) selected"));

    // A new listing empties the selection and says so.
    test::TempFolder empty;
    window.listTablesOf(empty.path());
    EXPECT_EQ(grid->model()->rowCount(), 0);
    EXPECT_EQ(status(), QStringLiteral("0 Table(s) selected"));
    EXPECT_FALSE(packEnabled());
    EXPECT_TRUE(prompts.prompts.empty());
}

TEST_F(MainWindowTest, CtrlDeleteAsksAndRemovesFromTheListOnly) {
    click(0);
    prompts.nextAnswer(QMessageBox::Cancel);
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    ASSERT_EQ(prompts.prompts.size(), 1u);
    EXPECT_EQ(prompts.prompts[0].caption, QStringLiteral("Confirm"));
    EXPECT_EQ(prompts.prompts[0].text, QStringLiteral("Delete record?"));
    EXPECT_EQ(prompts.prompts[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(prompts.prompts[0].defaultButton, QMessageBox::Ok);
    EXPECT_EQ(grid->model()->rowCount(), 3);

    click(1, Qt::ShiftModifier);
    click(2, Qt::ShiftModifier);
    prompts.nextAnswer(QMessageBox::Ok);
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(prompts.prompts.back().text, QStringLiteral("Delete all selected records?"));
    EXPECT_EQ(grid->model()->rowCount(), 0);
    EXPECT_EQ(window.tableList().recordCount(), 0u);
    EXPECT_EQ(status(), QStringLiteral("0 Table(s) selected"));
    EXPECT_EQ(test::folderEntries(folder.path()).size(), 3u);
}

TEST_F(MainWindowTest, HeaderClickSortsTheDisplayOnlyAndCtrlInsertCopiesInListOrder) {
    const std::vector<std::string> listOrder = listedNames();
    QHeaderView* header = grid->horizontalHeader();
    const QPoint nameHeader(header->sectionViewportPosition(0) + 10, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, nameHeader);
    QStringList ascending;
    for (int d = 0; d < 3; ++d)
        ascending << grid->model()->index(d, 0).data().toString();
    EXPECT_EQ(ascending, (QStringList{"addresses.tab", "parcels.tab", "roads.tab"}));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, nameHeader);
    EXPECT_EQ(grid->model()->index(0, 0).data().toString(), QStringLiteral("roads.tab"));
    EXPECT_EQ(listedNames(), listOrder);

    // Bottom-up on screen; the selection and the copy still go in list order.
    click(2);
    click(0, Qt::ShiftModifier);
    EXPECT_EQ(selected(), (std::vector<std::size_t>{0, 1, 2}));
    QTest::keyClick(grid, Qt::Key_Insert, Qt::ControlModifier);
    const QStringList lines = QApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    for (int r = 0; r < 3; ++r) {
        EXPECT_TRUE(lines[r].startsWith(
            QString::fromStdString(listOrder[static_cast<std::size_t>(r)]) + '\t'))
            << lines[r].toStdString();
        EXPECT_EQ(lines[r].count('\t'), 2);
    }
}

TEST_F(MainWindowTest, CtrlDeleteOfScatteredRowsKeepsTheSortTheColumnsAndTheFocus) {
    test::TempFolder many;
    for (const char* name :
         {"h.tab", "c.tab", "f.tab", "a.tab", "g.tab", "b.tab", "e.tab", "d.tab"})
        test::writeBytes(many.file(name), kNativeTab);
    window.listTablesOf(many.path());
    ASSERT_EQ(grid->model()->rowCount(), 8);
    QHeaderView* header = grid->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(0) + 10, header->height() / 2));
    header->resizeSection(0, header->sectionSize(0) + 30);
    const std::vector<int> widths{header->sectionSize(0), header->sectionSize(1),
                                  header->sectionSize(2)};
    // b, d, e and h on screen, the focus ending on h, the last row.
    for (const int d : {1, 3, 4, 7})
        click(d, d == 1 ? Qt::NoModifier : Qt::ControlModifier);
    ASSERT_EQ(status(), QStringLiteral("4 Table(s) selected"));
    QSignalSpy announced(grid, &TableGrid::selectedCountChanged);
    prompts.nextAnswer(QMessageBox::Ok);
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(prompts.prompts.back().text, QStringLiteral("Delete all selected records?"));
    ASSERT_EQ(announced.size(), 1);
    EXPECT_EQ(announced[0][0].toInt(), 0);
    EXPECT_EQ(status(), QStringLiteral("0 Table(s) selected"));

    QStringList shown;
    for (int d = 0; d < grid->model()->rowCount(); ++d)
        shown << grid->model()->index(d, 0).data().toString();
    EXPECT_EQ(shown, (QStringList{"a.tab", "c.tab", "f.tab", "g.tab"}));
    EXPECT_EQ(listedNames().size(), 4u);
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), 0);
    EXPECT_EQ(
        (std::vector<int>{header->sectionSize(0), header->sectionSize(1), header->sectionSize(2)}),
        widths);

    // The focus went to the row above the deleted last one, and the keys go on from there.
    EXPECT_EQ(grid->currentIndex().row(), 3);
    QTest::keyClick(grid, Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(status(), QStringLiteral("2 Table(s) selected"));
    // A header click still sorts the rows that are left.
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(0) + 10, header->height() / 2));
    EXPECT_EQ(grid->model()->index(0, 0).data().toString(), QStringLiteral("g.tab"));
}

// A press, a move and a release on the name header, as the mouse does it.
void headerGesture(QHeaderView* header, QPoint from, int dx) {
    QWidget* area = header->viewport();
    const auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent e(type, at, area->mapToGlobal(at), Qt::LeftButton, buttons, {});
        QApplication::sendEvent(area, &e);
    };
    send(QEvent::MouseButtonPress, from, Qt::LeftButton);
    for (int x = 1; x <= dx; ++x)
        send(QEvent::MouseMove, from + QPoint(x, 0), Qt::LeftButton);
    send(QEvent::MouseButtonRelease, from + QPoint(dx, 0), Qt::NoButton);
}

TEST_F(MainWindowTest, AHeaderSortsUpToFivePixelsOfMovementAndDragsBeyond) {
    QHeaderView* header = grid->horizontalHeader();
    const QPoint nameHeader(header->sectionViewportPosition(0) + 20, header->height() / 2);
    headerGesture(header, nameHeader, 6);
    EXPECT_FALSE(header->isSortIndicatorShown()) << "a six-pixel drag sorted";
    headerGesture(header, nameHeader, 5);
    EXPECT_TRUE(header->isSortIndicatorShown())
        << "a click with five pixels of movement did not sort";
    EXPECT_EQ(grid->model()->index(0, 0).data().toString(), QStringLiteral("addresses.tab"));
    // Dragged well past the next column, the name column moves and nothing is sorted again.
    headerGesture(header, nameHeader, header->sectionSize(0) + header->sectionSize(1));
    EXPECT_NE(header->visualIndex(0), 0);
    EXPECT_EQ(grid->model()->index(0, 0).data().toString(), QStringLiteral("addresses.tab"));
}

TEST_F(MainWindowTest, TheColumnsShareTheGridsWidthWhateverItsSize) {
    QHeaderView* header = grid->horizontalHeader();
    const auto total = [&] {
        return header->sectionSize(0) + header->sectionSize(1) + header->sectionSize(2);
    };
    for (const int width : {700, 1200, 420}) {
        window.resize(width, 500);
        QApplication::processEvents();
        EXPECT_EQ(total(), grid->viewport()->width()) << width;
        // The design's proportions hold: the path column is the widest, the type the narrowest.
        EXPECT_NEAR(double(header->sectionSize(2)) / header->sectionSize(0), 167.0 / 97, 0.05);
        EXPECT_NEAR(double(header->sectionSize(1)) / header->sectionSize(0), 77.0 / 97, 0.05);
    }
    // Widening the name column takes the room from the columns after it, never the grid's edge.
    const int name = header->sectionSize(0);
    const int type = header->sectionSize(1);
    header->resizeSection(0, name + 40);
    EXPECT_EQ(header->sectionSize(0), name + 40);
    EXPECT_LT(header->sectionSize(1), type);
    EXPECT_EQ(total(), grid->viewport()->width());
}

// Started on a folder three levels below the Desktop: the tree shows it selected and in view, the
// list holds its tables, and the keys go on from it as after a click.
TEST(MainWindowStart, OpensOnTheFolderItIsGiven) {
    test::TempFolder home;
    const std::string desktop = home.file("Desktop");
    for (const char* sub : {"", "/a", "/a/b", "/a/b/c", "/a/b/d"})
        std::filesystem::create_directory(desktop + sub);
    test::writeBytes(desktop + "/a/b/c/roads.tab", kNativeTab);
    const QByteArray savedHome = qgetenv("HOME"), savedConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QByteArray::fromStdString(home.path()));
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(home.file(".config")));
    test::ConnectedMainWindow program;
    qputenv("HOME", savedHome);
    qputenv("XDG_CONFIG_HOME", savedConfig);
    MainWindow& window = program.window;
    auto* tree = test::part<FolderTree>(&window, "folderTree");
    EXPECT_EQ(window.tableList().recordCount(), 0u);

    ASSERT_TRUE(window.showFolder(desktop + "/a/b/c"));
    EXPECT_EQ(tree->selectedPath(), desktop + "/a/b/c");
    for (QTreeWidgetItem* up = tree->currentItem()->parent(); up; up = up->parent())
        EXPECT_TRUE(up->isExpanded()) << up->text(0).toStdString();
    EXPECT_TRUE(tree->viewport()->rect().contains(tree->visualItemRect(tree->currentItem())));
    ASSERT_EQ(window.tableList().recordCount(), 1u);
    const RecordTable& list = window.tableList();
    EXPECT_EQ(list.valueAt(0, list.requireField(kTableNameField)), "roads.tab");
    EXPECT_TRUE(tree->hasFocus() || QApplication::focusWidget() == nullptr);

    QTest::keyClick(tree, Qt::Key_Up);
    EXPECT_EQ(tree->selectedPath(), desktop + "/a/b");
    EXPECT_EQ(window.tableList().recordCount(), 0u);
    EXPECT_FALSE(window.showFolder(home.file("elsewhere")));
}

} // namespace
} // namespace vantero
