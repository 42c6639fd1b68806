// The pack window and the options dialog as the user meets them, offscreen, with an in-process
// automation object standing in for MapInfo.

#include "ui/PackWindow.h"
#include "catalogue/ListTables.h"
#include "pack/RunLog.h"
#include "tests/support/OnShow.h"
#include "tests/support/TempFolder.h"
#include "tests/support/Windows.h"
#include "ui/LogGrid.h"
#include "ui/PackOptionsDialog.h"
#include "ui/Prompts.h"
#include "ui/RecordTableModel.h"
#include "ui/TableGrid.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <gtest/gtest.h>

namespace vantero {
namespace {

using test::OnShow;
using test::part;
using test::RecordedCall;
using Lines = std::vector<std::string>;

const std::string kNativeTab =
    "!table\n!version 300\n!charset WindowsLatin1\n\nDefinition Table\n"
    "  Type NATIVE Charset \"WindowsLatin1\"\n  Fields 1\n    id Integer ;\n";

class PackWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"roads.tab", "parcels.tab", "wells.tab"})
            test::writeBytes(folder.file(name), kNativeTab);
        main.listTablesOf(folder.path());
        auto* grid = part<TableGrid>(&main, "tableGrid");
        ASSERT_EQ(grid->model()->rowCount(), 3);
        const auto row = [grid](int d) {
            return grid->visualRect(grid->model()->index(d, 0)).center();
        };
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, row(0));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ShiftModifier, row(2));
        ASSERT_EQ(grid->selection().count(), 3u);
        const RecordTable& list = main.tableList(); // in the folder's order
        for (std::size_t r = 0; r < 3; ++r) {
            names.push_back(list.valueAt(r, list.requireField(kTableNameField)));
            packs.push_back("Pack Table " + names.back().substr(0, names.back().find('.')));
        }
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
        calls->onCall = [start, action](const RecordedCall& call) {
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
        main.packSelectedTables();
        EXPECT_FALSE(message.isVisible());
    }

    test::TempFolder folder;
    PromptScript prompts;
    test::ConnectedMainWindow program;
    MainWindow& main = program.window;
    PackWindow& message = *part<PackWindow>(&main, "packWindow");
    PackOptionsDialog& options = *part<PackOptionsDialog>(&main, "packOptionsDialog");
    std::shared_ptr<test::RecordingLog>& calls = program.calls;
    Lines names; // in list order
    Lines packs; // their pack statements' beginnings
};

// The run's states reach the window: the label, both buttons and the cursor, and a Stop click
// served by the drain after the table in hand.
TEST_F(PackWindowTest, TheRunShowsInTheWindowAndStopFinishesTheTableInHand) {
    bool sawPacking = false;
    onCallTo(packs[1], [&] {
        sawPacking = true;
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
    EXPECT_TRUE(sawPacking);
    EXPECT_EQ(packStatements().size(), 3u);
    EXPECT_EQ(main.statusBar()->currentMessage(), QStringLiteral("3 Table(s) selected"));

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
    EXPECT_TRUE(box("graphicCheckBox")->isChecked());
    EXPECT_TRUE(box("dataCheckBox")->isChecked());
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
    bool optionsShown = false;
    OnShow never(&options, [&] {
        optionsShown = true;
        options.close();
    });
    main.packSelectedTables();
    EXPECT_FALSE(message.isVisible());
    QTest::qWait(1500); // past the moment the run would have started
    EXPECT_FALSE(optionsShown);
    EXPECT_EQ(calls->arguments(), (Lines{"close all"}));
    EXPECT_TRUE(part<QAction>(&main, "packAction")->isEnabled());
}

TEST_F(PackWindowTest, EscapeIsCancelsKeyAndTheCloseBoxWaitsForTheRunToEnd) {
    OnShow escapeWhileWaiting(&message, [this] {
        QTest::keyClick(&message, Qt::Key_Escape); // Cancel is disabled while waiting
        EXPECT_TRUE(message.isVisible());
    });
    onCallTo(packs[0], [this] { QTimer::singleShot(0, &message, [this] { message.close(); }); });
    OnShow okOptions(&options, [this] { part<QPushButton>(&options, "okButton")->click(); });
    main.packSelectedTables();
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
    EXPECT_EQ(grid.verticalScrollBar()->value(), 0);
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
