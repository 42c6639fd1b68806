#pragma once

// The run log's grid in the pack window: one column of messages, no header, no grid lines, one
// whole row selected at a time. It follows the log as rows come, unless the user has scrolled up
// to read; a row too long for the column shows whole in a tool tip. Ctrl+Del asks for the focused
// row to be removed.

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
    bool viewportEvent(QEvent* event) override;

private:
    bool m_followsNewRows = true;
};

} // namespace vantero
