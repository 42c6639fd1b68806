// The cost of one statement through the link (SendCommand over the session-bus client) beside a
// bare QtDBus call of the same method to the same fake server, in the same run, on a private bus.

#include "mapinfo/MapInfoLink.h"
#include "mapinfo/dbus/DBusAutomation.h"
#include "tests/support/PrivateBus.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

namespace {

using vantero::test::BusService;
using vantero::test::PrivateBus;

struct Link {
    PrivateBus bus{{BusService{vantero::kMapInfoProgId, VANTERO_FAKE_MAPINFO}}};
    QDBusConnection connection = bus.connect("bench");
    vantero::DBusAutomationFactory factory{connection};
    vantero::AutomationVariant mapInfo;
    QString owner;

    Link() {
        if (!vantero::connectMapInfo(mapInfo, factory, 1).connected)
            std::abort();
        owner = static_cast<vantero::DBusAutomationObject&>(mapInfo.object()).ownerName();
    }
};

Link* shared = nullptr;

// The fake writes each statement down; both sides pay that alike.
void SendCommandThroughTheLink(benchmark::State& state) {
    for (auto _ : state)
        vantero::sendCommand(shared->mapInfo, "close all");
}

void BareQtDBusCall(benchmark::State& state) {
    for (auto _ : state) {
        QDBusMessage call = QDBusMessage::createMethodCall(shared->owner, QStringLiteral("/"),
                                                           QStringLiteral("MapInfo.Application"),
                                                           QStringLiteral("do"));
        call << QStringLiteral("close all");
        const QDBusMessage reply = shared->connection.call(call);
        if (reply.type() != QDBusMessage::ReplyMessage)
            state.SkipWithError("call failed");
    }
}

BENCHMARK(SendCommandThroughTheLink)->Unit(benchmark::kMicrosecond)->Repetitions(5);
BENCHMARK(BareQtDBusCall)->Unit(benchmark::kMicrosecond)->Repetitions(5);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    {
        Link running;
        shared = &running;
        benchmark::RunSpecifiedBenchmarks();
        shared = nullptr;
        running.mapInfo.clear();
    }
    benchmark::Shutdown();
    return 0;
}
