#include "ui/TableGrid.h"

#include "app/ErrorGuard.h"
#include "ui/RecordTableModel.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include <cmath>

namespace vantero {
namespace {

// Draws a row as selected when the selection rules say so; the view's own selection is unused.
class SelectionDelegate : public QStyledItemDelegate {
public:
    explicit SelectionDelegate(TableGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const GridSelection& rules = grid_->Selection();
        const auto row = static_cast<std::size_t>(index.row());
        option->state.setFlag(QStyle::State_Selected, index.isValid() && row < rules.RowCount() &&
                                                          rules.IsSelected(rules.ListRowAt(row)));
        option->state.setFlag(QStyle::State_HasFocus, false);
    }

private:
    TableGrid* grid_;
};

// A press and release on a header sorts; a column drag starts only past 5 pixels of movement,
// closer than Qt's own drag distance, so that a click with a slightly moving hand still sorts
// and a deliberate drag still moves the column.
constexpr int kColumnDragPixels = 5;

class GridHeader : public QHeaderView {
public:
    explicit GridHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {}

protected:
    void mouseMoveEvent(QMouseEvent* event) override {
        // The header reads the application's drag distance while it handles the move; nothing
        // else runs in between, so lending it ours changes nothing elsewhere.
        const int saved = QApplication::startDragDistance();
        QApplication::setStartDragDistance(kColumnDragPixels + 1);
        QHeaderView::mouseMoveEvent(event);
        QApplication::setStartDragDistance(saved);
    }
};

constexpr int kMinimumColumnWidth = 20;

std::optional<GridKey> NavigationKey(int key) {
    switch (key) {
    case Qt::Key_Up:
        return GridKey::Up;
    case Qt::Key_Down:
        return GridKey::Down;
    case Qt::Key_Home:
        return GridKey::Home;
    case Qt::Key_End:
        return GridKey::End;
    case Qt::Key_PageUp:
        return GridKey::PageUp;
    case Qt::Key_PageDown:
        return GridKey::PageDown;
    default:
        return std::nullopt;
    }
}

} // namespace

// The list's rows in the order the selection rules keep for the screen. The order is the rules'
// own, so a sort or a deletion of many rows is one pass over it and not a mapping of its own to
// bring up to date.
class GridRows : public QAbstractTableModel {
public:
    GridRows(const GridSelection& rules, QObject* parent)
        : QAbstractTableModel(parent), rules_(rules) {}

    void SetSource(RecordTableModel* source) { source_ = source; }
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() || !source_ ? 0 : static_cast<int>(rules_.RowCount());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() || !source_ ? 0 : source_->columnCount();
    }
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override {
        if (!index.isValid() || !source_ ||
            static_cast<std::size_t>(index.row()) >= rules_.RowCount())
            return {};
        return source_->index(ListRow(index.row()), index.column()).data(role);
    }
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override {
        return source_ ? source_->headerData(section, orientation, role) : QVariant();
    }
    int ListRow(int display) const {
        return static_cast<int>(rules_.ListRowAt(static_cast<std::size_t>(display)));
    }

    using QAbstractItemModel::beginInsertRows;
    using QAbstractItemModel::beginRemoveRows;
    using QAbstractItemModel::beginResetModel;
    using QAbstractItemModel::changePersistentIndexList;
    using QAbstractItemModel::endInsertRows;
    using QAbstractItemModel::endRemoveRows;
    using QAbstractItemModel::endResetModel;
    using QAbstractItemModel::persistentIndexList;

private:
    const GridSelection& rules_;
    RecordTableModel* source_ = nullptr;
};

TableGrid::TableGrid(QWidget* parent)
    : QTableView(parent),
      selection_([this](std::size_t count) { emit SelectedCountChange(static_cast<int>(count)); }) {
    rows_ = new GridRows(selection_, this);
    setModel(rows_);
    setItemDelegate(new SelectionDelegate(this));
    setSelectionMode(QAbstractItemView::NoSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(false);
    setShowGrid(false);
    setFrameShape(QFrame::NoFrame);
    setWordWrap(false);
    setHorizontalHeader(new GridHeader(this));
    // The columns always share the grid's width, so there is nothing to scroll sideways.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setSectionsMovable(true);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setMinimumSectionSize(kMinimumColumnWidth);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { Guard([this, column] { SortByColumn(column); }); });
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column, int, int) {
        if (!fitting_)
            FitColumnsAfter(horizontalHeader()->visualIndex(column));
    });
}

