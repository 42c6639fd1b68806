// Start-up and shutdown with the real windows, offscreen, against an in-process automation object:
// the window set, the deferred connection, the guard, and each way the program ends.

#include "app/Startup.h"
#include "app/ErrorGuard.h"
#include "app/ProcessState.h"
#include "app/Prompts.h"
#include "mapinfo/AutomationError.h"
#include "tests/support/RecordingAutomation.h"
#include "ui/frmAbout_unit.h"
#include "ui/frmIntro_unit.h"
#include "ui/frmMain_Unit.h"
#include "ui/frmMessage_unit.h"
#include "ui/frmOptions_unit.h"

#include <QAction>
#include <QApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

namespace vantero {
namespace {

using test::RecordingFactory;

std::string SetUpStatements(WId handle) {
    const std::string h = std::to_string(static_cast<unsigned long long>(handle));
    return "Set Next Document Parent " + h + " Style 1|Set Application Window " + h +
           "|set progressbars off";
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string joined;
    for (const std::string& line : lines)
        joined += (joined.empty() ? "" : "|") + line;
    return joined;
}

// Calls step every 20 ms while the program runs until it returns true; a run that does not end
// within the limit is ended and reported.
class Probe {
public:
    explicit Probe(std::function<bool()> step) {
        QObject::connect(&timer_, &QTimer::timeout, [this, step] {
            if (step())
                timer_.stop();
        });
        timer_.start(20);
        QObject::connect(&deadline_, &QTimer::timeout, [this] {
            timedOut = true;
            RequestTermination();
        });
        deadline_.setSingleShot(true);
        deadline_.start(20000);
    }
    bool timedOut = false;

private:
    QTimer timer_;
    QTimer deadline_;
};

bool Idle() {
    return frmIntro != nullptr && frmIntro->ConnectionAttempted() && !frmIntro->isVisible() &&
           QApplication::activeModalWidget() == nullptr;
}

TEST(Startup, WindowsAreCreatedInOrderAndTheSplashCoversTheConnection) {
    PromptScript prompts;
    RecordingFactory servers;
    std::vector<QString> owned;
    bool sawShape = false;
    servers.log->onCall = [&](const test::RecordedCall& call) {
        if (call.argument.rfind("Set Next Document", 0) != 0)
            return;
        // The moment of the connection: the main window maximized, the splash modal over it.
        for (QObject* child : frmMain->children())
            if (qobject_cast<QDialog*>(child))
                owned.push_back(child->objectName());
        EXPECT_TRUE(frmMain->isVisible());
        EXPECT_TRUE(frmMain->windowState().testFlag(Qt::WindowMaximized));
        EXPECT_EQ(frmMain->windowTitle(), QStringLiteral("Vantero"));
        EXPECT_EQ(QApplication::activeModalWidget(), frmIntro);
        EXPECT_EQ(frmIntro->size(), QSize(136, 169));
        EXPECT_FALSE(frmMessage->isVisible());
        EXPECT_FALSE(frmOptions->isVisible());
        EXPECT_FALSE(frmAbout->isVisible());
        EXPECT_FALSE(frmMain->actPack->isEnabled());
        sawShape = true;
    };
    std::string statements;
    Probe probe([&] {
        if (!Idle())
            return false;
        statements = Joined(servers.log->Arguments());
        EXPECT_EQ(statements, SetUpStatements(frmMain->winId()));
        EXPECT_TRUE(frmMain->isEnabled());
        frmMain->dxFileExit->trigger();
        return true;
    });

    EXPECT_EQ(RunVantero(servers), 0);
    EXPECT_FALSE(probe.timedOut);
    EXPECT_TRUE(sawShape);
    EXPECT_EQ(owned, (std::vector<QString>{"frmMessage", "frmOptions", "frmAbout", "frmIntro"}));
    EXPECT_FALSE(statements.empty());
    EXPECT_EQ(servers.log->released, 1);
    EXPECT_TRUE(MapInfoApp.IsEmpty());
    EXPECT_EQ(frmMain, nullptr);
    EXPECT_TRUE(prompts.prompts.empty());
}

TEST(Startup, ClosingTheMainWindowEndsTheProgramAndReleasesMapInfoOnce) {
    PromptScript prompts;
    RecordingFactory servers;
    Probe probe([&] {
        if (!Idle())
            return false;
        frmMain->close();
        return true;
    });
    EXPECT_EQ(RunVantero(servers), 0);
    EXPECT_FALSE(probe.timedOut);
    EXPECT_EQ(servers.log->calls.size(), 3u);
    EXPECT_EQ(servers.log->released, 1);
    EXPECT_TRUE(prompts.prompts.empty());
}

// A set-up statement that fails: the one message, the modal splash loop and the main loop both end,
// and the object that was created is still released exactly once.
TEST(Startup, FailedConnectionShowsTheMessageAndEndsEveryLoop) {
    for (const bool creationFails : {false, true}) {
        SCOPED_TRACE(creationFails ? "no server" : "set-up statement refused");
        PromptScript prompts;
        RecordingFactory servers;
        if (creationFails)
            servers.failCreation = [] { throw AutomationError("no such server"); };
        servers.log->onCall = [](const test::RecordedCall& call) {
            if (call.argument == "set progressbars off")
                throw ServerError("Not now", 0x80020009u);
        };
        bool splashWasModal = false;
        prompts.onPrompt = [&](const PromptRecord&) {
            splashWasModal = QApplication::activeModalWidget() == frmIntro;
        };
        Probe probe([] { return false; });

        EXPECT_EQ(RunVantero(servers), 0);
        EXPECT_FALSE(probe.timedOut);
        ASSERT_EQ(prompts.prompts.size(), 1u);
        EXPECT_EQ(prompts.prompts[0].caption, QStringLiteral("Vantero"));
        EXPECT_EQ(prompts.prompts[0].text,
                  QStringLiteral("Unable to install an Ole Connection to MapInfo Professional. "
                                 "Application shutting down."));
        EXPECT_EQ(prompts.prompts[0].buttons, QMessageBox::Ok);
        EXPECT_TRUE(splashWasModal);
        EXPECT_EQ(servers.log->released, creationFails ? 0 : 1);
        EXPECT_EQ(servers.log->calls.size(), creationFails ? 0u : 3u);
    }
}

// On a slow start the splash window's timer fires before the main window's: the connection is made
// then, and the splash window is never shown afterwards to wait for nothing.
TEST(Startup, SplashTimerBeforeTheSplashIsShownLeavesNothingWaiting) {
    PromptScript prompts;
    RecordingFactory servers;
    SetAutomationServers(&servers);
    frmMain = new TfrmMain;
    frmIntro = new TfrmIntro(frmMain);
    EXPECT_TRUE(frmIntro->Timer1->isActive());
    EXPECT_FALSE(frmMain->Timer1->isActive());
    frmMain->show();
    EXPECT_TRUE(frmMain->Timer1->isActive());

    frmIntro->Timer1Timer();
    bool splashShown = false;
    QTimer::singleShot(500, frmIntro, [&] {
        splashShown = frmIntro->isVisible();
        frmIntro->reject();
    });
    frmMain->Timer1Timer();
    EXPECT_FALSE(splashShown);
    EXPECT_FALSE(frmIntro->isVisible());
    EXPECT_EQ(Joined(servers.log->Arguments()), SetUpStatements(frmMain->winId()));

    MapInfoApp.Clear();
    delete frmMain;
    frmMain = nullptr;
    frmIntro = nullptr;
    SetAutomationServers(nullptr);
    EXPECT_EQ(servers.log->released, 1);
}

TEST(ErrorGuard, EscapingExceptionIsShownAndTheLoopGoesOn) {
    PromptScript prompts;
    QEventLoop loop;
    bool after = false;
    QTimer::singleShot(0, [] { Guard([] { throw AutomationError("Table roads is read-only"); }); });
    QTimer::singleShot(0, [] { Guard([] { throw 42; }); });
    QTimer::singleShot(10, [&] {
        after = true;
        loop.quit();
    });
    loop.exec();
    EXPECT_TRUE(after);
    ASSERT_EQ(prompts.prompts.size(), 2u);
    EXPECT_EQ(prompts.prompts[0].caption, QStringLiteral("Vantero"));
    EXPECT_EQ(prompts.prompts[0].text, QStringLiteral("Table roads is read-only"));
    EXPECT_EQ(prompts.prompts[0].icon, QMessageBox::Critical);
    EXPECT_EQ(prompts.prompts[0].buttons, QMessageBox::Ok);
    EXPECT_EQ(prompts.prompts[1].text, QStringLiteral("Unknown error"));
}

TEST(Prompts, OneShotAnswersAndFileNamesAreUsedOnce) {
    PromptScript prompts;
    prompts.NextAnswer(QMessageBox::Cancel);
    EXPECT_EQ(ShowMessage(nullptr, "Confirm", "Delete record?", QMessageBox::Question,
                          QMessageBox::Ok | QMessageBox::Cancel),
              QMessageBox::Cancel);
    EXPECT_EQ(ShowMessage(nullptr, "Confirm", "Delete record?", QMessageBox::Question,
                          QMessageBox::Ok | QMessageBox::Cancel),
              QMessageBox::Ok);
    prompts.NextFileName("/tmp/run.log");
    EXPECT_EQ(AskSaveFileName(nullptr, "Save", "/tmp", "*.log", "log"),
              QStringLiteral("/tmp/run.log"));
    EXPECT_EQ(AskSaveFileName(nullptr, "Save", "/tmp", "*.log", "log"), QString());
    EXPECT_EQ(prompts.prompts.size(), 4u);
    EXPECT_TRUE(prompts.prompts[3].isFileDialog);
}

} // namespace
} // namespace vantero
