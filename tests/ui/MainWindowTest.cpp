// The main window and the pack window it opens, driven by real clicks and keys, offscreen, over a
// folder of tables, with an in-process automation object standing in for MapInfo.

#include "catalogue/ListTables.h"
#include "pack/RunLog.h"
#include "tests/support/OnShow.h"
#include "tests/support/TempFolder.h"
#include "tests/support/Windows.h"
#include "ui/FolderTree.h"
#include "ui/LogGrid.h"
#include "ui/PackOptionsDialog.h"
#include "ui/PackWindow.h"
#include "ui/Prompts.h"
#include "ui/RecordTableModel.h"
#include "ui/TableGrid.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <gtest/gtest.h>

#include <filesystem>

namespace vantero {
namespace {

using test::OnShow;
using test::part;
using Lines = std::vector<std::string>;

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
    bool packEnabled() const { return part<QAction>(&window, "packAction")->isEnabled(); }
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
    test::TempFolder folder;
    PromptScript prompts;
    test::ConnectedMainWindow program;
    MainWindow& window = program.window;
    TableGrid* grid = part<TableGrid>(&window, "tableGrid");
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

TEST_F(MainWindowTest, CtrlDeleteAsksAndRemovesFromTheListOnlyKeepingTheSortAndFocus) {
    test::TempFolder many;
    list(many, {"h.tab", "c.tab", "f.tab", "a.tab", "g.tab", "b.tab", "e.tab", "d.tab"});
    clickNameHeader();
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
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(prompts.prompts.back().text, QStringLiteral("Delete all selected records?"));
    EXPECT_EQ(status(), QStringLiteral("0 Table(s) selected"));
    EXPECT_EQ(shownNames(), (QStringList{"a.tab", "c.tab", "f.tab", "g.tab"}));
    EXPECT_EQ(listedNames().size(), 4u);
    EXPECT_EQ(test::folderEntries(many.path()).size(), 8u);
    EXPECT_TRUE(header->isSortIndicatorShown() && header->sortIndicatorSection() == 0);
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
    QTest::keyClick(grid, Qt::Key_Insert, Qt::ControlModifier);
    const QStringList lines = QApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    for (int r = 0; r < 3; ++r) {
        EXPECT_TRUE(lines[r].startsWith(QString::fromStdString(listOrder[r]) + '\t')) << r;
        EXPECT_EQ(lines[r].count('\t'), 2);
    }
}

// A click on a header sorts even with up to 5 pixels of movement; more is a column drag.
TEST_F(MainWindowTest, AHeaderClickSortsWithUpToFivePixelsOfMovement) {
    const QPoint at(header->sectionViewportPosition(0) + 20, header->height() / 2);
    for (const int dx : {6, 5}) {
        QTest::mousePress(header->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseMove(header->viewport(), at + QPoint(dx, 0));
        QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, at + QPoint(dx, 0));
        EXPECT_EQ(header->isSortIndicatorShown(), dx == 5) << dx << " pixels";
    }
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
    auto* tree = part<FolderTree>(&window, "folderTree");
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

// The pack window and the options dialog over the same window, all three tables selected.
class PackWindowTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        click(0);
        click(2, Qt::ShiftModifier);
        ASSERT_EQ(grid->selection().count(), 3u);
        names = listedNames();
        for (const std::string& name : names)
            packs.push_back("Pack Table " + name.substr(0, name.find('.')));
    }
    Lines log() const {
        const RecordTable& runLog = message.runLog();
        Lines lines;
        for (std::size_t r = 0; r < runLog.recordCount(); ++r)
            lines.emplace_back(runLog.stringAt(r, runLog.requireField(kMessageField)));
        return lines;
    }
    QString progress() const { return part<QLabel>(&message, "progressLabel")->text(); }
    QPushButton* button(const char* name) const { return part<QPushButton>(&message, name); }
    QCheckBox* box(const char* name) const { return part<QCheckBox>(&options, name); }
    Lines packStatements() const {
        Lines packs;
        for (const std::string& s : calls->arguments())
            if (s.rfind("Pack Table", 0) == 0)
                packs.push_back(s);
        return packs;
    }
    bool cancelAndSaveEnabled() const {
        EXPECT_EQ(button("cancelButton")->isEnabled(), button("saveLogButton")->isEnabled());
        return button("cancelButton")->isEnabled();
    }
    // A call that starts with this text does this as it is made.
    void onCallTo(const std::string& start, std::function<void()> action) {
        calls->onCall = [start, action](const test::RecordedCall& call) {
            if (call.argument.rfind(start, 0) == 0)
                action();
        };
    }
    // Pack Tables, the options dialog closed with onOptions (OK by default), until the run has
    // ended and the user presses Cancel; onFinished sees the window before that.
    void packAll(std::function<void()> onFinished = {}, std::function<void()> onOptions = {}) {
        OnShow answerOptions(
            &options,
            onOptions ? onOptions : [this] { part<QPushButton>(&options, "okButton")->click(); });
        test::Poll poll([&] {
            if (!message.isVisible() || message.isRunning() || log().empty() ||
                !cancelAndSaveEnabled())
                return false;
            if (onFinished)
                onFinished();
            button("cancelButton")->click();
            return true;
        });
        window.packSelectedTables();
        EXPECT_FALSE(message.isVisible());
    }
    PackWindow& message = *part<PackWindow>(&window, "packWindow");
    PackOptionsDialog& options = *part<PackOptionsDialog>(&window, "packOptionsDialog");
    std::shared_ptr<test::RecordingLog>& calls = program.calls;
    Lines names; // in list order
    Lines packs; // their pack statements' beginnings
};

// The run's states reach the window: the label, both buttons and the cursor, and a Stop click
// served by the drain after the table in hand.
TEST_F(PackWindowTest, TheRunShowsInTheWindowAndStopFinishesTheTableInHand) {
    onCallTo(packs[1], [&] { // called: there are three pack statements below
        EXPECT_FALSE(cancelAndSaveEnabled());
        EXPECT_EQ(progress(), QString::fromStdString(names[1] + " (2 of 3)"));
        ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    });
    packAll([&] {
        EXPECT_EQ(log().back(), "Process Complete.");
        EXPECT_EQ(progress(), QString::fromStdString(names[2] + " (3 of 3)"));
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    });
    EXPECT_EQ(packStatements().size(), 3u);
    EXPECT_EQ(status(), QStringLiteral("3 Table(s) selected"));
    onCallTo(packs[0], [this] {
        QTimer::singleShot(0, &message, [this] { button("stopButton")->click(); });
    });
    packAll([&] {
        EXPECT_EQ(log(), (Lines{"Packed table " + folder.file(names[0]), "Process Stop by user."}));
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    });
    EXPECT_EQ(packStatements().size(), 4u);
}

TEST_F(PackWindowTest, OptionsLastAcrossRunsAndTheCloseBoxGoesOnLikeOk) {
    EXPECT_TRUE(box("graphicCheckBox")->isChecked() && box("dataCheckBox")->isChecked());
    packAll({}, [this] {
        box("graphicCheckBox")->click();
        // Esc is no way out of the dialog: it has no Cancel, and it is still up.
        QTest::keyClick(&options, Qt::Key_Escape);
        EXPECT_TRUE(options.isVisible());
        options.close();
    });
    EXPECT_EQ(packStatements(),
              (Lines{packs[0] + " Data", packs[1] + " Data", packs[2] + " Data"}));
    bool keptOff = false;
    packAll({}, [&] {
        keptOff = !box("graphicCheckBox")->isChecked() && box("dataCheckBox")->isChecked();
        box("dataCheckBox")->click(); // neither box: no clause at all
        part<QPushButton>(&options, "okButton")->click();
    });
    EXPECT_TRUE(keptOff);
    EXPECT_EQ(packStatements().back(), packs[2]);
    EXPECT_FALSE(box("graphicCheckBox")->isChecked() || box("dataCheckBox")->isChecked());
}

TEST_F(PackWindowTest, SaveLogWritesTheLogAsShownAndAsksBeforeReplacing) {
    packAll([this] {
        // A log row removed by the user is missing from the file.
        auto* logGrid = part<QTableView>(&message, "logGrid");
        logGrid->setFocus();
        logGrid->setCurrentIndex(logGrid->model()->index(1, 0));
        QTest::keyClick(logGrid, Qt::Key_Delete, Qt::ControlModifier);
        ASSERT_FALSE(prompts.prompts.empty());
        EXPECT_EQ(prompts.prompts.back().caption, QStringLiteral("Confirm"));
        EXPECT_EQ(prompts.prompts.back().text, QStringLiteral("Delete record?"));
        EXPECT_EQ(prompts.prompts.back().defaultButton, QMessageBox::Ok); // as the list's box
        const std::string path = folder.file("run");
        prompts.nextFileName(QString::fromStdString(path));
        button("saveLogButton")->click();
        const PromptRecord& dialog = prompts.prompts[prompts.prompts.size() - 2];
        EXPECT_EQ(dialog.caption, QStringLiteral("Save Log File As..."));
        EXPECT_EQ(dialog.text, QStringLiteral("*.log"));
        EXPECT_EQ(prompts.prompts.back().text, QStringLiteral("Log file saved!"));
        EXPECT_EQ(prompts.prompts.back().caption, QStringLiteral("Vantero"));
        const std::string expected = "Message\r\nPacked table " + folder.file(names[0]) +
                                     "\r\nPacked table " + folder.file(names[2]) +
                                     "\r\nProcess Complete.\r\n";
        EXPECT_EQ(test::readBytes(path), expected); // the name as typed, no ".log" added
        // An existing file: No keeps it and goes back to the dialog, Yes replaces it.
        for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
            test::writeBytes(path, "keep me");
            const std::size_t before = prompts.prompts.size();
            prompts.nextFileName(QString::fromStdString(path));
            prompts.nextAnswer(answer);
            button("saveLogButton")->click();
            EXPECT_EQ(prompts.prompts[before + 1].buttons, QMessageBox::Yes | QMessageBox::No);
            EXPECT_EQ(prompts.prompts.back().isFileDialog, answer == QMessageBox::No);
            EXPECT_EQ(test::readBytes(path), answer == QMessageBox::No ? "keep me" : expected);
        }
        // A file that cannot be written: the error box instead of the success box.
        prompts.nextFileName(QString::fromStdString(folder.file("missing/run.log")));
        button("saveLogButton")->click();
        EXPECT_EQ(prompts.prompts.back().caption, QStringLiteral("Vantero"));
        EXPECT_EQ(prompts.prompts.back().icon, QMessageBox::Critical);
    });
}

