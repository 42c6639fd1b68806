#include "ui/RecordTableModel.h"

namespace vantero {

RecordTableModel::RecordTableModel(RecordTable& table, std::vector<GridColumn> columns,
                                   QObject* parent)
    : QAbstractTableModel(parent), table_(table), columns_(std::move(columns)) {
    for (const GridColumn& column : columns_)
        fieldIndexes_.push_back(table_.RequireField(column.field));
    table_.AddObserver(this);
}

RecordTableModel::~RecordTableModel() {
    table_.RemoveObserver(this);
}

int RecordTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(table_.RecordCount());
}

int RecordTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant RecordTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    // The values are the file system's bytes; a name that is not in the locale's encoding still
    // shows, with replacement characters.
    return QString::fromLocal8Bit(
        table_.ValueAt(static_cast<std::size_t>(index.row()),
                       fieldIndexes_[static_cast<std::size_t>(index.column())]));
}

QVariant RecordTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= static_cast<int>(columns_.size()))
        return {};
    return columns_[static_cast<std::size_t>(section)].caption;
}

void RecordTableModel::recordAppended(std::size_t row) {
    const int at = static_cast<int>(row);
    beginInsertRows({}, at, at);
    endInsertRows();
}

void RecordTableModel::tableEmptied() {
    beginResetModel();
    endResetModel();
}

void RecordTableModel::currentMoved(std::optional<std::size_t>) {}

void RecordTableModel::recordDeleted(std::size_t row) {
    // The record is gone already; the view learns it in one step.
    const int at = static_cast<int>(row);
    beginRemoveRows({}, at, at);
    endRemoveRows();
}

void RecordTableModel::recordChanged(std::size_t row) {
    const int at = static_cast<int>(row);
    emit dataChanged(index(at, 0), index(at, columnCount() - 1));
}

} // namespace vantero
