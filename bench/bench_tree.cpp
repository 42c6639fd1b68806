// The folder tree against a plain QFileSystemModel in a QTreeView, in the same run over the same
// folders: expanding a folder of 10,000 sub-folders until every one is shown, and bringing 50
// populated folders up to date (the tree's Refresh; for the model, re-reading the same 50 folders
// into a fresh model, as it has no refresh of its own).
//
//   QT_QPA_PLATFORM=offscreen build/test/bench/bench_tree [--benchmark_...]

#include "ui/FolderTree.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileSystemModel>
#include <QTimer>
#include <QTreeView>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr int kWide = 10000;
constexpr int kPopulated = 50;
constexpr int kEach = 20;

struct Folders {
    std::string root, desktop, home, wide, deep;
    Folders() {
        std::string pattern = (fs::temp_directory_path() / "vantero-bench-tree-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        root = pattern;
        desktop = root + "/desktop";
        home = root + "/home";
        wide = desktop + "/wide";
        deep = desktop + "/deep";
        fs::create_directories(home);
        for (int i = 0; i < kWide; ++i)
            fs::create_directories(wide + "/folder " + std::to_string(i));
        for (int i = 0; i < kPopulated; ++i)
            for (int j = 0; j < kEach; ++j)
                fs::create_directories(deep + "/part " + std::to_string(i) + "/sub " +
                                       std::to_string(j));
    }
    ~Folders() {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
};

Folders* folders = nullptr;

QTreeWidgetItem* child(QTreeWidgetItem* node, const QString& text) {
    for (int i = 0; i < node->childCount(); ++i)
        if (node->child(i)->text(0) == text)
            return node->child(i);
    return nullptr;
}

void report(benchmark::State& state, std::chrono::steady_clock::duration took) {
    state.SetIterationTime(std::chrono::duration<double>(took).count());
}

void ExpandTree(benchmark::State& state) {
    for (auto _ : state) {
        vantero::FolderTree tree(nullptr, {folders->desktop, folders->home});
        tree.resize(300, 600);
        tree.show();
        QTreeWidgetItem* wide = child(tree.topLevelItem(0), QStringLiteral("wide"));
        const auto start = std::chrono::steady_clock::now();
        tree.expandItem(wide);
        QApplication::processEvents(); // the shown rows are laid out and painted
        report(state, std::chrono::steady_clock::now() - start);
        if (wide->childCount() != kWide)
            state.SkipWithError("the tree did not show every folder");
    }
}

// Waits until the model has read the folder; it reads on a thread of its own.
void waitLoaded(QFileSystemModel& model, const QModelIndex& index, int rows) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (model.rowCount(index) >= rows)
            loop.quit();
    });
    poll.start(0);
    // Not for ever: a model that never gets there shows as a time far off the scale.
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    if (model.canFetchMore(index))
        model.fetchMore(index);
    if (model.rowCount(index) < rows)
        loop.exec();
}

// A fresh QFileSystemModel of folders only, shown in a plain QTreeView of the tree's size.
struct PlainView {
    std::unique_ptr<QFileSystemModel> model = std::make_unique<QFileSystemModel>();
    QTreeView view;
    PlainView() {
        model->setFilter(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
        model->setRootPath(QString::fromStdString(folders->root));
        view.setModel(model.get());
        view.resize(300, 600);
        view.show();
    }
};

void ExpandPlainModel(benchmark::State& state) {
    for (auto _ : state) {
        PlainView plain;
        QFileSystemModel* model = plain.model.get();
        QTreeView& view = plain.view;
        const QModelIndex wide = model->index(QString::fromStdString(folders->wide));
        const auto start = std::chrono::steady_clock::now();
        view.expand(wide);
        waitLoaded(*model, wide, kWide);
        QApplication::processEvents();
        if (model->rowCount(wide) < kWide)
            state.SkipWithError("the model did not show every folder");
        report(state, std::chrono::steady_clock::now() - start);
    }
}

void RefreshTree(benchmark::State& state) {
    vantero::FolderTree tree(nullptr, {folders->desktop, folders->home});
    tree.resize(300, 600);
    tree.show();
    QTreeWidgetItem* deep = child(tree.topLevelItem(0), QStringLiteral("deep"));
    tree.expandItem(deep);
    for (int i = 0; i < deep->childCount(); ++i)
        tree.expandItem(deep->child(i));
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        tree.refresh();
        QApplication::processEvents();
        report(state, std::chrono::steady_clock::now() - start);
    }
}

void RefreshPlainModel(benchmark::State& state) {
    for (auto _ : state) {
        PlainView plain;
        QFileSystemModel* model = plain.model.get();
        QTreeView& view = plain.view;
        const QModelIndex deep = model->index(QString::fromStdString(folders->deep));
        view.expand(deep);
        waitLoaded(*model, deep, kPopulated);
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kPopulated; ++i)
            view.expand(model->index(i, 0, deep));
        for (int i = 0; i < kPopulated; ++i)
            waitLoaded(*model, model->index(i, 0, deep), kEach);
        QApplication::processEvents();
        report(state, std::chrono::steady_clock::now() - start);
    }
}

BENCHMARK(ExpandTree)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(3);
BENCHMARK(ExpandPlainModel)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(3);
BENCHMARK(RefreshTree)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20)
    ->Repetitions(3);
BENCHMARK(RefreshPlainModel)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(3);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    {
        Folders made;
        folders = &made;
        benchmark::RunSpecifiedBenchmarks();
        folders = nullptr;
    }
    benchmark::Shutdown();
    return 0;
}
