#pragma once

// The multi-select table grid over a record table: it draws the rows and turns clicks and keys
// into the calls of GridSelection, which holds every rule. Sorting changes the display order only.

#include "ui/GridSelection.h"

#include <QTableView>

#include <vector>

namespace vantero {

class GridRows;
class RecordTableModel;

class TableGrid : public QTableView {
    Q_OBJECT
public:
    explicit TableGrid(QWidget* parent = nullptr);

    void SetRecordModel(RecordTableModel* model);
    const GridSelection& Selection();
    GridSelection& MutableSelection();
    // The selected rows' text, TAB between fields, one row a line, in table-list order.
    QString SelectedText() const;
    // Sorts by the column: ascending first, then alternating; clears the other columns' sort.
    void SortByColumn(int column);

signals:
    void SelectedCountChange(int count);
    void DeleteRequested(); // Ctrl+Del
    void CopyRequested();   // Ctrl+Insert

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void RowsRemovalDone(const std::vector<std::size_t>& rows);
    // Fits the columns after the one at visual position visual (-1: all) to the grid's width.
    void FitColumnsAfter(int visual);
    void ShowFocus(bool scroll = true);
    int PageRows() const;

    RecordTableModel* model_ = nullptr;
    GridRows* rows_ = nullptr; // what the view shows: the list's rows in the display order
    GridSelection selection_;
    bool removingMany_ = false;
    int sortColumn_ = -1;
    bool fitting_ = false;
    std::vector<double> weights_; // the columns' shares of the width, by model column
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};

} // namespace vantero
