// The message window and the options dialog as the user meets them, offscreen, with an in-process
// automation object standing in for MapInfo: the buttons through a run, the options lasting from
// run to run, Save Log and its question, a removed log row, and the close box before the run.

#include "app/ProcessState.h"
#include "app/Prompts.h"
#include "mapinfo/AutomationError.h"
#include "tests/support/OnShow.h"
#include "tests/support/RecordingAutomation.h"
#include "tests/support/TempFolder.h"
#include "ui/TableGrid.h"
#include "ui/frmMain_Unit.h"
#include "ui/frmMessage_unit.h"
#include "ui/frmOptions_unit.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace vantero {
namespace {

using test::OnShow;
using test::RecordedCall;
using test::RecordingAutomation;
using test::RecordingLog;
using Lines = std::vector<std::string>;

const std::string kNativeTab =
    "!table\n!version 300\n!charset WindowsLatin1\n\nDefinition Table\n"
    "  Type NATIVE Charset \"WindowsLatin1\"\n  Fields 1\n    id Integer ;\n";

class PackWindow : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"roads.tab", "parcels.tab", "wells.tab"})
            test::WriteBytes(folder.file(name), kNativeTab);
        frmMain = &main;
        frmMessage = &message;
        frmOptions = &options;
        MapInfoApp.Assign(std::make_unique<RecordingAutomation>(calls, nullptr));
        main.show();
        main.Timer1->stop(); // no splash window and no connection here: MapInfo is in place

        main.PTShellTree1Change(folder.path());
        grid = main.dxDBGrid1;
        ASSERT_EQ(grid->model()->rowCount(), 3);
        const auto row = [this](int d) {
            return grid->visualRect(grid->model()->index(d, 0)).center();
        };
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, row(0));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ShiftModifier, row(2));
        ASSERT_EQ(grid->Selection().Count(), 3u);
        // The list keeps the order the folder gave the files in.
        const std::size_t nameField = main.memTabList.RequireField("TableName");
        for (std::size_t r = 0; r < 3; ++r) {
            names.push_back(main.memTabList.ValueAt(r, nameField));
            packs.push_back("Pack Table " + names.back().substr(0, names.back().find('.')));
        }
    }
    void TearDown() override {
        MapInfoApp.Clear();
        frmMain = nullptr;
        frmMessage = nullptr;
        frmOptions = nullptr;
    }

    Lines Log() const {
        Lines lines;
        const std::size_t field = message.memResult.RequireField("Message");
        for (std::size_t r = 0; r < message.memResult.RecordCount(); ++r)
            lines.emplace_back(message.memResult.StringAt(r, field));
        return lines;
    }
    Lines PackStatements() const {
        Lines packs;
        for (const std::string& s : calls->Arguments())
            if (s.rfind("Pack Table", 0) == 0)
                packs.push_back(s);
        return packs;
    }
    bool CancelAndSaveEnabled() const {
        EXPECT_EQ(message.btCancel->isEnabled(), message.btSave->isEnabled());
        return message.btCancel->isEnabled();
    }
    // Pack Tables, with the options dialog closed by OK, until the run has ended and the user
    // presses Cancel; onFinished sees the window before that.
    void PackAll(std::function<void()> onFinished = {}) {
        OnShow okOptions(&options, [this] { options.Button1->click(); });
        QTimer poll;
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, &message, [&] {
            if (message.isVisible() && !message.Running() && !Log().empty() &&
                CancelAndSaveEnabled()) {
                poll.stop();
                if (onFinished)
                    onFinished();
                message.btCancel->click();
            }
        });
        poll.start();
        main.actPack->trigger();
        EXPECT_FALSE(message.isVisible());
    }

    test::TempFolder folder;
    std::shared_ptr<RecordingLog> calls = std::make_shared<RecordingLog>();
    PromptScript prompts;
    TfrmMain main;
    TfrmMessage message{&main};
    TfrmOptions options{&main};
    TableGrid* grid = nullptr;
    Lines names; // in list order
    Lines packs; // their pack statements' beginnings
};

