// The pack run's own cost per table: a run over 1,000 tiny tables against the fake server on a
// private bus, beside the three bare QtDBus round trips (open, pack, close all) per table that the
// run cannot do without, in the same run. The run's view drains the event queue as the window does;
// vantero-pack's whole run is measured the same way.

#include "catalogue/ListTables.h"
#include "cli/BatchPack.h"
#include "mapinfo/MapInfoLink.h"
#include "mapinfo/Statements.h"
#include "mapinfo/dbus/DBusAutomation.h"
#include "pack/PackRun.h"
#include "pack/RunLog.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/TempFolder.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <sstream>

namespace {

using namespace vantero;
using test::BusService;
using test::PrivateBus;

constexpr std::size_t kTables = 1000;

struct DrainingView : PackView {
    void setProgressText(const std::string& text) override { progress = text; }
    void setCancelAndSaveEnabled(bool) override {}
    void setRunStartTimerEnabled(bool) override {}
    void setBusyCursor(bool) override {}
    void drainEvents() override { QCoreApplication::processEvents(); }
    PackParts askPackParts() override { return {}; }
    std::string progress;
};

struct AllRows : PackSelection {
    const RecordTable& list;
    explicit AllRows(const RecordTable& l) : list(l) {}
    std::size_t selectedCount() const override { return list.recordCount(); }
    Bookmark selectedBookmark(std::size_t i) const override { return Bookmark{list.recIdAt(i)}; }
};

struct Setup {
    PrivateBus bus{{BusService{kMapInfoProgId, VANTERO_FAKE_MAPINFO}}};
    QDBusConnection connection = bus.connect("bench");
    DBusAutomationFactory factory{connection};
    AutomationVariant mapInfo;
    QString owner;
    RecordTable tableList;

    Setup() {
        if (!connectMapInfo(mapInfo, factory, 1).connected)
            std::abort();
        owner = static_cast<DBusAutomationObject&>(mapInfo.object()).ownerName();
        declareTableListFields(tableList);
        tableList.open();
        for (std::size_t i = 0; i < kTables; ++i) {
            tableList.append();
            tableList.setString(kTableNameField, "t" + std::to_string(i) + ".tab");
            tableList.setString(kTableTypeField, "Native");
            tableList.setString(kTablePathField, "/data/tiny");
            tableList.post();
        }
    }
};

Setup* shared = nullptr;

void PackRunOverTheTables(benchmark::State& state) {
    DrainingView view;
    RecordTable log;
    declareRunLogFields(log);
    PackRun run(view, log);
    const AllRows selection(shared->tableList);
    for (auto _ : state) {
        log.close();
        log.open();
        run.run(shared->mapInfo, selection, shared->tableList);
        if (log.recordCount() != kTables + 1)
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

// vantero-pack's whole run over a folder of as many tiny tables: the listing, the connection and
// the console view included, its output thrown away.
void VanteroPackOverTheTables(benchmark::State& state) {
    vantero::test::TempFolder folder;
    for (std::size_t i = 0; i < kTables; ++i)
        vantero::test::writeBytes(folder.file("t" + std::to_string(i) + ".tab"), "!table\n");
    const auto parsed = cli::parseOptions({folder.path()});
    std::ostringstream out, err;
    const cli::Console console{out, err, false};
    for (auto _ : state) {
        out.str({});
        if (cli::runBatch(std::get<cli::Options>(parsed), shared->factory, console,
                          [] { return false; }) != cli::kAllPacked)
            state.SkipWithError("a table failed");
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
BENCHMARK(VanteroPackOverTheTables)
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
        running.mapInfo.clear();
    }
    benchmark::Shutdown();
    return 0;
}
