#pragma once

// The run log's grid in the pack window: one column of messages, no header, no grid lines, one
// whole row selected at a time. Ctrl+Del asks for the focused row to be removed.

#include <QTableView>

namespace vantero {

class RecordTableModel;

class LogGrid : public QTableView {
    Q_OBJECT
public:
    LogGrid(RecordTableModel* model, QWidget* parent = nullptr);

signals:
    void deleteRequested(int row); // Ctrl+Del on a focused row

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace vantero
