// The main window's grid driven by real clicks and keys, offscreen, over a folder of tables.

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

#include <filesystem>

namespace vantero {
namespace {

const std::string kNativeTab =
    "!table\n!version 300\n!charset WindowsLatin1\n\nDefinition Table\n"
    "  Type NATIVE Charset \"WindowsLatin1\"\n  Fields 1\n    id Integer ;\n";

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.resize(800, 500);
        list(folder, {"roads.tab", "parcels.tab", "addresses.tab"});
    }

    void list(const test::TempFolder& where, std::initializer_list<const char*> tables) {
        for (const char* name : tables)
            test::writeBytes(where.file(name), kNativeTab);
        window.listTablesOf(where.path());
        ASSERT_EQ(grid->model()->rowCount(), static_cast<int>(tables.size()));
    }
    void click(int d, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, modifiers,
                          grid->visualRect(grid->model()->index(d, 0)).center());
    }
    void clickNameHeader() {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(0) + 10, header->height() / 2));
    }
    QString status() const { return window.statusBar()->currentMessage(); }
    bool packEnabled() const { return test::part<QAction>(&window, "packAction")->isEnabled(); }
    QStringList shownNames() const {
        QStringList names;
        for (int d = 0; d < grid->model()->rowCount(); ++d)
            names << grid->model()->index(d, 0).data().toString();
        return names;
    }
    std::vector<std::string> listedNames() const {
        const RecordTable& list = window.tableList();
        std::vector<std::string> names;
        for (std::size_t r = 0; r < list.recordCount(); ++r)
            names.push_back(list.valueAt(r, list.requireField(kTableNameField)));
        return names;
    }
    std::vector<int> widths() const {
        return {header->sectionSize(0), header->sectionSize(1), header->sectionSize(2)};
    }

    test::TempFolder folder;
    PromptScript prompts;
    test::ConnectedMainWindow program;
    MainWindow& window = program.window;
    TableGrid* grid = test::part<TableGrid>(&window, "tableGrid");
    QHeaderView* header = grid->horizontalHeader();
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

TEST_F(MainWindowTest, CtrlDeleteAsksAndRemovesFromTheListOnlyKeepingTheSortColumnsAndFocus) {
    test::TempFolder many;
    list(many, {"h.tab", "c.tab", "f.tab", "a.tab", "g.tab", "b.tab", "e.tab", "d.tab"});
    clickNameHeader();
    header->resizeSection(0, header->sectionSize(0) + 30);
    const std::vector<int> widthsBefore = widths();
    click(1);
    prompts.nextAnswer(QMessageBox::Cancel);
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    ASSERT_EQ(prompts.prompts.size(), 1u);
    EXPECT_EQ(prompts.prompts[0].caption, QStringLiteral("Confirm"));
    EXPECT_EQ(prompts.prompts[0].text, QStringLiteral("Delete record?"));
    EXPECT_EQ(prompts.prompts[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(prompts.prompts[0].defaultButton, QMessageBox::Ok);
    EXPECT_EQ(grid->model()->rowCount(), 8);

    // b, d, e and h on screen, the focus ending on h, the last row.
    for (const int d : {3, 4, 7})
        click(d, Qt::ControlModifier);
    ASSERT_EQ(status(), QStringLiteral("4 Table(s) selected"));
    QSignalSpy announced(grid, &TableGrid::selectedCountChanged);
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(prompts.prompts.back().text, QStringLiteral("Delete all selected records?"));
    ASSERT_EQ(announced.size(), 1);
    EXPECT_EQ(announced[0][0].toInt(), 0);
    EXPECT_EQ(status(), QStringLiteral("0 Table(s) selected"));
    EXPECT_EQ(shownNames(), (QStringList{"a.tab", "c.tab", "f.tab", "g.tab"}));
    EXPECT_EQ(listedNames().size(), 4u);
    EXPECT_EQ(test::folderEntries(many.path()).size(), 8u);
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), 0);
    EXPECT_EQ(widths(), widthsBefore);

    // The focus went to the row above the deleted last one, and the keys go on from there.
    EXPECT_EQ(grid->currentIndex().row(), 3);
    QTest::keyClick(grid, Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(status(), QStringLiteral("2 Table(s) selected"));
    clickNameHeader(); // still sorts the rows that are left
    EXPECT_EQ(shownNames().front(), QStringLiteral("g.tab"));
}

TEST_F(MainWindowTest, HeaderClickSortsTheDisplayOnlyAndCtrlInsertCopiesInListOrder) {
    const std::vector<std::string> listOrder = listedNames();
    clickNameHeader();
    EXPECT_EQ(shownNames(), (QStringList{"addresses.tab", "parcels.tab", "roads.tab"}));
    clickNameHeader();
    EXPECT_EQ(shownNames().front(), QStringLiteral("roads.tab"));
    EXPECT_EQ(listedNames(), listOrder);

    // Bottom-up on screen; the selection and the copy still go in list order.
    click(2);
    click(0, Qt::ShiftModifier);
    EXPECT_EQ(grid->selection().selectedRows(), (std::vector<std::size_t>{0, 1, 2}));
    QTest::keyClick(grid, Qt::Key_Insert, Qt::ControlModifier);
    const QStringList lines = QApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    for (int r = 0; r < 3; ++r) {
        EXPECT_TRUE(lines[r].startsWith(QString::fromStdString(listOrder[r]) + '\t')) << r;
        EXPECT_EQ(lines[r].count('\t'), 2);
    }
}

// A click on a header sorts even with up to 5 pixels of movement; the columns fill the grid's
// width, and widening one takes the room from the columns after it.
TEST_F(MainWindowTest, HeaderClicksAllowFivePixelsAndTheColumnsFillTheGrid) {
    const QPoint at(header->sectionViewportPosition(0) + 20, header->height() / 2);
    for (const int dx : {6, 5}) {
        QTest::mousePress(header->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseMove(header->viewport(), at + QPoint(dx, 0));
        QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, at + QPoint(dx, 0));
        EXPECT_EQ(header->isSortIndicatorShown(), dx == 5) << dx << " pixels";
    }
    const auto total = [&] { return widths()[0] + widths()[1] + widths()[2]; };
    for (const int width : {1200, 420}) {
        window.resize(width, 500);
        QApplication::processEvents();
        EXPECT_EQ(total(), grid->viewport()->width()) << width;
    }
    const std::vector<int> before = widths();
    header->resizeSection(0, before[0] + 40);
    EXPECT_EQ(widths()[0], before[0] + 40);
    EXPECT_LT(widths()[1], before[1]);
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
    const RecordTable& list = window.tableList();
    ASSERT_EQ(list.recordCount(), 1u);
    EXPECT_EQ(list.valueAt(0, list.requireField(kTableNameField)), "roads.tab");
    EXPECT_TRUE(tree->hasFocus() || QApplication::focusWidget() == nullptr);

    QTest::keyClick(tree, Qt::Key_Up);
    EXPECT_EQ(tree->selectedPath(), desktop + "/a/b");
    EXPECT_EQ(window.tableList().recordCount(), 0u);
    EXPECT_FALSE(window.showFolder(home.file("elsewhere")));
}

} // namespace
} // namespace vantero