TEST_F(PackWindow, TheButtonsFollowTheRunFromWaitingToFinishedAndStopped) {
    bool sawWaiting = false, sawPreparing = false, sawPacking = false;
    OnShow waiting(&message, [&] {
        sawWaiting = true;
        EXPECT_FALSE(CancelAndSaveEnabled());
        EXPECT_TRUE(message.btStop->isEnabled());
        EXPECT_TRUE(message.Timer1->isActive());
        EXPECT_EQ(message.lblcurrenttab->text(), QString());
        EXPECT_TRUE(Log().empty());
    });
    OnShow preparing(&options, [&] {
        sawPreparing = true;
        EXPECT_EQ(message.lblcurrenttab->text(),
                  QStringLiteral("Preparing to batch the selected table(s)..."));
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    });
    calls->onCall = [&](const RecordedCall& call) {
        if (call.argument.rfind(packs[1], 0) != 0)
            return;
        sawPacking = true;
        EXPECT_FALSE(CancelAndSaveEnabled());
        EXPECT_EQ(message.lblcurrenttab->text(), QString::fromStdString(names[1] + " (2 of 3)"));
        ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    };
    PackAll([&] {
        EXPECT_EQ(Log().back(), "Process Complete.");
        EXPECT_EQ(message.lblcurrenttab->text(), QString::fromStdString(names[2] + " (3 of 3)"));
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    });
    EXPECT_TRUE(sawWaiting && sawPreparing && sawPacking);
    EXPECT_EQ(PackStatements().size(), 3u);
    EXPECT_EQ(Log().size(), 4u);
    EXPECT_EQ(main.StatusBar1->currentMessage(), QStringLiteral("3 Table(s) selected"));

    // Stop pressed while the last table is in hand changes nothing: the run is complete.
    calls->onCall = [&](const RecordedCall& call) {
        if (call.argument.rfind(packs[2], 0) == 0)
            message.btStop->click();
    };
    PackAll([&] { EXPECT_EQ(Log().back(), "Process Complete."); });
    EXPECT_EQ(PackStatements().size(), 6u);

    // Stop pressed while the first table is in hand: that table is finished, then the run stops.
    // The click is queued during the call and served by the drain before the second table.
    calls->onCall = [&](const RecordedCall& call) {
        if (call.argument.rfind(packs[0], 0) == 0)
            QTimer::singleShot(0, message.btStop, [this] { message.btStop->click(); });
    };
    PackAll([&] {
        EXPECT_EQ(Log(), (Lines{"Packed table " + folder.path() + "/" + names[0],
                                "Process Stop by user."}));
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    });
    EXPECT_EQ(PackStatements().size(), 7u);
}

TEST_F(PackWindow, OptionsLastAcrossRunsAndTheCloseBoxGoesOnLikeOk) {
    EXPECT_TRUE(options.CheckBox1->isChecked());
    EXPECT_TRUE(options.CheckBox2->isChecked());
    {
        OnShow untickAndClose(&options, [this] {
            options.CheckBox1->click();
            options.close();
        });
        // OK from PackAll also fires, but the dialog has closed by then: a second run would
        // show it again.
        QTimer poll;
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, &message, [&] {
            if (!message.Running() && Log().size() == 4) {
                poll.stop();
                message.btCancel->click();
            }
        });
        poll.start();
        main.actPack->trigger();
    }
    EXPECT_EQ(PackStatements(),
              (Lines{packs[0] + " Data", packs[1] + " Data", packs[2] + " Data"}));
    bool keptOff = false;
    OnShow check(&options, [&] {
        keptOff = !options.CheckBox1->isChecked() && options.CheckBox2->isChecked();
        options.CheckBox2->click(); // neither box: no clause at all
    });
    PackAll();
    EXPECT_TRUE(keptOff);
    EXPECT_EQ(PackStatements().back(), packs[2]);
    EXPECT_FALSE(options.CheckBox1->isChecked());
    EXPECT_FALSE(options.CheckBox2->isChecked());
}

