// Start-up and shutdown with the real windows, offscreen, against an in-process automation object:
// the window set, the deferred connection, the captions, the guard, and each way the program ends.

#include "mapinfo/AutomationError.h"
#include "tests/support/RecordingAutomation.h"
#include "tests/support/Windows.h"
#include "ui/ApplicationSetup.h"
#include "ui/ErrorGuard.h"
#include "ui/Prompts.h"
#include "ui/SplashWindow.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <qpa/qplatformwindow.h>

namespace vantero {
namespace {

using test::part;
using Lines = std::vector<std::string>;

Lines setUpStatements(WId handle) {
    const std::string h = std::to_string(static_cast<unsigned long long>(handle));
    return {"Set Next Document Parent " + h + " Style 1", "Set Application Window " + h,
            "set progressbars off"};
}

// The windows made in order, the splash modal over the maximized main window while the set-up
// statements go; Exit or the close box then ends the program and releases MapInfo once.
TEST(Startup, WindowsAreCreatedInOrderAndTheSplashCoversTheConnection) {
    for (const bool byCloseBox : {false, true}) {
        PromptScript prompts;
        test::RecordingFactory servers;
        test::ProgramRun program(servers);
        std::vector<QString> owned;
        servers.log->onCall = [&](const test::RecordedCall& call) {
            if (call.argument.rfind("Set Next Document", 0) != 0)
                return;
            MainWindow* main = program.window();
            for (QObject* child : main->children())
                if (qobject_cast<QDialog*>(child))
                    owned.push_back(child->objectName());
            EXPECT_TRUE(main->isVisible() && main->windowState().testFlag(Qt::WindowMaximized));
            EXPECT_EQ(QApplication::activeModalWidget(), part(main, "splashWindow"));
            EXPECT_FALSE(part<QAction>(main, "packAction")->isEnabled());
        };
        Lines statements;
        test::Poll poll([&] {
            MainWindow* main = program.window();
            // Connected and waiting for the user: the splash window has done its work and gone.
            if (main == nullptr || QApplication::activeModalWidget() != nullptr ||
                !part<SplashWindow>(main, "splashWindow")->connectionAttempted())
                return false;
            statements = servers.log->arguments();
            EXPECT_EQ(statements, setUpStatements(main->winId()));
            EXPECT_TRUE(main->isEnabled());
            if (byCloseBox)
                main->close();
            else
                part<QAction>(main, "exitAction")->trigger();
            return true;
        });
        EXPECT_EQ(program.run(), 0);
        EXPECT_FALSE(program.timedOut);
        EXPECT_EQ(owned, (std::vector<QString>{"packOptionsDialog", "packWindow", "aboutDialog",
                                               "splashWindow"}));
        EXPECT_FALSE(statements.empty());
        EXPECT_EQ(servers.log->released, 1);
        EXPECT_TRUE(prompts.prompts.empty());
    }
}

// A set-up statement that fails (the link's own tests cover each way to fail): the one message,
// the modal splash loop and the main loop both end, and the object is still released once.
TEST(Startup, FailedConnectionShowsTheMessageAndEndsEveryLoop) {
    PromptScript prompts;
    test::RecordingFactory servers;
    test::ProgramRun program(servers);
    servers.log->onCall = [](const test::RecordedCall& call) {
        if (call.argument == "set progressbars off")
            throw ServerError("Not now", 0x80020009u);
    };
    bool splashWasModal = false;
    prompts.onPrompt = [&](const PromptRecord&) {
        splashWasModal =
            QApplication::activeModalWidget() == part(program.window(), "splashWindow");
    };
    EXPECT_EQ(program.run(), 0);
    EXPECT_FALSE(program.timedOut);
    ASSERT_EQ(prompts.prompts.size(), 1u);
    EXPECT_EQ(prompts.prompts[0].caption, QStringLiteral("Vantero"));
    EXPECT_EQ(prompts.prompts[0].text,
              QStringLiteral("Unable to install an Ole Connection to MapInfo Professional. "
                             "Application shutting down."));
    EXPECT_EQ(prompts.prompts[0].buttons, QMessageBox::Ok);
    EXPECT_TRUE(splashWasModal);
    EXPECT_EQ(servers.log->released, 1);
    EXPECT_EQ(servers.log->calls.size(), 3u);
}

// On a slow start the splash window's timer fires before the main window's: the connection is made
// then, and the splash window is never shown afterwards to wait for nothing.
TEST(Startup, SplashTimerBeforeTheSplashIsShownLeavesNothingWaiting) {
    PromptScript prompts;
    test::RecordingFactory servers;
    AutomationVariant mapInfo;
    {
        MainWindow main(ApplicationServices{mapInfo, servers, [] {}});
        auto* splash = part<SplashWindow>(&main, "splashWindow");
        main.show();
        splash->show();
        QTest::keyClick(splash, Qt::Key_Escape); // only the connection closes it
        EXPECT_TRUE(splash->isVisible());
        splash->connectToMapInfo();
        bool splashShown = false;
        QTimer::singleShot(500, splash, [&] {
            splashShown = splash->isVisible();
            splash->reject();
        });
        QTest::qWait(600);
        EXPECT_FALSE(splashShown || splash->isVisible());
        EXPECT_EQ(servers.log->arguments(), setUpStatements(main.winId()));
        mapInfo.clear();
    }
    EXPECT_EQ(servers.log->released, 1);
}

// Every caption is the window's own as the window system is given it (as every desktop platform of
// Qt's forms it, display name and all), with nothing of the program's added; a message box is
// wide enough for its caption.
TEST(Captions, AreExactlyTheWindowsOwnAndFitTheirBoxes) {
    struct Title : QPlatformWindow {
        using QPlatformWindow::formatWindowTitle;
    };
    const auto platformTitle = [](const QWidget* window) {
        return Title::formatWindowTitle(window->windowTitle(), QStringLiteral(" — "));
    };
    setUpApplication();
    test::ConnectedMainWindow program;
    const std::pair<const char*, const char*> windows[] = {
        {"packWindow", "Messages"}, {"packOptionsDialog", "Options"}, {"aboutDialog", "About"}};
    EXPECT_EQ(platformTitle(&program.window), QStringLiteral("Vantero"));
    for (const auto& [name, caption] : windows)
        EXPECT_EQ(platformTitle(part(&program.window, name)), QString::fromLatin1(caption)) << name;
    // Through the real seam: the box is looked at while it is up, then closed.
    for (const QString& caption : {QStringLiteral("Vantero"), QStringLiteral("Confirm")}) {
        QString shownTitle;
        int width = 0, wanted = 0;
        QTimer::singleShot(0, [&] {
            QWidget* box = QApplication::activeModalWidget();
            ASSERT_NE(box, nullptr);
            shownTitle = platformTitle(box);
            width = box->width();
            wanted = box->fontMetrics().horizontalAdvance(caption) + kTitleBarRoom;
            box->close();
        });
        showMessage(&program.window, caption, QStringLiteral("Log file saved!"));
        EXPECT_EQ(shownTitle, caption);
        EXPECT_GE(width, wanted) << caption.toStdString();
    }
}

// The save dialog keeps its history nowhere: the program writes no settings.
TEST(Settings, TheSaveDialogLeavesNoSettingsBehind) {
    setUpApplication();
    QTimer::singleShot(0, [] {
        if (QWidget* dialog = QApplication::activeModalWidget())
            dialog->close();
    });
    EXPECT_EQ(askSaveFileName(nullptr, QStringLiteral("Save"), QStringLiteral("*.log")), QString());
    const QSettings qtProject(QSettings::UserScope, QStringLiteral("QtProject"));
    EXPECT_FALSE(QFileInfo::exists(qtProject.fileName())) << qtProject.fileName().toStdString();
}

TEST(ErrorGuard, EscapingExceptionIsShownAndTheLoopGoesOn) {
    PromptScript prompts;
    QEventLoop loop;
    QTimer::singleShot(0, [] { guard([] { throw AutomationError("Table roads is read-only"); }); });
    QTimer::singleShot(0, [] { guard([] { throw 42; }); });
    QTimer::singleShot(10, &loop, &QEventLoop::quit);
    loop.exec();
    ASSERT_EQ(prompts.prompts.size(), 2u);
    EXPECT_EQ(prompts.prompts[0].caption, QStringLiteral("Vantero"));
    EXPECT_EQ(prompts.prompts[0].text, QStringLiteral("Table roads is read-only"));
    EXPECT_EQ(prompts.prompts[0].icon, QMessageBox::Critical);
    EXPECT_EQ(prompts.prompts[0].buttons, QMessageBox::Ok);
    EXPECT_EQ(prompts.prompts[1].text, QStringLiteral("Unknown error"));
}

} // namespace
} // namespace vantero
