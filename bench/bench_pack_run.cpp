// The pack run's own cost per table: a run over 1,000 tiny tables against the fake server on a
// private bus, beside the three bare QtDBus round trips (open, pack, close all) per table that the
// run cannot do without, in the same run. The run's view drains the event queue as the window does.

#include "catalogue/ListTables.h"
#include "mapinfo/MapInfoLink.h"
#include "mapinfo/Statements.h"
#include "mapinfo/dbus/DBusAutomation.h"
#include "pack/PackRun.h"
#include "pack/RunLog.h"
#include "tests/support/PrivateBus.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

using namespace vantero;
using test::BusService;
using test::PrivateBus;

constexpr std::size_t kTables = 1000;

struct DrainingView : PackView {
    void SetProgressText(const std::string& text) override { progress = text; }
    void SetCancelAndSaveEnabled(bool) override {}
    void SetTimerEnabled(bool) override {}
    void SetBusyCursor(bool) override {}
    void DrainMessages() override { QCoreApplication::processEvents(); }
    PackOptions AskPackOptions() override { return {}; }
    std::string progress;
};

struct AllRows : PackSelection {
    const RecordTable& list;
    explicit AllRows(const RecordTable& l) : list(l) {}
    std::size_t SelectedCount() const override { return list.RecordCount(); }
    Bookmark SelectedBookmark(std::size_t i) const override { return Bookmark{list.RecIdAt(i)}; }
};

struct Setup {
    PrivateBus bus{{BusService{kMapInfoProgId, VANTERO_FAKE_MAPINFO}}};
    QDBusConnection connection = bus.Connect("bench");
    DBusAutomationFactory factory{connection};
    AutomationVariant mapInfo;
    QString owner;
    RecordTable tableList;

    Setup() {
        if (!ConnectMapInfo(mapInfo, factory, 1))
            std::abort();
        owner = static_cast<DBusAutomationObject&>(mapInfo.Object()).OwnerName();
        DeclareTableListFields(tableList);
        tableList.Open();
        for (std::size_t i = 0; i < kTables; ++i) {
            tableList.Append();
            tableList.SetString("TableName", "t" + std::to_string(i) + ".tab");
            tableList.SetString("TableType", "Native");
            tableList.SetString("TablePath", "/data/tiny");
            tableList.Post();
        }
    }
};

Setup* shared = nullptr;

void PackRunOverTheTables(benchmark::State& state) {
    DrainingView view;
    RecordTable log;
    DeclareRunLogFields(log);
    bool stop = false;
    PackRun run(view, log, stop);
    const AllRows selection(shared->tableList);
    for (auto _ : state) {
        log.Close();
        log.Open();
        run.RunPack(shared->mapInfo, selection, shared->tableList);
        if (log.RecordCount() != kTables + 1)
            state.SkipWithError("a table failed");
    }
    state.counters["per_table_us"] = benchmark::Counter(
        static_cast<double>(kTables),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void ThreeBareRoundTripsPerTable(benchmark::State& state) {
    const auto call = [](const std::string& statement) {
        QDBusMessage message = QDBusMessage::createMethodCall(shared->owner, QStringLiteral("/"),
                                                              QStringLiteral("MapInfo.Application"),
                                                              QStringLiteral("do"));
        message << QString::fromStdString(statement);
        return shared->connection.call(message).type() == QDBusMessage::ReplyMessage;
    };
    for (auto _ : state) {
        for (std::size_t i = 0; i < kTables; ++i) {
            const std::string name = "t" + std::to_string(i);
            if (!call("open table \"/data/tiny/" + name + ".tab\" as " + name) ||
                !call("Pack Table " + name) || !call("close all"))
                state.SkipWithError("call failed");
        }
    }
    state.counters["per_table_us"] = benchmark::Counter(
        static_cast<double>(kTables),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(PackRunOverTheTables)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK(ThreeBareRoundTripsPerTable)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->Iterations(1)
    ->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    {
        Setup running;
        shared = &running;
        benchmark::RunSpecifiedBenchmarks();
        shared = nullptr;
        running.mapInfo.Clear();
    }
    benchmark::Shutdown();
    return 0;
}
