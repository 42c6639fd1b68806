#include "ui/TableGrid.h"

#include "ui/ErrorGuard.h"
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
    explicit SelectionDelegate(TableGrid* grid) : QStyledItemDelegate(grid), m_grid(grid) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const GridSelection& rules = m_grid->selection();
        const auto row = static_cast<std::size_t>(index.row());
        option->state.setFlag(QStyle::State_Selected, index.isValid() && row < rules.rowCount() &&
                                                          rules.isSelected(rules.listRowAt(row)));
        option->state.setFlag(QStyle::State_HasFocus, false);
    }

private:
    TableGrid* m_grid;
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

std::optional<GridKey> navigationKey(int key) {
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
        : QAbstractTableModel(parent), m_rules(rules) {}

    void setSource(RecordTableModel* source) { m_source = source; }
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() || !m_source ? 0 : static_cast<int>(m_rules.rowCount());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() || !m_source ? 0 : m_source->columnCount();
    }
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override {
        if (!index.isValid() || !m_source ||
            static_cast<std::size_t>(index.row()) >= m_rules.rowCount())
            return {};
        return m_source->index(listRow(index.row()), index.column()).data(role);
    }
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override {
        return m_source ? m_source->headerData(section, orientation, role) : QVariant();
    }
    int listRow(int display) const {
        return static_cast<int>(m_rules.listRowAt(static_cast<std::size_t>(display)));
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
    const GridSelection& m_rules;
    RecordTableModel* m_source = nullptr;
};

TableGrid::TableGrid(QWidget* parent)
    : QTableView(parent), m_selection([this](std::size_t count) {
          emit selectedCountChanged(static_cast<int>(count));
      }) {
    m_rows = new GridRows(m_selection, this);
    setModel(m_rows);
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
            [this](int column) { guard([this, column] { sortByColumn(column); }); });
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column, int, int) {
        if (!m_fitting)
            fitColumnsAfter(horizontalHeader()->visualIndex(column));
    });
}

void TableGrid::fitColumnsAfter(int visual) {
    QHeaderView* header = horizontalHeader();
    const int count = header->count();
    const int available = viewport()->width();
    if (count == 0 || available <= 0 || static_cast<int>(m_weights.size()) != count)
        return;
    // The columns after the one the user sized share what it left, in their proportions; when
    // that is too little for them, or the user sized the last column, all of them are scaled
    // together instead.
    int fixed = 0;
    for (int v = 0; v <= visual; ++v)
        fixed += header->sectionSize(header->logicalIndex(v));
    const int left = available - fixed;
    if (visual >= 0 && (visual + 1 >= count || left < kMinimumColumnWidth * (count - visual - 1))) {
        fitColumnsAfter(-1);
        return;
    }
    if (visual < 0 && available < kMinimumColumnWidth * count)
        return;
    double weight = 0;
    for (int v = visual + 1; v < count; ++v)
        weight += m_weights[static_cast<std::size_t>(header->logicalIndex(v))];
    if (weight <= 0)
        return;
    // Rounding the running total, not each width, keeps the proportions from drifting.
    m_fitting = true;
    double running = 0;
    int given = 0;
    for (int v = visual + 1; v < count; ++v) {
        const int logical = header->logicalIndex(v);
        running += m_weights[static_cast<std::size_t>(logical)];
        const int edge = static_cast<int>(std::lround(running * left / weight));
        header->resizeSection(logical, std::max(kMinimumColumnWidth, edge - given));
        given = edge;
    }
    m_fitting = false;
    if (visual >= 0)
        for (int c = 0; c < count; ++c)
            m_weights[static_cast<std::size_t>(c)] = header->sectionSize(c);
}

void TableGrid::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    fitColumnsAfter(-1);
}

void TableGrid::setRecordModel(RecordTableModel* model) {
    if (m_model)
        disconnect(m_model, nullptr, this, nullptr);
    m_model = model;
    m_rows->beginResetModel();
    m_rows->setSource(model);
    m_selection.emptied();
    for (int row = 0; row < model->rowCount(); ++row)
        m_selection.rowAppended();
    m_rows->endResetModel();
    m_weights.clear();
    for (const auto& column : model->columns())
        m_weights.push_back(column.width);
    fitColumnsAfter(-1);
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) {
                // The table only appends, and new rows are shown last, as they come, until the
                // next sort.
                const int shown = static_cast<int>(m_selection.rowCount());
                m_rows->beginInsertRows({}, shown, shown + last - first);
                for (int row = first; row <= last; ++row)
                    m_selection.rowAppended();
                m_rows->endInsertRows();
            });
    connect(model, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex&, int first, int last) {
                if (m_removingMany)
                    return;
                for (int row = last; row >= first; --row) {
                    const auto listRow = static_cast<std::size_t>(row);
                    const int shown = static_cast<int>(m_selection.displayRowOf(listRow));
                    m_rows->beginRemoveRows({}, shown, shown);
                    m_selection.rowDeleted(listRow);
                    m_rows->endRemoveRows();
                }
                viewport()->update();
            });
    connect(model, &RecordTableModel::rowsRemovalStarting, this,
            [this](const std::vector<std::size_t>&) { m_removingMany = true; });
    connect(model, &RecordTableModel::rowsRemovalDone, this,
            [this](const std::vector<std::size_t>& rows) {
                m_removingMany = false;
                catchUpAfterRemoval(rows);
            });
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& from, const QModelIndex& to) {
                for (int row = from.row(); row <= to.row(); ++row) {
                    const int shown =
                        static_cast<int>(m_selection.displayRowOf(static_cast<std::size_t>(row)));
                    emit m_rows->dataChanged(m_rows->index(shown, from.column()),
                                             m_rows->index(shown, to.column()));
                }
            });
    connect(model, &QAbstractItemModel::modelReset, this, [this] {
        // A new listing: the rows come unsorted, as the scan appended them.
        m_sortColumn = -1;
        horizontalHeader()->setSortIndicatorShown(false);
        m_rows->beginResetModel();
        m_selection.emptied();
        for (int row = 0; row < m_model->rowCount(); ++row)
            m_selection.rowAppended();
        m_rows->endResetModel();
    });
}

