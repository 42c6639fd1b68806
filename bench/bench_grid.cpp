// The main window's table grid over 100,000 listed tables against a plain QTableView over a plain
// model, in the same run, each gesture on a fresh setup that is not timed: Shift+End from the top
// row (a real key event; on the plain view Ctrl+A, its one key that selects every row: its End
// stays in the row and Ctrl+Shift+End only moves), reading the number of selected rows, a sort by
// each of the three columns, and Ctrl+Del of 50,000 selected rows answered with OK (the first half
// of the list, one block; and every other row, 50,000 blocks of one). Every gesture is timed up to
// the end of the repaint it causes. The plain view uses its own QItemSelectionModel, a
// QSortFilterProxyModel for the sort, and removes the selected rows from its model in contiguous
// ranges, bottom-up; for every other row that plain removal alone takes minutes
// (--benchmark_filter='Ours|Plain/[^D]|Plain/DeleteF' leaves it out).
//
//   QT_QPA_PLATFORM=offscreen build/test/bench/bench_grid [--benchmark_...]

#include "catalogue/ListTables.h"
#include "tests/support/Windows.h"
#include "ui/GridSelection.h"
#include "ui/MainWindow.h"
#include "ui/Prompts.h"
#include "ui/RecordTableModel.h"
#include "ui/TableGrid.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 100000;
constexpr int kHalf = kRows / 2;
constexpr int kIterations = 5;
struct Listed {
    std::string name, type, path;
};

// Names in no particular order and with repeats among the types, as a folder scan returns them.
const std::vector<Listed>& listing() {
    static const std::vector<Listed> rows = [] {
        const char* const types[] = {"Native", "DBF", "Raster", "Seamless", "View", "ACCESS"};
        std::vector<Listed> out;
        out.reserve(kRows);
        std::uint32_t seed = 12345;
        for (int i = 0; i < kRows; ++i) {
            seed = seed * 1103515245u + 12345u;
            char name[48];
            std::snprintf(name, sizeof name, "parcel%08x_%d.tab", seed, i % 97);
            const std::string folder = "/data/gis/region" + std::to_string(seed % 40) + "/";
            out.push_back({name, types[(seed >> 8) % 6], folder + name});
        }
        return out;
    }();
    return rows;
}

QSize gridSize(); // the size the main window gives its grid, for the plain view to match

void settle() {
    QApplication::processEvents();
}

// The main window as the program shows it, its list filled the way a folder scan fills it.
struct OurGrid {
    vantero::PromptScript prompts;
    vantero::test::ConnectedMainWindow program;
    vantero::MainWindow& window = program.window;
    vantero::TableGrid* grid = nullptr;

    OurGrid() {
        window.resize(1024, 720);
        grid = vantero::test::part<vantero::TableGrid>(&window, "tableGrid");
        // Filled as a folder scan fills it, without 100,000 files on disk.
        vantero::RecordTable& list =
            vantero::test::part<vantero::RecordTableModel>(&window, "tableModel")->table();
        list.close();
        list.open();
        const std::size_t name = list.requireField(vantero::kTableNameField);
        const std::size_t type = list.requireField(vantero::kTableTypeField);
        const std::size_t path = list.requireField(vantero::kTablePathField);
        for (const Listed& row : listing()) {
            list.append();
            list.setString(name, row.name);
            list.setString(type, row.type);
            list.setString(path, row.path);
            list.post();
        }
        grid->setFocus();
        settle();
        clickRow(0);
    }
    void clickRow(int display) {
        const QRect cell = grid->visualRect(grid->model()->index(display, 0));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
        settle();
    }
    int Rows() const { return grid->model()->rowCount(); }
};

// A table of strings, the least a model can be.
class PlainModel : public QAbstractTableModel {
public:
    PlainModel() {
        m_rows.reserve(listing().size());
        for (const Listed& row : listing())
            m_rows.push_back({QString::fromStdString(row.name), QString::fromStdString(row.type),
                              QString::fromStdString(row.path)});
    }
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : 3;
    }
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override {
        if (!index.isValid() || role != Qt::DisplayRole)
            return {};
        return m_rows[static_cast<std::size_t>(index.row())]
                     [static_cast<std::size_t>(index.column())];
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        return QStringList{"Table Name", "Type", "Path"}.value(section);
    }
    bool removeRows(int row, int count, const QModelIndex& parent = {}) override {
        beginRemoveRows(parent, row, row + count - 1);
        m_rows.erase(m_rows.begin() + row, m_rows.begin() + row + count);
        endRemoveRows();
        return true;
    }

