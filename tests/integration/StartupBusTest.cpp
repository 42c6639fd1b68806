// The whole start-up and shutdown against the session-bus client, on a private bus: with no
// server at all, and with the scripted fake server.

#include "app/ProcessState.h"
#include "app/Prompts.h"
#include "app/Startup.h"
#include "mapinfo/MapInfoLink.h"
#include "mapinfo/dbus/DBusAutomation.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/RecordingAutomation.h"
#include "ui/frmIntro_unit.h"
#include "ui/frmMain_Unit.h"

#include <QAction>
#include <QApplication>
#include <QTimer>
#include <gtest/gtest.h>

namespace vantero {
namespace {

using test::BusService;
using test::FakeServerFolder;
using test::PrivateBus;

// The program's run on its own connection to the private bus, ended after 20 s if it hangs.
struct BusRun {
    explicit BusRun(const PrivateBus& bus)
        : connection(bus.Connect("startup-test")), client(connection) {
        servers.forwardTo = &client;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, [this] {
            timedOut = true;
            RequestTermination();
        });
    }
    ~BusRun() { QDBusConnection::disconnectFromBus(connection.name()); }

    int Run() {
        deadline.start(20000);
        const int result = RunVantero(servers);
        deadline.stop();
        return result;
    }

    QDBusConnection connection;
    DBusAutomationFactory client;
    test::RecordingFactory servers; // sees the release of the real connection
    QTimer deadline;
    bool timedOut = false;
};

TEST(StartupOnTheBus, NoServerShowsTheMessageAndTheProgramEnds) {
    PrivateBus bus;
    BusRun run(bus);
    PromptScript prompts;
    bool mainWasMaximized = false;
    prompts.onPrompt = [&](const PromptRecord&) {
        mainWasMaximized =
            frmMain->isVisible() && frmMain->windowState().testFlag(Qt::WindowMaximized);
    };
    EXPECT_EQ(run.Run(), 0);
    EXPECT_FALSE(run.timedOut);
    ASSERT_EQ(prompts.prompts.size(), 1u);
    EXPECT_EQ(prompts.prompts[0].caption, QStringLiteral("Vantero"));
    EXPECT_EQ(prompts.prompts[0].text, QString::fromLatin1(kNoConnectionMessage));
    EXPECT_TRUE(mainWasMaximized);
    EXPECT_EQ(run.servers.log->released, 0);
}

TEST(StartupOnTheBus, FakeServerGetsTheSetUpStatementsAndExitReleasesItOnce) {
    PrivateBus bus{{BusService{kMapInfoProgId, VANTERO_FAKE_MAPINFO}}};
    FakeServerFolder server(bus.ServerFolder());
    BusRun run(bus);
    PromptScript prompts;
    std::string handle;
    std::vector<std::string> received;
    QTimer idle;
    QObject::connect(&idle, &QTimer::timeout, [&] {
        if (!frmIntro->ConnectionAttempted() || frmIntro->isVisible() ||
            QApplication::activeModalWidget() != nullptr)
            return;
        idle.stop();
        handle = std::to_string(static_cast<unsigned long long>(frmMain->winId()));
        received = server.Statements();
        EXPECT_TRUE(frmMain->isVisible());
        EXPECT_TRUE(frmMain->isEnabled());
        EXPECT_EQ(run.servers.log->released, 0);
        frmMain->dxFileExit->trigger();
    });
    idle.start(20);

    EXPECT_EQ(run.Run(), 0);
    EXPECT_FALSE(run.timedOut);
    EXPECT_TRUE(prompts.prompts.empty());
    EXPECT_EQ(received, (std::vector<std::string>{"Set Next Document Parent " + handle + " Style 1",
                                                  "Set Application Window " + handle,
                                                  "set progressbars off"}));
    EXPECT_EQ(run.servers.log->released, 1);
    EXPECT_EQ(server.Starts(), 1);
}

} // namespace
} // namespace vantero