void TableGrid::FitColumnsAfter(int visual) {
    QHeaderView* header = horizontalHeader();
    const int count = header->count();
    const int available = viewport()->width();
    if (count == 0 || available <= 0 || static_cast<int>(weights_.size()) != count)
        return;
    // The columns after the one the user sized share what it left, in their proportions; when
    // that is too little for them, or the user sized the last column, all of them are scaled
    // together instead.
    int fixed = 0;
    for (int v = 0; v <= visual; ++v)
        fixed += header->sectionSize(header->logicalIndex(v));
    const int left = available - fixed;
    if (visual >= 0 && (visual + 1 >= count || left < kMinimumColumnWidth * (count - visual - 1))) {
        FitColumnsAfter(-1);
        return;
    }
    if (visual < 0 && available < kMinimumColumnWidth * count)
        return;
    double weight = 0;
    for (int v = visual + 1; v < count; ++v)
        weight += weights_[static_cast<std::size_t>(header->logicalIndex(v))];
    if (weight <= 0)
        return;
    // Rounding the running total, not each width, keeps the proportions from drifting.
    fitting_ = true;
    double running = 0;
    int given = 0;
    for (int v = visual + 1; v < count; ++v) {
        const int logical = header->logicalIndex(v);
        running += weights_[static_cast<std::size_t>(logical)];
        const int edge = static_cast<int>(std::lround(running * left / weight));
        header->resizeSection(logical, std::max(kMinimumColumnWidth, edge - given));
        given = edge;
    }
    fitting_ = false;
    if (visual >= 0)
        for (int c = 0; c < count; ++c)
            weights_[static_cast<std::size_t>(c)] = header->sectionSize(c);
}

void TableGrid::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    FitColumnsAfter(-1);
}

void TableGrid::SetRecordModel(RecordTableModel* model) {
    if (model_)
        disconnect(model_, nullptr, this, nullptr);
    model_ = model;
    rows_->beginResetModel();
    rows_->SetSource(model);
    selection_.Emptied();
    for (int row = 0; row < model->rowCount(); ++row)
        selection_.RowAppended();
    rows_->endResetModel();
    weights_.clear();
    for (const auto& column : model->Columns())
        weights_.push_back(column.width);
    FitColumnsAfter(-1);
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) {
                // The table only appends, and new rows are shown last, as they come, until the
                // next sort.
                const int shown = static_cast<int>(selection_.RowCount());
                rows_->beginInsertRows({}, shown, shown + last - first);
                for (int row = first; row <= last; ++row)
                    selection_.RowAppended();
                rows_->endInsertRows();
            });
    connect(model, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex&, int first, int last) {
                if (removingMany_)
                    return;
                for (int row = last; row >= first; --row) {
                    const auto listRow = static_cast<std::size_t>(row);
                    const int shown = static_cast<int>(selection_.DisplayRowOf(listRow));
                    rows_->beginRemoveRows({}, shown, shown);
                    selection_.RowDeleted(listRow);
                    rows_->endRemoveRows();
                }
                viewport()->update();
            });
    connect(model, &RecordTableModel::RowsRemovalStarting, this,
            [this](const std::vector<std::size_t>&) { removingMany_ = true; });
    connect(model, &RecordTableModel::RowsRemovalDone, this,
            [this](const std::vector<std::size_t>& rows) {
                removingMany_ = false;
                RowsRemovalDone(rows);
            });
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& from, const QModelIndex& to) {
                for (int row = from.row(); row <= to.row(); ++row) {
                    const int shown =
                        static_cast<int>(selection_.DisplayRowOf(static_cast<std::size_t>(row)));
                    emit rows_->dataChanged(rows_->index(shown, from.column()),
                                            rows_->index(shown, to.column()));
                }
            });
    connect(model, &QAbstractItemModel::modelReset, this, [this] {
        // A new listing: the rows come unsorted, as the scan appended them.
        sortColumn_ = -1;
        horizontalHeader()->setSortIndicatorShown(false);
        rows_->beginResetModel();
        selection_.Emptied();
        for (int row = 0; row < model_->rowCount(); ++row)
            selection_.RowAppended();
        rows_->endResetModel();
    });
}

void TableGrid::RowsRemovalDone(const std::vector<std::size_t>& rows) {
    // Announcing thousands of scattered rows one run at a time costs the view a pass over all
    // its rows for each; one reset costs a single pass. The scroll position and the current cell
    // are put back, the column widths and order stay with the header.
    const int scrolled = verticalScrollBar()->value();
    const int column = std::max(0, currentIndex().column());
    rows_->beginResetModel();
    selection_.RowsDeleted(rows);
    rows_->endResetModel();
    updateGeometries();
    verticalScrollBar()->setValue(scrolled);
    if (const std::optional<std::size_t> focus = selection_.FocusedRow())
        selectionModel()->setCurrentIndex(
            rows_->index(static_cast<int>(selection_.DisplayRowOf(*focus)), column),
            QItemSelectionModel::NoUpdate);
    viewport()->update();
}