void TableGrid::catchUpAfterRemoval(const std::vector<std::size_t>& rows) {
    // Announcing thousands of scattered rows one run at a time costs the view a pass over all
    // its rows for each; one reset costs a single pass. The scroll position and the current cell
    // are put back, the column widths and order stay with the header.
    const int scrolled = verticalScrollBar()->value();
    const int column = std::max(0, currentIndex().column());
    m_rows->beginResetModel();
    m_selection.rowsDeleted(rows);
    m_rows->endResetModel();
    updateGeometries();
    verticalScrollBar()->setValue(scrolled);
    if (const std::optional<std::size_t> focus = m_selection.focusedRow())
        selectionModel()->setCurrentIndex(
            m_rows->index(static_cast<int>(m_selection.displayRowOf(*focus)), column),
            QItemSelectionModel::NoUpdate);
    viewport()->update();
}

const GridSelection& TableGrid::selection() {
    return m_selection;
}

GridSelection& TableGrid::mutableSelection() {
    return m_selection;
}

void TableGrid::sortByColumn(int column) {
    if (!m_model || column < 0 || column >= m_model->columnCount())
        return;
    m_sortOrder = column == m_sortColumn && m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder
                                                                              : Qt::AscendingOrder;
    m_sortColumn = column;
    std::vector<std::size_t> order = m_model->sortedRows(column, m_sortOrder);

    emit m_rows->layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = m_rows->persistentIndexList();
    std::vector<std::size_t> listRows;
    for (const QModelIndex& index : before)
        listRows.push_back(static_cast<std::size_t>(m_rows->listRow(index.row())));
    m_selection.setDisplayOrder(std::move(order));
    QModelIndexList after;
    for (int i = 0; i < before.size(); ++i)
        after << m_rows->index(
            static_cast<int>(m_selection.displayRowOf(listRows[static_cast<std::size_t>(i)])),
            before[i].column());
    m_rows->changePersistentIndexList(before, after);
    emit m_rows->layoutChanged({}, QAbstractItemModel::VerticalSortHint);

    horizontalHeader()->setSortIndicatorShown(true);
    horizontalHeader()->setSortIndicator(column, m_sortOrder);
    showFocus();
}

QString TableGrid::selectedText() const {
    QString text;
    if (!m_model)
        return text;
    for (const std::size_t row : m_selection.selectedRows()) {
        QStringList fields;
        for (int c = 0; c < m_model->columnCount(); ++c)
            fields << m_model->index(static_cast<int>(row), c).data().toString();
        text += fields.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return text;
}

int TableGrid::pageRows() const {
    const int rowHeight = verticalHeader()->defaultSectionSize();
    return rowHeight > 0 ? std::max(1, viewport()->height() / rowHeight) : 1;
}

void TableGrid::showFocus(bool scroll) {
    const std::optional<std::size_t> focus = m_selection.focusedRow();
    if (focus && *focus < m_selection.rowCount()) {
        const QModelIndex at = m_rows->index(static_cast<int>(m_selection.displayRowOf(*focus)),
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
    guard([&] {
        const Qt::KeyboardModifiers modifiers = event->modifiers();
        m_selection.mousePress(
            static_cast<std::size_t>(row), modifiers.testFlag(Qt::ControlModifier),
            modifiers.testFlag(Qt::ShiftModifier), event->button() == Qt::RightButton);
        showFocus();
    });
}

void TableGrid::mouseReleaseEvent(QMouseEvent* event) {
    const int row = rowAt(static_cast<int>(event->position().y()));
    guard([&] {
        m_selection.mouseRelease(row < 0 ? std::nullopt : std::optional<std::size_t>(row));
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
        emit deleteRequested();
        return;
    }
    guard([&] {
        m_selection.setPageRows(static_cast<std::size_t>(pageRows()));
        GridKey key = GridKey::Other;
        if (const std::optional<GridKey> navigation = navigationKey(event->key()))
            key = *navigation;
        else if (event->key() == Qt::Key_Space)
            key = GridKey::Space;
        else if (event->key() == Qt::Key_Delete)
            key = GridKey::Delete;
        m_selection.keyPress(key, ctrl, shift);
        showFocus();
    });
    if (ctrl && event->key() == Qt::Key_Insert) {
        emit copyRequested();
        return;
    }
    if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab ||
        event->key() == Qt::Key_Escape)
        event->ignore(); // focus moves on, dialogs close, as usual
}

} // namespace vantero