TEST_F(PackWindow, SaveLogWritesTheLogAsShownAndAsksBeforeReplacing) {
    PackAll([this] {
        // A log row removed by the user is missing from the file.
        message.dxDBGrid1->setFocus();
        message.dxDBGrid1->setCurrentIndex(message.dxDBGrid1->model()->index(1, 0));
        prompts.NextAnswer(QMessageBox::Ok);
        QTest::keyClick(message.dxDBGrid1, Qt::Key_Delete, Qt::ControlModifier);
        ASSERT_FALSE(prompts.prompts.empty());
        ASSERT_EQ(prompts.prompts.back().caption, QStringLiteral("Confirm"));
        ASSERT_EQ(prompts.prompts.back().text, QStringLiteral("Delete record?"));

        const std::string path = folder.file("run");
        prompts.NextFileName(QString::fromStdString(path));
        message.btSave->click();
        EXPECT_EQ(prompts.prompts[prompts.prompts.size() - 2].caption,
                  QStringLiteral("Save Log File As..."));
        EXPECT_EQ(prompts.prompts[prompts.prompts.size() - 2].text, QStringLiteral("*.log"));
        EXPECT_EQ(prompts.prompts.back().text, QStringLiteral("Log file saved!"));
        EXPECT_EQ(prompts.prompts.back().caption, QStringLiteral("Vantero"));
        const std::string dir = folder.path();
        const std::string expected = "Message\r\nPacked table " + dir + "/" + names[0] +
                                     "\r\nPacked table " + dir + "/" + names[2] +
                                     "\r\nProcess Complete.\r\n";
        EXPECT_EQ(test::ReadBytes(path), expected); // the name as typed, no ".log" added

        // An existing file: No keeps it and goes back to the dialog, which is then cancelled.
        test::WriteBytes(path, "keep me");
        std::size_t before = prompts.prompts.size();
        prompts.NextFileName(QString::fromStdString(path));
        prompts.onPrompt = [this](const PromptRecord& p) {
            if (p.caption == QStringLiteral("Confirm Save As"))
                prompts.NextAnswer(QMessageBox::No);
        };
        message.btSave->click();
        prompts.onPrompt = nullptr;
        ASSERT_EQ(prompts.prompts.size(), before + 3);
        EXPECT_EQ(prompts.prompts[before + 1].buttons, QMessageBox::Yes | QMessageBox::No);
        EXPECT_TRUE(prompts.prompts[before + 2].isFileDialog);
        EXPECT_EQ(test::ReadBytes(path), "keep me");

        // Yes replaces it.
        prompts.NextFileName(QString::fromStdString(path));
        prompts.onPrompt = [this](const PromptRecord& p) {
            if (p.caption == QStringLiteral("Confirm Save As"))
                prompts.NextAnswer(QMessageBox::Yes);
        };
        message.btSave->click();
        prompts.onPrompt = nullptr;
        EXPECT_EQ(test::ReadBytes(path), expected);
        EXPECT_EQ(prompts.prompts.back().text, QStringLiteral("Log file saved!"));

        // A file that cannot be written: the error box, no success box, nothing half-written.
        before = prompts.prompts.size();
        prompts.NextFileName(QString::fromStdString(folder.file("missing/run.log")));
        message.btSave->click();
        ASSERT_EQ(prompts.prompts.size(), before + 2);
        EXPECT_NE(prompts.prompts.back().text, QStringLiteral("Log file saved!"));
        EXPECT_EQ(prompts.prompts.back().caption, QStringLiteral("Vantero"));
        EXPECT_EQ(Log().size(), 3u);
    });
}

TEST_F(PackWindow, ClosingTheWindowBeforeTheRunStartsPacksNothing) {
    OnShow closeAtOnce(&message, [this] { message.close(); });
    bool optionsShown = false;
    OnShow never(&options, [&] {
        optionsShown = true;
        options.close();
    });
    main.actPack->trigger();
    EXPECT_FALSE(message.isVisible());
    QTest::qWait(1500); // past the moment the run would have started
    EXPECT_FALSE(optionsShown);
    EXPECT_TRUE(PackStatements().empty());
    EXPECT_EQ(calls->Arguments(), (Lines{"close all"}));
    EXPECT_TRUE(main.actPack->isEnabled());
}

TEST_F(PackWindow, EscapeIsCancelsKeyAndTheCloseBoxWaitsForTheRunToEnd) {
    OnShow escapeWhileWaiting(&message, [this] {
        // Cancel is disabled while waiting, so Esc does nothing then.
        QTest::keyClick(&message, Qt::Key_Escape);
        EXPECT_TRUE(message.isVisible());
    });
    calls->onCall = [this](const RecordedCall& call) {
        if (call.argument.rfind(packs[0], 0) == 0)
            QTimer::singleShot(0, &message, [this] { message.close(); }); // the close box
    };
    OnShow okOptions(&options, [this] { options.Button1->click(); });
    main.actPack->trigger();
    // The close box during the run closed the window only once the run had ended.
    EXPECT_EQ(Log().back(), "Process Complete.");
    EXPECT_EQ(PackStatements().size(), 3u);
    EXPECT_FALSE(message.isVisible());
}

TEST_F(PackWindow, ADeadServerShowsTheErrorBoxAndLeavesTheWindowUsable) {
    calls->onCall = [this](const RecordedCall& call) {
        if (call.argument.rfind(packs[1], 0) == 0)
            throw AutomationError("org.freedesktop.DBus.Error.NoReply: the server went away");
    };
    PackAll([this] {
        EXPECT_EQ(Log().size(), 1u); // the first table only, no end message
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        ASSERT_FALSE(prompts.prompts.empty());
        EXPECT_EQ(prompts.prompts.back().text,
                  QStringLiteral("org.freedesktop.DBus.Error.NoReply: the server went away"));
    });
}

} // namespace
} // namespace vantero