const GridSelection& TableGrid::Selection() {
    return selection_;
}

GridSelection& TableGrid::MutableSelection() {
    return selection_;
}

void TableGrid::SortByColumn(int column) {
    if (!model_ || column < 0 || column >= model_->columnCount())
        return;
    sortOrder_ = column == sortColumn_ && sortOrder_ == Qt::AscendingOrder ? Qt::DescendingOrder
                                                                           : Qt::AscendingOrder;
    sortColumn_ = column;
    std::vector<std::size_t> order = model_->SortedRows(column, sortOrder_);

    emit rows_->layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = rows_->persistentIndexList();
    std::vector<std::size_t> listRows;
    for (const QModelIndex& index : before)
        listRows.push_back(static_cast<std::size_t>(rows_->ListRow(index.row())));
    selection_.SetDisplayOrder(std::move(order));
    QModelIndexList after;
    for (int i = 0; i < before.size(); ++i)
        after << rows_->index(
            static_cast<int>(selection_.DisplayRowOf(listRows[static_cast<std::size_t>(i)])),
            before[i].column());
    rows_->changePersistentIndexList(before, after);
    emit rows_->layoutChanged({}, QAbstractItemModel::VerticalSortHint);

    horizontalHeader()->setSortIndicatorShown(true);
    horizontalHeader()->setSortIndicator(column, sortOrder_);
    ShowFocus();
}

QString TableGrid::SelectedText() const {
    QString text;
    if (!model_)
        return text;
    for (const std::size_t row : selection_.SelectedRows()) {
        QStringList fields;
        for (int c = 0; c < model_->columnCount(); ++c)
            fields << model_->index(static_cast<int>(row), c).data().toString();
        text += fields.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return text;
}

int TableGrid::PageRows() const {
    const int rowHeight = verticalHeader()->defaultSectionSize();
    return rowHeight > 0 ? std::max(1, viewport()->height() / rowHeight) : 1;
}

void TableGrid::ShowFocus(bool scroll) {
    const std::optional<std::size_t> focus = selection_.FocusedRow();
    if (focus && *focus < selection_.RowCount()) {
        const QModelIndex at = rows_->index(static_cast<int>(selection_.DisplayRowOf(*focus)),
                                            std::max(0, currentIndex().column()));
        selectionModel()->setCurrentIndex(at, QItemSelectionModel::NoUpdate);
        if (scroll)
            scrollTo(at);
    }
    viewport()->update();
}

void TableGrid::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    const int row = rowAt(static_cast<int>(event->position().y()));
    if (row < 0)
        return;
    Guard([&] {
        const Qt::KeyboardModifiers modifiers = event->modifiers();
        selection_.MousePress(
            static_cast<std::size_t>(row), modifiers.testFlag(Qt::ControlModifier),
            modifiers.testFlag(Qt::ShiftModifier), event->button() == Qt::RightButton);
        ShowFocus();
    });
}

void TableGrid::mouseReleaseEvent(QMouseEvent* event) {
    const int row = rowAt(static_cast<int>(event->position().y()));
    Guard([&] {
        selection_.MouseRelease(row < 0 ? std::nullopt : std::optional<std::size_t>(row));
        viewport()->update();
    });
}

void TableGrid::mouseMoveEvent(QMouseEvent*) {
    // Dragging over the rows does not extend the selection.
}

void TableGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    mousePressEvent(event);
}

void TableGrid::keyPressEvent(QKeyEvent* event) {
    const bool ctrl = event->modifiers().testFlag(Qt::ControlModifier);
    const bool shift = event->modifiers().testFlag(Qt::ShiftModifier);
    if (ctrl && event->key() == Qt::Key_Delete) {
        emit DeleteRequested();
        return;
    }
    Guard([&] {
        selection_.SetPageRows(static_cast<std::size_t>(PageRows()));
        GridKey key = GridKey::Other;
        if (const std::optional<GridKey> navigation = NavigationKey(event->key()))
            key = *navigation;
        else if (event->key() == Qt::Key_Space)
            key = GridKey::Space;
        else if (event->key() == Qt::Key_Delete)
            key = GridKey::Delete;
        selection_.KeyPress(key, ctrl, shift);
        ShowFocus();
    });
    if (ctrl && event->key() == Qt::Key_Insert) {
        emit CopyRequested();
        return;
    }
    if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab ||
        event->key() == Qt::Key_Escape)
        event->ignore(); // focus moves on, dialogs close, as usual
}

} // namespace vantero