TEST_F(PackWindowTest, ClosingTheWindowBeforeTheRunStartsPacksNothing) {
    OnShow closeAtOnce(&message, [this] { message.close(); });
    OnShow never(&options, [this] { options.close(); }); // a run that started would pack
    window.packSelectedTables();
    EXPECT_FALSE(message.isVisible());
    QTest::qWait(1500); // past the moment the run would have started
    EXPECT_EQ(calls->arguments(), (Lines{"close all"}));
    EXPECT_TRUE(part<QAction>(&window, "packAction")->isEnabled());
}

TEST_F(PackWindowTest, EscapeIsCancelsKeyAndTheCloseBoxWaitsForTheRunToEnd) {
    OnShow escapeWhileWaiting(&message, [this] {
        QTest::keyClick(&message, Qt::Key_Escape); // Cancel is disabled while waiting
        EXPECT_TRUE(message.isVisible());
    });
    onCallTo(packs[0], [this] { QTimer::singleShot(0, &message, [this] { message.close(); }); });
    OnShow okOptions(&options, [this] { part<QPushButton>(&options, "okButton")->click(); });
    window.packSelectedTables();
    EXPECT_EQ(log().back(), "Process Complete.");
    EXPECT_EQ(packStatements().size(), 3u);
    EXPECT_FALSE(message.isVisible());
}

