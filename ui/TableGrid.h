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

    void setRecordModel(RecordTableModel* model);
    const GridSelection& selection();
    GridSelection& mutableSelection();
    // The selected rows' text, TAB between fields, one row a line, in table-list order.
    QString selectedText() const;
    // Sorts by the column: ascending first, then alternating; clears the other columns' sort.
    void sortByColumn(int column);

signals:
    void selectedCountChanged(int count);
    void deleteRequested(); // Ctrl+Del
    void copyRequested();   // Ctrl+Insert

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void catchUpAfterRemoval(const std::vector<std::size_t>& rows);
    // Fits the columns after the one at visual position visual (-1: all) to the grid's width.
    void fitColumnsAfter(int visual);
    void showFocus(bool scroll = true);
    int pageRows() const;

    RecordTableModel* m_model = nullptr;
    GridRows* m_rows = nullptr; // what the view shows: the list's rows in the display order
    GridSelection m_selection;
    bool m_removingMany = false;
    int m_sortColumn = -1;
    bool m_fitting = false;
    std::vector<double> m_weights; // the columns' shares of the width, by model column
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

} // namespace vantero
