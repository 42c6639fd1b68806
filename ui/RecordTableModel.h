#pragma once

// A record table as a Qt item model, for the grids: one row per posted record, one column per
// chosen field, read-only. It follows the table's changes as they happen.

#include "records/RecordTable.h"

#include <QAbstractTableModel>
#include <QString>

#include <string>
#include <vector>

namespace vantero {

struct GridColumn {
    std::string field;
    QString caption;
    int width = 0;
};

class RecordTableModel : public QAbstractTableModel, private RecordTableObserver {
    Q_OBJECT
public:
    RecordTableModel(RecordTable& table, std::vector<GridColumn> columns,
                     QObject* parent = nullptr);
    ~RecordTableModel() override;

    RecordTable& table() const { return m_table; }
    const std::vector<GridColumn>& columns() const { return m_columns; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // The text a cell shows, without the detour through QVariant.
    QString text(std::size_t row, int column) const;
    // The rows in the order of the column's texts as Qt's item views sort them (by UTF-16 code
    // unit, letter case counting); equal texts keep their table-list order in both directions.
    std::vector<std::size_t> sortedRows(int column, Qt::SortOrder order) const;

signals:
    // Around the removal of many rows at once (ascending, positions before it), which is also
    // announced in the usual way, a run of adjacent rows at a time, from the last: a view that
    // follows these two can skip the runs and catch up once.
    void rowsRemovalStarting(const std::vector<std::size_t>& rows);
    void rowsRemovalDone(const std::vector<std::size_t>& rows);

private:
    void recordAppended(std::size_t row) override;
    void tableEmptied() override;
    void currentMoved(std::optional<std::size_t> row) override;
    void recordDeleted(std::size_t row) override;
    void recordsDeleted(const std::vector<std::size_t>& rows) override;
    void recordChanged(std::size_t row) override;

    RecordTable& m_table;
    std::vector<GridColumn> m_columns;
    std::vector<std::size_t> m_fieldIndexes;
};

} // namespace vantero