// The log grid keeps its newest row in view as rows come, unless the user has scrolled up to read;
// a row too long for the column shows whole in a tool tip.
TEST(LogGrid, FollowsTheNewestRowUnlessScrolledUpAndShowsLongRowsWhole) {
    RecordTable log;
    declareRunLogFields(log);
    log.open();
    RecordTableModel model(log, {{kMessageField, QString(), 448}});
    LogGrid grid(&model);
    grid.resize(466, 100);
    grid.show();
    const auto newestInView = [&] {
        QApplication::processEvents();
        const QRect last = grid.visualRect(model.index(model.rowCount() - 1, 0));
        return grid.viewport()->rect().contains(last);
    };
    for (int row = 0; row < 30; ++row)
        appendToLog(log, "Packed table /d/t" + std::to_string(row) + ".tab");
    EXPECT_TRUE(newestInView());
    grid.scrollToTop(); // the user reads the first rows
    appendToLog(log, "Process Complete.");
    EXPECT_FALSE(newestInView());
    grid.scrollToBottom();
    appendToLog(log, std::string(300, 'x'));
    EXPECT_TRUE(newestInView());
    const auto tipAt = [&](int row) {
        const QPoint at = grid.visualRect(model.index(row, 0)).center();
        QHelpEvent help(QEvent::ToolTip, at, grid.viewport()->mapToGlobal(at));
        QApplication::sendEvent(grid.viewport(), &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    EXPECT_EQ(tipAt(model.rowCount() - 2), QString()); // it fits: no tip
    EXPECT_EQ(tipAt(model.rowCount() - 1), QString(255, 'x'));
}

} // namespace
} // namespace vantero