private:
    std::vector<std::array<QString, 3>> m_rows;
};

struct PlainGrid {
    PlainModel model;
    QSortFilterProxyModel sorted;
    QTableView view;

    PlainGrid() {
        sorted.setSourceModel(&model);
        view.setModel(&sorted);
        view.setSelectionMode(QAbstractItemView::ExtendedSelection);
        view.setSelectionBehavior(QAbstractItemView::SelectRows);
        view.verticalHeader()->hide();
        view.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        view.resize(gridSize());
        view.show();
        view.setFocus();
        settle();
        const QRect cell = view.visualRect(sorted.index(0, 0));
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, cell.center());
        settle();
    }
    void select(const std::function<bool(int)>& wanted) {
        QItemSelection selection;
        for (int r = 0; r < sorted.rowCount(); ++r) {
            int last = r;
            if (!wanted(r))
                continue;
            while (last + 1 < sorted.rowCount() && wanted(last + 1))
                ++last;
            selection.select(sorted.index(r, 0), sorted.index(last, sorted.columnCount() - 1));
            r = last;
        }
        view.selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
        settle();
    }
    // What a careful programmer does: source rows, bottom-up, one removal per contiguous run.
    void removeSelected() {
        std::vector<int> rows;
        for (const QModelIndex& index : view.selectionModel()->selectedRows())
            rows.push_back(sorted.mapToSource(index).row());
        std::sort(rows.begin(), rows.end());
        for (auto end = rows.size(); end > 0;) {
            auto begin = end - 1;
            while (begin > 0 && rows[begin - 1] + 1 == rows[begin])
                --begin;
            model.removeRows(rows[begin], static_cast<int>(end - begin));
            end = begin;
        }
    }
};

QSize gridSize() {
    static const QSize size = [] {
        vantero::PromptScript prompts;
        vantero::test::ConnectedMainWindow program;
        program.window.resize(1024, 720);
        settle();
        return vantero::test::part<vantero::TableGrid>(&program.window, "tableGrid")->size();
    }();
    return size;
}

using Clock = std::chrono::steady_clock;

template <typename Body> void time(benchmark::State& state, Body&& body) {
    const auto start = Clock::now();
    body();
    settle(); // the repaint the gesture asked for
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
}

bool everyOther(int row) {
    return row % 2 == 0;
}
bool firstHalf(int row) {
    return row < kHalf;
}

// --- the main window's grid ---

void oursShiftEnd(benchmark::State& state) {
    for (auto _ : state) {
        OurGrid g;
        time(state, [&] { QTest::keyClick(g.grid, Qt::Key_End, Qt::ShiftModifier); });
        if (g.grid->selection().count() != static_cast<std::size_t>(kRows))
            state.SkipWithError("not every row was selected");
    }
}

void oursSelectedCount(benchmark::State& state) {
    for (auto _ : state) {
        OurGrid g;
        QTest::keyClick(g.grid, Qt::Key_End, Qt::ShiftModifier);
        settle();
        std::size_t count = 0;
        time(state, [&] { count = g.grid->selection().count(); });
        if (count != static_cast<std::size_t>(kRows))
            state.SkipWithError("wrong count");
    }
}

void oursSort(benchmark::State& state) {
    const int column = static_cast<int>(state.range(0));
    for (auto _ : state) {
        OurGrid g;
        QHeaderView* header = g.grid->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(column) + 10, header->height() / 2);
        time(state, [&] { QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at); });
        if (!header->isSortIndicatorShown() || header->sortIndicatorSection() != column)
            state.SkipWithError("the header click did not sort");
    }
}

void oursDelete(benchmark::State& state, bool (*wanted)(int)) {
    for (auto _ : state) {
        OurGrid g;
        vantero::GridSelection& rules = g.grid->mutableSelection();
        rules.beginGesture();
        rules.mousePress(0, true, false); // the click of the setup selected row 0: off again
        rules.mouseRelease(0);
        for (int r = 0; r < kRows; ++r)
            if (wanted(r)) {
                rules.mousePress(static_cast<std::size_t>(r), true, false);
                rules.mouseRelease(static_cast<std::size_t>(r));
            }
        rules.endGesture();
        settle();
        if (rules.count() != static_cast<std::size_t>(kHalf))
            state.SkipWithError("setup selected the wrong rows");
        g.prompts.nextAnswer(QMessageBox::Ok);
        time(state, [&] { QTest::keyClick(g.grid, Qt::Key_Delete, Qt::ControlModifier); });
        if (g.Rows() != kRows - kHalf || g.window.tableList().recordCount() != kRows - kHalf)
            state.SkipWithError("the rows were not removed");
    }
}

// --- the plain view ---

void plainShiftEnd(benchmark::State& state) {
    for (auto _ : state) {
        PlainGrid g;
        time(state, [&] { QTest::keyClick(&g.view, Qt::Key_A, Qt::ControlModifier); });
        if (g.view.selectionModel()->selectedRows().size() != kRows)
            state.SkipWithError("not every row was selected");
    }
}

void plainSelectedCount(benchmark::State& state) {
    for (auto _ : state) {
        PlainGrid g;
        QTest::keyClick(&g.view, Qt::Key_A, Qt::ControlModifier);
        settle();
        qsizetype count = 0;
        time(state, [&] { count = g.view.selectionModel()->selectedRows().size(); });
        if (count != kRows)
            state.SkipWithError("wrong count");
    }
}

void plainSort(benchmark::State& state) {
    const int column = static_cast<int>(state.range(0));
    for (auto _ : state) {
        PlainGrid g;
        time(state, [&] { g.view.sortByColumn(column, Qt::AscendingOrder); });
    }
}

void plainDelete(benchmark::State& state, bool (*wanted)(int)) {
    for (auto _ : state) {
        PlainGrid g;
        g.select(wanted);
        time(state, [&] { g.removeSelected(); });
        if (g.model.rowCount() != kRows - kHalf)
            state.SkipWithError("the rows were not removed");
    }
}

// Keeps the means so that the ratios can be printed after the usual table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                m_times[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    double time(const std::string& name) const {
        for (const auto& [key, value] : m_times)
            if (key.rfind(name, 0) == 0)
                return value;
        return 0;
    }

private:
    std::map<std::string, double> m_times;
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    listing();
    gridSize();

    struct Gesture {
        const char* name;
        std::function<void(benchmark::State&)> ours, plain;
    };
    const std::vector<Gesture> gestures = {
        {"ShiftEnd", oursShiftEnd, plainShiftEnd},
        {"SelectedCount", oursSelectedCount, plainSelectedCount},
        {"SortName", [](auto& s) { oursSort(s); }, [](auto& s) { plainSort(s); }},
        {"SortType", [](auto& s) { oursSort(s); }, [](auto& s) { plainSort(s); }},
        {"SortPath", [](auto& s) { oursSort(s); }, [](auto& s) { plainSort(s); }},
        {"DeleteFirstHalf", [](auto& s) { oursDelete(s, firstHalf); },
         [](auto& s) { plainDelete(s, firstHalf); }},
        {"DeleteEveryOther", [](auto& s) { oursDelete(s, everyOther); },
         [](auto& s) { plainDelete(s, everyOther); }},
    };
    for (std::size_t i = 0; i < gestures.size(); ++i) {
        const std::int64_t column = i >= 2 && i <= 4 ? static_cast<std::int64_t>(i - 2) : 0;
        for (const bool ours : {true, false}) {
            const std::string name = std::string(ours ? "Ours/" : "Plain/") + gestures[i].name;
            benchmark::RegisterBenchmark(name.c_str(), ours ? gestures[i].ours : gestures[i].plain)
                ->Arg(column)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond)
                // The plain view's removal of 50,000 single rows takes long; once is enough.
                ->Iterations(!ours && i + 1 == gestures.size() ? 1 : kIterations);
        }
    }

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-18s %10s %10s %7s  goal: under 50 ms and at most 1.5 x plain\n", "gesture",
                "ours ms", "plain ms", "ratio");
    for (const Gesture& gesture : gestures) {
        const double ours = reporter.time(std::string("Ours/") + gesture.name + "/");
        const double plain = reporter.time(std::string("Plain/") + gesture.name + "/");
        if (ours <= 0 && plain <= 0)
            continue;
        const double ratio = plain > 0 ? ours / plain : 0;
        const bool met = ours > 0 && plain > 0 && ours < 50 && ratio <= 1.5;
        std::printf("%-18s %10.3f %10.3f %7.2f  %s\n", gesture.name, ours, plain, ratio,
                    met ? "met" : "NOT MET");
    }
    benchmark::Shutdown();
    return 0;
}
